// Sorted once at the end of the walk: dates newest first, then times out of range, then
// zero times, keys with equal times in the order they were walked. The path is the one
// the other formats print, rebuilt from the names when its line is written.
#include "timeline_writer.h"

#include <algorithm>

#include "filetime.h"
#include "line_text.h"

namespace vesk::dump {
namespace {

int rank(std::uint64_t filetime) {
  switch (time_kind(filetime)) {
    case TimeKind::kDate: return 0;
    case TimeKind::kOutOfRange: return 1;
    case TimeKind::kZero: break;
  }
  return 2;
}

void append_note(std::string& t, const char* items, std::int32_t count, std::string_view why) {
  if (count <= 0) return;
  if (!t.empty()) t += "; ";
  t += std::to_string(count) + ' ' + items + " not read: ";
  t += why;
}

}  // namespace

Unwritten TimelineWriter::key(const KeyEntry& key) {
  const auto index = static_cast<std::uint32_t>(rows_.size());
  const std::size_t name_at = names_.size();
  if (key.depth == 0) {
    for (const char16_t c : key.start_path) append_line_char(names_, c);
  } else if (!key.unreadable.empty()) {
    // A name the library could not read whole is never shown as if it were the name;
    // the key's place in its list tells it from its siblings.
    names_ += "<key " + std::to_string(key.index) + ": " + std::string(key.unreadable) + ">";
  } else {
    append_line_name(names_, key.name);
  }
  rows_.push_back(Row{key.last_written, name_at, static_cast<std::uint32_t>(names_.size() - name_at),
                      open_.empty() ? kNoParent : open_.back(), key.subkey_count,
                      key.value_count, 0, 0,
                      hives_.empty() ? 0 : static_cast<std::uint32_t>(hives_.size() - 1)});
  open_.push_back(index);
  return {};
}

void TimelineWriter::key_end(const KeyEntry& key) {
  Row& row = rows_[open_.back()];
  row.note_at = notes_.size();
  std::string note;
  append_note(note, "subkeys", key.subkeys_not_read, key.subkeys_not_read_reason);
  append_note(note, "subkeys", key.skipped.subkeys.count, key.skipped.subkeys.reason);
  append_note(note, "values", key.skipped.values.count, key.skipped.values.reason);
  notes_ += note;
  row.note_size = static_cast<std::uint32_t>(note.size());
  open_.pop_back();
  if (open_.empty() && hives_.empty()) write_all();
}

void TimelineWriter::next_hive(std::string hive) {
  hives_.push_back(std::move(hive));
  open_.clear();  // a walk cut short by a refusal ends no key
}

void TimelineWriter::append_path(std::string& t, std::uint32_t row) {
  chain_.clear();
  for (std::uint32_t r = row; r != kNoParent; r = rows_[r].parent) chain_.push_back(r);
  for (auto r = chain_.rbegin(); r != chain_.rend(); ++r) {
    if (r != chain_.rbegin()) t += '\\';
    t.append(names_, rows_[*r].name_at, rows_[*r].name_size);
  }
}

void TimelineWriter::write_all() {
  std::vector<std::uint32_t> order(rows_.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
    const std::uint64_t ta = rows_[a].last_written;
    const std::uint64_t tb = rows_[b].last_written;
    const int ra = rank(ta);
    const int rb = rank(tb);
    return ra != rb ? ra < rb : ta > tb;
  });
  std::string& t = out_.text();
  if (!hives_.empty()) t += "hive,";
  t += "last_written,path,subkeys,values,not_read\n";
  std::string path;
  for (const std::uint32_t r : order) {
    if (!hives_.empty()) {
      append_csv_field(t, hives_[rows_[r].hive]);
      t += ',';
    }
    append_time_or_reason(t, rows_[r].last_written);
    t += ',';
    path.clear();
    append_path(path, r);
    append_csv_field(t, path);
    t += ',' + std::to_string(rows_[r].subkeys) + ',' + std::to_string(rows_[r].values) + ',';
    append_csv_field(t, std::string_view(notes_).substr(rows_[r].note_at, rows_[r].note_size));
    t += '\n';
    out_.flush_if_full();
  }
}

}  // namespace vesk::dump
