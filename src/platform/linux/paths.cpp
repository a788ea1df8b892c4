// Paths on Linux: reaching paths longer than the kernel takes, and forming
// full paths from the text.
#include <errno.h>
#include <fcntl.h>
#include <linux/limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/path_parts.h"

namespace vesk {
namespace platform {
namespace {

// The directory through which the last long path was reached, kept open.
// A walk asks for one directory's entries after another, each beside or
// below the last, so the next long path is reached from here in a step or
// two instead of one directory at a time from the top: the cost of an
// object does not grow with its depth, and one descriptor serves any depth.
struct Anchor {
  int fd = -1;
  std::string path;  // the text that led to fd
  // From this length of path on, every part was entered by its name as a
  // directory, not through a link or "..": there ".." retraces the text.
  size_t retraceable = 0;
};

Anchor anchor;

// Paths shorter than this go to the kernel whole. A longer one is named
// from its parent's descriptor even below PATH_MAX: the kernel would look up
// every part of it again for each object, and on a FUSE volume each part
// whose cached entry has expired is a round trip to the daemon.
constexpr size_t kWholePath = 256;

void dropAnchor() {
  if (anchor.fd >= 0) close(anchor.fd);
  anchor = Anchor();
}

int openPart(int at, const char* part, bool* retraceable) {
  if (std::string(part) == "..") {
    *retraceable = false;
    return openat(at, part, O_PATH | O_DIRECTORY | O_CLOEXEC);
  }
  int fd = openat(at, part, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0 && (errno == ENOTDIR || errno == ELOOP)) {
    // A link to a directory: followed, as the kernel would follow it.
    fd = openat(at, part, O_PATH | O_DIRECTORY | O_CLOEXEC);
    *retraceable = false;
  }
  return fd;
}

// Moves the anchor down from its directory along the parts of dir beyond
// dir[0, from). false (errno set, anchor dropped) when a part cannot be
// entered.
bool descend(const std::string& dir, size_t from) {
  const bool reached =
      forEachPart(dir, from, [](const std::string& part, size_t end) {
        bool retraceable = true;
        const int next = openPart(anchor.fd, part.c_str(), &retraceable);
        if (next < 0) {
          const int error = errno;
          dropAnchor();
          errno = error;
          return false;
        }
        close(anchor.fd);
        anchor.fd = next;
        if (!retraceable) anchor.retraceable = end;
        return true;
      });
  if (reached) anchor.path = dir;
  return reached;
}

// The parts of text from offset on that name a directory each.
size_t partsAfter(const std::string& text, size_t from) {
  size_t parts = 0;
  forEachPart(text, from, [&parts](const std::string&, size_t) {
    ++parts;
    return true;
  });
  return parts;
}

// An O_PATH descriptor of the directory dir names, owned by the anchor; -1
// with errno set when it cannot be reached.
int reachDirectory(const std::string& dir) {
  // A relative path depends on the current directory: never kept.
  const bool absolute = !dir.empty() && dir[0] == '/';
  if (!absolute) dropAnchor();
  if (anchor.fd >= 0 && anchor.path == dir) return anchor.fd;
  if (anchor.fd >= 0 && dir.size() > anchor.path.size() &&
      dir.compare(0, anchor.path.size(), anchor.path) == 0 &&
      dir[anchor.path.size()] == '/')
    return descend(dir, anchor.path.size()) ? anchor.fd : -1;
  if (anchor.fd >= 0 && anchor.path.size() > dir.size() &&
      dir.size() >= anchor.retraceable &&
      anchor.path.compare(0, dir.size(), dir) == 0 &&
      anchor.path[dir.size()] == '/') {
    // Back up towards a directory the anchor was reached through.
    for (size_t up = partsAfter(anchor.path, dir.size()); up > 0; --up) {
      const int next =
          openat(anchor.fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (next < 0) {
        const int error = errno;
        dropAnchor();
        errno = error;
        return -1;
      }
      close(anchor.fd);
      anchor.fd = next;
    }
    anchor.path = dir;
    return anchor.fd;
  }
  // Afresh: the longest leading part the kernel takes whole, then down.
  dropAnchor();
  size_t head =
      dir.size() < PATH_MAX ? dir.size() : dir.rfind('/', PATH_MAX - 1);
  if (head == std::string::npos) head = 0;
  const std::string start =
      head == 0 ? (absolute ? "/" : ".") : dir.substr(0, head);
  anchor.fd = open(start.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (anchor.fd < 0) return -1;
  anchor.path = dir.substr(0, head);
  anchor.retraceable = head;
  return descend(dir, head) ? anchor.fd : -1;
}

}  // namespace

void releaseHeldDirectory() { dropAnchor(); }

namespace {

// Already a full path, as every path a walk forms is: nothing to resolve,
// and one look instead of a rebuild keeps the cost of a directory from
// growing with its depth.
bool isCleanAbsolute(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  if (path.size() > 1 && path.back() == '/') return false;
  for (size_t at = 0; at < path.size(); ++at) {
    if (path[at] != '/') continue;
    const size_t end = path.find('/', at + 1);
    const std::string_view part(
        path.data() + at + 1,
        (end == std::string::npos ? path.size() : end) - at - 1);
    if ((part.empty() && path.size() > 1) || part == "." || part == "..")
      return false;
  }
  return true;
}

}  // namespace

ReachablePath::ReachablePath(const char* path) : name_(path) {
  const std::string whole(path);
  const size_t slash = whole.find_last_of('/');
  if (whole.size() < kWholePath || slash == std::string::npos) return;
  const int parent = reachDirectory(whole.substr(0, slash));
  if (parent < 0) {
    error_ = errno;
    return;
  }
  const std::string leaf = whole.substr(slash + 1);
  name_ = "/proc/self/fd/" + std::to_string(parent) + "/" +
          (leaf.empty() ? "." : leaf);
}

// ".." is resolved by the text only where what stands before it is no
// link: behind a link it names the parent of the link's target, so it
// stays, and the paths below keep naming what the kernel lists. Nothing
// here limits the length.
std::string absolutePathText(const std::string& path) {
  if (isCleanAbsolute(path)) return path;
  std::string whole = path;
  if (whole.empty() || whole[0] != '/') {
    std::vector<char> cwd(4096);
    while (getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE)
      cwd.resize(cwd.size() * 2);
    whole = std::string(cwd.data()) + "/" + whole;
  }
  std::string text;            // "/a/b", "" for the root
  std::vector<size_t> starts;  // where each part of text begins, at its "/"
  forEachPart(whole, 0, [&](const std::string& part, size_t) {
    if (part == ".." && starts.empty()) return true;  // the root's parent
    if (part == "..") {
      struct stat st;
      const bool kept =
          text.compare(starts.back(), std::string::npos, "/..") == 0 ||
          (lstat(ReachablePath(text.c_str()).name(), &st) == 0 &&
           S_ISLNK(st.st_mode));
      if (!kept) {
        text.resize(starts.back());
        starts.pop_back();
        return true;
      }
    }
    starts.push_back(text.size());
    text += "/" + part;
    return true;
  });
  return text.empty() ? "/" : text;
}

std::string fullPathPrefix(const std::string& dir) {
  const std::string whole = absolutePathText(dir);
  return whole == "/" ? whole : whole + "/";
}

}  // namespace platform
}  // namespace vesk
