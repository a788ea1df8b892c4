// Network drives on Linux: the cifs and smb3 mounts of the mount table,
// named as Windows names a connected share.
#include <mntent.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/linux/linux_internal.h"
#include "platform/platform.h"

namespace vesk {
namespace platform {

struct NetEnum {
  std::vector<std::string> remoteNames;
  size_t next = 0;
};

namespace {

// getmntent_r cuts a line at its buffer and drops the rest. The source and
// the mount point come first, each at most PATH_MAX bytes in practice, and
// the table writes a blank, tab, newline or backslash in them as four
// characters: room for both and the type keeps every type whole.
constexpr size_t kMountLineRoom = 64 * 1024;

bool isNetworkType(const char* type) {
  return std::strcmp(type, "cifs") == 0 || std::strcmp(type, "smb3") == 0;
}

}  // namespace

bool readNetworkShares(const char* table,
                       std::vector<std::string>* remoteNames) {
  FILE* mounts = setmntent(table, "r");
  if (mounts == nullptr) return false;
  std::vector<char> line(kMountLineRoom);
  mntent entry;
  while (getmntent_r(mounts, &entry, line.data(),
                     static_cast<int>(line.size())) != nullptr) {
    if (!isNetworkType(entry.mnt_type)) continue;
    // getmntent_r has undone the table's escapes; //server/share becomes
    // \\server\share.
    std::string remote = entry.mnt_fsname;
    for (char& c : remote) {
      if (c == '/') c = '\\';
    }
    remoteNames->push_back(remote);
  }
  endmntent(mounts);
  return true;
}

uint32_t wnetOpenEnum(NetEnum** handle) {
  if (handle == nullptr) return kErrorInvalidParameter;
  std::vector<std::string> remoteNames;
  if (!readNetworkShares("/proc/self/mounts", &remoteNames))
    return kErrorNoNetwork;
  NetEnum* found = new (std::nothrow) NetEnum;
  if (found == nullptr) return kErrorNotEnoughMemory;
  found->remoteNames = std::move(remoteNames);
  *handle = found;
  return kErrorSuccess;
}

uint32_t wnetEnumResource(NetEnum* handle, std::string* remoteName) {
  if (handle == nullptr || remoteName == nullptr) return kErrorInvalidHandle;
  if (handle->next >= handle->remoteNames.size()) return kErrorNoMoreItems;
  *remoteName = handle->remoteNames[handle->next++];
  return kErrorSuccess;
}

void wnetCloseEnum(NetEnum* handle) { delete handle; }

}  // namespace platform
}  // namespace vesk
