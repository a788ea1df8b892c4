// What the files of the Linux layer share, and the pieces its tests reach
// directly. No OS type here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/errno_codes.h"
#include "platform/platform.h"
#include "sd/descriptor.h"

namespace vesk {
namespace platform {

// The block getNamedSecurityInfo hands out: this record, then the bytes
// the view points into.
struct SecurityDescriptor {
  DescriptorView view;
  uint16_t control;  // as GetSecurityDescriptorControl reports it
  uint32_t size;     // of the bytes after this record
};

/// Records code for getLastError; always false.
bool fail(uint32_t code);

/// The bytes of a SID handed across the interface.
inline const uint8_t* bytesOf(const Sid* sid) {
  return reinterpret_cast<const uint8_t*>(sid);
}

/// Reads the self-relative descriptor stored for path into *bytes, a buffer
/// the caller reuses between objects: kErrorSuccess or a Windows error code.
/// followLink: a link at path stands for what it points to; otherwise the
/// link's own descriptor is read.
using DescriptorReader = uint32_t (*)(const char* path, bool followLink,
                                      std::vector<uint8_t>* bytes);

/// The descriptor that ntfs-3g (system.ntfs_acl) or the kernel's ntfs3
/// (system.ntfs_security) exposes as an extended attribute of a mounted file.
uint32_t readXattrDescriptor(const char* path, bool followLink,
                             std::vector<uint8_t>* bytes);

/// Whether path itself is a symbolic link of a mounted file system.
bool isMountedLink(const char* path);

/// Whether the NTFS attributes of path itself mark a directory, as those of
/// a junction do even when its target cannot be reached.
bool ntfsAttributesSayDirectory(const char* path);

/// ntfs-3g's system.ntfs_acl alone.
uint32_t readNtfs3gDescriptor(const char* path, bool followLink,
                              std::vector<uint8_t>* bytes);

/// The kernel ntfs3's system.ntfs_security alone.
uint32_t readNtfs3Descriptor(const char* path, bool followLink,
                             std::vector<uint8_t>* bytes);

/// The descriptor inside Samba's security.NTACL (versions 1 to 4) on a
/// Linux file system, moved to the start of *bytes. kErrorNoSecurityOnObject
/// when the file has no such attribute; kErrorInvalidSecurityDescr when the
/// wrapper holds no descriptor.
uint32_t readNtaclDescriptor(const char* path, bool followLink,
                             std::vector<uint8_t>* bytes);

/// Every source in turn (NTFS, then Samba), for a file system not known.
uint32_t readAnyDescriptor(const char* path, bool followLink,
                           std::vector<uint8_t>* bytes);

/// getxattr (followLink) or lgetxattr of the attribute name of path (a name
/// the kernel accepts) into *value in one call: 0, or the errno.
int readAttribute(const char* path, bool followLink, const char* name,
                  std::vector<uint8_t>* value);

/// The reader that answers for path: the one of the file system that holds
/// path's parent directory, which is looked up once and remembered.
DescriptorReader descriptorReaderFor(const char* path);

/// The reader of the file system that holds path itself, for a path that
/// its parent's reader found nothing for (a mount point); nullptr when that
/// cannot be told.
DescriptorReader descriptorReaderOfObject(const char* path);

/// The reader for a file system type (statfs's f_type).
DescriptorReader descriptorReaderOfType(int64_t fileSystemType);

/// The account that winbindd knows for a valid SID: true with its bare name
/// and its domain. A winbindd that does not answer is asked
/// once per run; each identifier is asked once per run.
bool winbindAccountName(const uint8_t* sid, std::string* name,
                        std::string* domain);

// The kernel takes at most PATH_MAX bytes of path in one call. A longer
// path is reached through a descriptor of its parent directory, and its last
// part is then named through /proc/self/fd, which is short. The layer keeps
// that one descriptor from path to path (see linux_paths.cpp), so the name
// holds until the next ReachablePath is made.
class ReachablePath {
 public:
  explicit ReachablePath(const char* path);
  ReachablePath(const ReachablePath&) = delete;
  ReachablePath& operator=(const ReachablePath&) = delete;

  /// A name for the path that the kernel accepts (the path itself if short).
  const char* name() const { return name_.c_str(); }
  /// errno of a failed walk to the parent, or 0.
  int error() const { return error_; }

 private:
  int error_ = 0;
  std::string name_;
};

/// Closes the directory kept open for long paths (paths.cpp).
void releaseHeldDirectory();

/// Forgets the file system readers remembered by directory
/// (descriptor_choice.cpp).
void resetReaderMemory();

/// Frees the buffer that descriptors are read into (descriptors.cpp).
void releaseDescriptorBuffer();

/// The name that the evidence's registry gives sid (its text), if any,
/// read by readEvidenceNames (evidence_names.cpp).
bool evidenceAccountName(const std::string& sid, std::string* name,
                         std::string* domain);

/// Forgets the evidence's names (evidence_names.cpp).
void resetEvidenceNames();

/// Forgets winbindd's answers and whether it is there
/// (accounts_winbind.cpp).
void resetWinbind();

/// Sets the last error back to kErrorSuccess (errors.cpp).
void resetLastError();

/// The Linux layer's resetRun(): brings every piece of its state back to
/// its start (reset.cpp), closing what it holds open (the start path's
/// image, the directory kept for long paths). A test that unmounts a volume,
/// or runs the layer afresh, calls it.
void resetLayer();

/// path as a full path, formed as Windows forms one: the current directory
/// before a relative path, then ".", repeated separators and every ".."
/// that follows no link resolved by the text alone (behind a link, ".."
/// names the parent of its target and stays), links not followed, so that
/// the blocks below a path keep the path the user gave. "/a/b", no
/// separator at the end but in "/".
std::string absolutePathText(const std::string& path);

/// dir as absolutePathText forms it, ending in "/".
std::string fullPathPrefix(const std::string& dir);

/// The \\server\share names of the cifs and smb3 mounts listed in a mount
/// table (the format of /proc/self/mounts), in table order, into *remoteNames;
/// false when the table cannot be opened.
bool readNetworkShares(const char* table,
                       std::vector<std::string>* remoteNames);

}  // namespace platform
}  // namespace vesk
