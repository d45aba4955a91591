// The built library loaded the way a host loads it (dlopen, or LoadLibraryA on
// Windows), with every export looked up by name.
#pragma once

#include <string>

#include "vesk_10.h"

// VESK_FOR_EACH_EXPORT(X), every export for code that must treat all 17 alike: written
// into the build tree from exports/vesk_10.def, the one list of the names.
#include "vesk_exports.inc"

namespace vesk::test {

class VeskLibrary {
 public:
  // Loads the library at `path`; loaded() tells whether that and every lookup worked.
  explicit VeskLibrary(const std::string& path);
  ~VeskLibrary();
  VeskLibrary(const VeskLibrary&) = delete;
  VeskLibrary& operator=(const VeskLibrary&) = delete;

  bool loaded() const { return module_ != nullptr && missing_.empty(); }
  const std::string& missing() const { return missing_; }
  // Unloads now; the function pointers are dead afterwards.
  void unload();

#define VESK_DECLARE_POINTER(name) decltype(&::name) name = nullptr;
  VESK_FOR_EACH_EXPORT(VESK_DECLARE_POINTER)
#undef VESK_DECLARE_POINTER

 private:
  void* module_ = nullptr;
  std::string missing_;
};

// The library this test build was made against.
const std::string& built_library_path();

// One loaded copy shared by the tests of a process.
VeskLibrary& library();

}  // namespace vesk::test
