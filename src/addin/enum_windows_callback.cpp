// Members of Connect: GetMyTopWindow (with the module EnumWindowsCallback).

#include "addin/enum_windows_callback.h"

#include <string>

#include "addin/connect.h"
#include "automation/text.h"

namespace zandrel::addin {

namespace EnumWindowsCallback {

std::int32_t m_lFoundWnd = 0;

namespace {

// The class name or title of a window: read into a 256-character buffer,
// asking for at most 255; the count the call returns says what is kept.
std::string ReadText(platform::WindowHandle hwnd, bool className, const char* whenEmpty) {
  const platform::ServiceSet& os = platform::Services();
  char buffer[256] = {};
  const std::int32_t n = className ? os.windows->GetClassNameA(hwnd, buffer, 255)
                                   : os.windows->GetWindowTextA(hwnd, buffer, 255);
  if (n <= 0) return whenEmpty;
  return os.codec->FromAnsi(std::string_view(buffer, static_cast<std::size_t>(n)));
}

}  // namespace

std::int32_t WndEnumProc(platform::WindowHandle hwnd, std::intptr_t lParam) {
  std::int32_t result = 1;
  std::int32_t pid = -1;  // a failed query never matches
  platform::Services().windows->GetWindowProcessId(hwnd, &pid);
  if (pid != lParam) return result;
  const std::string className = ReadText(hwnd, true, "<UnknownClass>");
  std::string title = ReadText(hwnd, false, "<UnknownText>");
  if (className != "IDEOwner") return result;
  m_lFoundWnd = hwnd;
  title = ReadText(hwnd, false, "<UnknownText>");
  Log("      WndEnumProc HWND=0x" + automation::HexText(hwnd) + " Class=" + className + " TITLE=" + title);
  result = 0;
  return result;
}

}  // namespace EnumWindowsCallback

std::int32_t Connect::GetMyTopWindow() {
  Log("   BEGIN GetMyTopWindow");
  const platform::ServiceSet& os = platform::Services();
  const std::int32_t pid = os.process->CurrentProcessId();
  os.windows->EnumTopLevel(&EnumWindowsCallback::WndEnumProc, pid);
  const std::int32_t found = EnumWindowsCallback::m_lFoundWnd;
  Log("   END GetMyTopWindow");
  return found;
}

}  // namespace zandrel::addin
