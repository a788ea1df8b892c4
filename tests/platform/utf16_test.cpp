#include "platform/utf16.h"

#include <gtest/gtest.h>

#include <string>

#include "core/text.h"

namespace vesk {
namespace {

using platform::utf16OfUtf8;
using platform::utf8OfUtf16;

TEST(Utf16Test, EveryUnitComesBack) {
  const std::u16string names[] = {
      u"plain",
      u"\u0101\u0109",
      u"\u4e2d\u6587",
      u"\U0001F600",
      std::u16string(1, char16_t(0xD800)) + u"x",  // lone high surrogate
      u"x" + std::u16string(1, char16_t(0xDC00)),  // lone low surrogate
      std::u16string(1, char16_t(0xDC00)) + std::u16string(1, char16_t(0xD800)),
  };
  for (const std::u16string& name : names) {
    SCOPED_TRACE(name.size());
    const std::string utf8 = utf8OfUtf16(name.data(), name.size());
    EXPECT_EQ(name, utf16OfUtf8(utf8));
  }
}

TEST(Utf16Test, Utf8Forms) {
  struct Case {
    std::string utf8;
    std::u16string units;
  } cases[] = {
      {"a", u"a"},
      {"\xc4\x81", u"\u0101"},
      {"\xe4\xb8\xad", u"\u4e2d"},
      {"\xf0\x9f\x98\x80", u"\U0001F600"},
      {"\xed\xa0\x80", std::u16string(1, char16_t(0xD800))},
      // Bytes that start no sequence, cut sequences, overlong forms.
      {"\xff"
       "a",
       u"\uFFFDa"},
      {"\xc4", u"\uFFFD"},
      {"\xe4\xb8"
       "a",
       u"\uFFFD\uFFFDa"},
      {"\xc0\xaf", u"\uFFFD\uFFFD"},
      {"\xf4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(c.units, utf16OfUtf8(c.utf8));
  }
}

TEST(Utf16Test, EscapedNamesReadLikeJson) {
  EXPECT_EQ("C:\\\\Data\\\\plain.txt", utf16Escaped("C:\\Data\\plain.txt"));
  EXPECT_EQ("\\u0101\\ud83d\\ude00 \\u0009",
            utf16Escaped("\xc4\x81\xf0\x9f\x98\x80 \t"));
  // A folder really named "u0101" stays apart from the letter.
  EXPECT_EQ("a\\\\u0101", utf16Escaped("a\\u0101"));
  EXPECT_EQ("a\\\\\\u0101", utf16Escaped("a\\\xc4\x81"));
}

}  // namespace
}  // namespace vesk
