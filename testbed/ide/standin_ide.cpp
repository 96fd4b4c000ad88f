// standin_ide: a Windows program that plays the IDE for the add-in.
//
//   standin_ide SCENARIO-FILE     (or - for standard input)
//
// It owns a few top-level windows (the last of class "IDEOwner"), serves the
// portable IDE model to COM, loads zandrel.Connect by its ProgID and drives it
// as the IDE does, step by step as the scenario says, pumping its message loop
// in between. The transcript goes to standard output; message boxes are
// answered at once and recorded there. docs/scenarios.md describes the steps.
//
// The program's parts are named in ide/standin_ide.h.

#include "ide/standin_ide.h"

namespace zandrel::testbed::standin {


std::string g_label;  // prefixes every transcript line when several IDEs share a console

void Say(const std::string& line) {
  std::printf("%s%s\n", g_label.c_str(), line.c_str());
  std::fflush(stdout);
}

std::string Hex(HWND window) { return automation::HexText(static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(window))); }

// Message boxes are answered at once: a CBT hook sees each dialog activated
// on this thread, records its caption and text, and presses OK.
HHOOK g_hook = nullptr;

LRESULT CALLBACK AnswerMessageBoxes(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE) {
    HWND dialog = reinterpret_cast<HWND>(wp);
    wchar_t cls[32] = {};
    GetClassNameW(dialog, cls, 32);
    if (std::wstring(cls) == L"#32770") {
      wchar_t caption[256] = {};
      wchar_t text[1024] = {};
      GetWindowTextW(dialog, caption, 256);
      GetDlgItemTextW(dialog, 0xFFFF, text, 1024);
      Say("  [message box] caption=\"" + win::WideToUtf8(caption) + "\" text=\"" + win::WideToUtf8(text) + "\"");
      PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(g_hook, code, wp, lp);
}

HWND MakeWindow(const wchar_t* cls, const wchar_t* title) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = cls;
  RegisterClassW(&wc);
  return CreateWindowExW(0, cls, title, WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr, wc.hInstance, nullptr);
}

void Pump(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  MSG msg;
  do {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= end) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
  } while (true);
}

// The empty array the IDE passes as every notification's `custom` argument.
win::UniqueSafeArray EmptyCustom() {
  SAFEARRAYBOUND bound = {0, 0};
  return win::UniqueSafeArray(SafeArrayCreate(VT_VARIANT, 1, &bound));
}

bool AddinCanUnload() {
  HMODULE module = GetModuleHandleW(L"zandrel.dll");
  if (!module) return true;
  using CanUnloadNow = HRESULT(WINAPI*)();
  auto can = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  return can && can() == S_OK;
}

StandInIde::StandInIde() {
  // Windows of other classes first, then the main window.
  others_[0] = MakeWindow(L"StandInToolWindow", L"Output");
  others_[1] = MakeWindow(L"StandInPalette", L"Toolbox");
  main_ = MakeWindow(L"IDEOwner", L"Stand-in IDE");
  // Every call the add-in makes into the IDE's objects is counted; `disturb`
  // picks one to fail, or to have the IDE shut the add-in down inside it.
  testbed::ModelObject::onCall = [this](std::string_view member) { return OnModelCall(member); };
}

StandInIde::~StandInIde() {
  testbed::ModelObject::onCall = nullptr;
  Shutdown(false);
  manager_.Reset();
  DestroyWindow(main_);
  for (HWND w : others_) DestroyWindow(w);
}

bool StandInIde::Run(const testbed::Step& step) {
  if (step.verb != "say") {
    std::string echo = "> " + step.verb;
    for (const auto& a : step.args) echo += " " + (a.quoted ? "\"" + a.text + "\"" : a.text);
    Say(echo);
  }
  return verbs_.Run(step);
}

