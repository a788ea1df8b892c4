// Built without libntfs-3g: a path into an image is not supported.
#include "platform/linux_image.h"
#include "platform/platform.h"

namespace vesk {
namespace platform {

uint32_t openImageVolume(ImageSource source, uint32_t, const std::string&,
                         ImageVolume** volume) {
  source.close();
  *volume = nullptr;
  return kErrorNotSupported;
}

void closeImageVolume(ImageVolume*) {}

uint32_t imageDescriptor(ImageVolume*, const std::string&,
                         std::vector<uint8_t>*) {
  return kErrorNotSupported;
}

bool imageDirectoryIndex(ImageVolume*, const std::string&, uint64_t*) {
  return false;
}

ImageSearch* imageFindFirst(ImageVolume*, const std::string&, ImageEntry*) {
  return nullptr;
}

bool imageFindNext(ImageSearch*, ImageEntry*) { return false; }

uint32_t imageListStatus(const ImageVolume*) { return kErrorNoMoreFiles; }

std::string imageResolve(ImageVolume*, const std::string& inner,
                         bool* directory) {
  *directory = true;
  return inner;
}

void imageFindClose(ImageSearch*) {}

}  // namespace platform
}  // namespace vesk
