// vesk/byte_order.hpp: little-endian loads and stores on byte buffers, the only code that
// knows the byte order; installed with vesk/layout.hpp for the refusal rules and hosts.
#ifndef VESK_BYTE_ORDER_HPP
#define VESK_BYTE_ORDER_HPP

#include <cstdint>

namespace vesk::format {

inline std::uint16_t load_le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline void store_le32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline std::uint32_t load_le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace vesk::format

#endif  // VESK_BYTE_ORDER_HPP
