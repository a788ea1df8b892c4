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
  Listing* listing;
  Volume* volume;
  std::string prefix;  // the full path of the directory and "/"
};

// An entry named as the mounted tree names one.
void fill(const ImageFind& handle, const VolumeEntry& found, FindEntry* entry) {
  entry->fullPath = handle.prefix + found.name;
  entry->directory = found.directory;
  entry->dotOrDotDot = false;
  entry->link = found.link;
}

bool nextInImage(FindHandle* self, FindEntry* entry, uint32_t* status) {
  ImageFind* handle = static_cast<ImageFind*>(self);
  VolumeEntry found;
  if (!handle->listing->next(&found)) {
    *status = handle->volume->listStatus();
    return false;
  }
  fill(*handle, found, entry);
  return true;
}

void closeInImage(FindHandle* self) {
  ImageFind* handle = static_cast<ImageFind*>(self);
  delete handle->listing;
  delete handle;
}

// An image holds no links that the layer follows, so followLink is ignored.
uint32_t imageDescriptor(const char* path, bool, std::vector<uint8_t>* bytes) {
  ImagePath image;
  if (!findImagePath(path, &image)) return kErrorPathNotFound;
  if (image.volume == nullptr) return image.status;
  return image.volume->descriptor(image.inner, bytes);
}

FindHandle* listInImage(const std::string& dir, FindEntry* first,
                        uint32_t* status) {
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
  ImageFind* handle = new (std::nothrow) ImageFind{
      {nextInImage, closeInImage}, listing, image.volume, fullPathPrefix(dir)};
  if (handle == nullptr) {
    delete listing;
    *status = kErrorNotEnoughMemory;
    return nullptr;
  }
  fill(*handle, found, first);
  return handle;
}

// The volume names its directories by record: a damaged index that lists
// a directory below itself is then seen for what it is.
bool imageIdentity(const std::string& dir, DirectoryIdentity* identity) {
  ImagePath image;
  if (!findImagePath(dir, &image)) return false;
  identity->volume = reinterpret_cast<uintptr_t>(image.volume);
  return image.volume != nullptr &&
         image.volume->directoryIndex(image.inner, &identity->index);
}

}  // namespace

const Namespace& imageNamespace() {
  static const Namespace volume = {imageDescriptor, listInImage, imageIdentity};
  return volume;
}

}  // namespace platform
}  // namespace vesk
