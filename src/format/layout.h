// The library's name for the hive layout, which is installed (vesk/layout.hpp) so that
// hosts and the refusal rules read the same constants.
#pragma once

#include "vesk/layout.hpp"
