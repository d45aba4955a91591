// Library state: created when a process loads the library, released when it unloads it.
// Both platforms' load hooks (a constructor pair, DllMain) call exactly these two.
#pragma once

namespace vesk::frame {

// Creates the result area and an empty open-file registry with no current file.
void load();

// Closes every file still open and releases the registry and the result area.
// HiveHandles the host never closed keep their memory but lose their file.
void unload();

}  // namespace vesk::frame
