// A log of the file system calls this process makes: reads, seeks, status queries and
// mappings, each with its descriptor, offset and length; and faults put into the reads of
// one file. The calls are interposed in the executable itself (or in a preloaded build of
// this file), so the library's own calls into the C library land here too.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
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

// What goes wrong with one read of the file, and from it on.
enum class Fault {
  kNone,       // nothing: the reads are only counted
  kError,      // that read fails with `error`, as a failing disk makes it
  kShortRead,  // that read brings half the bytes asked for (none of one byte)
  kCut,        // from that read on the file is `cut_size` long, as if another process
               // had truncated it: reads past the end bring nothing, status queries
               // report that size and a modification time one second later
};

struct FaultPlan {
  Fault fault = Fault::kNone;
  std::int64_t at_read = 1;    // which read of the file, 1 being the first after arming
  int error = EIO;             // kError: what errno that read leaves
  std::int64_t cut_size = -1;  // kCut: the new length; -1: where that read starts
};

// Arms `plan` for the reads of the file at `path` until destruction: read, pread and
// their fortified forms on any descriptor of that file (matched by device and inode)
// are counted and, at the planned one, faulted; other files are untouched. One plan is
// armed at a time; a plan armed while another is refused (armed() is false). A path that
// names no file arms nothing. Reads made through preadv or a mapping are not faulted.
class ArmedFault {
 public:
  ArmedFault(const std::string& path, const FaultPlan& plan);
  ~ArmedFault();
  ArmedFault(const ArmedFault&) = delete;
  ArmedFault& operator=(const ArmedFault&) = delete;

  bool armed() const { return armed_; }
  std::int64_t reads() const;  // reads of the file since arming, the faulted one included
  bool fired() const;          // the planned read has happened

 private:
  bool armed_ = false;
};

// For a program driven from outside (this file preloaded, or linked into it): at load,
// VESK_FAULT=error|short|cut arms a plan for the file named by VESK_FAULT_FILE, at the
// read VESK_FAULT_AT (default 1), cut to VESK_FAULT_CUT bytes (default: where that read
// starts), failing with errno VESK_FAULT_ERRNO (default EIO). Unset: nothing is armed.

}  // namespace vesk::test
