// Both private views through the transaction-log component, so one piece of code makes
// in-memory files and decides what a base block says.
#include "clean_view.h"

#include <filesystem>

#include "vesk/byte_order.hpp"
#include "vesk/layout.hpp"

namespace vesk::dump {

using namespace vesk::format;

namespace {

// Whether `file` starts as a hive does: anything else is left to the library to refuse.
bool is_hive(vesk::logs::FileSource& file, unsigned char (&block)[kBaseCopiedBytes]) {
  return file.opened() && file.size() >= sizeof block && file.read(0, block, sizeof block) &&
         load_le32(block + kBaseSignatureAt) == kSigRegf;
}

}  // namespace

CleanView::CleanView(const std::string& path) : path_(path) {
  vesk::logs::FileSource file(path);
  unsigned char block[kBaseCopiedBytes];
  if (!is_hive(file, block)) return;
  primary_ = load_le32(block + kBasePrimarySequenceAt);
  secondary_ = load_le32(block + kBaseSecondarySequenceAt);
  dirty_ = primary_ != secondary_;
  if (!dirty_) return;
  file_ = vesk::logs::MemoryFile::marked_clean(file);
  problem_ = file_.error();
  if (file_.ok()) size_ = std::filesystem::file_size(file_.path());
}

CleanView::CleanView(const std::string& path, const std::vector<std::string>& logs)
    : path_(path) {
  {
    vesk::logs::FileSource file(path);
    unsigned char block[kBaseCopiedBytes];
    if (!is_hive(file, block)) return;
  }
  vesk::logs::Recovery recovery = vesk::logs::recover_file(path, logs);
  const vesk::logs::Report& r = recovery.report;
  dirty_ = r.dirty;
  primary_ = r.primary_sequence;
  secondary_ = r.secondary_sequence;
  if (!recovery.image.empty()) {
    file_ = vesk::logs::MemoryFile::of(recovery.image);
    problem_ = file_.error();
    size_ = file_.ok() ? recovery.image.size() : 0;
  } else if (r.outcome != vesk::logs::Outcome::clean) {
    problem_ = r.problem;
  }
  recovery_ = std::move(recovery.report);
}

std::vector<std::string> logs_beside(const std::string& path) {
  std::vector<std::string> names;
  for (const vesk::logs::LogInput& log : vesk::logs::find_logs(path)) {
    if (log.source && log.source->size() > 0) {
      names.push_back(std::filesystem::path(log.name).filename().string());
    }
  }
  return names;
}

}  // namespace vesk::dump
