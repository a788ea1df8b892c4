// Which source answers for a path, chosen by the file system that holds it
// (statfs), so that each object costs one read rather than one attempt per
// source. A walk asks for many objects of one directory in a row.
#include <sys/vfs.h>

#include <array>
#include <cstdint>
#include <string>

#include "platform/linux/linux_internal.h"

namespace vesk {
namespace platform {
namespace {

// statfs f_type values (linux/magic.h, and ZFS's own).
constexpr int64_t kFuseMagic = 0x65735546;  // ntfs-3g, as fuseblk or fuse
constexpr int64_t kNtfs3Magic = 0x7366746E;
// The Linux file systems that Samba keeps security.NTACL on.
constexpr int64_t kSambaTypes[] = {
    0xEF53,      // ext2, ext3, ext4
    0x58465342,  // xfs
    0x9123683E,  // btrfs
    0x2FC12FC1,  // zfs
    0x01021994,  // tmpfs
    0x794C7630,  // overlayfs
    0xF2F52010,  // f2fs
    0x3153464A,  // jfs
    0x52654973,  // reiserfs
};

DescriptorReader readerOfPath(const char* name) {
  struct statfs info;
  if (statfs(name, &info) != 0) return nullptr;
  return descriptorReaderOfType(static_cast<int64_t>(info.f_type));
}

// The directory part of a path: "." for a bare name, "/" for the root.
std::string parentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The reader of the last few directories asked about, by their text: a walk
// comes back to a parent after each of its subtrees, so this is about one
// statfs per directory, not one per object.
class ReaderMemory {
 public:
  DescriptorReader of(const std::string& dir) {
    for (size_t i = 0; i < kSlots; ++i) {
      if (readers_[i] != nullptr && dirs_[i] == dir) return readers_[i];
    }
    // A parent beyond the kernel's path limit is reached as a name of its
    // own parent's descriptor.
    const ReachablePath reachable(dir.c_str());
    DescriptorReader found =
        reachable.error() ? nullptr : readerOfPath(reachable.name());
    if (found == nullptr) found = readAnyDescriptor;
    next_ = (next_ + 1) % kSlots;
    dirs_[next_] = dir;
    readers_[next_] = found;
    return found;
  }

 private:
  static constexpr size_t kSlots = 8;
  std::array<std::string, kSlots> dirs_;
  std::array<DescriptorReader, kSlots> readers_{};
  size_t next_ = 0;
};

ReaderMemory memory;

}  // namespace

void resetReaderMemory() { memory = ReaderMemory(); }

DescriptorReader descriptorReaderOfType(int64_t fileSystemType) {
  if (fileSystemType == kFuseMagic) return readNtfs3gDescriptor;
  if (fileSystemType == kNtfs3Magic) return readNtfs3Descriptor;
  for (int64_t type : kSambaTypes) {
    if (fileSystemType == type) return readNtaclDescriptor;
  }
  return readAnyDescriptor;
}

DescriptorReader descriptorReaderFor(const char* path) {
  return memory.of(parentOf(path));
}

DescriptorReader descriptorReaderOfObject(const char* path) {
  const ReachablePath reachable(path);
  return reachable.error() ? nullptr : readerOfPath(reachable.name());
}

}  // namespace platform
}  // namespace vesk
