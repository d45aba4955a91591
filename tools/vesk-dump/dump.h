// vesk-dump's whole job behind one call, so the program, the tests and a fuzz target
// share it: a hive file in, .reg, JSON or tree text out, a status back. The hive is read
// only through the library's exported functions (include/vesk/hive.hpp).
#pragma once

#include <ostream>
#include <string>

#include "writers.h"

namespace vesk::dump {

struct Options {
  Format format = Format::kReg;
  std::string prefix;       // in the code set; stands for the root key in .reg paths
  bool has_prefix = false;  // false: the root key's own name stands for it
  std::string key_path;     // backslash-separated, case ignored; empty: the whole hive
  int max_depth = 512;      // levels of subkeys followed below the first key dumped
  bool progress = false;    // a progress line on `err` while the dump runs
  int code_page = 1252;     // what --format regedit4 is written in; find_code_page accepts it
};

// Exit statuses.
constexpr int kDumped = 0;
constexpr int kDumpedWithErrors = 1;  // also: parts the library cannot read were left out
constexpr int kRefused = 2;
constexpr int kOutputFailed = 3;      // the output could not be written (a full disk, say)

// Writes the hive at `path` to `out`, diagnostics to `err`; returns the exit status:
// kDumped, kDumpedWithErrors, kRefused or kOutputFailed.
int dump_file(const std::string& path, const Options& options, std::ostream& out,
              std::ostream& err);

}  // namespace vesk::dump
