// Directory search on Linux: each listing is its namespace's (the mounted
// tree's or an image's), with the full paths Windows' FindFirstFile forms.
#include <string>
#include <utility>

#include "platform/linux/linux_internal.h"
#include "platform/linux/namespace.h"
#include "platform/platform.h"

namespace vesk {
namespace platform {

FindHandle* findFirst(const std::string& dir, FindEntry* entry) {
  if (entry == nullptr) {
    fail(kErrorInvalidParameter);
    return nullptr;
  }
  uint32_t status = kErrorNoMoreFiles;
  FindHandle* handle = pathNamespace().list(dir, entry, &status);
  if (handle == nullptr) fail(status);
  return handle;
}

bool findNext(FindHandle* handle, FindEntry* entry) {
  if (handle == nullptr || entry == nullptr) return false;
  FindEntry next;
  uint32_t status = kErrorNoMoreFiles;
  if (!handle->next(handle, &next, &status)) return fail(status);
  *entry = std::move(next);
  return true;
}

void findClose(FindHandle* handle) {
  if (handle != nullptr) handle->close(handle);
}

bool directoryIdentity(const std::string& dir, DirectoryIdentity* identity) {
  return pathNamespace().identity(dir, identity);
}

}  // namespace platform
}  // namespace vesk
