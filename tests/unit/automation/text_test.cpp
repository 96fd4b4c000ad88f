// UTF-8 to UTF-16 at the Windows edge: well-formed text unchanged, every
// ill-formed sequence one U+FFFD a maximal subpart, and nothing after it lost,
// at the end of the text too.

#include <gtest/gtest.h>

#include "automation/text.h"

namespace zandrel::automation {
namespace {

struct Case {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

class Utf8ToUtf16Test : public ::testing::TestWithParam<Case> {};

TEST_P(Utf8ToUtf16Test, Decodes) { EXPECT_EQ(Utf8ToUtf16(GetParam().utf8), GetParam().utf16) << GetParam().name; }

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8ToUtf16Test,
    ::testing::Values(
        Case{"ascii with a NUL", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        Case{"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", u"\u00E9\u20AC\U0001F600"},
        Case{"a lead byte cut short by the end keeps nothing from before", "x\xE2\x82", u"x\uFFFD"},
        Case{"a lead byte then one plain byte at the end", "\xE2\x41", u"\uFFFD\u0041"},
        Case{"a four-byte lead then the line break", "\xF0\r\n", u"\uFFFD\r\n"},
        Case{"cut short by a plain byte in the middle", "\xF0\x9F\x41\x42", u"\uFFFD\u0041\u0042"},
        Case{"a lone continuation byte", "\x80z", u"\uFFFDz"},
        Case{"overlong forms", "\xC0\xAF\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        Case{"an encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        Case{"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        Case{"the highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        Case{"bytes that never start a sequence", "\xF5\xFF", u"\uFFFD\uFFFD"}),
    [](const ::testing::TestParamInfo<Case>& param) { return "case" + std::to_string(param.index); });

}  // namespace
}  // namespace zandrel::automation
