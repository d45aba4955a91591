// vesk-dump: the command line around dump_file. Sets the locale so that text comes out
// in the user's code set, and shows progress only when standard error is a terminal.
#include <clocale>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <unistd.h>

#include "code_pages.h"
#include "diff.h"
#include "dump.h"
#include "filter.h"

namespace {

const char kUsage[] =
    "Usage: vesk-dump [OPTION]... HIVE [KEYPATH]\n"
    "  or:  vesk-dump [OPTION]... --format csv|jsonl|bodyfile|timeline [--key KEYPATH]\n"
    "            HIVE...\n"
    "Write the registry hive file HIVE as text on standard output: a .reg file that\n"
    "regedit imports, one JSON document, an indented tree, or a timeline of its keys.\n"
    "With KEYPATH (names separated by backslashes, case ignored, e.g.\n"
    "'Microsoft\\Windows', or any key path vesk-dump prints) only that key and the\n"
    "keys below it.\n"
    "\n"
    "  -f, --format FORMAT  reg: a \"Windows Registry Editor Version 5.00\" file,\n"
    "                         UTF-16LE with a byte-order mark, CRLF line ends,\n"
    "                         data as stored;\n"
    "                       regedit4: \"REGEDIT4\" in a Windows code page, for\n"
    "                         hosts that need it;\n"
    "                       json; tree, for reading; timeline: CSV, a line per\n"
    "                         key, newest first (several hives: one timeline);\n"
    "                       csv: a row per value (and per key without values):\n"
    "                         path,value,type,form,data,last_written,note, data\n"
    "                         as text where exact (form text), a number, or hex;\n"
    "                       jsonl: a JSON object per key, with its path and values;\n"
    "                       bodyfile: the Sleuth Kit body file mactime -b reads,\n"
    "                         a line per key, its last-write time as mtime;\n"
    "                       text: with --value, the data alone: a string and a\n"
    "                         newline, a multi-string a string a line, a number in\n"
    "                         decimal, other data in hex.\n"
    "                       tree, csv and jsonl suit grep and diff; reg and\n"
    "                       regedit4 suit import. All but reg and regedit4 are\n"
    "                       UTF-8 (tree: the locale's code set).\n"
    "                       Default: reg; tree when standard output is a terminal.\n"
    "      --code-page N    the code page of --format regedit4: 874 or 1250 to\n"
    "                       1258 (default: 1252). A value it cannot carry exactly\n"
    "                       is left out, with a ';' comment line, and reported.\n"
    "  -p, --prefix TEXT    the path that stands for the root key in printed paths,\n"
    "                       e.g. 'HKEY_LOCAL_MACHINE\\SOFTWARE' (default: the root\n"
    "                       key's own name)\n"
    "      --value NAME     print only the value NAME of the key (@ or '' for the\n"
    "                       unnamed value)\n"
    "      --grep TEXT      only the values whose name or string data holds TEXT,\n"
    "                       and the keys whose names hold it, case ignored, each\n"
    "                       with the keys above it\n"
    "      --type TYPE      only values of TYPE (REG_SZ, SZ, REG_BINARY, ... or a\n"
    "                       number); may be given more than once\n"
    "      --key KEYPATH    KEYPATH as an option, so that every argument after the\n"
    "                       options is a hive (csv, jsonl, bodyfile, timeline: each\n"
    "                       line then names its hive)\n"
    "  -o, --output FILE    write to FILE, whole or not at all: the text goes to a\n"
    "                       temporary file beside it, renamed at the end; never over\n"
    "                       a hive being read\n"
    "      --times          tree: show each key's last-write time\n"
    "      --full-data      tree: show binary data whole, not its first 16 bytes\n"
    "      --max-depth N    follow subkeys at most N levels down (default: 512)\n"
    "      --check          read the whole hive as a dump does, write nothing on\n"
    "                       standard output, and end with a summary: keys and values\n"
    "                       read, every damage found by kind, with counts and offsets\n"
    "      --ignore-dirty   read a hive whose sequence numbers differ (copied from a\n"
    "                       live or crashed system) as its primary file stands, with a\n"
    "                       warning; the file is not changed: the library reads a\n"
    "                       private in-memory copy marked clean, of the hive its\n"
    "                       base block declares\n"
    "      --logs           apply the hive's transaction logs (HIVE.LOG1 and HIVE.LOG2,\n"
    "                       or HIVE.LOG, beside it) as Windows does at load, and read\n"
    "                       the result, a private in-memory copy; the hive and its logs\n"
    "                       are not changed. Says on standard error what was applied;\n"
    "                       exit 1 when a log or an entry could not be (the output may\n"
    "                       miss changes). Taken before --ignore-dirty\n"
    "      --log FILE       --logs with FILE as a log in place of those beside the\n"
    "                       hive; repeat it for each log\n"
    "      --diff OLD NEW [KEYPATH]\n"
    "                       compare two hives instead: every key and value added,\n"
    "                       removed or changed, with --format text (lines marked +,\n"
    "                       -, ~; t for a key whose last-write time alone changed,\n"
    "                       ? for a part not compared), reg (a .reg that makes a\n"
    "                       registry holding OLD equal NEW), csv or jsonl (a record\n"
    "                       per change). A name changed in case alone is removed and\n"
    "                       added again; KEYPATH in one hive alone is all of it\n"
    "                       removed or added. Default: reg; text when standard output\n"
    "                       is a terminal. Takes --prefix and --max-depth too.\n"
    "  -h, --help           show this help and exit\n"
    "  -V, --version        show the version and exit\n"
    "\n"
    "Only version 1.3 hives are read, through the vesk_10 library. Tree text comes\n"
    "out in the locale's code set; JSON is UTF-8 and .reg UTF-16LE in every locale.\n"
    "Option values are read in any case. What the library cannot read (a name stored\n"
    "as UTF-16, subkeys under a list it does not follow) is marked in every format:\n"
    "a ';' comment in .reg, \"name\": null with \"unreadable\", or\n"
    "\"subkeys_not_read\" in JSON.\n"
    "\n"
    "Every key, value, list and data run is checked against the file before it is\n"
    "read; what fails is reported with its path and file offset, skipped, and the\n"
    "dump goes on with the rest. A file shorter than its base block says is named as\n"
    "cut short first, and what lies past its end is counted once.\n"
    "\n"
    "Exit status: 0 all dumped (nothing found, with --check); 1 dumped with damage or\n"
    "with parts the library cannot read, each reported on standard error; 2 refused\n"
    "(not a readable hive, not written out cleanly and no --ignore-dirty, its logs\n"
    "not applicable with --logs, KEYPATH or --value not found, or a usage error);\n"
    "3 the output could not be written (a full disk, say); 4 --grep or --type matched nothing, with no damage found. With\n"
    "several hives, the highest status of any hive; a refused hive is reported and\n"
    "the others are still written. A reader that closes the pipe early, as head\n"
    "does, ends vesk-dump quietly by SIGPIPE.\n"
    "With --diff, 0 the same; 5 they differ, every part compared; 6 parts the library\n"
    "cannot read were not compared (each said); 1 damage in either hive; 2 (KEYPATH in\n"
    "neither hive, say) and 3 as above.\n";

int usage_error(const std::string& what) {
  std::cerr << "vesk-dump: " << what << "\nTry 'vesk-dump --help' for more.\n";
  return vesk::dump::kRefused;
}

std::string lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The locale the environment asks for; when it is not installed, a warning, and C.UTF-8
// in its place if it asked for UTF-8, so that text is not turned into hex unasked.
void set_locale() {
  if (std::setlocale(LC_ALL, "") != nullptr) return;
  const char* asked = nullptr;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') {
      asked = v;
      break;
    }
  }
  const std::string wanted = lower(asked != nullptr ? asked : "");
  const bool utf8 = wanted.find("utf-8") != std::string::npos ||
                    wanted.find("utf8") != std::string::npos;
  std::cerr << "vesk-dump: warning: the locale '" << (asked != nullptr ? asked : "")
            << "' is not available; ";
  if (utf8 && std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr) {
    std::cerr << "text comes out in UTF-8 (C.UTF-8)\n";
  } else {
    std::cerr << "text beyond ASCII comes out as hex\n";
  }
}

