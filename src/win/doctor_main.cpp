// zandrel-doctor: why the add-in does not load or writes no log, on the
// machine where it happens. It reads the logger's settings with the add-in's
// own code in both registry views, looks at the add-in's COM registration
// (both views and the user's classes), the IDE's AddIns keys for 7.0 and 7.1,
// and the integration manager's classes. One line a finding: OK, WARN or
// FAIL, with the fix; exit code 1 when anything failed; --json for scripts.
// --log-on PATH [--mask HEX] and --log-off switch the add-in's log for a
// support case, then report the logger's state. --log FILE [--html OUT]
// sums up a log the add-in wrote.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "doctor/log_summary.h"
#include "doctor/log_switch.h"
#include "doctor/logger_check.h"
#include "doctor/report.h"
#include "shared/debug_logger.h"
#include "shared/names.h"
#include "qms.h"
#include "win/owners.h"
#include "win/text_conv.h"
#include "win/win32_services.h"
#include "zandrel.h"

namespace zandrel::win {
namespace {

using doctor::Level;
using doctor::Report;
using Microsoft::WRL::ComPtr;

using shared::kProgId;
constexpr char kAutomationMarshaler[] = "{00020424-0000-0000-C000-000000000046}";
constexpr char kManagerProgId[] = "qmsIM.qmsIntegrationManager";

std::string GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return WideToUtf8(text);
}

bool Is64BitWindows() {
#ifdef _WIN64
  return true;
#else
  BOOL wow = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow) && wow;
#endif
}

// One place of the registry: a root, a view, a name for people.
struct Place {
  HKEY root;
  REGSAM view;
  std::string name;  // "HKLM (32-bit view)"
};

// The default (or named) value of a key, as text (a DWORD in decimal).
struct Value {
  bool found = false;
  std::string text;
};

Value ReadText(const Place& place, const std::string& key, const char* name = nullptr) {
  UniqueHkey handle;
  if (RegOpenKeyExW(place.root, Utf8ToWide(key).c_str(), 0, KEY_QUERY_VALUE | place.view, handle.put()) != ERROR_SUCCESS)
    return {};
  Value out;
  wchar_t buffer[2048] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  const LONG rc = RegQueryValueExW(handle.get(), name ? Utf8ToWide(name).c_str() : nullptr, nullptr, &type,
                                   reinterpret_cast<BYTE*>(buffer), &size);
  if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
    out.found = true;
    out.text = WideToUtf8(buffer);
  } else if (rc == ERROR_SUCCESS && type == REG_DWORD) {
    out.found = true;
    DWORD number = 0;
    std::memcpy(&number, buffer, sizeof number);
    out.text = std::to_string(number);
  }
  return out;
}

bool KeyExists(const Place& place, const std::string& key) {
  UniqueHkey handle;
  if (RegOpenKeyExW(place.root, Utf8ToWide(key).c_str(), 0, KEY_QUERY_VALUE | place.view, handle.put()) != ERROR_SUCCESS)
    return false;
  return true;
}

std::string FileVersion(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size == 0) return "no version resource";
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(wide.c_str(), 0, size, data.data())) return "no version resource";
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info) return "no version";
  return "version " + std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) +
         "." + std::to_string(HIWORD(info->dwFileVersionLS));
}

// Whether the logger could append to the log file now, opened as the
// logger opens it, without leaving a trace: empty, or the reason.
std::string ProbeLogFile(const std::string& path) {
  static const FileCalls system;
  const DWORD error = ProbeAppend(system, path);
  if (error == 0) return {};
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = text ? WideToUtf8(text) : std::string();
  LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) reason.pop_back();
  return "error " + std::to_string(error) + (reason.empty() ? "" : " (" + reason + ")");
}

