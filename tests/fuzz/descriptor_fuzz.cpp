// Any bytes as a stored security descriptor: the parser must refuse or
// accept them without reading outside the buffer, and what it accepts must
// hold up through the entry list and the entry lines built from it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/descriptor.h"
#include "report/entry_format.h"
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  resetRun();
  appendSeparators();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DescriptorView view;
  if (parseDescriptor(data, size, &view) != kErrorSuccess) return 0;
  checkSid(view.owner, data, size);
  checkSid(view.group, data, size);
  require(view.dacl == nullptr || view.daclPresent);
  if (view.dacl == nullptr) return 0;
  require(inside(view.dacl, read16(view.dacl + 2), data, size));

  uint32_t count = 0;
  ExplicitAccess* entries = nullptr;
  if (buildExplicitEntries(view.dacl, &count, &entries) != kErrorSuccess)
    return 0;
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
  return 0;
}
