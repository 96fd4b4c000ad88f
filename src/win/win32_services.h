#pragma once
// The platform services on Windows, implemented with Win32.

#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace zandrel::win {

// The Win32 services of this process (one set, made on first use).
const platform::ServiceSet& Win32Services();

// Installs them as the process's services.
void InstallWin32Services();

// The general-date text of a local time in the user's locale (short date, a
// blank, long time), as the log's time stamps show it.
std::string GeneralDateText(const SYSTEMTIME& time);

}  // namespace zandrel::win