// A decimal number of at most 9 digits.
bool parse_depth(const std::string& text, int& depth) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  depth = std::atoi(text.c_str());
  return true;
}

// --diff OLD NEW [KEYPATH], with --format text|reg|csv|jsonl, --prefix TEXT and --max-depth N.
int diff_main(int argc, char** argv) {
  vesk::dump::DiffOptions options;
  options.progress = isatty(STDERR_FILENO) == 1;
  options.format = isatty(STDOUT_FILENO) == 1 ? vesk::dump::DiffFormat::kText
                                               : vesk::dump::DiffFormat::kReg;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--diff") continue;
    if (arg.empty() || arg[0] != '-' || arg == "-") {
      files.push_back(arg);
      continue;
    }
    std::string value;
    const std::size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg.resize(equals);
    } else if (i + 1 < argc) {
      value = argv[++i];
    }
    if (arg == "-f" || arg == "--format") {
      const std::string name = lower(value);
      if (name == "text") options.format = vesk::dump::DiffFormat::kText;
      else if (name == "reg") options.format = vesk::dump::DiffFormat::kReg;
      else if (name == "csv") options.format = vesk::dump::DiffFormat::kCsv;
      else if (name == "jsonl") options.format = vesk::dump::DiffFormat::kJsonl;
      else return usage_error("--diff writes --format text, reg, csv or jsonl, not '" + value + "'");
    } else if (arg == "-p" || arg == "--prefix") {
      while (!value.empty() && value.back() == '\\') value.pop_back();
      options.prefix = value;
    } else if (arg == "--max-depth") {
      if (!parse_depth(value, options.max_depth)) {
        return usage_error("--max-depth needs a number, not '" + value + "'");
      }
    } else {
      return usage_error("--diff takes --format, --prefix and --max-depth, not " + arg);
    }
  }
  if (files.size() < 2 || files.size() > 3) return usage_error("--diff needs OLD and NEW");
  if (files.size() == 3) options.key_path = files[2];
  return vesk::dump::diff_files(files[0], files[1], options, std::cout, std::cerr);
}

