#pragma once
// The platform services on Windows, implemented with Win32.

#include "platform/platform.h"

namespace zandrel::win {

// The Win32 services of this process (one set, made on first use).
const platform::ServiceSet& Win32Services();

// Installs them as the process's services.
void InstallWin32Services();

}  // namespace zandrel::win
