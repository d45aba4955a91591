// Output text gathered in a buffer and handed to the stream in large pieces, so a dump
// of a large hive costs few writes.
#pragma once

#include <cerrno>
#include <optional>
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
    if (!text_.empty()) {
      errno = 0;
      os_.write(text_.data(), static_cast<std::streamsize>(text_.size()));
      if (os_.fail() && error_ == 0) error_ = errno;
    }
    text_.clear();
  }
  // Hands over what is gathered and flushes the stream. When the stream refused any of
  // it, the system's reason (0 when none was given); none when all was written.
  std::optional<int> finish() {
    flush();
    errno = 0;
    os_.flush();
    const int flush_error = errno;
    if (!failed()) return std::nullopt;
    return error_ != 0 ? error_ : flush_error;
  }
  // Whether the stream refused any of it, and the system's reason (0 when none was given).
  bool failed() const { return os_.fail(); }
  int error() const { return error_; }

  static constexpr std::size_t kFlushBytes = 1 << 16;

 private:
  std::ostream& os_;
  std::string text_;
  int error_ = 0;
};

}  // namespace vesk::dump
