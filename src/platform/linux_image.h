// Volumes read straight from disk images, partitions and evidence files,
// as the Linux layer's second source of descriptors and directory entries.
// No OS or library type here: the pieces behind it are chosen by CMake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/partition_table.h"

namespace vesk {
namespace platform {

// ---- Byte sources (linux_image_volume.cpp and linux_image_ewf.cpp).

/// A readable image: its bytes and size. read stays valid while the source
/// lives; close releases what it holds.
struct ImageSource {
  ReadAt read;
  uint64_t size = 0;
  std::function<void()> close;
};

/// Whether the first bytes of a file are an EWF (E01) segment's.
bool isEwfSignature(const uint8_t* bytes, size_t length);

/// Opens the evidence file and the segments beside it, read-only. 0, or
/// kErrorNotSupported without libewf, or kErrorDiskCorrupt.
uint32_t openEwfSource(const std::string& path, ImageSource* source);

// ---- Volumes (linux_image_volume.cpp, or linux_image_none.cpp).

struct ImageVolume;
struct ImageSearch;

/// One entry handed out by a search inside a volume.
struct ImageEntry {
  std::string name;  // UTF-8
  bool directory;    // an index, a link or junction to a directory too
  bool link;         // a reparse point: a link or junction
};

/// Opens the NTFS volume in source (partition wanted, 0 = first NTFS one)
/// read-only. 0 and *volume, or an error code; source is closed on failure.
/// label names the volume in the stderr line about stale metadata.
uint32_t openImageVolume(ImageSource source, uint32_t wanted,
                         const std::string& label, ImageVolume** volume);

/// Unmounts and closes.
void closeImageVolume(ImageVolume* volume);

/// The stored descriptor of the object at inner ("/" = root, "/a/b").
/// 0, or an error code (kErrorNoSecurityOnObject when nothing is stored).
uint32_t imageDescriptor(ImageVolume* volume, const std::string& inner,
                         std::vector<uint8_t>* bytes);

/// The record number of the directory at inner, in *index: true when it
/// can be opened and is a directory.
bool imageDirectoryIndex(ImageVolume* volume, const std::string& inner,
                         uint64_t* index);

/// Starts listing the directory at inner: nullptr when it cannot be read
/// or holds nothing, else the first entry in *entry.
ImageSearch* imageFindFirst(ImageVolume* volume, const std::string& inner,
                            ImageEntry* entry);

/// The next entry; false after the last one.
bool imageFindNext(ImageSearch* search, ImageEntry* entry);

/// Why the last imageFindFirst or imageFindNext on volume gave nothing:
/// kErrorNoMoreFiles at the end of a listing, kErrorDirectory for no
/// directory, else the error that cut the listing short.
uint32_t imageListStatus(const ImageVolume* volume);

/// inner ("/a/b") with every link on the way and at its end followed
/// inside the volume, as a mount follows them; inner itself when it cannot
/// be resolved. *directory: whether the object reached is a directory.
std::string imageResolve(ImageVolume* volume, const std::string& inner,
                         bool* directory);

/// Ends the listing.
void imageFindClose(ImageSearch* search);

// ---- Routing (linux_image_route.cpp).

/// Where a path that passes through an image leads.
struct ImagePath {
  ImageVolume* volume;  // nullptr when the image could not be opened
  uint32_t status;      // the error of the open, when volume is nullptr
  std::string inner;    // "/" or "/a/b" inside the volume
};

// examineStartPath (platform.h) remembers whether the start path passes
// through a regular file or a block device, or names one as file@N.

/// Whether path lies inside the start path's image and that is already
/// open (cheap: no system call).
bool findOpenImagePath(const std::string& path, ImagePath* out);

/// Whether path lies inside the start path's image; opens the volume on
/// first use (once, even when that fails), keeping it for the run.
bool findImagePath(const std::string& path, ImagePath* out);

/// Whether a path whose xattr read or search failed with status (a Windows
/// code) may lead into an image.
bool mayBeImagePath(uint32_t status);

}  // namespace platform
}  // namespace vesk
