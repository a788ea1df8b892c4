#include "disk/cache.h"

#include <cstring>
#include <memory>
#include <vector>

namespace vesk {
namespace platform {

namespace {

constexpr uint64_t kBlock = 64 * 1024;
constexpr size_t kBlocks = 16;

struct Cache {
  Source below;
  struct Block {
    uint64_t number = UINT64_MAX;
    size_t size = 0;
    std::vector<uint8_t> bytes;
  };
  Block blocks[kBlocks];
};

// Reads through the blocks; false when the source cannot give the bytes.
bool readCached(Cache* cache, uint64_t at, size_t length, uint8_t* out) {
  const uint64_t size = cache->below.size;
  while (length > 0) {
    const uint64_t number = at / kBlock;
    Cache::Block& block = cache->blocks[number % kBlocks];
    if (block.number != number) {
      const uint64_t start = number * kBlock;
      if (start >= size) return false;
      const uint64_t left = size - start;
      block.size = static_cast<size_t>(left < kBlock ? left : kBlock);
      block.bytes.resize(kBlock);
      block.number = UINT64_MAX;
      if (!cache->below.read(start, block.size, block.bytes.data()))
        return false;
      block.number = number;
    }
    const size_t from = static_cast<size_t>(at - number * kBlock);
    if (from >= block.size) return false;
    size_t part = block.size - from;
    if (part > length) part = length;
    std::memcpy(out, block.bytes.data() + from, part);
    out += part;
    at += part;
    length -= part;
  }
  return true;
}

}  // namespace

Source cachedSource(Source below) {
  auto cache = std::make_shared<Cache>();
  cache->below = std::move(below);
  Source source;
  source.size = cache->below.size;
  source.name = cache->below.name;
  source.read = [cache](uint64_t offset, size_t length, uint8_t* out) {
    return readCached(cache.get(), offset, length, out);
  };
  source.close = [cache] { closeSource(&cache->below); };
  return source;
}

}  // namespace platform
}  // namespace vesk
