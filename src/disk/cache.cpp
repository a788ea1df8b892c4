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

struct Cache {
  Source below;
  struct Slot {
    uint64_t page = UINT64_MAX;
    uint64_t used = 0;  // when last read: the oldest goes first
    size_t size = 0;    // short at the end of the source
  };
  std::vector<Slot> slots;  // kSets sets of kWays
  // kPage per slot, left uninitialised: memory is taken only as pages are
  // first written, so a small volume keeps a small cache.
  std::unique_ptr<uint8_t[]> bytes;
  uint64_t clock = 0;
  // Reads that go on where an earlier one ended: each one read ahead
  // further, so that a scan costs one read of kMaxRun pages, while a read
  // here and there costs one page.
  struct Stream {
    uint64_t next = UINT64_MAX;
    uint64_t run = 1;
  };
  Stream streams[kStreams];
  size_t nextStream = 0;
  std::vector<uint8_t> buffer;
};

Cache::Slot* findPage(Cache* cache, uint64_t page) {
  Cache::Slot* set = &cache->slots[(page % kSets) * kWays];
  for (size_t way = 0; way < kWays; ++way) {
    if (set[way].page == page) return &set[way];
  }
  return nullptr;
}

uint8_t* slotBytes(Cache* cache, const Cache::Slot* slot) {
  return cache->bytes.get() +
         static_cast<size_t>(slot - cache->slots.data()) * kPage;
}

// Keeps size bytes of page, in place of the least recently read page of
// its set.
void keepPage(Cache* cache, uint64_t page, const uint8_t* from, size_t size) {
  Cache::Slot* set = &cache->slots[(page % kSets) * kWays];
  Cache::Slot* slot = &set[0];
  for (size_t way = 1; way < kWays; ++way) {
    if (set[way].used < slot->used) slot = &set[way];
  }
  std::memcpy(slotBytes(cache, slot), from, size);
  slot->page = page;
  slot->size = size;
  slot->used = ++cache->clock;
}

// How many pages to read from page on: more for a read that goes on from
// an earlier one.
uint64_t runFrom(Cache* cache, uint64_t page) {
  for (Cache::Stream& stream : cache->streams) {
    if (stream.next != page) continue;
    if (stream.run < kMaxRun) stream.run *= 2;
    stream.next = page + stream.run;
    return stream.run;
  }
  Cache::Stream& stream = cache->streams[cache->nextStream];
  cache->nextStream = (cache->nextStream + 1) % kStreams;
  stream.run = 1;
  stream.next = page + 1;
  return 1;
}

// Reads page (and the pages after it that a scan will want) from below.
Cache::Slot* loadPage(Cache* cache, uint64_t page) {
  const uint64_t size = cache->below.size;
  const uint64_t start = page * kPage;
  if (start >= size) return nullptr;
  uint64_t pages = runFrom(cache, page);
  const uint64_t lastPage = (size - 1) / kPage;
  if (pages > lastPage - page + 1) pages = lastPage - page + 1;
  uint64_t length = pages * kPage;
  if (length > size - start) length = size - start;
  cache->buffer.resize(kMaxRun * kPage);
  if (!cache->below.read(start, static_cast<size_t>(length),
                         cache->buffer.data())) {
    // Bytes that cannot be read further on fail only the reads of them.
    if (pages == 1) return nullptr;
    pages = 1;
    length = size - start < kPage ? size - start : kPage;
    if (!cache->below.read(start, static_cast<size_t>(length),
                           cache->buffer.data()))
      return nullptr;
  }
  for (uint64_t i = 0; i < pages; ++i) {
    const uint64_t at = i * kPage;
    const uint64_t part = length - at < kPage ? length - at : kPage;
    if (i == 0 || findPage(cache, page + i) == nullptr)
      keepPage(cache, page + i, cache->buffer.data() + at,
               static_cast<size_t>(part));
  }
  return findPage(cache, page);
}

// Reads through the pages; false when the source cannot give the bytes.
bool readCached(Cache* cache, uint64_t at, size_t length, uint8_t* out) {
  while (length > 0) {
    const uint64_t page = at / kPage;
    Cache::Slot* slot = findPage(cache, page);
    if (slot == nullptr) slot = loadPage(cache, page);
    if (slot == nullptr) return false;
    slot->used = ++cache->clock;
    const size_t from = static_cast<size_t>(at - page * kPage);
    if (from >= slot->size) return false;
    size_t part = slot->size - from;
    if (part > length) part = length;
    std::memcpy(out, slotBytes(cache, slot) + from, part);
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
  cache->slots.resize(kSets * kWays);
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
