#pragma once
// Text at the Windows edge: the add-in's UTF-8 to and from UTF-16 (COM, the
// W-calls) and the ANSI code page (the A-calls, the log file).

#include <string>
#include <string_view>

namespace zandrel::win {

std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);
std::string Utf8ToAnsi(std::string_view utf8);
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace zandrel::win
