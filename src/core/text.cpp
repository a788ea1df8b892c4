#include "core/text.h"

#include <cstdio>

#include "platform/escape.h"
#include "platform/platform.h"
#include "platform/utf16.h"

namespace vesk {

// Where a backslash can stand in a name, it is escaped too, so that every
// backslash printed begins an escape and each one can be undone.
std::string escapedControls(const std::string& text) {
  return platform::escapedControls(text, !platform::backslashIsSeparator());
}

std::string unescapedText(const std::string& text) {
  if (text.find('\\') == std::string::npos) return text;
  auto octal = [&text](size_t at) {
    return at < text.size() && text[at] >= '0' && text[at] <= '7';
  };
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3) &&
        text[i + 1] <= '3') {
      out +=
          static_cast<char>(((text[i + 1] - '0') << 6) |
                            ((text[i + 2] - '0') << 3) | (text[i + 3] - '0'));
      i += 3;
      continue;
    }
    out += text[i];
  }
  return out;
}

std::string printable(const std::string& text, bool* lossy) {
  return platform::outputText(escapedControls(text), lossy);
}

std::string utf16Escaped(const std::string& text) {
  std::string out;
  for (char16_t unit : platform::utf16OfUtf8(text)) {
    if (unit == '\\') {
      out += "\\\\";
      continue;
    }
    if (unit >= 0x20 && unit < 0x7F) {
      out += static_cast<char>(unit);
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x",
                  static_cast<unsigned>(unit));
    out += escape;
  }
  return out;
}

}  // namespace vesk
