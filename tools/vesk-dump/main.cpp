// vesk-dump: the command line around dump_file. Sets the locale so that text comes out
// in the user's code set, and shows progress only when standard error is a terminal.
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>

#include <unistd.h>

#include "dump.h"

namespace {

const char kUsage[] =
    "Usage: vesk-dump [OPTION]... HIVE [KEYPATH]\n"
    "Write the registry hive file HIVE as text on standard output: a REGEDIT4 .reg\n"
    "file (the default), one JSON document, or an indented tree. With KEYPATH (names\n"
    "separated by backslashes, case ignored, e.g. 'Microsoft\\Windows') only that key\n"
    "and the keys below it.\n"
    "\n"
    "  -f, --format FORMAT  reg, json or tree (default: reg)\n"
    "  -p, --prefix TEXT    the path that stands for the root key in .reg headers,\n"
    "                       e.g. 'HKEY_LOCAL_MACHINE\\SOFTWARE' (default: the root\n"
    "                       key's own name)\n"
    "      --max-depth N    follow subkeys at most N levels down (default: 512)\n"
    "      --check          read the whole hive as a dump does, write nothing on\n"
    "                       standard output, and end with a summary: keys and values\n"
    "                       read, every damage found by kind, with counts and offsets\n"
    "      --ignore-dirty   read a hive whose sequence numbers differ (copied from a\n"
    "                       live or crashed system) as its primary file stands, with a\n"
    "                       warning; the file is not changed: the library reads a\n"
    "                       private in-memory copy marked clean, as large as the file\n"
    "  -h, --help           show this help and exit\n"
    "  -V, --version        show the version and exit\n"
    "\n"
    "Only version 1.3 hives are read, through the vesk_10 library. Text comes out in\n"
    "the locale's code set; a string that would not come out exactly is written as hex.\n"
    "\n"
    "Every key, value, list and data run is checked against the file before it is\n"
    "read; what fails is reported with its path and file offset, skipped, and the\n"
    "dump goes on with the rest. A file shorter than its base block says is named as\n"
    "cut short first, and what lies past its end is counted once.\n"
    "\n"
    "Exit status: 0 dumped (with --check: nothing found); 1 dumped with damage or\n"
    "with parts the library cannot read, each reported on standard error; 2 refused\n"
    "(not a readable version 1.3 hive, not written out cleanly and no --ignore-dirty,\n"
    "KEYPATH absent, or a usage error).\n";

int usage_error(const std::string& what) {
  std::cerr << "vesk-dump: " << what << "\nTry 'vesk-dump --help' for more.\n";
  return 2;
}

bool parse_depth(const std::string& text, int& depth) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  depth = std::atoi(text.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::ios::sync_with_stdio(false);

  vesk::dump::Options options;
  options.progress = isatty(STDERR_FILENO) == 1;
  std::string files[2];
  int file_count = 0;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
      if (file_count == 2) return usage_error("too many arguments: " + arg);
      files[file_count++] = arg;
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--check") {
      options.check = true;
      continue;
    }
    if (arg == "--ignore-dirty") {
      options.ignore_dirty = true;
      continue;
    }
    if (arg == "-V" || arg == "--version") {
      std::cout << "vesk-dump " VESK_VERSION "\n";
      return 0;
    }
    // An option with a value takes it from "--name=value" or from the next argument.
    std::string value;
    const std::size_t equals = arg.find('=');
    const bool inline_value = arg.rfind("--", 0) == 0 && equals != std::string::npos;
    if (inline_value) {
      value = arg.substr(equals + 1);
      arg.resize(equals);
    }
    const bool takes_value = arg == "-f" || arg == "--format" || arg == "-p" ||
                             arg == "--prefix" || arg == "--max-depth";
    if (!takes_value) return usage_error("unknown option " + arg);
    if (!inline_value) {
      if (i + 1 >= argc) return usage_error(arg + " needs a value");
      value = argv[++i];
    }
    if (arg == "-f" || arg == "--format") {
      if (value == "reg") options.format = vesk::dump::Format::kReg;
      else if (value == "json") options.format = vesk::dump::Format::kJson;
      else if (value == "tree") options.format = vesk::dump::Format::kTree;
      else return usage_error("unknown format '" + value + "' (reg, json or tree)");
    } else if (arg == "-p" || arg == "--prefix") {
      if (value.empty()) return usage_error("--prefix needs a path");
      options.prefix = value;
      options.has_prefix = true;
    } else if (!parse_depth(value, options.max_depth)) {
      return usage_error("--max-depth needs a number, not '" + value + "'");
    }
  }
  if (file_count == 0) return usage_error("no hive file given");
  options.key_path = files[1];
  return vesk::dump::dump_file(files[0], options, std::cout, std::cerr);
}
