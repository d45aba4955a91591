// The walk through vesk/hive.hpp built without its lock, to show what the lock costs.
#define VESK_HIVE_NO_LOCK
#include "hpp_walk.h"

namespace vesk::bench {

HostWalkCounts hpp_walk_unlocked(const char* path) { return hpp_walk<vesk::Hive>(path); }

}  // namespace vesk::bench