// The ANSI code page as --log-on checks a path against it: without best fit,
// so that a character the code page lacks does not come back as a look-alike.
class ExactAnsiCodec : public platform::TextCodec {
 public:
  std::string ToAnsi(std::string_view utf8) override { return Utf8ToAnsiExact(utf8); }
  std::string FromAnsi(std::string_view ansi) override { return AnsiToUtf8(ansi); }
};

// --- The logger --------------------------------------------------------------

void CheckLogger(Report& report) {
  platform::Registry& registry = *Win32Services().registry;
  if (Is64BitWindows()) {
    doctor::CheckLogger(report, registry, {"32-bit view", doctor::kView32, "the x86 add-in, the one the IDE loads", true},
                        ProbeLogFile);
    doctor::CheckLogger(report, registry, {"64-bit view", doctor::kView64, "the x64 build (tests, 64-bit clients)", false},
                        ProbeLogFile);
  } else {
    doctor::CheckLogger(report, registry, {"registry", 0, "the add-in", true}, ProbeLogFile);
  }
}

// The logger's settings key where the IDE's add-in reads it, and the doctor's
// own key beside the installer's marks: both in the 32-bit view.
class RegistrySettingsWriter : public doctor::SettingsWriter {
 public:
  std::int32_t Read(doctor::Store store, const std::string& name, std::optional<doctor::StoredValue>& value) override {
    value.reset();
    UniqueHkey key;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, Key(store), 0, KEY_QUERY_VALUE | View(), key.put());
    if (rc == ERROR_FILE_NOT_FOUND) return 0;
    if (rc != ERROR_SUCCESS) return rc;
    const std::wstring wide = Utf8ToWide(name);
    std::string bytes(256, '\0');
    for (;;) {
      DWORD type = 0, size = static_cast<DWORD>(bytes.size());
      rc = RegQueryValueExW(key.get(), wide.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
      if (rc == ERROR_MORE_DATA) {
        bytes.resize(size);
        continue;
      }
      if (rc == ERROR_FILE_NOT_FOUND) return 0;
      if (rc != ERROR_SUCCESS) return rc;
      bytes.resize(size);
      value = doctor::StoredValue{type, std::move(bytes)};
      return 0;
    }
  }
  std::int32_t Write(doctor::Store store, const std::string& name, const doctor::StoredValue& value) override {
    UniqueHkey key;
    const LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, Key(store), 0, nullptr, 0, KEY_SET_VALUE | View(), nullptr,
                                    key.put(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    return RegSetValueExW(key.get(), Utf8ToWide(name).c_str(), 0, value.type,
                          reinterpret_cast<const BYTE*>(value.bytes.data()), static_cast<DWORD>(value.bytes.size()));
  }
  std::int32_t Remove(doctor::Store store, const std::string& name) override {
    UniqueHkey key;
    const LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, Key(store), 0, KEY_SET_VALUE | View(), key.put());
    if (rc != ERROR_SUCCESS) return rc;
    return RegDeleteValueW(key.get(), Utf8ToWide(name).c_str());
  }
  void TidyDoctorKey() override {
    // The doctor's key, then SOFTWARE\zandrel, when nothing is left in it.
    std::wstring key = Utf8ToWide(doctor::kDoctorKey);
    for (int level = 0; level < 2; ++level) {
      UniqueHkey handle;
      DWORD subKeys = 1, values = 1;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | View(), handle.put()) != ERROR_SUCCESS ||
          RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
          subKeys != 0 || values != 0)
        return;
      handle.reset();
      if (RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), View(), 0) != ERROR_SUCCESS) return;
      key.resize(key.rfind(L'\\'));
    }
  }
  bool Virtualized() const override {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD enabled = 0, size = 0;
    const bool known = GetTokenInformation(token, TokenVirtualizationEnabled, &enabled, sizeof enabled, &size);
    CloseHandle(token);
    return known && enabled;
  }
  std::string Where(doctor::Store store) const override {
    return std::string("HKLM\\") + (store == doctor::Store::Settings ? shared::kSettingsKey : doctor::kDoctorKey) +
           (Is64BitWindows() ? " (32-bit view)" : "");
  }

 private:
  static REGSAM View() { return Is64BitWindows() ? KEY_WOW64_32KEY : 0; }
  static const wchar_t* Key(doctor::Store store) {
    static const std::wstring settings = Utf8ToWide(shared::kSettingsKey), own = Utf8ToWide(doctor::kDoctorKey);
    return (store == doctor::Store::Settings ? settings : own).c_str();
  }
};

