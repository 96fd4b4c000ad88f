#include "win/win32_services.h"

#include <windows.h>
#include <oleauto.h>

#include <mutex>
#include <utility>

#include "win/text_conv.h"

namespace zandrel::win {

namespace {

using automation::Status;
using platform::WindowHandle;

HWND ToHwnd(WindowHandle w) { return reinterpret_cast<HWND>(static_cast<std::intptr_t>(w)); }
WindowHandle FromHwnd(HWND h) { return static_cast<WindowHandle>(reinterpret_cast<std::intptr_t>(h)); }

float SecondsSinceMidnight(const SYSTEMTIME& st) {
  return static_cast<float>(st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond + st.wMilliseconds / 1000.0);
}

}  // namespace

std::string GeneralDateText(const SYSTEMTIME& st) {
  // The short date and the long time of the user's locale, each formatted on
  // its own: the automation runtime's general date (VarBstrFromDate) leaves
  // out a time of exactly midnight, and a log line must always show its time.
  wchar_t date[80] = {};
  wchar_t time[80] = {};
  if (GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 80) == 0) return {};
  if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 80) == 0) return {};
  return WideToUtf8(date) + " " + WideToUtf8(time);
}

namespace {

class Win32Clock : public platform::Clock {
 public:
  float TimeOfDay() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return SecondsSinceMidnight(st);
  }

  LocalTime ReadLocalTime() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {GeneralDateText(st), SecondsSinceMidnight(st)};
  }

  double Now() override {
    SYSTEMTIME st;
    GetLocalTime(&st);
    st.wMilliseconds = 0;
    double date = 0;
    SystemTimeToVariantTime(&st, &date);
    return date;
  }

  std::string DecimalSeparator() override {
    wchar_t buf[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8) == 0) return ".";
    return WideToUtf8(buf);
  }
};

class Win32Process : public platform::Process {
 public:
  std::int32_t CurrentProcessId() override { return static_cast<std::int32_t>(GetCurrentProcessId()); }
  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

class Win32Registry : public platform::Registry {
 public:
  std::int32_t OpenKey(Key hive, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                       Key* opened) override {
    HKEY key = nullptr;
    const LONG rc = RegOpenKeyExA(reinterpret_cast<HKEY>(hive), Utf8ToAnsi(subKey).c_str(), options, access, &key);
    if (rc == ERROR_SUCCESS) *opened = reinterpret_cast<Key>(key);
    return rc;
  }

  std::int32_t QueryValue(Key key, const std::string& valueName, std::uint32_t* type, std::uint8_t* data,
                          std::uint32_t* size) override {
    DWORD t = 0;
    DWORD n = *size;
    const LONG rc = RegQueryValueExA(reinterpret_cast<HKEY>(key), Utf8ToAnsi(valueName).c_str(), nullptr, &t,
                                     data, &n);
    if (type) *type = t;
    *size = n;
    return rc;
  }

  std::int32_t CloseKey(Key key) override { return RegCloseKey(reinterpret_cast<HKEY>(key)); }
};

class AnsiCodec : public platform::TextCodec {
 public:
  std::string ToAnsi(std::string_view utf8) override { return Utf8ToAnsi(utf8); }
  std::string FromAnsi(std::string_view ansi) override { return AnsiToUtf8(ansi); }
};

class Win32File : public platform::AppendFile {
 public:
  Win32File(const FileCalls& calls, HANDLE h, bool lockable) : calls_(calls), h_(h), lockable_(lockable) {}
  ~Win32File() override {
    if (h_ != INVALID_HANDLE_VALUE) calls_.close(h_);
  }
  // The handle has append access and no write access, so Windows puts every
  // write whole at the end of the file, whoever else appends (another program,
  // an older build that takes no lock); the offset "end of file" says the same
  // again for file systems that look only at the offset. The lock byte, far
  // beyond any end of file, only orders the lines of processes that share the
  // log. It is never waited for: this runs on the IDE's user-interface thread,
  // and a lock another process holds (paused in a debugger, or a client of a
  // share that dropped off) would freeze the IDE. A lock still refused after
  // a few tries fails this attempt, and the logger's five attempts bound the
  // wait. Where the file
  // system has no locks, or the handle may not read, the line is appended
  // without one.
  bool Write(std::string_view bytes) override {
    OVERLAPPED lock = {};
    lock.Offset = kLockOffsetLow;
    lock.OffsetHigh = kLockOffsetHigh;
    bool locked = false;
    if (lockable_) {
      const LockResult taken = TakeLock(lock);
      if (taken == LockResult::Refused) return false;
      locked = taken == LockResult::Locked;
    }
    OVERLAPPED atEnd = {};
    atEnd.Offset = 0xFFFFFFFFu;
    atEnd.OffsetHigh = 0xFFFFFFFFu;
    DWORD written = 0;
    const bool ok = calls_.write(h_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, &atEnd) &&
                    written == bytes.size();
    if (locked) calls_.unlock(h_, 0, 1, 0, &lock);
    return ok;
  }
  bool Close() override { return calls_.close(std::exchange(h_, INVALID_HANDLE_VALUE)) != 0; }

