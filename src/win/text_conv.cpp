#include "win/text_conv.h"

#include <windows.h>

#include "automation/text.h"

namespace zandrel::win {

namespace {

std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string FromWide(UINT codePage, std::wstring_view wide, DWORD flags = 0) {
  if (wide.empty()) return {};
  const int n =
      WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  const std::u16string wide = automation::Utf8ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}
std::string WideToUtf8(std::wstring_view wide) { return FromWide(CP_UTF8, wide); }
std::string Utf8ToAnsi(std::string_view utf8) { return FromWide(CP_ACP, Utf8ToWide(utf8)); }
std::string AnsiToUtf8(std::string_view ansi) { return WideToUtf8(ToWide(CP_ACP, ansi)); }
std::string Utf8ToAnsiExact(std::string_view utf8) {
  // A code page of UTF-8 (Windows' beta option) spells every character, and
  // takes no flag.
  return FromWide(CP_ACP, Utf8ToWide(utf8), GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS);
}

}  // namespace zandrel::win
