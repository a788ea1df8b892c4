// Reads self-relative NTFS security descriptors from raw bytes, as NTFS stores
// them. Portable: used by the Linux layer and by the tests' fake platform.
// Everything is validated before use; nothing reads outside the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace vesk {
namespace platform {

/// A validated descriptor: pointers into the bytes it was parsed from.
struct DescriptorView {
  uint16_t control;      // as stored
  const uint8_t* owner;  // SID, or nullptr
  const uint8_t* group;  // SID, or nullptr
  bool daclPresent;      // SE_DACL_PRESENT
  const uint8_t* dacl;   // ACL, or nullptr (absent, or NULL DACL)
};

/// Validates data[0, size) as a self-relative descriptor, parts located by
/// their offsets. 0 and *view on success, else kErrorInvalidSecurityDescr.
uint32_t parseDescriptor(const uint8_t* data, size_t size,
                         DescriptorView* view);

/// True when sid (nullptr: false) has a header Windows accepts: revision 1,
/// at most 15 sub-authorities. Reads its first two bytes only.
bool isValidSidBytes(const uint8_t* sid);

/// The control word GetSecurityDescriptorControl reports for one stored as
/// stored: self-relative, SACL bits cleared (the SACL is never handed out).
uint16_t reportedControl(uint16_t stored);

/// The bytes that the descriptor's header and parts span (the furthest end
/// of owner, group, SACL and DACL), at most size; parts that do not fit are
/// left for parseDescriptor to refuse.
size_t descriptorExtent(const uint8_t* data, size_t size);

/// Bytes of a SID whose header is already known to be valid.
size_t sidLength(const uint8_t* sid);

/// "S-1-..." of a valid SID.
std::string sidText(const uint8_t* sid);

/// The explicit entries of a validated ACL (nullptr: none), as one
/// malloc'd block holding the array and copies of the SIDs; release with
/// free(). 0 on success (entries nullptr when count is 0), or
/// kErrorNotEnoughMemory.
uint32_t buildExplicitEntries(const uint8_t* acl, uint32_t* count,
                              ExplicitAccess** entries);

/// Whether the ACE at ace, room bytes before its ACL ends, lies inside them
/// and, where its type keeps a SID, holds a valid one.
bool validAce(const uint8_t* ace, size_t room);

/// As buildExplicitEntries, for aceCount ACEs at aces[i], each a validAce,
/// in that order: how a layer that walks an ACL itself builds the entries.
uint32_t buildEntriesOfAces(const uint8_t* const* aces, uint32_t aceCount,
                            uint32_t* count, ExplicitAccess** entries);

/// A malloc'd trustee record in name form holding a copy of name; nullptr
/// when out of memory. Release with free().
Trustee* makeNameTrustee(const std::string& name);

/// The parts of a descriptor that lookupSecurityDescriptorParts reads.
struct DescriptorParts {
  const Sid* owner;  // or nullptr
  const Sid* group;  // or nullptr
  const Acl* dacl;   // or nullptr
};

/// A SID's account name, and an ACL's entries, as the layer gives them.
using AccountNameOf = std::string (*)(const Sid* sid);
using EntriesOfAcl = uint32_t (*)(const Acl* acl, uint32_t* count,
                                  ExplicitAccess** entries);

/// lookupSecurityDescriptorParts over located parts: owner and group as
/// name-form trustees named by nameOf, entries by entriesOf. An out pointer
/// that is null is a part not asked for. 0 on success; on failure nothing is
/// handed out.
uint32_t lookupParts(const DescriptorParts& parts, AccountNameOf nameOf,
                     EntriesOfAcl entriesOf, Trustee** owner, Trustee** group,
                     uint32_t* count, ExplicitAccess** entries);

}  // namespace platform
}  // namespace vesk
