// Little-endian fields of on-disk records (descriptors, Samba's wrapper,
// partition tables, $Secure, SIDs): the one reader of such bytes, whatever
// the host's byte order. The caller has checked that the bytes are there.
#pragma once

#include <cstdint>

namespace vesk {
namespace platform {

/// The 16-bit value at p.
inline uint16_t read16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

/// The 32-bit value at p.
inline uint32_t read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

/// The 64-bit value at p.
inline uint64_t read64(const uint8_t* p) {
  return static_cast<uint64_t>(read32(p)) |
         (static_cast<uint64_t>(read32(p + 4)) << 32);
}

/// Stores value at p.
inline void write32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace platform
}  // namespace vesk
