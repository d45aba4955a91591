// The companion library's few C functions over vesk/transaction_logs.hpp: one
// implementation of recovery for the tool, the C++ interface and the Python module.
#include "vesk_logs.h"

#include <new>
#include <string>
#include <vector>

#include "vesk/transaction_logs.hpp"

#define VESK_LOGS_EXPORT extern "C" __attribute__((visibility("default")))

struct vesk_logs_recovery {
  int outcome = VESK_LOGS_NOT_RECOVERED;
  bool dirty = false;
  bool incomplete = false;
  vesk::logs::MemoryFile file;
  std::string report;
  std::string problem;
};

namespace {

int outcome_of(vesk::logs::Outcome outcome) {
  switch (outcome) {
    case vesk::logs::Outcome::clean: return VESK_LOGS_CLEAN;
    case vesk::logs::Outcome::recovered: return VESK_LOGS_RECOVERED;
    case vesk::logs::Outcome::partly_recovered: return VESK_LOGS_PARTLY_RECOVERED;
    case vesk::logs::Outcome::not_recovered: break;
  }
  return VESK_LOGS_NOT_RECOVERED;
}

void fill(vesk_logs_recovery& out, const char* hive_path, const char* const* log_paths, int count) {
  std::vector<std::string> named;
  for (int i = 0; log_paths != nullptr && i < count; ++i) {
    if (log_paths[i] != nullptr) named.emplace_back(log_paths[i]);
  }
  vesk::logs::Recovery recovery = vesk::logs::recover_file(hive_path, named);
  const vesk::logs::Report& r = recovery.report;
  for (const std::string& line : vesk::logs::describe(r)) out.report += line + "\n";
  out.outcome = outcome_of(r.outcome);
  out.dirty = r.dirty;
  out.incomplete = vesk::logs::may_miss_changes(r);
  if (recovery.image.empty()) {
    if (r.outcome == vesk::logs::Outcome::not_recovered) out.problem = vesk::logs::why_not_applied(r);
    return;
  }
  out.file = vesk::logs::MemoryFile::of(recovery.image);
  if (!out.file.ok()) {
    out.outcome = VESK_LOGS_NOT_RECOVERED;
    out.problem = out.file.error();
  }
}

}  // namespace

VESK_LOGS_EXPORT vesk_logs_recovery* vesk_logs_recover(const char* hive_path, const char* const* log_paths,
                                                       int count) {
  try {
    auto* out = new vesk_logs_recovery;
    try {
      fill(*out, hive_path == nullptr ? "" : hive_path, log_paths, count);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {  // a file system error naming the path
      out->outcome = VESK_LOGS_NOT_RECOVERED;
      out->problem = e.what();
    }
    return out;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

VESK_LOGS_EXPORT int vesk_logs_outcome(const vesk_logs_recovery* recovery) {
  return recovery == nullptr ? VESK_LOGS_NOT_RECOVERED : recovery->outcome;
}

VESK_LOGS_EXPORT int vesk_logs_dirty(const vesk_logs_recovery* recovery) {
  return recovery != nullptr && recovery->dirty ? 1 : 0;
}

VESK_LOGS_EXPORT int vesk_logs_incomplete(const vesk_logs_recovery* recovery) {
  return recovery != nullptr && recovery->incomplete ? 1 : 0;
}

VESK_LOGS_EXPORT int vesk_logs_take_fd(vesk_logs_recovery* recovery) {
  return recovery == nullptr ? -1 : recovery->file.release();
}

VESK_LOGS_EXPORT const char* vesk_logs_report(const vesk_logs_recovery* recovery) {
  return recovery == nullptr ? "" : recovery->report.c_str();
}

VESK_LOGS_EXPORT const char* vesk_logs_problem(const vesk_logs_recovery* recovery) {
  return recovery == nullptr ? "" : recovery->problem.c_str();
}

VESK_LOGS_EXPORT void vesk_logs_free(vesk_logs_recovery* recovery) { delete recovery; }