// The stand-in IDE's own steps (docs/scenarios.md); the rest of the scenario
// language is the testbed's (scenario_verbs.h).
std::vector<testbed::VerbRow> StandInIde::OwnVerbs() {
  using S = const testbed::Step&;
  const auto row = [this](testbed::Verb verb, bool (*run)(StandInIde&, S)) {
    return testbed::VerbRow{std::move(verb), [this, run](S step) { return run(*this, step); }};
  };
  return {
      row({"vcall", 1, 1, "MEMBER"}, [](StandInIde& ide, S step) { return ide.VtableCall(step.args[0].text); }),
      row({"can-unload", 0, 0, "nothing"}, [](StandInIde& ide, S) { return ide.CanUnload(); }),
      row({"unload-dll", 0, 0, "nothing"}, [](StandInIde&, S) {
        // What the IDE's add-in manager leads to after unloading an add-in:
        // COM frees the DLLs whose DllCanUnloadNow answers S_OK (at once).
        CoFreeUnusedLibrariesEx(0, 0);
        Say(GetModuleHandleW(L"zandrel.dll") ? "  zandrel.dll is still loaded" : "  zandrel.dll is unloaded");
        return true;
      }),
      row({"objects", 0, 0, "nothing"},
          [](StandInIde&, S) { return Say("  exported objects alive: " + std::to_string(com::ExportedObjectsAlive())), true; }),
      row({"window", 0, 0, "nothing"},
          [](StandInIde& ide, S) { return Say("  IDEOwner window: " + Hex(ide.main_)), true; }),
      row({"say", 0, SIZE_MAX, "any text"}, [](StandInIde&, S step) {
        std::string text;
        for (const auto& a : step.args) text += (text.empty() ? "" : " ") + a.text;
        return Say(text), true;
      }),
      row({"exit-now", 0, 0, "nothing"}, [](StandInIde&, S) -> bool {
        // The IDE dies: no shutdown, nothing released; what the add-in
        // registered stays behind in the manager.
        std::fflush(stdout);
        ExitProcess(3);
      }),
      row({"leak", 0, 0, "nothing"}, [](StandInIde& ide, S) {
        // One more reference to the add-in, never released: the end-of-run
        // check must then report the add-in's server as not unloadable.
        return ide.addin_ && (ide.addin_->AddRef(), true);
      }),
      row({"bench-register", 1, 1, "REPETITIONS"},
          [](StandInIde& ide, S step) { return ide.BenchRegister(static_cast<int>(Number(step, 0))); }),
      row({"bench-open", 2, 2, "PROJECTS REPETITIONS"}, [](StandInIde& ide, S step) {
        return ide.BenchOpen(static_cast<int>(Number(step, 0)), static_cast<int>(Number(step, 1)));
      }),
      row({"churn", 2, 2, "EVENTS EVERY"},
          [](StandInIde& ide, S step) { return ide.Churn(Number(step, 0), Number(step, 1)); }),
      row({"disturb", 2, 2, "fail|shutdown N"}, [](StandInIde& ide, S step) {
        ide.disturbance_ = step.args[0].text;
        ide.disturbAt_ = Number(step, 1);
        if ((ide.disturbance_ == "fail" || ide.disturbance_ == "shutdown") && ide.disturbAt_ >= 1) return true;
        return Say("  ! disturb fail|shutdown N (N from 1)"), false;
      }),
      row({"calls", 0, 0, "nothing"}, [](StandInIde& ide, S) {
        Say("  calls into the IDE: " + std::to_string(ide.calls_));
        if (!ide.disturbed_.empty()) Say("  " + ide.disturbed_);
        return true;
      }),
      row({"touch", 1, 1, "FILE"}, [](StandInIde&, S step) {
        HANDLE h = CreateFileA(step.args[0].text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return h != INVALID_HANDLE_VALUE;
      }),
      row({"later", 2, SIZE_MAX, "MILLISECONDS STEP..."}, [](StandInIde& ide, S step) { return ide.Later(step); }),
      row({"wait-file", 1, 1, "FILE"}, [](StandInIde&, S step) {
        // Another process's signal: pumps messages until the file exists (20 s).
        for (int i = 0; i < 400; ++i) {
          if (GetFileAttributesA(step.args[0].text.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
          Pump(50);
        }
        return Say("  ! no file " + step.args[0].text), false;
      }),
  };
}

bool StandInIde::Start(const testbed::Step& step) {
  const LONG mode = step.args.empty() ? 1 : std::strtol(step.args[0].text.c_str(), nullptr, 10);
  const bool wrongApplication = step.args.size() > 1 && step.args[1].text == "addin-as-application";
  return Load(L"zandrel.Connect", mode, wrongApplication);
}

bool StandInIde::Load(const std::wstring& progId, LONG mode, bool wrongApplication) {
  if (addin_) {
    Say("  ! the add-in is already loaded");
    return false;
  }
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
  if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__Connect,
                                           reinterpret_cast<void**>(addin_.GetAddressOf()));
  if (FAILED(hr)) {
    Say("  ! " + win::WideToUtf8(progId) + " could not be created: " + win::ErrorFromHresult(hr).description);
    return false;
  }
  ComPtr<testbed::IdeExtensibility2> extensibility;
  if (FAILED(hr = addin_->QueryInterface(testbed::ExtensibilityIid(),
                                         reinterpret_cast<void**>(extensibility.GetAddressOf())))) {
    Say("  ! no IDTExtensibility2: " + win::ErrorFromHresult(hr).description);
    return false;
  }
  ComPtr<IDispatch> root = win::Adopt(com::ExportObject(wrongApplication ? ide_.AddIn() : ide_.Root()));
  ComPtr<IDispatch> addInObject = win::Adopt(com::ExportObject(ide_.AddIn()));
  auto custom = EmptyCustom();
  hr = extensibility->OnConnection(root.Get(), mode, addInObject.Get(), custom.InOut());
  Say(std::string("  OnConnection(mode ") + std::to_string(mode) + ") -> " + (SUCCEEDED(hr) ? "S_OK" : "failed"));
  hr = extensibility->OnStartupComplete(custom.InOut());
  Say(std::string("  OnStartupComplete -> ") + (SUCCEEDED(hr) ? "S_OK" : "failed"));
  return true;
}

bool StandInIde::LoadAddIns(const std::string& version) {
  Say("> load-addins " + version);
  const std::wstring path = L"Software\\Microsoft\\VisualStudio\\" + win::Utf8ToWide(version) + L"\\AddIns";
  int loaded = 0;
  for (const auto& [root, rootName] : {std::pair{HKEY_LOCAL_MACHINE, "HKLM"}, std::pair{HKEY_CURRENT_USER, "HKCU"}}) {
    win::UniqueHkey owned;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, owned.put()) != ERROR_SUCCESS) continue;
    const HKEY addIns = owned.get();
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = 256;
      if (RegEnumKeyExW(addIns, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      DWORD behavior = 0, size = sizeof behavior;
      const bool has = RegGetValueW(addIns, name, L"LoadBehavior", RRF_RT_REG_DWORD, nullptr, &behavior, &size) ==
                       ERROR_SUCCESS;
      const std::string progId = win::WideToUtf8(name);
      const bool atStartup = has && (behavior & 0x2u) != 0;
      Say(std::string("  ") + rootName + " " + progId + ": LoadBehavior " + (has ? std::to_string(behavior) : "(none)") +
          (atStartup ? ", loaded at start-up" : ", not loaded at start-up"));
      if (!atStartup) continue;
      if (addin_) {
        Say("  (one add-in at a time: " + progId + " left out)");
        continue;
      }
      if (Load(name, 1)) ++loaded;  // ext_cm_Startup
    }
  }
  Say("  add-ins loaded: " + std::to_string(loaded));
  return true;
}

ComPtr<testbed::IdeExtensibility2> StandInIde::Extensibility() {
  ComPtr<testbed::IdeExtensibility2> extensibility;
  if (addin_) addin_->QueryInterface(testbed::ExtensibilityIid(), reinterpret_cast<void**>(extensibility.GetAddressOf()));
  return extensibility;
}

bool StandInIde::Shutdown(bool report) {
  if (!addin_) {
    if (report) Say("  ! the add-in is not loaded");
    return !report;
  }
  ComPtr<testbed::IdeExtensibility2> extensibility = Extensibility();
  auto custom = EmptyCustom();
  HRESULT a = extensibility->OnBeginShutdown(custom.InOut());
  HRESULT b = extensibility->OnDisconnection(0, custom.InOut());  // ext_dm_HostShutdown
  extensibility.Reset();
  addin_.Reset();
  if (report) {
    Say(std::string("  OnBeginShutdown -> ") + (SUCCEEDED(a) ? "S_OK" : "failed") + ", OnDisconnection -> " +
        (SUCCEEDED(b) ? "S_OK" : "failed"));
    Say("  add-in released");
  }
  return true;
}

bool StandInIde::Later(const testbed::Step& step) {
  testbed::Step later{step.line, step.args[1].text, std::vector<testbed::Token>(step.args.begin() + 2, step.args.end())};
  const UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(std::strtoul(step.args[0].text.c_str(), nullptr, 10)),
                               &StandInIde::RunLater);
  pending_[id] = later;
  current_ = this;
  return true;
}

