// dump_file: opens the hive through the library, explains a refusal, finds the key to
// start from, and runs the walk into the chosen writer.
#include "dump.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "code_set.h"
#include "output.h"
#include "progress.h"
#include "refusal.h"
#include "report.h"
#include "walk.h"
#include "writers.h"
#include "vesk/hive.hpp"

namespace vesk::dump {
namespace {

std::string quoted(const CodeSet& code_set, std::string_view stored) {
  std::string out = "\"";
  code_set.append_name(out, stored);
  return out + "\"";
}

// The key to dump: the root, or the key that options.key_path names, with the stored
// name of every key on the way in its path. None, reported, when a step is absent.
std::optional<Start> locate(const Hive& hive, const Key& root, const Options& options,
                            const CodeSet& code_set, Report& report) {
  Start start{root, root.name(), {}, {}, true, {}};
  if (options.has_prefix) {
    start.path = options.prefix;
    start.chars = utf16_of_text(options.prefix);
  } else {
    start.name_whole = code_set.append_name(start.path, start.name);
    start.chars = utf16_of_stored(start.name);
  }
  if (options.key_path.empty()) return start;

  const std::optional<std::string> wanted = code_set.to_stored(options.key_path);
  if (!wanted) {
    report.refuse("no key " + options.key_path + " under " + start.path +
                  ": the library reads only names stored as 8-bit text");
    return std::nullopt;
  }
  // Step by step through open_key, so each key's stored name (and case) goes into the path.
  std::string_view rest = *wanted;
  std::size_t walked = 0;
  while (!rest.empty()) {
    const std::size_t cut = rest.find('\\');
    const std::string_view step = rest.substr(0, cut);
    walked += step.size() + (cut == std::string_view::npos ? 0 : 1);
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    if (step.empty()) continue;
    const std::optional<Key> next = hive.open_key(std::string_view(*wanted).substr(0, walked));
    if (!next) {
      report.refuse("no key " + quoted(code_set, step) + " under " + start.path);
      return std::nullopt;
    }
    start.above.push_back({start.key.offset(), start.path});
    start.key = *next;
    start.name = next->name();
    start.path += '\\';
    start.name_whole = code_set.append_name(start.path, start.name) && start.name_whole;
    start.chars += u'\\' + utf16_of_stored(start.name);
  }
  return start;
}

}  // namespace

int dump_file(const std::string& path, const Options& options, std::ostream& out,
              std::ostream& err) {
  Progress progress(err, options.progress);
  Report report(err, path, progress);
  const Hive hive(path);
  if (!hive) {
    report.refuse(why_not_opened(path));
    return kRefused;
  }
  const std::optional<Key> root = hive.root();
  if (!root) {
    report.refuse(why_no_root(path));
    return kRefused;
  }
  const CodeSet code_set;
  const std::optional<Start> start = locate(hive, *root, options, code_set, report);
  if (!start) return kRefused;

  Output output(out);
  const std::unique_ptr<Sink> writer =
      make_writer(options.format, output, code_set, report, find_code_page(options.code_page));
  walk(hive, *start, options.max_depth, code_set, report, progress, *writer);
  output.flush();
  errno = 0;
  out.flush();
  const int flush_error = errno;
  progress.clear();
  if (output.failed()) {
    const int why = output.error() != 0 ? output.error() : flush_error;
    report.stop(std::string("writing the output failed") +
                (why != 0 ? std::string(": ") + std::strerror(why) : std::string()));
    report.finish();
    return kOutputFailed;
  }
  report.finish();
  return report.has_errors() ? kDumpedWithErrors : kDumped;
}

}  // namespace vesk::dump
