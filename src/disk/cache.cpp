#include "disk/cache.h"

#include <cstring>
#include <memory>
#include <vector>

namespace vesk {
namespace platform {

namespace {

constexpr uint64_t kPage = 4096;
constexpr size_t kWays = 4;
constexpr size_t kSets = 1024;    // 16 MiB in all
constexpr uint64_t kMaxRun = 16;  // pages read at once, 64 KiB
constexpr size_t kStreams = 4;

// Page p lives in set p % kSets, in one of its kWays slots. The bytes of
// one way lie set after set, so that consecutive pages read into the same
// way are one block of memory, read from below in one call, never copied.
struct Cache {
  Source below;
  struct Slot {
    uint64_t page = UINT64_MAX;
    uint64_t used = 0;  // when last read: the oldest goes first
    size_t size = 0;    // short at the end of the source
  };
  Slot slots[kSets][kWays];
  // Left uninitialised: memory is taken only as pages are first written,
  // so a small volume keeps a small cache.
  std::unique_ptr<uint8_t[]> bytes;
  uint64_t clock = 0;
  // Reads that go on where an earlier one ended: each one reads ahead
  // further, so that a scan costs one read of kMaxRun pages, while a read
  // here and there costs one page.
  struct Stream {
    uint64_t next = UINT64_MAX;
    uint64_t run = 1;
  };
  Stream streams[kStreams];
  size_t nextStream = 0;
};

uint8_t* slotBytes(Cache* cache, size_t set, size_t way) {
  return cache->bytes.get() + (way * kSets + set) * kPage;
}

// The way of the set that holds page, or kWays.
size_t wayOf(const Cache* cache, uint64_t page) {
  const Cache::Slot* set = cache->slots[page % kSets];
  for (size_t way = 0; way < kWays; ++way) {
    if (set[way].page == page) return way;
  }
  return kWays;
}

// How many pages to read from page on: those asked for (wanted), and more
// for a read that goes on from an earlier one.
uint64_t runFrom(Cache* cache, uint64_t page, uint64_t wanted) {
  Cache::Stream* stream = nullptr;
  for (Cache::Stream& each : cache->streams) {
    if (each.next == page) stream = &each;
  }
  if (stream != nullptr) {
    if (stream->run < kMaxRun) stream->run *= 2;
  } else {
    stream = &cache->streams[cache->nextStream];
    cache->nextStream = (cache->nextStream + 1) % kStreams;
    stream->run = 1;
  }
  if (stream->run < wanted) stream->run = wanted < kMaxRun ? wanted : kMaxRun;
  stream->next = page + stream->run;
  return stream->run;
}

// Reads page, the pages after it that were asked for and those that a
// scan will want, from below
// into the least recently read way of page's set; the way of that page, or
// kWays when below cannot give it.
size_t loadPage(Cache* cache, uint64_t page, uint64_t wanted) {
  const uint64_t size = cache->below.size;
  const uint64_t start = page * kPage;
  if (start >= size) return kWays;
  const size_t first = static_cast<size_t>(page % kSets);
  uint64_t pages = runFrom(cache, page, wanted);
  const uint64_t left = (size - start + kPage - 1) / kPage;
  if (pages > left) pages = left;
  if (pages > kSets - first) pages = kSets - first;  // one block of memory
  const Cache::Slot* set = cache->slots[first];
  size_t way = 0;
  for (size_t other = 1; other < kWays; ++other) {
    if (set[other].used < set[way].used) way = other;
  }
  for (uint64_t i = 0; i < pages; ++i)
    cache->slots[first + i][way].page = UINT64_MAX;
  uint64_t length = pages * kPage;
  if (length > size - start) length = size - start;
  uint8_t* into = slotBytes(cache, first, way);
  if (!cache->below.read(start, static_cast<size_t>(length), into)) {
    // Bytes that cannot be read further on fail only the reads of them.
    if (pages == 1) return kWays;
    pages = 1;
    length = size - start < kPage ? size - start : kPage;
    if (!cache->below.read(start, static_cast<size_t>(length), into))
      return kWays;
  }
  for (uint64_t i = 0; i < pages; ++i) {
    Cache::Slot* slots = cache->slots[first + i];
    for (size_t other = 0; other < kWays; ++other) {
      if (slots[other].page == page + i) slots[other].page = UINT64_MAX;
    }
    const uint64_t at = i * kPage;
    slots[way].page = page + i;
    slots[way].size =
        static_cast<size_t>(length - at < kPage ? length - at : kPage);
    slots[way].used = ++cache->clock;
  }
  return way;
}

// Reads through the pages; false when the source cannot give the bytes.
bool readCached(Cache* cache, uint64_t at, size_t length, uint8_t* out) {
  while (length > 0) {
    const uint64_t page = at / kPage;
    const size_t set = static_cast<size_t>(page % kSets);
    size_t way = wayOf(cache, page);
    if (way == kWays)
      way = loadPage(cache, page, (at + length - 1) / kPage - page + 1);
    if (way == kWays) return false;
    Cache::Slot& slot = cache->slots[set][way];
    slot.used = ++cache->clock;
    const size_t from = static_cast<size_t>(at - page * kPage);
    if (from >= slot.size) return false;
    size_t part = slot.size - from;
    if (part > length) part = length;
    std::memcpy(out, slotBytes(cache, set, way) + from, part);
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
  cache->bytes.reset(new uint8_t[kSets * kWays * kPage]);
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