// --- The add-in's registration -----------------------------------------------

// The class's rows in one place; true when its class key is there.
bool CheckRegistrationIn(Report& report, const Place& place, bool primary) {
  const std::string clsid = GuidText(CLSID_Connect);
  const std::string classes = "Software\\Classes\\";
  const std::string server = classes + "CLSID\\" + clsid + "\\InprocServer32";
  const Value path = ReadText(place, server);
  if (!path.found) return false;
  const Level problem = primary ? Level::Fail : Level::Warn;
  const std::string where = place.name;
  const DWORD attributes = GetFileAttributesW(Utf8ToWide(path.text).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    report.Add(problem, "registration", "class " + clsid + " in " + where,
               "the registered DLL " + path.text + " does not exist",
               "install the add-in again (or regsvr32 the DLL where it now is), or remove the stale registration");
  } else {
    report.Add(Level::Ok, "registration", "class " + clsid + " in " + where,
               path.text + ", " + FileVersion(path.text) + ", threading " +
                   ReadText(place, server, "ThreadingModel").text);
  }
  const Value progClsid = ReadText(place, classes + kProgId + "\\CLSID");
  if (progClsid.text != clsid) {
    report.Add(problem, "registration", std::string("ProgID ") + kProgId + " in " + where,
               progClsid.found ? "points at " + progClsid.text : "missing", "install the add-in again");
  } else {
    report.Add(Level::Ok, "registration", std::string("ProgID ") + kProgId + " in " + where, clsid);
  }
  const std::string libid = GuidText(LIBID_zandrel);
  const bool lib32 = KeyExists(place, classes + "TypeLib\\" + libid + "\\1.0\\0\\win32");
  const bool lib64 = KeyExists(place, classes + "TypeLib\\" + libid + "\\1.0\\0\\win64");
  if (!lib32 && !lib64) {
    report.Add(problem, "registration", "type library " + libid + " in " + where, "missing: _Connect cannot be marshalled",
               "install the add-in again");
  } else {
    report.Add(Level::Ok, "registration", "type library " + libid + " in " + where,
               std::string(lib32 ? "win32" : "") + (lib32 && lib64 ? " and " : "") + (lib64 ? "win64" : ""));
  }
  const std::string iid = GuidText(IID__Connect);
  const Value marshaler = ReadText(place, classes + "Interface\\" + iid + "\\ProxyStubClsid32");
  if (marshaler.text != kAutomationMarshaler) {
    report.Add(problem, "registration", "interface _Connect " + iid + " in " + where,
               marshaler.found ? "marshaled by " + marshaler.text + ", not the automation marshaler" : "missing",
               "install the add-in again");
  } else {
    report.Add(Level::Ok, "registration", "interface _Connect " + iid + " in " + where, "the automation marshaler");
  }
  return true;
}

