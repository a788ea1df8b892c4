// VHD and VHDX disks through libvhdi: fixed, dynamic and differencing. A
// differencing disk's parent is the file of the name it records, beside it
// (openParentChain). Two rows of the container table (containers.cpp),
// built with libvhdi.
#include <libvhdi.h>

#include <string>
#include <vector>

#include "disk/library_disk.h"

namespace vesk {
namespace platform {

namespace {

// The error of one call, freed at the end of its scope.
struct Error {
  libvhdi_error_t* at = nullptr;
  ~Error() {
    if (at != nullptr) libvhdi_error_free(&at);
  }
};

struct Vhdi {
  using Handle = libvhdi_file_t;
  static constexpr bool kInFolder = false;

  static bool open(const std::string& path, Handle** file, std::string* parent,
                   uint32_t*) {
    Error error;
    uint32_t type = 0;
    size_t size = 0;
    if (libvhdi_file_initialize(file, &error.at) != 1 ||
        libvhdi_file_open(*file, path.c_str(), LIBVHDI_OPEN_READ, &error.at) !=
            1 ||
        libvhdi_file_get_disk_type(*file, &type, &error.at) != 1)
      return false;
    if (type != LIBVHDI_DISK_TYPE_DIFFERENTIAL) return true;
    if (libvhdi_file_get_utf8_parent_filename_size(*file, &size, &error.at) !=
            1 ||
        size < 2)
      return false;
    std::vector<uint8_t> name(size);
    if (libvhdi_file_get_utf8_parent_filename(*file, name.data(), size,
                                              &error.at) != 1)
      return false;
    *parent = reinterpret_cast<const char*>(name.data());
    return !parent->empty();
  }

  static bool setParent(Handle* child, Handle* parent) {
    Error error;
    return libvhdi_file_set_parent_file(child, parent, &error.at) == 1;
  }

  static bool mediaSize(Handle* file, uint64_t* size) {
    Error error;
    size64_t media = 0;
    const bool known =
        libvhdi_file_get_media_size(file, &media, &error.at) == 1;
    *size = media;
    return known;
  }

  static long read(Handle* file, uint8_t* out, size_t length, uint64_t at) {
    Error error;
    return libvhdi_file_read_buffer_at_offset(
        file, out, length, static_cast<off64_t>(at), &error.at);
  }

  static void release(Handle* file) {
    Error error;
    libvhdi_file_close(file, &error.at);
    libvhdi_file_free(&file, &error.at);
  }
};

}  // namespace

uint32_t openVhdi(const std::string& path, Source* out) {
  return openLibraryDisk<Vhdi>(path, out);
}

}  // namespace platform
}  // namespace vesk
