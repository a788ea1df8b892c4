// QCOW and QCOW2 disks through libqcow, compressed clusters included. A
// disk with a backing file reads the clusters it does not hold from it:
// the path recorded, from the disk's folder, else the file of that name
// beside the disk (openParentChain). libqcow reads only QCOW backing
// files: a backing file of another format (raw), like an encrypted disk,
// is not supported rather than read as zeros. A row of the container
// table (containers.cpp), built with libqcow.
#include <libqcow.h>

#include <string>
#include <vector>

#include "disk/library_disk.h"

namespace vesk {
namespace platform {

namespace {

// The error of one call, freed at the end of its scope.
struct Error {
  libqcow_error_t* at = nullptr;
  ~Error() {
    if (at != nullptr) libqcow_error_free(&at);
  }
};

// Whether the file at path is there but does not start as QCOW files do.
bool isForeignFile(const std::string& path) {
  Source file;
  if (openRawFile(path, &file) != 0) return false;
  uint8_t magic[4] = {};
  const bool qcow = file.size >= sizeof magic &&
                    file.read(0, sizeof magic, magic) && magic[0] == 'Q' &&
                    magic[1] == 'F' && magic[2] == 'I' && magic[3] == 0xFB;
  closeSource(&file);
  return !qcow;
}

struct Qcow {
  using Handle = libqcow_file_t;
  static constexpr bool kInFolder = true;

  static bool open(const std::string& path, Handle** file, std::string* parent,
                   uint32_t* refused) {
    Error error;
    uint32_t method = 0;
    size_t size = 0;
    if (isForeignFile(path)) {
      *refused = kErrorNotSupported;
      return false;
    }
    if (libqcow_file_initialize(file, &error.at) != 1 ||
        libqcow_file_open(*file, path.c_str(), LIBQCOW_OPEN_READ, &error.at) !=
            1 ||
        libqcow_file_get_encryption_method(*file, &method, &error.at) != 1)
      return false;
    if (method != LIBQCOW_ENCRYPTION_METHOD_NONE) {
      *refused = kErrorNotSupported;
      return false;
    }
    const int named =
        libqcow_file_get_utf8_backing_filename_size(*file, &size, &error.at);
    if (named != 1 || size < 2) return named == 0;
    std::vector<uint8_t> name(size);
    if (libqcow_file_get_utf8_backing_filename(*file, name.data(), size,
                                               &error.at) != 1)
      return false;
    *parent = reinterpret_cast<const char*>(name.data());
    return true;
  }

  static bool setParent(Handle* child, Handle* parent) {
    Error error;
    return libqcow_file_set_parent_file(child, parent, &error.at) == 1;
  }

  static bool mediaSize(Handle* file, uint64_t* size) {
    Error error;
    size64_t media = 0;
    const bool known =
        libqcow_file_get_media_size(file, &media, &error.at) == 1;
    *size = media;
    return known;
  }

  static long read(Handle* file, uint8_t* out, size_t length, uint64_t at) {
    Error error;
    return libqcow_file_read_buffer_at_offset(
        file, out, length, static_cast<off64_t>(at), &error.at);
  }

  static void release(Handle* file) {
    Error error;
    libqcow_file_close(file, &error.at);
    libqcow_file_free(&file, &error.at);
  }
};

}  // namespace

uint32_t openQcow(const std::string& path, Source* out) {
  return openLibraryDisk<Qcow>(path, out);
}

}  // namespace platform
}  // namespace vesk