void CheckRegistration(Report& report) {
  const bool wide = Is64BitWindows();
  const Place machine32{HKEY_LOCAL_MACHINE, static_cast<REGSAM>(wide ? KEY_WOW64_32KEY : 0),
                        wide ? "HKLM (32-bit view)" : "HKLM"};
  const Place machine64{HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "HKLM (64-bit view)"};
  const Place user{HKEY_CURRENT_USER, static_cast<REGSAM>(wide ? KEY_WOW64_32KEY : 0), "HKCU"};
  const bool inMachine32 = CheckRegistrationIn(report, machine32, true);
  const bool inUser = CheckRegistrationIn(report, user, !inMachine32);
  const bool inMachine64 = wide && CheckRegistrationIn(report, machine64, false);
  if (!inMachine32 && !inUser) {
    report.Add(Level::Fail, "registration", std::string("class of ") + kProgId,
               inMachine64 ? "registered only in the 64-bit view: the 32-bit IDE cannot create it"
                           : "not registered: the IDE cannot create the add-in",
               inMachine64 ? "install the x86 add-in (the MSI), or register it with the 32-bit regsvr32 "
                             "(C:\\Windows\\SysWOW64\\regsvr32.exe zandrel.dll)"
                           : "install the add-in (the MSI), or regsvr32 zandrel.dll");
  }
}

// --- The IDE's add-in keys -------------------------------------------------------

void CheckIde(Report& report) {
  const bool wide = Is64BitWindows();
  const REGSAM view = wide ? KEY_WOW64_32KEY : 0;
  int found = 0;
  for (const char* version : {"7.1", "7.0"}) {
    for (const Place& place : {Place{HKEY_LOCAL_MACHINE, view, "HKLM"}, Place{HKEY_CURRENT_USER, view, "HKCU"}}) {
      const std::string key = std::string("Software\\Microsoft\\VisualStudio\\") + version + "\\AddIns\\" + kProgId;
      if (!KeyExists(place, key)) continue;
      ++found;
      const Value load = ReadText(place, key, "LoadBehavior");
      const Value preload = ReadText(place, key, "CommandPreload");
      const std::string what = "IDE " + std::string(version) + " add-in key in " + place.name;
      if (!load.found) {
        report.Add(Level::Warn, "ide", what, "no LoadBehavior: the IDE does not load the add-in at start-up",
                   "set LoadBehavior (REG_DWORD) to 3, or install with the MSI");
      } else if ((std::strtoul(load.text.c_str(), nullptr, 0) & 2u) == 0) {
        report.Add(Level::Warn, "ide", what, "LoadBehavior " + load.text + ": not loaded at start-up",
                   "set LoadBehavior to 3 (or load it from the IDE's Add-in Manager)");
      } else {
        report.Add(Level::Ok, "ide", what,
                   "LoadBehavior " + load.text + ", CommandPreload " + (preload.found ? preload.text : "(none)") +
                       ", FriendlyName \"" + ReadText(place, key, "FriendlyName").text + "\"");
      }
    }
  }
  if (found == 0) {
    report.Add(Level::Warn, "ide", "IDE add-in keys (7.0, 7.1; HKLM and HKCU)",
               "none: the IDE does not know the add-in and will not load it",
               "install with the MSI, which writes Software\\Microsoft\\VisualStudio\\7.1\\AddIns\\zandrel.Connect");
  }
}

// --- The integration manager ---------------------------------------------------

void CheckManager(Report& report) {
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(Utf8ToWide(kManagerProgId).c_str(), &clsid))) {
    report.Add(Level::Fail, "manager", std::string("class ") + kManagerProgId,
               "not registered: the add-in cannot start or find the integration manager",
               "install the modeling tool's integration manager (or, for tests, standin_im.exe /RegServer)");
  } else {
    report.Add(Level::Ok, "manager", std::string("class ") + kManagerProgId, "registered as " + GuidText(clsid));
    ComPtr<IUnknown> running;
    report.Add(Level::Ok, "manager", "running instance",
               SUCCEEDED(GetActiveObject(clsid, nullptr, &running)) ? "running"
                                                                     : "not running (the add-in starts it when it needs it)");
  }
  ComPtr<IUnknown> project;
  const HRESULT hr = CoCreateInstance(CLSID_qmcDocProject, nullptr, CLSCTX_SERVER, IID_PPV_ARGS(project.GetAddressOf()));
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    report.Add(Level::Fail, "manager", "document class qmcDocProject " + GuidText(CLSID_qmcDocProject),
               std::string("cannot be created (") + code + "): no project can be registered",
               "install the modeling tool's document class (or, for tests, regsvr32 qmc_docproject.dll)");
  } else {
    report.Add(Level::Ok, "manager", "document class qmcDocProject " + GuidText(CLSID_qmcDocProject), "can be created");
  }
}

}  // namespace
}  // namespace zandrel::win

