// Letter case of ASCII text, the one rule every comparison ignoring case
// uses where the platform's own does not apply. Portable; no OS header.
#pragma once

namespace vesk {
namespace platform {

/// c with A to Z made a to z; every other byte unchanged.
constexpr char asciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

/// Negative, 0 or positive as a sorts before, with or after b, comparing
/// bytes as unsigned with A to Z folded to a to z.
inline int compareIgnoringCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const int x = static_cast<unsigned char>(asciiLower(*a));
    const int y = static_cast<unsigned char>(asciiLower(*b));
    if (x != y || x == 0) return x - y;
  }
}

/// Whether a and b are the same text ignoring ASCII letter case.
inline bool equalsIgnoringCase(const char* a, const char* b) {
  return compareIgnoringCase(a, b) == 0;
}

}  // namespace platform
}  // namespace vesk
