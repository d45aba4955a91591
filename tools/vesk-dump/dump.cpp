// dump_file: opens the hive through the library, explains a refusal, finds the key to
// start from, and runs the walk into the chosen writer.
#include "dump.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>
#include <type_traits>
#include <variant>
#include <vector>

#include "clean_view.h"
#include "file_audit.h"
#include "code_set.h"
#include "filter.h"
#include "findings.h"
#include "messages.h"
#include "layout.h"
#include "line_text.h"
#include "output.h"
#include "pipeline.h"
#include "placement.h"
#include "progress.h"
#include "report.h"
#include "timeline_writer.h"
#include "walk.h"
#include "writers.h"
#include "messages.h"
#include "vesk/hive.hpp"

#include <sys/stat.h>
#include <unistd.h>

namespace vesk::dump {
namespace {

// Why the library refused the file, in the words the C++ interface gives every host; a
// dirty hive also gets the option that reads it anyway. When a read failed (`read_error`
// its errno), a judgement of the file's bytes is not the cause, the read is; what the
// system refused outright (no such file, no permission) is said as it is.
std::string why_not_opened(const std::string& path, int read_error) {
  const OpenError why = vesk::why_not_opened(path);
  if (read_error != 0 && why.code().category() == vesk::open_category()) {
    return sentence(ReadFailed{kNoOffset, {}, Reading::kHive, 0, read_error});
  }
  if (why.code() == OpenErrc::not_written_cleanly) {
    return why.reason() + logs_hint(logs_beside(path)) + "; --ignore-dirty reads the file as it stands";
  }
  return why.reason();
}

// The file as the system describes it, to tell at the end whether it changed during the
// run; `known` false when it could not be asked (the library then says why it refuses).
struct FileState {
  bool known = false;
  std::uint64_t size = 0;
  std::filesystem::file_time_type modified{};
  bool operator==(const FileState& o) const {
    return known == o.known && size == o.size && modified == o.modified;
  }
};

FileState state_of(const std::string& path) {
  std::error_code ec;
  FileState state;
  state.size = std::filesystem::file_size(path, ec);
  if (ec) return {};
  state.modified = std::filesystem::last_write_time(path, ec);
  state.known = !ec;
  return state;
}

// The library's file sizes are signed 32-bit numbers: a larger file would be misread
// (its size wrapping to a negative or small one), so it is refused with its true size.
constexpr std::uint64_t kLargestFile = 0x7FFFFFFF;

std::optional<std::string> too_large(const FileState& state) {
  if (!state.known || state.size <= kLargestFile) return std::nullopt;
  return "the file holds " + std::to_string(state.size) +
         " bytes; the library reads files of at most " + std::to_string(kLargestFile) +
         " bytes (2 GiB - 1), as its sizes are 32-bit, so none of it is read";
}

// Passes findings on to the report, and tells whether the file changed since `before`:
// asked at the end, and at each judgement of the file's contents (damage, or what the
// library cannot read), since a file cut or rewritten under the walk reads as damage.
// Once it changed, that is said once and no such judgement is passed on, as what a
// changed file gives is not judged.
class ChangeWatch : public Findings {
 public:
  ChangeWatch(const std::string& path, const FileState& before, Report& report)
      : path_(path), before_(before), report_(report) {}

  void add(const Finding& finding) override {
    if (judges_contents(finding) && changed()) return;
    report_.add(finding);
  }

  // Whether the file changed; the first time it is seen, says so.
  bool changed() {
    if (changed_) return true;
    const FileState now = state_of(path_);
    if (now == before_) return false;
    changed_ = true;
    report_.add(FileChanged{kNoOffset, before_.size, now.size});
    return true;
  }

 private:
  static bool judges_contents(const Finding& finding) {
    return std::visit(
        [](const auto& f) {
          using F = std::decay_t<decltype(f)>;
          if constexpr (std::is_same_v<F, SkippedRun>) {
            return true;
          } else {
            return kind_of(f) < Kind::kReadError;
          }
        },
        finding);
  }

