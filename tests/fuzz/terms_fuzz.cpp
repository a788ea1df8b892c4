// Any file content as the terms configuration file: NUL bytes, lines far
// longer than the line buffer, no final newline. Whatever the reader keeps
// must leave every term a string inside its field, with room for the
// separator in the permission sections.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "terms/terms.h"

namespace {

using namespace vesk;

FILE* nullStream;

void require(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nullStream = std::fopen("/dev/null", "w");
  return nullStream == nullptr;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::tmpfile();
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::rewind(file);
  resetRun();
  std::string badLine;
  const bool good = readTerms(file, &badLine);
  std::fclose(file);
  require(good || badLine.find('\n') == std::string::npos);

  for (int section = 0; section < kSectionCount; ++section) {
    const size_t width = static_cast<size_t>(kSections[section].width);
    for (int i = 0; i < kSections[section].count; ++i) {
      const char* slot = termSlot(static_cast<TermsSection>(section), i);
      require(std::memchr(slot, '\0', width) != nullptr);
    }
  }
  appendSeparators();
  for (int section = 0; section < kSectionCount; ++section) {
    if (!isPermissionSection(static_cast<TermsSection>(section))) continue;
    const size_t width = static_cast<size_t>(kSections[section].width);
    for (int i = 0; i < kSections[section].count; ++i) {
      const char* slot = termSlot(static_cast<TermsSection>(section), i);
      require(std::memchr(slot, '\0', width) != nullptr);
      // The entry line turns the last separator into its column's tab.
      const size_t length = std::strlen(slot);
      require(length >= 4 && std::strcmp(slot + length - 3, " + ") == 0);
    }
  }
  showTerms(nullStream);
  return 0;
}
