// The writer on a thread of its own. A dump's time is the walk's reads (one system call
// per library read) plus the writer's formatting; on a machine with two cores the two
// can overlap. The walk hands its records to Pipeline::sink(), which copies them into
// batches; a second thread hands each batch to the writer in the same order. What the
// writer could not write comes back as findings, and every finding still reaches the
// real Findings from the walk's thread, in the order a walk without the thread gives:
// a finding of the walk waits until the writer has caught up with it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "entries.h"
#include "findings.h"
#include "progress.h"

namespace vesk::dump {

class Pipeline {
 public:
  // `writer` is called from the pipeline's thread only, until finish(). While the walk
  // waits on the writer (a slow reader of the output), `progress` is kept up.
  Pipeline(Sink& writer, Findings& findings, Progress& progress);
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  Sink& sink() { return in_; }
  Findings& findings() { return findings_in_; }
  // Waits until the writer has had everything, reports what it could not write, and
  // ends the thread; rethrows what the writer threw.
  void finish();

 private:
  // A view's place in its batch's text.
  struct Span {
    std::uint32_t at = 0, size = 0;
  };
  // A key's own strings are the same in all its calls (the walk builds them once), so
  // only its key call carries them; the other calls carry what changes, and the writer's
  // side keeps the strings of each key open above them, by depth.
  struct KeyRecord {
    Span name, path, name_in_path, unreadable;  // the key call's only
    Span subkeys_not_read_reason, values_reason, subkeys_reason;
    bool new_start = false;  // a first key's path is in `chars`, from start_at
    std::uint32_t start_at = 0;
    KeyEntry entry;          // its views rebuilt when replayed
  };
  // A value's key is the one of the key call just before its key's values: the writer's
  // side keeps that entry, so a value carries only its own.
  struct ValueRecord {
    Span name, unreadable;
    bool has_bytes = false;
    std::uint32_t bytes_at = 0, bytes_size = 0;
    ValueEntry entry;
  };
  enum class Call : std::uint8_t { kKey, kValue, kSubkeys, kKeyEnd };
  // The calls in order; each kValue takes the next of `values`, every other the next of
  // `keys`.
  struct Batch {
    std::vector<Call> calls;
    std::vector<KeyRecord> keys;
    std::vector<ValueRecord> values;
    std::string text;
    std::u16string chars;
    std::vector<std::uint8_t> bytes;
    bool full() const {
      return calls.size() >= 4096 || text.size() >= (1u << 18) || bytes.size() >= (1u << 18);
    }
    void clear() {
      calls.clear();
      keys.clear();
      values.clear();
      text.clear();
      chars.clear();
      bytes.clear();
    }
  };
  // The writer's side: the strings of a key entered and not yet ended.
  struct Open {
    std::string name, path, name_in_path, unreadable;
  };
  struct Unsaid {  // what the writer could not write, for the walk's thread to report
    std::string path;
    Unwritten what;
  };

  class In : public Sink {
   public:
    explicit In(Pipeline& p) : p_(p) {}
    Unwritten key(const KeyEntry& key) override { return p_.record(Call::kKey, key), Unwritten{}; }
    Unwritten value(const KeyEntry& key, const ValueEntry& value) override;
    void subkeys(const KeyEntry& key) override { p_.record(Call::kSubkeys, key); }
    void key_end(const KeyEntry& key) override { p_.record(Call::kKeyEnd, key); }

   private:
    Pipeline& p_;
  };
  class FindingsIn : public Findings {
   public:
    explicit FindingsIn(Pipeline& p) : p_(p) {}
    void add(const Finding& finding) override;

   private:
    Pipeline& p_;
  };

  void record(Call call, const KeyEntry& key);
  static Span keep(std::string& text, std::string_view view);
  // On the writer's thread: the entries of a record as the walk gave them.
  const KeyEntry& rebuild(const Batch& batch, KeyRecord& record, Call call);
  const ValueEntry& rebuild(const Batch& batch, ValueRecord& record);
  // Replays one batch to the writer, gathering what it could not write.
  void replay(Batch& batch, std::vector<Unsaid>& unsaid);
  // Hands the batch being filled to the thread, waiting while the queue is full.
  void hand_over();
  // Hands over what is gathered and waits until the writer has written all of it.
  void catch_up();
  void report_unsaid();
  // Waits under `lock` until `done` holds, keeping the progress line up meanwhile.
  template <typename Done>
  void wait(std::unique_lock<std::mutex>& lock, Done done);
  void run();

  Sink& writer_;
  Findings& findings_;
  Progress& progress_;
  std::int64_t keys_ = 0, values_ = 0;  // recorded, for the progress line
  In in_{*this};
  FindingsIn findings_in_{*this};
  std::unique_ptr<Batch> filling_;
  std::u16string start_;  // the walk's side: the first key's path last recorded

  // The writer's side, in rebuild.
  std::vector<Open> open_;
  KeyEntry key_{};  // of the last key call, for its values
  std::u16string writer_start_;
  std::vector<std::uint8_t> data_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Batch>> queue_;  // handed over, not yet written
  std::vector<std::unique_ptr<Batch>> spare_;  // written, for reuse
  std::vector<Unsaid> unsaid_;
  bool busy_ = false;  // the thread is writing a batch
  bool done_ = false;
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace vesk::dump
