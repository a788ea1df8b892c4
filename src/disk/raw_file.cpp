// POSIX reads (pread) of a file, and the files found beside it (a split
// image's pieces, a disk's parents): the one file of this folder besides
// the library wrappers that needs the system's headers, and so not built
// for Windows.
#include "disk/raw_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "disk/containers.h"
#include "platform/errors.h"

namespace vesk {
namespace platform {

uint32_t openRawFile(const std::string& path, Source* out) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == EACCES ? kErrorAccessDenied : kErrorFileNotFound;
  const off_t end = lseek(fd, 0, SEEK_END);
  if (end < 0) {
    close(fd);
    return kErrorNotSupported;
  }
  out->size = static_cast<uint64_t>(end);
  out->name = path;
  out->read = [fd](uint64_t offset, size_t length, uint8_t* bytes) {
    size_t done = 0;
    while (done < length) {
      const ssize_t got = pread(fd, bytes + done, length - done,
                                static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      done += static_cast<size_t>(got);
    }
    return true;
  };
  out->close = [fd] { close(fd); };
  return 0;
}

bool isRegularFile(const std::string& path) {
  struct stat about;
  return stat(path.c_str(), &about) == 0 && S_ISREG(about.st_mode);
}

std::string resolvedPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? resolved : path;
}

uint32_t openParentChain(
    const std::string& typed, bool inFolder,
    const std::function<bool(const std::string&, std::string*)>& openOne) {
  std::vector<std::string> opened;
  std::string path = resolvedPath(typed);
  for (;;) {
    if (opened.size() > kMaxParents ||
        std::find(opened.begin(), opened.end(), path) != opened.end())
      return kErrorDiskCorrupt;
    std::string parent;
    if (!openOne(path, &parent)) return kErrorDiskCorrupt;
    if (parent.empty()) return 0;
    opened.push_back(path);
    std::string next = besideFile(path, parent);
    if (inFolder) {
      const size_t slash = path.rfind('/');
      const std::string recorded =
          parent[0] == '/' ? parent : path.substr(0, slash + 1) + parent;
      if (isRegularFile(recorded)) next = recorded;
    }
    path = resolvedPath(next);
  }
}

}  // namespace platform
}  // namespace vesk