void CALLBACK StandInIde::RunLater(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  auto found = current_->pending_.find(id);
  if (found == current_->pending_.end()) return;
  testbed::Step step = found->second;
  current_->pending_.erase(found);
  current_->Run(step);
}

bool StandInIde::Notify(const testbed::Step& step) {
  const std::string& name = step.args[0].text;
  if (!Loaded()) return false;
  ComPtr<testbed::IdeExtensibility2> ext = Extensibility();
  auto custom = EmptyCustom();
  HRESULT hr = E_INVALIDARG;
  if (name == "OnDisconnection")
    hr = ext->OnDisconnection(step.args.size() > 1 ? std::atoi(step.args[1].text.c_str()) : 1, custom.InOut());
  else if (name == "OnBeginShutdown") hr = ext->OnBeginShutdown(custom.InOut());
  else if (name == "OnStartupComplete") hr = ext->OnStartupComplete(custom.InOut());
  else if (name == "OnAddInsUpdate") hr = ext->OnAddInsUpdate(custom.InOut());
  else if (name == "OnConnection") {
    ComPtr<IDispatch> root = win::Adopt(com::ExportObject(ide_.Root()));
    hr = ext->OnConnection(root.Get(), 1, nullptr, custom.InOut());
  }
  Say("  " + name + " -> " + (SUCCEEDED(hr) ? "S_OK" : "failed"));
  return true;
}

