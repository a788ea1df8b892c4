// Reads the NTFS descriptor of every object below a directory and prints
// nothing but a count: the cost of the reads alone, for two ways of
// asking. "twice" asks the size, then the bytes; "once" asks with a buffer
// of 64 KiB, the most an extended attribute can hold, so it is never short.
// Usage: read_probe once|twice DIR
#include <dirent.h>
#include <sys/xattr.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool once = false;
long objects = 0, failures = 0;
std::vector<char> buffer(65536);

void readOne(const std::string& path) {
  ++objects;
  ssize_t size;
  if (once) {
    size = lgetxattr(path.c_str(), "system.ntfs_acl", buffer.data(),
                     buffer.size());
  } else {
    size = lgetxattr(path.c_str(), "system.ntfs_acl", nullptr, 0);
    if (size >= 0)
      size = lgetxattr(path.c_str(), "system.ntfs_acl", buffer.data(),
                       static_cast<size_t>(size));
  }
  if (size < 0) ++failures;
}

void walk(const std::string& dir) {
  DIR* stream = opendir(dir.c_str());
  if (stream == nullptr) return;
  while (const dirent* entry = readdir(stream)) {
    if (std::strcmp(entry->d_name, ".") == 0 ||
        std::strcmp(entry->d_name, "..") == 0)
      continue;
    const std::string path = dir + "/" + entry->d_name;
    readOne(path);
    if (entry->d_type == DT_DIR) walk(path);
  }
  closedir(stream);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  once = std::strcmp(argv[1], "once") == 0;
  readOne(argv[2]);
  walk(argv[2]);
  std::printf("%ld objects, %ld failed\n", objects, failures);
  return failures == 0 ? 0 : 1;
}
