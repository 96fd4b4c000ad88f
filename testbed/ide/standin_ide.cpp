// standin_ide: a Windows program that plays the IDE for the add-in.
//
//   standin_ide SCENARIO-FILE     (or - for standard input)
//
// It owns a few top-level windows (the last of class "IDEOwner"), serves the
// portable IDE model to COM, loads zandrel.Connect by its ProgID and drives it
// as the IDE does, step by step as the scenario says, pumping its message loop
// in between. The transcript goes to standard output; message boxes are
// answered at once and recorded there. docs/scenarios.md describes the steps.

#include <windows.h>
#include <psapi.h>

#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <iostream>
#include <sstream>
#include <string>

#include "automation/text.h"
#include "ide/ide_extensibility.h"
#include "ide/ide_model.h"
#include "qms.h"
#include "model_object.h"
#include "scenario.h"
#include "shared/debug_logger.h"
#include "stopwatch.h"
#include "win/owners.h"
#include "win/com_support.h"
#include "win/com_variant.h"
#include "win/dispatch_object.h"
#include "win/exported_object.h"  // the testbed's own (testbed/win)
#include "win/text_conv.h"
#include "zandrel.h"

namespace {

using namespace zandrel;
using automation::Ref;
using automation::Variant;
using Microsoft::WRL::ComPtr;

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

const std::vector<testbed::Verb> kVerbs = {
    {"start", 0, 2, "[MODE] [addin-as-application]"},
    {"call", 1, SIZE_MAX, "MEMBER [ARGUMENT...]"},
    {"put", 2, 2, "MEMBER VALUE"},
    {"vcall", 1, 1, "MEMBER"},
    {"wait", 1, 1, "MILLISECONDS"},
    {"settle", 0, 1, "[MILLISECONDS]"},
    {"shutdown", 0, 0, "nothing"},
    {"can-unload", 0, 0, "nothing"},
    {"unload-dll", 0, 0, "nothing"},
    {"objects", 0, 0, "nothing"},
    {"window", 0, 0, "nothing"},
    {"echo", 0, SIZE_MAX, "any text"},
    {"say", 0, SIZE_MAX, "any text"},
    {"notify", 1, 1, "OnConnection|OnDisconnection|OnBeginShutdown|OnStartupComplete|OnAddInsUpdate"},
    {"release", 0, 0, "nothing"},
    {"manager", 1, SIZE_MAX,
     "start|stop|release|dump|show|running|balanced|wait-gone MS|clear-faults|bench N|fault NAME [VALUE [TEXT]]|command self|other|PID WORD LOWER-BOUND [ARGUMENT...]"},
    {"caret", 0, 0, "nothing"},
    {"exit-now", 0, 0, "nothing"},
    {"leak", 0, 0, "nothing"},
    {"bench-register", 1, 1, "REPETITIONS"},
    {"bench-open", 2, 2, "PROJECTS REPETITIONS"},
    {"churn", 2, 2, "EVENTS EVERY"},
    {"disturb", 2, 2, "fail|shutdown N"},
    {"calls", 0, 0, "nothing"},
    {"window-state", 0, 1, "[0|1|2]"},
    {"root-window-properties", 1, 1, "on|off"},
    {"solution-sinks", 0, 0, "nothing"},
    {"touch", 1, 1, "FILE"},
    {"open-solution", 1, SIZE_MAX, "PATH [NAME=PROJECT-PATH...]"},
    {"open-solution-unnamed", 1, SIZE_MAX, "PATH [NAME=PROJECT-PATH...]"},
    {"name-solution", 0, 0, "nothing"},
    {"add-project", 2, 2, "NAME PROJECT-PATH"},
    {"remove-project", 1, 1, "NAME"},
    {"rename-project", 3, 3, "NAME NEW-NAME NEW-PROJECT-PATH"},
    {"rename-solution", 1, 1, "PATH"},
    {"close-solution", 0, 0, "nothing"},
    {"command", 0, 2, "[GUID ID]"},
    {"later", 2, SIZE_MAX, "MILLISECONDS STEP..."},
    {"wait-file", 1, 1, "FILE"},
};

// Whether the loaded zandrel.dll answers S_OK to DllCanUnloadNow.
bool AddinCanUnload() {
  HMODULE module = GetModuleHandleW(L"zandrel.dll");
  if (!module) return true;
  using CanUnloadNow = HRESULT(WINAPI*)();
  auto can = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  return can && can() == S_OK;
}

class StandInIde {
 public:
  StandInIde() {
    // Windows of other classes first, then the main window.
    others_[0] = MakeWindow(L"StandInToolWindow", L"Output");
    others_[1] = MakeWindow(L"StandInPalette", L"Toolbox");
    main_ = MakeWindow(L"IDEOwner", L"Stand-in IDE");
    // Every call the add-in makes into the IDE's objects is counted; `disturb`
    // picks one to fail, or to have the IDE shut the add-in down inside it.
    testbed::ModelObject::onCall = [this](std::string_view member) { return OnModelCall(member); };
  }
  ~StandInIde() {
    testbed::ModelObject::onCall = nullptr;
    Shutdown(false);
    manager_.Reset();
    DestroyWindow(main_);
    for (HWND w : others_) DestroyWindow(w);
  }

