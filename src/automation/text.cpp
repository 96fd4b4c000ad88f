#include "automation/text.h"

#include <cstdint>
#include <cstring>

namespace zandrel::automation {

namespace {

// Decodes one UTF-8 sequence at s[i]; a malformed byte decodes as itself so that
// nothing is lost.
char32_t Decode(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  auto cont = [&](std::size_t k) -> int {
    if (i + k >= s.size()) return -1;
    const auto b = static_cast<unsigned char>(s[i + k]);
    return (b & 0xC0) == 0x80 ? (b & 0x3F) : -1;
  };
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  if ((b0 & 0xE0) == 0xC0) {
    int c1 = cont(1);
    if (c1 >= 0) {
      i += 2;
      return static_cast<char32_t>(((b0 & 0x1F) << 6) | c1);
    }
  } else if ((b0 & 0xF0) == 0xE0) {
    int c1 = cont(1), c2 = cont(2);
    if (c1 >= 0 && c2 >= 0) {
      i += 3;
      return static_cast<char32_t>(((b0 & 0x0F) << 12) | (c1 << 6) | c2);
    }
  } else if ((b0 & 0xF8) == 0xF0) {
    int c1 = cont(1), c2 = cont(2), c3 = cont(3);
    if (c1 >= 0 && c2 >= 0 && c3 >= 0) {
      i += 4;
      return static_cast<char32_t>(((b0 & 0x07) << 18) | (c1 << 12) | (c2 << 6) | c3);
    }
  }
  ++i;
  return 0xDC00 + b0;  // a lone byte, kept as a private marker
}

void Encode(char32_t c, std::string& out) {
  if (c >= 0xDC80 && c <= 0xDCFF) {  // a lone byte from Decode
    out += static_cast<char>(c - 0xDC00);
  } else if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t Lower(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 32;
  if ((c >= 0xC0 && c <= 0xDE) && c != 0xD7) return c + 32;           // Latin-1
  // Latin Extended-A: runs of capital and small letter pairs, each run from
  // its first capital to its last.
  if (c >= 0x100 && c <= 0x136 && c % 2 == 0) return c + 1;
  if (c >= 0x139 && c <= 0x147 && c % 2 == 1) return c + 1;
  if (c >= 0x14A && c <= 0x176 && c % 2 == 0) return c + 1;
  if (c == 0x178) return 0xFF;
  if ((c == 0x179 || c == 0x17B || c == 0x17D)) return c + 1;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;          // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 32;                        // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

}  // namespace

std::string LowerCase(std::string_view utf8) {
  std::string out;
  LowerCaseInto(out, utf8);
  return out;
}

void LowerCaseInto(std::string& out, std::string_view utf8) {
  out.clear();
  AppendLowerCase(out, utf8);
}

void AppendLowerCase(std::string& out, std::string_view utf8) {
  // Plain ASCII, the usual case (member names, paths): eight bytes at a time
  // while none is outside ASCII, then byte by byte.
  const std::size_t start = out.size();
  out.append(utf8);
  char* const lowered = out.data() + start;
  std::size_t i = 0;
  for (; i + 8 <= utf8.size(); i += 8) {
    const std::uint64_t word = LoadWord(lowered + i);
    if (word & kAsciiHighBits) break;
    const std::uint64_t folded = LowerAsciiWord(word);
    std::memcpy(lowered + i, &folded, sizeof folded);
  }
  for (; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c >= 0x80) break;
    if (c >= 'A' && c <= 'Z') lowered[i] = static_cast<char>(c + 32);
  }
  if (i == utf8.size()) return;
  // From the first byte outside ASCII on, character by character.
  out.resize(start + i);
  while (i < utf8.size()) Encode(Lower(Decode(utf8, i)), out);
}

std::string HexText(std::int32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  auto v = static_cast<std::uint32_t>(value);
  char digits[8];
  std::size_t n = 0;
  do {
    digits[7 - n++] = kDigits[v & 0xF];
    v >>= 4;
  } while (v != 0);
  return std::string(digits + 8 - n, n);
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
      out += static_cast<char16_t>(b0);
      ++i;
      continue;
    }
    // The well-formed sequences (Unicode's table 3-7): the lead byte gives the
    // length and the range of the first continuation byte.
    int need = 0;
    char32_t c = 0;
    unsigned lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      need = 1;
      c = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      need = 2;
      c = b0 & 0x0Fu;
      if (b0 == 0xE0) lo = 0xA0;  // no overlong forms
      if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      need = 3;
      c = b0 & 0x07u;
      if (b0 == 0xF0) lo = 0x90;  // no overlong forms
      if (b0 == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    int got = 0;
    for (; got < need && j < s.size(); ++got, ++j) {
      const auto b = static_cast<unsigned char>(s[j]);
      if (b < lo || b > hi) break;
      c = (c << 6) | (b & 0x3Fu);
      lo = 0x80;
      hi = 0xBF;
    }
    i = j;  // a sequence cut short ends before the byte that cut it
    if (got < need) {
      out += u'\uFFFD';
    } else if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

}  // namespace zandrel::automation
