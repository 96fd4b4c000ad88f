// Text of every kind through the system's code-page conversions and into the
// log file, with a fixed seed: random bytes, valid UTF-8 of any code point,
// text of the Western code page, embedded NULs and line breaks, and now and
// then a very long line. libFuzzer does not run here, so the inputs are drawn
// at random instead; the conversions are the system's own (under Wine).

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "support/fakes.h"
#include "shared/debug_logger.h"
#include "win/text_conv.h"
#include "win/win32_services.h"

namespace zandrel::win {
namespace {

// One code point (never a surrogate half) as UTF-8, by way of UTF-16.
std::string EncodeUtf8(char32_t c) {
  std::wstring wide;
  if (c >= 0x10000) {
    c -= 0x10000;
    wide += static_cast<wchar_t>(0xD800 + (c >> 10));
    wide += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
  } else {
    wide += static_cast<wchar_t>(c);
  }
  return WideToUtf8(wide);
}

// The characters of the Western code page (1252) outside ASCII.
const char32_t kWestern[] = {0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                             0x2039, 0x0152, 0x017D, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178, 0x00A0, 0x00E9, 0x00FF,
                             0x00C4, 0x00D6, 0x00DC, 0x00DF, 0x00E4, 0x00F6, 0x00FC, 0x00B0, 0x00A7, 0x00B5};

enum class Shape { Bytes, AnyCodePoint, Western, Breaks, Long, kCount };

class Inputs {
 public:
  explicit Inputs(unsigned seed) : rng_(seed) {}

  std::string Next(Shape shape) {
    std::string text;
    const std::size_t length = Below(shape == Shape::Long ? 200000 : 48);
    for (std::size_t i = 0; i < length; ++i) {
      switch (shape) {
        case Shape::Bytes: text += static_cast<char>(Below(256)); break;
        case Shape::AnyCodePoint: text += EncodeUtf8(AnyCodePoint()); break;
        case Shape::Western:
          text += Below(3) == 0 ? EncodeUtf8(kWestern[Below(std::size(kWestern))])
                                : std::string(1, static_cast<char>(0x20 + Below(0x5F)));
          break;
        case Shape::Breaks: {
          static const std::string kPieces[] = {"\r", "\n", "\r\n", std::string(1, '\0'), "a", "\xC3\xA9", "\xE2\x82"};
          text += kPieces[Below(std::size(kPieces))];
          break;
        }
        case Shape::Long: text += Below(50) == 0 ? EncodeUtf8(AnyCodePoint()) : std::string(1, 'x'); break;
        case Shape::kCount: break;
      }
    }
    return text;
  }

 private:
  std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }
  char32_t AnyCodePoint() {
    for (;;) {
      const auto c = static_cast<char32_t>(Below(Below(4) == 0 ? 0x110000 : 0x3000));
      if (c < 0xD800 || c > 0xDFFF) return c;  // no surrogate halves in valid UTF-8
    }
  }
  std::mt19937 rng_;
};

std::string Hex(const std::string& bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02X ", c);
    out += b;
  }
  return out;
}

bool IsValidUtf8(const std::string& text) {
  if (text.empty()) return true;
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0) > 0;
}

bool AllWestern(const std::string& utf8) {
  const std::wstring wide = Utf8ToWide(utf8);
  for (wchar_t c : wide) {
    if (c < 0x80) continue;
    if (std::find(std::begin(kWestern), std::end(kWestern), static_cast<char32_t>(c)) == std::end(kWestern))
      return false;
  }
  return true;
}

// The ASCII bytes of `text`, in order, are found in `converted` in order: a
// conversion may replace or approximate what it cannot represent, one
// character at a time, but never drops or moves plain text around it.
bool KeepsAscii(const std::string& text, const std::string& converted) {
  std::size_t at = 0;
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) continue;
    at = converted.find(c, at);
    if (at == std::string::npos) return false;
    ++at;
  }
  return true;
}

TEST(Win32CodecFuzz, AnyTextConvertsWithoutLosingItsPlainText) {
  Inputs inputs(20261206);
  int westernRoundTrips = 0;
  for (int i = 0; i < 30000; ++i) {
    const auto shape = static_cast<Shape>(i % static_cast<int>(Shape::kCount));
    if (shape == Shape::Long && i % 100 != 4) continue;
    const std::string text = inputs.Next(shape);
    const std::string ansi = Utf8ToAnsi(text);
    ASSERT_TRUE(KeepsAscii(text, ansi)) << "input " << i << ": " << Hex(text) << "-> " << Hex(ansi);
    // What comes back from the code page is always valid UTF-8.
    const std::string back = AnsiToUtf8(ansi);
    ASSERT_TRUE(IsValidUtf8(back)) << "input " << i;
    ASSERT_TRUE(IsValidUtf8(AnsiToUtf8(text))) << "input " << i;
    if (GetACP() == 1252 && IsValidUtf8(text) && AllWestern(text)) {
      ASSERT_EQ(back, text) << "input " << i;
      ++westernRoundTrips;
    }
    if (IsValidUtf8(text)) {
      ASSERT_EQ(WideToUtf8(Utf8ToWide(text)), text) << "input " << i;
    }
  }
  if (GetACP() == 1252) {
    EXPECT_GT(westernRoundTrips, 5000);
  }
}

TEST(Win32CodecFuzz, EveryLogLineReachesTheFileWhole) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  const std::string path = std::string(dir) + "zandrel_codec_fuzz.log";
  DeleteFileA(path.c_str());

  platform::fake::MemoryRegistry registry;
  const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + shared::kSettingsKey;
  registry.SetDword(key, "Debug", 0x7F004000);
  registry.SetString(key, "DebugOutputFile", path);
  registry.SetString(key, "SuppressTimeStamps", "true");
  platform::ServiceSet os = Win32Services();
  os.registry = &registry;
  const platform::ServiceSet previous = platform::Services();
  platform::Install(os);
  shared::ResetDebugLoggerForTesting();

  // The bytes of a line around its text, from a line without text.
  shared::DebugLog("", shared::REZIRUZ_LOGID, shared::DEBUG_LOGLEVEL);
  std::uintmax_t expected = 0;
  {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    expected = static_cast<std::uintmax_t>(in.tellg());
  }
  const std::uintmax_t frame = expected;
  ASSERT_GT(frame, 2u);

  Inputs inputs(7);
  for (int i = 0; i < 4000; ++i) {
    const auto shape = static_cast<Shape>(i % static_cast<int>(Shape::kCount));
    if (shape == Shape::Long && i % 100 != 4) continue;
    const std::string text = inputs.Next(shape);
    shared::DebugLog(text, shared::REZIRUZ_LOGID, shared::DEBUG_LOGLEVEL);
    expected += frame + Utf8ToAnsi(text).size();
  }
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  EXPECT_EQ(static_cast<std::uintmax_t>(in.tellg()), expected);
  in.close();

  shared::ResetDebugLoggerForTesting();
  platform::Install(previous);
  DeleteFileA(path.c_str());
}

}  // namespace
}  // namespace zandrel::win
