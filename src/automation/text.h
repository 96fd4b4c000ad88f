#pragma once
// Text helpers. Text inside the add-in is UTF-8; the Windows layer converts at
// its edge (UTF-16 for COM, the ANSI code page for the A-calls and the log).

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zandrel::automation {

// Lower case as automation's LCase does it for the scripts this system meets:
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic letters. Other
// characters pass through unchanged.
std::string LowerCase(std::string_view utf8);
// The same into a string of the caller's, whose capacity is kept.
void LowerCaseInto(std::string& out, std::string_view utf8);
// The same appended to what out holds.
void AppendLowerCase(std::string& out, std::string_view utf8);

// The eight bytes from p on as one word, the first the lowest on this
// little-endian machine.
inline std::uint64_t LoadWord(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Eight bytes, all in ASCII, with the letters A to Z in lower case. A byte's
// high bit is set by the first sum when it is 'A' or above, by the second
// when it is above 'Z' (no byte carries into the next: all are below 0x80).
inline constexpr std::uint64_t kAsciiHighBits = 0x8080808080808080u;
constexpr std::uint64_t LowerAsciiWord(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u;
  const std::uint64_t upper = (word + (0x80 - 'A') * kOnes) & ~(word + (0x80 - 'Z' - 1) * kOnes) & kAsciiHighBits;
  return word | (upper >> 2);  // 0x80 >> 2 is the 0x20 between the cases
}

// UTF-8 to UTF-16, every ill-formed sequence replaced by one U+FFFD for each
// of its maximal subparts (as Unicode recommends and Windows does), and never
// taking the bytes after it along, at the end of the text too. The Windows
// layer converts with this rather than with the system, whose decoders differ
// there (Wine's swallows what follows a sequence cut short by the end).
std::u16string Utf8ToUtf16(std::string_view utf8);

// A 32-bit value in upper-case hexadecimal without leading zeros or prefix;
// a negative value shows its eight-digit two's complement ("FFFFFFFE").
std::string HexText(std::int32_t value);

}  // namespace zandrel::automation
