// A log of the file system calls this process makes: reads, seeks, status queries and
// mappings, each with its descriptor, offset and length. The calls are interposed in
// the executable itself, so the library's own calls into the C library land here too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vesk::test {

enum class SystemCall { kRead, kSeek, kStat, kMap };

struct LoggedCall {
  SystemCall call;
  int fd;
  std::int64_t offset;  // -1 for calls that read at the file position
  std::int64_t length;
};

// Records every interposed call from construction until destruction. Logs do not nest.
class SystemCallLog {
 public:
  SystemCallLog();
  ~SystemCallLog();
  SystemCallLog(const SystemCallLog&) = delete;
  SystemCallLog& operator=(const SystemCallLog&) = delete;

  const std::vector<LoggedCall>& calls() const { return calls_; }
  int count(SystemCall call) const;
  void clear() { calls_.clear(); }

 private:
  std::vector<LoggedCall> calls_;
};

}  // namespace vesk::test
