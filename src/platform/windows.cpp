// The platform operations on Windows: each one is the Windows call named in
// platform.h. Builds with MSVC and MinGW-w64 alike.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <io.h>
#include <mbstring.h>
#include <sddl.h>
#include <winnetwk.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace vesk {
namespace platform {

// The opaque handles of platform.h.
struct NetEnum;
struct FindHandle {
  HANDLE handle;
  std::string dir;  // as passed to findFirst; entry names are put behind it
};

namespace {

PSECURITY_DESCRIPTOR raw(const SecurityDescriptor* sd) {
  return const_cast<SecurityDescriptor*>(sd);
}

PSID raw(const Sid* sid) { return const_cast<Sid*>(sid); }

// SIDs hold DWORDs: every copy behind a record starts on such a boundary.
size_t aligned(size_t size) {
  return (size + sizeof(DWORD) - 1) / sizeof(DWORD) * sizeof(DWORD);
}

// Bytes a trustee's identifier or name takes when copied behind the records.
// A SID that is not valid has no length to trust and is not copied.
size_t trusteeExtra(const TRUSTEE_A& trustee) {
  if (trustee.ptstrName == nullptr) return 0;
  if (trustee.TrusteeForm == TRUSTEE_IS_SID) {
    PSID sid = reinterpret_cast<PSID>(trustee.ptstrName);
    return IsValidSid(sid) ? aligned(GetLengthSid(sid)) : 0;
  }
  if (trustee.TrusteeForm == TRUSTEE_IS_NAME) {
    return aligned(std::strlen(trustee.ptstrName) + 1);
  }
  return 0;
}

// Converts a Windows trustee into ours, copying what it points to to *cursor
// and moving the cursor on by trusteeExtra().
Trustee copyTrustee(const TRUSTEE_A& trustee, char** cursor) {
  Trustee out = {TrusteeForm::Other, nullptr, nullptr};
  size_t extra = trusteeExtra(trustee);
  if (trustee.TrusteeForm == TRUSTEE_IS_SID) {
    out.form = TrusteeForm::Sid;
    if (extra != 0) {
      PSID sid = reinterpret_cast<PSID>(trustee.ptstrName);
      std::memcpy(*cursor, sid, GetLengthSid(sid));
      out.sid = reinterpret_cast<const Sid*>(*cursor);
    }
  } else if (trustee.TrusteeForm == TRUSTEE_IS_NAME) {
    out.form = TrusteeForm::Name;
    if (extra != 0) {
      std::strcpy(*cursor, trustee.ptstrName);
      out.name = *cursor;
    }
  }
  *cursor += extra;
  return out;
}

// One LocalAlloc block of our records and the data their trustees point to,
// so that a single LocalFree releases it. nullptr when out of memory.
ExplicitAccess* copyEntries(const EXPLICIT_ACCESS_A* entries, ULONG count) {
  size_t size = sizeof(ExplicitAccess) * count;
  for (ULONG i = 0; i < count; ++i) size += trusteeExtra(entries[i].Trustee);
  auto* out = static_cast<ExplicitAccess*>(LocalAlloc(LMEM_FIXED, size));
  if (out == nullptr) return nullptr;
  char* cursor = reinterpret_cast<char*>(out + count);
  for (ULONG i = 0; i < count; ++i) {
    out[i].accessPermissions = entries[i].grfAccessPermissions;
    out[i].accessMode = static_cast<uint32_t>(entries[i].grfAccessMode);
    out[i].inheritance = entries[i].grfInheritance;
    out[i].trustee = copyTrustee(entries[i].Trustee, &cursor);
  }
  return out;
}

// A trustee record of ours in its own LocalAlloc block; nullptr when there
// is none or memory runs out (*failed tells the two apart).
Trustee* copyOneTrustee(const TRUSTEE_A* trustee, bool* failed) {
  if (trustee == nullptr) return nullptr;
  size_t size = aligned(sizeof(Trustee)) + trusteeExtra(*trustee);
  auto* out = static_cast<Trustee*>(LocalAlloc(LMEM_FIXED, size));
  if (out == nullptr) {
    *failed = true;
    return nullptr;
  }
  char* cursor = reinterpret_cast<char*>(out) + aligned(sizeof(Trustee));
  *out = copyTrustee(*trustee, &cursor);
  return out;
}

bool fitsPath(const std::string& path) { return path.size() < MAX_PATH; }

// Fills entry from the found data. A full path too long for MAX_PATH is
// still handed on: the calls on it then fail with 206, and the report logs
// that object instead of losing it.
void describe(const FindHandle& search, const WIN32_FIND_DATAA& data,
              FindEntry* entry) {
  const std::string named = search.dir + "\\" + data.cFileName;
  std::string full(MAX_PATH, '\0');
  DWORD length = GetFullPathNameA(named.c_str(), MAX_PATH, &full[0], nullptr);
  if (length >= MAX_PATH) {
    full.assign(length, '\0');
    length = GetFullPathNameA(named.c_str(), length, &full[0], nullptr);
    if (length >= full.size()) length = 0;
  }
  // The ANSI call gives up on long names; below the starting directory
  // the searched directory is already absolute, so the name stands as is.
  if (length == 0) {
    entry->fullPath = named;
  } else {
    entry->fullPath.assign(full.data(), length);
  }
  entry->directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry->dotOrDotDot = std::strcmp(data.cFileName, ".") == 0 ||
                       std::strcmp(data.cFileName, "..") == 0;
}

}  // namespace

uint32_t getNamedSecurityInfo(const char* path, SecurityDescriptor** sd) {
  *sd = nullptr;
  if (std::strlen(path) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD status = GetNamedSecurityInfoA(
      path, SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
          DACL_SECURITY_INFORMATION,
      nullptr, nullptr, &dacl, nullptr, &descriptor);
  if (status == ERROR_SUCCESS) {
    *sd = static_cast<SecurityDescriptor*>(descriptor);
  }
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
  *count = 0;
  *entries = nullptr;
  // A NULL DACL has no entries; Windows would refuse the null pointer.
  if (acl == nullptr) return ERROR_SUCCESS;
  ULONG found = 0;
  PEXPLICIT_ACCESS_A list = nullptr;
  DWORD status = GetExplicitEntriesFromAclA(
      reinterpret_cast<PACL>(const_cast<Acl*>(acl)), &found, &list);
  if (status != ERROR_SUCCESS) return status;
  if (found != 0 && list != nullptr) {
    *entries = copyEntries(list, found);
    if (*entries == nullptr) status = ERROR_NOT_ENOUGH_MEMORY;
  }
  LocalFree(list);
  if (status == ERROR_SUCCESS && *entries != nullptr) *count = found;
  return status;
}

uint32_t lookupSecurityDescriptorParts(Trustee** owner, Trustee** group,
                                       uint32_t* count,
                                       ExplicitAccess** entries,
                                       const SecurityDescriptor* sd) {
  *owner = nullptr;
  *group = nullptr;
  *count = 0;
  *entries = nullptr;
  PTRUSTEE_A windowsOwner = nullptr;
  PTRUSTEE_A windowsGroup = nullptr;
  ULONG found = 0;
  PEXPLICIT_ACCESS_A list = nullptr;
  DWORD status = LookupSecurityDescriptorPartsA(
      &windowsOwner, &windowsGroup, &found, &list, nullptr, nullptr, raw(sd));
  if (status != ERROR_SUCCESS) return status;
  bool failed = false;
  *owner = copyOneTrustee(windowsOwner, &failed);
  *group = copyOneTrustee(windowsGroup, &failed);
  if (found != 0 && list != nullptr) {
    *entries = copyEntries(list, found);
    if (*entries == nullptr) failed = true;
  }
  LocalFree(windowsOwner);
  LocalFree(windowsGroup);
  LocalFree(list);
  if (failed) {
    LocalFree(*owner);
    LocalFree(*group);
    LocalFree(*entries);
    *owner = nullptr;
    *group = nullptr;
    *entries = nullptr;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  if (*entries != nullptr) *count = found;
  return ERROR_SUCCESS;
}

void localFree(SecurityDescriptor* sd) { LocalFree(sd); }
void localFree(ExplicitAccess* entries) { LocalFree(entries); }
void localFree(Trustee* trustee) { LocalFree(trustee); }

bool isValidSid(const Sid* sid) {
  // Entries in name form carry no identifier at all.
  if (sid == nullptr) {
    SetLastError(ERROR_INVALID_SID);
    return false;
  }
  return IsValidSid(raw(sid)) != FALSE;
}

bool lookupAccountSid(const char* systemName, const Sid* sid, char* name,
                      uint32_t nameCapacity, char* domain,
                      uint32_t domainCapacity) {
  DWORD nameSize = nameCapacity;
  DWORD domainSize = domainCapacity;
  SID_NAME_USE use;
  const char* system =
      systemName == nullptr || systemName[0] == '\0' ? nullptr : systemName;
  return LookupAccountSidA(system, raw(sid), name, &nameSize, domain,
                           &domainSize, &use) != FALSE;
}

uint32_t getLengthSid(const Sid* sid) {
  return GetLengthSid(const_cast<Sid*>(sid));
}

std::string sidString(const Sid* sid) {
  if (sid == nullptr || !IsValidSid(raw(sid))) return std::string();
  LPSTR text = nullptr;
  if (!ConvertSidToStringSidA(raw(sid), &text)) return std::string();
  std::string result(text);
  LocalFree(text);
  return result;
}

uint32_t getLastError() { return GetLastError(); }

uint32_t wnetOpenEnum(NetEnum** handle) {
  HANDLE opened = nullptr;
  DWORD status =
      WNetOpenEnumA(RESOURCE_CONNECTED, RESOURCETYPE_DISK, 0, nullptr, &opened);
  *handle = status == NO_ERROR ? static_cast<NetEnum*>(opened) : nullptr;
  return status;
}

uint32_t wnetEnumResource(NetEnum* handle, std::string* remoteName) {
  constexpr DWORD kBufferSize = 16384;
  // Pointer-aligned: the buffer begins with a NETRESOURCEA.
  union {
    NETRESOURCEA resource;
    unsigned char bytes[kBufferSize];
  } buffer;
  std::memset(&buffer, 0, sizeof buffer);
  DWORD count = 1;
  DWORD size = kBufferSize;
  DWORD status =
      WNetEnumResourceA(static_cast<HANDLE>(handle), &count, &buffer, &size);
  if (status == NO_ERROR) {
    const char* remote = buffer.resource.lpRemoteName;
    remoteName->assign(remote != nullptr ? remote : "");
  }
  return status;
}

void wnetCloseEnum(NetEnum* handle) {
  WNetCloseEnum(static_cast<HANDLE>(handle));
}

FindHandle* findFirst(const std::string& dir, FindEntry* entry) {
  std::string pattern = dir + "\\*.*";
  if (!fitsPath(pattern)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  WIN32_FIND_DATAA data;
  HANDLE found = FindFirstFileA(pattern.c_str(), &data);
  if (found == INVALID_HANDLE_VALUE) return nullptr;
  auto* search = new FindHandle{found, dir};
  describe(*search, data, entry);
  return search;
}

bool findNext(FindHandle* handle, FindEntry* entry) {
  WIN32_FIND_DATAA data;
  if (!FindNextFileA(handle->handle, &data)) return false;
  describe(*handle, data, entry);
  return true;
}

void findClose(FindHandle* handle) {
  if (handle == nullptr) return;
  FindClose(handle->handle);
  delete handle;
}

void messageBox(const char* text, const char* caption, AlertIcon icon) {
  UINT style = icon == AlertIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION;
  MessageBoxA(nullptr, text, caption, MB_OK | style);
}

std::string moduleFileName() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(path.size());
    DWORD length = GetModuleFileNameA(nullptr, &path[0], size);
    if (length == 0) return std::string();
    // A full buffer means the name was cut short.
    if (length < size) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return std::string();
    path.resize(path.size() * 2);
  }
}

LocalTime localClock() {
  // One reading for the date and the time, so they cannot straddle midnight.
  SYSTEMTIME now;
  GetLocalTime(&now);
  LocalTime result = {now.wYear, now.wMonth, now.wDay, {}};
  std::snprintf(result.time, sizeof result.time, "%02u:%02u:%02u",
                static_cast<unsigned>(now.wHour),
                static_cast<unsigned>(now.wMinute),
                static_cast<unsigned>(now.wSecond));
  return result;
}

int mbsicmp(const char* a, const char* b) {
  return _mbsicmp(reinterpret_cast<const unsigned char*>(a),
                  reinterpret_cast<const unsigned char*>(b));
}

FILE* standardOutput() { return stdout; }
FILE* standardError() { return stderr; }

FILE* createLogFile(const char* path) { return std::fopen(path, "wt"); }

FILE* openTermsFile(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return nullptr;
  }
  return std::fopen(path, "rt");
}

bool isTerminal(FILE* stream) { return _isatty(_fileno(stream)) != 0; }

uint64_t monotonicMillis() { return GetTickCount64(); }

void startProcess() {
  // Listings of large trees go to a redirected file: write in big pieces.
  std::setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);
}

}  // namespace platform
}  // namespace vesk
