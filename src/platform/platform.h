// The one door from the logic to the operating system.
//
// Every operation mirrors one Windows call (named beside it) and keeps that
// call's contract: statuses are Windows error codes, blocks handed out are
// released once each through the matching localFree. Text is UTF-8 on
// Windows (the layer speaks UTF-16 to the system) and the bytes as stored
// on Linux; outputText turns it into what is printed. platform/windows/
// answers them through the "W" calls; platform/linux/ from the descriptors
// that NTFS mounts and Samba keep and, through ntfs/ and disk/, from
// volumes inside disk images; tests link a scripted fake. No OS type
// crosses this header.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace vesk {
namespace platform {

// Control bits of a security descriptor (SECURITY_DESCRIPTOR_CONTROL).
constexpr uint16_t kSeOwnerDefaulted = 0x0001;
constexpr uint16_t kSeGroupDefaulted = 0x0002;
constexpr uint16_t kSeDaclPresent = 0x0004;
constexpr uint16_t kSeDaclDefaulted = 0x0008;
constexpr uint16_t kSeSaclPresent = 0x0010;
constexpr uint16_t kSeSaclDefaulted = 0x0020;
constexpr uint16_t kSeDaclAutoInherited = 0x0400;
constexpr uint16_t kSeSaclAutoInherited = 0x0800;
constexpr uint16_t kSeDaclProtected = 0x1000;
constexpr uint16_t kSeSaclProtected = 0x2000;
constexpr uint16_t kSeSelfRelative = 0x8000;

// ACCESS_MODE values of an entry.
constexpr uint32_t kNotUsedAccess = 0;
constexpr uint32_t kGrantAccess = 1;
constexpr uint32_t kSetAccess = 2;
constexpr uint32_t kDenyAccess = 3;
constexpr uint32_t kRevokeAccess = 4;

// Opaque blocks. SecurityDescriptor is PSECURITY_DESCRIPTOR, Acl is PACL and
// Sid is PSID on Windows; Acl and Sid lie inside the block they came with.
struct SecurityDescriptor;
struct Acl;
struct Sid;

enum class TrusteeForm : uint8_t { Sid, Name, Other };  // TRUSTEE_IS_SID, _NAME

/// TRUSTEE: one of sid or name is set, as form says.
struct Trustee {
  TrusteeForm form;
  const Sid* sid;
  const char* name;
};

/// EXPLICIT_ACCESS.
struct ExplicitAccess {
  uint32_t accessPermissions;  // the mask as stored
  uint32_t accessMode;         // kGrantAccess, kDenyAccess, ...
  uint32_t inheritance;        // ACE flags & 0x1F
  Trustee trustee;
};

/// GetNamedSecurityInfoW(path, SE_FILE_OBJECT, owner | group | DACL); a link
/// is followed. 0 and *sd on success (release with localFree), else the
/// error code.
uint32_t getNamedSecurityInfo(const char* path, SecurityDescriptor** sd);

/// The bytes of a descriptor that getNamedSecurityInfo handed out
/// (GetSecurityDescriptorLength of the self-relative block): descriptors
/// with equal keys give equal answers to every call below. "" when the
/// layer cannot vouch for that.
std::string securityDescriptorKey(const SecurityDescriptor* sd);

/// As getNamedSecurityInfo, for the link at path itself rather than what it
/// points to (GetSecurityInfo on a handle opened with
/// FILE_FLAG_OPEN_REPARSE_POINT): for an entry a search reported as a link.
uint32_t getLinkSecurityInfo(const char* path, SecurityDescriptor** sd);

/// Once per run, before its first object is read: the path the user typed,
/// the one path that may lead into a disk image on Linux (a file met below
/// it is a file); nothing on Windows.
void examineStartPath(const std::string& path);

/// A registry hive that was there, or asked for, but could not be read for
/// account names: its path and the error code.
struct HiveFailure {
  std::string hive;
  uint32_t status;
};

/// Once per run, after the first descriptor was read: the account names of
/// the Windows installation being read, from its hives SAM and SOFTWARE
/// (Linux): those at namesPath when it is not "" (/names:), else those of
/// the start path's volume when it was read from an image and holds
/// Windows/System32/config/SAM. lookupAccountSid then names them after the
/// well-known SIDs. Gives the hives that could not be read.
std::vector<HiveFailure> readEvidenceNames(const std::string& namesPath);

/// GetSecurityDescriptorDacl. false on failure. A NULL DACL is present with
/// *dacl == nullptr.
bool getSecurityDescriptorDacl(const SecurityDescriptor* sd, bool* present,
                               const Acl** dacl, bool* defaulted);

/// GetSecurityDescriptorOwner. *owner is nullptr when the descriptor has none.
bool getSecurityDescriptorOwner(const SecurityDescriptor* sd, const Sid** owner,
                                bool* defaulted);

/// GetSecurityDescriptorControl.
bool getSecurityDescriptorControl(const SecurityDescriptor* sd,
                                  uint16_t* control, uint32_t* revision);

/// What GetExplicitEntriesFromAcl gives, read from the ACL itself: one entry
/// per ACE in ACL order, trustees in identifier form. 0 on success; *entries is
/// nullptr when *count is 0, otherwise one block to release with localFree. A
/// null acl gives 0 entries.
uint32_t getExplicitEntriesFromAcl(const Acl* acl, uint32_t* count,
                                   ExplicitAccess** entries);

/// What LookupSecurityDescriptorParts gives without the audit parts: owner
/// and group in name form (the bare account name, or the SID's text when
/// nobody names it), entries as getExplicitEntriesFromAcl gives them. 0 on
/// success; owner, group and entries are separate blocks (each may be
/// nullptr), each released with localFree.
uint32_t lookupSecurityDescriptorParts(Trustee** owner, Trustee** group,
                                       uint32_t* count,
                                       ExplicitAccess** entries,
                                       const SecurityDescriptor* sd);

/// LocalFree, one overload per kind of block; null is ignored.
void localFree(SecurityDescriptor* sd);
void localFree(ExplicitAccess* entries);
void localFree(Trustee* trustee);

/// IsValidSid.
bool isValidSid(const Sid* sid);

/// GetLengthSid: the bytes of a valid identifier.
uint32_t getLengthSid(const Sid* sid);

/// LookupAccountSidW. systemName "" is the local machine. true on success
/// with the bare account name in name; false sets getLastError.
bool lookupAccountSid(const char* systemName, const Sid* sid, char* name,
                      uint32_t nameCapacity, char* domain,
                      uint32_t domainCapacity);

/// The identifier's string form, S-1-5-21-...; "" when sid is not valid.
std::string sidString(const Sid* sid);

/// GetLastError: the code of the failed call just made.
uint32_t getLastError();

/// WNetOpenEnumW(RESOURCE_CONNECTED, RESOURCETYPE_DISK, 0, no container).
struct NetEnum;
uint32_t wnetOpenEnum(NetEnum** handle);
/// WNetEnumResourceW asking for one entry: 0 and its remote name
/// (\\server\share) while one came back, anything else at the end.
uint32_t wnetEnumResource(NetEnum* handle, std::string* remoteName);
/// WNetCloseEnum.
void wnetCloseEnum(NetEnum* handle);

/// One entry of a directory search (WIN32_FIND_DATAW; the searched
/// directory resolved by GetFullPathNameW).
struct FindEntry {
  std::string fullPath;  // absolute: the searched directory, resolved, + name
  bool directory;        // FILE_ATTRIBUTE_DIRECTORY, or a link to a directory
  bool dotOrDotDot;      // the entry is "." or ".."
  // A link to be reported but never entered: on Linux every symbolic link
  // (ntfs-3g shows junctions as such). Never set on Windows, where the
  // walk enters junctions like directories.
  bool link = false;
};
struct FindHandle;
/// FindFirstFileW over dir + "\*.*". nullptr when nothing can be listed;
/// getLastError() then tells why: kErrorNoMoreFiles for a directory that
/// holds nothing, kErrorDirectory when dir is no directory, any other code
/// when the directory could not be listed. Otherwise *entry is the first.
FindHandle* findFirst(const std::string& dir, FindEntry* entry);
/// FindNextFileW. false after the last entry (entry is then untouched);
/// getLastError() then gives kErrorNoMoreFiles, or the code of a listing
/// that failed part way.
bool findNext(FindHandle* handle, FindEntry* entry);
/// FindClose.
void findClose(FindHandle* handle);

/// What one directory is, whatever path leads to it: the volume serial
/// number and file index of GetFileInformationByHandle (device and inode on
/// Linux), the target's for a junction or link.
struct DirectoryIdentity {
  uint64_t volume;
  uint64_t index;
};
/// true and *identity when the directory can be opened.
bool directoryIdentity(const std::string& dir, DirectoryIdentity* identity);

enum class AlertIcon {
  Information,
  Error
};  // MB_ICONINFORMATION, MB_ICONERROR
/// MessageBoxW without an owner; returns when closed. On Linux one line on
/// standard error: caption, ": ", text.
void messageBox(const char* text, const char* caption, AlertIcon icon);

/// GetModuleFileNameW: the executable's full path; "" if unknown.
std::string moduleFileName();

/// The local clock: date parts and "HH:MM:SS" as _strtime gives it.
struct LocalTime {
  int year;
  int month;
  int day;
  char time[16];
};
LocalTime localClock();

/// _mbsicmp: negative, 0 or positive, ignoring letter case.
int mbsicmp(const char* a, const char* b);

/// The streams of the run. Output files are text streams ("wt", "rt").
FILE* standardOutput();
FILE* standardError();
/// fopen(path, "wt"); nullptr on failure.
FILE* createLogFile(const char* path);
/// fclose of a log made by createLogFile; false when what it held could not
/// be written.
bool closeLogFile(FILE* log);
/// fopen(path, "rt"); nullptr when absent or unreadable.
FILE* openTermsFile(const char* path);

/// A file to read as bytes, fopen(path, "rb"); nullptr when absent,
/// unreadable or a directory (errno-free: the caller names the path).
FILE* openBinaryFile(const char* path);
/// Standard input, read as bytes (no CRLF translation on Windows).
FILE* standardInputBinary();

/// Whether "\\" separates the parts of a path and so never stands in a name:
/// true on Windows; false on Linux, where a name may hold one.
bool backslashIsSeparator();

/// Whether the stream is an interactive terminal.
bool isTerminal(FILE* stream);

/// Milliseconds of a clock that never goes back (GetTickCount64).
uint64_t monotonicMillis();

/// Once at process start, before anything is written.
void startProcess();

/// The program's arguments as UTF-8, program name first: on Windows from
/// GetCommandLineW (argc and argv are not used), elsewhere argv as given.
std::vector<std::string> commandLineArguments(int argc, char** argv);

/// text (UTF-8 on Windows) in the code page that output and the log are
/// written in: on Windows the ANSI code page, each character it lacks as
/// "?" and never as a look-alike; unchanged on Linux. *lossy (if not null)
/// tells whether a "?" stood in for a character.
std::string outputText(const std::string& text, bool* lossy);

}  // namespace platform
}  // namespace vesk
