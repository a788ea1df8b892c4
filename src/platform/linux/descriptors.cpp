// Security descriptors on Linux: read from whichever source holds the path,
// validated, and handed out as Windows hands them out.
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/linux/namespace.h"
#include "platform/platform.h"
#include "sd/account_name.h"
#include "sd/descriptor.h"

namespace vesk {
namespace platform {
namespace {

// One buffer for every object: a source sizes it for the largest
// descriptor it can hold (64 KiB for an attribute), which would otherwise
// be allocated afresh for each object of a walk. The layer runs on one
// thread and the bytes are copied out before the next read.
std::vector<uint8_t> bytes;

// The descriptor of path, of a link's target or of the link itself.
uint32_t readSecurityInfo(const char* path, bool followLink,
                          SecurityDescriptor** sd) {
  if (path == nullptr || sd == nullptr) return kErrorInvalidParameter;
  const uint32_t status = pathNamespace().descriptor(path, followLink, &bytes);
  if (status != kErrorSuccess) return status;

  DescriptorView view;
  if (parseDescriptor(bytes.data(), bytes.size(), &view) != kErrorSuccess)
    return kErrorInvalidSecurityDescr;
  void* block = std::malloc(sizeof(SecurityDescriptor) + bytes.size());
  if (block == nullptr) return kErrorNotEnoughMemory;
  uint8_t* copy = static_cast<uint8_t*>(block) + sizeof(SecurityDescriptor);
  std::memcpy(copy, bytes.data(), bytes.size());
  // Same offsets, new home: parsing the copy cannot fail.
  parseDescriptor(copy, bytes.size(), &view);
  *sd = new (block) SecurityDescriptor{view, reportedControl(view.control),
                                       static_cast<uint32_t>(bytes.size())};
  return kErrorSuccess;
}

}  // namespace

void releaseDescriptorBuffer() { std::vector<uint8_t>().swap(bytes); }

// As on Windows, the object a link names is its target.
uint32_t getNamedSecurityInfo(const char* path, SecurityDescriptor** sd) {
  return readSecurityInfo(path, true, sd);
}

uint32_t getLinkSecurityInfo(const char* path, SecurityDescriptor** sd) {
  return readSecurityInfo(path, false, sd);
}

std::string securityDescriptorKey(const SecurityDescriptor* sd) {
  if (sd == nullptr) return "";
  return std::string(reinterpret_cast<const char*>(sd + 1), sd->size);
}

bool getSecurityDescriptorDacl(const SecurityDescriptor* sd, bool* present,
                               const Acl** dacl, bool* defaulted) {
  if (sd == nullptr || present == nullptr || dacl == nullptr ||
      defaulted == nullptr)
    return fail(kErrorInvalidParameter);
  *present = sd->view.daclPresent;
  *dacl = reinterpret_cast<const Acl*>(sd->view.dacl);
  *defaulted = sd->view.daclPresent && (sd->control & kSeDaclDefaulted) != 0;
  return true;
}

bool getSecurityDescriptorOwner(const SecurityDescriptor* sd, const Sid** owner,
                                bool* defaulted) {
  if (sd == nullptr || owner == nullptr || defaulted == nullptr)
    return fail(kErrorInvalidParameter);
  *owner = reinterpret_cast<const Sid*>(sd->view.owner);
  *defaulted = (sd->control & kSeOwnerDefaulted) != 0;
  return true;
}

bool getSecurityDescriptorControl(const SecurityDescriptor* sd,
                                  uint16_t* control, uint32_t* revision) {
  if (sd == nullptr || control == nullptr || revision == nullptr)
    return fail(kErrorInvalidParameter);
  *control = sd->control;
  *revision = 1;
  return true;
}

uint32_t getExplicitEntriesFromAcl(const Acl* acl, uint32_t* count,
                                   ExplicitAccess** entries) {
  if (count == nullptr || entries == nullptr) return kErrorInvalidParameter;
  return buildExplicitEntries(reinterpret_cast<const uint8_t*>(acl), count,
                              entries);
}

uint32_t lookupSecurityDescriptorParts(Trustee** owner, Trustee** group,
                                       uint32_t* count,
                                       ExplicitAccess** entries,
                                       const SecurityDescriptor* sd) {
  if (sd == nullptr) return kErrorInvalidParameter;
  const DescriptorParts parts = {reinterpret_cast<const Sid*>(sd->view.owner),
                                 reinterpret_cast<const Sid*>(sd->view.group),
                                 reinterpret_cast<const Acl*>(sd->view.dacl)};
  return lookupParts(parts, localAccountName, getExplicitEntriesFromAcl, owner,
                     group, count, entries);
}

void localFree(SecurityDescriptor* sd) { std::free(sd); }
void localFree(ExplicitAccess* entries) { std::free(entries); }
void localFree(Trustee* trustee) { std::free(trustee); }

}  // namespace platform
}  // namespace vesk
