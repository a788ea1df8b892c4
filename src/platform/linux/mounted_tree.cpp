// The mounted tree: descriptors from the extended attributes of the file
// system that holds each path (descriptor_choice.cpp), listings by readdir
// with the full paths Windows' FindFirstFile forms, identities by stat.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "platform/linux/linux_internal.h"
#include "platform/linux/namespace.h"
#include "platform/platform.h"

namespace vesk {
namespace platform {

namespace {

struct MountedFind : FindHandle {
  DIR* dir;
  std::string prefix;  // the full path of the directory and "/"
};

bool fillEntry(MountedFind* handle, FindEntry* entry) {
  errno = 0;
  const dirent* found = readdir(handle->dir);
  if (found == nullptr) return false;
  const char* name = found->d_name;
  entry->fullPath = handle->prefix + name;
  entry->dotOrDotDot =
      std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
  const int at = dirfd(handle->dir);
  struct stat st;
  unsigned char type = found->d_type;
  if (type == DT_UNKNOWN)
    type =
        fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)
            ? DT_LNK
            : DT_UNKNOWN;
  // A link (a junction too: ntfs-3g shows it as one) counts as what it
  // points to, as Windows counts a junction as a directory; the walk reports
  // it but does not enter it.
  entry->link = type == DT_LNK;
  if (type == DT_LNK) {
    // A junction to another drive leads nowhere here, yet NTFS still marks
    // it a directory.
    entry->directory =
        (fstatat(at, name, &st, 0) == 0 && S_ISDIR(st.st_mode)) ||
        ntfsAttributesSayDirectory(
            ("/proc/self/fd/" + std::to_string(at) + "/" + name).c_str());
  } else if (type == DT_UNKNOWN) {
    entry->directory = fstatat(at, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
  } else {
    entry->directory = type == DT_DIR;
  }
  return true;
}

bool nextMounted(FindHandle* self, FindEntry* entry, uint32_t* status) {
  // The end of the listing, or a failure part way (EIO from a damaged
  // index on a mount).
  if (fillEntry(static_cast<MountedFind*>(self), entry)) return true;
  *status = errno == 0 ? kErrorNoMoreFiles : windowsError(errno);
  return false;
}

void closeMounted(FindHandle* self) {
  MountedFind* handle = static_cast<MountedFind*>(self);
  closedir(handle->dir);
  delete handle;
}

uint32_t mountedDescriptor(const char* path, bool followLink,
                           std::vector<uint8_t>* bytes) {
  const DescriptorReader reader = descriptorReaderFor(path);
  uint32_t status = reader(path, followLink, bytes);
  // A mount point lies on another file system than its parent; a link
  // read as itself lies on its parent's.
  if (followLink &&
      (status == kErrorNotSupported || status == kErrorNoSecurityOnObject)) {
    const DescriptorReader own = descriptorReaderOfObject(path);
    if (own != nullptr && own != reader) status = own(path, followLink, bytes);
  }
  return status;
}

FindHandle* listMounted(const std::string& dir, FindEntry* first,
                        uint32_t* status) {
  const ReachablePath reachable(dir.c_str());
  DIR* stream = reachable.error() ? nullptr : opendir(reachable.name());
  if (stream == nullptr) {
    const int error = reachable.error() ? reachable.error() : errno;
    *status = error == ENOTDIR ? kErrorDirectory : windowsError(error);
    return nullptr;
  }
  MountedFind* handle = new (std::nothrow)
      MountedFind{{nextMounted, closeMounted}, stream, fullPathPrefix(dir)};
  if (handle == nullptr) {
    closedir(stream);
    *status = kErrorNotEnoughMemory;
    return nullptr;
  }
  if (!nextMounted(handle, first, status)) {
    closeMounted(handle);
    return nullptr;
  }
  return handle;
}

bool mountedIdentity(const std::string& dir, DirectoryIdentity* identity) {
  const ReachablePath reachable(dir.c_str());
  struct stat st;
  if (reachable.error() || stat(reachable.name(), &st) != 0) return false;
  identity->volume = static_cast<uint64_t>(st.st_dev);
  identity->index = static_cast<uint64_t>(st.st_ino);
  return true;
}

}  // namespace

const Namespace& mountedTree() {
  static const Namespace tree = {mountedDescriptor, listMounted,
                                 mountedIdentity};
  return tree;
}

bool isMountedLink(const char* path) {
  const ReachablePath reachable(path);
  struct stat st;
  return reachable.error() == 0 && lstat(reachable.name(), &st) == 0 &&
         S_ISLNK(st.st_mode);
}

}  // namespace platform
}  // namespace vesk
