// The volume inside the start path's disk image, partition or evidence
// file as a namespace: each path is routed to its volume (image_route.cpp),
// which reads the stored descriptors and lists directories itself.
#include <new>
#include <string>
#include <vector>

#include "platform/linux/image_route.h"
#include "platform/linux/linux_internal.h"
#include "platform/linux/namespace.h"

namespace vesk {
namespace platform {

namespace {

struct ImageFind : FindHandle {
  ImageFind(Listing* found, Volume* of, std::string dirPrefix)
      : listing(found), volume(of), prefix(std::move(dirPrefix)) {}
  ~ImageFind() override { delete listing; }
  bool next(FindEntry* entry, uint32_t* status) override {
    VolumeEntry found;
    if (!listing->next(&found)) {
      *status = volume->listStatus();
      return false;
    }
    fill(found, entry);
    return true;
  }
  // An entry named as the mounted tree names one.
  void fill(const VolumeEntry& found, FindEntry* entry) const {
    entry->fullPath = prefix + found.name;
    entry->directory = found.directory;
    entry->dotOrDotDot = false;
    entry->link = found.link;
  }

  Listing* listing;
  Volume* volume;
  std::string prefix;  // the full path of the directory and "/"
};

class ImageNamespace : public Namespace {
 public:
  // An image holds no links that the layer follows, so followLink is
  // ignored.
  uint32_t descriptor(const char* path, bool,
                      std::vector<uint8_t>* bytes) override {
    ImagePath image;
    if (!findImagePath(path, &image)) return kErrorPathNotFound;
    if (image.volume == nullptr) return image.status;
    return image.volume->descriptor(image.inner, bytes);
  }

  FindHandle* list(const std::string& dir, FindEntry* first,
                   uint32_t* status) override {
    ImagePath image;
    // An image that cannot be read is logged once, by the report of the
    // same path, which a walk always makes first: nothing to list here.
    if (!findImagePath(dir, &image) || image.volume == nullptr) {
      *status = kErrorNoMoreFiles;
      return nullptr;
    }
    VolumeEntry found;
    Listing* listing = image.volume->list(image.inner, &found);
    if (listing == nullptr) {
      *status = image.volume->listStatus();
      return nullptr;
    }
    ImageFind* handle = new (std::nothrow)
        ImageFind(listing, image.volume, fullPathPrefix(dir));
    if (handle == nullptr) {
      delete listing;
      *status = kErrorNotEnoughMemory;
      return nullptr;
    }
    handle->fill(found, first);
    return handle;
  }

  // The volume names its directories by record: a damaged index that lists
  // a directory below itself is then seen for what it is.
  bool identity(const std::string& dir, DirectoryIdentity* identity) override {
    ImagePath image;
    if (!findImagePath(dir, &image)) return false;
    identity->volume = reinterpret_cast<uintptr_t>(image.volume);
    return image.volume != nullptr &&
           image.volume->directoryIndex(image.inner, &identity->index);
  }
};

}  // namespace

Namespace& imageNamespace() {
  static ImageNamespace volume;
  return volume;
}

}  // namespace platform
}  // namespace vesk
