// The Win32 platform services, against the real system (under Wine).

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "shared/registry_api.h"
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

TEST(Win32Codec, AnsiRoundTrip) {
  EXPECT_EQ(Os().codec->ToAnsi("BEGIN x"), "BEGIN x");
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page here is " << GetACP() << ", not 1252";
  EXPECT_EQ(Os().codec->ToAnsi("Gr\xC3\xB6\xC3\x9F" "e"), "Gr\xF6\xDF" "e");
  EXPECT_EQ(Os().codec->FromAnsi("Gr\xF6\xDF" "e"), "Gr\xC3\xB6\xC3\x9F" "e");
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