// Whether the arguments after the options are all hives: with three or more, or with
// two in a line format when the second names a file, as no key path does.
bool hives_only(vesk::dump::Format format, const std::vector<std::string>& files) {
  if (!is_line_format(format)) return false;
  if (files.size() > 2) return true;
  struct stat st {};
  return stat(files[1].c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
  set_locale();
  std::ios::sync_with_stdio(false);
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--diff") return diff_main(argc, argv);
  }

  vesk::dump::Options options;
  options.progress = isatty(STDERR_FILENO) == 1;
  bool format_given = false;
  std::vector<std::string> files;
  std::optional<std::string> key_option;
  std::string output_file;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
      files.push_back(arg);
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
    // --logs and --log FILE: the transaction logs applied (dump.h's Options::logs).
    if (arg == "--logs" || arg == "--log" || arg.rfind("--log=", 0) == 0) {
      options.logs = true;
      if (arg == "--logs") continue;
      if (arg == "--log" && i + 1 >= argc) return usage_error("--log needs a file");
      options.log_files.push_back(arg == "--log" ? argv[++i] : arg.substr(6));
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
    if (!inline_value && (arg == "--times" || arg == "--full-data")) {
      (arg == "--times" ? options.shown.times : options.shown.full_data) = true;
      continue;
    }
    const bool takes_value = arg == "-f" || arg == "--format" || arg == "-p" ||
                             arg == "--prefix" || arg == "--max-depth" || arg == "--value" ||
                             arg == "--code-page" || arg == "--grep" || arg == "--type" ||
                             arg == "--key" || arg == "-o" || arg == "--output";
    if (!takes_value) return usage_error("unknown option " + arg);
    if (!inline_value) {
      if (i + 1 >= argc) return usage_error(arg + " needs a value");
      value = argv[++i];
    }
    if (arg == "-f" || arg == "--format") {
      format_given = true;
      const std::string name = lower(value);
      if (name == "reg") options.format = vesk::dump::Format::kReg;
      else if (name == "regedit4") options.format = vesk::dump::Format::kRegedit4;
      else if (name == "json") options.format = vesk::dump::Format::kJson;
      else if (name == "tree") options.format = vesk::dump::Format::kTree;
      else if (name == "timeline") options.format = vesk::dump::Format::kTimeline;
      else if (name == "csv") options.format = vesk::dump::Format::kCsv;
      else if (name == "jsonl") options.format = vesk::dump::Format::kJsonl;
      else if (name == "bodyfile") options.format = vesk::dump::Format::kBodyfile;
      else if (name == "text") options.format = vesk::dump::Format::kText;
      else return usage_error("unknown format '" + value + "' (reg, regedit4, json, tree, " +
                              "timeline, csv, jsonl, bodyfile or text)");
    } else if (arg == "--grep") {
      if (value.empty()) return usage_error("--grep needs a text");
      options.grep = value;
    } else if (arg == "--type") {
      const std::optional<std::uint32_t> type = vesk::dump::parse_type(value);
      if (!type) {
        return usage_error("--type " + value + " is no value type (REG_SZ, ... or a number)");
      }
      options.types.push_back(*type);
    } else if (arg == "--key") {
      key_option = value;
    } else if (arg == "-o" || arg == "--output") {
      if (value.empty()) return usage_error(arg + " needs a file name");
      output_file = value;
    } else if (arg == "--code-page") {
      int number = 0;
      if (!parse_depth(value, number) || !vesk::dump::find_code_page(number)) {
        return usage_error("--code-page " + value + " is not a single-byte Windows code page;" +
                           " accepted: " + vesk::dump::code_page_list());
      }
      options.code_page = number;
    } else if (arg == "-p" || arg == "--prefix") {
      // A trailing backslash would double the one each path puts after the prefix.
      while (!value.empty() && value.back() == '\\') value.pop_back();
      if (value.empty()) return usage_error("--prefix needs a path");
      // The prefix starts every key line of .reg: a line break or a ']' there would end
      // the line early and let the rest read as a key of its own.
      for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == ']') {
          return usage_error("--prefix cannot hold " +
                             (c == ']' ? std::string("']'") : "control characters") +
                             ": key lines of .reg end at them");
        }
      }
      options.prefix = value;
      options.has_prefix = true;
    } else if (arg == "--value") {
      options.value = value;
    } else if (!parse_depth(value, options.max_depth)) {
      return usage_error("--max-depth needs a number, not '" + value + "'");
    } else {
      options.max_depth_chosen = true;
    }
  }
  if (files.empty()) return usage_error("no hive file given");
  if (options.value && options.format == vesk::dump::Format::kTimeline) {
    return usage_error("--value does not go with --format timeline");
  }
  if (options.format == vesk::dump::Format::kText && !options.value) {
    return usage_error("--format text needs --value NAME");
  }
  // UTF-16 on a terminal is unreadable: there the default is the tree, meant for reading.
  if (!format_given && isatty(STDOUT_FILENO) == 1) options.format = vesk::dump::Format::kTree;
  if (!key_option && files.size() >= 2 && !hives_only(options.format, files)) {
    key_option = files[1];
    files.erase(files.begin() + 1);
  }
  // Only the line formats take several hives.
  if (files.size() > 1 && !is_line_format(options.format)) {
    return usage_error("too many arguments: " + files[1]);
  }
  options.key_path = key_option.value_or("");
  if (!output_file.empty()) {
    return vesk::dump::dump_to_file(files, options, output_file, std::cerr);
  }
  return vesk::dump::dump_files(files, options, std::cout, std::cerr);
}
