// Any bytes as a registry hive, read as the SAM and as the SOFTWARE hive
// of the Windows installation being read: libregf parses them from memory,
// through the same source that a volume's file gives, and what is taken
// from them (a machine SID, profile folders, SID texts) must come out
// without a read outside the input. The value readers also take the bytes
// directly, as a V value or a ProfileImagePath would hold them.
#include <cstdint>
#include <cstring>
#include <string>

#include "registry/hive_names.h"

namespace {

using namespace vesk::platform;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EvidenceNames names;
  for (int hive = 0; hive < 2; ++hive) {
    Source source;
    source.size = size;
    source.name = "fuzz";
    source.read = [data, size](uint64_t offset, size_t length, uint8_t* out) {
      if (offset > size || length > size - offset) return false;
      if (length != 0) std::memcpy(out, data + offset, length);
      return true;
    };
    if (hive == 0)
      readSamNames(std::move(source), &names);
    else
      readProfileNames(std::move(source), &names);
  }
  // Every name is keyed by a SID as sidText prints it.
  for (const auto& named : names) require(isSidText(named.first));

  const std::string sid = machineSidOfV(data, size);
  require(sid.empty() == (size < 12));
  require(sid.empty() || isSidText(sid));
  const std::string folder = profileFolderName(data, size);
  require(folder.find_first_of("\\/") == std::string::npos);
  isSidText(std::string(reinterpret_cast<const char*>(data), size));
  hiveCutShort(data, size, size);
  return 0;
}
