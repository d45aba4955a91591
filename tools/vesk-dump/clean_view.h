// A private view of a hive whose sequence numbers differ, for --ignore-dirty: an
// anonymous in-memory file holding the file's bytes, with the secondary sequence number
// set to the primary and the checksum made right, so the library (which refuses such
// a hive, and goes on doing so) reads the primary file as it is. The hive on disk is
// never written; the view costs the file's size in memory and is gone with the object.
#pragma once

#include <cstdint>
#include <string>

namespace vesk::dump {

class CleanView {
 public:
  // Reads the base block of the file at `path`; when its sequence numbers differ, makes
  // the view. A file that cannot be read, or is no hive, gets no view: the library's
  // refusal then explains it.
  explicit CleanView(const std::string& path);
  ~CleanView();
  CleanView(const CleanView&) = delete;
  CleanView& operator=(const CleanView&) = delete;

  // Whether the file's sequence numbers differ.
  bool dirty() const { return dirty_; }
  std::uint32_t primary() const { return primary_; }
  std::uint32_t secondary() const { return secondary_; }
  // What to open: the view when one was made, else the file itself.
  const std::string& path() const { return path_; }
  // Why a dirty hive got no view; empty when it got one or needed none.
  const std::string& problem() const { return problem_; }

 private:
  bool dirty_ = false;
  std::uint32_t primary_ = 0;
  std::uint32_t secondary_ = 0;
  int fd_ = -1;
  std::string path_;
  std::string problem_;
};

}  // namespace vesk::dump
