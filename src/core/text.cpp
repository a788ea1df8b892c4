#include "core/text.h"

#include <algorithm>

namespace vesk {

std::string printable(const std::string& text) {
  auto isControl = [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 1 && u <= 31) || u == 127;
  };
  if (std::none_of(text.begin(), text.end(), isControl)) return text;
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    if (!isControl(c)) {
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

}  // namespace vesk
