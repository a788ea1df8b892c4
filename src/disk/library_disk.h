// A disk read through a container library (libvhdi, libvmdk, libqcow,
// libsmraw): its chain of files opened read-only, linked child to parent,
// and read as one source. Each library's file gives the few calls that
// differ, as a struct of static functions; only that file includes the
// library's header. POSIX (through raw_file.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/raw_file.h"
#include "disk/source.h"
#include "platform/errors.h"

namespace vesk {
namespace platform {

/// Reads length bytes at offset through readSome(out, length, offset),
/// which returns how many it read (<= 0: failed); false when not all came.
template <typename ReadSome>
bool readInPieces(uint64_t offset, size_t length, uint8_t* out,
                  ReadSome readSome) {
  size_t done = 0;
  while (done < length) {
    const auto got = readSome(out + done, length - done, offset + done);
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

/// The library handles of a disk and its parents, the disk first, each
/// closed and freed by release, once, on close() or at the end.
template <typename Handle>
struct HandleChain {
  explicit HandleChain(void (*releaseOne)(Handle*)) : release(releaseOne) {}
  HandleChain(const HandleChain&) = delete;
  HandleChain& operator=(const HandleChain&) = delete;
  ~HandleChain() { close(); }
  void close() {
    for (Handle* handle : handles) release(handle);
    handles.clear();
  }
  std::vector<Handle*> handles;
  void (*release)(Handle*);
};

/// The disk in the file at typed, read through Library, which has:
/// Handle; kInFolder (openParentChain); bool open(path, Handle**, parent,
/// uint32_t* refused) opening one file read-only (a handle left in *Handle
/// is released even on failure; *refused set to a code other than
/// kErrorDiskCorrupt when the file is readable but not supported);
/// bool setParent(child, parent); bool mediaSize(Handle*, uint64_t*);
/// long read(Handle*, uint8_t*, size_t, uint64_t offset); void
/// release(Handle*). 0 and *source, the code refused, or kErrorDiskCorrupt.
template <typename Library>
uint32_t openLibraryDisk(const std::string& typed, Source* source) {
  using Handle = typename Library::Handle;
  auto chain = std::make_shared<HandleChain<Handle>>(Library::release);
  uint32_t refused = 0;
  const uint32_t status = openParentChain(
      typed, Library::kInFolder,
      [&](const std::string& path, std::string* parent) {
        Handle* handle = nullptr;
        const bool opened = Library::open(path, &handle, parent, &refused);
        if (handle != nullptr) chain->handles.push_back(handle);
        return opened;
      });
  if (status != 0) return refused != 0 ? refused : status;
  const std::vector<Handle*>& handles = chain->handles;
  for (size_t i = handles.size() - 1; i > 0; --i)
    if (!Library::setParent(handles[i - 1], handles[i]))
      return kErrorDiskCorrupt;
  uint64_t size = 0;
  if (!Library::mediaSize(handles[0], &size)) return kErrorDiskCorrupt;
  source->size = size;
  source->name = typed;
  source->read = [chain](uint64_t offset, size_t length, uint8_t* out) {
    return readInPieces(offset, length, out,
                        [&](uint8_t* to, size_t part, uint64_t at) {
                          return Library::read(chain->handles[0], to, part, at);
                        });
  };
  source->close = [chain] { chain->close(); };
  return 0;
}

}  // namespace platform
}  // namespace vesk
