// The escaping of printed text, shared by the report (core's printable) and
// the few lines the platform writes itself. Portable; no OS header.
#pragma once

#include <algorithm>
#include <string>

namespace vesk {
namespace platform {

/// text with its control bytes (1 to 31 and 127), and its backslashes when
/// escapeBackslash, as a backslash and three octal digits.
inline std::string escapedControls(const std::string& text,
                                   bool escapeBackslash) {
  auto escaped = [escapeBackslash](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 1 && u <= 31) || u == 127 || (c == '\\' && escapeBackslash);
  };
  if (std::none_of(text.begin(), text.end(), escaped)) return text;
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    if (!escaped(c)) {
      out += c;
      continue;
    }
    const unsigned char u = static_cast<unsigned char>(c);
    out += '\\';
    out += static_cast<char>('0' + (u >> 6));
    out += static_cast<char>('0' + ((u >> 3) & 7));
    out += static_cast<char>('0' + (u & 7));
  }
  return out;
}

}  // namespace platform
}  // namespace vesk
