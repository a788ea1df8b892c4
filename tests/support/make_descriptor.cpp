// Prints a security descriptor as hex for setfattr, from words such as
//   control=0x1404 owner=S-1-5-32-544 group=S-1-5-18 nulldacl
//   A:0x03:0x1F01FF:S-1-5-32-544   (allow: flags, mask, trustee)
//   D:0x00:0x1200A9:S-1-5-32-546   (deny)
//   T5:0x00:0x1:S-1-1-0            (any ACE type by number)
//   ntacl=4                        (wrapped for security.NTACL, version 4)
//   raw=0x0100...                  (a ready descriptor instead of the words)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/descriptor_builder.h"

namespace {

unsigned long number(const std::string& text) {
  return std::strtoul(text.c_str(), nullptr, 0);
}

bool addAce(const std::string& word, vesk::test::DescriptorSpec* spec) {
  const size_t a = word.find(':'), b = word.find(':', a + 1),
               c = word.find(':', b + 1);
  if (c == std::string::npos) return false;
  const std::string kind = word.substr(0, a);
  vesk::test::AceSpec ace;
  if (kind == "A")
    ace.type = vesk::test::kAllowed;
  else if (kind == "D")
    ace.type = vesk::test::kDenied;
  else if (kind[0] == 'T')
    ace.type = static_cast<uint8_t>(number(kind.substr(1)));
  else
    return false;
  ace.flags = static_cast<uint8_t>(number(word.substr(a + 1, b - a - 1)));
  ace.mask = static_cast<uint32_t>(number(word.substr(b + 1, c - b - 1)));
  ace.sid = word.substr(c + 1);
  spec->aces.push_back(ace);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  vesk::test::DescriptorSpec spec;
  int ntaclVersion = 0;
  std::vector<uint8_t> raw;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.rfind("control=", 0) == 0) {
      spec.control = static_cast<uint16_t>(number(word.substr(8)));
    } else if (word.rfind("owner=", 0) == 0) {
      spec.owner = word.substr(6);
    } else if (word.rfind("group=", 0) == 0) {
      spec.group = word.substr(6);
    } else if (word.rfind("ntacl=", 0) == 0) {
      ntaclVersion = static_cast<int>(number(word.substr(6)));
    } else if (word.rfind("raw=0x", 0) == 0) {
      for (size_t at = 6; at + 1 < word.size(); at += 2)
        raw.push_back(static_cast<uint8_t>(number("0x" + word.substr(at, 2))));
    } else if (word == "nulldacl") {
      spec.storeDacl = false;
    } else if (!addAce(word, &spec)) {
      std::fprintf(stderr, "make_descriptor: cannot read '%s'\n", argv[i]);
      return 2;
    }
  }
  std::vector<uint8_t> bytes =
      raw.empty() ? vesk::test::buildDescriptor(spec) : raw;
  if (ntaclVersion != 0)
    bytes = vesk::test::wrapNtacl(bytes, static_cast<uint16_t>(ntaclVersion));
  std::puts(vesk::test::toHex(bytes).c_str());
  return 0;
}