  const std::string& path_;
  const FileState& before_;
  Report& report_;
  bool changed_ = false;
};

// errno after a call into the library before the walk: a failed read there leaves
// nothing sound to start from, so it is a refusal, said even by --check.
bool read_failed(Reading reading, Report& report) {
  const int error = errno;
  if (error == 0) return false;
  report.refuse(sentence(ReadFailed{kNoOffset, {}, reading, 0, error}));
  return true;
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
  if (vesk::logs::may_miss_changes(*view.recovery())) report.add(LogsIncomplete{});
  return true;
}

// Says first, when the file is shorter than its base block says, that it was cut.
void name_cut(const HiveHandle& hive, Findings& report) {
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

// The subkey a printed "<key N: why>" step stands for: the one at N in the key's list,
// as printed for a key whose name cannot be read; none for any other step.
std::optional<Key> subkey_by_index(const Key& key, std::string_view step) {
  constexpr std::string_view kLead = "<key ";
  if (step.substr(0, kLead.size()) != kLead || step.back() != '>') return std::nullopt;
  std::int64_t index = 0;
  std::size_t i = kLead.size();
  for (; i < step.size() && step[i] >= '0' && step[i] <= '9' && index <= 0x7FFF; ++i) {
    index = index * 10 + (step[i] - '0');
  }
  if (i == kLead.size() || i >= step.size() || step[i] != ':') return std::nullopt;
  if (key.subkey_count() <= 0) return std::nullopt;
  const Subkeys list = key.subkeys();
  if (list.record().signature != kSigLfList || index >= list.size()) return std::nullopt;
  Key child = list.at(static_cast<std::int32_t>(index)).first;
  if (child.record().signature != format::kSigNk) return std::nullopt;
  return child;
}

Descent descend(const Key& root, const std::vector<std::string_view>& steps,
                std::size_t first_step) {
  Descent d{{root}, first_step};
  for (std::size_t i = first_step; i < steps.size(); ++i) {
    std::optional<Key> next = d.keys.back().subkey(steps[i]);
    if (!next) next = subkey_by_index(d.keys.back(), steps[i]);
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
  // A path as the code set prints it (.reg, tree, messages), or as the line formats do:
  // UTF-8 in any locale, with control pictures.
  std::optional<std::string> wanted = code_set.to_stored(options.key_path);
  const std::optional<std::string> as_line = stored_of_line_text(options.key_path);
  if (!wanted) wanted = as_line;
  if (!wanted) {
    findings.add(NotStorable{kNoOffset, false, options.key_path, start->path});
    return std::nullopt;
  }
  std::vector<std::string_view> steps = steps_of(*wanted);
  Descent best = deepest(root, start->name, steps, options, code_set);
  if (as_line && *as_line != *wanted && best.first_step + best.keys.size() - 1 < steps.size()) {
    std::vector<std::string_view> line_steps = steps_of(*as_line);
    Descent line = deepest(root, start->name, line_steps, options, code_set);
    if (line.first_step + line.keys.size() - 1 == line_steps.size()) {
      steps = std::move(line_steps);
      best = std::move(line);
    }
  }
  // Each key's stored name (and case) goes into the path.
  for (std::size_t i = 1; i < best.keys.size(); ++i) {
    start->above.push_back({start->key.offset(), start->path});
    start->key = best.keys[i];
    start->name = start->key.name();
    start->path += '\\';
    start->name_whole = code_set.append_name(start->path, start->name) && start->name_whole;
    // A key found by its place in the list keeps that form, as the line formats print it.
    const std::string_view step = steps[best.first_step + i - 1];
    const bool by_index = compare_names(start->name, step) != 0;
    start->chars += u'\\' + utf16_of_stored(by_index ? step : std::string_view(start->name));
  }
  const std::size_t found = best.first_step + best.keys.size() - 1;
  if (found < steps.size()) {
    const bool is_value = found + 1 == steps.size() && has_value(start->key, steps[found]);
    findings.add(NoSuchKey{kNoOffset, printed(code_set, steps[found]), start->path, is_value});
    return std::nullopt;
  }
  if (start->only_value && !has_value(start->key, *start->only_value)) {
    // A name as csv prints it: UTF-8, controls as their pictures.
    const std::optional<std::string> as_printed =
        stored_of_line_text(*options.value == "@" ? "" : *options.value);
    if (as_printed && has_value(start->key, *as_printed)) start->only_value = as_printed;
  }
  if (start->only_value && !has_value(start->key, *start->only_value)) {
    findings.add(NoSuchValue{kNoOffset, printed(code_set, *start->only_value), start->path});
    return std::nullopt;
  }
  return start;
}

// A hint for a KEYPATH that named no key: slashes typed for backslashes, or a backslash
// the shell took away, seen by a subkey's name that begins the step not found.
std::string hint_for(const Key& root, const Options& options, const CodeSet& code_set) {
  const std::optional<std::string> wanted = code_set.to_stored(options.key_path);
  if (!wanted) return {};
  const std::vector<std::string_view> steps = steps_of(*wanted);
  const Descent best = deepest(root, root.name(), steps, options, code_set);
  const std::size_t found = best.first_step + best.keys.size() - 1;
  if (found >= steps.size()) return {};
  std::vector<std::string> children;
  for (const auto& child : best.keys.back().subkeys()) {
    children.push_back(printed(code_set, child.name()));
  }
  return key_path_hint(printed(code_set, steps[found]), children);
}

// The --grep/--type filter in front of the writer; none when neither is given.
std::optional<FilterSink> filter_for(const Options& options, const CodeSet& code_set,
                                     Sink& writer) {
  Filter filter;
  filter.types = options.types;
  if (!options.grep.empty()) {
    const std::optional<std::u32string> text = code_set.decode(options.grep);
    for (const char c : options.grep) filter.grep += static_cast<unsigned char>(c);
    if (text) filter.grep = *text;
  }
  if (!filter.active()) return std::nullopt;
  return std::optional<FilterSink>(std::in_place, writer, std::move(filter));
}

// Whether the writer gets a thread of its own (pipeline.h). A second thread is a cost of
// its own: from the first one on, every read of the walk and every allocation takes the
// C library's multi-threaded path, which on the 100 MiB benchmark hive added a tenth to a
// walk without output. It pays where the writer, or a search, spends on each value about
// what the walk spends reading it: the .reg formats, JSON, JSON Lines and csv, and any
// format filtered by --grep or --type (a fifth to a tenth off their time on two cores).
// The tree, the timeline and the body file write too little per key to make up for it.
// With one core there is nothing to overlap.
bool worth_a_thread(Format format, bool filtered) {
  if (std::thread::hardware_concurrency() < 2) return false;
  switch (format) {
    case Format::kReg:
    case Format::kRegedit4:
    case Format::kJson:
    case Format::kJsonl:
    case Format::kCsv: return true;
    default: return filtered;
  }
}

}  // namespace

std::optional<Key> find_key(const Key& root, const Options& options, Findings& findings,
                            std::ostream& err) {
  const CodeSet code_set;
  if (const std::optional<Start> start = locate(root, options, code_set, findings)) {
    return start->key;
  }
  const std::string hint = hint_for(root, options, code_set);
  if (!hint.empty()) err << "vesk-dump: hint: " << hint << '\n';
  return std::nullopt;
}

int dump_file(const std::string& path, const Options& options, std::ostream& out,
              std::ostream& err, Sink* shared_writer) {
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
  const FileState before = state_of(path);
  if (const std::optional<std::string> why = too_large(before)) {
    report.refuse(*why);
    return kRefused;
  }
  errno = 0;
  const Hive hive(opened);
  // A refusal the file's bytes explain is the library's; with a failed read among them,
  // the read is the cause.
  ChangeWatch watch(path, before, report);
  // A file cut or rewritten while it was opened is refused for that, not for its bytes.
  const auto refuse = [&](const std::string& why) {
    if (!watch.changed()) report.refuse(why);
    return kRefused;
  };
  if (!hive) {
    const int error = errno;
    return refuse(why_not_opened(opened, error));
  }
  if (read_failed(Reading::kHive, report)) return kRefused;
  name_cut(*hive.handle(), watch);
  errno = 0;
  const std::optional<Key> root = hive.root();
  if (read_failed(Reading::kRootKey, report)) return kRefused;
  if (!root) return refuse(vesk::why_no_root(opened).reason());
  audit_file(path, watch);
  const CodeSet code_set;
  errno = 0;
  const std::optional<Start> start = locate(*root, options, code_set, report);
  if (read_failed(Reading::kKeyPath, report)) return kRefused;
  if (!start) {
    const std::string hint = hint_for(*root, options, code_set);
    if (!hint.empty()) err << "vesk-dump: hint: " << hint << '\n';
    return kRefused;
  }

  if (options.check) {
    NoOutput nothing;
    const Counts counts =
        walk(hive, *start, options.max_depth, code_set, watch, progress, nothing);
    progress.clear();
    watch.changed();
    report.summary(counts.keys, counts.values);
    report.finish();
    // The summary is all --check gives: when it cannot be written, nothing was.
    if (!err) return kOutputFailed;
    return report.has_errors() ? kDumpedWithDamage : kDumped;
  }
  Output output(out);
  Shown shown = options.shown;
  shown.one_value = options.value.has_value();
  const std::unique_ptr<Sink> own_writer =
      shared_writer != nullptr
          ? nullptr
          : make_writer(options.format, output, code_set, shown,
                        find_code_page(options.code_page), options.label);
  Sink& writer = shared_writer != nullptr ? *shared_writer : *own_writer;
  std::optional<FilterSink> filter = filter_for(options, code_set, writer);
  Sink& sink = filter ? static_cast<Sink&>(*filter) : writer;
  if (worth_a_thread(options.format, filter.has_value())) {
    Pipeline pipeline(sink, watch, progress);
    walk(hive, *start, options.max_depth, code_set, pipeline.findings(), progress,
         pipeline.sink());
    pipeline.finish();
  } else {
    walk(hive, *start, options.max_depth, code_set, watch, progress, sink);
  }
  watch.changed();
  const std::optional<int> refused = output.finish();
  progress.clear();
  if (refused) {
    report.add(OutputFailed{kNoOffset, *refused});
    report.finish();
    return kOutputFailed;
  }
  report.finish();
  if (report.has_errors()) return kDumpedWithDamage;
  return filter && !filter->matched() ? kNothingMatched : kDumped;
}

int dump_files(const std::vector<std::string>& paths, const Options& options,
               std::ostream& out, std::ostream& err) {
  if (paths.size() == 1) return dump_file(paths[0], options, out, err);
  // One timeline for all the hives: its rows are sorted together after the last walk.
  std::optional<Output> timeline_output;
  std::optional<TimelineWriter> timeline;
  if (options.format == Format::kTimeline && !options.check) {
    timeline.emplace(timeline_output.emplace(out));
  }
  int worst = kDumped;
  bool all_unmatched = true;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    Options one = options;
    one.label.hive = paths[i];
    one.label.header = i == 0;
    if (timeline) timeline->next_hive(paths[i]);
    const int status = dump_file(paths[i], one, out, err, timeline ? &*timeline : nullptr);
    all_unmatched = all_unmatched && status == kNothingMatched;
    if (status != kNothingMatched && status > worst) worst = status;
  }
  if (timeline) {
    timeline->finish();
    if (const std::optional<int> refused = timeline_output->finish()) {
      err << "vesk-dump: " << sentence(OutputFailed{kNoOffset, *refused}) << '\n';
      return kOutputFailed;
    }
  }
  return all_unmatched ? kNothingMatched : worst;
}

int dump_to_file(const std::vector<std::string>& paths, const Options& options,
                 const std::string& output, std::ostream& err) {
  struct stat target {};
  if (stat(output.c_str(), &target) == 0) {
    for (const std::string& path : paths) {
      struct stat hive {};
      if (stat(path.c_str(), &hive) == 0 && hive.st_dev == target.st_dev &&
          hive.st_ino == target.st_ino) {
        err << "vesk-dump: " << output << ": " << output_is_hive() << '\n';
        return kRefused;
      }
    }
  }
  std::string temp = output + ".vesk-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    err << "vesk-dump: " << output << ": " << std::strerror(errno) << '\n';
    return kOutputFailed;
  }
  // mkstemp makes the file private; the output gets the permissions any new file would.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  int status = kOutputFailed;
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (out) status = dump_files(paths, options, out, err);
    out.close();
    if (out.fail() && status != kOutputFailed) {
      err << "vesk-dump: " << output << ": " << std::strerror(errno) << '\n';
      status = kOutputFailed;
    }
  }
  const bool keep = status != kOutputFailed && (status != kRefused || paths.size() > 1) &&
                    fsync(fd) == 0;
  close(fd);
  if (keep && std::rename(temp.c_str(), output.c_str()) == 0) return status;
  if (keep) {
    err << "vesk-dump: " << output << ": " << std::strerror(errno) << '\n';
    status = kOutputFailed;
  }
  std::remove(temp.c_str());
  return status;
}

}  // namespace vesk::dump
