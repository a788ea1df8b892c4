// Split raw images through libsmraw: the pieces of one raw disk (name.001,
// name.002, ...; name.aa, name.ab, ...; name.raw.000, ...) found beside the
// first, links to it followed. A row of the container table
// (containers.cpp, which says how the first piece is recognised), built
// with libsmraw.
#include <libsmraw.h>

#include <string>

#include "disk/library_disk.h"

namespace vesk {
namespace platform {

namespace {

// The error of one call, freed at the end of its scope.
struct Error {
  libsmraw_error_t* at = nullptr;
  ~Error() {
    if (at != nullptr) libsmraw_error_free(&at);
  }
};

// The pieces' names that libsmraw finds from the first, freed at the end.
struct Pieces {
  char** names = nullptr;
  int count = 0;
  ~Pieces() {
    Error error;
    if (names != nullptr) libsmraw_glob_free(names, count, &error.at);
  }
};

struct Smraw {
  using Handle = libsmraw_handle_t;
  static constexpr bool kInFolder = false;

  // One handle over every piece; a set has no parent.
  static bool open(const std::string& path, Handle** handle, std::string*,
                   uint32_t*) {
    Error error;
    Pieces pieces;
    return libsmraw_glob(path.c_str(), path.size(), &pieces.names,
                         &pieces.count, &error.at) == 1 &&
           libsmraw_handle_initialize(handle, &error.at) == 1 &&
           libsmraw_handle_open(*handle, pieces.names, pieces.count,
                                LIBSMRAW_OPEN_READ, &error.at) == 1;
  }

  static bool setParent(Handle*, Handle*) { return false; }

  static bool mediaSize(Handle* handle, uint64_t* size) {
    Error error;
    size64_t media = 0;
    const bool known =
        libsmraw_handle_get_media_size(handle, &media, &error.at) == 1;
    *size = media;
    return known;
  }

  static long read(Handle* handle, uint8_t* out, size_t length, uint64_t at) {
    Error error;
    return libsmraw_handle_read_buffer_at_offset(
        handle, out, length, static_cast<off64_t>(at), &error.at);
  }

  static void release(Handle* handle) {
    Error error;
    libsmraw_handle_close(handle, &error.at);
    libsmraw_handle_free(&handle, &error.at);
  }
};

}  // namespace

uint32_t openSmraw(const std::string& path, Source* out) {
  return openLibraryDisk<Smraw>(path, out);
}

}  // namespace platform
}  // namespace vesk
