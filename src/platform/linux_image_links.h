// Links inside a volume read from an image, resolved as a mount by
// ntfs-3g resolves them: symbolic links and junctions that NTFS stores as
// reparse points, and the Interix links that ntfs-3g makes for ln -s.
#pragma once

#include <string>
#include <vector>  // before libntfs-3g, whose macros break it

#include "platform/ntfs3g.h"

namespace vesk {
namespace platform {

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
