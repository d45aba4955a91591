// Loading the library by path and resolving its exports by name.
#include "vesk_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vesk::test {
namespace {

void* open_module(const std::string& path) {
#ifdef _WIN32
  return reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
#else
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void* find_symbol(void* module, const char* name) {
#ifdef _WIN32
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
#else
  return dlsym(module, name);
#endif
}

void close_module(void* module) {
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(module));
#else
  dlclose(module);
#endif
}

}  // namespace

VeskLibrary::VeskLibrary(const std::string& path) : module_(open_module(path)) {
  if (module_ == nullptr) {
    missing_ = "the library itself: " + path;
    return;
  }
#define VESK_RESOLVE(fn)                                                 \
  fn = reinterpret_cast<decltype(fn)>(find_symbol(module_, #fn));         \
  if (fn == nullptr) missing_ += #fn " ";
  VESK_FOR_EACH_EXPORT(VESK_RESOLVE)
#undef VESK_RESOLVE
}

VeskLibrary::~VeskLibrary() { unload(); }

void VeskLibrary::unload() {
  if (module_ != nullptr) close_module(module_);
  module_ = nullptr;
}

const std::string& built_library_path() {
  static const std::string path = VESK_LIBRARY_PATH;
  return path;
}

VeskLibrary& library() {
  static VeskLibrary lib(built_library_path());
  return lib;
}

}  // namespace vesk::test
