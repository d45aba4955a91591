// The private view of a dirty hive (sequence numbers that differ, or a broken base
// block), which the library refuses and goes on refusing. Two kinds, both an anonymous
// in-memory file (vesk/transaction_logs.hpp's MemoryFile) that the library opens by path:
// - as it stands (--ignore-dirty): the primary file's first 4096 + bins size bytes, no
//   more than the file holds, marked clean;
// - recovered (--logs): the hive with its transaction logs applied as Windows applies
//   them at load, no larger than its declared size after the logs.
// The hive and its logs on disk are never written; the view is gone with the object.
// Where the system has no in-memory files no view is made, and problem() says so.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vesk/transaction_logs.hpp"

namespace vesk::dump {

class CleanView {
 public:
  // As it stands. Reads the base block of the file at `path`; when its sequence numbers
  // differ, makes the view. A file that cannot be read, or is no hive, gets no view: the
  // library's refusal then explains it.
  explicit CleanView(const std::string& path);
  // Recovered, with the logs beside the hive, or `logs` when any are named. A clean hive
  // gets no view: it is read as it is; a file that is no hive gets no recovery either.
  CleanView(const std::string& path, const std::vector<std::string>& logs);

  // Whether the file's sequence numbers differ (as it stands) or the hive is dirty
  // by any sign (recovered).
  bool dirty() const { return dirty_; }
  std::uint32_t primary() const { return primary_; }
  std::uint32_t secondary() const { return secondary_; }
  // What to open: the view when one was made, else the file itself.
  const std::string& path() const { return file_.ok() ? file_.path() : path_; }
  // Why a dirty hive got no view; empty when it got one or needed none.
  const std::string& problem() const { return problem_; }
  // What recovery did; none for a view as it stands.
  const std::optional<vesk::logs::Report>& recovery() const { return recovery_; }
  // The size of the view, 0 when none was made.
  std::uint64_t size() const { return size_; }

 private:
  bool dirty_ = false;
  std::uint32_t primary_ = 0;
  std::uint32_t secondary_ = 0;
  std::string path_;
  std::string problem_;
  std::optional<vesk::logs::Report> recovery_;
  vesk::logs::MemoryFile file_;
  std::uint64_t size_ = 0;
};

// The logs with something in them that lie beside the hive at `path`, by file name.
std::vector<std::string> logs_beside(const std::string& path);

}  // namespace vesk::dump
