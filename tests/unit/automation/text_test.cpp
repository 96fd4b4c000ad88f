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
        Case{"the ends of the two-byte range", "\xC2\x80\xC2\xBF\xDF\xBF", u"\u0080\u00BF\u07FF"},
        Case{"the bottom of the three-byte range", "\xE0\xA0\x80", u"\u0800"},
        Case{"the top of the three-byte range", "\xEF\x80\x80\xEF\xBF\xBD\xEF\xBF\xBF", u"\uF000\uFFFD\uFFFF"},
        Case{"a lead byte cut short by the end keeps nothing from before", "x\xE2\x82", u"x\uFFFD"},
        Case{"a lead byte then one plain byte at the end", "\xE2\x41", u"\uFFFD\u0041"},
        Case{"a four-byte lead then the line break", "\xF0\r\n", u"\uFFFD\r\n"},
        Case{"cut short by a plain byte in the middle", "\xF0\x9F\x41\x42", u"\uFFFD\u0041\u0042"},
        Case{"a lone continuation byte", "\x80z", u"\uFFFDz"},
        Case{"a continuation byte after a whole letter", "\xC3\xA9\x80", u"\u00E9\uFFFD"},
        Case{"overlong forms", "\xC0\xAF\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        Case{"an encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        Case{"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        Case{"the highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        Case{"bytes that never start a sequence", "\xF5\xFF", u"\uFFFD\uFFFD"}),
    [](const ::testing::TestParamInfo<Case>& param) { return "case" + std::to_string(param.index); });

// Every ASCII byte at every place in texts of up to three words: exactly the
// letters A to Z change. Then a letter outside ASCII at every place.
TEST(LowerCase, FoldsExactlyTheLettersWherePlacedAndFromWhereverAsciiEnds) {
  for (std::size_t length = 1; length <= 24; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (int c = 0; c < 0x80; ++c) {
        std::string text(length, 'Q');
        text[at] = static_cast<char>(c);
        std::string expected(length, 'q');
        expected[at] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        ASSERT_EQ(LowerCase(text), expected) << "length " << length << " byte " << c << " at " << at;
      }
    }
    for (std::size_t at = 0; at < length; ++at) {
      std::string text = std::string(at, 'Z') + "\xC3\x89" + std::string(length - at, 'A');  // É
      std::string expected = std::string(at, 'z') + "\xC3\xA9" + std::string(length - at, 'a');
      ASSERT_EQ(LowerCase(text), expected) << "length " << length << " at " << at;
    }
  }
  // Letters beyond ASCII and Latin-1, of two and three bytes: each folds to its
  // own small letter, and distinct letters stay distinct.
  struct Letter {
    const char* upper;
    const char* lower;
  };
  for (const Letter& l : {Letter{"\xD0\x90", "\xD0\xB0"},       // Cyrillic A
                          Letter{"\xD0\x80", "\xD1\x90"},       // Cyrillic IE with grave
                          Letter{"\xD0\x96", "\xD0\xB6"},       // Cyrillic ZHE
                          Letter{"\xD0\xAF", "\xD1\x8F"},       // Cyrillic YA, the last of its block
                          Letter{"\xD0\x8F", "\xD1\x9F"},       // Cyrillic DZHE, the last of its block
                          Letter{"\xC4\x80", "\xC4\x81"},       // A with macron, the first of Latin Extended-A
                          Letter{"\xC4\xB6", "\xC4\xB7"},       // K with cedilla, the last of its run
                          Letter{"\xC4\xB9", "\xC4\xBA"},       // L with acute
                          Letter{"\xC4\xBB", "\xC4\xBC"},       // L with cedilla (odd, not one in three)
                          Letter{"\xC5\x87", "\xC5\x88"},       // N with caron, the last of its run
                          Letter{"\xC5\x8A", "\xC5\x8B"},       // eng, the first of its run
                          Letter{"\xC5\x8C", "\xC5\x8D"},       // O with macron (even, not one in three)
                          Letter{"\xC5\xB6", "\xC5\xB7"},       // Y with circumflex, the last of its run
                          Letter{"\xCE\x91", "\xCE\xB1"},       // Greek alpha
                          Letter{"\xCE\xAB", "\xCF\x8B"},       // Greek upsilon with dialytika, the last capital
                          Letter{"\xC5\x8B", "\xC5\x8B"},       // small eng: already small
                          Letter{"\xC5\xB9", "\xC5\xBA"},       // Z with acute
                          Letter{"\xC5\xBD", "\xC5\xBE"},       // Z with caron
                          Letter{"\x80", "\x80"},                 // lone bytes are kept as they are
                          Letter{"\xE2\x82", "\xE2\x82"},         // letters cut short: their bytes are kept,
                          Letter{"\xF0\x9F\x98", "\xF0\x9F\x98"},  // and the letter after still folds
                          Letter{"\xFF", "\xFF"},
                          Letter{"\xE2\x82\xAC\x80", "\xE2\x82\xAC\x80"},  // a stray byte after a whole letter
                          Letter{"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // a face: four bytes, no case
                          Letter{"\xE2\x82\xAC", "\xE2\x82\xAC"},      // the euro sign: no case
                          Letter{"\xEF\xBF\xBF", "\xEF\xBF\xBF"},      // U+FFFF, the last of three bytes
                          Letter{"\xF0\x90\x80\x80", "\xF0\x90\x80\x80"}}) {  // U+10000, the first of four
    EXPECT_EQ(LowerCase(std::string("X") + l.upper + "Y"), std::string("x") + l.lower + "y") << l.upper;
  }
  EXPECT_NE(LowerCase("\xE2\x82\xAC"), LowerCase("\xE2\x82\xAD"));
  // A text ends where its view ends, even inside a letter.
  EXPECT_EQ(LowerCase(std::string_view("\xC3\x89", 1)), "\xC3");
  std::string out = "Kept ";
  AppendLowerCase(out, "C:\\Big\\P1.VCPROJ");
  EXPECT_EQ(out, "Kept c:\\big\\p1.vcproj");
  LowerCaseInto(out, "ABC");
  EXPECT_EQ(out, "abc");
}

}  // namespace
}  // namespace zandrel::automation