bool StandInIde::Settle(DWORD milliseconds) {
  if (!addin_ && shutDownInside_) return true;  // nothing is left to settle
  if (!Loaded()) return false;
  auto target = win::DispatchObject::Wrap(addin_.Get(), &com::ModelBridge());
  const ULONGLONG begin = GetTickCount64();
  for (;;) {
    Pump(20);
    if (!addin_ && shutDownInside_) return true;  // shut down meanwhile
    auto count = automation::ToLong(target->Invoke("EventQueueCount", automation::CallKind::Method, {}));
    if (!count) {
      Say("  ! EventQueueCount failed: " + count.error().description);
      return false;
    }
    if (*count == 0) return true;
    if (GetTickCount64() - begin >= milliseconds) {
      Say("  ! events still queued after " + std::to_string(milliseconds) + " ms");
      return false;
    }
  }
}

bool StandInIde::Wait(const testbed::Step& step) {
  if (step.verb == "settle") return Settle(step.args.empty() ? 20000 : static_cast<DWORD>(Number(step, 0)));
  if (step.args.empty()) return Say("  ! wait MILLISECONDS"), false;
  return Pump(static_cast<DWORD>(Number(step, 0))), true;
}

bool StandInIde::Release() { return addin_.Reset(), Say("  add-in released"), true; }

bool StandInIde::Call(const testbed::Step& step, automation::CallKind kind) {
  if (!Loaded()) return false;
  // A put through IDispatch carries its value as the one named argument: a
  // put without one is no call a client can make.
  if (kind == automation::CallKind::PropertyPut && step.args.size() < 2) return Say("  ! put MEMBER VALUE"), false;
  auto target = win::DispatchObject::Wrap(addin_.Get(), &com::ModelBridge());
  auto args = testbed::ArgumentValues(step.args, 1);
  Say("  " + testbed::ShowResult(target->Invoke(step.args[0].text, kind, args)));
  return true;
}

bool StandInIde::VtableCall(const std::string& member) {
  if (!Loaded()) return false;
  _Connect* c = addin_.Get();
  win::UniqueBstr text;
  LONG number = 0;
  VARIANT_BOOL flag = VARIANT_FALSE;
  HRESULT hr = E_NOTIMPL;
  std::string shown;
  if (member == "Description") hr = c->get_Description(text.put());
  else if (member == "Name") hr = c->get_Name(text.put());
  else if (member == "ActiveProject") hr = c->get_ActiveProject(text.put());
  else if (member == "MSDEVPid") hr = c->get_MSDEVPid(&number);
  else if (member == "MSDEVMainWnd") hr = c->get_MSDEVMainWnd(&number);
  else if (member == "EventQueueCount") hr = c->get_EventQueueCount(&number);
  else if (member == "CurrentBuildErrors") hr = c->get_CurrentBuildErrors(&number);
  else if (member == "CurrentBuildWarnings") hr = c->get_CurrentBuildWarnings(&number);
  else if (member == "RTEServer") hr = c->get_RTEServer(&flag);
  else if (member == "NewWorkspace") hr = c->get_NewWorkspace(&flag);
  else if (member == "RegisterProjects") hr = c->RegisterProjects(&flag);
  else if (member == "Ping") hr = c->Ping();
  else if (member == "Timer") hr = c->Timer();
  else if (member == "DTE") {
    ComPtr<IDispatch> dte;
    hr = c->get_DTE(dte.GetAddressOf());
    shown = dte ? "(object)" : "(nothing)";
  } else {
    Say("  ! no vtable call for " + member);
    return false;
  }
  if (FAILED(hr)) {
    auto error = win::ErrorFromCall(hr, c, IID__Connect);
    Say("  ! error " + std::to_string(error.number) + ": " + error.description);
    return true;
  }
  if (text) {
    shown = "\"" + win::FromBstr(text.get()) + "\"";
  } else if (member == "RTEServer" || member == "NewWorkspace" || member == "RegisterProjects") {
    shown = flag ? "True" : "False";
  } else if (shown.empty() && member != "Ping" && member != "Timer") {
    shown = std::to_string(number);
  }
  Say(shown.empty() ? "  = (done)" : "  = " + shown);
  return true;
}

