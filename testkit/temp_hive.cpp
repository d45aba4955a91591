// Temporary hive files, named uniquely per process and per file.
#include "temp_hive.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#ifdef _WIN32
#include <process.h>
#define vesk_getpid _getpid
#else
#include <unistd.h>
#define vesk_getpid getpid
#endif

namespace vesk::test {

std::string temp_folder() {
#ifdef _WIN32
  const char* dir = std::getenv("TEMP");
  return dir != nullptr ? dir : ".";
#else
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/tmp";
#endif
}

TempHive::TempHive(const std::vector<std::uint8_t>& bytes) {
  static std::atomic<unsigned> counter{0};
  path_ = temp_folder() + "/vesk-test-" + std::to_string(vesk_getpid()) + "-" +
          std::to_string(counter++) + ".hiv";
  std::FILE* f = std::fopen(path_.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot create " + path_);
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  std::fclose(f);
  if (!ok) throw std::runtime_error("cannot write " + path_);
}

TempHive::~TempHive() { std::remove(path_.c_str()); }

}  // namespace vesk::test
