// The timeline format: every key dumped as one CSV line, newest last-write time first,
// under the header "last_written,path,subkeys,values,not_read", in UTF-8 whatever the
// locale (names as line_text.h writes them); not_read says what the key's lists leave
// out and why, empty for most keys. Keys are kept until the walk ends, as a tree of
// names rather than whole paths, so memory grows with the number of keys and the
// length of their own names only. Several hives make one timeline: each is walked into
// the same writer, each row names its hive in a first column, and the rows of all of
// them are sorted together once the last is walked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "entries.h"
#include "output.h"

namespace vesk::dump {

class TimelineWriter : public Sink {
 public:
  explicit TimelineWriter(Output& out) : out_(out) {}
  // Across hives: the keys walked from now on are `hive`'s (UTF-8), and nothing is
  // written until finish().
  void next_hive(std::string hive);
  // Writes the rows of every hive walked.
  void finish() { write_all(); }
  Unwritten key(const KeyEntry& key) override;
  Unwritten value(const KeyEntry& /*key*/, const ValueEntry& /*value*/) override { return {}; }
  void subkeys(const KeyEntry& /*key*/) override {}
  void key_end(const KeyEntry& key) override;

 private:
  struct Row {
    std::uint64_t last_written;
    std::size_t name_at;     // in names_: the first key's whole path, others their name
    std::uint32_t name_size;
    std::uint32_t parent;    // index in rows_; kNoParent for the first key
    std::int32_t subkeys;
    std::int32_t values;
    std::size_t note_at;  // in notes_: what the key's lists leave out, empty for most
    std::uint32_t note_size;
    std::uint32_t hive;  // in hives_
  };
  static constexpr std::uint32_t kNoParent = 0xFFFFFFFF;

  void write_all();
  void append_path(std::string& t, std::uint32_t row);

  Output& out_;
  std::vector<Row> rows_;
  std::string names_;
  std::string notes_;
  std::vector<std::uint32_t> open_;       // rows of the keys entered and not yet ended
  std::vector<std::uint32_t> chain_;      // scratch for append_path
  std::vector<std::string> hives_;         // the hives' names, when several share it
};

}  // namespace vesk::dump
