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
// The ANSI code page without Windows' best fit: a character the code page
// lacks becomes the default character, not a look-alike (L with stroke as
// L), so that it does not come back as it went in. The add-in's own
// conversion (Utf8ToAnsi) best-fits.
std::string Utf8ToAnsiExact(std::string_view utf8);

}  // namespace zandrel::win
