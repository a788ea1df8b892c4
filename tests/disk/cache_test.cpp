#include "disk/cache.h"

#include <gtest/gtest.h>

#include <vector>

namespace vesk {
namespace platform {
namespace {

// A source larger than the cache whose every byte tells its offset, with a
// region that cannot be read; it counts the reads that reach it.
constexpr uint64_t kSize = (40ull << 20) + 1234;
constexpr uint64_t kBadFrom = 30ull << 20, kBadTo = kBadFrom + 8192;

uint8_t byteAt(uint64_t at) {
  return static_cast<uint8_t>(((at ^ (at >> 13)) * 0x9E3779B97F4A7C15ull) >>
                              56);
}

Source patterned(int* reads) {
  Source source;
  source.size = kSize;
  source.name = "patterned";
  source.read = [reads](uint64_t offset, size_t length, uint8_t* out) {
    ++*reads;
    if (offset > kSize || length > kSize - offset) return false;
    if (offset < kBadTo && offset + length > kBadFrom) return false;
    for (size_t i = 0; i < length; ++i) out[i] = byteAt(offset + i);
    return true;
  };
  return source;
}

bool readsRight(Source& cached, uint64_t at, size_t length) {
  std::vector<uint8_t> out(length);
  if (!cached.read(at, length, out.data())) return false;
  for (size_t i = 0; i < length; ++i) {
    if (out[i] != byteAt(at + i)) return false;
  }
  return true;
}

TEST(Cache, ReadsTheBytesBelowWherePagesAreEvictedAndReadAgain) {
  int reads = 0;
  Source cached = cachedSource(patterned(&reads));
  // A scan in records reads ahead: far fewer reads below than records.
  for (uint64_t at = 0; at + 1024 <= kBadFrom; at += 1024)
    ASSERT_TRUE(readsRight(cached, at, 1024)) << at;
  EXPECT_LT(reads, static_cast<int>(kBadFrom / 1024 / 8));
  // Reads here and there, across pages, over more than the cache holds.
  uint64_t state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const uint64_t at = (state >> 16) % (kSize - 70000);
    const size_t length = static_cast<size_t>((state >> 8) % 66000);
    const bool bad = at < kBadTo && at + length > kBadFrom;
    EXPECT_EQ(readsRight(cached, at, length), !bad) << at << " " << length;
  }
  closeSource(&cached);
}

TEST(Cache, FailsOnlyTheReadsOfBytesThatCannotBeRead) {
  const struct {
    uint64_t at;
    size_t length;
    bool read;
  } cases[] = {
      {kBadFrom - 4096, 4096, true},  // a scan towards the region
      {kBadFrom - 1024, 1024, true},
      {kBadFrom - 1, 2, false},
      {kBadTo - 1, 1, false},
      {kBadTo, 4096, true},
      {kSize - 1234, 1234, true},  // the short last page
      {kSize - 10, 11, false},     // past the end
      {kSize, 1, false},
      {5, 0, true},
  };
  int reads = 0;
  Source cached = cachedSource(patterned(&reads));
  for (uint64_t at = kBadFrom - 65536; at < kBadFrom - 4096; at += 4096)
    ASSERT_TRUE(readsRight(cached, at, 4096));
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.at << " " << c.length);
    EXPECT_EQ(readsRight(cached, c.at, c.length), c.read);
  }
  closeSource(&cached);
}

}  // namespace
}  // namespace platform
}  // namespace vesk
