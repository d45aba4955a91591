// Loading the DLL as a Windows host does: one private heap for its lifetime, every hive
// file let go at unload, and the ordinals beside the names. Each test loads the library
// itself, in a process where nothing else has loaded it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hive_builder.h"
#include "temp_hive.h"
#include "vesk_library.h"

namespace vesk::test {
namespace {

// Opens for reading and writing with no sharing: succeeds only when no handle is open.
bool opens_exclusively(const char* path) {
  const HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

TEST(WindowsLoadTest, UnloadLetsGoOfOpenHivesAndOfTheHeap) {
  ASSERT_EQ(GetModuleHandleA("vesk_10.dll"), nullptr);
  HiveBuilder b;
  b.add_root("ROOT");
  TempHive one(b.bytes());
  TempHive two(b.bytes());
  const DWORD heaps_before = GetProcessHeaps(0, nullptr);
  VeskLibrary lib(built_library_path());
  ASSERT_TRUE(lib.loaded()) << lib.missing();
  EXPECT_EQ(GetProcessHeaps(0, nullptr), heaps_before + 1);  // its one private heap
  ASSERT_NE(lib.OpenRegistryFile(one.path()), nullptr);
  ASSERT_NE(lib.OpenRegistryFile(two.path()), nullptr);
  EXPECT_FALSE(opens_exclusively(one.path()));
  EXPECT_FALSE(opens_exclusively(two.path()));
  // The handles were never closed; their memory goes with the heap.
  lib.unload();
  EXPECT_TRUE(opens_exclusively(one.path()));
  EXPECT_TRUE(opens_exclusively(two.path()));
  EXPECT_EQ(GetProcessHeaps(0, nullptr), heaps_before);
}

TEST(WindowsLoadTest, OrdinalsFollowTheAlphabeticalNames) {
#define VESK_NAME(fn) #fn,
  std::vector<std::string> names = {VESK_FOR_EACH_EXPORT(VESK_NAME)};
#undef VESK_NAME
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), 17u);
  const HMODULE module = LoadLibraryA(built_library_path().c_str());
  ASSERT_NE(module, nullptr);
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    const FARPROC by_name = GetProcAddress(module, names[i].c_str());
    const WORD ordinal = static_cast<WORD>(i + 1);
    EXPECT_NE(by_name, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))),
              reinterpret_cast<void*>(by_name));
  }
  EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(18)), nullptr);
  EXPECT_EQ(GetProcAddress(module, "OpenRegistryFile@4"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "_OpenRegistryFile@4"), nullptr);
  FreeLibrary(module);
}

}  // namespace
}  // namespace vesk::test
