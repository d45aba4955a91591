// vesk-dump: the command line around dump_file. Sets the locale so that text comes out
// in the user's code set, and shows progress only when standard error is a terminal.
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>

#include <unistd.h>

#include "code_pages.h"
#include "dump.h"

namespace {

const char kUsage[] =
    "Usage: vesk-dump [OPTION]... HIVE [KEYPATH]\n"
    "Write the registry hive file HIVE as text on standard output: a .reg file that\n"
    "regedit imports, one JSON document, or an indented tree. With KEYPATH (names\n"
    "separated by backslashes, case ignored, e.g. 'Microsoft\\Windows') only that key\n"
    "and the keys below it.\n"
    "\n"
    "  -f, --format FORMAT  reg: a \"Windows Registry Editor Version 5.00\" file,\n"
    "                         UTF-16LE with a byte-order mark, CRLF line ends,\n"
    "                         data as stored;\n"
    "                       regedit4: \"REGEDIT4\" in a Windows code page, for\n"
    "                         hosts that need it;\n"
    "                       json; or tree, for reading.\n"
    "                       Default: reg; tree when standard output is a terminal.\n"
    "      --code-page N    the code page of --format regedit4: 874 or 1250 to\n"
    "                       1258 (default: 1252). A value it cannot carry exactly\n"
    "                       is left out, with a ';' comment line, and reported.\n"
    "  -p, --prefix TEXT    the path that stands for the root key in .reg headers,\n"
    "                       e.g. 'HKEY_LOCAL_MACHINE\\SOFTWARE' (default: the root\n"
    "                       key's own name)\n"
    "      --max-depth N    follow subkeys at most N levels down (default: 512)\n"
    "  -h, --help           show this help and exit\n"
    "  -V, --version        show the version and exit\n"
    "\n"
    "Only version 1.3 hives are read, through the vesk_10 library. Tree text comes\n"
    "out in the locale's code set. What the library cannot read (a name stored as\n"
    "UTF-16, subkeys under a list it does not follow) is marked in every format: a\n"
    "';' comment in .reg, \"name\": null with \"unreadable\", or \"subkeys_not_read\"\n"
    "in JSON.\n"
    "\n"
    "Exit status: 0 dumped; 1 dumped with errors or with parts left out, each\n"
    "reported on standard error; 2 refused (not a readable version 1.3 hive, KEYPATH\n"
    "absent, or a usage error); 3 the output could not be written (a full disk, say).\n"
    "A reader that closes the pipe early, as head does, ends vesk-dump quietly by\n"
    "SIGPIPE.\n";

int usage_error(const std::string& what) {
  std::cerr << "vesk-dump: " << what << "\nTry 'vesk-dump --help' for more.\n";
  return 2;
}

// A decimal number of at most 9 digits.
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
  bool format_given = false;
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
                             arg == "--prefix" || arg == "--max-depth" ||
                             arg == "--code-page";
    if (!takes_value) return usage_error("unknown option " + arg);
    if (!inline_value) {
      if (i + 1 >= argc) return usage_error(arg + " needs a value");
      value = argv[++i];
    }
    if (arg == "-f" || arg == "--format") {
      format_given = true;
      if (value == "reg") options.format = vesk::dump::Format::kReg;
      else if (value == "regedit4") options.format = vesk::dump::Format::kRegedit4;
      else if (value == "json") options.format = vesk::dump::Format::kJson;
      else if (value == "tree") options.format = vesk::dump::Format::kTree;
      else return usage_error("unknown format '" + value + "' (reg, regedit4, json or tree)");
    } else if (arg == "--code-page") {
      int number = 0;
      if (!parse_depth(value, number) || !vesk::dump::find_code_page(number)) {
        return usage_error("--code-page " + value + " is not a single-byte Windows code page;" +
                           " accepted: " + vesk::dump::code_page_list());
      }
      options.code_page = number;
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
  // UTF-16 on a terminal is unreadable: there the default is the tree, meant for reading.
  if (!format_given && isatty(STDOUT_FILENO) == 1) options.format = vesk::dump::Format::kTree;
  return vesk::dump::dump_file(files[0], options, std::cout, std::cerr);
}
