// Links inside an image's volume, followed as the kernel follows them
// through a mount by ntfs-3g.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ntfs/ntfs3g_internal.h"
#include "platform/path_parts.h"

namespace vesk {
namespace platform {

namespace {

// Links followed one after another before a target counts as unreachable,
// as the kernel counts them.
constexpr int kLinkHops = 40;
// "IntxLNK\1" and the UTF-16 text of a target of at most 4,096 units.
constexpr s64 kInterixLinkMax = 8 + 2 * 4096;

std::string innerOf(const std::vector<std::string>& parts) {
  std::string inner;
  for (const std::string& part : parts) inner += "/" + part;
  return inner.empty() ? "/" : inner;
}

// The object that target names from the directory *parts, as the kernel
// resolves a link through a mount: links on the way followed, ".." taken
// from the directory reached. False for a target that leaves the volume
// (absolute, or above its root), is missing, or loops.
bool resolveLink(ntfs_volume* vol, const std::string& target, int* hops,
                 std::vector<std::string>* parts) {
  if (target.empty() || target[0] == '/' || ++*hops > kLinkHops) return false;
  return forEachPart(target, 0, [&](const std::string& part, size_t) {
    if (part == "..") {
      if (parts->empty()) return false;
      parts->pop_back();
      return true;
    }
    parts->push_back(part);
    ntfs_inode* ni =
        ntfs_pathname_to_inode(vol, nullptr, innerOf(*parts).c_str());
    if (ni == nullptr) return false;
    std::string next;
    const bool link = linkTarget(ni, &next);
    ntfs_inode_close(ni);
    if (link) {
      parts->pop_back();
      if (!resolveLink(vol, next, hops, parts)) return false;
    }
    return true;
  });
}

// The parts of inner ("/a/b").
std::vector<std::string> partsOf(const std::string& inner) {
  std::vector<std::string> parts;
  forEachPart(inner, 0, [&parts](const std::string& part, size_t) {
    parts.push_back(part);
    return true;
  });
  return parts;
}

bool isDirectory(ntfs_volume* vol, const std::vector<std::string>& parts) {
  if (parts.empty()) return true;  // the root
  ntfs_inode* ni = ntfs_pathname_to_inode(vol, nullptr, innerOf(parts).c_str());
  if (ni == nullptr) return false;
  const bool directory = (ni->mrec->flags & MFT_RECORD_IS_DIRECTORY) != 0;
  ntfs_inode_close(ni);
  return directory;
}

}  // namespace

// The target of the link that ni holds, as a mount by ntfs-3g shows it: a
// reparse point that is no directory, or an Interix symbolic link (a system
// file holding "IntxLNK\1" and UTF-16 text, what ntfs-3g makes for ln -s).
bool linkTarget(ntfs_inode* ni, std::string* target) {
  if (ni->mrec->flags & MFT_RECORD_IS_DIRECTORY) return false;
  if (ni->flags & FILE_ATTR_REPARSE_POINT) {
    char* text = ntfs_make_symlink(ni, "");
    if (text == nullptr) return false;
    *target = text;
    std::free(text);
    return true;
  }
  if (!(ni->flags & FILE_ATTR_SYSTEM)) return false;
  ntfs_attr* na = ntfs_attr_open(ni, AT_DATA, AT_UNNAMED, 0);
  if (na == nullptr) return false;
  std::vector<uint8_t> data;
  const s64 size = na->data_size;
  bool read = size > 8 && size <= kInterixLinkMax && size % 2 == 0;
  if (read) {
    data.resize(static_cast<size_t>(size));
    read = ntfs_attr_pread(na, 0, size, data.data()) == size;
  }
  ntfs_attr_close(na);
  if (!read || std::memcmp(data.data(), "IntxLNK\1", 8) != 0) return false;
  char* text = nullptr;
  const int bytes =
      ntfs_ucstombs(reinterpret_cast<const ntfschar*>(data.data() + 8),
                    static_cast<int>((data.size() - 8) / 2), &text, 0);
  if (bytes < 0) return false;
  target->assign(text, static_cast<size_t>(bytes));
  std::free(text);
  return true;
}

bool linkLeadsToDirectory(ntfs_volume* vol, const std::string& inner,
                          const std::string& target) {
  std::vector<std::string> parts = partsOf(inner);
  int hops = 0;
  return resolveLink(vol, target, &hops, &parts) && isDirectory(vol, parts);
}

std::string resolvedInner(ntfs_volume* vol, const std::string& inner,
                          bool* directory) {
  std::vector<std::string> parts;
  int hops = 0;
  // The path from the root, read as a link's target is read.
  if (inner == "/" || !resolveLink(vol, inner.substr(1), &hops, &parts)) {
    *directory = true;
    return inner;
  }
  *directory = isDirectory(vol, parts);
  return innerOf(parts);
}

}  // namespace platform
}  // namespace vesk
