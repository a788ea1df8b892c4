// A small NTFS volume with mutated bytes, read the way a run reads an image:
// mount, list every directory, read every descriptor. Nothing may read
// outside its buffers, whatever the volume claims. The input is a list of
// patches, four bytes each (block, offset in it, value) applied to the
// volume named by VESK_FUZZ_IMAGE, so that mutations land in the blocks
// that hold metadata rather than in empty space. The container probes see
// the patched bytes first.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "disk/containers.h"
#include "disk/partition.h"
#include "ntfs/volume.h"
#include "sd/descriptor.h"

namespace {

using namespace vesk::platform;

constexpr size_t kBlock = 4096;
constexpr int kMaxDepth = 8;
constexpr int kMaxEntries = 4000;

std::vector<uint8_t> base;
std::vector<size_t> metadataBlocks;  // blocks of the volume that are not zero

void walk(Volume* volume, const std::string& inner, int depth, int* budget) {
  std::vector<uint8_t> bytes;
  if (volume->descriptor(inner, &bytes) == 0) {
    DescriptorView view;
    if (parseDescriptor(bytes.data(), bytes.size(), &view) == 0) {
      uint32_t count = 0;
      ExplicitAccess* entries = nullptr;
      if (buildExplicitEntries(view.dacl, &count, &entries) == 0)
        std::free(entries);
    }
  }
  if (depth >= kMaxDepth) return;
  // As a run walks: the whole listing first, closed, then each entry
  // reported and each directory entered, its identity asked first.
  std::vector<VolumeEntry> entries;
  VolumeEntry entry;
  Listing* search = volume->list(inner, &entry);
  if (search == nullptr) return;
  do {
    if (--*budget < 0) break;
    entries.push_back(entry);
  } while (search->next(&entry));
  delete search;
  for (const VolumeEntry& listed : entries) {
    const std::string child = (inner == "/" ? "/" : inner + "/") + listed.name;
    if (listed.directory) {
      uint64_t index = 0;
      volume->directoryIndex(child, &index);
      walk(volume, child, depth + 1, budget);
    } else {
      std::vector<uint8_t> fileBytes;
      volume->descriptor(child, &fileBytes);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* path = std::getenv("VESK_FUZZ_IMAGE");
  FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (file == nullptr) {
    std::fputs("image_fuzz: set VESK_FUZZ_IMAGE to a small NTFS image\n",
               stderr);
    std::exit(2);
  }
  uint8_t chunk[kBlock];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    base.insert(base.end(), chunk, chunk + got);
  std::fclose(file);
  for (size_t at = 0; at < base.size(); at += kBlock) {
    const size_t end = at + kBlock < base.size() ? at + kBlock : base.size();
    for (size_t i = at; i < end; ++i) {
      if (base[i] != 0) {
        metadataBlocks.push_back(at / kBlock);
        break;
      }
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (metadataBlocks.empty()) return 0;
  std::vector<uint8_t> image = base;
  for (size_t i = 0; i + 4 <= size; i += 4) {
    const size_t block = metadataBlocks[data[i] % metadataBlocks.size()];
    const size_t at =
        block * kBlock + ((data[i + 1] | data[i + 2] << 8) % kBlock);
    if (at < image.size()) image[at] = data[i + 3];
  }
  // A short input also cuts the volume, as a truncated image would.
  if (size % 4 == 1) image.resize(image.size() / 2);

  // The container probes read the same bytes as a file's first and last.
  if (image.size() >= kProbeBytes) {
    const FileStart start{image.data(),
                          image.data() + image.size() - kProbeBytes,
                          image.size(), size % 2 == 0};
    const ContainerLayer* layer = nullptr;
    claimingLayer(start, &layer);
  }

  Source source;
  source.size = image.size();
  source.name = "fuzz";
  source.read = [&image](uint64_t offset, size_t length, uint8_t* out) {
    if (offset > image.size() || length > image.size() - offset) return false;
    std::memcpy(out, image.data() + offset, length);
    return true;
  };
  Source partition;
  if (openPartition(std::move(source), 0, &partition) != 0) return 0;
  Volume* volume = nullptr;
  if (openVolume(std::move(partition), &volume) != 0) return 0;
  int budget = kMaxEntries;
  walk(volume, "/", 0, &budget);
  delete volume;
  return 0;
}
