// The library state for a Windows test program that links the frame's objects itself.
// In the DLL, DllMain creates and releases it; a program gets no such call, so this
// static object makes the same two calls at start and at exit.
#include "state.h"

namespace {

struct ProgramLoad {
  ProgramLoad() { vesk::frame::load(); }
  ~ProgramLoad() { vesk::frame::unload(); }
  ProgramLoad(const ProgramLoad&) = delete;
  ProgramLoad& operator=(const ProgramLoad&) = delete;
};

ProgramLoad g_program_load;

}  // namespace
