// vesk-dump's whole job behind one call, so the program, the tests and a fuzz target
// share it: a hive file in, .reg, JSON, tree or timeline text out, a status back. The
// hive is read only through the library's exported functions (include/vesk/hive.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "findings.h"
#include "vesk/hive.hpp"
#include "writers.h"

namespace vesk::dump {

// Exit statuses, one meaning each.
inline constexpr int kDumped = 0;             // all of it
inline constexpr int kDumpedWithDamage = 1;   // damage, or parts the library cannot read
inline constexpr int kRefused = 2;            // not read at all: no hive, no such key, usage
inline constexpr int kOutputFailed = 3;       // the output could not be written
inline constexpr int kNothingMatched = 4;     // --grep or --type matched nothing (no damage)

struct Options {
  Format format = Format::kReg;
  std::string prefix;       // in the code set; stands for the root key in .reg paths
  bool has_prefix = false;  // false: the root key's own name stands for it
  // Backslash-separated, case ignored; may start with the root key's name or the prefix
  // and end in a backslash, as printed paths do. Empty: the whole hive.
  std::string key_path;
  std::optional<std::string> value;  // in the code set: only this value of the key; "" or
                                     // "@" for the unnamed one
  int max_depth = 512;      // levels of subkeys followed below the first key dumped
  bool max_depth_chosen = false;  // a chosen limit is no damage when reached
  Shown shown;
  bool progress = false;    // a progress line on `err` while the dump runs
  bool check = false;       // walk as a dump does, write nothing, summarise what was found
  bool ignore_dirty = false;  // read a hive whose sequence numbers differ, as it is
  // Apply a dirty hive's transaction logs to a private copy and read that (before
  // ignore_dirty): the logs in log_files, or when none are named those beside the hive.
  bool logs = false;
  std::vector<std::string> log_files;
  int code_page = 1252;     // what --format regedit4 is written in; find_code_page accepts it
  std::string grep;         // in the code set: only what holds this text (case ignored)
  std::vector<std::uint32_t> types;  // only values of these types; empty: all
  LineLabel label;          // the hive's name on each line of a line format, and the header
};

// Writes the hive at `path` to `out`, diagnostics to `err`; returns the exit status,
// one of the constants above. With options.check, writes nothing to `out` and ends `err`
// with a summary.
// `shared_writer`, when given, takes the walk in place of the writer the options name
// (several hives in one timeline).
int dump_file(const std::string& path, const Options& options, std::ostream& out,
              std::ostream& err, Sink* shared_writer = nullptr);

// Writes each hive in turn, as dump_file does; with several, each line names its hive
// and only the first writes a header; a timeline sorts the keys of all of them together. A hive refused is reported and the rest still
// written. Returns the highest status of any hive (kNothingMatched only when every hive
// matched nothing).
int dump_files(const std::vector<std::string>& paths, const Options& options,
               std::ostream& out, std::ostream& err);

// dump_files into the file `output`, whole or not at all: written to a temporary file
// beside it, renamed over it at the end, removed when nothing could be written. Refused
// when `output` is one of the hives.
int dump_to_file(const std::vector<std::string>& paths, const Options& options,
                 const std::string& output, std::ostream& err);

// The key options.key_path names below `root`, looked for as a dump looks for it; none
// when there is none, with the step not found added to `findings` and a hint (slashes
// for backslashes, say) written to `err`. --diff looks in both hives with it.
std::optional<Key> find_key(const Key& root, const Options& options, Findings& findings,
                            std::ostream& err);

}  // namespace vesk::dump
