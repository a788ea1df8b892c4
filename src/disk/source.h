// A byte source: one layer of the stack between a file and a volume (a raw
// file, an evidence file's media, a partition's window, the block cache).
// Each layer reads through the one below it and never knows what that is.
// Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vesk {
namespace platform {

/// Reads length bytes at offset into out; false when not all could be read.
using ReadAt =
    std::function<bool(uint64_t offset, size_t length, uint8_t* out)>;

/// A readable source: its bytes, its size and a name for messages. read
/// stays valid while the source lives; close releases what it holds, the
/// layers below included.
struct Source {
  ReadAt read;
  uint64_t size = 0;
  std::string name;
  std::function<void()> close;
};

/// Releases source (a source without close holds nothing).
inline void closeSource(Source* source) {
  if (source->close) source->close();
  source->close = nullptr;
}

}  // namespace platform
}  // namespace vesk
