// Text as it is printed and logged.
#pragma once

#include <string>

namespace vesk {

/// text with its control bytes (1 to 31 and 127) written as a backslash and
/// three octal digits, so that a name cannot break the lines and columns.
std::string printable(const std::string& text);

}  // namespace vesk
