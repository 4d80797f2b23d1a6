// Little-endian loads and stores at any alignment. Stored formats and the bitmap
// information block are read and written through these, never by casting structs.
#pragma once

#include <cstdint>

inline uint16_t fbytes_get_u16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t fbytes_get_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t fbytes_get_i32(const uint8_t* p) { return static_cast<int32_t>(fbytes_get_u32(p)); }

inline void fbytes_put_u16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void fbytes_put_u32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline void fbytes_put_i32(uint8_t* p, int32_t v) { fbytes_put_u32(p, static_cast<uint32_t>(v)); }
