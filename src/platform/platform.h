#pragma once
// The narrow operating-system services the add-in asks for. The Windows layer
// implements them with Win32 (src/win/win32_services.*); the test doubles in
// tests/support/fakes.h let the logic run and be tested on Linux.
//
// The services are process-wide, like the IDE process the add-in lives in:
// Install() sets them once at start (the DLL on load, a test in its fixture)
// and Services() hands them out.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/error.h"

namespace zandrel::platform {

// A window handle as the add-in keeps it: 32 bits, signed (handles of
// top-level windows fit in 32 bits on 64-bit Windows too).
using WindowHandle = std::int32_t;

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since local midnight, single precision, as the runtime's
  // time-of-day timer gives them.
  virtual float TimeOfDay() = 0;
  // One read of the local clock: the date and time as general-date text in
  // the user's locale (short date, a blank, long time, midnight included), and
  // the same moment as seconds since local midnight. A log line's two texts
  // come from one read, so that they never straddle a second or midnight.
  struct LocalTime {
    std::string generalDate;
    float secondsSinceMidnight = 0;
  };
  virtual LocalTime ReadLocalTime() = 0;
  // The local date and time as an automation date.
  virtual double Now() = 0;
  // The user's decimal separator.
  virtual std::string DecimalSeparator() = 0;
};

class Process {
 public:
  virtual ~Process() = default;
  virtual std::int32_t CurrentProcessId() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The registry's A-calls, shaped as Win32 has them; results are Win32 error
// codes (0 is success). Key and value names are UTF-8; data comes back as the
// bytes the A-call gives (text in the ANSI code page).
class Registry {
 public:
  using Key = std::uintptr_t;
  static constexpr Key kLocalMachine = 0x80000002u;
  static constexpr std::uint32_t kTypeString = 1;   // REG_SZ
  static constexpr std::uint32_t kTypeDword = 4;    // REG_DWORD

  virtual ~Registry() = default;
  virtual std::int32_t OpenKey(Key hive, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                               Key* opened) = 0;
  // With data null: only the type and the size in bytes. Otherwise reads at
  // most *size bytes into data and sets *size to the bytes written.
  virtual std::int32_t QueryValue(Key key, const std::string& valueName, std::uint32_t* type, std::uint8_t* data,
                                  std::uint32_t* size) = 0;
  virtual std::int32_t CloseKey(Key key) = 0;
};

// Conversion between the add-in's UTF-8 and the system's ANSI code page.
class TextCodec {
 public:
  virtual ~TextCodec() = default;
  virtual std::string ToAnsi(std::string_view utf8) = 0;
  virtual std::string FromAnsi(std::string_view ansi) = 0;
};

class AppendFile {
 public:
  virtual ~AppendFile() = default;
  virtual bool Write(std::string_view bytes) = 0;
  virtual bool Close() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens a file for appending, creating it when missing; null when it can't.
  virtual std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) = 0;
};

class MessageBoxes {
 public:
  static constexpr std::uint32_t kOk = 0x0;
  static constexpr std::uint32_t kIconStop = 0x10;

  virtual ~MessageBoxes() = default;
  // Shows a modal message box and returns the button that closed it.
  virtual std::int32_t Show(const std::string& text, const std::string& caption, std::uint32_t style) = 0;
};

// The top-level windows of the desktop and the A-calls that read them.
class Windows {
 public:
  using EnumProc = std::int32_t (*)(WindowHandle window, std::intptr_t applicationValue);

  virtual ~Windows() = default;
  // Calls proc for each top-level window in the system's order until it
  // returns 0.
  virtual bool EnumTopLevel(EnumProc proc, std::intptr_t applicationValue) = 0;
  // The id of the process that owns the window; *pid is left alone when the
  // window is unknown.
  virtual void GetWindowProcessId(WindowHandle window, std::int32_t* pid) = 0;
  // Copy at most maxCount - 1 bytes and a terminating zero into buffer; the
  // number of bytes copied, 0 on failure.
  virtual std::int32_t GetClassNameA(WindowHandle window, char* buffer, std::int32_t maxCount) = 0;
  virtual std::int32_t GetWindowTextA(WindowHandle window, char* buffer, std::int32_t maxCount) = 0;
};

// A window timer owned by a hidden window of the calling thread: while enabled
// with a non-zero interval it ticks every interval, through that thread's
// message loop.
class WindowTimer {
 public:
  virtual ~WindowTimer() = default;
  virtual automation::Status Set(std::uint32_t intervalMs, bool enabled) = 0;
};

class Timers {
 public:
  virtual ~Timers() = default;
  virtual std::unique_ptr<WindowTimer> Create(std::function<void()> onTick) = 0;
};

struct ServiceSet {
  Clock* clock = nullptr;
  Process* process = nullptr;
  Registry* registry = nullptr;
  TextCodec* codec = nullptr;
  FileSystem* files = nullptr;
  MessageBoxes* messageBoxes = nullptr;
  Windows* windows = nullptr;
  Timers* timers = nullptr;
};

void Install(const ServiceSet& services);
const ServiceSet& Services();

}  // namespace zandrel::platform
