// The walk through vesk/hive.hpp as hosts build it, with its lock.
#include "hpp_walk.h"

namespace vesk::bench {

HostWalkCounts hpp_walk_locked(const char* path) { return hpp_walk<vesk::Hive>(path); }

}  // namespace vesk::bench
