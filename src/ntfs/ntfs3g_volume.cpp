// The Volume of libntfs-3g: an NTFS volume read straight from a source,
// through device operations of our own (device.cpp) through which nothing
// can be written. Directory listings give what a mount by ntfs-3g gives by
// default.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>

#include "ntfs/device.h"
#include "ntfs/ntfs3g_internal.h"
#include "ntfs/volume.h"
#include "platform/errno_codes.h"
#include "platform/escape.h"
#include "platform/platform.h"

namespace vesk {
namespace platform {

namespace {

// Distinct descriptors kept per volume; a volume with more answers the
// rest from $Secure each time.
constexpr size_t kDescriptorCacheBytes = 4 << 20;

}  // namespace

// One entry of a directory's index, as a listing hands it out, and what
// its record said when the listing opened it.
struct ListedEntry {
  std::string name;
  MFT_REF ref;
  unsigned type;        // NTFS_DT_DIR for a directory, as its index entry says
  bool opened = false;  // the record was read: index and securityId hold
  bool index = false;   // the record is an index
  bool directory = false;  // as listed: a link to a directory counts
  bool link = false;
  uint32_t securityId = 0;
};

struct Ntfs3gVolume : Volume {
  ~Ntfs3gVolume() override;
  uint32_t descriptor(const std::string& inner,
                      std::vector<uint8_t>* bytes) override;
  Listing* list(const std::string& inner, VolumeEntry* first) override;
  uint32_t listStatus() const override { return listed; }
  std::string resolve(const std::string& inner, bool* directory) override {
    return resolvedInner(vol, inner, directory);
  }
  bool directoryIndex(const std::string& inner, uint64_t* index) override;
  uint32_t openFile(const std::string& inner, Source* out) override;

  DeviceSource device;
  ntfs_device* dev = nullptr;
  ntfs_volume* vol = nullptr;
  std::unordered_map<uint32_t, std::vector<uint8_t>> bySecurityId;
  size_t cachedBytes = 0;
  // The records of the directories being listed, outermost first. NTFS
  // has no hard links to directories, so a record met again below itself
  // is a damaged index that would make the walk endless.
  std::vector<uint64_t> listing;
  // The listings a walk is still going through, outermost first, each
  // directory inside the one before: a walk lists a directory whole, then
  // reports and enters its entries in order, and each is opened by the
  // reference its index entry holds instead of by its path from the root.
  struct Walked {
    std::string inner;
    std::vector<ListedEntry> entries;
    size_t at = 0;  // where the walk is: the last entry asked for
  };
  std::vector<Walked> walked;
  // Why the last search gave nothing (listStatus).
  uint32_t listed = kErrorNoMoreFiles;
};

struct Ntfs3gListing : Listing {
  ~Ntfs3gListing() override;
  bool next(VolumeEntry* entry) override;

