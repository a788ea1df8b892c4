// The platform operations on Windows: security descriptors, accounts,
// network drives and directory search, through the "W" calls. Builds with
// MSVC and MinGW-w64 alike.
#include "platform/windows/windows_internal.h"
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>
#include <winnetwk.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sd/account_name.h"
#include "sd/descriptor.h"

namespace vesk {
namespace platform {

// The opaque handles of platform.h.
struct NetEnum;
struct FindHandle {
  HANDLE handle;
  std::wstring dir;  // the searched directory, resolved; names go behind it
};

namespace {

PSECURITY_DESCRIPTOR raw(const SecurityDescriptor* sd) {
  return const_cast<SecurityDescriptor*>(sd);
}

PSID raw(const Sid* sid) { return const_cast<Sid*>(sid); }

PACL raw(const Acl* acl) {
  return reinterpret_cast<PACL>(const_cast<Acl*>(acl));
}

// The entries of an ACL, found with GetAce and built by the same code as on
// Linux. The system's entry functions are not used: the explicit one is
// reported to leave inherited ACEs out on some Windows versions, and what
// the descriptor one returns, names included, is not documented.
uint32_t entriesOfAcl(const Acl* acl, uint32_t* count,
                      ExplicitAccess** entries) {
  *count = 0;
  *entries = nullptr;
  if (acl == nullptr) return ERROR_SUCCESS;
  ACL_SIZE_INFORMATION size;
  if (!GetAclInformation(raw(acl), &size, static_cast<DWORD>(sizeof size),
                         AclSizeInformation))
    return GetLastError();
  // GetAce walks by the sizes the ACEs state: check that each one lies
  // inside the ACL before anything reads it.
  const uint8_t* begin = reinterpret_cast<const uint8_t*>(acl);
  const uint8_t* end = begin + raw(acl)->AclSize;
  std::vector<const uint8_t*> aces(size.AceCount);
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(raw(acl), i, &ace)) return GetLastError();
    const uint8_t* at = static_cast<const uint8_t*>(ace);
    if (at < begin + sizeof(ACL) || at >= end ||
        !validAce(at, static_cast<size_t>(end - at)))
      return ERROR_INVALID_ACL;
    aces[i] = at;
  }
  return buildEntriesOfAces(aces.data(), size.AceCount, count, entries);
}

void describe(const FindHandle& search, const WIN32_FIND_DATAW& data,
              FindEntry* entry) {
  const std::wstring name = data.cFileName;
  std::wstring full = search.dir;
  if (full.empty() || (full.back() != L'\\' && full.back() != L'/'))
    full += L'\\';
  entry->fullPath = utf8Of(full + name);
  entry->directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry->dotOrDotDot = name == L"." || name == L"..";
}

// Why FindFirstFileW found nothing, in the terms of findFirst.
DWORD searchFailure(const std::wstring& dir, DWORD error) {
  const DWORD attributes = GetFileAttributesW(dir.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return ERROR_DIRECTORY;
  // Nothing matched "*.*": only a volume root can be that empty.
  if (error == ERROR_FILE_NOT_FOUND && attributes != INVALID_FILE_ATTRIBUTES)
    return ERROR_NO_MORE_FILES;
  return error;
}

}  // namespace

uint32_t getNamedSecurityInfo(const char* path, SecurityDescriptor** sd) {
  *sd = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD status = GetNamedSecurityInfoW(
      systemPath(path).c_str(), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
          DACL_SECURITY_INFORMATION,
      nullptr, nullptr, &dacl, nullptr, &descriptor);
  if (status == ERROR_SUCCESS) {
    *sd = static_cast<SecurityDescriptor*>(descriptor);
  }
  return status;
}

uint32_t getLinkSecurityInfo(const char* path, SecurityDescriptor** sd) {
  *sd = nullptr;
  HANDLE link = CreateFileW(
      systemPath(path).c_str(), READ_CONTROL,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
      nullptr);
  if (link == INVALID_HANDLE_VALUE) return GetLastError();
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD status =
      GetSecurityInfo(link, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                          DACL_SECURITY_INFORMATION,
                      nullptr, nullptr, &dacl, nullptr, &descriptor);
  CloseHandle(link);
  if (status == ERROR_SUCCESS)
    *sd = static_cast<SecurityDescriptor*>(descriptor);
  return status;
}

bool getSecurityDescriptorDacl(const SecurityDescriptor* sd, bool* present,
                               const Acl** dacl, bool* defaulted) {
  BOOL isPresent = FALSE;
  BOOL isDefaulted = FALSE;
  PACL acl = nullptr;
  if (!GetSecurityDescriptorDacl(raw(sd), &isPresent, &acl, &isDefaulted)) {
    return false;
  }
  *present = isPresent != FALSE;
  *dacl = reinterpret_cast<const Acl*>(acl);
  *defaulted = isDefaulted != FALSE;
  return true;
}

bool getSecurityDescriptorOwner(const SecurityDescriptor* sd, const Sid** owner,
                                bool* defaulted) {
  PSID sid = nullptr;
  BOOL isDefaulted = FALSE;
  if (!GetSecurityDescriptorOwner(raw(sd), &sid, &isDefaulted)) return false;
  *owner = static_cast<const Sid*>(sid);
  *defaulted = isDefaulted != FALSE;
  return true;
}

std::string securityDescriptorKey(const SecurityDescriptor* sd) {
  if (sd == nullptr || !IsValidSecurityDescriptor(raw(sd))) return "";
  return std::string(static_cast<const char*>(static_cast<const void*>(sd)),
                     GetSecurityDescriptorLength(raw(sd)));
}

bool getSecurityDescriptorControl(const SecurityDescriptor* sd,
                                  uint16_t* control, uint32_t* revision) {
  SECURITY_DESCRIPTOR_CONTROL bits = 0;
  DWORD version = 0;
  if (!GetSecurityDescriptorControl(raw(sd), &bits, &version)) return false;
  *control = bits;
  *revision = version;
  return true;
}

uint32_t getExplicitEntriesFromAcl(const Acl* acl, uint32_t* count,
                                   ExplicitAccess** entries) {
  if (count == nullptr || entries == nullptr) return ERROR_INVALID_PARAMETER;
  return entriesOfAcl(acl, count, entries);
}

uint32_t lookupSecurityDescriptorParts(Trustee** owner, Trustee** group,
                                       uint32_t* count,
                                       ExplicitAccess** entries,
                                       const SecurityDescriptor* sd) {
  if (sd == nullptr) return ERROR_INVALID_PARAMETER;
  PSID ownerSid = nullptr;
  PSID groupSid = nullptr;
  PACL dacl = nullptr;
  BOOL defaulted = FALSE;
  BOOL present = FALSE;
  if (!GetSecurityDescriptorOwner(raw(sd), &ownerSid, &defaulted) ||
      !GetSecurityDescriptorGroup(raw(sd), &groupSid, &defaulted) ||
      !GetSecurityDescriptorDacl(raw(sd), &present, &dacl, &defaulted))
    return GetLastError();
  const DescriptorParts parts = {
      static_cast<const Sid*>(ownerSid), static_cast<const Sid*>(groupSid),
      present ? reinterpret_cast<const Acl*>(dacl) : nullptr};
  return lookupParts(parts, localAccountName, entriesOfAcl, owner, group, count,
                     entries);
}

// The descriptor is the system's; entries and trustees are the portable
// builder's.
void localFree(SecurityDescriptor* sd) { LocalFree(sd); }
void localFree(ExplicitAccess* entries) { std::free(entries); }
void localFree(Trustee* trustee) { std::free(trustee); }

bool isValidSid(const Sid* sid) {
  // IsValidSid itself leaves the last error as it was.
  if (sid == nullptr || !IsValidSid(raw(sid))) {
    SetLastError(ERROR_INVALID_SID);
    return false;
  }
  return true;
}

bool lookupAccountSid(const char* systemName, const Sid* sid, char* name,
                      uint32_t nameCapacity, char* domain,
                      uint32_t domainCapacity) {
  if (!isValidSid(sid)) return false;
  const std::wstring system = wideOf(systemName != nullptr ? systemName : "");
  std::wstring wideName(nameCapacity + 1, L'\0');
  std::wstring wideDomain(domainCapacity + 1, L'\0');
  DWORD nameSize = nameCapacity;
  DWORD domainSize = domainCapacity;
  SID_NAME_USE use;
  if (!LookupAccountSidW(system.empty() ? nullptr : system.c_str(), raw(sid),
                         &wideName[0], &nameSize, &wideDomain[0], &domainSize,
                         &use))
    return false;
  // Sizes from the call are not trusted (Wine's differ): the text ends at
  // its terminator.
  const std::string foundName = utf8Of(wideName.c_str());
  const std::string foundDomain = utf8Of(wideDomain.c_str());
  if (foundName.size() >= nameCapacity ||
      foundDomain.size() >= domainCapacity) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  std::memcpy(name, foundName.c_str(), foundName.size() + 1);
  std::memcpy(domain, foundDomain.c_str(), foundDomain.size() + 1);
  return true;
}

uint32_t getLengthSid(const Sid* sid) { return GetLengthSid(raw(sid)); }

std::string sidString(const Sid* sid) {
  if (sid == nullptr || !IsValidSid(raw(sid))) return std::string();
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(raw(sid), &text)) return std::string();
  std::string result = utf8Of(text);
  LocalFree(text);
  return result;
}

