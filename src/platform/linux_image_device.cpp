#include "platform/linux_image_device.h"

#include <errno.h>
#include <fcntl.h>

#include <cstdio>
#include <cstring>

namespace vesk {
namespace platform {

namespace {

constexpr uint64_t kChunk = 64 * 1024;

// Reads through the chunks; false when the source cannot give the bytes.
bool readCached(Window* window, uint64_t at, size_t length, uint8_t* out) {
  while (length > 0) {
    const uint64_t number = at / kChunk;
    Window::Chunk& chunk = window->chunks[number % 16];
    if (chunk.number != number) {
      const uint64_t start = number * kChunk;
      if (start >= window->source.size) return false;
      const uint64_t left = window->source.size - start;
      chunk.size = static_cast<size_t>(left < kChunk ? left : kChunk);
      chunk.bytes.resize(kChunk);
      chunk.number = UINT64_MAX;
      if (!window->source.read(start, chunk.size, chunk.bytes.data()))
        return false;
      chunk.number = number;
    }
    const size_t from = static_cast<size_t>(at - number * kChunk);
    if (from >= chunk.size) return false;
    size_t part = chunk.size - from;
    if (part > length) part = length;
    std::memcpy(out, chunk.bytes.data() + from, part);
    out += part;
    at += part;
    length -= part;
  }
  return true;
}

Window* windowOf(ntfs_device* dev) {
  return static_cast<Window*>(dev->d_private);
}

int deviceOpen(ntfs_device* dev, int flags) {
  if ((flags & O_ACCMODE) != O_RDONLY) {
    errno = EROFS;
    return -1;
  }
  NDevSetOpen(dev);
  NDevSetReadOnly(dev);
  return 0;
}

int deviceClose(ntfs_device* dev) {
  NDevClearOpen(dev);
  return 0;
}

s64 devicePread(ntfs_device* dev, void* buf, s64 count, s64 offset) {
  Window* window = windowOf(dev);
  if (count < 0 || offset < 0) {
    errno = EINVAL;
    return -1;
  }
  const uint64_t at = static_cast<uint64_t>(offset);
  if (at >= window->length) return 0;
  uint64_t length = static_cast<uint64_t>(count);
  if (length > window->length - at) length = window->length - at;
  if (length == 0) return 0;
  if (!readCached(window, window->offset + at, static_cast<size_t>(length),
                  static_cast<uint8_t*>(buf))) {
    errno = EIO;
    return -1;
  }
  return static_cast<s64>(length);
}

s64 deviceSeek(ntfs_device* dev, s64 offset, int whence) {
  Window* window = windowOf(dev);
  s64 base = 0;
  if (whence == SEEK_CUR) base = window->position;
  if (whence == SEEK_END) base = static_cast<s64>(window->length);
  if (base + offset < 0) {
    errno = EINVAL;
    return -1;
  }
  window->position = base + offset;
  return window->position;
}

s64 deviceRead(ntfs_device* dev, void* buf, s64 count) {
  Window* window = windowOf(dev);
  const s64 read = devicePread(dev, buf, count, window->position);
  if (read > 0) window->position += read;
  return read;
}

s64 deviceWrite(ntfs_device*, const void*, s64) {
  errno = EROFS;
  return -1;
}

s64 devicePwrite(ntfs_device*, const void*, s64, s64) {
  errno = EROFS;
  return -1;
}

int deviceSync(ntfs_device*) { return 0; }

int deviceStat(ntfs_device* dev, struct stat* st) {
  std::memset(st, 0, sizeof *st);
  st->st_mode = S_IFREG | 0400;
  st->st_size = static_cast<off_t>(windowOf(dev)->length);
  return 0;
}

int deviceIoctl(ntfs_device*, unsigned long, void*) {
  errno = ENOTTY;
  return -1;
}

}  // namespace

ntfs_device_operations windowOperations = {
    deviceOpen,  deviceClose,  deviceSeek, deviceRead, deviceWrite,
    devicePread, devicePwrite, deviceSync, deviceStat, deviceIoctl,
};

}  // namespace platform
}  // namespace vesk
