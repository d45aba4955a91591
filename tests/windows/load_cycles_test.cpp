// Loading and unloading the DLL again and again, as plugin hosts and scripting languages
// do, each time with a full walk of a real hive. Whatever a load leaves behind (a handle,
// a heap block, a runtime's thread state) shows as handles or private memory that grow
// with the number of cycles. The process must be one where nothing else holds the DLL.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host_walk.h"
#include "vesk_library.h"

namespace vesk::test {
namespace {

// dfirmuseum-win7-BCD as three independent readers count it (tests/data/hives).
constexpr std::int64_t kBcdKeys = 66;
constexpr std::int64_t kBcdValues = 46;

// Growth allowed over what the process holds after the first cycle, by which time Wine
// and the C runtime have done their own first-use growth. A leak of one handle a cycle,
// or of the few kilobytes a runtime's start-up allocates, passes these long before the
// thousandth cycle.
constexpr DWORD kHandleSlack = 8;
constexpr SIZE_T kPrivateSlack = 512 * 1024;

struct Usage {
  DWORD handles = 0;
  SIZE_T private_bytes = 0;
  DWORD free_tls_slot = 0;
};

// One row of the system handle table, as NtQuerySystemInformation lists them.
struct SystemHandleEntry {
  ULONG owner_process_id;
  BYTE object_type;
  BYTE flags;
  USHORT value;
  PVOID object;
  ULONG access;
};
constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

// The entries of this process in the system handle table; 0 when it cannot be read.
DWORD handles_in_system_table() {
  std::vector<std::uint64_t> buffer(8192);  // 8-byte aligned, grown until the table fits
  for (;;) {
    const auto bytes = static_cast<ULONG>(buffer.size() * sizeof buffer[0]);
    const NTSTATUS status =
        NtQuerySystemInformation(kSystemHandleInformation, buffer.data(), bytes, nullptr);
    if (status == kInfoLengthMismatch) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) return 0;
    ULONG count = 0;
    std::memcpy(&count, buffer.data(), sizeof count);
    const auto* entries = reinterpret_cast<const SystemHandleEntry*>(
        reinterpret_cast<const unsigned char*>(buffer.data()) + sizeof(void*));
    DWORD mine = 0;
    for (ULONG i = 0; i < count; ++i) {
      if (entries[i].owner_process_id == GetCurrentProcessId()) ++mine;
    }
    return mine;
  }
}

// GetProcessHandleCount on Windows. Wine answers it with 0 handles, which no process has,
// so there the process's rows in the system handle table are counted instead.
DWORD handle_count() {
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles != 0) return handles;
  return handles_in_system_table();
}

// The process's private committed memory: PagefileUsage, which is PrivateUsage on Windows
// and which Wine, leaving PrivateUsage 0, fills with the resident anonymous memory.
SIZE_T private_bytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PagefileUsage;
}

// The lowest thread-local storage slot free now: a slot a load keeps pushes it up.
DWORD free_tls_slot() {
  const DWORD slot = TlsAlloc();
  if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
  return slot;
}

Usage usage_now() { return {handle_count(), private_bytes(), free_tls_slot()}; }

void print_usage(int cycles, const Usage& u) {
  std::printf("%8d %8lu %14llu %9lu\n", cycles, static_cast<unsigned long>(u.handles),
              static_cast<unsigned long long>(u.private_bytes),
              static_cast<unsigned long>(u.free_tls_slot));
}

// Loads the DLL, walks the hive and unloads it; every other cycle leaves the hive open for
// the unload to close. Returns what went wrong, or nothing.
std::string load_walk_unload(const std::string& hive_path, bool close_hive) {
  VeskLibrary lib(built_library_path());
  if (!lib.loaded()) return "not loaded: " + lib.missing();
  HiveHandle* hive = lib.OpenRegistryFile(hive_path.c_str());
  if (hive == nullptr) return "OpenRegistryFile refused " + hive_path;
  const WalkTally tally = walk_hive(lib, hive);
  if (tally.keys != kBcdKeys || tally.values != kBcdValues || !tally.broken.empty()) {
    return "the walk met " + std::to_string(tally.keys) + " keys and " +
           std::to_string(tally.values) + " values, with " +
           std::to_string(tally.broken.size()) + " broken promises";
  }
  if (close_hive) lib.CloseRegistryFile(hive);
  lib.unload();
  if (GetModuleHandleA("vesk_10.dll") != nullptr) return "FreeLibrary left the DLL loaded";
  return {};
}

TEST(WindowsLoadCyclesTest, AThousandLoadsAndUnloadsLeaveNothingBehind) {
  ASSERT_EQ(GetModuleHandleA("vesk_10.dll"), nullptr);
  const std::string hive = std::string(VESK_TEST_DATA_DIR) + "/hives/dfirmuseum-win7-BCD";
  const Usage before = usage_now();
  ASSERT_GT(before.handles, 0u) << "no way to count this process's handles";
  ASSERT_GT(before.private_bytes, 0u) << "no way to measure this process's private memory";
  std::printf("%8s %8s %14s %9s\n", "cycles", "handles", "private bytes", "free TLS");
  print_usage(0, before);
  Usage after_first;
  for (int cycle = 1; cycle <= 1000; ++cycle) {
    const std::string problem = load_walk_unload(hive, cycle % 2 == 0);
    ASSERT_EQ(problem, "") << "cycle " << cycle;
    if (cycle == 1 || cycle == 10 || cycle == 100 || cycle == 1000) {
      const Usage now = usage_now();
      if (cycle == 1) after_first = now;
      print_usage(cycle, now);
      EXPECT_LE(now.handles, after_first.handles + kHandleSlack) << "after " << cycle;
      EXPECT_LE(now.private_bytes, after_first.private_bytes + kPrivateSlack)
          << "after " << cycle;
      EXPECT_EQ(now.free_tls_slot, after_first.free_tls_slot) << "after " << cycle;
    }
  }
  std::fflush(stdout);
}

}  // namespace
}  // namespace vesk::test