uint32_t getLastError() { return GetLastError(); }

uint32_t wnetOpenEnum(NetEnum** handle) {
  HANDLE opened = nullptr;
  DWORD status =
      WNetOpenEnumW(RESOURCE_CONNECTED, RESOURCETYPE_DISK, 0, nullptr, &opened);
  *handle = status == NO_ERROR ? static_cast<NetEnum*>(opened) : nullptr;
  return status;
}

uint32_t wnetEnumResource(NetEnum* handle, std::string* remoteName) {
  constexpr DWORD kBufferSize = 16384;
  // Pointer-aligned: the buffer begins with a NETRESOURCEW.
  union {
    NETRESOURCEW resource;
    unsigned char bytes[kBufferSize];
  } buffer;
  std::memset(&buffer, 0, sizeof buffer);
  DWORD count = 1;
  DWORD size = kBufferSize;
  DWORD status =
      WNetEnumResourceW(static_cast<HANDLE>(handle), &count, &buffer, &size);
  if (status == NO_ERROR) {
    const wchar_t* remote = buffer.resource.lpRemoteName;
    remoteName->assign(remote != nullptr ? utf8Of(remote) : "");
  }
  return status;
}

void wnetCloseEnum(NetEnum* handle) {
  WNetCloseEnum(static_cast<HANDLE>(handle));
}