  Ntfs3gVolume* volume = nullptr;
  ntfs_inode* dir = nullptr;
  std::string inner;    // of the directory, "/" or "/a/b"
  bool read = false;    // batch holds the whole listing
  uint32_t failed = 0;  // the error that cut the listing short
  std::vector<ListedEntry> batch;
  size_t at = 0;
};

namespace {

// Whether the directory at above holds inner, at any depth.
bool holds(const std::string& above, const std::string& inner) {
  if (above == "/") return inner != "/";
  return inner.size() > above.size() && inner[above.size()] == '/' &&
         inner.compare(0, above.size(), above) == 0;
}

// A listing that the walk may now go through: the listings of directories
// that do not hold it are done with.
void keepWalked(Ntfs3gVolume* volume, std::string inner,
                std::vector<ListedEntry>* entries) {
  std::vector<Ntfs3gVolume::Walked>& walked = volume->walked;
  while (!walked.empty() && !holds(walked.back().inner, inner))
    walked.pop_back();
  walked.push_back(Ntfs3gVolume::Walked{std::move(inner), std::move(*entries)});
}

// The object at inner as its directory's listing gave it, from where the
// walk is in that listing onwards; nullptr when not listed.
const ListedEntry* walkedEntry(Ntfs3gVolume* volume, const std::string& inner) {
  const size_t slash = inner.rfind('/');
  if (slash == std::string::npos || slash + 1 == inner.size()) return nullptr;
  const size_t parentLength = slash == 0 ? 1 : slash;
  for (auto walked = volume->walked.rbegin(); walked != volume->walked.rend();
       ++walked) {
    if (walked->inner.size() != parentLength ||
        inner.compare(0, parentLength, walked->inner) != 0)
      continue;
    const char* name = inner.c_str() + slash + 1;
    for (size_t at = walked->at; at < walked->entries.size(); ++at) {
      if (walked->entries[at].name != name) continue;
      walked->at = at;
      return &walked->entries[at];
    }
    return nullptr;
  }
  return nullptr;
}

// The inode at inner.
ntfs_inode* openInner(Ntfs3gVolume* volume, const std::string& inner) {
  if (inner == "/") return ntfs_inode_open(volume->vol, FILE_root);
  // A record that the reference does not open is looked for by path, which
  // fails as it always has.
  const ListedEntry* found = walkedEntry(volume, inner);
  ntfs_inode* ni =
      found != nullptr ? ntfs_inode_open(volume->vol, found->ref) : nullptr;
  if (ni != nullptr) return ni;
  return ntfs_pathname_to_inode(volume->vol, nullptr, inner.c_str());
}

// A record that cannot be read is a damaged one.
uint32_t inodeError(int error) {
  return error == ENOENT || error == ENOTDIR || error == ENOMEM
             ? windowsError(error)
             : kErrorFileCorrupt;
}

// A path that goes on below a file fails as the kernel fails it, with
// ENOTDIR, where libntfs-3g says ENOENT. The nearest ancestor found is read
// with its links followed: a name missing below a link to a directory is
// missing from that directory.
uint32_t missingInodeError(Ntfs3gVolume* volume, std::string inner, int error) {
  if (error != ENOENT) return inodeError(error);
  for (size_t slash;
       (slash = inner.rfind('/')) != std::string::npos && slash != 0;) {
    inner.resize(slash);
    bool directory = false;
    const std::string resolved = resolvedInner(volume->vol, inner, &directory);
    ntfs_inode* ni =
        ntfs_pathname_to_inode(volume->vol, nullptr, resolved.c_str());
    if (ni == nullptr) continue;
    ntfs_inode_close(ni);
    return directory ? kErrorFileNotFound : kErrorPathNotFound;
  }
  return kErrorFileNotFound;
}

// Whether descriptors are read from $Secure by security id.
bool secureOpen(const Ntfs3gVolume* volume) {
  return volume->vol->secure_ni != nullptr &&
         volume->vol->secure_xsii != nullptr;
}

// The descriptor of securityId in $Secure, remembered while there is room.
uint32_t secureDescriptor(Ntfs3gVolume* volume, uint32_t securityId,
                          std::vector<uint8_t>* bytes) {
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

// libntfs-3g invents a descriptor for an object with none stored; the
// stored one is read here directly so that the invention is never shown.
uint32_t storedDescriptor(Ntfs3gVolume* volume, ntfs_inode* ni,
                          std::vector<uint8_t>* bytes) {
  const uint32_t securityId = le32_to_cpu(ni->security_id);
  if (securityId == 0 || !secureOpen(volume))
    return readOwnDescriptor(ni, bytes);
  return secureDescriptor(volume, securityId, bytes);
}

// What the mount shows in a listing: no DOS 8.3 names, no "." or "..", no
// metadata files (records below the first user record, $Extend among
// them, but the root).
int collectEntry(void* context, const ntfschar* name, const int length,
                 const int nameType, const s64, const MFT_REF ref,
                 const unsigned type) {
  Ntfs3gListing* search = static_cast<Ntfs3gListing*>(context);
  if (nameType == FILE_NAME_DOS) return 0;
  if (MREF(ref) < FILE_first_user && MREF(ref) != FILE_root) return 0;
  char* text = nullptr;
  const int bytes = ntfs_ucstombs(name, length, &text, 0);
  if (bytes < 0) return 0;
  std::string utf8(text, static_cast<size_t>(bytes));
  std::free(text);
  if (utf8 == "." || utf8 == "..") return 0;
  search->batch.push_back(ListedEntry{std::move(utf8), ref, type});
  return 0;
}

// The whole directory in one pass, as a mount reads it: libntfs-3g, asked
// to go on from a position inside an index block, ends such a listing with
// EIO although nothing is damaged.
bool refill(Ntfs3gListing* search) {
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

// What the listing and the report of found need from its record.
void examine(Ntfs3gVolume* volume, const std::string& dir, ListedEntry* found) {
  ntfs_inode* ni = ntfs_inode_open(volume->vol, found->ref);
  // A record that cannot be read is what its index entry says, as on a
  // mount: a damaged directory is still reported, and its listing fails.
  if (ni == nullptr) {
    found->directory = found->type == NTFS_DT_DIR;
    return;
  }
  found->opened = true;
  // A junction or symbolic link to a directory is an index too; as on a
  // mounted volume it is reported like a directory but never entered.
  found->index = (ni->mrec->flags & MFT_RECORD_IS_DIRECTORY) != 0;
  found->directory = found->index;
  found->link = (ni->flags & FILE_ATTR_REPARSE_POINT) != 0;
  found->securityId = le32_to_cpu(ni->security_id);
  // A link that NTFS does not mark as a directory counts as its target,
  // which the mount checks.
  std::string target;
  if (linkTarget(ni, &target)) {
    found->link = true;
    found->directory = linkLeadsToDirectory(volume->vol, dir, target);
  }
  ntfs_inode_close(ni);
}

// Reads the records of the whole listing in the order they lie in the MFT,
// not in the order of their names: a large directory's records are then
// read as one scan, not a page here and a page there.
void examineAll(Ntfs3gListing* search) {
  std::vector<ListedEntry>& batch = search->batch;
  std::vector<uint32_t> order(batch.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&batch](uint32_t a, uint32_t b) {
    return MREF(batch[a].ref) < MREF(batch[b].ref);
  });
  for (uint32_t i : order) examine(search->volume, search->inner, &batch[i]);
}

// Hands out the next entry.
bool handOut(Ntfs3gListing* search, VolumeEntry* entry) {
  Ntfs3gVolume* volume = search->volume;
  if (search->at >= search->batch.size()) {
    if (!refill(search)) {
      volume->listed = search->failed != 0 ? search->failed : kErrorNoMoreFiles;
      return false;
    }
    examineAll(search);
  }
  const ListedEntry& found = search->batch[search->at++];
  entry->name = found.name;
  entry->directory = found.directory;
  entry->link = found.link;
  return true;
}

}  // namespace

uint32_t openNtfs3gVolume(Source source, Volume** out) {
  *out = nullptr;
  Ntfs3gVolume* volume = new (std::nothrow) Ntfs3gVolume;
  if (volume == nullptr) {
    closeSource(&source);
    return kErrorNotEnoughMemory;
  }
  volume->device.source = std::move(source);
  const std::string label = volume->device.source.name;
  uint32_t status = 0;
  volume->dev =
      ntfs_device_alloc(label.c_str(), 0, &deviceOperations, &volume->device);
  if (volume->dev == nullptr) status = kErrorNotEnoughMemory;
  if (status == 0) {
    volume->vol = ntfs_device_mount(volume->dev, NTFS_MNT_RDONLY);
    if (volume->vol == nullptr) {
      status = errno == ENOMEM ? kErrorNotEnoughMemory : kErrorDiskCorrupt;
      if (NDevOpen(volume->dev)) deviceOperations.close(volume->dev);
      ntfs_device_free(volume->dev);
      volume->dev = nullptr;
    }
  }
  if (status != 0) {
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

Ntfs3gVolume::~Ntfs3gVolume() {
  if (vol != nullptr) ntfs_umount(vol, FALSE);  // closes and frees the device
  closeSource(&device.source);
}

uint32_t Ntfs3gVolume::descriptor(const std::string& inner,
                                  std::vector<uint8_t>* bytes) {
  const ListedEntry* found = walkedEntry(this, inner);
  if (found != nullptr && found->opened && found->securityId != 0 &&
      secureOpen(this))
    return secureDescriptor(this, found->securityId, bytes);
  ntfs_inode* ni = openInner(this, inner);
  if (ni == nullptr) return missingInodeError(this, inner, errno);
  const uint32_t status = storedDescriptor(this, ni, bytes);
  ntfs_inode_close(ni);
  return status;
}

bool Ntfs3gVolume::directoryIndex(const std::string& inner, uint64_t* index) {
  const ListedEntry* found = walkedEntry(this, inner);
  if (found != nullptr && found->opened) {
    *index = MREF(found->ref);
    return found->index;
  }
  ntfs_inode* ni = openInner(this, inner);
  if (ni == nullptr) return false;
  const bool directory = ni->mrec->flags & MFT_RECORD_IS_DIRECTORY;
  *index = ni->mft_no;
  ntfs_inode_close(ni);
  return directory;
}

uint32_t Ntfs3gVolume::openFile(const std::string& inner, Source* out) {
  ntfs_inode* ni = inner == "/"
                       ? ntfs_inode_open(vol, FILE_root)
                       : ntfs_pathname_to_inode(vol, nullptr, inner.c_str());
  if (ni == nullptr) return missingInodeError(this, inner, errno);
  if (ni->mrec->flags & MFT_RECORD_IS_DIRECTORY) {
    ntfs_inode_close(ni);
    return kErrorAccessDenied;
  }
  ntfs_attr* data = ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
  if (data == nullptr) {
    const uint32_t status = inodeError(errno);
    ntfs_inode_close(ni);
    return status;
  }
  out->size = static_cast<uint64_t>(data->data_size);
  out->name = device.source.name + inner;
  out->read = [data](uint64_t offset, size_t length, uint8_t* bytes) {
    return offset <= static_cast<uint64_t>(data->data_size) &&
           length <= static_cast<uint64_t>(data->data_size) - offset &&
           ntfs_attr_pread(data, static_cast<s64>(offset),
                           static_cast<s64>(length),
                           bytes) == static_cast<s64>(length);
  };
  out->close = [data, ni]() {
    ntfs_attr_close(data);
    ntfs_inode_close(ni);
  };
  return 0;
}

Listing* Ntfs3gVolume::list(const std::string& inner, VolumeEntry* entry) {
  ntfs_inode* dir = openInner(this, inner);
  if (dir == nullptr) {
    // As opendir fails: below a file is no directory, a damaged record is
    // a listing that failed.
    const uint32_t status = missingInodeError(this, inner, errno);
    listed = status == kErrorPathNotFound ? kErrorDirectory : status;
    return nullptr;
  }
  const bool loops =
      std::find(listing.begin(), listing.end(), dir->mft_no) != listing.end();
  listed = loops ? kErrorNoMoreFiles : kErrorDirectory;
  if (!(dir->mrec->flags & MFT_RECORD_IS_DIRECTORY) || loops) {
    ntfs_inode_close(dir);
    return nullptr;
  }
  Ntfs3gListing* search = new (std::nothrow) Ntfs3gListing;
  if (search == nullptr) {
    ntfs_inode_close(dir);
    listed = kErrorNotEnoughMemory;
    return nullptr;
  }
  search->volume = this;
  search->dir = dir;
  search->inner = inner;
  listing.push_back(dir->mft_no);
  if (!handOut(search, entry)) {
    delete search;
    return nullptr;
  }
  return search;
}

bool Ntfs3gListing::next(VolumeEntry* entry) { return handOut(this, entry); }

Ntfs3gListing::~Ntfs3gListing() {
  std::vector<uint64_t>& open = volume->listing;
  const auto own = std::find(open.begin(), open.end(), dir->mft_no);
  if (own != open.end()) open.erase(own);
  ntfs_inode_close(dir);
  // Only a listing read whole stands for its directory.
  if (read && failed == 0) keepWalked(volume, std::move(inner), &batch);
}

}  // namespace platform
}  // namespace vesk
