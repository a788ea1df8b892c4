// Unwraps the security descriptor that Samba's acl_xattr module keeps in the
// extended attribute security.NTACL: an NDR-encoded xattr_NTACL of version 1
// to 4 around a self-relative descriptor. Portable, bytes in, bytes out.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vesk {
namespace platform {

/// Finds the descriptor inside attribute[0, size) and rewrites its four
/// part offsets in place so that they count from the descriptor's own start
/// (Samba stores them counted from the attribute's start). 0 with *start,
/// the descriptor's first byte, else kErrorInvalidSecurityDescr: an unknown
/// version, a level that is not the version, a NULL pointer, a truncated
/// wrapper, or a part offset that points before the descriptor. The
/// descriptor itself is not validated here: parseDescriptor does that.
uint32_t unwrapNtacl(uint8_t* attribute, size_t size, size_t* start);

}  // namespace platform
}  // namespace vesk
