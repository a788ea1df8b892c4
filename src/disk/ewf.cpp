// EWF (E01) evidence files through libewf: the media behind all segments
// (.E01, .E02, ... found beside the first, links to it followed) as one
// source: a row of the container table (containers.cpp), built with libewf.
#include <libewf.h>

#include <memory>
#include <string>

#include "disk/library_disk.h"
#include "disk/source.h"
#include "platform/errors.h"

namespace vesk {
namespace platform {

namespace {

void dropError(libewf_error_t** error) {
  if (*error != nullptr) libewf_error_free(error);
}

}  // namespace

uint32_t openEwf(const std::string& typed, Source* source) {
  const std::string path = resolvedPath(typed);
  libewf_error_t* error = nullptr;
  char** names = nullptr;
  int count = 0;
  if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names,
                  &count, &error) != 1) {
    dropError(&error);
    return kErrorDiskCorrupt;
  }
  libewf_handle_t* handle = nullptr;
  uint32_t status = kErrorDiskCorrupt;
  size64_t size = 0;
  if (libewf_handle_initialize(&handle, &error) == 1) {
    // A set with a segment missing opens, but ends without its last
    // section: libewf calls it corrupted. Its reads would fail (and leak
    // inside libewf), so it is refused here.
    if (libewf_handle_open(handle, names, count, LIBEWF_OPEN_READ, &error) ==
            1 &&
        libewf_handle_segment_files_corrupted(handle, &error) == 0 &&
        libewf_handle_get_media_size(handle, &size, &error) == 1) {
      status = 0;
    } else if (handle != nullptr) {
      dropError(&error);
      libewf_handle_close(handle, &error);
      dropError(&error);
      libewf_handle_free(&handle, &error);
    }
  }
  dropError(&error);
  libewf_glob_free(names, count, &error);
  dropError(&error);
  if (status != 0) return status;

  source->size = size;
  source->name = typed;
  source->read = [handle](uint64_t offset, size_t length, uint8_t* out) {
    libewf_error_t* readError = nullptr;
    const bool read = readInPieces(
        offset, length, out, [&](uint8_t* to, size_t size, uint64_t at) {
          return libewf_handle_read_random(
              handle, to, size, static_cast<off64_t>(at), &readError);
        });
    dropError(&readError);
    return read;
  };
  source->close = [handle]() mutable {
    libewf_error_t* closeError = nullptr;
    libewf_handle_close(handle, &closeError);
    dropError(&closeError);
    libewf_handle_free(&handle, &closeError);
    dropError(&closeError);
  };
  return 0;
}

}  // namespace platform
}  // namespace vesk
