// dump_file: opens the hive through the library, explains a refusal, finds the key to
// start from, and runs the walk into the chosen writer.
#include "dump.h"

#include <memory>
#include <optional>
#include <string_view>

#include "checks.h"
#include "clean_view.h"
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

// What --check walks into: every record is read and checked, nothing is written.
class NoOutput : public Sink {
 public:
  void key(const KeyEntry&) override {}
  void value(const KeyEntry&, const ValueEntry&) override {}
  void subkeys(const KeyEntry&) override {}
  void key_end(const KeyEntry&) override {}
};

// Says first, when the file is shorter than its base block says, that it was cut.
void name_cut(const HiveHandle& hive, Report& report) {
  const Extent extent = extent_of(hive);
  if (!extent.cut()) return;
  report.headline(Finding::kCut, extent.file_size,
                  "the file holds " + std::to_string(extent.file_size) +
                      " bytes, but its base block says the hive needs " +
                      std::to_string(extent.hive_end) + " (4096 + " +
                      std::to_string(hive.base_block.hive_bins_size) +
                      " of hive bins): it was cut short; what lies past its end is"
                      " counted, not dumped");
}

std::string quoted(const CodeSet& code_set, std::string_view stored) {
  std::string out = "\"";
  code_set.append_name(out, stored);
  return out + "\"";
}

// The key to dump: the root, or the key that options.key_path names, with the stored
// name of every key on the way in its path. None, reported, when a step is absent.
std::optional<Start> locate(const Hive& hive, const Key& root, const Options& options,
                            const CodeSet& code_set, Report& report) {
  Start start{root, root.name(), {}, true, {}};
  if (options.has_prefix) {
    start.path = options.prefix;
  } else {
    start.name_whole = code_set.append_name(start.path, start.name);
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
  }
  return start;
}

}  // namespace

int dump_file(const std::string& path, const Options& options, std::ostream& out,
              std::ostream& err) {
  Progress progress(err, options.progress);
  Report report(err, path, progress);
  if (options.check) report.summary_only();
  // Without --ignore-dirty the view is never made: the library refuses a dirty hive.
  const CleanView view(options.ignore_dirty ? path : std::string());
  const std::string& opened = options.ignore_dirty ? view.path() : path;
  if (view.dirty()) {
    if (!view.problem().empty()) {
      report.refuse(view.problem());
      return kRefused;
    }
    report.warn("warning: its sequence numbers " + std::to_string(view.primary()) + " and " +
                std::to_string(view.secondary()) +
                " differ: it was not written out cleanly, and this primary file may miss"
                " changes still held in its transaction logs; read as it is (--ignore-dirty)");
  }
  const Hive hive(opened);
  if (!hive) {
    report.refuse(why_not_opened(opened));
    return kRefused;
  }
  name_cut(*hive.handle(), report);
  const std::optional<Key> root = hive.root();
  if (!root) {
    report.refuse(why_no_root(opened));
    return kRefused;
  }
  const CodeSet code_set;
  const std::optional<Start> start = locate(hive, *root, options, code_set, report);
  if (!start) return kRefused;

  if (options.check) {
    NoOutput nothing;
    const Counts counts =
        walk(hive, *start, options.max_depth, code_set, report, progress, nothing);
    progress.clear();
    report.summary(counts.keys, counts.values);
    report.finish();
    return report.has_errors() ? kDumpedWithErrors : kDumped;
  }
  Output output(out);
  const std::unique_ptr<Sink> writer = make_writer(options.format, output, code_set, report);
  walk(hive, *start, options.max_depth, code_set, report, progress, *writer);
  output.flush();
  out.flush();
  progress.clear();
  if (output.failed()) report.error("writing the output failed");
  report.finish();
  return report.has_errors() ? kDumpedWithErrors : kDumped;
}

}  // namespace vesk::dump
