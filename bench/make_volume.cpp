// Builds the benchmark's realistic NTFS volume in an image that mkntfs made,
// through libntfs-3g (no FUSE: a mount takes many minutes at this size).
// The shape of a large system volume, the same for the same arguments:
// OBJECTS names below the root; directory sizes from 1 to 20,000 entries
// with a heavy tail (most under 30; about 15 % of the objects in
// directories of 10,000 to 20,000); nesting up to 15 levels; hard links;
// 50 shared descriptors and 2,000 unique explicit ones; names of 10 to 60
// characters, some outside ASCII. Files are created directory by
// directory, one in ten later and elsewhere, so that records of one
// directory are not all neighbours in the MFT.
// Usage: make_volume IMAGE OBJECTS SEED   (IMAGE made by mkntfs, unmounted)
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define HAVE_STDINT_H 1
#define HAVE_SYS_TYPES_H 1
#define HAVE_SYS_STAT_H 1
#define HAVE_ERRNO_H 1
#define HAVE_STDIO_H 1
#define HAVE_STDLIB_H 1
#define HAVE_STRING_H 1
extern "C" {
#include <ntfs-3g/types.h>
// types.h first: the rest use its types.
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/device.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/layout.h>
#include <ntfs-3g/security.h>
#include <ntfs-3g/volume.h>
}
#undef min
#undef max

