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

std::vector<uint8_t> wrapNtacl(const std::vector<uint8_t>& descriptor,
                               uint16_t version,
                               const std::string& description) {
  std::vector<uint8_t> out(8, 0);
  put16(&out, 0, version);
  put16(&out, 2, version);
  put32(&out, 4, 0x00020000);
  if (version != 1) {
    out.resize(12, 0);
    put32(&out, 8, 0x00020004);
    if (version == 2) {
      out.resize(28, 0xA2);
    } else {
      out.resize(78, 0xA3);
      put16(&out, 12, 1);  // hash type: SHA-256
      if (version != 3) {
        out.insert(out.end(), description.begin(), description.end());
        out.push_back(0);
        out.resize((out.size() + 3) & ~size_t{3}, 0);
        out.resize(out.size() + 8 + 64, 0xA4);
      } else {
        out.resize(80, 0);
      }
    }
  }
  const size_t start = out.size();
  append(&out, descriptor);
  for (size_t field = 4; field <= 16 && descriptor.size() >= 20; field += 4) {
    const size_t at = start + field;
    const uint32_t offset = out[at] | (out[at + 1] << 8) | (out[at + 2] << 16) |
                            (static_cast<uint32_t>(out[at + 3]) << 24);
    if (offset != 0) put32(&out, at, offset + static_cast<uint32_t>(start));
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
