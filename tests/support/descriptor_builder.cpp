#include "support/descriptor_builder.h"

#include <cstdio>
#include <cstdlib>

namespace vesk {
namespace test {
namespace {

void put16(std::vector<uint8_t>* out, size_t at, uint32_t value) {
  (*out)[at] = value & 0xFF;
  (*out)[at + 1] = (value >> 8) & 0xFF;
}

void put32(std::vector<uint8_t>* out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*out)[at + i] = (value >> (8 * i)) & 0xFF;
}

void append(std::vector<uint8_t>* out, const std::vector<uint8_t>& bytes) {
  out->insert(out->end(), bytes.begin(), bytes.end());
}

bool isObjectType(uint8_t type) {
  return type == kAllowedObject || type == kDeniedObject || type == 0x07 ||
         type == 0x08 || type == kAllowedCallbackObject ||
         type == kDeniedCallbackObject || type == 0x0F || type == 0x10;
}

}  // namespace

std::vector<uint8_t> sidBytes(const std::string& text) {
  std::vector<uint64_t> parts;
  const char* p = text.c_str() + 2;  // past "S-"
  while (*p) {
    char* end;
    parts.push_back(std::strtoull(p, &end, 10));
    p = *end == '-' ? end + 1 : end;
  }
  std::vector<uint8_t> sid(8 + 4 * (parts.size() - 2), 0);
  sid[0] = static_cast<uint8_t>(parts[0]);
  sid[1] = static_cast<uint8_t>(parts.size() - 2);
  for (int i = 0; i < 6; ++i) sid[2 + i] = (parts[1] >> (8 * (5 - i))) & 0xFF;
  for (size_t i = 2; i < parts.size(); ++i)
    put32(&sid, 8 + 4 * (i - 2), static_cast<uint32_t>(parts[i]));
  return sid;
}

std::vector<uint8_t> buildDescriptor(const DescriptorSpec& spec) {
  std::vector<uint8_t> out(20 + spec.gap, 0);
  out[0] = 1;
  put16(&out, 2, spec.control | 0x8000);
  if (!spec.owner.empty()) {
    put32(&out, 4, static_cast<uint32_t>(out.size()));
    append(&out, sidBytes(spec.owner));
  }
  if (!spec.group.empty()) {
    put32(&out, 8, static_cast<uint32_t>(out.size()));
    append(&out, sidBytes(spec.group));
  }
  if (spec.storeDacl) {
    size_t acl = out.size();
    put32(&out, 16, static_cast<uint32_t>(acl));
    out.resize(acl + 8, 0);
    out[acl] = 2;
    for (const AceSpec& a : spec.aces) {
      size_t ace = out.size();
      out.resize(ace + 8, 0);
      out[ace] = a.type;
      out[ace + 1] = a.flags;
      put32(&out, ace + 4, a.mask);
      if (isObjectType(a.type)) {
        out.resize(out.size() + 4, 0);
        put32(&out, ace + 8, a.objectFlags);
        if (a.objectFlags & 1) out.resize(out.size() + 16, 0xAB);
        if (a.objectFlags & 2) out.resize(out.size() + 16, 0xCD);
      }
      append(&out, sidBytes(a.sid));
      put16(&out, ace + 2, static_cast<uint32_t>(out.size() - ace));
    }
    put16(&out, acl + 2, static_cast<uint32_t>(out.size() - acl));
    put16(&out, acl + 4, static_cast<uint32_t>(spec.aces.size()));
  }
  return out;
}

std::string toHex(const std::vector<uint8_t>& bytes) {
  std::string hex = "0x";
  char digits[3];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    hex += digits;
  }
  return hex;
}

}  // namespace test
}  // namespace vesk