namespace {

// The exit codes of --log FILE: 0 read in full, 2 no such file or no page
// written, 3 bad input (with the summary of what could be read, if anything),
// 4 out of memory or another internal failure (one line on standard error).
constexpr int kLogRead = 0, kLogNotFound = 2, kLogBadInput = 3, kInternalFailure = 4;

// --log FILE [--html OUT]: the file is read in pieces, so that a log of
// hundreds of megabytes takes no more memory than its summary.
int SummarizeLogFile(const std::string& path, const std::string& html) {
  try {
    // Closed on every way out, a failure's included.
    const std::unique_ptr<FILE, int (*)(FILE*)> f(_wfopen(zandrel::win::Utf8ToWide(path).c_str(), L"rb"), &std::fclose);
    if (!f) {
      std::fprintf(stderr, "zandrel-doctor: cannot read the log %s: %s\n", path.c_str(), std::strerror(errno));
      return kLogNotFound;
    }
    zandrel::doctor::LogSummarizer summarizer(
        [](std::string_view ansi) { return zandrel::win::Win32Services().codec->FromAnsi(ansi); });
    std::vector<char> buffer(1 << 20);
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), f.get())) > 0;) summarizer.Feed({buffer.data(), n});
    if (std::ferror(f.get())) {
      std::fprintf(stderr, "zandrel-doctor: cannot read the log %s: it could not be read to its end\n", path.c_str());
      return kLogNotFound;
    }
    const auto read = summarizer.Finish();
    if (read.summary.lines > 0) {
      const std::string text = zandrel::doctor::SummaryText(read.summary, path);
      std::fwrite(text.data(), 1, text.size(), stdout);
    }
    if (!html.empty()) {
      const std::string page = zandrel::doctor::SummaryHtml(read.summary, path);
      if (!zandrel::doctor::WriteWholeFile(
              html, page, [](const std::string& p) { return _wfopen(zandrel::win::Utf8ToWide(p).c_str(), L"wb"); },
              [](const std::string& p) { _wremove(zandrel::win::Utf8ToWide(p).c_str()); })) {
        std::fprintf(stderr, "zandrel-doctor: cannot write the page %s\n", html.c_str());
        return kLogNotFound;
      }
    }
    if (read.problem) {
      std::fprintf(stderr, "zandrel-doctor: %s: %s\n", path.c_str(), read.problem->message.c_str());
      return kLogBadInput;
    }
    return kLogRead;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "zandrel-doctor: out of memory while summing up the log %s\n", path.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zandrel-doctor: internal failure while summing up the log %s: %s\n", path.c_str(), e.what());
  } catch (...) {
    std::fprintf(stderr, "zandrel-doctor: internal failure while summing up the log %s\n", path.c_str());
  }
  std::fflush(stdout);
  return kInternalFailure;
}

int Usage() {
  std::fprintf(stderr,
               "usage: zandrel-doctor [--json]\n"
               "       zandrel-doctor --log-on PATH [--mask HEX] [--json]\n"
               "       zandrel-doctor --log-off [--json]\n"
               "       zandrel-doctor --log FILE [--html OUT]\n"
               "Checks the add-in's logger settings, its registration, the IDE's add-in keys and the\n"
               "integration manager; one line a finding (OK, WARN, FAIL); exit code 1 on a FAIL.\n"
               "--log-on writes Debug (default " ZANDREL_SUPPORT_MASK_TEXT ") and DebugOutputFile where the 32-bit IDE\n"
               "reads them, and keeps the values it replaces; --log-off puts those back and removes\n"
               "only what --log-on wrote and nobody changed since. Both need an administrator.\n"
               "--log sums up a debug log: each add-in lifetime's start-up, events, documents, timer and\n"
               "errors, and the lines to see first, the lifetimes that need a look first; --html writes\n"
               "the same as a page with a timeline. Exit codes of --log: 0 read in full, 2 no such file\n"
               "or no page written, 3 not a log or cut short, 4 out of memory or internal failure.\n");
  return 2;
}

}  // namespace

