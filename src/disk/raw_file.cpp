// POSIX reads (pread) of a file: the one file of this folder that needs the
// system's headers, and so not built for Windows.
#include "disk/raw_file.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

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

}  // namespace platform
}  // namespace vesk
