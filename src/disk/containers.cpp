// The table of container layers. A format is one file with its open
// function and one row here; a format whose library is optional is a row
// under its build flag, and a row with no open function without it, so that
// its files are still recognised (and reported as not supported).
#include "disk/containers.h"

#include <cstring>

#include "disk/partition_table.h"
#include "platform/errors.h"

namespace vesk {
namespace platform {

using OpenContainer = uint32_t (*)(const std::string&, Source*);

#if VESK_WITH_EWF
uint32_t openEwf(const std::string& path, Source* out);  // ewf.cpp
#else
constexpr OpenContainer openEwf = nullptr;
#endif
#if VESK_WITH_VHDI
uint32_t openVhdi(const std::string& path, Source* out);  // vhdi.cpp
#else
constexpr OpenContainer openVhdi = nullptr;
#endif
#if VESK_WITH_VMDK
uint32_t openVmdk(const std::string& path, Source* out);  // vmdk.cpp
#else
constexpr OpenContainer openVmdk = nullptr;
#endif
#if VESK_WITH_QCOW
uint32_t openQcow(const std::string& path, Source* out);  // qcow.cpp
#else
constexpr OpenContainer openQcow = nullptr;
#endif
#if VESK_WITH_SMRAW
uint32_t openSmraw(const std::string& path, Source* out);  // smraw.cpp
#else
constexpr OpenContainer openSmraw = nullptr;
#endif

namespace {

template <size_t N>
bool startsWith(const uint8_t* bytes, const char (&text)[N]) {
  return std::memcmp(bytes, text, N - 1) == 0;
}

bool isEwf(const FileStart& file) {
  return startsWith(file.head, "EVF\x09\x0D\x0A\xFF");
}

// A fixed disk is the raw disk and a footer: the footer alone says so (in
// 511 bytes in the oldest files). Dynamic and differencing disks copy it
// to the start.
bool isVhd(const FileStart& file) {
  return startsWith(file.head, "conectix") ||
         startsWith(file.tail, "conectix") ||
         startsWith(file.tail + 1, "conectix");
}

bool isVhdx(const FileStart& file) { return startsWith(file.head, "vhdxfile"); }

// A sparse extent (also stream-optimized), an older ESX one, or the
// descriptor that names flat or split extents.
bool isVmdk(const FileStart& file) {
  return startsWith(file.head, "KDMV") || startsWith(file.head, "COWD") ||
         startsWith(file.head, "# Disk DescriptorFile");
}

bool isQcow(const FileStart& file) { return startsWith(file.head, "QFI\xFB"); }

// Split raw pieces carry no signature of their own: the first is a raw
// disk (a partition table or a volume at its start) whose name is a first
// segment's and whose second segment lies beside it. A lone piece, or a
// later one, stays a raw file.
bool isSplitRaw(const FileStart& file) {
  return file.secondSegment &&
         layoutOfFirstSector(file.head) != DiskLayout::Unknown;
}

const ContainerLayer kLayers[] = {
    {"EWF", isEwf, openEwf},    {"VHD", isVhd, openVhdi},
    {"VHDX", isVhdx, openVhdi}, {"VMDK", isVmdk, openVmdk},
    {"QCOW", isQcow, openQcow}, {"split raw", isSplitRaw, openSmraw},
};

// Whether text is not empty and each of its characters lies in low..high.
bool allOf(const std::string& text, char low, char high) {
  for (const char c : text)
    if (c < low || c > high) return false;
  return !text.empty();
}

}  // namespace

const ContainerLayer* containerLayers(size_t* count) {
  *count = sizeof kLayers / sizeof kLayers[0];
  return kLayers;
}

uint32_t claimingLayer(const FileStart& file, const ContainerLayer** layer) {
  *layer = nullptr;
  for (const ContainerLayer& row : kLayers) {
    if (!row.probe(file)) continue;
    if (*layer != nullptr) return kErrorDiskCorrupt;
    *layer = &row;
  }
  return 0;
}

std::string secondSegmentName(const std::string& path) {
  const size_t dot = path.rfind('.');
  const size_t slash = path.rfind('/');
  if (dot == std::string::npos || dot == 0 ||
      (slash != std::string::npos && dot <= slash + 1))
    return "";
  const std::string suffix = path.substr(dot + 1);
  std::string second = path;
  const char last = suffix.empty() ? 0 : suffix.back();
  const std::string before = suffix.substr(0, suffix.size() - 1);
  if (allOf(suffix, '0', '9')) {
    // 0, 00, 000, ... or 1, 01, 001, ...: the next ends in 1 or 2.
    if ((!before.empty() && !allOf(before, '0', '0')) ||
        (last != '0' && last != '1'))
      return "";
    second.back() = static_cast<char>(last + 1);
    return second;
  }
  if (suffix.size() >= 2 && allOf(suffix, 'a', 'a')) {
    second.back() = 'b';
    return second;
  }
  return "";
}

std::string besideFile(const std::string& path, const std::string& recorded) {
  const size_t cut = recorded.find_last_of("/\\");
  const std::string name =
      cut == std::string::npos ? recorded : recorded.substr(cut + 1);
  if (name.empty()) return "";
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

}  // namespace platform
}  // namespace vesk
