// Any entry, and every term at the longest value its field allows: the
// entry line must keep its trustee in front, its single line end at the
// back, and its columns.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "report/entry_format.h"
#include "terms/terms.h"

namespace {

using namespace vesk;

constexpr size_t kSeparatorLength = 3;  // " + "

void require(bool condition) {
  if (!condition) __builtin_trap();
}

uint32_t read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Text without NUL bytes from the input; "x" when there is none.
std::string textOf(const uint8_t* data, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i)
    if (data[i] != '\0') text += static_cast<char>(data[i]);
  return text.empty() ? "x" : text;
}

void fillTerms(const std::string& filler) {
  size_t next = 0;
  for (int section = 0; section < kSectionCount; ++section) {
    size_t room = static_cast<size_t>(kSections[section].width) - 1;
    if (isPermissionSection(static_cast<TermsSection>(section)))
      room -= kSeparatorLength;
    for (int i = 0; i < kSections[section].count; ++i) {
      char* slot = termSlot(static_cast<TermsSection>(section), i);
      for (size_t k = 0; k < room; ++k)
        slot[k] = filler[next++ % filler.size()];
      slot[room] = '\0';
    }
  }
  appendSeparators();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // mask, mode, inheritance, the name's length, then name and term filler.
  if (size < 13) return 0;
  platform::ExplicitAccess entry{};
  entry.accessPermissions = read32(data);
  entry.accessMode = read32(data + 4);
  entry.inheritance = read32(data + 8);
  entry.trustee.form = platform::TrusteeForm::Sid;
  const size_t nameLength = std::min<size_t>(data[12], size - 13);
  const uint8_t* rest = data + 13;
  std::string name;
  for (size_t i = 0; i < nameLength; ++i)
    if (rest[i] != '\0') name += static_cast<char>(rest[i]);
  const std::string filler = textOf(rest + nameLength, size - 13 - nameLength);
  fillTerms(filler);

  const std::string line = formatEntry(entry, name);
  require(line.compare(0, name.size() + 1, "\t" + name) == 0);
  require(line.size() >= name.size() + 2 && line.back() == '\n');
  require(line.find('\0') == std::string::npos);
  // Trustee and terms free of tabs and line ends: the columns can be
  // counted. The permission column has no tab of its own when empty.
  const std::string shown = name + filler;
  if (shown.find_first_of("\t\n") == std::string::npos) {
    const size_t tabs = std::count(line.begin(), line.end(), '\t');
    require(tabs == 3 || tabs == 4);
    require(line.find('\n') == line.size() - 1);
  }
  return 0;
}
