// The platform operations on Linux, answered from the NTFS descriptors that
// ntfs-3g (system.ntfs_acl) and the kernel's ntfs3 (system.ntfs_security)
// expose as extended attributes.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/limits.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/descriptor.h"
#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace vesk {
namespace platform {

// The block getNamedSecurityInfo hands out: this record, then the bytes
// the view points into.
struct SecurityDescriptor {
  DescriptorView view;
  uint16_t control;  // as GetSecurityDescriptorControl reports it
};

struct NetEnum {
  std::vector<std::string> remoteNames;
  size_t next = 0;
};

struct FindHandle {
  DIR* dir;
  std::string prefix;  // the resolved directory and "/"
};

namespace {

constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorCantResolveFilename = 1921;
constexpr uint32_t kNameCapacity = 260;

thread_local uint32_t lastError = kErrorSuccess;

bool fail(uint32_t code) {
  lastError = code;
  return false;
}

uint32_t windowsError(int error) {
  switch (error) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
      return kErrorAccessDenied;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case ENODATA:
    case ENOTSUP:
      return kErrorNotSupported;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case ELOOP:
      return kErrorCantResolveFilename;
    case EIO:
      return kErrorIoDevice;
    default:
      return kErrorGenFailure;
  }
}

const uint8_t* bytesOf(const Sid* sid) {
  return reinterpret_cast<const uint8_t*>(sid);
}

// Reads one attribute whole in one call, into a buffer that no attribute
// can outgrow (XATTR_SIZE_MAX). Asking for the size first would cost a second
// round trip to the file system daemon for every object, and a short buffer
// cannot be told from a real failure: ntfs-3g answers it with EIO, ntfs3
// with ENODATA.
int readAttribute(const char* path, const char* name,
                  std::vector<uint8_t>* value) {
  value->resize(XATTR_SIZE_MAX);
  const ssize_t read = lgetxattr(path, name, value->data(), value->size());
  if (read < 0) return errno;
  value->resize(static_cast<size_t>(read));
  return 0;
}

// The kernel takes at most PATH_MAX bytes of path in one call. A longer
// path is reached one directory at a time with openat, and its last part is
// then named through the parent's descriptor in /proc/self/fd, which is
// short. The parent stays open as long as the name is in use.
class ReachablePath {
 public:
  ReachablePath(const ReachablePath&) = delete;
  ReachablePath& operator=(const ReachablePath&) = delete;
  ~ReachablePath() {
    if (parent_ >= 0) close(parent_);
  }

