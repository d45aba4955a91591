// vesk-dump's whole job behind one call, so the program, the tests and a fuzz target
// share it: a hive file in, .reg, JSON or tree text out, a status back. The hive is read
// only through the library's exported functions (include/vesk/hive.hpp).
#pragma once

#include <ostream>
#include <string>

#include "writers.h"

namespace vesk::dump {

// Exit statuses.
constexpr int kDumped = 0;             // every key and value dumped
constexpr int kDumpedWithErrors = 1;   // dumped, with damage or parts the library cannot read
constexpr int kRefused = 2;            // not a readable hive, KEYPATH absent, or a usage error

struct Options {
  Format format = Format::kReg;
  std::string prefix;       // in the code set; stands for the root key in .reg paths
  bool has_prefix = false;  // false: the root key's own name stands for it
  std::string key_path;     // backslash-separated, case ignored; empty: the whole hive
  int max_depth = 512;      // levels of subkeys followed below the first key dumped
  bool progress = false;    // a progress line on `err` while the dump runs
  bool check = false;       // walk as a dump does, write nothing, summarise what was found
  bool ignore_dirty = false;  // read a hive whose sequence numbers differ, as it is
};

// Writes the hive at `path` to `out`, diagnostics to `err`; returns the exit status:
// 0 dumped, 1 dumped with errors, 2 refused. With options.check, writes nothing to `out`
// and ends `err` with a summary.
int dump_file(const std::string& path, const Options& options, std::ostream& out,
              std::ostream& err);

}  // namespace vesk::dump