namespace {

uint64_t state;
uint64_t next64() {  // splitmix64
  uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}
double uniform() {
  return static_cast<double>(next64() >> 11) * (1.0 / 9007199254740992.0);
}
uint32_t below(uint32_t n) { return static_cast<uint32_t>(uniform() * n); }

// Descriptors ----------------------------------------------------------

using Bytes = std::vector<uint8_t>;

void put16(Bytes* b, uint16_t v) {
  b->push_back(static_cast<uint8_t>(v & 0xFF));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes* b, uint32_t v) {
  put16(b, static_cast<uint16_t>(v & 0xFFFF));
  put16(b, static_cast<uint16_t>(v >> 16));
}
Bytes sid(uint8_t authority, std::vector<uint32_t> subs) {
  Bytes b = {1, static_cast<uint8_t>(subs.size()), 0, 0, 0, 0, 0, authority};
  for (uint32_t s : subs) put32(&b, s);
  return b;
}
struct Ace {
  uint8_t type, flags;
  uint32_t mask;
  Bytes who;
};
Bytes descriptor(uint16_t control, const Bytes& owner, const Bytes& group,
                 const std::vector<Ace>& aces) {
  Bytes acl;
  for (const Ace& a : aces) {
    acl.push_back(a.type);
    acl.push_back(a.flags);
    put16(&acl, static_cast<uint16_t>(8 + a.who.size()));
    put32(&acl, a.mask);
    acl.insert(acl.end(), a.who.begin(), a.who.end());
  }
  Bytes b = {1, 0};
  put16(&b, 0x8004 | control);  // self-relative, DACL present
  const uint32_t daclAt = 20, aclSize = 8 + static_cast<uint32_t>(acl.size());
  put32(&b, daclAt + aclSize);                                        // owner
  put32(&b, daclAt + aclSize + static_cast<uint32_t>(owner.size()));  // group
  put32(&b, 0);                                                       // no SACL
  put32(&b, daclAt);
  b.push_back(2);
  b.push_back(0);
  put16(&b, static_cast<uint16_t>(aclSize));
  put16(&b, static_cast<uint16_t>(aces.size()));
  put16(&b, 0);
  b.insert(b.end(), acl.begin(), acl.end());
  b.insert(b.end(), owner.begin(), owner.end());
  b.insert(b.end(), group.begin(), group.end());
  return b;
}

const Bytes kAdmins = sid(5, {32, 544}), kUsers = sid(5, {32, 545}),
            kSystem = sid(5, {18}), kAuth = sid(5, {11}),
            kCreator = sid(3, {0}), kEveryone = sid(1, {0}),
            kInstaller = sid(5, {80, 956008885, 3418522649, 1831038044,
                                 1853292631, 2271478464}),
            kPackages = sid(15, {2, 1});
Bytes domainUser(uint32_t rid) {
  return sid(5, {21, 1004336348, 1177238915, 682003330, rid});
}

// Shared descriptor i of 25, for directories or files: the owners, groups
// and entries a system volume mixes.
Bytes shared(int i, bool directory) {
  const Bytes owners[] = {kInstaller, kAdmins, kSystem, domainUser(1001),
                          domainUser(1105)};
  const Bytes& owner = owners[i % 5];
  const uint8_t inherit = directory ? 0x03 : 0x00;
  const uint8_t inherited = (i / 5) % 2 ? 0x10 : 0x00;
  std::vector<Ace> aces = {
      {0, static_cast<uint8_t>(inherit | inherited), 0x1F01FF, kSystem},
      {0, static_cast<uint8_t>(inherit | inherited), 0x1F01FF, kAdmins},
      {0, static_cast<uint8_t>(inherit | inherited), 0x1200A9, kUsers}};
  if (i % 3 == 0) aces.push_back({0, inherit, 0x1301BF, kAuth});
  if (i % 4 == 1) aces.push_back({0, inherit, 0x1200A9, kPackages});
  if (i % 7 == 2) aces.insert(aces.begin(), {1, 0, 0x000116, kEveryone});
  if (directory && i % 2 == 0) aces.push_back({0, 0x0B, 0x10000000, kCreator});
  if (i >= 15) aces.push_back({0, inherit, 0x1F01FF, domainUser(1000 + i)});
  const uint16_t control = (i % 5 == 3 ? 0x1000 : 0) | (inherited ? 0x0400 : 0);
  return descriptor(control, owner, kSystem, aces);
}

// Unique descriptor n: inherited entries and an explicit one for an
// account of its own.
Bytes unique(uint32_t n, bool directory) {
  const uint8_t inherit = directory ? 0x03 : 0x00;
  std::vector<Ace> aces = {{0, inherit, 0x1301BF, domainUser(20000 + n)},
                           {0, 0x10, 0x1F01FF, kSystem},
                           {0, 0x10, 0x1F01FF, kAdmins},
                           {0, 0x10, 0x1200A9, kUsers}};
  if (n % 3 == 0) aces.insert(aces.begin(), {1, 0, 0x000116, domainUser(n)});
  return descriptor(0x0400, n % 2 ? kAdmins : domainUser(20000 + n), kSystem,
                    aces);
}

// Names -----------------------------------------------------------------

const char kAscii[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.";
const uint16_t kWider[] = {0x00E9, 0x00FC, 0x00DF, 0x00F8, 0x0436, 0x0444,
                           0x03A9, 0x4E2D, 0x65E5, 0x672C, 0x00C5, 0x0161};

std::vector<ntfschar> name(uint32_t object) {
  const uint32_t length = 10 + below(51);
  const bool wide = below(20) == 0;
  std::vector<ntfschar> out;
  // A unique tail keeps the names of a directory distinct.
  char tail[16];
  const int tailLength = std::snprintf(tail, sizeof tail, "~%x", object);
  while (out.size() + tailLength < length) {
    uint16_t c = static_cast<uint8_t>(kAscii[below(sizeof kAscii - 1)]);
    if (out.empty() && c == '.') c = 'x';
    if (wide && below(3) == 0) c = kWider[below(sizeof kWider / 2)];
    out.push_back(cpu_to_le16(c));
  }
  for (int i = 0; i < tailLength; ++i)
    out.push_back(cpu_to_le16(static_cast<uint16_t>(tail[i])));
  return out;
}

// The plan -------------------------------------------------------------

enum Kind : uint8_t { kFile, kDirectory, kLink };
struct Object {
  uint32_t parent;  // directory number
  Kind kind;
  uint32_t directory;  // its number, for a directory
};
struct Directory {
  int depth;
  MFT_REF ref;
};

// Entries of a directory: a Pareto tail capped at 5,000, or a huge one.
uint32_t entriesOf(int depth, uint64_t* hugeLeft) {
  if (depth >= 2 && depth <= 4 && *hugeLeft >= 10000 && below(40) == 0) {
    uint32_t size = 10000 + below(10001);
    if (size > *hugeLeft) size = static_cast<uint32_t>(*hugeLeft);
    *hugeLeft -= size;
    return size;
  }
  const double x = 2.0 * std::pow(1.0 - uniform(), -0.8) - 1.0;
  return x > 5000 ? 5000 : static_cast<uint32_t>(x);
}

int fail(const char* what) {
  std::fprintf(stderr, "make_volume: %s: %s\n", what, std::strerror(errno));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_volume IMAGE OBJECTS SEED\n");
    return 2;
  }
  const uint32_t objects = static_cast<uint32_t>(std::strtoul(argv[2], 0, 10));
  state = std::strtoull(argv[3], 0, 10);

  // The plan: directories sized one after another, picked at random among
  // those waiting, until the objects are all placed.
  std::vector<Directory> dirs = {{0, FILE_root}};
  std::vector<Object> plan;
  plan.reserve(objects);
  std::vector<uint32_t> waiting = {0};
  uint64_t hugeLeft = objects * 15ULL / 100;
  while (plan.size() < objects) {
    if (waiting.empty()) waiting.push_back(0);  // the root takes more
    const uint32_t pick = below(static_cast<uint32_t>(waiting.size()));
    const uint32_t dir = waiting[pick];
    waiting[pick] = waiting.back();
    waiting.pop_back();
    const uint32_t entries = entriesOf(dirs[dir].depth, &hugeLeft);
    for (uint32_t i = 0; i < entries && plan.size() < objects; ++i) {
      const bool subdirectory = dirs[dir].depth < 15 && below(100) < 18;
      if (subdirectory) {
        plan.push_back({dir, kDirectory, static_cast<uint32_t>(dirs.size())});
        dirs.push_back({dirs[dir].depth + 1, 0});
        waiting.push_back(plan.back().directory);
      } else {
        plan.push_back({dir, below(200) == 0 ? kLink : kFile, 0});
      }
    }
  }

  ntfs_volume* vol = ntfs_mount(argv[1], static_cast<ntfs_mount_flags>(0));
  if (vol == nullptr) return fail("ntfs_mount");
  if (vol->secure_ni == nullptr && ntfs_open_secure(vol) != 0)
    return fail("ntfs_open_secure");
  struct PERMISSIONS_CACHE* noCache = nullptr;
  SECURITY_CONTEXT scx;
  std::memset(&scx, 0, sizeof scx);
  scx.vol = vol;
  scx.pseccache = &noCache;

  le32 sharedIds[2][25] = {};
  uint32_t uniques = 0;
  const uint32_t uniqueEvery = objects / 2000;
  std::vector<MFT_REF> files;  // for hard links
  files.reserve(objects);
  int maxDepth = 0;
  uint32_t links = 0;

  // Creates plan[i]; the directory that holds it is open in *parent.
  auto create = [&](uint32_t i, ntfs_inode* parent) -> int {
    const Object& o = plan[i];
    std::vector<ntfschar> n = name(i);
    if (o.kind == kLink && !files.empty()) {
      ntfs_inode* ni = ntfs_inode_open(
          vol, files[below(static_cast<uint32_t>(files.size()))]);
      if (ni == nullptr) return fail("ntfs_inode_open");
      if (ntfs_link(ni, parent, n.data(), static_cast<u8>(n.size())) != 0)
        return fail("ntfs_link");
      ++links;
      return ntfs_inode_close(ni) != 0 ? fail("ntfs_inode_close") : 0;
    }
    const bool directory = o.kind == kDirectory;
    const bool isUnique =
        uniqueEvery > 0 && i % uniqueEvery == 7 && uniques < 2000;
    int which = static_cast<int>(25 * std::pow(uniform(), 3.0));
    le32& id = sharedIds[directory][which];
    ntfs_inode* ni =
        ntfs_create(parent, isUnique ? 0 : id, n.data(),
                    static_cast<u8>(n.size()), directory ? S_IFDIR : S_IFREG);
    if (ni == nullptr) return fail("ntfs_create");
    if (isUnique || id == 0) {
      const Bytes sd =
          isUnique ? unique(uniques++, directory) : shared(which, directory);
      if (ntfs_set_ntfs_acl(&scx, ni, reinterpret_cast<const char*>(sd.data()),
                            sd.size(), 0) != 0)
        return fail("ntfs_set_ntfs_acl");
      if (!isUnique) id = ni->security_id;
    }
    const MFT_REF ref =
        MK_MREF(ni->mft_no, le16_to_cpu(ni->mrec->sequence_number));
    if (directory) {
      dirs[o.directory].ref = ref;
      if (dirs[o.directory].depth > maxDepth)
        maxDepth = dirs[o.directory].depth;
    } else {
      files.push_back(ref);
    }
    return ntfs_inode_close(ni) != 0 ? fail("ntfs_inode_close") : 0;
  };

  // Directory by directory, keeping its parent open; one file in ten
  // (and every link) afterwards, in another order.
  std::vector<uint32_t> later;
  ntfs_inode* parent = nullptr;
  uint32_t parentDir = UINT32_MAX;
  for (uint32_t i = 0; i < plan.size(); ++i) {
    if (plan[i].kind != kDirectory &&
        (plan[i].kind == kLink || below(10) == 0)) {
      later.push_back(i);
      continue;
    }
    if (plan[i].parent != parentDir) {
      if (parent != nullptr && ntfs_inode_close(parent) != 0)
        return fail("ntfs_inode_close");
      parent = ntfs_inode_open(vol, dirs[plan[i].parent].ref);
      if (parent == nullptr) return fail("ntfs_inode_open");
      parentDir = plan[i].parent;
    }
    if (create(i, parent) != 0) return 1;
  }
  if (parent != nullptr && ntfs_inode_close(parent) != 0)
    return fail("ntfs_inode_close");
  for (size_t k = later.size(); k > 1; --k)
    std::swap(later[k - 1], later[below(static_cast<uint32_t>(k))]);
  for (uint32_t i : later) {
    ntfs_inode* dir = ntfs_inode_open(vol, dirs[plan[i].parent].ref);
    if (dir == nullptr) return fail("ntfs_inode_open");
    if (create(i, dir) != 0) return 1;
    if (ntfs_inode_close(dir) != 0) return fail("ntfs_inode_close");
  }

  ntfs_close_secure(vol);
  if (ntfs_umount(vol, FALSE) != 0) return fail("ntfs_umount");
  std::printf(
      "%u objects, %zu directories, %u hard links, %u unique "
      "descriptors, deepest level %d\n",
      objects, dirs.size(), links, uniques, maxDepth);
  return 0;
}