  explicit ReachablePath(const char* path) : name_(path) {
    const std::string whole(path);
    const size_t slash = whole.find_last_of('/');
    if (whole.size() < PATH_MAX || slash == std::string::npos) return;
    int fd =
        open(whole[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    for (size_t at = 0; fd >= 0 && at < slash;) {
      size_t end = whole.find('/', at);
      if (end == std::string::npos || end > slash) end = slash;
      const std::string part = whole.substr(at, end - at);
      at = end + 1;
      if (part.empty()) continue;
      const int next =
          openat(fd, part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      const int error = errno;
      close(fd);
      fd = next;
      errno = error;
    }
    if (fd < 0) {
      error_ = errno;
      return;
    }
    parent_ = fd;
    const std::string leaf = whole.substr(slash + 1);
    name_ = "/proc/self/fd/" + std::to_string(fd) + "/" +
            (leaf.empty() ? "." : leaf);
  }

  const char* name() const { return name_.c_str(); }
  int error() const { return error_; }  // errno of a failed walk, or 0

 private:
  int parent_ = -1;
  int error_ = 0;
  std::string name_;
};

bool isNetworkType(const std::string& type) {
  return type == "cifs" || type == "smb3";
}

// Mount fields escape blanks and backslashes as \ooo.
std::string unescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
        field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
        field[i + 3] >= '0' && field[i + 3] <= '7') {
      out += static_cast<char>((field[i + 1] - '0') * 64 +
                               (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool fillEntry(FindHandle* handle, FindEntry* entry) {
  errno = 0;
  const dirent* found = readdir(handle->dir);
  if (found == nullptr) return false;
  const char* name = found->d_name;
  entry->fullPath = handle->prefix + name;
  entry->dotOrDotDot =
      std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
  if (found->d_type == DT_UNKNOWN) {
    struct stat st;
    entry->directory =
        fstatat(dirfd(handle->dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISDIR(st.st_mode);
  } else {
    entry->directory = found->d_type == DT_DIR;
  }
  return true;
}

// The full path of dir, as Windows forms one: the current directory put in
// front of a relative path, then "." and ".." and repeated separators
// resolved by the text alone. Links are not followed, so the blocks below a
// path keep the path the user gave; nothing here limits the length.
std::string searchPrefix(const std::string& dir) {
  std::string whole = dir;
  if (whole.empty() || whole[0] != '/') {
    std::vector<char> cwd(4096);
    while (getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE)
      cwd.resize(cwd.size() * 2);
    whole = std::string(cwd.data()) + "/" + whole;
  }
  std::vector<std::string> parts;
  for (size_t at = 0; at <= whole.size();) {
    size_t end = whole.find('/', at);
    if (end == std::string::npos) end = whole.size();
    const std::string part = whole.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string prefix = "/";
  for (const std::string& part : parts) prefix += part + "/";
  return prefix;
}

bool accountOfUnixId(const uint8_t* sid, std::string* name,
                     std::string* domain) {
  // S-1-22-1-uid and S-1-22-2-gid: Unix users and groups.
  if (sid[1] != 2 || sidText(sid).compare(0, 7, "S-1-22-") != 0) return false;
  uint32_t kind = 0;
  uint32_t id = 0;
  std::memcpy(&kind, sid + 8, 4);
  std::memcpy(&id, sid + 12, 4);
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

std::string localAccountName(const Sid* sid) {
  char name[kNameCapacity] = "";
  char domain[kNameCapacity] = "";
  if (lookupAccountSid("", sid, name, sizeof name, domain, sizeof domain))
    return name;
  return sidText(bytesOf(sid));
}

// A name-form trustee for an owner or group; *out stays nullptr when the
// descriptor has no such part.
bool partTrustee(const uint8_t* sid, Trustee** out) {
  *out = nullptr;
  if (sid == nullptr) return true;
  *out = makeNameTrustee(localAccountName(reinterpret_cast<const Sid*>(sid)));
  return *out != nullptr;
}

}  // namespace

bool networkShareOfMountLine(const std::string& line, std::string* remoteName) {
  size_t sourceEnd = line.find(' ');
  if (sourceEnd == std::string::npos) return false;
  size_t typeStart = line.find(' ', sourceEnd + 1);
  if (typeStart == std::string::npos) return false;
  ++typeStart;
  size_t typeEnd = line.find(' ', typeStart);
  if (!isNetworkType(line.substr(typeStart, typeEnd - typeStart))) return false;
  std::string source = unescapeMountField(line.substr(0, sourceEnd));
  for (char& c : source) {
    if (c == '/') c = '\\';
  }
  *remoteName = source;
  return true;
}

uint32_t getNamedSecurityInfo(const char* path, SecurityDescriptor** sd) {
  if (path == nullptr || sd == nullptr) return kErrorInvalidParameter;
  const ReachablePath reachable(path);
  if (reachable.error()) return windowsError(reachable.error());
  static std::vector<uint8_t> bytes;  // reused: one object at a time
  int error = readAttribute(reachable.name(), "system.ntfs_acl", &bytes);
  if (error == ENODATA || error == ENOTSUP)
    error = readAttribute(reachable.name(), "system.ntfs_security", &bytes);
  if (error != 0) return windowsError(error);

  DescriptorView view;
  if (parseDescriptor(bytes.data(), bytes.size(), &view) != kErrorSuccess)
    return kErrorInvalidSecurityDescr;
  void* block = std::malloc(sizeof(SecurityDescriptor) + bytes.size());
  if (block == nullptr) return kErrorNotEnoughMemory;
  uint8_t* copy = static_cast<uint8_t*>(block) + sizeof(SecurityDescriptor);
  std::memcpy(copy, bytes.data(), bytes.size());
  // Same offsets, new home: parsing the copy cannot fail.
  parseDescriptor(copy, bytes.size(), &view);
  *sd = new (block) SecurityDescriptor{view, reportedControl(view.control)};
  return kErrorSuccess;
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
  Trustee* ownerPart = nullptr;
  Trustee* groupPart = nullptr;
  uint32_t entryCount = 0;
  ExplicitAccess* entryList = nullptr;
  uint32_t status = kErrorSuccess;
  if ((owner != nullptr && !partTrustee(sd->view.owner, &ownerPart)) ||
      (group != nullptr && !partTrustee(sd->view.group, &groupPart))) {
    status = kErrorNotEnoughMemory;
  } else if (count != nullptr && entries != nullptr) {
    status = buildExplicitEntries(sd->view.dacl, &entryCount, &entryList);
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

void localFree(SecurityDescriptor* sd) { std::free(sd); }
void localFree(ExplicitAccess* entries) { std::free(entries); }
void localFree(Trustee* trustee) { std::free(trustee); }

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
  if (const WellKnownSid* row = findWellKnownSid(sidText(bytes))) {
    foundName = row->name;
    foundDomain = row->domain;
  } else if (!accountOfUnixId(bytes, &foundName, &foundDomain)) {
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

uint32_t getLastError() { return lastError; }

uint32_t wnetOpenEnum(NetEnum** handle) {
  if (handle == nullptr) return kErrorInvalidParameter;
  FILE* mounts = std::fopen("/proc/self/mounts", "r");
  if (mounts == nullptr) return kErrorNoNetwork;
  NetEnum* found = new (std::nothrow) NetEnum;
  if (found == nullptr) {
    std::fclose(mounts);
    return kErrorNotEnoughMemory;
  }
  std::string line;
  int c;
  while ((c = std::fgetc(mounts)) != EOF) {
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    std::string remote;
    if (networkShareOfMountLine(line, &remote))
      found->remoteNames.push_back(remote);
    line.clear();
  }
  std::fclose(mounts);
  *handle = found;
  return kErrorSuccess;
}

uint32_t wnetEnumResource(NetEnum* handle, std::string* remoteName) {
  if (handle == nullptr || remoteName == nullptr) return kErrorInvalidHandle;
  if (handle->next >= handle->remoteNames.size()) return kErrorNoMoreItems;
  *remoteName = handle->remoteNames[handle->next++];
  return kErrorSuccess;
}

void wnetCloseEnum(NetEnum* handle) { delete handle; }

FindHandle* findFirst(const std::string& dir, FindEntry* entry) {
  if (entry == nullptr) return nullptr;
  const ReachablePath reachable(dir.c_str());
  DIR* stream = reachable.error() ? nullptr : opendir(reachable.name());
  if (stream == nullptr) return nullptr;
  FindHandle* handle = new (std::nothrow) FindHandle{stream, searchPrefix(dir)};
  if (handle == nullptr) {
    closedir(stream);
    return nullptr;
  }
  if (!fillEntry(handle, entry)) {
    findClose(handle);
    return nullptr;
  }
  return handle;
}

bool findNext(FindHandle* handle, FindEntry* entry) {
  if (handle == nullptr || entry == nullptr) return false;
  FindEntry next;
  if (!fillEntry(handle, &next)) return false;
  *entry = std::move(next);
  return true;
}

void findClose(FindHandle* handle) {
  if (handle == nullptr) return;
  closedir(handle->dir);
  delete handle;
}

void messageBox(const char* text, const char* caption, AlertIcon) {
  std::fputs(caption != nullptr ? caption : "", stderr);
  std::fputs(": ", stderr);
  std::fputs(text != nullptr ? text : "", stderr);
  std::fputs("\n", stderr);
}

std::string moduleFileName() {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return "";
    if (static_cast<size_t>(length) < buffer.size())
      return std::string(buffer.data(), static_cast<size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

LocalTime localClock() {
  LocalTime clock{};
  time_t now = time(nullptr);
  tm parts{};
  if (localtime_r(&now, &parts) == nullptr) return clock;
  clock.year = parts.tm_year + 1900;
  clock.month = parts.tm_mon + 1;
  clock.day = parts.tm_mday;
  std::snprintf(clock.time, sizeof clock.time, "%02d:%02d:%02d", parts.tm_hour,
                parts.tm_min, parts.tm_sec);
  return clock;
}

int mbsicmp(const char* a, const char* b) { return compareIgnoringCase(a, b); }

FILE* standardOutput() { return stdout; }
FILE* standardError() { return stderr; }

FILE* createLogFile(const char* path) { return std::fopen(path, "w"); }

FILE* openTermsFile(const char* path) {
  FILE* file = std::fopen(path, "r");
  if (file == nullptr) return nullptr;
  struct stat st;
  if (fstat(fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

bool isTerminal(FILE* stream) {
  return stream != nullptr && isatty(fileno(stream)) == 1;
}

uint64_t monotonicMillis() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000 +
         static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

void startProcess() {
  // A standard stream the caller closed would lend its number to the next
  // file opened, the log, and the report would land in it. Hold each one
  // on /dev/null instead; standard output read-only, so that writing the
  // report fails as it should.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int held = open("/dev/null", fd == 1 ? O_RDONLY : O_RDWR);
    if (held >= 0 && held != fd) {
      dup2(held, fd);
      close(held);
    }
  }
  // A closed pipe must become a write error, not a silent death.
  signal(SIGPIPE, SIG_IGN);
  setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);
}

}  // namespace platform
}  // namespace vesk
