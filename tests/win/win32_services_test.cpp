// The Win32 platform services, against the real system (under Wine).

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "shared/debug_logger.h"
#include "shared/registry_api.h"
#include "support/fakes.h"
#include "win/text_conv.h"
#include "win/win32_services.h"

namespace zandrel::win {
namespace {

const platform::ServiceSet& Os() { return Win32Services(); }

TEST(Win32Clock, TimeOfDayIsSecondsSinceLocalMidnight) {
  SYSTEMTIME st;
  GetLocalTime(&st);
  const double expected = st.wHour * 3600.0 + st.wMinute * 60.0 + st.wSecond;
  const float actual = Os().clock->TimeOfDay();
  EXPECT_NEAR(actual, expected, 2.0);
  const auto now = Os().clock->ReadLocalTime();
  EXPECT_NE(now.generalDate.find(std::to_string(st.wYear)), std::string::npos) << now.generalDate;
  EXPECT_NEAR(now.secondsSinceMidnight, expected, 2.0);
  EXPECT_FALSE(Os().clock->DecimalSeparator().empty());
}

// The date text always carries the time, midnight's too (the automation
// runtime's general date leaves a time of exactly 00:00:00 out).
TEST(Win32Clock, GeneralDateTextShowsTheTimeAtMidnight) {
  const LCID locale = GetUserDefaultLCID();
  for (WORD ms : {0, 250, 999}) {
    SYSTEMTIME midnight = {2026, 12, 0, 6, 0, 0, 0, ms};
    wchar_t time[80] = {};
    ASSERT_NE(GetTimeFormatW(locale, 0, &midnight, nullptr, time, 80), 0);
    const std::string text = GeneralDateText(midnight);
    EXPECT_NE(text.find("2026"), std::string::npos) << text;
    EXPECT_NE(text.find(WideToUtf8(time)), std::string::npos) << text;
    EXPECT_GT(text.size(), text.find("2026") + 6) << text;
  }
  if (PRIMARYLANGID(LANGIDFROMLCID(locale)) == LANG_ENGLISH && SUBLANGID(LANGIDFROMLCID(locale)) == SUBLANG_ENGLISH_US) {
    SYSTEMTIME st = {2026, 12, 0, 6, 0, 0, 0, 0};
    EXPECT_EQ(GeneralDateText(st), "12/6/2026 12:00:00 AM");
    st = {2026, 12, 0, 5, 1, 7, 44, 520};
    EXPECT_EQ(GeneralDateText(st), "12/5/2026 1:07:44 AM");
  }
}

TEST(Win32Files, AppendCreatesAndExtends) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::string path = WideToUtf8(dir) + "zandrel_append_test.txt";
  DeleteFileW(Utf8ToWide(path).c_str());
  for (const char* text : {"one\r\n", "two\r\n"}) {
    auto file = Os().files->OpenForAppend(path);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->Write(text));
    EXPECT_TRUE(file->Close());
  }
  HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[64] = {};
  DWORD read = 0;
  ReadFile(h, buf, sizeof buf - 1, &read, nullptr);
  CloseHandle(h);
  EXPECT_EQ(std::string(buf, read), "one\r\ntwo\r\n");
  DeleteFileW(Utf8ToWide(path).c_str());

  EXPECT_FALSE(Os().files->OpenForAppend("C:\\no\\such\\folder\\x.log"));
}

