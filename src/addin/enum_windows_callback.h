#pragma once
// Module EnumWindowsCallback: the test applied to each top-level window while
// the add-in looks for the IDE's main window (the first window of its own
// process whose class is exactly "IDEOwner").

#include <cstdint>

#include "platform/platform.h"

namespace zandrel::addin::EnumWindowsCallback {

// The last main window found in this process; 0 until a walk finds one, never
// cleared, shared by every add-in object of the process.
extern std::int32_t m_lFoundWnd;

// The enumeration callback: the application value is the process id to match.
// Returns 1 to go on, 0 when the window matched.
std::int32_t WndEnumProc(platform::WindowHandle hwnd, std::intptr_t lParam);

}  // namespace zandrel::addin::EnumWindowsCallback