 private:
  enum class LockResult { Locked, Refused, NoLocks };
  // A writer that is working holds the lock for the length of one write: a
  // few tries within 10 ms take it from such a writer (two IDEs logging at
  // full speed would otherwise drop lines), and never wait on one that has
  // stopped.
  LockResult TakeLock(OVERLAPPED& lock) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (;;) {
      if (calls_.lock(h_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &lock)) return LockResult::Locked;
      if (GetLastError() != ERROR_LOCK_VIOLATION) return LockResult::NoLocks;
      QueryPerformanceCounter(&now);
      if ((now.QuadPart - start.QuadPart) * 1000 >= kLockTriesMs * frequency.QuadPart) return LockResult::Refused;
      SwitchToThread();
    }
  }
  static constexpr LONGLONG kLockTriesMs = 10;
  static constexpr DWORD kLockOffsetLow = 0xFFFFFFFEu;
  static constexpr DWORD kLockOffsetHigh = 0x7FFFFFFFu;
  const FileCalls& calls_;
  HANDLE h_;
  bool lockable_;
};

class Win32FileSystem : public platform::FileSystem {
 public:
  explicit Win32FileSystem(const FileCalls& calls) : calls_(calls) {}
  std::unique_ptr<platform::AppendFile> OpenForAppend(const std::string& path) override {
    const Opened opened = OpenLogFile(calls_, Utf8ToWide(path), OPEN_ALWAYS, 0, 0);
    if (opened.handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32File>(calls_, opened.handle, opened.lockable);
  }

 private:
  const FileCalls& calls_;
};

}  // namespace

Opened OpenLogFile(const FileCalls& calls, const std::wstring& name, DWORD disposition, DWORD moreAccess,
                   DWORD flags) {
  // Append access without write access: Windows then writes only at the
  // end of the file, and a log file its users may append to but not write
  // (an ACL granting FILE_APPEND_DATA alone) still takes the lines. A byte
  // range lock needs read or write access to the data, so read access is
  // asked for too, and done without where it is refused, or where another
  // writer holds the file without sharing it for reading.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (moreAccess & DELETE ? FILE_SHARE_DELETE : 0);
  for (const bool lockable : {true, false}) {
    const DWORD access = FILE_APPEND_DATA | SYNCHRONIZE | (lockable ? FILE_READ_DATA : 0) | moreAccess;
    HANDLE h = calls.create(name.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (h != INVALID_HANDLE_VALUE) return {h, lockable};
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) break;
  }
  return {INVALID_HANDLE_VALUE, false};
}

