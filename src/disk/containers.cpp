// The table of container layers. A format is one file with its open
// function and one row here; a format whose library is optional is a row
// under its build flag, and a row with no open function without it, so that
// its files are still recognised (and reported as not supported).
#include "disk/containers.h"

#include <cstring>

#include "platform/errors.h"

namespace vesk {
namespace platform {

#if VESK_WITH_EWF
uint32_t openEwf(const std::string& path, Source* out);  // ewf.cpp
#else
constexpr uint32_t (*openEwf)(const std::string&, Source*) = nullptr;
#endif

namespace {

const ContainerLayer kLayers[] = {
    {"EWF", isEwfSignature, openEwf},
};

}  // namespace

bool isEwfSignature(const uint8_t* head, size_t length) {
  static const uint8_t kSignature[8] = {'E',  'V',  'F',  0x09,
                                        0x0D, 0x0A, 0xFF, 0x00};
  return length >= sizeof kSignature &&
         std::memcmp(head, kSignature, sizeof kSignature) == 0;
}

const ContainerLayer* containerLayers(size_t* count) {
  *count = sizeof kLayers / sizeof kLayers[0];
  return kLayers;
}

uint32_t claimingLayer(const uint8_t* head, const ContainerLayer** layer) {
  *layer = nullptr;
  for (const ContainerLayer& row : kLayers) {
    if (!row.probe(head, kProbeBytes)) continue;
    if (*layer != nullptr) return kErrorDiskCorrupt;
    *layer = &row;
  }
  return 0;
}

}  // namespace platform
}  // namespace vesk
