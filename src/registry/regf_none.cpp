// A build without libregf: no hive is read, and accounts print as their
// SIDs.
#include "platform/errors.h"
#include "registry/hive_names.h"

namespace vesk {
namespace platform {

bool hiveReaderBuilt() { return false; }

uint32_t readSamNames(Source source, EvidenceNames*) {
  closeSource(&source);
  return kErrorNotSupported;
}

uint32_t readProfileNames(Source source, EvidenceNames*) {
  closeSource(&source);
  return kErrorNotSupported;
}

}  // namespace platform
}  // namespace vesk
