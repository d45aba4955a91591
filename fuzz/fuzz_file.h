// The file every fuzz input becomes: one per process, in a memory-backed folder so that
// thousands of writes a second cost no disk, removed when the process exits normally.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vesk::fuzz {

inline std::string& input_path() {
  static std::string path;
  return path;
}

// Reports a broken promise and stops, so that libFuzzer keeps the input as a crash.
[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "vesk fuzz: broken promise: %s\n", what);
  std::abort();
}

// Chooses the file for this process: /dev/shm when it can be written, else $TMPDIR.
inline void prepare_input_file(const char* target) {
  const char* dir = "/dev/shm";
  if (::access(dir, W_OK) != 0) {
    const char* tmp = std::getenv("TMPDIR");
    dir = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  }
  input_path() = std::string(dir) + "/vesk-fuzz-" + target + "-" + std::to_string(::getpid());
  std::atexit([] { ::unlink(input_path().c_str()); });
}

// Replaces the file's contents with the input and returns its path.
inline const char* write_input_file(const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(input_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) fail("cannot create the input file");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fail("cannot write the input file");
    done += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return input_path().c_str();
}

}  // namespace vesk::fuzz
