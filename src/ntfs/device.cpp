#include "ntfs/device.h"

#include <errno.h>
#include <fcntl.h>

#include <cstdio>
#include <cstring>

namespace vesk {
namespace platform {

namespace {

DeviceSource* deviceOf(ntfs_device* dev) {
  return static_cast<DeviceSource*>(dev->d_private);
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
  DeviceSource* device = deviceOf(dev);
  if (count < 0 || offset < 0) {
    errno = EINVAL;
    return -1;
  }
  const uint64_t at = static_cast<uint64_t>(offset);
  if (at >= device->source.size) return 0;
  uint64_t length = static_cast<uint64_t>(count);
  if (length > device->source.size - at) length = device->source.size - at;
  if (length == 0) return 0;
  if (!device->source.read(at, static_cast<size_t>(length),
                           static_cast<uint8_t*>(buf))) {
    errno = EIO;
    return -1;
  }
  return static_cast<s64>(length);
}

s64 deviceSeek(ntfs_device* dev, s64 offset, int whence) {
  DeviceSource* device = deviceOf(dev);
  s64 base = 0;
  if (whence == SEEK_CUR) base = device->position;
  if (whence == SEEK_END) base = static_cast<s64>(device->source.size);
  if (base + offset < 0) {
    errno = EINVAL;
    return -1;
  }
  device->position = base + offset;
  return device->position;
}

s64 deviceRead(ntfs_device* dev, void* buf, s64 count) {
  DeviceSource* device = deviceOf(dev);
  const s64 read = devicePread(dev, buf, count, device->position);
  if (read > 0) device->position += read;
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
  st->st_size = static_cast<off_t>(deviceOf(dev)->source.size);
  return 0;
}

int deviceIoctl(ntfs_device*, unsigned long, void*) {
  errno = ENOTTY;
  return -1;
}

}  // namespace

ntfs_device_operations deviceOperations = {
    deviceOpen,  deviceClose,  deviceSeek, deviceRead, deviceWrite,
    devicePread, devicePwrite, deviceSync, deviceStat, deviceIoctl,
};

}  // namespace platform
}  // namespace vesk
