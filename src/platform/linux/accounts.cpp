// Account names on Linux: Windows' well-known SIDs by table, and the SIDs
// that stand for Unix users and groups by the password and group databases.
#include <errno.h>
#include <grp.h>
#include <pwd.h>
#include <sys/types.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/platform.h"
#include "sd/descriptor.h"
#include "sd/little_endian.h"
#include "sd/well_known_sids.h"

namespace vesk {
namespace platform {
namespace {

bool accountOfUnixId(const uint8_t* sid, std::string* name,
                     std::string* domain) {
  // S-1-22-1-uid and S-1-22-2-gid: Unix users and groups.
  if (sid[1] != 2 || sidText(sid).compare(0, 7, "S-1-22-") != 0) return false;
  // Sub-authorities are stored little-endian, whatever the host.
  const uint32_t kind = read32(sid + 8);
  const uint32_t id = read32(sid + 12);
  std::vector<char> buffer(1024);
  for (;;) {
    int status;
    const char* found = nullptr;
    if (kind == 1) {
      passwd entry;
      passwd* result = nullptr;
      status = getpwuid_r(id, &entry, buffer.data(), buffer.size(), &result);
      if (result != nullptr) found = result->pw_name;
      *domain = "Unix User";
    } else if (kind == 2) {
      group entry;
      group* result = nullptr;
      status = getgrgid_r(id, &entry, buffer.data(), buffer.size(), &result);
      if (result != nullptr) found = result->gr_name;
      *domain = "Unix Group";
    } else {
      return false;
    }
    if (status == ERANGE) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (found == nullptr) return false;
    *name = found;
    return true;
  }
}

// Domain accounts, through winbindd where the build has libwbclient.
bool domainAccountName(const uint8_t* sid, std::string* name,
                       std::string* domain) {
#if VESK_WITH_WINBIND
  return winbindAccountName(sid, name, domain);
#else
  (void)sid;
  (void)name;
  (void)domain;
  return false;
#endif
}

}  // namespace

bool isValidSid(const Sid* sid) {
  return isValidSidBytes(bytesOf(sid)) || fail(kErrorInvalidSid);
}

bool lookupAccountSid(const char* systemName, const Sid* sid, char* name,
                      uint32_t nameCapacity, char* domain,
                      uint32_t domainCapacity) {
  if (systemName != nullptr && systemName[0] != '\0')
    return fail(kErrorRpcServerUnavailable);
  if (!isValidSid(sid)) return false;
  std::string foundName;
  std::string foundDomain;
  const uint8_t* bytes = bytesOf(sid);
  const std::string text = sidText(bytes);
  // The well-known names, then those of the Windows installation being
  // read, then the host's own databases.
  if (const WellKnownSid* row = findWellKnownSid(text)) {
    foundName = row->name;
    foundDomain = row->domain;
  } else if (!evidenceAccountName(text, &foundName, &foundDomain) &&
             !accountOfUnixId(bytes, &foundName, &foundDomain) &&
             !domainAccountName(bytes, &foundName, &foundDomain)) {
    return fail(kErrorNoneMapped);
  }
  if (name == nullptr || domain == nullptr ||
      foundName.size() >= nameCapacity || foundDomain.size() >= domainCapacity)
    return fail(kErrorInsufficientBuffer);
  std::memcpy(name, foundName.c_str(), foundName.size() + 1);
  std::memcpy(domain, foundDomain.c_str(), foundDomain.size() + 1);
  return true;
}

uint32_t getLengthSid(const Sid* sid) {
  return static_cast<uint32_t>(sidLength(bytesOf(sid)));
}

std::string sidString(const Sid* sid) {
  if (!isValidSid(sid)) return "";
  return sidText(bytesOf(sid));
}

}  // namespace platform
}  // namespace vesk
