// The pieces of the libntfs-3g volume reader that work on the library's
// own records: stored descriptors (secure.cpp) and links, resolved as a
// mount by ntfs-3g resolves them (links.cpp): symbolic links and
// junctions that NTFS stores as reparse points, and the Interix links that
// ntfs-3g makes for ln -s.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ntfs/ntfs3g.h"
#include "ntfs/volume.h"

namespace vesk {
namespace platform {

/// The descriptor kept in $Secure for securityId, without $SDS's header.
/// 0, kErrorNoSecurityOnObject (no such id) or kErrorFileCorrupt.
uint32_t readSecureDescriptor(ntfs_volume* vol, uint32_t securityId,
                              std::vector<uint8_t>* bytes);

/// The descriptor in ni's own $SECURITY_DESCRIPTOR attribute. 0,
/// kErrorNoSecurityOnObject (none) or kErrorFileCorrupt.
uint32_t readOwnDescriptor(ntfs_inode* ni, std::vector<uint8_t>* bytes);

/// The target of the link that ni holds, as a mount shows it: true for a
/// reparse point that is no directory or an Interix symbolic link.
bool linkTarget(ntfs_inode* ni, std::string* target);

/// Whether the link target, read in the directory inner, leads to a
/// directory of the volume.
bool linkLeadsToDirectory(ntfs_volume* vol, const std::string& inner,
                          const std::string& target);

/// inner with every link on the way and at its end followed; inner itself
/// when it cannot be resolved. *directory: whether the end is a directory.
std::string resolvedInner(ntfs_volume* vol, const std::string& inner,
                          bool* directory);

}  // namespace platform
}  // namespace vesk
