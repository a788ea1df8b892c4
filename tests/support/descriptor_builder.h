// Builds self-relative security descriptors byte by byte, as NTFS stores them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk {
namespace test {

/// Binary SID of "S-1-5-32-544" and the like.
std::vector<uint8_t> sidBytes(const std::string& text);

// ACE types as stored.
constexpr uint8_t kAllowed = 0x00;
constexpr uint8_t kDenied = 0x01;
constexpr uint8_t kAudit = 0x02;
constexpr uint8_t kAllowedObject = 0x05;
constexpr uint8_t kDeniedObject = 0x06;
constexpr uint8_t kAllowedCallback = 0x09;
constexpr uint8_t kDeniedCallback = 0x0A;
constexpr uint8_t kAllowedCallbackObject = 0x0B;
constexpr uint8_t kDeniedCallbackObject = 0x0C;

struct AceSpec {
  uint8_t type;
  uint8_t flags;
  uint32_t mask;
  std::string sid;
  uint32_t objectFlags = 0;  // object ACEs: 1 object type GUID, 2 inherited
};

struct DescriptorSpec {
  uint16_t control = 0x0004;  // SE_DACL_PRESENT; SE_SELF_RELATIVE is added
  std::string owner;          // "" for none
  std::string group;          // "" for none
  bool storeDacl = true;      // false with SE_DACL_PRESENT: a NULL DACL
  std::vector<AceSpec> aces;
  size_t gap = 0;  // zero bytes between the header and the parts
};

/// Header, owner, group, DACL, in that order (with gap zeros first).
std::vector<uint8_t> buildDescriptor(const DescriptorSpec& spec);

/// descriptor wrapped as Samba stores it in security.NTACL: version 1 to 4
/// (any other number gives version 4's layout under that number), hashes
/// filled with a pattern, the part offsets counted from the wrapper's start.
std::vector<uint8_t> wrapNtacl(const std::vector<uint8_t>& descriptor,
                               uint16_t version,
                               const std::string& description = "posix_acl");

/// "0x" and lower-case hex digits, for setfattr.
std::string toHex(const std::vector<uint8_t>& bytes);

}  // namespace test
}  // namespace vesk
