// vesk/hive.hpp alone, for the compile matrix: a host that builds with conversion and
// shadowing warnings as errors can include it.
#include <vesk/hive.hpp>
