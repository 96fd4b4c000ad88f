#pragma once
// The platform services on Windows, implemented with Win32.

#include <windows.h>

#include <memory>
#include <string>

#include "platform/platform.h"

namespace zandrel::win {

// The Win32 services of this process (one set, made on first use).
const platform::ServiceSet& Win32Services();

// Installs them as the process's services.
void InstallWin32Services();

// The Win32 calls the log file is written with. The services use the
// system's; a test hands in a model of Windows' rules (access rights, locks
// other processes hold, where an append lands) that Wine does not keep.
struct FileCalls {
  decltype(&CreateFileW) create = &CreateFileW;
  decltype(&LockFileEx) lock = &LockFileEx;
  decltype(&UnlockFileEx) unlock = &UnlockFileEx;
  decltype(&WriteFile) write = &WriteFile;
  decltype(&CloseHandle) close = &CloseHandle;
};

// The log file's service over the given calls, which must outlive it and
// every file it opens.
std::unique_ptr<platform::FileSystem> MakeWin32FileSystem(const FileCalls& calls);

// The log file opened with the access the logger asks for (the one rule,
// which its file service keeps too); `disposition` as CreateFileW takes it,
// `moreAccess` and `flags` added. INVALID_HANDLE_VALUE when it cannot be,
// with the system's error in GetLastError().
struct Opened {
  HANDLE handle;
  bool lockable;  // opened with read access too, which a byte-range lock needs
};
Opened OpenLogFile(const FileCalls& calls, const std::wstring& name, DWORD disposition, DWORD moreAccess, DWORD flags);

// Whether the logger could append to the file now, tried as it opens it
// without leaving a trace: an existing file is opened and closed unwritten,
// a missing one created with delete-on-close. 0, or the system's error.
DWORD ProbeAppend(const FileCalls& calls, const std::string& path);

// The general-date text of a local time in the user's locale (short date, a
// blank, long time), as the log's time stamps show it.
std::string GeneralDateText(const SYSTEMTIME& time);

}  // namespace zandrel::win
