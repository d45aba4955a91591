// libFuzzer target for vesk-dump's walker: each input becomes a file in a memory-backed
// folder and is dumped in every output format. What counts is that each dump returns one
// of its three statuses with the sanitizers silent.
#include <cstdint>

#include "dump_every_format.h"
#include "fuzz_file.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  vesk::fuzz::prepare_input_file("dump");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = vesk::fuzz::write_input_file(data, size);
  if (!vesk::fuzz::dump_every_format(path)) vesk::fuzz::fail("dump_file returns 0, 1 or 2");
  return 0;
}
