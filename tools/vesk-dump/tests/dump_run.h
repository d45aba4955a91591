// Running a dump in a test: dump_file on a built hive in this process, or the vesk-dump
// program itself in a child process with its own locale, killed if it hangs. Texts come
// back with the hive's temporary path replaced by HIVE, so tests compare whole texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dump.h"
#include "hive_builder.h"

namespace vesk::dump::test {

using vesk::test::Bytes;

struct Dumped {
  int status = -1;  // -1: the program did not end in time and was killed
  std::string out;  // a UTF-16LE .reg shows here as UTF-8 with LF line ends, to compare
  std::string err;
  std::string raw;  // the output byte for byte
};

// A UTF-16LE .reg (byte-order mark, CRLF) as UTF-8 with LF line ends; other text as it is.
std::string readable_reg(const std::string& out);

// dump_file on `hive` written to a temporary file, in the calling thread's locale.
Dumped dump_bytes(const Bytes& hive, const Options& options = {});
Dumped dump_path(const std::string& path, const Options& options = {});

// Where the child's standard error goes.
enum class ErrTo { kFile, kTerminal };

struct ToolRun {
  std::vector<std::string> args;  // after the program name; "HIVE" stands for `hive`
  const Bytes* hive = nullptr;
  const char* locale = "C.UTF-8";
  ErrTo err_to = ErrTo::kFile;
  double stall_seconds = 0;  // how long to leave standard output unread at first
  double limit_seconds = 60;  // killed after this
};

// A hive with what the library cannot read: a value named in UTF-16 on the root "R",
// subkeys "B" and "C" of "A" under an "lh" list, and a key named in UTF-16 ("Un", read
// as "U") holding a DWORD "x" of 2.
Bytes unreadable_parts();

// Runs the built vesk-dump.
Dumped run_vesk_dump(const ToolRun& run);

// Stores `filetime` as the key's last-write time.
void set_last_written(vesk::test::HiveBuilder& b, const vesk::test::KeyRef& key,
                      std::uint64_t filetime);

// The text of a whole file, or "<missing PATH>".
std::string read_file(const std::string& path);

}  // namespace vesk::dump::test
