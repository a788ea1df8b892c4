// Which paths lead into the start path's disk image, and the volume
// (ntfs/volume.h) open on it for the run (image_route.cpp). No OS
// or library type here.
#pragma once

#include <cstdint>
#include <string>

#include "ntfs/volume.h"

namespace vesk {
namespace platform {

/// Where a path that passes through an image leads.
struct ImagePath {
  Volume* volume;     // nullptr when the image could not be opened
  uint32_t status;    // the error of the open, when volume is nullptr
  std::string inner;  // "/" or "/a/b" inside the volume
};

// examineStartPath (platform.h) remembers whether the start path passes
// through a regular file or a block device, or names one as file@N.

/// Whether path lies inside the start path's image and that is already
/// open (cheap: no system call).
bool findOpenImagePath(const std::string& path, ImagePath* out);

/// Whether path lies inside the start path's image; opens the volume on
/// first use (once, even when that fails), keeping it for the run.
bool findImagePath(const std::string& path, ImagePath* out);

/// The start path's volume when it has been opened for the run, with the
/// image's path (and "@N") in *key; nullptr when it has not (or could not
/// be).
Volume* openStartVolume(std::string* key);

/// The volume in the file (or block device) at file, partition wanted (0:
/// the first NTFS one), read-only, named label: 0 and *volume, kNotAnImage
/// or an error code.
uint32_t openVolumeOf(const std::string& file, uint32_t wanted,
                      const std::string& label, Volume** volume);

/// N of a last part "name@N" (N from 1 to 999) with *at on the "@"; 0 when
/// part has no such suffix.
uint32_t partitionSuffix(const std::string& part, size_t* at);

/// Closes the start path's image, if open, and forgets it.
void closeStartImage();

/// Whether path lies in the start path's image and that is already open;
/// no system call.
bool isOpenImagePath(const char* path);

}  // namespace platform
}  // namespace vesk
