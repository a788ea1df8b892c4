// Text as it is printed and logged.
#pragma once

#include <string>

namespace vesk {

/// text as it is printed: its control bytes (1 to 31 and 127), and its
/// backslashes where they are no separator (platform::backslashIsSeparator),
/// written as a backslash and three octal digits, so that a name cannot
/// break the lines and columns and every escape can be turned back into its
/// byte; then put in the output's code page (platform::outputText).
/// *lossy (if not null) tells whether a character became "?" there.
std::string printable(const std::string& text, bool* lossy = nullptr);

/// text with the escapes of printable but left in its own code page: for
/// text that is already in the output's code page, such as configured terms.
std::string escapedControls(const std::string& text);

/// What a printed name stood for: each backslash and three octal digits
/// below 0400 as the byte of that value; any other backslash stays itself.
std::string unescapedText(const std::string& text);

/// text with every character outside ASCII, and every control byte, as the
/// \uXXXX escapes of its UTF-16 units and "\" doubled, as JSON spells it: a
/// name that the code page could not show, spelt so that it can be found.
std::string utf16Escaped(const std::string& text);

}  // namespace vesk