// The arguments come wide (wmain, linked with -municode): as the user typed
// them, whatever the ANSI code page, and are UTF-8 from here on.
int Doctor(int argc, wchar_t** wargv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(zandrel::win::WideToUtf8(wargv[i]));
  bool json = false;
  enum class Switch { None, On, Off } logSwitch = Switch::None;
  std::string logPath;
  std::optional<std::uint32_t> mask;
  std::string logFile, html;
  for (int i = 1; i < argc; ++i) {
    const std::string& arg = args[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--log-on" && i + 1 < argc && logSwitch == Switch::None) {
      logSwitch = Switch::On;
      logPath = args[++i];
    } else if (arg == "--log" && i + 1 < argc && logFile.empty()) {
      logFile = args[++i];
    } else if (arg == "--html" && i + 1 < argc && html.empty()) {
      html = args[++i];
    } else if (arg == "--log-off" && logSwitch == Switch::None) {
      logSwitch = Switch::Off;
    } else if (arg == "--mask" && i + 1 < argc && !mask) {
      mask = zandrel::doctor::ParseMask(args[++i]);
      if (!mask) {
        std::fprintf(stderr, "zandrel-doctor: --mask %s is no hexadecimal mask such as " ZANDREL_SUPPORT_MASK_TEXT
                     ". Nothing was written.\n",
                     args[i].c_str());
        return 2;
      }
    } else {
      return Usage();
    }
  }
  if ((mask && logSwitch != Switch::On) || (!html.empty() && logFile.empty()) ||
      (!logFile.empty() && (logSwitch != Switch::None || json)))
    return Usage();
  if (!logFile.empty()) return SummarizeLogFile(logFile, html);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  zandrel::win::InstallWin32Services();
  zandrel::doctor::Report report;
  if (logSwitch != Switch::None) {
    zandrel::win::RegistrySettingsWriter registry;
    zandrel::win::ExactAnsiCodec ansi;
    const auto outcome =
        logSwitch == Switch::On
            ? zandrel::doctor::LogOn(registry, logPath, mask.value_or(zandrel::doctor::kSupportLogMask), ansi)
            : zandrel::doctor::LogOff(registry);
    std::fprintf(outcome.exitCode == 0 && !json ? stdout : stderr, "%s\n", outcome.message.c_str());  // JSON stays alone on stdout
    if (outcome.exitCode != 0) {
      CoUninitialize();
      return outcome.exitCode;
    }
    // The new state, as the add-in will read it.
    zandrel::win::CheckLogger(report);
    const std::string out = json ? report.Json() : report.Text();
    std::fwrite(out.data(), 1, out.size(), stdout);
    CoUninitialize();
    return report.ExitCode();
  }
  zandrel::win::CheckLogger(report);
  zandrel::win::CheckRegistration(report);
  zandrel::win::CheckIde(report);
  zandrel::win::CheckManager(report);
  const std::string out = json ? report.Json() : report.Text();
  std::fwrite(out.data(), 1, out.size(), stdout);
  CoUninitialize();
  return report.ExitCode();
}

// Nothing escapes as an abort (which scripts would read as exit code 3, bad input).
int wmain(int argc, wchar_t** wargv) {
  try {
    return Doctor(argc, wargv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "zandrel-doctor: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zandrel-doctor: internal failure: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "zandrel-doctor: internal failure\n");
  }
  return kInternalFailure;
}
