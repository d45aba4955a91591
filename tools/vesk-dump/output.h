// Output text gathered in a buffer and handed to the stream in large pieces, so a dump
// of a large hive costs few writes.
#pragma once

#include <ostream>
#include <string>

namespace vesk::dump {

class Output {
 public:
  explicit Output(std::ostream& os) : os_(os) { text_.reserve(kFlushBytes + 4096); }
  ~Output() { flush(); }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  std::string& text() { return text_; }
  void flush_if_full() {
    if (text_.size() >= kFlushBytes) flush();
  }
  void flush() {
    if (!text_.empty()) os_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
    text_.clear();
  }
  // Whether the stream refused any of it.
  bool failed() const { return os_.fail(); }

  static constexpr std::size_t kFlushBytes = 1 << 16;

 private:
  std::ostream& os_;
  std::string text_;
};

}  // namespace vesk::dump
