// Which paths lead into an image, and the raw file or device behind it. The
// start path alone may continue inside the first regular file or block
// device it passes through (or that a last part "name@N" names); that image
// is opened once, read-only, when first needed, and stays open until the
// process ends.
#include "platform/linux/image_route.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "disk/image.h"
#include "disk/partition.h"
#include "platform/linux/linux_internal.h"
#include "platform/path_parts.h"
#include "platform/platform.h"

namespace vesk {
namespace platform {

namespace {

// The one image of a run: the file (or block device) that the path the
// user typed passes through or names. Paths met by the walk are never
// examined: a file is what the host says it is, its contents never read.
struct StartImage {
  std::string typed;  // the start path, absolute
  bool slash;         // typed with a separator at its end
  std::string key;    // the file's absolute path, with "@N" when given
  std::string file;   // the file itself
  uint32_t wanted;    // N, or 0
  bool opened;
  Volume* volume;      // once opened; nullptr when it could not be
  uint32_t status;     // the error of the open, when volume is nullptr
  std::string target;  // typed's object inside the volume, links followed
  bool notDirectory;   // typed names a file, yet ends in a separator
  // The walk asks about one path several times in a row (its router, its
  // descriptor, its identity, its listing): the last answer, once open.
  std::string lastPath = std::string();
  bool lastInside = false;
  ImagePath last = ImagePath();
};

StartImage*& startImage() {
  static StartImage* image = nullptr;
  return image;
}

// The part of path below key, "/" for key itself; false when path is not
// inside key.
bool innerPath(const std::string& path, const std::string& key,
               std::string* inner) {
  if (path.compare(0, key.size(), key) != 0) return false;
  if (path.size() == key.size()) {
    *inner = "/";
    return true;
  }
  if (path[key.size()] != '/') return false;
  *inner = path.substr(key.size());
  return true;
}

bool lookUp(const StartImage& image, const std::string& absolute,
            ImagePath* out) {
  std::string below;
  if (innerPath(absolute, image.typed, &below) && !image.target.empty()) {
    // Below the start path, as below the object it stands for.
    if (below == "/" && image.notDirectory) {
      out->volume = nullptr;
      out->status = kErrorPathNotFound;
      out->inner = below;
      return true;
    }
    out->inner = image.target == "/" ? below
                 : below == "/"      ? image.target
                                     : image.target + below;
  } else if (!innerPath(absolute, image.key, &out->inner)) {
    return false;
  }
  out->volume = image.volume;
  out->status = image.status;
  return true;
}

bool isImageFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 &&
         (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

}  // namespace

uint32_t openVolumeOf(const std::string& file, uint32_t wanted,
                      const std::string& label, Volume** volume) {
  *volume = nullptr;
  Source disk;
  uint32_t status = openDisk(file, label, &disk);
  if (status != 0) return status;
  if (!volumeReadersBuilt()) {
    closeSource(&disk);
    return kErrorNotSupported;
  }
  Source partition;
  status = openPartition(std::move(disk), wanted, &partition);
  if (status != 0) return status;
  return openVolume(std::move(partition), volume);
}

uint32_t partitionSuffix(const std::string& part, size_t* at) {
  const size_t sign = part.rfind('@');
  if (sign == std::string::npos || sign == 0 || sign + 1 == part.size() ||
      part.size() - sign > 4)
    return 0;
  uint32_t number = 0;
  for (size_t i = sign + 1; i < part.size(); ++i) {
    if (part[i] < '0' || part[i] > '9') return 0;
    number = number * 10 + static_cast<uint32_t>(part[i] - '0');
  }
  *at = sign;
  return number;
}

void closeStartImage() {
  StartImage* image = startImage();
  if (image != nullptr) delete image->volume;
  delete image;
  startImage() = nullptr;
}

bool isOpenImagePath(const char* path) {
  ImagePath image;
  return findOpenImagePath(path, &image);
}

void examineStartPath(const std::string& path) {
  closeStartImage();
  const std::string absolute = absolutePathText(path);
  // The first part that is not a directory decides.
  std::string prefix;
  forEachPart(absolute, 0, [&](const std::string& part, size_t) {
    prefix += "/" + part;
    struct stat st;
    std::string file = prefix;
    uint32_t wanted = 0;
    if (stat(prefix.c_str(), &st) == 0) {
      if (S_ISDIR(st.st_mode)) return true;
      if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode)) return false;
    } else {
      size_t sign = 0;
      if (errno != ENOENT) return false;
      wanted = partitionSuffix(part, &sign);
      if (wanted == 0) return false;
      file = prefix.substr(0, prefix.size() - part.size() + sign);
      if (!isImageFile(file)) return false;
    }
    const bool slash = !path.empty() && path.back() == '/';
    startImage() = new StartImage{absolute, slash,   prefix, file, wanted,
                                  false,    nullptr, 0,      "",   false};
    static const bool closed = std::atexit(closeStartImage) == 0;
    (void)closed;
    return false;
  });
}

bool findOpenImagePath(const std::string& path, ImagePath* out) {
  StartImage* image = startImage();
  if (image == nullptr || !image->opened) return false;
  if (image->lastPath.empty() || path != image->lastPath) {
    image->lastInside = lookUp(*image, absolutePathText(path), &image->last);
    image->lastPath = path;
  }
  if (image->lastInside) *out = image->last;
  return image->lastInside;
}

Volume* openStartVolume(std::string* key) {
  const StartImage* image = startImage();
  if (image == nullptr || !image->opened) return nullptr;
  *key = image->key;
  return image->volume;
}

bool findImagePath(const std::string& path, ImagePath* out) {
  StartImage* image = startImage();
  if (image == nullptr) return false;
  if (image->opened) return findOpenImagePath(path, out);
  const std::string absolute = absolutePathText(path);
  ImagePath probe;
  if (!lookUp(*image, absolute, &probe)) return false;
  image->opened = true;
  image->status =
      openVolumeOf(image->file, image->wanted, image->key, &image->volume);
  if (image->status == kNotAnImage) {
    closeStartImage();
    return false;
  }
  if (image->volume != nullptr) {
    std::string inner;
    innerPath(image->typed, image->key, &inner);
    bool directory = true;
    image->target = image->volume->resolve(inner, &directory);
    image->notDirectory = image->slash && !directory;
  }
  return lookUp(*image, absolute, out);
}

}  // namespace platform
}  // namespace vesk
