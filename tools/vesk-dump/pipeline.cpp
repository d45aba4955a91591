#include "pipeline.h"

#include <chrono>
#include <utility>

#include <locale.h>

namespace vesk::dump {
namespace {

// Batches handed over and not yet written: enough to keep the writer busy while the walk
// fills the next, few enough that memory stays a few batches whatever the hive.
constexpr std::size_t kQueued = 3;

std::string_view at(const std::string& text, std::uint32_t from, std::uint32_t size) {
  return std::string_view(text).substr(from, size);
}

}  // namespace

Pipeline::Pipeline(Sink& writer, Findings& findings, Progress& progress)
    : writer_(writer), findings_(findings), progress_(progress),
      filling_(std::make_unique<Batch>()) {
  // The writers' text follows the locale, which a thread may have set for itself alone.
  const locale_t locale = uselocale(locale_t{});
  thread_ = std::thread([this, locale] {
    uselocale(locale);
    run();
  });
}

Pipeline::~Pipeline() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

Pipeline::Span Pipeline::keep(std::string& text, std::string_view view) {
  const Span span{static_cast<std::uint32_t>(text.size()), static_cast<std::uint32_t>(view.size())};
  text += view;
  return span;
}

void Pipeline::record(Call call, const KeyEntry& key) {
  Batch& b = *filling_;
  b.calls.push_back(call);
  KeyRecord& k = b.keys.emplace_back();
  k.entry = key;
  if (call == Call::kKey) {
    ++keys_;
    k.name = keep(b.text, key.name);
    k.path = keep(b.text, key.path);
    k.name_in_path = keep(b.text, key.name_in_path);
    k.unreadable = keep(b.text, key.unreadable);
    if (key.start_path != start_) {
      start_ = key.start_path;
      k.new_start = true;
      k.start_at = static_cast<std::uint32_t>(b.chars.size());
      b.chars += start_;
    }
  }
  // Known from the subkeys call on, and empty for nearly every key.
  k.subkeys_not_read_reason = keep(b.text, key.subkeys_not_read_reason);
  k.values_reason = keep(b.text, key.skipped.values.reason);
  k.subkeys_reason = keep(b.text, key.skipped.subkeys.reason);
  if (b.full()) hand_over();
}

Unwritten Pipeline::In::value(const KeyEntry&, const ValueEntry& value) {
  ++p_.values_;
  Batch& b = *p_.filling_;
  b.calls.push_back(Call::kValue);
  ValueRecord& v = b.values.emplace_back();
  v.entry = value;
  v.name = keep(b.text, value.name);
  v.unreadable = keep(b.text, value.unreadable);
  v.has_bytes = value.bytes != nullptr;
  v.bytes_at = static_cast<std::uint32_t>(b.bytes.size());
  v.bytes_size = value.bytes ? static_cast<std::uint32_t>(value.bytes->size()) : 0;
  if (value.bytes) b.bytes.insert(b.bytes.end(), value.bytes->begin(), value.bytes->end());
  if (b.full()) p_.hand_over();
  return {};
}

const KeyEntry& Pipeline::rebuild(const Batch& batch, KeyRecord& k, Call call) {
  KeyEntry& key = k.entry;
  const std::string& t = batch.text;
  const auto depth = static_cast<std::size_t>(key.depth);
  if (open_.size() <= depth) open_.resize(depth + 1);
  Open& own = open_[depth];
  if (call == Call::kKey) {
    own.name = at(t, k.name.at, k.name.size);
    own.path = at(t, k.path.at, k.path.size);
    own.name_in_path = at(t, k.name_in_path.at, k.name_in_path.size);
    own.unreadable = at(t, k.unreadable.at, k.unreadable.size);
    if (k.new_start) writer_start_.assign(batch.chars, k.start_at, start_.npos);
  }
  key.name = own.name;
  key.path = own.path;
  key.name_in_path = own.name_in_path;
  key.unreadable = own.unreadable;
  key.start_path = writer_start_;
  key.subkeys_not_read_reason = at(t, k.subkeys_not_read_reason.at, k.subkeys_not_read_reason.size);
  key.skipped.values.reason = at(t, k.values_reason.at, k.values_reason.size);
  key.skipped.subkeys.reason = at(t, k.subkeys_reason.at, k.subkeys_reason.size);
  if (call == Call::kKey) {
    // Its values come next, perhaps in a later batch: what they carry of this batch's
    // text (its reasons, which a key call has not learnt yet) is dropped.
    key_ = key;
    key_.subkeys_not_read_reason = {};
    key_.skipped.values.reason = {};
    key_.skipped.subkeys.reason = {};
  }
  return key;
}

const ValueEntry& Pipeline::rebuild(const Batch& batch, ValueRecord& v) {
  ValueEntry& value = v.entry;
  const std::string& t = batch.text;
  value.name = at(t, v.name.at, v.name.size);
  value.unreadable = at(t, v.unreadable.at, v.unreadable.size);
  value.bytes = nullptr;
  if (v.has_bytes) {
    const auto from = batch.bytes.begin() + v.bytes_at;
    data_.assign(from, from + static_cast<std::ptrdiff_t>(v.bytes_size));
    value.bytes = &data_;
  }
  return value;
}

void Pipeline::replay(Batch& batch, std::vector<Unsaid>& unsaid) {
  std::size_t next_key = 0, next_value = 0;
  for (const Call call : batch.calls) {
    Unwritten what;
    if (call == Call::kValue) {
      what = writer_.value(key_, rebuild(batch, batch.values[next_value++]));
      if (what) unsaid.push_back({std::string(key_.path), std::move(what)});
      continue;
    }
    const KeyEntry& key = rebuild(batch, batch.keys[next_key++], call);
    switch (call) {
      case Call::kKey: what = writer_.key(key); break;
      case Call::kSubkeys: writer_.subkeys(key); break;
      case Call::kKeyEnd: writer_.key_end(key); break;
      case Call::kValue: break;
    }
    if (what) unsaid.push_back({std::string(key.path), std::move(what)});
  }
}

template <typename Done>
void Pipeline::wait(std::unique_lock<std::mutex>& lock, Done done) {
  while (!changed_.wait_for(lock, std::chrono::duration<double>(Progress::kEvery), done)) {
    lock.unlock();
    progress_.update_if_due(keys_, values_);
    lock.lock();
  }
}

void Pipeline::hand_over() {
  std::unique_ptr<Batch> next;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    wait(lock, [this] { return queue_.size() < kQueued; });
    queue_.push_back(std::move(filling_));
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  changed_.notify_all();
  if (!next) next = std::make_unique<Batch>();
  next->clear();
  filling_ = std::move(next);
  report_unsaid();
}

void Pipeline::catch_up() {
  if (!filling_->calls.empty()) hand_over();
  {
    std::unique_lock<std::mutex> lock(mutex_);
    wait(lock, [this] { return queue_.empty() && !busy_; });
  }
  report_unsaid();
}

void Pipeline::report_unsaid() {
  std::vector<Unsaid> said;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    said.swap(unsaid_);
  }
  for (Unsaid& u : said) findings_.add(NotWritten{kNoOffset, u.path, std::move(u.what)});
}

void Pipeline::FindingsIn::add(const Finding& finding) {
  p_.catch_up();
  p_.findings_.add(finding);
}

void Pipeline::finish() {
  if (!thread_.joinable()) return;
  catch_up();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
  thread_.join();
  if (failure_) std::rethrow_exception(failure_);
}

void Pipeline::run() {
  for (;;) {
    std::unique_ptr<Batch> batch;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || done_; });
      if (queue_.empty()) return;
      batch = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
    }
    changed_.notify_all();
    std::vector<Unsaid> unsaid;
    // After a writer threw, the batches are still taken, so the walk never waits on a
    // thread that stopped; finish() passes the failure on.
    if (!failure_) {
      try {
        replay(*batch, unsaid);
      } catch (...) {
        failure_ = std::current_exception();
      }
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      for (Unsaid& u : unsaid) unsaid_.push_back(std::move(u));
      spare_.push_back(std::move(batch));
      busy_ = false;
    }
    changed_.notify_all();
  }
}

}  // namespace vesk::dump
