// The routing of a start path into a disk image, over images made here
// from mkntfs's bytes: no root, no FUSE, a few seconds. The same volume is
// read as a file, as a partition of an MBR disk (name@N) and of a GPT
// disk; a lone E01 header, a missing partition and a foreign one fail with
// their own codes. A kept volume with symbolic links (make-links-volume)
// is read raw, as E01 files made here by ewfacquire, whole and split, and
// in the virtual disks and split pieces that qemu-img and split make:
// paths through links, chains of them and the containers reach what the
// raw path reaches. Each case starts from resetLayer().
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/platform.h"

namespace vesk {
namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kVolumeBytes = 4u << 20;
constexpr uint64_t kFirstSector = 2048;  // where each disk's partitions start

void put32(std::vector<uint8_t>* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void put64(std::vector<uint8_t>* bytes, size_t at, uint64_t value) {
  put32(bytes, at, static_cast<uint32_t>(value));
  put32(bytes, at + 4, static_cast<uint32_t>(value >> 32));
}

void write(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A disk whose partitions are the volume (at kFirstSector) and, for an
// MBR, one empty partition of another type before it in slot 1.
std::vector<uint8_t> diskOf(const std::vector<uint8_t>& volume, bool gpt) {
  const uint64_t sectors = volume.size() / 512;
  std::vector<uint8_t> disk((kFirstSector + sectors + 64) * 512);
  std::copy(volume.begin(), volume.end(), disk.begin() + kFirstSector * 512);
  auto entry = [&](int slot, uint8_t type, uint32_t first, uint32_t count) {
    const size_t at = 446 + 16 * slot;
    disk[at + 4] = type;
    put32(&disk, at + 8, first);
    put32(&disk, at + 12, count);
  };
  disk[510] = 0x55;
  disk[511] = 0xAA;
  if (!gpt) {
    entry(0, 0x0B, 64, 64);  // FAT32, all zeros: not NTFS
    entry(1, 0x07, kFirstSector, static_cast<uint32_t>(sectors));
    return disk;
  }
  entry(0, 0xEE, 1, 0xFFFFFFFF);
  std::memcpy(&disk[512], "EFI PART", 8);
  put64(&disk, 512 + 72, 2);
  put32(&disk, 512 + 80, 128);
  put32(&disk, 512 + 84, 128);
  disk[1024] = 0xA2;
  put64(&disk, 1024 + 32, kFirstSector);
  put64(&disk, 1024 + 40, kFirstSector + sectors - 1);
  return disk;
}

class ImageRouting : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // One directory per process: ctest runs each case in its own, at once.
    dir_ = fs::path(testing::TempDir()) /
           ("vesk-image-routing-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const fs::path volume = dir_ / "volume.ntfs";
    fs::resize_file((std::ofstream(volume), volume), kVolumeBytes);
    const std::string make = "PATH=$PATH:/usr/sbin:/sbin mkntfs -F -Q -q '" +
                             volume.string() + "' >/dev/null 2>&1";
    made_ = std::system(make.c_str()) == 0;
    if (!made_) return;
    std::ifstream in(volume, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    write(dir_ / "mbr.img", diskOf(bytes, false));
    write(dir_ / "gpt.img", diskOf(bytes, true));
    std::vector<uint8_t> ewf(4096);
    std::memcpy(ewf.data(), "EVF\x09\x0D\x0A\xFF\x00", 8);
    write(dir_ / "corrupt.E01", ewf);
    const std::string links = (dir_ / "links.ntfs").string();
    linked_ = std::system(("gzip -dc '" VESK_TEST_SOURCE_DIR
                           "/ntfs/links-volume.ntfs.gz' >'" +
                           links + "'")
                              .c_str()) == 0;
    for (const char* target : {"case", "split -S 1048576"}) {
      const std::string acquire = "ewfacquire -q -u -f encase6 -c none -t '" +
                                  dir_.string() + "'/" + target + " '" + links +
                                  "' </dev/null >/dev/null 2>&1";
      linked_ = linked_ && std::system(acquire.c_str()) == 0;
    }
    // The same volume in virtual disks and split pieces; the MBR disk in a
    // VHDX; a QCOW2 disk backed by itself, and one backed by a raw file.
    const std::string there = "cd '" + dir_.string() + "' && ";
    for (const char* make : {
             "qemu-img convert -q -O vpc links.ntfs links.vhd",
             "qemu-img convert -q -O vhdx links.ntfs links.vhdx",
             "qemu-img convert -q -O vmdk links.ntfs links.vmdk",
             "qemu-img convert -q -c -O qcow2 links.ntfs links.qcow2",
             "split -b 1M -d -a 3 --numeric-suffixes=1 links.ntfs links.",
             "qemu-img convert -q -O vhdx mbr.img mbr.vhdx",
             "qemu-img create -q -f qcow2 -u -b self.qcow2 -F qcow2 s 4M && "
             "mv s self.qcow2",
             "qemu-img create -q -f qcow2 -b links.ntfs -F raw on-raw.qcow2",
         })
      linked_ = linked_ &&
                std::system((there + make + " >/dev/null 2>&1").c_str()) == 0;
  }

  static void TearDownTestSuite() {
    resetLayer();
    fs::remove_all(dir_);
  }

  void SetUp() override {
    if (!made_) GTEST_SKIP() << "mkntfs (ntfs-3g) could not make a volume";
    resetLayer();
  }

  static fs::path dir_;
  static bool made_;
  static bool linked_;  // the links volume unpacked, acquired as E01 and
                        // converted by qemu-img
};

fs::path ImageRouting::dir_;
bool ImageRouting::made_ = false;
bool ImageRouting::linked_ = false;

TEST_F(ImageRouting, StartPathsLeadToTheirVolumeOrFailWithTheirCode) {
  const bool images = VESK_TEST_IMAGES != 0;
  const bool ewf = VESK_TEST_EWF != 0;
  const bool containers = VESK_TEST_CONTAINERS != 0;
  const uint32_t unsupported = kErrorNotSupported;
  ASSERT_TRUE(linked_) << "gzip, ewfacquire, qemu-img or split failed";
  struct Case {
    const char* path;  // below the scratch directory
    uint32_t status;   // of the descriptor, with the libraries
    uint32_t without;  // without them
  } cases[] = {
      {"volume.ntfs", 0, unsupported},
      {"volume.ntfs/", 0, unsupported},
      {"mbr.img", 0, unsupported},  // the first NTFS partition
      {"mbr.img@2", 0, unsupported},
      {"gpt.img", 0, unsupported},
      {"gpt.img@1", 0, unsupported},
      {"volume.ntfs/missing", kErrorFileNotFound, unsupported},
      {"volume.ntfs@2", kErrorInvalidDrive, unsupported},  // no table
      {"mbr.img@3", kErrorInvalidDrive, unsupported},
      {"mbr.img@1", kErrorUnrecognizedVolume, unsupported},
      {"corrupt.E01", ewf ? kErrorDiskCorrupt : unsupported, unsupported},
      {"split.E02", ewf ? 0 : unsupported, unsupported},  // the whole set
      {"mbr.vhdx@2", containers ? 0 : unsupported, unsupported},
      {"mbr.vhdx@1", containers ? kErrorUnrecognizedVolume : unsupported,
       unsupported},
      {"self.qcow2", containers ? kErrorDiskCorrupt : unsupported, unsupported},
      {"on-raw.qcow2", unsupported, unsupported},  // libqcow cannot read it
      {"links.ntfs/linkdir/missing", kErrorFileNotFound, unsupported},
      {"links.ntfs/d/missing", kErrorFileNotFound, unsupported},
      {"links.ntfs/missing/file", kErrorFileNotFound, unsupported},
      {"links.ntfs/linkdir/file/x", kErrorPathNotFound, unsupported},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    resetLayer();
    const std::string path = (dir_ / c.path).string();
    examineStartPath(path);
    SecurityDescriptor* sd = nullptr;
    EXPECT_EQ(getNamedSecurityInfo(path.c_str(), &sd),
              images ? c.status : c.without);
    localFree(sd);
  }
}

// The root of every route is the same record of the same volume: the
// volume names its directories by record, and the root is record 5. A
// build without the libraries lists nothing there and knows no identity.
TEST_F(ImageRouting, DirectoryIdentityIsTheVolumeRecord) {
  const bool images = VESK_TEST_IMAGES != 0;
  for (const char* start : {"volume.ntfs", "mbr.img@2", "gpt.img"}) {
    SCOPED_TRACE(start);
    resetLayer();
    const std::string path = (dir_ / start).string();
    examineStartPath(path);
    SecurityDescriptor* sd = nullptr;
    ASSERT_EQ(getNamedSecurityInfo(path.c_str(), &sd),
              images ? 0u : kErrorNotSupported);
    localFree(sd);
    DirectoryIdentity root{};
    ASSERT_EQ(directoryIdentity(path, &root), images);
    EXPECT_EQ(root.index, images ? 5u : 0u);
    // The volume keeps no user files: an empty listing, not a failure.
    FindEntry entry;
    EXPECT_EQ(findFirst(path, &entry), nullptr);
    EXPECT_EQ(getLastError(), kErrorNoMoreFiles);
    // The image is open: a path below it that is missing is the volume's.
    DirectoryIdentity missing{};
    EXPECT_FALSE(directoryIdentity(path + "/missing", &missing));
  }
}

// Each path reads what the raw path beside it reads: the same descriptor
// bytes and, for a directory, the same identity.
TEST_F(ImageRouting, LinksAndEvidenceFilesReachTheirTarget) {
  const bool images = VESK_TEST_IMAGES != 0;
  const bool ewf = VESK_TEST_EWF != 0;
  const bool containers = VESK_TEST_CONTAINERS != 0;
  ASSERT_TRUE(linked_) << "gzip, ewfacquire, qemu-img or split failed";
  struct Case {
    const char* path;  // below the scratch directory
    const char* raw;   // what it reaches in links.ntfs
    bool directory;
  } cases[] = {
      {"links.ntfs/linkdir", "links.ntfs/d", true},
      {"links.ntfs/linkdir/file", "links.ntfs/d/file", false},
      {"links.ntfs/chain", "links.ntfs/d", true},
      {"links.ntfs/sub/rel/file", "links.ntfs/d/file", false},
      {"case.E01", "links.ntfs", true},
      {"case.E01/other", "links.ntfs/other", false},
      {"case.E01/chain/file", "links.ntfs/d/file", false},
      {"split.E01", "links.ntfs", true},
      {"split.E01/sub/rel", "links.ntfs/d", true},
      {"split.E02/d/file", "links.ntfs/d/file", false},
      {"links.vhd/chain/file", "links.ntfs/d/file", false},
      {"links.vhdx/sub/rel", "links.ntfs/d", true},
      {"links.vmdk/linkdir/file", "links.ntfs/d/file", false},
      {"links.qcow2", "links.ntfs", true},
      {"links.001/chain", "links.ntfs/d", true},
  };
  auto read = [&](const std::string& start, bool readable) {
    SCOPED_TRACE(start);
    resetLayer();
    const std::string path = (dir_ / start).string();
    examineStartPath(path);
    SecurityDescriptor* sd = nullptr;
    EXPECT_EQ(getNamedSecurityInfo(path.c_str(), &sd),
              readable ? 0u : kErrorNotSupported);
    std::string key = sd ? securityDescriptorKey(sd) : "";
    localFree(sd);
    DirectoryIdentity identity{};
    // The record only: the volume part names this process's open volume.
    if (directoryIdentity(path, &identity))
      key += "@" + std::to_string(identity.index);
    return key;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const bool contained = std::strncmp(c.path, "links.ntfs", 10) != 0;
    const bool evidence = std::strstr(c.path, ".E0") != nullptr;
    const bool readable =
        images && (!contained || (evidence ? ewf : containers));
    const std::string key = read(c.path, readable);
    const std::string raw = read(c.raw, images);
    if (!readable) continue;  // nothing read, as asked
    EXPECT_NE(raw.find('@') == std::string::npos, c.directory);
    EXPECT_NE(raw[0], '@');  // descriptor bytes first
    EXPECT_EQ(key, raw);
  }
}

}  // namespace
}  // namespace platform
}  // namespace vesk
