// Prints the entries that the Linux layer reads for each path, numerically,
// in the form smbcacls --numeric uses, so that a test can set them beside
// what Samba itself reports:
//   FILE path
//   OWNER:S-1-...
//   ACL:S-1-...:ALLOWED|DENIED|OTHER/0xFLAGS/0xMASK   (one per entry, in order)
// or "ERROR:code" when the descriptor cannot be read.
#include <cinttypes>
#include <cstdio>

#include "platform/platform.h"

namespace {

using namespace vesk::platform;

const char* modeName(uint32_t mode) {
  if (mode == kGrantAccess) return "ALLOWED";
  if (mode == kDenyAccess) return "DENIED";
  return "OTHER";
}

void dump(const char* path) {
  std::printf("FILE %s\n", path);
  SecurityDescriptor* sd = nullptr;
  const uint32_t status = getNamedSecurityInfo(path, &sd);
  if (status != kErrorSuccess) {
    std::printf("ERROR:%" PRIu32 "\n", status);
    return;
  }
  const Sid* owner = nullptr;
  bool defaulted = false;
  getSecurityDescriptorOwner(sd, &owner, &defaulted);
  std::printf("OWNER:%s\n", owner != nullptr ? sidString(owner).c_str() : "");
  bool present = false;
  const Acl* dacl = nullptr;
  getSecurityDescriptorDacl(sd, &present, &dacl, &defaulted);
  uint32_t count = 0;
  ExplicitAccess* entries = nullptr;
  if (getExplicitEntriesFromAcl(dacl, &count, &entries) == kErrorSuccess) {
    for (uint32_t i = 0; i < count; ++i) {
      std::printf("ACL:%s:%s/0x%" PRIx32 "/0x%08" PRIx32 "\n",
                  sidString(entries[i].trustee.sid).c_str(),
                  modeName(entries[i].accessMode), entries[i].inheritance,
                  entries[i].accessPermissions);
    }
  }
  localFree(entries);
  localFree(sd);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) dump(argv[i]);
  return 0;
}
