// Any bytes as a stored security descriptor, and as the security.NTACL
// attribute that wraps one: the readers must refuse or accept them without
// reading outside the buffer, and what they accept must hold up through the
// entry list and the entry lines built from it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "report/entry_format.h"
#include "sd/descriptor.h"
#include "sd/ntacl.h"
#include "terms/terms.h"

namespace {

using namespace vesk;
using namespace vesk::platform;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

bool inside(const uint8_t* part, size_t length, const uint8_t* data,
            size_t size) {
  return part >= data && length <= size &&
         static_cast<size_t>(part - data) <= size - length;
}

void checkSid(const uint8_t* sid, const uint8_t* data, size_t size) {
  if (sid == nullptr) return;
  require(inside(sid, sidLength(sid), data, size));
  require(sidText(sid).compare(0, 4, "S-1-") == 0);
}

uint16_t read16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void checkDescriptor(const uint8_t* data, size_t size) {
  DescriptorView view;
  if (parseDescriptor(data, size, &view) != kErrorSuccess) return;
  checkSid(view.owner, data, size);
  checkSid(view.group, data, size);
  require(view.dacl == nullptr || view.daclPresent);
  if (view.dacl == nullptr) return;
  require(inside(view.dacl, read16(view.dacl + 2), data, size));

  uint32_t count = 0;
  ExplicitAccess* entries = nullptr;
  if (buildExplicitEntries(view.dacl, &count, &entries) != kErrorSuccess)
    return;
  require(count == read16(view.dacl + 4));
  require((count == 0) == (entries == nullptr));
  for (uint32_t i = 0; i < count; ++i) {
    const ExplicitAccess& entry = entries[i];
    require(entry.inheritance <= 0x1F);
    require(entry.trustee.form == TrusteeForm::Sid);
    const auto* sid = reinterpret_cast<const uint8_t*>(entry.trustee.sid);
    std::string name;
    if (sid != nullptr) {
      // The copy lives in the entry block, apart from the descriptor.
      require(!inside(sid, 1, data, size));
      name = sidText(sid);
    }
    const std::string line = formatEntry(entry, name);
    require(line.compare(0, name.size() + 1, "\t" + name) == 0);
    require(line.back() == '\n');
  }
  std::free(entries);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  resetRun();
  appendSeparators();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  checkDescriptor(data, size);
  // The same bytes as Samba's wrapper, unwrapped in a copy of exactly their
  // size (the unwrapping writes).
  std::vector<uint8_t> attribute(data, data + size);
  attribute.shrink_to_fit();
  size_t start = 0;
  if (unwrapNtacl(attribute.data(), attribute.size(), &start) != kErrorSuccess)
    return 0;
  require(start >= 8 && start <= size && size - start >= 20);
  checkDescriptor(attribute.data() + start, size - start);
  return 0;
}