DWORD ProbeAppend(const FileCalls& calls, const std::string& path) {
  const std::wstring name = Utf8ToWide(path);
  Opened opened = OpenLogFile(calls, name, OPEN_EXISTING, 0, 0);
  if (opened.handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
    opened = OpenLogFile(calls, name, CREATE_NEW, DELETE, FILE_FLAG_DELETE_ON_CLOSE);
  if (opened.handle == INVALID_HANDLE_VALUE) return GetLastError();
  calls.close(opened.handle);
  return 0;
}

namespace {

class Win32MessageBoxes : public platform::MessageBoxes {
 public:
  std::int32_t Show(const std::string& text, const std::string& caption, std::uint32_t style) override {
    return MessageBoxW(nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), style);
  }
};

class Win32Windows : public platform::Windows {
 public:
  bool EnumTopLevel(EnumProc proc, std::intptr_t applicationValue) override {
    Context context{proc, applicationValue};
    return EnumWindows(&Forward, reinterpret_cast<LPARAM>(&context)) != 0;
  }
  void GetWindowProcessId(WindowHandle window, std::int32_t* pid) override {
    DWORD id = 0;
    if (GetWindowThreadProcessId(ToHwnd(window), &id) != 0) *pid = static_cast<std::int32_t>(id);
  }
  std::int32_t GetClassNameA(WindowHandle window, char* buffer, std::int32_t maxCount) override {
    return ::GetClassNameA(ToHwnd(window), buffer, maxCount);
  }
  std::int32_t GetWindowTextA(WindowHandle window, char* buffer, std::int32_t maxCount) override {
    return ::GetWindowTextA(ToHwnd(window), buffer, maxCount);
  }

 private:
  struct Context {
    EnumProc proc;
    std::intptr_t value;
  };
  static BOOL CALLBACK Forward(HWND h, LPARAM lp) {
    auto* c = reinterpret_cast<Context*>(lp);
    return c->proc(FromHwnd(h), c->value) != 0;
  }
};

// The window class of the timer windows, registered for this module (the
// DLL, not the host's EXE) while at least one timer window exists, and
// unregistered with the last one. Windows keeps a DLL's classes when the DLL
// is unloaded; a class left behind would point at a window procedure that is
// gone, and stop the next load of the DLL from registering its own. An
// object of this class is one use of the class (the owner of its share).
class TimerWindowClass {
 public:
  static constexpr wchar_t kName[] = L"ZandrelTimerWindow";

  explicit TimerWindowClass(WNDPROC procedure) : held_(Acquire(procedure)) {}
  ~TimerWindowClass() { reset(); }
  TimerWindowClass(const TimerWindowClass&) = delete;
  TimerWindowClass& operator=(const TimerWindowClass&) = delete;
  // True while the class is registered for this use.
  explicit operator bool() const { return held_; }
  void reset() {
    if (std::exchange(held_, false)) Leave();
  }

  static HINSTANCE Module() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&TimerWindowClass::Module), &module);
    return module;
  }
 private:
  static bool Acquire(WNDPROC procedure) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ == 0) {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = procedure;
      wc.hInstance = Module();
      wc.lpszClassName = kName;
      if (RegisterClassW(&wc) == 0) return false;
    }
    ++users_;
    return true;
  }
  static void Leave() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--users_ == 0) UnregisterClassW(kName, Module());
  }

  bool held_;
  static inline std::mutex mutex_;
  static inline int users_ = 0;
};

// A timer on a hidden message-only window of the calling thread; its ticks
// arrive as WM_TIMER through that thread's message loop.
class HiddenWindowTimer : public platform::WindowTimer {
 public:
  explicit HiddenWindowTimer(std::function<void()> onTick) : onTick_(std::move(onTick)) {
    if (!class_) return;
    hwnd_ = CreateWindowExW(0, TimerWindowClass::kName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            TimerWindowClass::Module(), nullptr);
    if (hwnd_) SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    else class_.reset();
  }
  ~HiddenWindowTimer() override {
    if (hwnd_) {
      KillTimer(hwnd_, kTimerId);
      SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      DestroyWindow(hwnd_);
    }
  }  // the class's use ends after the window
  HiddenWindowTimer(const HiddenWindowTimer&) = delete;
  HiddenWindowTimer& operator=(const HiddenWindowTimer&) = delete;

  Status Set(std::uint32_t intervalMs, bool enabled) override {
    if (!hwnd_) return automation::Error{static_cast<std::int32_t>(E_FAIL), "The timer window could not be created"};
    if (enabled && intervalMs != 0) {
      if (SetTimer(hwnd_, kTimerId, intervalMs, nullptr) == 0)
        return automation::Error{static_cast<std::int32_t>(HRESULT_FROM_WIN32(GetLastError())), "SetTimer failed"};
    } else {
      KillTimer(hwnd_, kTimerId);
    }
    return Status::Ok();
  }

 private:
  static constexpr UINT_PTR kTimerId = 1;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER && wp == kTimerId) {
      if (auto* self = reinterpret_cast<HiddenWindowTimer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
        self->onTick_();
      }
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  std::function<void()> onTick_;
  TimerWindowClass class_{&HiddenWindowTimer::WindowProc};
  HWND hwnd_ = nullptr;
};

class Win32Timers : public platform::Timers {
 public:
  std::unique_ptr<platform::WindowTimer> Create(std::function<void()> onTick) override {
    return std::make_unique<HiddenWindowTimer>(std::move(onTick));
  }
};

}  // namespace

const platform::ServiceSet& Win32Services() {
  static Win32Clock clock;
  static Win32Process process;
  static Win32Registry registry;
  static AnsiCodec codec;
  static const FileCalls calls{};
  static Win32FileSystem files(calls);
  static Win32MessageBoxes messageBoxes;
  static Win32Windows windows;
  static Win32Timers timers;
  static const platform::ServiceSet set{&clock, &process, &registry, &codec, &files, &messageBoxes, &windows, &timers};
  return set;
}

void InstallWin32Services() { platform::Install(Win32Services()); }

std::unique_ptr<platform::FileSystem> MakeWin32FileSystem(const FileCalls& calls) {
  return std::make_unique<Win32FileSystem>(calls);
}

}  // namespace zandrel::win
