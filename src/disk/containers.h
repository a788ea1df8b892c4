// Container formats: the layers that turn a file into the disk it holds
// (an evidence file's media), tried in a fixed order as rows of one table
// (containers.cpp). A file that no row claims is read as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "disk/source.h"

namespace vesk {
namespace platform {

/// One row: whether the first bytes of a file are this format's, and how
/// to open the file as the disk it holds. open is nullptr in a build
/// without the format's library: such a file is then not supported.
struct ContainerLayer {
  const char* name;
  bool (*probe)(const uint8_t* head, size_t length);
  uint32_t (*open)(const std::string& path, Source* out);
};

/// The rows, in the order they are tried; *count of them.
const ContainerLayer* containerLayers(size_t* count);

/// The first bytes that probes look at.
constexpr size_t kProbeBytes = 512;

/// The one row whose probe claims head (kProbeBytes), in *layer (nullptr
/// when none does, and the file is read as it is). 0, or kErrorDiskCorrupt
/// when two rows claim it: reading it as either could show the wrong disk.
uint32_t claimingLayer(const uint8_t* head, const ContainerLayer** layer);

/// Whether the first bytes of a file are an EWF (E01) segment's.
bool isEwfSignature(const uint8_t* head, size_t length);

}  // namespace platform
}  // namespace vesk
