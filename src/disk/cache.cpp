#include "disk/cache.h"

#include <cstring>
#include <memory>
#include <vector>

namespace vesk {
namespace platform {

namespace {

constexpr uint64_t kBlock = 64 * 1024;

// Any block may sit in any slot, the one used longest ago making room: a
// block that every record read touches again (the volume's first) must not
// push out the one at a power-of-two distance that the records lie in,
// each miss costing a read below (through a container, many).
struct Cache {
  Source below;
  struct Block {
    uint64_t number = UINT64_MAX;
    uint64_t used = 0;  // when last read from, in reads
    size_t size = 0;
    std::vector<uint8_t> bytes;
  };
  std::vector<Block> blocks;
  Block* last = nullptr;  // the block of the last read
  uint64_t reads = 0;
};

// The slot that holds block number, or the one to load it into (number
// then differs). Most reads fall in the block of the read before.
Cache::Block& slotFor(Cache* cache, uint64_t number) {
  if (cache->last->number == number) return *cache->last;
  Cache::Block* oldest = &cache->blocks[0];
  for (Cache::Block& block : cache->blocks) {
    if (block.number == number) return *(cache->last = &block);
    if (block.used < oldest->used) oldest = &block;
  }
  return *(cache->last = oldest);
}

// Reads through the blocks; false when the source cannot give the bytes.
bool readCached(Cache* cache, uint64_t at, size_t length, uint8_t* out) {
  const uint64_t size = cache->below.size;
  while (length > 0) {
    const uint64_t number = at / kBlock;
    Cache::Block& block = slotFor(cache, number);
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
    block.used = ++cache->reads;
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

Source cachedSource(Source below, size_t blocks) {
  auto cache = std::make_shared<Cache>();
  cache->below = std::move(below);
  cache->blocks.resize(blocks > 0 ? blocks : 1);
  cache->last = &cache->blocks[0];
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