std::string ReadWhole(const std::string& path) {
  HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "(cannot be read)";
  std::string text(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(h, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
  CloseHandle(h);
  text.resize(read);
  return text;
}

// The add-in's logger writing through the real file system, with every other
// service faked: the registry names the log, and the sleeps between attempts
// are counted instead of slept.
class RealLogFile {
 public:
  explicit RealLogFile(const std::string& path) {
    fakes_.registry.SetDword(std::string("HKEY_LOCAL_MACHINE\\") + shared::kSettingsKey, "Debug", 0x7F004000);
    fakes_.registry.SetString(std::string("HKEY_LOCAL_MACHINE\\") + shared::kSettingsKey, "DebugOutputFile", path);
    platform::ServiceSet set = platform::Services();
    set.files = Os().files;
    platform::Install(set);
    shared::ResetDebugLoggerForTesting();
  }
  ~RealLogFile() { shared::ResetDebugLoggerForTesting(); }
  const std::vector<std::uint32_t>& Sleeps() const { return fakes_.process.sleeps; }

 private:
  platform::fake::FakeServices fakes_;
};

DWORD WINAPI LogOneLine(void*) {
  shared::DebugLog("a line while the lock is held", shared::REZIRUZ_LOGID, shared::INFO_LOGLEVEL);
  return 0;
}

// Another writer of the log holds its lock byte and does not let go (an IDE
// paused in a debugger between its lock and its unlock): the logger, on the
// IDE's user-interface thread, must not wait for it. Each of the five attempts
// is refused at once, and the line is dropped.
TEST(Win32Files, ALockHeldElsewhereCostsTheFiveAttemptsAndNoWait) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  const std::string path = WideToUtf8(dir) + "zandrel_locked_test.log";
  DeleteFileW(Utf8ToWide(path).c_str());
  RealLogFile log(path);
  HANDLE holder = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  OVERLAPPED lockByte = {};
  lockByte.Offset = 0xFFFFFFFEu;
  lockByte.OffsetHigh = 0x7FFFFFFFu;
  ASSERT_TRUE(LockFileEx(holder, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &lockByte));

  // A hang detector, not a timing: a logger that waits for the lock is let go
  // by unlocking after the bound, and the test fails.
  HANDLE thread = CreateThread(nullptr, 0, &LogOneLine, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  const bool waited = WaitForSingleObject(thread, 120000) == WAIT_TIMEOUT;
  UnlockFileEx(holder, 0, 1, 0, &lockByte);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(holder);
  EXPECT_FALSE(waited) << "the logger waited for a lock another writer held";
  EXPECT_EQ(log.Sleeps(), std::vector<std::uint32_t>(5, 100));
  EXPECT_EQ(ReadWhole(path), "");

  shared::DebugLog("a line once the lock is free", shared::REZIRUZ_LOGID, shared::INFO_LOGLEVEL);
  EXPECT_NE(ReadWhole(path).find("a line once the lock is free\r\n"), std::string::npos) << ReadWhole(path);
  EXPECT_EQ(log.Sleeps().size(), 5u);
  DeleteFileW(Utf8ToWide(path).c_str());
}

// Windows' rules for the calls the log is written with, which Wine does not
// keep (it has no file ACLs, and locks what any handle asks): the rights a
// folder's ACL grants, a byte-range lock needing read or write access to the
// data, a lock another process holds, and where a write lands: at the end for
// a handle with append access and no write access, or for the offset "end of
// file"; else at the offset given.
class WindowsFileModel {
 public:
  std::string data = "an earlier line\r\n";
  DWORD granted = FILE_ALL_ACCESS;      // what the file's ACL grants
  DWORD othersShare = FILE_SHARE_READ | FILE_SHARE_WRITE;  // another writer's open of it
  bool lockHeldElsewhere = false;       // another process holds the lock byte
  DWORD lockError = 0;                  // a file system without locks: its error
  std::string foreignAppend;            // another program's append before each write
  bool exists = true;                   // the file is there (with its data)
  int waits = 0;                        // locks that would have waited
  int locksTaken = 0;
  int openHandles = 0;

  static WindowsFileModel* current;
  FileCalls Calls() const { return {&Create, &Lock, &Unlock, &Write, &Close}; }

 private:
  static DWORD Mapped(DWORD access) {
    if (access & GENERIC_READ) access |= FILE_GENERIC_READ;
    if (access & GENERIC_WRITE) access |= FILE_GENERIC_WRITE;
    return access & ~(GENERIC_READ | GENERIC_WRITE);
  }
  struct Handle {
    DWORD access;
    bool deleteOnClose;
  };
  static DWORD& Access(HANDLE h) { return static_cast<Handle*>(h)->access; }
  // CreateFileW asks for the attributes too; a writer's open without read
  // sharing refuses every open that asks to read the data.
  static HANDLE WINAPI Create(LPCWSTR, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                              HANDLE) {
    const DWORD wanted = Mapped(access) | FILE_READ_ATTRIBUTES;
    if ((wanted & current->granted) != wanted) return SetLastError(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
    if ((wanted & FILE_READ_DATA) && !(current->othersShare & FILE_SHARE_READ))
      return SetLastError(ERROR_SHARING_VIOLATION), INVALID_HANDLE_VALUE;
    if (!current->exists && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING))
      return SetLastError(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    if (current->exists && disposition == CREATE_NEW) return SetLastError(ERROR_FILE_EXISTS), INVALID_HANDLE_VALUE;
    if ((flags & FILE_FLAG_DELETE_ON_CLOSE) && !(wanted & DELETE))
      return SetLastError(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    current->exists = true;
    ++current->openHandles;
    return new Handle{wanted, (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0};
  }
  static BOOL WINAPI Lock(HANDLE h, DWORD flags, DWORD, DWORD, DWORD, LPOVERLAPPED) {
    if (!(Access(h) & (FILE_READ_DATA | FILE_WRITE_DATA))) return SetLastError(ERROR_ACCESS_DENIED), FALSE;
    if (current->lockError) return SetLastError(current->lockError), FALSE;
    if (current->lockHeldElsewhere) {
      if (!(flags & LOCKFILE_FAIL_IMMEDIATELY)) ++current->waits;
      return SetLastError(ERROR_LOCK_VIOLATION), FALSE;
    }
    ++current->locksTaken;
    return TRUE;
  }
  static BOOL WINAPI Unlock(HANDLE, DWORD, DWORD, DWORD, LPOVERLAPPED) { return TRUE; }
  static BOOL WINAPI Write(HANDLE h, LPCVOID bytes, DWORD n, LPDWORD written, LPOVERLAPPED at) {
    if (!(Access(h) & (FILE_WRITE_DATA | FILE_APPEND_DATA))) return SetLastError(ERROR_ACCESS_DENIED), FALSE;
    std::string& data = current->data;
    const std::size_t endBefore = data.size();
    data += current->foreignAppend;
    std::size_t offset = data.size();
    const bool toEnd = !(Access(h) & FILE_WRITE_DATA) || (at && at->Offset == 0xFFFFFFFFu && at->OffsetHigh == 0xFFFFFFFFu);
    if (!toEnd) offset = at ? at->Offset : endBefore;  // the position a seek to the end found
    data.resize(std::max<std::size_t>(data.size(), offset + n));
    data.replace(offset, n, static_cast<const char*>(bytes), n);
    *written = n;
    return TRUE;
  }
  static BOOL WINAPI Close(HANDLE h) {
    if (static_cast<Handle*>(h)->deleteOnClose) current->exists = false, current->data.clear();
    delete static_cast<Handle*>(h);
    --current->openHandles;
    return TRUE;
  }
};
WindowsFileModel* WindowsFileModel::current = nullptr;

struct FileRuleRow {
  const char* name;
  void (*arrange)(WindowsFileModel&);
  std::string content;  // the file after one logged line
  std::size_t sleeps;   // the waits between attempts
  int locksTaken;
};

TEST(Win32Files, WindowsRulesForTheLogFile) {
  const std::string line = " INFO     DIRUDEVU  a line\r\n";
  const std::string earlier = "an earlier line\r\n";
  const FileRuleRow rows[] = {
      {"a file granting every right", [](WindowsFileModel&) {}, earlier + line, 0, 1},
      {"a lock another process holds for ever: five attempts, no wait, the line dropped",
       [](WindowsFileModel& m) { m.lockHeldElsewhere = true; }, earlier, 5, 0},
      {"a file granting append and read, not write",
       [](WindowsFileModel& m) { m.granted = FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE; },
       earlier + line, 0, 1},
      {"a file granting append only: no lock can be taken, the line is appended",
       [](WindowsFileModel& m) { m.granted = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE; }, earlier + line, 0, 0},
      {"another writer holds the file without sharing it for reading",
       [](WindowsFileModel& m) { m.othersShare = FILE_SHARE_WRITE; }, earlier + line, 0, 0},
      {"another program appends without the lock: nothing is overwritten",
       [](WindowsFileModel& m) { m.foreignAppend = "another program's line\r\n"; },
       earlier + "another program's line\r\n" + line, 0, 1},
      {"a file system without locks", [](WindowsFileModel& m) { m.lockError = ERROR_INVALID_FUNCTION; },
       earlier + line, 0, 0},
  };
  for (const FileRuleRow& row : rows) {
    SCOPED_TRACE(row.name);
    WindowsFileModel model;
    row.arrange(model);
    WindowsFileModel::current = &model;
    const FileCalls calls = model.Calls();
    const auto files = MakeWin32FileSystem(calls);
    {
      platform::fake::FakeServices fakes;
      const std::string key = std::string("HKEY_LOCAL_MACHINE\\") + shared::kSettingsKey;
      fakes.registry.SetDword(key, "Debug", 0x7F004000);
      fakes.registry.SetString(key, "DebugOutputFile", "C:\\logs\\zandrel.log");
      fakes.registry.SetString(key, "SuppressTimeStamps", "true");
      platform::ServiceSet set = platform::Services();
      set.files = files.get();
      platform::Install(set);
      shared::ResetDebugLoggerForTesting();
      shared::DebugLog("a line", shared::REZIRUZ_LOGID, shared::INFO_LOGLEVEL);
      EXPECT_EQ(fakes.process.sleeps.size(), row.sleeps);
      shared::ResetDebugLoggerForTesting();
    }
    EXPECT_EQ(model.data, row.content);
    EXPECT_EQ(model.waits, 0) << "a lock was asked for that would have waited";
    EXPECT_EQ(model.locksTaken, row.locksTaken);
    EXPECT_EQ(model.openHandles, 0);
    WindowsFileModel::current = nullptr;
  }
}

// The doctor's probe of the log file asks for what the logger asks for, so
// that a log file its users may only append to is no false FAIL; it writes
// nothing, and a file it had to create goes when it is closed.
TEST(Win32Files, TheDoctorsProbeOpensAsTheLoggerAndLeavesNoTrace) {
  const struct {
    const char* name;
    DWORD granted;
    bool exists;
    DWORD error;
  } rows[] = {
      {"a file granting every right", FILE_ALL_ACCESS, true, 0},
      {"a file granting append only", FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, true, 0},
      {"a file granting append and read, not write",
       FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, true, 0},
      {"a file granting read only", FILE_GENERIC_READ, true, ERROR_ACCESS_DENIED},
      {"no file yet", FILE_ALL_ACCESS, false, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WindowsFileModel model;
    model.granted = row.granted;
    model.exists = row.exists;
    const std::string before = row.exists ? model.data : "";
    if (!row.exists) model.data.clear();
    WindowsFileModel::current = &model;
    EXPECT_EQ(ProbeAppend(model.Calls(), "C:\\logs\\zandrel.log"), row.error);
    EXPECT_EQ(model.exists, row.exists);
    EXPECT_EQ(model.data, before);
    EXPECT_EQ(model.openHandles, 0);
    WindowsFileModel::current = nullptr;
  }
}

TEST(Win32Codec, AnsiRoundTrip) {
  EXPECT_EQ(Os().codec->ToAnsi("BEGIN x"), "BEGIN x");
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page here is " << GetACP() << ", not 1252";
  EXPECT_EQ(Os().codec->ToAnsi("Gr\xC3\xB6\xC3\x9F" "e"), "Gr\xF6\xDF" "e");
  EXPECT_EQ(Os().codec->FromAnsi("Gr\xF6\xDF" "e"), "Gr\xC3\xB6\xC3\x9F" "e");
}

// --log-on checks a path against the ANSI code page without best fit: a
// character the code page lacks must not come back as a look-alike, which
// would name another file than the one the doctor says it logs to.
TEST(Win32Codec, TheExactConversionPutsNoLookAlikeForAMissingCharacter) {
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page here is " << GetACP() << ", not 1252";
  EXPECT_EQ(Utf8ToAnsiExact("C:\\Zo\xC3\xAB\\\xE2\x82\xAC.log"), "C:\\Zo\xEB\\\x80.log");
  // Greek Zeta, L with stroke and full-width A (which the best fit makes L and A), Cyrillic De.
  for (const char* missing : {"\xCE\x96", "\xC5\x81", "\xEF\xBC\xA1", "\xD0\x94"})
    EXPECT_EQ(Utf8ToAnsiExact(missing), "?") << missing;
}

TEST(Win32Registry, ReadsWhatTheRegistryHolds) {
  InstallWin32Services();  // the registry reader asks the installed services
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\ZandrelTest", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  const DWORD mask = 0x7F004000;
  RegSetValueExA(key, "Dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mask), sizeof mask);
  RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>("C:\\log.txt"), 11);
  RegSetValueExA(key, "Expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("true"), 5);
  RegCloseKey(key);

  const auto hkcu = reinterpret_cast<platform::Registry::Key>(HKEY_CURRENT_USER);
  EXPECT_EQ(shared::GetRegValue(hkcu, "Software\\ZandrelTest", "Dword").AsLong(), 0x7F004000);
  EXPECT_EQ(shared::GetRegValue(hkcu, "Software\\ZandrelTest", "Text").AsString(), "C:\\log.txt");
  EXPECT_TRUE(shared::GetRegValue(hkcu, "Software\\ZandrelTest", "Expand").IsEmpty());
  EXPECT_TRUE(shared::GetRegValue(hkcu, "Software\\ZandrelTest", "Missing").IsEmpty());
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ZandrelTest");
}

TEST(Win32Windows, FindsTheTopLevelWindowsOfThisProcess) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "ZandrelProbeClass";
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowExA(0, "ZandrelProbeClass", "Probe title", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, wc.hInstance, nullptr);
  ASSERT_NE(hwnd, nullptr);
  const auto handle = static_cast<platform::WindowHandle>(reinterpret_cast<std::intptr_t>(hwnd));

  static platform::WindowHandle found;
  found = 0;
  Os().windows->EnumTopLevel(
      [](platform::WindowHandle w, std::intptr_t pid) -> std::int32_t {
        std::int32_t owner = -1;
        Win32Services().windows->GetWindowProcessId(w, &owner);
        char cls[256];
        const int n = Win32Services().windows->GetClassNameA(w, cls, 256);
        if (owner == pid && std::string(cls, static_cast<std::size_t>(n)) == "ZandrelProbeClass") {
          found = w;
          return 0;
        }
        return 1;
      },
      Os().process->CurrentProcessId());
  EXPECT_EQ(found, handle);
  char title[256];
  const int n = Os().windows->GetWindowTextA(handle, title, 256);
  EXPECT_EQ(std::string(title, static_cast<std::size_t>(n)), "Probe title");
  DestroyWindow(hwnd);
}

// Pumps this thread's messages until done() or the deadline.
template <class Done>
void PumpUntil(Done done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  MSG msg;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(1);
  }
}

TEST(Win32Timers, TicksArriveThroughTheMessageLoopUntilDisabled) {
  int ticks = 0;
  auto timer = Os().timers->Create([&] { ++ticks; });
  ASSERT_TRUE(timer->Set(10, true).ok());
  PumpUntil([&] { return ticks >= 3; }, std::chrono::seconds(5));
  EXPECT_GE(ticks, 3);
  ASSERT_TRUE(timer->Set(10, false).ok());
  const int stopped = ticks;
  PumpUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(ticks, stopped);
  // No tick is delivered without a message loop.
  ASSERT_TRUE(timer->Set(10, true).ok());
  Sleep(50);
  EXPECT_EQ(ticks, stopped);
  timer.reset();  // destroying the timer kills it; pending messages go nowhere
  PumpUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_EQ(ticks, stopped);
}

// The timer windows' class belongs to the module that holds the services (the
// DLL in the IDE) and lives as long as one of its windows: a DLL unloaded
// and loaded again registers it afresh.
TEST(Win32Timers, TheWindowClassLivesWithItsWindows) {
  HMODULE module = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(&Win32Services), &module));
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  auto registered = [&] { return GetClassInfoExW(module, L"ZandrelTimerWindow", &wc) != 0; };
  EXPECT_FALSE(registered());
  for (int round = 0; round < 2; ++round) {
    auto first = Os().timers->Create([] {});
    auto second = Os().timers->Create([] {});
    EXPECT_TRUE(registered()) << round;
    EXPECT_TRUE(first->Set(10, true).ok()) << round;
    first.reset();
    EXPECT_TRUE(registered()) << round;
    EXPECT_TRUE(second->Set(10, true).ok()) << round;
    second.reset();
    EXPECT_FALSE(registered()) << round;
  }
}

}  // namespace
}  // namespace zandrel::win
