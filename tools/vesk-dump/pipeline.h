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

namespace vesk::dump {

class Pipeline {
 public:
  // `writer` is called from the pipeline's thread only, until finish().
  Pipeline(Sink& writer, Findings& findings);
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
  struct KeyRecord {
    Span name, path, name_in_path, unreadable, subkeys_not_read_reason, values_reason,
        subkeys_reason;
    std::uint32_t start_at = 0, start_size = 0;  // in `chars`
    KeyEntry entry;  // its views rebuilt from the spans when replayed
  };
  struct ValueRecord {
    Span name, unreadable;
    bool has_bytes = false;
    std::uint32_t bytes_at = 0, bytes_size = 0;
    ValueEntry entry;
  };
  enum class Call : std::uint8_t { kKey, kValue, kSubkeys, kKeyEnd };
  struct Event {
    Call call;
    KeyRecord key;
    ValueRecord value;
  };
  struct Batch {
    std::vector<Event> events;
    std::string text;
    std::u16string chars;
    std::vector<std::uint8_t> bytes;
    bool full() const {
      return events.size() >= 4096 || text.size() >= (1u << 18) || bytes.size() >= (1u << 18);
    }
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

  Event& record(Call call, const KeyEntry& key);
  static Span keep(std::string& text, std::string_view view);
  static void rebuild(const Batch& batch, Event& event, std::vector<std::uint8_t>& data);
  // Hands the batch being filled to the thread, waiting while the queue is full.
  void hand_over();
  // Hands over what is gathered and waits until the writer has written all of it.
  void catch_up();
  void report_unsaid();
  void run();

  Sink& writer_;
  Findings& findings_;
  In in_{*this};
  FindingsIn findings_in_{*this};
  std::unique_ptr<Batch> filling_;

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
