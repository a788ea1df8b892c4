// The values taken from hive bytes: no library, every offset checked.
#include <string>

#include "platform/utf16.h"
#include "registry/hive_names.h"
#include "sd/little_endian.h"

namespace vesk {
namespace platform {

std::string machineSidOfV(const uint8_t* v, size_t size) {
  if (v == nullptr || size < 12) return "";
  const uint8_t* last = v + size - 12;
  return "S-1-5-21-" + std::to_string(read32(last)) + "-" +
         std::to_string(read32(last + 4)) + "-" +
         std::to_string(read32(last + 8));
}

std::string profileFolderName(const uint8_t* utf16, size_t size) {
  std::u16string path;
  for (size_t i = 0; utf16 != nullptr && i + 1 < size; i += 2) {
    const char16_t unit = static_cast<char16_t>(utf16[i] | utf16[i + 1] << 8);
    if (unit == 0) break;
    path += unit;
  }
  // "C:\Users\alice\" names alice too; a bare drive names nobody.
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/'))
    path.pop_back();
  const size_t separator = path.find_last_of(u"\\/");
  const std::u16string last =
      separator == std::u16string::npos ? path : path.substr(separator + 1);
  if (last.empty() || last.back() == u':') return "";
  return utf8OfUtf16(last.data(), last.size());
}

bool hiveCutShort(const uint8_t* header, size_t headerSize, uint64_t fileSize) {
  // The size of the hive bins is at 0x28; they start after the 4 KiB
  // header.
  if (header == nullptr || headerSize < 0x2C) return true;
  return 4096 + static_cast<uint64_t>(read32(header + 0x28)) > fileSize;
}

bool isSidText(const std::string& text) {
  if (text.compare(0, 4, "S-1-") != 0) return false;
  // The authority, then the sub-authorities, each a number that sidText
  // would print the same.
  size_t parts = 0;
  for (size_t at = 4;; ++parts) {
    const size_t end = text.find('-', at);
    const std::string part = text.substr(at, end - at);
    if (part.empty() || part.size() > 10 || (part[0] == '0' && part.size() > 1))
      return false;
    for (char c : part)
      if (c < '0' || c > '9') return false;
    if (std::stoull(part) > 0xFFFFFFFFull) return false;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return parts >= 1 && parts <= 15;
}

}  // namespace platform
}  // namespace vesk
