#include "sd/ntacl.h"

#include <cstring>

#include "platform/platform.h"
#include "sd/little_endian.h"

namespace vesk {
namespace platform {
namespace {

// Fixed places in the NDR stream (all little-endian, aligned to 4). Byte 0:
// version; 2: the union's level; 4: the first pointer's referent. Version 1
// points straight at the descriptor; 2 to 4 point at a hash record whose
// first member, at 8, points at the descriptor, which NDR defers to the end.
constexpr size_t kVersionHashRecord = 8;
constexpr size_t kV1Descriptor = 8;
constexpr size_t kV2Descriptor = 12 + 16;           // referent, hash[16]
constexpr size_t kV3HashEnd = 12 + 2 + 64;          // hash_type, hash[64]
constexpr size_t kV4TailAfterDescription = 8 + 64;  // NTTIME, sys_acl_hash
constexpr size_t kHeaderSize = 20;
constexpr size_t kOffsetFields[] = {4, 8, 12, 16};  // owner, group, SACL, DACL

size_t alignTo4(size_t at) { return (at + 3) & ~static_cast<size_t>(3); }

// Where the descriptor starts, or 0 when the wrapper cannot hold one.
size_t descriptorStart(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  const uint16_t version = read16(data);
  if (version < 1 || version > 4) return 0;
  if (read16(data + 2) != version || read32(data + 4) == 0) return 0;
  if (version == 1) return kV1Descriptor;
  if (size < kVersionHashRecord + 4 || read32(data + kVersionHashRecord) == 0)
    return 0;
  if (version == 2) return kV2Descriptor;
  if (version == 3) return alignTo4(kV3HashEnd);
  // Version 4: a NUL-terminated description, then the tail, aligned.
  if (size <= kV3HashEnd) return 0;
  const void* nul = std::memchr(data + kV3HashEnd, 0, size - kV3HashEnd);
  if (nul == nullptr) return 0;
  const size_t afterText =
      static_cast<size_t>(static_cast<const uint8_t*>(nul) - data) + 1;
  return alignTo4(afterText) + kV4TailAfterDescription;
}

}  // namespace

uint32_t unwrapNtacl(uint8_t* attribute, size_t size, size_t* start) {
  if (attribute == nullptr || start == nullptr)
    return kErrorInvalidSecurityDescr;
  const size_t at = descriptorStart(attribute, size);
  if (at == 0 || size < at || size - at < kHeaderSize)
    return kErrorInvalidSecurityDescr;
  uint8_t* descriptor = attribute + at;
  // Check all four before changing any, so a refusal leaves the bytes alone.
  for (size_t field : kOffsetFields) {
    const uint32_t offset = read32(descriptor + field);
    if (offset != 0 && offset < at + kHeaderSize)
      return kErrorInvalidSecurityDescr;
  }
  for (size_t field : kOffsetFields) {
    const uint32_t offset = read32(descriptor + field);
    if (offset != 0)
      write32(descriptor + field, offset - static_cast<uint32_t>(at));
  }
  *start = at;
  return kErrorSuccess;
}

}  // namespace platform
}  // namespace vesk
