// libFuzzer target for the library itself: each input becomes a file in a memory-backed
// folder, is opened with OpenRegistryFile and walked through all 17 exports as a host
// walks it. A broken promise, a sanitizer report, or a descriptor or block the library
// kept after CloseRegistryFile ends the run with the input saved.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>

#include "fuzz_file.h"
#include "host_walk.h"

namespace {

int g_free_descriptor = -1;

// The descriptor the next open gets: it moves only if someone keeps one open.
int lowest_free_descriptor() {
  const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  vesk::fuzz::prepare_input_file("library");
  g_free_descriptor = lowest_free_descriptor();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = vesk::fuzz::write_input_file(data, size);
  static const vesk::test::LinkedExports api;
  HiveHandle* hive = api.OpenRegistryFile(path);
  if (hive != nullptr) {
    // A second handle on the file, opened and closed first, must leave the first whole.
    api.CloseRegistryFile(api.OpenRegistryFile(path));
    const auto tally = vesk::test::walk_hive(api, hive, vesk::test::kFuzzWalkLimits);
    if (!tally.broken.empty()) vesk::fuzz::fail(tally.broken.front().c_str());
  }
  if (api.CloseRegistryFile(hive) != 0) vesk::fuzz::fail("CloseRegistryFile returns 0");
  if (lowest_free_descriptor() != g_free_descriptor) {
    vesk::fuzz::fail("a descriptor outlived CloseRegistryFile");
  }
  return 0;
}
