#include <cstdint>

#include "core/state.h"
#include "terms/terms.h"

namespace vesk {

namespace {

struct Constant {
  const char* name;
  uint32_t value;
};

// The platform's published values, so a site can see what each term means.
const Constant kAccessModes[] = {
    {"GRANT_ACCESS", 0x00000001},
    {"SET_ACCESS", 0x00000002},
    {"DENY_ACCESS", 0x00000003},
    {"REVOKE_ACCESS", 0x00000004},
};
const Constant kGenericRights[] = {
    {"STANDARD_RIGHTS_ALL", 0x001f0000}, {"GENERIC_ALL", 0x10000000},
    {"GENERIC_EXECUTE", 0x20000000},     {"GENERIC_WRITE", 0x40000000},
    {"GENERIC_READ", 0x80000000},
};
const Constant kFileRights[] = {
    {"FILE_ALL_ACCESS", 0x001f01ff},
    {"FILE_GENERIC_EXECUTE", 0x001200a0},
    {"FILE_GENERIC_WRITE", 0x00120116},
    {"FILE_GENERIC_READ", 0x00120089},
};
const Constant kSpecificRights[] = {
    {"FILE_READ_DATA", 0x00000001},        {"FILE_WRITE_DATA", 0x00000002},
    {"FILE_APPEND_DATA", 0x00000004},      {"FILE_READ_EA", 0x00000008},
    {"FILE_WRITE_EA", 0x00000010},         {"FILE_EXECUTE", 0x00000020},
    {"FILE_DELETE_CHILD", 0x00000040},     {"FILE_READ_ATTRIBUTES", 0x00000080},
    {"FILE_WRITE_ATTRIBUTES", 0x00000100},
};
const Constant kStandardRights[] = {
    {"DELETE", 0x00010000},
    {"READ_CONTROL", 0x00020000},
    {"WRITE_DAC", 0x00040000},
    {"WRITE_OWNER", 0x00080000},
};
const Constant kStatus[] = {
    {"ERROR_SUCCESS", 0x00000000},
};
const Constant kControlBits[] = {
    {"SE_OWNER_DEFAULTED", 0x00000001},     {"SE_GROUP_DEFAULTED", 0x00000002},
    {"SE_DACL_PRESENT", 0x00000004},        {"SE_DACL_DEFAULTED", 0x00000008},
    {"SE_DACL_AUTO_INHERITED", 0x00000400}, {"SE_DACL_PROTECTED", 0x00001000},
    {"SE_SELF_RELATIVE", 0x00008000},
};

struct ConstantGroup {
  const Constant* constants;
  size_t count;
  bool decimal;
};

template <size_t N>
constexpr ConstantGroup group(const Constant (&constants)[N], bool decimal) {
  return {constants, N, decimal};
}

// The control bits come twice: once in hexadecimal, once in decimal.
const ConstantGroup kGroups[] = {
    group(kAccessModes, false),    group(kGenericRights, false),
    group(kFileRights, false),     group(kSpecificRights, false),
    group(kStandardRights, false), group(kStatus, false),
    group(kControlBits, false),    group(kControlBits, true),
};

}  // namespace

void showTerms(FILE* out) {
  std::fputs(kTitle, out);
  std::fputs("\n\n", out);
  for (int section = 0; section < kSectionCount; ++section) {
    std::fputs("\n", out);
    std::fputs(kSections[section].header, out);
    std::fputs("\n", out);
    for (int i = 0; i < kSections[section].count; ++i) {
      std::fputs(term(static_cast<TermsSection>(section), i), out);
      std::fputs("\n", out);
    }
  }

  std::fputs("\n", out);
  for (int i = 0; i < 59; ++i) std::fputc('~', out);
  std::fputs("\n\n", out);

  bool first = true;
  for (const ConstantGroup& g : kGroups) {
    if (!first) std::fputs("\n", out);
    first = false;
    for (size_t i = 0; i < g.count; ++i) {
      const Constant& c = g.constants[i];
      if (g.decimal) {
        std::fprintf(out, "%s\t%d\n", c.name, static_cast<int>(c.value));
      } else {
        std::fprintf(out, "%s\t0x%08x\n", c.name,
                     static_cast<unsigned>(c.value));
      }
    }
  }
}

}  // namespace vesk
