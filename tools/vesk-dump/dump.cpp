// dump_file: opens the hive through the library, explains a refusal, finds the key to
// start from, and runs the walk into the chosen writer.
#include "dump.h"

#include <cerrno>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "clean_view.h"
#include "code_set.h"
#include "findings.h"
#include "messages.h"
#include "output.h"
#include "placement.h"
#include "progress.h"
#include "report.h"
#include "walk.h"
#include "writers.h"
#include "vesk/hive.hpp"

namespace vesk::dump {
namespace {

// Why the library refused the file, in the words the C++ interface gives every host; a
// dirty hive also gets the option that reads it anyway.
std::string why_not_opened(const std::string& path) {
  const OpenError why = vesk::why_not_opened(path);
  if (why.code() == OpenErrc::not_written_cleanly) {
    return why.reason() + logs_hint(logs_beside(path)) + "; --ignore-dirty reads the file as it stands";
  }
  return why.reason();
}

// What --check walks into: every record is read and checked, nothing is written.
class NoOutput : public Sink {
 public:
  Unwritten key(const KeyEntry&) override { return {}; }
  Unwritten value(const KeyEntry&, const ValueEntry&) override { return {}; }
  void subkeys(const KeyEntry&) override {}
  void key_end(const KeyEntry&) override {}
};

// What --logs did, as recovery words it, and whether the view can be read: false when
// there is none (the hive is then not read). A view that misses something the logs
// hold is read, and counted so that the dump ends with status 1.
bool said_recovery(const CleanView& view, Report& report) {
  for (const std::string& line : vesk::logs::describe(*view.recovery())) {
    report.add(LogsSaid{kNoOffset, line});
  }
  if (!view.problem().empty()) {
    const bool copy_failed = view.recovery()->outcome != vesk::logs::Outcome::not_recovered;
    report.add(LogsNotApplied{kNoOffset, copy_failed ? view.problem() : std::string_view()});
    return false;
  }
  const vesk::logs::Report& r = *view.recovery();
  if (r.outcome == vesk::logs::Outcome::partly_recovered || (r.dirty && r.log_unusable)) {
    report.add(LogsIncomplete{});
  }
  return true;
}

// Says first, when the file is shorter than its base block says, that it was cut.
void name_cut(const HiveHandle& hive, Report& report) {
  const Extent extent = extent_of(hive);
  if (!extent.cut()) return;
  report.add(FileCut{extent.file_size, extent.hive_end, hive.base_block.hive_bins_size});
}

// A stored name as the code set prints it.
std::string printed(const CodeSet& code_set, std::string_view stored) {
  std::string out;
  code_set.append_name(out, stored);
  return out;
}

// The non-empty steps of a backslash-separated path.
std::vector<std::string_view> steps_of(std::string_view path) {
  std::vector<std::string_view> steps;
  while (!path.empty()) {
    const std::size_t cut = path.find('\\');
    if (cut != 0) steps.push_back(path.substr(0, cut));
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
  }
  return steps;
}

bool starts_with(const std::vector<std::string_view>& steps,
                 const std::vector<std::string_view>& head) {
  if (head.empty() || head.size() > steps.size()) return false;
  for (std::size_t i = 0; i < head.size(); ++i) {
    if (compare_names(steps[i], head[i]) != 0) return false;
  }
  return true;
}

// Whether `key` has a value named `name` (case ignored; "" the unnamed one).
// A value whose name the library cannot read whole (stored as UTF-16, say) is no match,
// not even for the unnamed one: the walk never hands it over by name.
bool has_value(const Key& key, std::string_view name) {
  for (const Value& value : key.values()) {
    const std::size_t stored = value.record().name_length;
    const std::string own = value.has_name() ? value.name() : std::string();
    if (own.size() == stored && compare_names(own, name) == 0) return true;
  }
  return false;
}

// How far one reading of KEYPATH got: the keys found, the root first.
struct Descent {
  std::vector<Key> keys;
  std::size_t first_step;  // the steps before it are the ones the root stands for
};

Descent descend(const Key& root, const std::vector<std::string_view>& steps,
                std::size_t first_step) {
  Descent d{{root}, first_step};
  for (std::size_t i = first_step; i < steps.size(); ++i) {
    std::optional<Key> next = d.keys.back().subkey(steps[i]);
    if (!next) break;
    d.keys.push_back(*next);
  }
  return d;
}

// The reading of KEYPATH's steps that goes deepest: first as a path vesk-dump prints
// (starting with the prefix or the root key's name), then as one below the root. A
// reading that finds every step wins at once.
Descent deepest(const Key& root, std::string_view root_name,
                const std::vector<std::string_view>& steps, const Options& options,
                const CodeSet& code_set) {
  std::vector<std::size_t> readings;
  const std::optional<std::string> prefix =
      options.has_prefix ? code_set.to_stored(options.prefix) : std::nullopt;
  const std::vector<std::string_view> prefix_steps = prefix ? steps_of(*prefix) : steps_of("");
  if (starts_with(steps, prefix_steps)) readings.push_back(prefix_steps.size());
  if (starts_with(steps, {root_name})) readings.push_back(1);
  readings.push_back(0);
  Descent best{{}, 0};
  for (const std::size_t first : readings) {
    Descent d = descend(root, steps, first);
    const bool whole = d.first_step + d.keys.size() - 1 == steps.size();
    if (whole || best.keys.empty() || d.keys.size() > best.keys.size()) best = std::move(d);
    if (whole) break;
  }
  return best;
}

// The start at the root, its path the prefix or the root key's own name; none, reported,
// when the value asked for cannot be a stored name.
std::optional<Start> at_root(const Key& root, const Options& options, const CodeSet& code_set,
                             Findings& findings) {
  Start start{root, root.name(), {}, {}, true, {}, std::nullopt, !options.max_depth_chosen};
  if (options.has_prefix) {
    start.path = options.prefix;
    start.chars = utf16_of_text(options.prefix);
  } else {
    start.name_whole = code_set.append_name(start.path, start.name);
    start.chars = utf16_of_stored(start.name);
  }
  if (options.value) {
    start.only_value = code_set.to_stored(*options.value == "@" ? "" : *options.value);
    if (!start.only_value) {
      findings.add(NotStorable{kNoOffset, true, *options.value, {}});
      return std::nullopt;
    }
  }
  return start;
}

// The key to dump: the root, or the key that options.key_path names, with the stored
// name of every key on the way in its path. None, reported, when a step is absent, or
// when the value asked for is.
std::optional<Start> locate(const Key& root, const Options& options, const CodeSet& code_set,
                            Findings& findings) {
  std::optional<Start> start = at_root(root, options, code_set, findings);
  if (!start) return std::nullopt;
  const std::optional<std::string> wanted = code_set.to_stored(options.key_path);
  if (!wanted) {
    findings.add(NotStorable{kNoOffset, false, options.key_path, start->path});
    return std::nullopt;
  }
  const std::vector<std::string_view> steps = steps_of(*wanted);
  const Descent best = deepest(root, start->name, steps, options, code_set);
  // Each key's stored name (and case) goes into the path.
  for (std::size_t i = 1; i < best.keys.size(); ++i) {
    start->above.push_back({start->key.offset(), start->path});
    start->key = best.keys[i];
    start->name = start->key.name();
    start->path += '\\';
    start->name_whole = code_set.append_name(start->path, start->name) && start->name_whole;
    start->chars += u'\\' + utf16_of_stored(start->name);
  }
  const std::size_t found = best.first_step + best.keys.size() - 1;
  if (found < steps.size()) {
    const bool is_value = found + 1 == steps.size() && has_value(start->key, steps[found]);
    findings.add(NoSuchKey{kNoOffset, printed(code_set, steps[found]), start->path, is_value});
    return std::nullopt;
  }
  if (start->only_value && !has_value(start->key, *start->only_value)) {
    findings.add(NoSuchValue{kNoOffset, printed(code_set, *start->only_value), start->path});
    return std::nullopt;
  }
  return start;
}

}  // namespace

int dump_file(const std::string& path, const Options& options, std::ostream& out,
              std::ostream& err) {
  Progress progress(err, options.progress);
  Report report(err, path, progress);
  if (options.check) report.summary_only();
  // Without --logs or --ignore-dirty the view is never made: the library refuses a dirty hive.
  std::optional<CleanView> view;
  if (options.logs) view.emplace(path, options.log_files);
  else if (options.ignore_dirty) view.emplace(path);
  const std::string& opened = view ? view->path() : path;
  if (view && view->recovery()) {
    if (!said_recovery(*view, report)) return kRefused;
  } else if (view && view->dirty()) {
    if (!view->problem().empty()) {
      report.refuse(view->problem());
      return kRefused;
    }
    report.add(ReadDirty{kNoOffset, view->primary(), view->secondary()});
  }
  const Hive hive(opened);
  if (!hive) {
    report.refuse(why_not_opened(opened));
    return kRefused;
  }
  name_cut(*hive.handle(), report);
  const std::optional<Key> root = hive.root();
  if (!root) {
    report.refuse(vesk::why_no_root(opened).reason());
    return kRefused;
  }
  const CodeSet code_set;
  const std::optional<Start> start = locate(*root, options, code_set, report);
  if (!start) return kRefused;

  if (options.check) {
    NoOutput nothing;
    const Counts counts =
        walk(hive, *start, options.max_depth, code_set, report, progress, nothing);
    progress.clear();
    report.summary(counts.keys, counts.values);
    report.finish();
    return report.has_errors() ? kDumpedWithDamage : kDumped;
  }
  Output output(out);
  Shown shown = options.shown;
  shown.one_value = options.value.has_value();
  const std::unique_ptr<Sink> writer =
      make_writer(options.format, output, code_set, shown, find_code_page(options.code_page));
  walk(hive, *start, options.max_depth, code_set, report, progress, *writer);
  output.flush();
  errno = 0;
  out.flush();
  const int flush_error = errno;
  progress.clear();
  if (output.failed()) {
    const int why = output.error() != 0 ? output.error() : flush_error;
    report.add(OutputFailed{kNoOffset, why});
    report.finish();
    return kOutputFailed;
  }
  report.finish();
  return report.has_errors() ? kDumpedWithDamage : kDumped;
}

}  // namespace vesk::dump