FindHandle* findFirst(const std::string& dir, FindEntry* entry) {
  // The pattern is dir + "\*.*" whatever dir ends with: "C:" searches the
  // root of C:, not its current directory. Resolved once, it is also what
  // every entry's full path begins with.
  const std::wstring resolved = fullPathOf(wideOf(dir) + L"\\");
  std::wstring pattern = resolved;
  if (pattern.empty() || (pattern.back() != L'\\' && pattern.back() != L'/'))
    pattern += L'\\';
  pattern += L"*.*";
  WIN32_FIND_DATAW data;
  HANDLE found = FindFirstFileW(systemPath(utf8Of(pattern)).c_str(), &data);
  if (found == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    SetLastError(searchFailure(systemPath(dir), error));
    return nullptr;
  }
  auto* search = new FindHandle{found, resolved};
  describe(*search, data, entry);
  return search;
}

bool findNext(FindHandle* handle, FindEntry* entry) {
  WIN32_FIND_DATAW data;
  if (!FindNextFileW(handle->handle, &data)) return false;
  describe(*handle, data, entry);
  return true;
}

void findClose(FindHandle* handle) {
  if (handle == nullptr) return;
  FindClose(handle->handle);
  delete handle;
}

bool directoryIdentity(const std::string& dir, DirectoryIdentity* identity) {
  // Without FILE_FLAG_OPEN_REPARSE_POINT a junction opens its target.
  HANDLE file =
      CreateFileW(systemPath(dir).c_str(), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool known = GetFileInformationByHandle(file, &information) != FALSE;
  CloseHandle(file);
  if (!known) return false;
  identity->volume = information.dwVolumeSerialNumber;
  identity->index = (static_cast<uint64_t>(information.nFileIndexHigh) << 32) |
                    information.nFileIndexLow;
  return true;
}

}  // namespace platform
}  // namespace vesk
