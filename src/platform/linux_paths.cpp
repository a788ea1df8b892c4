// Paths on Linux: reaching paths longer than the kernel takes, and forming
// full paths from the text.
#include <errno.h>
#include <fcntl.h>
#include <linux/limits.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/linux_internal.h"

namespace vesk {
namespace platform {

ReachablePath::ReachablePath(const char* path) : name_(path) {
  const std::string whole(path);
  const size_t slash = whole.find_last_of('/');
  if (whole.size() < PATH_MAX || slash == std::string::npos) return;
  int fd = open(whole[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  for (size_t at = 0; fd >= 0 && at < slash;) {
    size_t end = whole.find('/', at);
    if (end == std::string::npos || end > slash) end = slash;
    const std::string part = whole.substr(at, end - at);
    at = end + 1;
    if (part.empty()) continue;
    const int next = openat(fd, part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int error = errno;
    close(fd);
    fd = next;
    errno = error;
  }
  if (fd < 0) {
    error_ = errno;
    return;
  }
  parent_ = fd;
  const std::string leaf = whole.substr(slash + 1);
  name_ =
      "/proc/self/fd/" + std::to_string(fd) + "/" + (leaf.empty() ? "." : leaf);
}

ReachablePath::~ReachablePath() {
  if (parent_ >= 0) close(parent_);
}

namespace {

// Already a full path, as every path a walk forms is: nothing to resolve.
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

std::string absolutePathText(const std::string& path) {
  if (isCleanAbsolute(path)) return path;
  std::string whole = path;
  if (whole.empty() || whole[0] != '/') {
    std::vector<char> cwd(4096);
    while (getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE)
      cwd.resize(cwd.size() * 2);
    whole = std::string(cwd.data()) + "/" + whole;
  }
  std::vector<std::string> parts;
  for (size_t at = 0; at <= whole.size();) {
    size_t end = whole.find('/', at);
    if (end == std::string::npos) end = whole.size();
    const std::string part = whole.substr(at, end - at);
    at = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string text;
  for (const std::string& part : parts) text += "/" + part;
  return text.empty() ? "/" : text;
}

std::string fullPathPrefix(const std::string& dir) {
  const std::string whole = absolutePathText(dir);
  return whole == "/" ? whole : whole + "/";
}

}  // namespace platform
}  // namespace vesk