std::optional<automation::Error> StandInIde::OnModelCall(std::string_view member) {
  if (++calls_ != disturbAt_ || disturbance_.empty()) return std::nullopt;
  disturbed_ = "disturbed: call " + std::to_string(calls_) + " (" + std::string(member) + "), " +
               std::to_string(LogLines()) + " log lines before it";
  if (disturbance_ == "fail")
    return automation::Error{static_cast<std::int32_t>(E_FAIL),
                             "Unspecified error (injected into IDE." + std::string(member) + ")"};
  // The IDE shuts down while the add-in's call is in progress, as a nested
  // message loop lets it.
  shutDownInside_ = true;
  Shutdown(false);
  return std::nullopt;
}

long StandInIde::LogLines() {
  char path[MAX_PATH] = {};
  DWORD size = sizeof path;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, shared::kSettingsKey, "DebugOutputFile", RRF_RT_REG_SZ, nullptr, path,
                   &size) != ERROR_SUCCESS)
    return -1;
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  return static_cast<long>(std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

bool StandInIde::CanUnload() {
  if (!GetModuleHandleW(L"zandrel.dll")) {
    Say("  zandrel.dll is not loaded");
    return true;
  }
  Say(std::string("  DllCanUnloadNow=") + (AddinCanUnload() ? "S_OK" : "S_FALSE"));
  return true;
}


std::string ReadAll(const char* path) {
  std::ostringstream text;
  if (std::string(path) == "-") {
    text << std::cin.rdbuf();
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string("\x01");
    text << in.rdbuf();
  }
  return text.str();
}

}  // namespace zandrel::testbed::standin

using namespace zandrel;
using namespace zandrel::testbed::standin;

int main(int argc, char** argv) {
  std::string loadAddIns;  // the IDE version whose AddIns keys are read at start-up
  while (argc >= 4 && (std::string(argv[1]) == "--label" || std::string(argv[1]) == "--load-addins")) {
    if (std::string(argv[1]) == "--label") g_label = std::string("[") + argv[2] + "] ";
    else loadAddIns = argv[2];
    argv += 2;
    argc -= 2;
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: standin_ide [--label NAME] [--load-addins VERSION] SCENARIO-FILE (or - for standard input)\n");
    return 2;
  }
  const std::string text = ReadAll(argv[1]);
  if (text == "\x01") {
    std::fprintf(stderr, "standin_ide: cannot read %s\n", argv[1]);
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  g_hook = SetWindowsHookExW(WH_CBT, AnswerMessageBoxes, nullptr, GetCurrentThreadId());
  int status = 0;
  {
    StandInIde ide;
    auto steps = testbed::ParseScenario(text, ide.Verbs());
    if (!steps) {
      std::fprintf(stderr, "standin_ide: %s: %s\n", argv[1], steps.error().description.c_str());
      status = 2;
    } else if (!loadAddIns.empty()) {
      ide.LoadAddIns(loadAddIns);
    }
    for (const auto& step : steps ? *steps : std::vector<testbed::Step>{}) {
      if (!ide.Run(step)) {
        std::fprintf(stderr, "standin_ide: line %d: step '%s' failed\n", step.line, step.verb.c_str());
        status = 1;
        break;
      }
    }
  }
  // However the scenario ended, the IDE's end leaves nothing behind: the
  // add-in's server can unload, and nothing this IDE handed to the add-in is
  // still referenced.
  if (GetModuleHandleW(L"zandrel.dll")) {
    const long alive = testbed::com::ExportedObjectsAlive();
    const bool unloadable = AddinCanUnload();
    char verdict[160];
    std::snprintf(verdict, sizeof verdict, "%s: DllCanUnloadNow=%s, exported objects alive: %ld",
                  unloadable && alive == 0 ? "balanced" : "UNBALANCED", unloadable ? "S_OK" : "S_FALSE", alive);
    if (!unloadable || alive != 0) {
      std::fprintf(stderr, "standin_ide: %s\n", verdict);
      if (status == 0) status = 4;
    }
    // Test harnesses collect the verdict of every run in one file.
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"ZANDREL_BALANCE_FILE", path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      if (std::FILE* f = _wfopen(path, L"a")) {
        std::fprintf(f, "%s%s %s\n", g_label.c_str(), argv[1], verdict);
        std::fclose(f);
      }
    }
  }
  UnhookWindowsHookEx(g_hook);
  CoUninitialize();
  return status;
}
