// Load and unload: the two moments at which the library's process-wide state changes
// wholesale. The pieces themselves live in files.cpp and result_area.cpp.
#include "frame/state.h"

#include "frame/files.h"
#include "frame/result_area.h"

namespace vesk::frame {

void load() { create_result_area(); }

void unload() {
  close_all_files();
  release_result_area();
}

}  // namespace vesk::frame
