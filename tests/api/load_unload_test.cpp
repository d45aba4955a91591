// Loading and unloading the library as a host does: state is created at load, files
// still open are closed at unload, and a second load starts afresh.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "hive_builder.h"
#include "temp_hive.h"
#include "vesk_library.h"

#ifndef _WIN32
#include <dirent.h>
#endif

namespace vesk::test {
namespace {

#ifndef _WIN32
int open_descriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

TEST(LoadUnloadTest, UnloadClosesHivesStillOpen) {
  HiveBuilder b;
  b.add_root("ROOT");
  TempHive file(b.bytes());
  const int before = open_descriptors();
  VeskLibrary lib(built_library_path());
  ASSERT_TRUE(lib.loaded()) << lib.missing();
  HiveHandle* one = lib.OpenRegistryFile(file.path());
  HiveHandle* two = lib.OpenRegistryFile(file.path());
  ASSERT_NE(one, nullptr);
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(open_descriptors(), before + 2);
  lib.unload();
  EXPECT_EQ(open_descriptors(), before);
  // Unload takes the files but leaves the handles' memory, which is the host's to drop.
  std::free(one);
  std::free(two);
}
#endif

TEST(LoadUnloadTest, ReloadStartsWithAFreshState) {
  HiveBuilder b;
  b.add_root("Again");
  TempHive file(b.bytes());
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    VeskLibrary lib(built_library_path());
    ASSERT_TRUE(lib.loaded()) << lib.missing();
    HiveHandle* h = lib.OpenRegistryFile(file.path());
    ASSERT_NE(h, nullptr);
    KeyRecord key;
    ASSERT_EQ(lib.SearchRootKey(h, &key), 1);
    EXPECT_STREQ(lib.GetRegKeyName(h, &key), "Again");
    if (round != 1) {
      lib.CloseRegistryFile(h);
      continue;
    }
    lib.unload();  // left open: the unload closes it
#ifndef _WIN32
    std::free(h);
#endif
  }
}

TEST(LoadUnloadTest, EveryExportIsFoundByName) {
  VeskLibrary lib(built_library_path());
  EXPECT_TRUE(lib.loaded()) << "missing: " << lib.missing();
}

}  // namespace
}  // namespace vesk::test
