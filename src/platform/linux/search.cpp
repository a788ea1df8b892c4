// Directory search on Linux, by readdir (or inside a disk image, by its
// volume), with the full paths Windows' FindFirstFile forms.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "platform/linux/image_route.h"
#include "platform/linux/linux_internal.h"
#include "platform/platform.h"

namespace vesk {
namespace platform {

struct FindHandle {
  DIR* dir;
  std::string prefix;  // the full path of the directory and "/"
  Listing* image;      // instead of dir, inside a disk image
  Volume* volume;      // the image's
};

namespace {

bool fillEntry(FindHandle* handle, FindEntry* entry) {
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

// An entry of a search inside an image, named as fillEntry names one.
void fillImageEntry(const FindHandle* handle, const VolumeEntry& found,
                    FindEntry* entry) {
  entry->fullPath = handle->prefix + found.name;
  entry->directory = found.directory;
  entry->dotOrDotDot = false;
  entry->link = found.link;
}

FindHandle* findImageFirst(const std::string& dir, const ImagePath& image,
                           FindEntry* entry) {
  if (image.volume == nullptr) {
    // An image that cannot be read is logged once, by the report of the
    // same path, which a walk always makes first: nothing to list here.
    fail(kErrorNoMoreFiles);
    return nullptr;
  }
  VolumeEntry found;
  Listing* search = image.volume->list(image.inner, &found);
  if (search == nullptr) {
    fail(image.volume->listStatus());
    return nullptr;
  }
  FindHandle* handle = new (std::nothrow)
      FindHandle{nullptr, fullPathPrefix(dir), search, image.volume};
  if (handle == nullptr) {
    delete search;
    fail(kErrorNotEnoughMemory);
    return nullptr;
  }
  fillImageEntry(handle, found, entry);
  return handle;
}

}  // namespace

FindHandle* findFirst(const std::string& dir, FindEntry* entry) {
  if (entry == nullptr) {
    fail(kErrorInvalidParameter);
    return nullptr;
  }
  ImagePath image;
  if (findOpenImagePath(dir, &image)) return findImageFirst(dir, image, entry);
  const ReachablePath reachable(dir.c_str());
  DIR* stream = reachable.error() ? nullptr : opendir(reachable.name());
  if (stream == nullptr) {
    const int error = reachable.error() ? reachable.error() : errno;
    if (mayBeImagePath(windowsError(error)) && findImagePath(dir, &image))
      return findImageFirst(dir, image, entry);
    fail(error == ENOTDIR ? kErrorDirectory : windowsError(error));
    return nullptr;
  }
  FindHandle* handle = new (std::nothrow)
      FindHandle{stream, fullPathPrefix(dir), nullptr, nullptr};
  if (handle == nullptr) {
    closedir(stream);
    fail(kErrorNotEnoughMemory);
    return nullptr;
  }
  if (!fillEntry(handle, entry)) {
    const int error = errno;
    findClose(handle);
    fail(error == 0 ? kErrorNoMoreFiles : windowsError(error));
    return nullptr;
  }
  return handle;
}

bool findNext(FindHandle* handle, FindEntry* entry) {
  if (handle == nullptr || entry == nullptr) return false;
  if (handle->image != nullptr) {
    VolumeEntry found;
    if (!handle->image->next(&found)) return fail(handle->volume->listStatus());
    fillImageEntry(handle, found, entry);
    return true;
  }
  FindEntry next;
  // The end of the listing, or a failure part way (EIO from a damaged
  // index on a mount).
  if (!fillEntry(handle, &next))
    return fail(errno == 0 ? kErrorNoMoreFiles : windowsError(errno));
  *entry = std::move(next);
  return true;
}

void findClose(FindHandle* handle) {
  if (handle == nullptr) return;
  delete handle->image;
  if (handle->dir != nullptr) closedir(handle->dir);
  delete handle;
}

bool directoryIdentity(const std::string& dir, DirectoryIdentity* identity) {
  // Inside an image the volume names its directories by record: a damaged
  // index that lists a directory below itself is then seen for what it is.
  ImagePath image;
  if (findOpenImagePath(dir, &image)) {
    identity->volume = reinterpret_cast<uintptr_t>(image.volume);
    return image.volume != nullptr &&
           image.volume->directoryIndex(image.inner, &identity->index);
  }
  const ReachablePath reachable(dir.c_str());
  struct stat st;
  if (reachable.error() || stat(reachable.name(), &st) != 0) return false;
  identity->volume = static_cast<uint64_t>(st.st_dev);
  identity->index = static_cast<uint64_t>(st.st_ino);
  return true;
}

}  // namespace platform
}  // namespace vesk
