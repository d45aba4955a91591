// The library's name for the little-endian loads and stores, installed beside the layout
// (vesk/byte_order.hpp) for the refusal rules.
#pragma once

#include "vesk/byte_order.hpp"