  bool Run(const testbed::Step& step) {
    if (step.verb == "say") {
      std::string text;
      for (const auto& a : step.args) text += (text.empty() ? "" : " ") + a.text;
      Say(text);
      return true;
    }
    std::string echo = "> " + step.verb;
    for (const auto& a : step.args) echo += " " + (a.quoted ? "\"" + a.text + "\"" : a.text);
    Say(echo);
    if (step.verb == "start") return Start(step);
    if (step.verb == "call" || step.verb == "put") return Call(step);
    if (step.verb == "vcall") return VtableCall(step.args[0].text);
    if (step.verb == "wait") {
      Pump(static_cast<DWORD>(std::strtoul(step.args[0].text.c_str(), nullptr, 10)));
      return true;
    }
    if (step.verb == "settle") return Settle(step.args.empty() ? 20000 : std::strtoul(step.args[0].text.c_str(), nullptr, 10));
    if (step.verb == "shutdown") return Shutdown(true);
    if (step.verb == "can-unload") return CanUnload();
    if (step.verb == "unload-dll") {
      // What the IDE's add-in manager leads to after unloading an add-in: COM
      // frees the DLLs whose DllCanUnloadNow answers S_OK (at once, with no
      // delay).
      CoFreeUnusedLibrariesEx(0, 0);
      Say(GetModuleHandleW(L"zandrel.dll") ? "  zandrel.dll is still loaded" : "  zandrel.dll is unloaded");
      return true;
    }
    if (step.verb == "objects") {
      Say("  exported objects alive: " + std::to_string(win::ExportedObjectsAlive()));
      return true;
    }
    if (step.verb == "window") {
      Say("  IDEOwner window: " + Hex(main_));
      return true;
    }
    if (step.verb == "echo") return true;
    if (step.verb == "notify") return Notify(step.args[0].text);
    if (step.verb == "release") {
      addin_.Reset();
      Say("  add-in released");
      return true;
    }
    if (step.verb == "manager") return Manager(step);
    if (step.verb == "later") return Later(step);
    if (step.verb == "disturb") {
      disturbance_ = step.args[0].text;
      disturbAt_ = std::strtol(step.args[1].text.c_str(), nullptr, 10);
      if ((disturbance_ != "fail" && disturbance_ != "shutdown") || disturbAt_ < 1) {
        Say("  ! disturb fail|shutdown N (N from 1)");
        return false;
      }
      return true;
    }
    if (step.verb == "calls") {
      Say("  calls into the IDE: " + std::to_string(calls_));
      if (!disturbed_.empty()) Say("  " + disturbed_);
      return true;
    }
    if (step.verb == "bench-register") return BenchRegister(std::atoi(step.args[0].text.c_str()));
    if (step.verb == "bench-open") return BenchOpen(std::atoi(step.args[0].text.c_str()), std::atoi(step.args[1].text.c_str()));
    if (step.verb == "churn")
      return Churn(std::atol(step.args[0].text.c_str()), std::atol(step.args[1].text.c_str()));
    if (step.verb == "leak") {
      // One more reference to the add-in, never released: the end-of-run
      // check must then report the add-in's server as not unloadable.
      if (!addin_) return false;
      addin_->AddRef();
      return true;
    }
    if (step.verb == "exit-now") {
      // The IDE dies: no shutdown, nothing released; what the add-in
      // registered stays behind in the manager.
      std::fflush(stdout);
      ExitProcess(3);
    }
    if (step.verb == "caret") {
      const auto& caret = ide_.ActiveCaret();
      Say(caret.line == 0 ? "  caret: no text document"
                          : "  caret: " + caret.file + " line " + std::to_string(caret.line) + " column " +
                                std::to_string(caret.column));
      return true;
    }
    if (step.verb == "window-state") {
      if (!step.args.empty()) ide_.windowState = std::atoi(step.args[0].text.c_str());
      static const char* kStates[] = {"normal", "minimized", "maximized"};
      const int state = ide_.windowState;
      Say("  window: " + std::string(state >= 0 && state <= 2 ? kStates[state] : "?") +
          (ide_.active ? ", active" : ", not active") + (ide_.visible ? ", visible" : ", hidden"));
      return true;
    }
    if (step.verb == "root-window-properties") {
      const std::string& value = step.args[0].text;
      if (value != "on" && value != "off") {
        Say("  ! root-window-properties on|off");
        return false;
      }
      ide_.rootWindowProperties = value == "on";
      return true;
    }
    if (Solution(step)) return true;
    if (step.verb == "solution-sinks") {
      Say("  solution event sinks: " + std::to_string(ide_.SolutionSinks()));
      return true;
    }
    if (step.verb == "touch") {
      HANDLE h = CreateFileA(step.args[0].text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
      return h != INVALID_HANDLE_VALUE;
    }
    if (step.verb == "wait-file") {
      // Another process's signal: pumps messages until the file exists (20 s).
      for (int i = 0; i < 400; ++i) {
        if (GetFileAttributesA(step.args[0].text.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Pump(50);
      }
      Say("  ! no file " + step.args[0].text);
      return false;
    }
    return false;
  }

 private:
  bool Start(const testbed::Step& step) {
    const LONG mode = step.args.empty() ? 1 : std::strtol(step.args[0].text.c_str(), nullptr, 10);
    const bool wrongApplication = step.args.size() > 1 && step.args[1].text == "addin-as-application";
    return Load(L"zandrel.Connect", mode, wrongApplication);
  }

  // Creates the add-in by its ProgID and connects it as the IDE does:
  // OnConnection with the IDE's root object, then OnStartupComplete.
  bool Load(const std::wstring& progId, LONG mode, bool wrongApplication = false) {
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
    ComPtr<IDispatch> root = win::Adopt(win::ExportObject(wrongApplication ? ide_.AddIn() : ide_.Root()));
    ComPtr<IDispatch> addInObject = win::Adopt(win::ExportObject(ide_.AddIn()));
    auto custom = EmptyCustom();
    hr = extensibility->OnConnection(root.Get(), mode, addInObject.Get(), custom.InOut());
    Say(std::string("  OnConnection(mode ") + std::to_string(mode) + ") -> " + (SUCCEEDED(hr) ? "S_OK" : "failed"));
    hr = extensibility->OnStartupComplete(custom.InOut());
    Say(std::string("  OnStartupComplete -> ") + (SUCCEEDED(hr) ? "S_OK" : "failed"));
    return true;
  }

 public:
  // The IDE's own loading rule at start-up: the add-ins registered for its
  // version under HKLM, then HKCU (in the registry view of this process's
  // bitness), whose LoadBehavior has the start-up bit (0x2), each created by
  // its ProgID (the key's name) and connected with ext_cm_Startup. This
  // stand-in holds one add-in: the first one loaded; a later one is named and
  // left out.
  bool LoadAddIns(const std::string& version) {
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

 private:
  ComPtr<testbed::IdeExtensibility2> Extensibility() {
    ComPtr<testbed::IdeExtensibility2> extensibility;
    if (addin_) addin_->QueryInterface(testbed::ExtensibilityIid(), reinterpret_cast<void**>(extensibility.GetAddressOf()));
    return extensibility;
  }

  bool Shutdown(bool report) {
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

  // The solution and its projects: each step fires the events the IDE fires.
  bool Solution(const testbed::Step& step) {
    auto projects = [&](std::size_t from) {
      std::vector<testbed::ProjectInfo> list;
      for (std::size_t i = from; i < step.args.size(); ++i) list.push_back(testbed::ProjectInfo::FromArgument(step.args[i].text));
      return list;
    };
    const std::string& v = step.verb;
    if (v == "open-solution" || v == "open-solution-unnamed") {
      ide_.OpenSolution(step.args[0].text, projects(1), v == "open-solution");
    } else if (v == "name-solution") {
      ide_.NameSolution();
    } else if (v == "add-project") {
      ide_.AddProject({step.args[0].text, step.args[1].text});
    } else if (v == "remove-project") {
      if (!ide_.RemoveProject(step.args[0].text)) return Say("  ! no project " + step.args[0].text), true;
    } else if (v == "rename-project") {
      if (!ide_.RenameProject(step.args[0].text, {step.args[1].text, step.args[2].text}))
        return Say("  ! no project " + step.args[0].text), true;
    } else if (v == "rename-solution") {
      ide_.RenameSolution(step.args[0].text);
    } else if (v == "close-solution") {
      ide_.CloseSolution();
    } else if (v == "command") {
      // A command completes (by default File.SaveAll).
      ide_.ExecuteCommand(step.args.size() == 2 ? step.args[0].text : "{5EFC7975-14BC-11CF-9B2B-00AA00573819}",
                          step.args.size() == 2 ? std::atoi(step.args[1].text.c_str()) : 224);
    } else {
      return false;
    }
    return true;
  }

  // A step run later by a window timer of this thread: it happens whenever the
  // thread pumps messages, also inside the add-in's outgoing calls.
  bool Later(const testbed::Step& step) {
    testbed::Step later{step.line, step.args[1].text, std::vector<testbed::Token>(step.args.begin() + 2, step.args.end())};
    const UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(std::strtoul(step.args[0].text.c_str(), nullptr, 10)),
                                 &StandInIde::RunLater);
    pending_[id] = later;
    current_ = this;
    return true;
  }
  static void CALLBACK RunLater(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    auto found = current_->pending_.find(id);
    if (found == current_->pending_.end()) return;
    testbed::Step step = found->second;
    current_->pending_.erase(found);
    current_->Run(step);
  }

  // One notification of IDTExtensibility2 on its own (the add-in stays loaded).
  bool Notify(const std::string& name) {
    if (!addin_) {
      Say("  ! the add-in is not loaded");
      return false;
    }
    ComPtr<testbed::IdeExtensibility2> ext = Extensibility();
    auto custom = EmptyCustom();
    HRESULT hr = E_INVALIDARG;
    if (name == "OnDisconnection") hr = ext->OnDisconnection(1, custom.InOut());
    else if (name == "OnBeginShutdown") hr = ext->OnBeginShutdown(custom.InOut());
    else if (name == "OnStartupComplete") hr = ext->OnStartupComplete(custom.InOut());
    else if (name == "OnAddInsUpdate") hr = ext->OnAddInsUpdate(custom.InOut());
    else if (name == "OnConnection") {
      ComPtr<IDispatch> root = win::Adopt(win::ExportObject(ide_.Root()));
      hr = ext->OnConnection(root.Get(), 1, nullptr, custom.InOut());
    }
    Say("  " + name + " -> " + (SUCCEEDED(hr) ? "S_OK" : "failed"));
    return true;
  }

  // The stand-in integration manager, as a client of it.
  bool Manager(const testbed::Step& step) {
    const std::string what = step.args[0].text;
    auto attach = [&]() -> bool {
      if (manager_) return true;
      ComPtr<IUnknown> running;
      if (FAILED(GetActiveObject(CLSID_qmsIntegrationManager, nullptr, &running))) return false;
      return SUCCEEDED(running.As(&manager_));
    };
    if (what == "start") {
      HRESULT hr = CoCreateInstance(CLSID_qmsIntegrationManager, nullptr, CLSCTX_LOCAL_SERVER, IID_IQmsIntegrationManager,
                                    reinterpret_cast<void**>(manager_.ReleaseAndGetAddressOf()));
      Say(SUCCEEDED(hr) ? "  manager started" : "  ! the manager could not be started: " + win::ErrorFromHresult(hr).description);
      if (SUCCEEDED(hr)) managerBaseline_ = ManagerReferences();
      return SUCCEEDED(hr);
    }
    if (what == "running") {
      ComPtr<IUnknown> running;
      Say(std::string("  manager running: ") + (SUCCEEDED(GetActiveObject(CLSID_qmsIntegrationManager, nullptr, &running)) ? "yes" : "no"));
      return true;
    }
    if (what == "wait-gone") {
      // Pumps messages until no manager is running, at most MS milliseconds.
      const DWORD limit = step.args.size() > 1 ? std::strtoul(step.args[1].text.c_str(), nullptr, 10) : 20000;
      const ULONGLONG begin = GetTickCount64();
      for (;;) {
        ComPtr<IUnknown> running;
        const ULONGLONG waited = GetTickCount64() - begin;
        if (FAILED(GetActiveObject(CLSID_qmsIntegrationManager, nullptr, &running))) {
          Say("  manager gone within " + std::to_string((waited + 999) / 1000) + " s");
          return true;
        }
        if (waited >= limit) {
          Say("  ! manager still running after " + std::to_string(limit) + " ms");
          return false;
        }
        running.Reset();
        Pump(100);
      }
    }
    if (what == "release") {
      manager_.Reset();
      Say("  manager released");
      return true;
    }
    if (!attach()) {
      Say("  ! no running manager");
      return false;
    }
    if (what == "balanced") {
      // The references held on the manager's objects from outside are what
      // they were when this IDE started it: the add-in kept none.
      const long now = ManagerReferences();
      Say("  manager references from outside: " + std::to_string(now) + " (at its start: " +
          std::to_string(managerBaseline_) + ")");
      return now == managerBaseline_;
    }
    HRESULT hr = S_OK;
    if (what == "show") {
      // In plain words: each document and the IDE process that owns it.
      win::UniqueBstr text;
      hr = manager_->get_Dump(text.put());
      std::istringstream lines(win::FromBstr(text.get()));
      std::vector<std::string> docs;
      bool inDocs = false;
      for (std::string line; std::getline(lines, line);) {
        if (line == "documents:") inDocs = true;
        else if (inDocs) {
          const auto kind = line.find(" kind=");
          const auto pid = line.find(" pid=");
          const auto project = line.find(" project=");
          if (kind == std::string::npos || pid == std::string::npos) continue;
          docs.push_back(line.substr(2, kind - 2) + "  (owned by the IDE with process id " +
                         line.substr(pid + 5, project - pid - 5) + ")");
        }
      }
      Say("  the manager holds " + std::to_string(docs.size()) + (docs.size() == 1 ? " document" : " documents") +
          (docs.empty() ? "" : ":"));
      for (const auto& d : docs) Say("    " + d);
      Say("  (this IDE is process " + std::to_string(GetCurrentProcessId()) + ")");
    } else if (what == "dump") {
      win::UniqueBstr text;
      hr = manager_->get_Dump(text.put());
      std::istringstream lines(win::FromBstr(text.get()));
      for (std::string line; std::getline(lines, line);) Say("  " + line);
    } else if (what == "stop") {
      hr = manager_->Shutdown();
      manager_.Reset();
      Say("  manager stopped");
    } else if (what == "clear-faults") {
      hr = manager_->ClearFaults();
    } else if (what == "fault" && step.args.size() >= 2) {
      win::UniqueBstr name(win::NewBstr(step.args[1].text));
      win::UniqueBstr text(win::NewBstr(step.args.size() > 3 ? step.args[3].text : ""));
      hr = manager_->SetFault(name.get(), step.args.size() > 2 ? std::strtol(step.args[2].text.c_str(), nullptr, 0) : 1,
                              text.get());
    } else if (what == "command" && step.args.size() >= 4) {
      // An extended command sent by the manager to an IDE: this one (self),
      // the first other one (other), or the IDE with that process id.
      std::string target = step.args[1].text;
      if (target == "self" || target == "other") {
        std::istringstream lines(ManagerDump());
        const std::string mine = std::to_string(GetCurrentProcessId());
        std::string found;
        for (std::string line; std::getline(lines, line);) {
          const auto at = line.find("  app ");
          const auto pid = line.find(" pid=");
          if (at != 0 || pid == std::string::npos) continue;
          const std::string candidate = line.substr(pid + 5);
          if ((target == "self") == (candidate == mine) && found.empty()) found = candidate;
        }
        target = found;
      }
      automation::VariantArray list;
      list.lowerBound = std::atoi(step.args[3].text.c_str());
      for (std::size_t i = 4; i < step.args.size(); ++i) list.elements.push_back(testbed::ArgumentValue(step.args[i]));
      win::UniqueVariant args;
      win::ToComVariant(Variant(list), args.get());
      win::UniqueBstr pid(win::NewBstr(target));
      win::UniqueBstr word(win::NewBstr(step.args[2].text));
      hr = manager_->SendExtendedCommand(pid.get(), word.get(), *args);
      if (SUCCEEDED(hr)) Say("  sent to the IDE with process id " + target);
    } else if (what == "bench" && step.args.size() == 2) {
      // The time of one cross-process call, median of N.
      const int n = std::atoi(step.args[1].text.c_str());
      std::vector<double> us;
      LARGE_INTEGER f, a, b;
      QueryPerformanceFrequency(&f);
      for (int i = 0; i < n; ++i) {
        LONG count = 0;
        QueryPerformanceCounter(&a);
        hr = manager_->get_ApplicationCount(&count);
        QueryPerformanceCounter(&b);
        us.push_back(1e6 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart));
      }
      std::sort(us.begin(), us.end());
      if (!us.empty()) {
        char line[128];
        std::snprintf(line, sizeof line, "  cross-process call: median %.0f us, 95th percentile %.0f us (%d calls)",
                      us[us.size() / 2], us[us.size() * 95 / 100], n);
        Say(line);
      }
    } else {
      Say("  ! unknown manager step " + what);
      return false;
    }
    if (FAILED(hr)) Say("  ! error " + win::ErrorFromCall(hr, manager_.Get(), IID_IQmsIntegrationManager).description);
    return SUCCEEDED(hr);
  }

  // Pumps messages until the add-in's event queue is empty, at most
  // `milliseconds`. A step runs from the top of the message loop, never inside
  // a handler, so every event queued before it has then been worked off,
  // however slow the machine.
  bool Settle(DWORD milliseconds) {
    if (!addin_ && shutDownInside_) return true;  // nothing is left to settle
    if (!addin_) {
      Say("  ! the add-in is not loaded");
      return false;
    }
    auto target = win::DispatchObject::Wrap(addin_.Get());
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

  bool Call(const testbed::Step& step) {
    if (!addin_) {
      Say("  ! the add-in is not loaded");
      return false;
    }
    std::vector<Variant> args;
    for (std::size_t i = 1; i < step.args.size(); ++i) args.push_back(testbed::ArgumentValue(step.args[i]));
    auto target = win::DispatchObject::Wrap(addin_.Get());
    const auto kind = step.verb == "put" ? automation::CallKind::PropertyPut : automation::CallKind::Method;
    Say("  " + testbed::ShowResult(target->Invoke(step.args[0].text, kind, args)));
    return true;
  }

  bool VtableCall(const std::string& member) {
    if (!addin_) {
      Say("  ! the add-in is not loaded");
      return false;
    }
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

  // The manager's dump: its documents, timings and references; "" when it
  // cannot be read.
  std::string ManagerDump() {
    win::UniqueBstr text;
    if (!manager_ || FAILED(manager_->get_Dump(text.put()))) return {};
    return win::FromBstr(text.get());
  }

  // The manager's documents of IDEs (FindDocuments of kind 3, every name),
  // and their count.
  ComPtr<IQmsDocuments> EveryDocument(long& count) {
    SHORT kind = 3;
    win::UniqueBstr all(win::NewBstr(""));
    ComPtr<IQmsDocuments> docs;
    manager_->FindDocuments(&kind, all.InOut(), &docs);
    count = 0;
    if (docs) docs->get_Count(&count);
    return docs;
  }

  // The IDE's project list (GetObject("VCProjects")) and its count, through
  // the IDE's automation root.
  static automation::Result<automation::Ref<automation::Object>> ProjectList(automation::Object& root, long& count) {
    std::vector<automation::Variant> args{automation::Variant("VCProjects")};
    auto list = automation::ToObject(root.Invoke("GetObject", automation::CallKind::Method, args));
    count = 0;
    if (list && *list) {
      auto counted = automation::ToLong((*list)->Invoke("Count", automation::CallKind::PropertyGet, {}));
      count = counted ? *counted : 0;
    }
    return list;
  }

  static long Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return static_cast<long>(v[v.size() / 2]);
  }
  static std::string Range(const std::vector<double>& v) {
    return std::to_string(static_cast<long>(*std::min_element(v.begin(), v.end()))) + ".." +
           std::to_string(static_cast<long>(*std::max_element(v.begin(), v.end())));
  }

  // The add-in's RegisterProjects (through its vtable) against the bare
  // sequence of the same calls made from here, in turn, REPS times each: the
  // manager's documents with their owner test and name, then the projects'
  // full paths. The solution must be open and registered, the manager
  // started by this IDE. Also times the parts of the bare sequence: the calls
  // into the manager, the calls back into the IDEs for MSDEVPid, the IDE's
  // own objects.
  bool BenchRegister(int reps) {
    if (!addin_ || !manager_ || reps < 1) {
      Say("  ! bench-register needs the add-in loaded, the manager started and REPETITIONS >= 1");
      return false;
    }
    ComPtr<IDispatch> rootDispatch = win::Adopt(win::ExportObject(ide_.Root()));
    auto root = win::DispatchObject::Wrap(rootDispatch.Get());
    std::vector<double> addin, bare, manager, owners, ideCalls;
    auto now = [] { return testbed::NowMicroseconds(); };
    long documents = 0, projectCount = 0;
    for (int r = 0; r < reps; ++r) {
      VARIANT_BOOL done = VARIANT_FALSE;
      double t0 = now();
      addin_->RegisterProjects(&done);
      addin.push_back(now() - t0);

      double inManager = 0, inOwners = 0, inIde = 0;
      t0 = now();
      double t = now();
      long count = 0;
      ComPtr<IQmsDocuments> docs = EveryDocument(count);
      inManager += now() - t;
      for (long i = 1; i <= count; ++i) {
        t = now();
        VARIANT index;
        index.vt = VT_I4;
        index.lVal = i;
        ComPtr<IQmsDocument> doc;
        docs->Item(&index, &doc);
        ComPtr<IQmsApplication> app;
        if (doc) doc->get_App(&app);
        ComPtr<IDispatch> owner;
        if (app) app->get_AppObject(&owner);
        inManager += now() - t;
        t = now();
        (void)root->Invoke("Name", automation::CallKind::PropertyGet, {});
        (void)root->Invoke("Version", automation::CallKind::PropertyGet, {});
        inIde += now() - t;
        t = now();
        if (owner) (void)win::DispatchObject::Wrap(owner.Get())->Invoke("MSDEVPid", automation::CallKind::PropertyGet, {});
        inOwners += now() - t;
        t = now();
        win::UniqueBstr name;
        if (doc) doc->get_DocName(name.put());
        inManager += now() - t;
      }
      t = now();
      long n = 0;
      auto projects = ProjectList(*root, n);
      if (projects && *projects) {
        for (long i = 1; i <= n; ++i) {
          std::vector<automation::Variant> itemArgs{automation::Variant(static_cast<std::int32_t>(i))};
          auto project = automation::ToObject((*projects)->Invoke("Item", automation::CallKind::Method, itemArgs));
          if (project && *project) (void)(*project)->Invoke("FullName", automation::CallKind::PropertyGet, {});
        }
      }
      inIde += now() - t;
      bare.push_back(now() - t0);
      manager.push_back(inManager);
      owners.push_back(inOwners);
      ideCalls.push_back(inIde);
      documents = count;
      projectCount = n;
    }
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.3f", static_cast<double>(Median(addin)) / static_cast<double>(Median(bare)));
    Say("  bench-register: " + std::to_string(projectCount) + " projects, " + std::to_string(documents) +
        " documents, " + std::to_string(reps) + " runs each, in turn");
    Say("  RegisterProjects us: median " + std::to_string(Median(addin)) + " (" + Range(addin) + ")");
    Say("  bare calls us: median " + std::to_string(Median(bare)) + " (" + Range(bare) + ")");
    Say("  ratio: " + std::string(ratio));
    Say("  bare calls, parts us: manager " + std::to_string(Median(manager)) + ", owners' MSDEVPid " +
        std::to_string(Median(owners)) + ", IDE objects " +
        std::to_string(Median(ideCalls)));
    return true;
  }

  // A solution of N projects opened, REPS times, against the bare sequence of
  // the calls its first registration makes, made from here in turn. The
  // opening is timed by the manager on the machine's performance counter
  // (shared by every process): from the Opened event to the first call into
  // the manager (the event waits in the queue for the timer) and to the end of
  // the last RegisterDoc. The bare sequence, on a manager without the add-in's
  // documents (withdrawn from here first): the manager's documents, the
  // project list, and for each project its full path, a new document object
  // with its properties, the project's name, and RegisterDoc (under an
  // application of this IDE's own, withdrawn again outside the timing). The
  // manager must be started by this IDE, no solution open.
  bool BenchOpen(int n, int reps) {
    if (!addin_ || !manager_ || n < 1 || reps < 1) {
      Say("  ! bench-open needs the add-in loaded, the manager started, PROJECTS >= 1 and REPETITIONS >= 1");
      return false;
    }
    std::vector<testbed::ProjectInfo> projects;
    for (int i = 0; i < n; ++i) projects.push_back({"P" + std::to_string(i), "C:\\open\\P" + std::to_string(i) + ".vcproj"});
    auto fault = [&](const wchar_t* name, long value) {
      win::UniqueBstr f(SysAllocString(name)), text(SysAllocString(L""));
      return SUCCEEDED(manager_->SetFault(f.get(), value, text.get()));
    };
    auto timing = [&](const char* key) {
      const std::string dump = ManagerDump();
      const auto at = dump.find(std::string(" ") + key + "=");
      return at == std::string::npos ? -1.0 : std::strtod(dump.c_str() + at + std::strlen(key) + 2, nullptr);
    };
    ComPtr<IQmsRegistrationManager> registration;
    manager_->get_RegistrationManager(&registration);
    ComPtr<IDispatch> rootDispatch = win::Adopt(win::ExportObject(ide_.Root()));
    auto root = win::DispatchObject::Wrap(rootDispatch.Get());
    auto now = [] { return testbed::NowMicroseconds(); };
    std::vector<double> wall, toFirstCall, bare, inManager, inDocObjects, inIde;
    long registered = 0;
    for (int r = 0; r < reps; ++r) {
      if (!fault(L"timing", 1) || !registration) {
        Say("  ! the manager does not time registrations");
        return false;
      }
      const double opened = now();
      ide_.OpenSolution("C:\\open\\open.sln", projects, true);
      if (!Settle(600000)) return false;
      const double first = timing("first-call-us"), last = timing("last-registerdoc-us");
      registered = static_cast<long>(timing("registerdocs"));
      fault(L"timing", 0);
      wall.push_back(last - opened);
      toFirstCall.push_back(first - opened);

      // The bare sequence, with the solution still open and the manager as
      // it was before the opening: the add-in's documents are withdrawn first
      // (outside the timing; its closing of the solution then finds none).
      SHORT kind = 3;
      {
        long registeredCount = 0;
        ComPtr<IQmsDocuments> registeredDocs = EveryDocument(registeredCount);
        for (long i = 1; i <= registeredCount; ++i) {
          VARIANT index;
          index.vt = VT_I4;
          index.lVal = i;
          ComPtr<IQmsDocument> doc;
          registeredDocs->Item(&index, &doc);
          ComPtr<IQmsApplication> none;
          win::UniqueBstr noName(SysAllocString(L""));
          if (doc) registration->UnRegisterDoc(doc.GetAddressOf(), none.GetAddressOf(), noName.InOut());
        }
      }
      ComPtr<IDispatch> me;
      addin_.As(&me);
      ComPtr<IQmsApplication> app;
      registration->RegisterApp(&kind, me.GetAddressOf(), &app);
      std::vector<ComPtr<IQmsDocument>> mine;
      double manager = 0, docObjects = 0, ideCalls = 0;
      const double t0 = now();
      double t = now();
      long count = 0;
      ComPtr<IQmsDocuments> docs = EveryDocument(count);
      manager += now() - t;
      t = now();
      long total = 0;
      auto list = ProjectList(*root, total);
      ideCalls += now() - t;
      for (long i = 1; i <= total; ++i) {
        t = now();
        std::vector<automation::Variant> itemArgs{automation::Variant(static_cast<std::int32_t>(i))};
        auto project = automation::ToObject((*list)->Invoke("Item", automation::CallKind::Method, itemArgs));
        if (!project || !*project) continue;
        auto fullName = automation::ToText((*project)->Invoke("FullName", automation::CallKind::PropertyGet, {}));
        ideCalls += now() - t;
        t = now();
        ComPtr<IQmcDocProject> docProject;
        CoCreateInstance(CLSID_qmcDocProject, nullptr, CLSCTX_SERVER, IID_IQmcDocProject,
                         reinterpret_cast<void**>(docProject.GetAddressOf()));
        win::UniqueBstr path(win::NewBstr(fullName ? *fullName : std::string()));
        if (docProject) docProject->put_FullName(path.InOut());
        docObjects += now() - t;
        t = now();
        auto name = automation::ToText((*project)->Invoke("Name", automation::CallKind::PropertyGet, {}));
        ideCalls += now() - t;
        t = now();
        win::UniqueBstr projectName(win::NewBstr(name ? *name : std::string())), comment(SysAllocString(L""));
        VARIANT stamp;
        stamp.vt = VT_DATE;
        stamp.date = 46000.5;
        ComPtr<IDispatch> container;
        if (docProject) {
          docProject->put_Name(projectName.InOut());
          docProject->put_Comment(comment.InOut());
          docProject->put_TimeStamp(&stamp);
          docProject->putref_Container(container.GetAddressOf());
        }
        docObjects += now() - t;
        t = now();
        ComPtr<IDispatch> asDispatch;
        if (docProject) docProject.As(&asDispatch);
        ComPtr<IQmsDocument> doc;
        registration->RegisterDoc(app.GetAddressOf(), path.InOut(), asDispatch.GetAddressOf(), &doc);
        manager += now() - t;
        mine.push_back(doc);
      }
      bare.push_back(now() - t0);
      inManager.push_back(manager);
      inDocObjects.push_back(docObjects);
      inIde.push_back(ideCalls);
      for (auto& doc : mine) {
        if (!doc) continue;
        ComPtr<IQmsApplication> none;
        win::UniqueBstr noName(SysAllocString(L""));
        registration->UnRegisterDoc(doc.GetAddressOf(), none.GetAddressOf(), noName.InOut());
      }
      mine.clear();
      if (app) registration->UnRegisterApp(app.GetAddressOf(), &kind);
      ide_.CloseSolution();
      if (!Settle(600000)) return false;
    }
    Say("  bench-open: " + std::to_string(n) + " projects, " + std::to_string(registered) + " documents registered, " +
        std::to_string(reps) + " runs each, in turn");
    Say("  opening us: Opened to the last RegisterDoc median " + std::to_string(Median(wall)) + " (" + Range(wall) +
        "), to the first call into the manager median " + std::to_string(Median(toFirstCall)));
    Say("  bare opening calls us: median " + std::to_string(Median(bare)) + " (" + Range(bare) + ")");
    Say("  bare opening calls, parts us: manager " + std::to_string(Median(inManager)) + ", document objects " +
        std::to_string(Median(inDocObjects)) + ", IDE objects " + std::to_string(Median(inIde)));
    return true;
  }

  // A long IDE session in little time: EVENTS project events (a project
  // "Churn" added, then removed, and again), each worked off at once by
  // calling the add-in's Timer member as its timer form does (arming and
  // disarming the window timer each time, as ever); every EVERY events one is
  // left to the real timer tick instead. Every EVERY events the process's
  // counters are printed: private bytes, handles, GDI and USER objects.
  bool Churn(long events, long every) {
    if (!addin_ || events < 1 || every < 1) {
      Say("  ! churn needs the add-in loaded, EVENTS >= 1 and EVERY >= 1");
      return false;
    }
    auto queued = [&] {
      LONG count = 0;
      addin_->get_EventQueueCount(&count);
      return count;
    };
    for (long i = 1; i <= events; ++i) {
      if (i % 2) ide_.AddProject({"Churn", "C:\\s\\Churn.vcproj"});
      else ide_.RemoveProject("Churn");
      if (i % every == 0) {
        for (int waited = 0; queued() > 0 && waited < 5000; waited += 10) Pump(10);  // the real tick
        Say("  churn " + std::to_string(i) + ": " + Counters() + " queued " + std::to_string(queued()));
      } else {
        while (queued() > 0) addin_->Timer();
      }
    }
    return true;
  }

  static BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    return TRUE;
  }

  // The process's counters. Private bytes are the committed private memory
  // (PagefileUsage, which Windows keeps equal to PrivateUsage; Wine fills only
  // the former). Where GetProcessHandleCount answers 0 (Wine), the handles are
  // counted by asking each handle value for its information. GDI and USER
  // objects are GetGuiResources' (0 under Wine); windows counts this thread's
  // top-level and message-only windows, which USER objects the add-in makes.
  static std::string Counters() {
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    DWORD handles = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &handles) || handles == 0) {
      for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++handles;
      }
    }
    long windows = 0;
    EnumThreadWindows(GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr)) != nullptr;) ++windows;
    return "private " + std::to_string(memory.PagefileUsage) + " handles " + std::to_string(handles) + " gdi " +
           std::to_string(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) + " user " +
           std::to_string(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS)) + " windows " + std::to_string(windows);
  }

  // A call of the add-in into one of the IDE's objects (on the IDE's thread,
  // inside the add-in's outgoing COM call).
  std::optional<automation::Error> OnModelCall(std::string_view member) {
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

  // The lines in the add-in's log file now (the file its settings name).
  static long LogLines() {
    char path[MAX_PATH] = {};
    DWORD size = sizeof path;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, shared::kSettingsKey, "DebugOutputFile", RRF_RT_REG_SZ, nullptr, path,
                     &size) != ERROR_SUCCESS)
      return -1;
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    return static_cast<long>(std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
  }

  // The manager's count of references held on its objects from outside, the
  // last line of its dump; -1 when it cannot be read.
  long ManagerReferences() {
    win::UniqueBstr text;
    if (!manager_ || FAILED(manager_->get_Dump(text.put()))) return -1;
    const std::string dump = win::FromBstr(text.get());
    static const std::string kLine = "references from outside: ";
    const auto at = dump.rfind(kLine);
    return at == std::string::npos ? -1 : std::strtol(dump.c_str() + at + kLine.size(), nullptr, 10);
  }

  bool CanUnload() {
    if (!GetModuleHandleW(L"zandrel.dll")) {
      Say("  zandrel.dll is not loaded");
      return true;
    }
    Say(std::string("  DllCanUnloadNow=") + (AddinCanUnload() ? "S_OK" : "S_FALSE"));
    return true;
  }

  testbed::IdeModel ide_;
  HWND others_[2] = {};
  HWND main_ = nullptr;
  ComPtr<_Connect> addin_;
  ComPtr<IQmsIntegrationManager> manager_;
  std::string disturbance_;  // "fail" or "shutdown", at the call numbered disturbAt_
  long disturbAt_ = 0;
  long calls_ = 0;
  std::string disturbed_;
  bool shutDownInside_ = false;
  long managerBaseline_ = -1;  // ManagerReferences() when this IDE started the manager
  std::map<UINT_PTR, testbed::Step> pending_;
  static inline StandInIde* current_ = nullptr;
};

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

}  // namespace

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
  auto steps = testbed::ParseScenario(text, kVerbs);
  if (!steps) {
    std::fprintf(stderr, "standin_ide: %s: %s\n", argv[1], steps.error().description.c_str());
    return 2;
  }

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  win::SetObjectExporter(&win::ExportObject);
  win::SetObjectImporter(&win::ImportObject);
  g_hook = SetWindowsHookExW(WH_CBT, AnswerMessageBoxes, nullptr, GetCurrentThreadId());
  int status = 0;
  {
    StandInIde ide;
    if (!loadAddIns.empty()) ide.LoadAddIns(loadAddIns);
    for (const auto& step : *steps) {
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
    const long alive = win::ExportedObjectsAlive();
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
