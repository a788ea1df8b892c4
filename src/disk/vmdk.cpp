// VMDK disks through libvmdk: monolithic and split sparse extents,
// stream-optimized ones, and flat extents named by a descriptor file, all
// looked for in the folder of the file given. A disk made on a parent (a
// snapshot) finds it beside it by the name it records (openParentChain).
// A row of the container table (containers.cpp), built with libvmdk.
#include <libvmdk.h>

#include <string>
#include <vector>

#include "disk/library_disk.h"

namespace vesk {
namespace platform {

namespace {

// The error of one call, freed at the end of its scope.
struct Error {
  libvmdk_error_t* at = nullptr;
  ~Error() {
    if (at != nullptr) libvmdk_error_free(&at);
  }
};

struct Vmdk {
  using Handle = libvmdk_handle_t;
  static constexpr bool kInFolder = false;

  static bool open(const std::string& path, Handle** handle,
                   std::string* parent, uint32_t*) {
    Error error;
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    size_t size = 0;
    if (libvmdk_handle_initialize(handle, &error.at) != 1 ||
        libvmdk_handle_open(*handle, path.c_str(), LIBVMDK_OPEN_READ,
                            &error.at) != 1 ||
        libvmdk_handle_set_extent_data_files_path(
            *handle, folder.c_str(), folder.size(), &error.at) != 1 ||
        libvmdk_handle_open_extent_data_files(*handle, &error.at) != 1)
      return false;
    const int named =
        libvmdk_handle_get_utf8_parent_filename_size(*handle, &size, &error.at);
    if (named != 1 || size < 2) return named == 0;
    std::vector<uint8_t> name(size);
    if (libvmdk_handle_get_utf8_parent_filename(*handle, name.data(), size,
                                                &error.at) != 1)
      return false;
    *parent = reinterpret_cast<const char*>(name.data());
    return true;
  }

  static bool setParent(Handle* child, Handle* parent) {
    Error error;
    return libvmdk_handle_set_parent_handle(child, parent, &error.at) == 1;
  }

  static bool mediaSize(Handle* handle, uint64_t* size) {
    Error error;
    size64_t media = 0;
    const bool known =
        libvmdk_handle_get_media_size(handle, &media, &error.at) == 1;
    *size = media;
    return known;
  }

  static long read(Handle* handle, uint8_t* out, size_t length, uint64_t at) {
    Error error;
    return libvmdk_handle_read_buffer_at_offset(
        handle, out, length, static_cast<off64_t>(at), &error.at);
  }

  static void release(Handle* handle) {
    Error error;
    libvmdk_handle_close(handle, &error.at);
    libvmdk_handle_free(&handle, &error.at);
  }
};

}  // namespace

uint32_t openVmdk(const std::string& path, Source* out) {
  return openLibraryDisk<Vmdk>(path, out);
}

}  // namespace platform
}  // namespace vesk
