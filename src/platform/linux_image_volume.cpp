// NTFS volumes read with libntfs-3g straight from an image source, through
// device operations of our own: a partition is a window onto the source,
// and nothing can be written through them. Directory listings give what a
// mount by ntfs-3g gives by default.
#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>

#include "platform/escape.h"
#include "platform/linux_image.h"
#include "platform/linux_image_device.h"
#include "platform/linux_image_ntfs.h"
#include "platform/linux_internal.h"
#include "platform/ntfs3g.h"
#include "platform/platform.h"
#include "sd/descriptor.h"

namespace vesk {
namespace platform {

namespace {

// Distinct descriptors kept per volume; a volume with more answers the
// rest from $Secure each time.
constexpr size_t kDescriptorCacheBytes = 4 << 20;

}  // namespace

struct ImageVolume {
  Window window;
  ntfs_device* device = nullptr;
  ntfs_volume* vol = nullptr;
  std::unordered_map<uint32_t, std::vector<uint8_t>> bySecurityId;
  size_t cachedBytes = 0;
  // The entry a search handed out last, still open: the report of that
  // entry, and the listing of it, follow at once.
  ntfs_inode* held = nullptr;
  std::string heldInner;
  // The records of the directories being listed, outermost first. NTFS
  // has no hard links to directories, so a record met again below itself
  // is a damaged index that would make the walk endless.
  std::vector<uint64_t> listing;
  // Why the last search gave nothing (imageListStatus).
  uint32_t listStatus = kErrorNoMoreFiles;
};

struct ImageSearch {
  ImageVolume* volume = nullptr;
  ntfs_inode* dir = nullptr;
  std::string inner;    // of the directory, "/" or "/a/b"
  bool read = false;    // batch holds the whole listing
  uint32_t failed = 0;  // the error that cut the listing short
  struct Found {
    std::string name;
    MFT_REF ref;
    unsigned type;  // NTFS_DT_DIR for a directory, as its index entry says
  };
  std::vector<Found> batch;
  size_t next = 0;
};

namespace {

void releaseHeld(ImageVolume* volume) {
  if (volume->held != nullptr) ntfs_inode_close(volume->held);
  volume->held = nullptr;
  volume->heldInner.clear();
}

// The inode at inner, from the held entry when it is the one.
ntfs_inode* openInner(ImageVolume* volume, const std::string& inner,
                      bool* fromHeld) {
  *fromHeld = false;
  if (volume->held != nullptr && inner == volume->heldInner) {
    *fromHeld = true;
    return volume->held;
  }
  if (inner == "/") return ntfs_inode_open(volume->vol, FILE_root);
  return ntfs_pathname_to_inode(volume->vol, nullptr, inner.c_str());
}

uint32_t inodeError(int error) {
  switch (error) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    default:
      return kErrorFileCorrupt;
  }
}

// A path that goes on below a file fails as the kernel fails it, with
// ENOTDIR, where libntfs-3g says ENOENT.
uint32_t missingInodeError(ImageVolume* volume, std::string inner, int error) {
  if (error != ENOENT) return inodeError(error);
  for (size_t slash;
       (slash = inner.rfind('/')) != std::string::npos && slash != 0;) {
    inner.resize(slash);
    ntfs_inode* ni =
        ntfs_pathname_to_inode(volume->vol, nullptr, inner.c_str());
    if (ni == nullptr) continue;
    const bool directory = ni->mrec->flags & MFT_RECORD_IS_DIRECTORY;
    ntfs_inode_close(ni);
    return directory ? kErrorFileNotFound : kErrorPathNotFound;
  }
  return kErrorFileNotFound;
}

// libntfs-3g invents a descriptor for an object with none stored; the
// stored one is read here directly so that the invention is never shown.
uint32_t storedDescriptor(ImageVolume* volume, ntfs_inode* ni,
                          std::vector<uint8_t>* bytes) {
  const uint32_t securityId = le32_to_cpu(ni->security_id);
  if (securityId == 0 || volume->vol->secure_ni == nullptr ||
      volume->vol->secure_xsii == nullptr)
    return readOwnDescriptor(ni, bytes);
  const auto known = volume->bySecurityId.find(securityId);
  if (known != volume->bySecurityId.end()) {
    *bytes = known->second;
    return 0;
  }
  const uint32_t status = readSecureDescriptor(volume->vol, securityId, bytes);
  if (status == 0 && volume->cachedBytes < kDescriptorCacheBytes) {
    volume->bySecurityId.emplace(securityId, *bytes);
    volume->cachedBytes += bytes->size() + 64;
  }
  return status;
}

// What the mount shows in a listing: no DOS 8.3 names, no "." or "..", no
// metadata files (records below the first user record, $Extend among
// them, but the root).
int collectEntry(void* context, const ntfschar* name, const int length,
                 const int nameType, const s64, const MFT_REF ref,
                 const unsigned type) {
  ImageSearch* search = static_cast<ImageSearch*>(context);
  if (nameType == FILE_NAME_DOS) return 0;
  if (MREF(ref) < FILE_first_user && MREF(ref) != FILE_root) return 0;
  char* text = nullptr;
  const int bytes = ntfs_ucstombs(name, length, &text, 0);
  if (bytes < 0) return 0;
  std::string utf8(text, static_cast<size_t>(bytes));
  std::free(text);
  if (utf8 == "." || utf8 == "..") return 0;
  search->batch.push_back(ImageSearch::Found{std::move(utf8), ref, type});
  return 0;
}

// The whole directory in one pass, as a mount reads it: libntfs-3g, asked
// to go on from a position inside an index block, ends such a listing with
// EIO although nothing is damaged.
bool refill(ImageSearch* search) {
  if (search->read) return false;
  search->read = true;
  s64 position = 0;
  // A failure part way ends the listing after the entries read before it,
  // and is then reported, as a mount reports it (EIO from a damaged index).
  errno = 0;
  if (ntfs_readdir(search->dir, &position, search, collectEntry) != 0)
    search->failed = windowsError(errno == 0 ? EIO : errno);
  return !search->batch.empty();
}

// Hands out the next entry, its inode held for the report that follows.
bool handOut(ImageSearch* search, ImageEntry* entry) {
  ImageVolume* volume = search->volume;
  if (search->next >= search->batch.size() && !refill(search)) {
    volume->listStatus =
        search->failed != 0 ? search->failed : kErrorNoMoreFiles;
    return false;
  }
  const ImageSearch::Found& found = search->batch[search->next++];
  releaseHeld(volume);
  entry->name = found.name;
  entry->directory = false;
  entry->link = false;
  volume->heldInner =
      (search->inner == "/" ? "/" : search->inner + "/") + found.name;
  ntfs_inode* ni = ntfs_inode_open(volume->vol, found.ref);
  // A record that cannot be read is what its index entry says, as on a
  // mount: a damaged directory is still reported, and its listing fails.
  if (ni == nullptr) entry->directory = found.type == NTFS_DT_DIR;
  if (ni != nullptr) {
    // A junction or symbolic link to a directory is an index too; as on a
    // mounted volume it is reported like a directory but never entered.
    entry->directory = (ni->mrec->flags & MFT_RECORD_IS_DIRECTORY) != 0;
    entry->link = (ni->flags & FILE_ATTR_REPARSE_POINT) != 0;
    // A link that NTFS does not mark as a directory counts as its target,
    // which the mount checks.
    std::string target;
    if (linkTarget(ni, &target)) {
      entry->link = true;
      entry->directory =
          linkLeadsToDirectory(volume->vol, search->inner, target);
    }
    volume->held = ni;
  }
  return true;
}

}  // namespace

uint32_t openImageVolume(ImageSource source, uint32_t wanted,
                         const std::string& label, ImageVolume** out) {
  *out = nullptr;
  ImageVolume* volume = new (std::nothrow) ImageVolume;
  if (volume == nullptr) {
    source.close();
    return kErrorNotEnoughMemory;
  }
  volume->window.source = std::move(source);
  Window& window = volume->window;
  uint8_t sector[kSectorSize];
  uint32_t status = 0;
  if (window.source.size < kSectorSize ||
      !window.source.read(0, kSectorSize, sector)) {
    status = kErrorNotSupported;
  } else {
    const DiskLayout layout = layoutOfFirstSector(sector);
    if (layout == DiskLayout::Ntfs && wanted == 0) {
      window.length = window.source.size;
    } else if (layout == DiskLayout::Other) {
      status = kErrorUnrecognizedVolume;  // a volume, not NTFS
    } else if (layout == DiskLayout::Ntfs || layout == DiskLayout::Unknown) {
      // Not a disk: a file that holds no volume, or no partition N.
      status =
          layout == DiskLayout::Ntfs ? kErrorInvalidDrive : kErrorNotSupported;
    } else {
      std::vector<Partition> partitions;
      Partition chosen{};
      status =
          readPartitions(window.source.read, window.source.size, &partitions);
      if (status == 0)
        status = choosePartition(window.source.read, window.source.size,
                                 partitions, wanted, &chosen);
      window.offset = chosen.offset;
      window.length = chosen.length;
    }
  }
  if (status == 0) {
    volume->device =
        ntfs_device_alloc(label.c_str(), 0, &windowOperations, &volume->window);
    if (volume->device == nullptr) status = kErrorNotEnoughMemory;
  }
  if (status == 0) {
    volume->vol = ntfs_device_mount(volume->device, NTFS_MNT_RDONLY);
    if (volume->vol == nullptr) {
      status = errno == ENOMEM ? kErrorNotEnoughMemory : kErrorDiskCorrupt;
      if (NDevOpen(volume->device)) windowOperations.close(volume->device);
      ntfs_device_free(volume->device);
      volume->device = nullptr;
    }
  }
  if (status != 0) {
    volume->window.source.close();
    delete volume;
    return status;
  }
  if (volume->vol->secure_ni == nullptr) ntfs_open_secure(volume->vol);
  const bool dirty = (le16_to_cpu(volume->vol->flags) & 0x0001) != 0;
  const bool hibernated =
      ntfs_volume_check_hiberfile(volume->vol, 0) != 0 && errno == EPERM;
  if (dirty || hibernated) {
    // The label is a path: escaped as every printed path is.
    std::string line =
        "vesk: " + outputText(escapedControls(label, true), nullptr) +
        ": the volume is " + (hibernated ? "hibernated" : "marked dirty") +
        "; its metadata may be stale\n";
    std::fputs(line.c_str(), stderr);
  }
  *out = volume;
  return 0;
}

void closeImageVolume(ImageVolume* volume) {
  if (volume == nullptr) return;
  releaseHeld(volume);
  ntfs_umount(volume->vol, FALSE);  // closes and frees the device
  volume->window.source.close();
  delete volume;
}

uint32_t imageDescriptor(ImageVolume* volume, const std::string& inner,
                         std::vector<uint8_t>* bytes) {
  bool fromHeld = false;
  ntfs_inode* ni = openInner(volume, inner, &fromHeld);
  if (ni == nullptr) return missingInodeError(volume, inner, errno);
  const uint32_t status = storedDescriptor(volume, ni, bytes);
  if (!fromHeld) ntfs_inode_close(ni);
  return status;
}

bool imageDirectoryIndex(ImageVolume* volume, const std::string& inner,
                         uint64_t* index) {
  bool fromHeld = false;
  ntfs_inode* ni = openInner(volume, inner, &fromHeld);
  if (ni == nullptr) return false;
  const bool directory = ni->mrec->flags & MFT_RECORD_IS_DIRECTORY;
  *index = ni->mft_no;
  if (!fromHeld) ntfs_inode_close(ni);
  return directory;
}

ImageSearch* imageFindFirst(ImageVolume* volume, const std::string& inner,
                            ImageEntry* entry) {
  bool fromHeld = false;
  ntfs_inode* dir = openInner(volume, inner, &fromHeld);
  if (dir == nullptr) {
    // As opendir fails: below a file is no directory, a damaged record is
    // a listing that failed.
    const uint32_t status = missingInodeError(volume, inner, errno);
    volume->listStatus =
        status == kErrorPathNotFound ? kErrorDirectory : status;
    return nullptr;
  }
  if (fromHeld) {  // the search owns it from here
    volume->held = nullptr;
    volume->heldInner.clear();
  }
  const bool loops = std::find(volume->listing.begin(), volume->listing.end(),
                               dir->mft_no) != volume->listing.end();
  volume->listStatus = loops ? kErrorNoMoreFiles : kErrorDirectory;
  if (!(dir->mrec->flags & MFT_RECORD_IS_DIRECTORY) || loops) {
    ntfs_inode_close(dir);
    return nullptr;
  }
  ImageSearch* search = new (std::nothrow) ImageSearch;
  if (search == nullptr) {
    ntfs_inode_close(dir);
    volume->listStatus = kErrorNotEnoughMemory;
    return nullptr;
  }
  search->volume = volume;
  search->dir = dir;
  search->inner = inner;
  volume->listing.push_back(dir->mft_no);
  if (!handOut(search, entry)) {
    imageFindClose(search);
    return nullptr;
  }
  return search;
}

bool imageFindNext(ImageSearch* search, ImageEntry* entry) {
  return search != nullptr && handOut(search, entry);
}

uint32_t imageListStatus(const ImageVolume* volume) {
  return volume->listStatus;
}

std::string imageResolve(ImageVolume* volume, const std::string& inner,
                         bool* directory) {
  return resolvedInner(volume->vol, inner, directory);
}

void imageFindClose(ImageSearch* search) {
  if (search == nullptr) return;
  std::vector<uint64_t>& listing = search->volume->listing;
  const auto own =
      std::find(listing.begin(), listing.end(), search->dir->mft_no);
  if (own != listing.end()) listing.erase(own);
  ntfs_inode_close(search->dir);
  delete search;
}

}  // namespace platform
}  // namespace vesk
