#include "sd/descriptor.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "sd/little_endian.h"

namespace vesk {
namespace platform {
namespace {

constexpr size_t kHeaderSize = 20;
constexpr size_t kAclHeaderSize = 8;
constexpr size_t kAceHeaderSize = 4;
constexpr size_t kSidHeaderSize = 8;
constexpr uint8_t kMaxSubAuthorities = 15;

// Where an ACE type keeps its SID.
enum class SidPlace {
  Unknown,      // no layout known; only the header is checked
  AfterMask,    // header, mask, SID
  AfterObject,  // header, mask, object flags, GUIDs the flags name, SID
};

struct AceLayout {
  SidPlace place;
  uint32_t mode;
};

// Indexed by ACE type; later types have no known layout.
constexpr AceLayout kAceLayouts[] = {
    {SidPlace::AfterMask, kGrantAccess},      // 0x00 allowed
    {SidPlace::AfterMask, kDenyAccess},       // 0x01 denied
    {SidPlace::AfterMask, kNotUsedAccess},    // 0x02 audit
    {SidPlace::AfterMask, kNotUsedAccess},    // 0x03 alarm
    {SidPlace::Unknown, kNotUsedAccess},      // 0x04 compound
    {SidPlace::AfterObject, kGrantAccess},    // 0x05 allowed object
    {SidPlace::AfterObject, kDenyAccess},     // 0x06 denied object
    {SidPlace::AfterObject, kNotUsedAccess},  // 0x07 audit object
    {SidPlace::AfterObject, kNotUsedAccess},  // 0x08 alarm object
    {SidPlace::AfterMask, kGrantAccess},      // 0x09 allowed callback
    {SidPlace::AfterMask, kDenyAccess},       // 0x0A denied callback
    {SidPlace::AfterObject, kGrantAccess},    // 0x0B allowed callback object
    {SidPlace::AfterObject, kDenyAccess},     // 0x0C denied callback object
    {SidPlace::AfterMask, kNotUsedAccess},    // 0x0D audit callback
    {SidPlace::AfterMask, kNotUsedAccess},    // 0x0E alarm callback
    {SidPlace::AfterObject, kNotUsedAccess},  // 0x0F audit callback object
    {SidPlace::AfterObject, kNotUsedAccess},  // 0x10 alarm callback object
    {SidPlace::AfterMask, kNotUsedAccess},    // 0x11 mandatory label
    {SidPlace::AfterMask, kNotUsedAccess},    // 0x12 resource attribute
    {SidPlace::AfterMask, kNotUsedAccess},    // 0x13 scoped policy
    {SidPlace::AfterMask, kNotUsedAccess},    // 0x14 process trust label
    {SidPlace::AfterMask, kNotUsedAccess},    // 0x15 access filter
};

AceLayout aceLayout(uint8_t type) {
  if (type < sizeof kAceLayouts / sizeof kAceLayouts[0])
    return kAceLayouts[type];
  return {SidPlace::Unknown, kNotUsedAccess};
}

bool validSidAt(const uint8_t* sid, size_t room) {
  return room >= kSidHeaderSize && isValidSidBytes(sid) &&
         sidLength(sid) <= room;
}

// Offset of the SID inside an ACE of the given size, or 0 when the ACE is
// too short for its type or has no known SID.
size_t sidOffset(const uint8_t* ace, size_t aceSize) {
  switch (aceLayout(ace[0]).place) {
    case SidPlace::AfterMask:
      return aceSize >= 8 ? 8 : 0;
    case SidPlace::AfterObject: {
      if (aceSize < 12) return 0;
      uint32_t flags = read32(ace + 8);
      size_t at = 12 + ((flags & 1) ? 16 : 0) + ((flags & 2) ? 16 : 0);
      return at <= aceSize ? at : 0;
    }
    case SidPlace::Unknown:
      break;
  }
  return 0;
}

bool validAcl(const uint8_t* acl, size_t room) {
  if (room < kAclHeaderSize) return false;
  if (acl[0] < 2 || acl[0] > 4) return false;
  size_t aclSize = read16(acl + 2);
  if (aclSize < kAclHeaderSize || aclSize > room) return false;
  size_t count = read16(acl + 4);
  size_t at = kAclHeaderSize;
  for (size_t i = 0; i < count; ++i) {
    if (!validAce(acl + at, aclSize - at)) return false;
    at += read16(acl + at + 2);
  }
  return true;
}

// An owner or group offset: 0 is absent, anything else must hold a SID.
bool partSid(const uint8_t* data, size_t size, uint32_t offset,
             const uint8_t** sid) {
  *sid = nullptr;
  if (offset == 0) return true;
  if (offset < kHeaderSize || offset >= size) return false;
  if (!validSidAt(data + offset, size - offset)) return false;
  *sid = data + offset;
  return true;
}

}  // namespace

size_t descriptorExtent(const uint8_t* data, size_t size) {
  if (size < kHeaderSize) return size;
  size_t extent = kHeaderSize;
  const uint16_t control = read16(data + 2);
  auto reach = [&](uint32_t offset, bool acl) {
    if (offset == 0 || offset >= size) return;
    size_t end = offset;
    if (acl) {
      if (offset + 4 > size) return;
      end += read16(data + offset + 2);
    } else {
      if (offset + 2 > size) return;
      end += kSidHeaderSize + 4 * static_cast<size_t>(data[offset + 1]);
    }
    if (end > extent) extent = end;
  };
  reach(read32(data + 4), false);
  reach(read32(data + 8), false);
  if (control & kSeSaclPresent) reach(read32(data + 12), true);
  if (control & kSeDaclPresent) reach(read32(data + 16), true);
  return extent < size ? extent : size;
}

uint32_t parseDescriptor(const uint8_t* data, size_t size,
                         DescriptorView* view) {
  if (data == nullptr || size < kHeaderSize || data[0] != 1)
    return kErrorInvalidSecurityDescr;
  DescriptorView parsed{};
  parsed.control = read16(data + 2);
  if (!partSid(data, size, read32(data + 4), &parsed.owner) ||
      !partSid(data, size, read32(data + 8), &parsed.group))
    return kErrorInvalidSecurityDescr;
  // The SACL is not read: the descriptor is handed out without it.
  parsed.daclPresent = (parsed.control & kSeDaclPresent) != 0;
  uint32_t daclOffset = read32(data + 16);
  if (parsed.daclPresent && daclOffset != 0) {
    if (daclOffset < kHeaderSize || daclOffset >= size ||
        !validAcl(data + daclOffset, size - daclOffset))
      return kErrorInvalidSecurityDescr;
    parsed.dacl = data + daclOffset;
  }
  *view = parsed;
  return kErrorSuccess;
}

bool isValidSidBytes(const uint8_t* sid) {
  return sid != nullptr && sid[0] == 1 && sid[1] <= kMaxSubAuthorities;
}

uint16_t reportedControl(uint16_t stored) {
  constexpr uint16_t kSaclBits = kSeSaclPresent | kSeSaclDefaulted |
                                 kSeSaclAutoInherited | kSeSaclProtected;
  return static_cast<uint16_t>((stored | kSeSelfRelative) & ~kSaclBits);
}

bool validAce(const uint8_t* ace, size_t room) {
  if (room < kAceHeaderSize) return false;
  size_t aceSize = read16(ace + 2);
  if (aceSize < kAceHeaderSize || aceSize > room) return false;
  if (aceLayout(ace[0]).place == SidPlace::Unknown) return true;
  size_t sid = sidOffset(ace, aceSize);
  return sid != 0 && validSidAt(ace + sid, aceSize - sid);
}

size_t sidLength(const uint8_t* sid) {
  return kSidHeaderSize + 4 * static_cast<size_t>(sid[1]);
}

std::string sidText(const uint8_t* sid) {
  uint64_t authority = 0;
  for (int i = 0; i < 6; ++i) authority = (authority << 8) | sid[2 + i];
  char part[32];
  // Authorities of 2^32 and above are written in hex, as Windows does.
  if (authority >> 32) {
    std::snprintf(part, sizeof part, "S-%u-0x%012" PRIX64, sid[0], authority);
  } else {
    std::snprintf(part, sizeof part, "S-%u-%" PRIu64, sid[0], authority);
  }
  std::string text = part;
  // Sub-authorities by hand: one formatted print each was most of the cost
  // of naming a large DACL.
  for (size_t i = 0; i < sid[1]; ++i) {
    uint32_t value = read32(sid + kSidHeaderSize + 4 * i);
    char digits[12];
    size_t at = sizeof digits;
    do {
      digits[--at] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    text += '-';
    text.append(digits + at, sizeof digits - at);
  }
  return text;
}

uint32_t buildExplicitEntries(const uint8_t* acl, uint32_t* count,
                              ExplicitAccess** entries) {
  *count = 0;
  *entries = nullptr;
  if (acl == nullptr) return kErrorSuccess;
  std::vector<const uint8_t*> aces(read16(acl + 4));
  const uint8_t* ace = acl + kAclHeaderSize;
  for (const uint8_t*& at : aces) {
    at = ace;
    ace += read16(ace + 2);
  }
  return buildEntriesOfAces(aces.data(), static_cast<uint32_t>(aces.size()),
                            count, entries);
}

uint32_t buildEntriesOfAces(const uint8_t* const* aces, uint32_t aceCount,
                            uint32_t* count, ExplicitAccess** entries) {
  *count = 0;
  *entries = nullptr;
  if (aceCount == 0) return kErrorSuccess;

  size_t sidBytes = 0;
  for (uint32_t i = 0; i < aceCount; ++i) {
    size_t at = sidOffset(aces[i], read16(aces[i] + 2));
    if (at != 0) sidBytes += sidLength(aces[i] + at);
  }

  size_t arrayBytes = sizeof(ExplicitAccess) * aceCount;
  void* block = std::malloc(arrayBytes + sidBytes);
  if (block == nullptr) return kErrorNotEnoughMemory;
  ExplicitAccess* list = static_cast<ExplicitAccess*>(block);
  uint8_t* sidCopy = static_cast<uint8_t*>(block) + arrayBytes;

  for (uint32_t i = 0; i < aceCount; ++i) {
    const uint8_t* ace = aces[i];
    size_t aceSize = read16(ace + 2);
    ExplicitAccess* entry = new (&list[i]) ExplicitAccess{};
    entry->accessPermissions = aceSize >= 8 ? read32(ace + 4) : 0;
    entry->accessMode = aceLayout(ace[0]).mode;
    entry->inheritance = ace[1] & 0x1F;
    entry->trustee.form = TrusteeForm::Sid;
    size_t at = sidOffset(ace, aceSize);
    if (at != 0) {
      size_t length = sidLength(ace + at);
      std::memcpy(sidCopy, ace + at, length);
      entry->trustee.sid = reinterpret_cast<const Sid*>(sidCopy);
      sidCopy += length;
    }
  }
  *count = aceCount;
  *entries = list;
  return kErrorSuccess;
}

Trustee* makeNameTrustee(const std::string& name) {
  void* block = std::malloc(sizeof(Trustee) + name.size() + 1);
  if (block == nullptr) return nullptr;
  char* copy = static_cast<char*>(block) + sizeof(Trustee);
  std::memcpy(copy, name.c_str(), name.size() + 1);
  return new (block) Trustee{TrusteeForm::Name, nullptr, copy};
}

uint32_t lookupParts(const DescriptorParts& parts, AccountNameOf nameOf,
                     EntriesOfAcl entriesOf, Trustee** owner, Trustee** group,
                     uint32_t* count, ExplicitAccess** entries) {
  // A name-form trustee for an owner or group; *out stays nullptr when the
  // descriptor has no such part.
  auto part = [nameOf](const Sid* sid, Trustee** out) {
    *out = sid != nullptr ? makeNameTrustee(nameOf(sid)) : nullptr;
    return sid == nullptr || *out != nullptr;
  };
  Trustee* ownerPart = nullptr;
  Trustee* groupPart = nullptr;
  uint32_t entryCount = 0;
  ExplicitAccess* entryList = nullptr;
  uint32_t status = kErrorSuccess;
  if ((owner != nullptr && !part(parts.owner, &ownerPart)) ||
      (group != nullptr && !part(parts.group, &groupPart))) {
    status = kErrorNotEnoughMemory;
  } else if (count != nullptr && entries != nullptr) {
    status = entriesOf(parts.dacl, &entryCount, &entryList);
  }
  if (status != kErrorSuccess) {
    std::free(ownerPart);
    std::free(groupPart);
    return status;
  }
  if (owner != nullptr) *owner = ownerPart;
  if (group != nullptr) *group = groupPart;
  if (count != nullptr && entries != nullptr) {
    *count = entryCount;
    *entries = entryList;
  }
  return kErrorSuccess;
}

}  // namespace platform
}  // namespace vesk
