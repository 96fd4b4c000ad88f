// standin_im: the stand-in integration manager, an out-of-process COM server
// (ProgID "qmsIM.qmsIntegrationManager") shared by every IDE process.
//
//   standin_im /RegServer | /UnregServer   register or remove the server
//   standin_im [/Embedding]                serve (COM starts it this way)
//   standin_im dump                         print the running instance's state
//   standin_im fault NAME [VALUE [TEXT]]    set a fault on the running instance
//   standin_im clear-faults | shutdown
//   standin_im command PID WORD LOWER-BOUND [ARGUMENT...]
//                                           an extended command to an IDE
//
// While it serves, its manager object is in the Running Object Table, so that
// attaching to the running instance finds it. It exits when the last client
// has released it, when told to, or when every IDE that registered has ended
// without releasing it: each registered application's process (the id its
// add-in gave as ProcessId) is checked every 250 ms, and once all of them have
// ended for 3 s in a row the manager leaves. The 3 s let another IDE register
// and adopt what an ended one left behind. Faults (SetFault, docs/testbed.md):
//   null:RegistrationManager, null:RegisterApp,     the member gives nothing
//   null:Item
//   fail:MEMBER  VALUE=HRESULT  TEXT=description     the member fails
//   RegisterDoc.failOnCall  VALUE=n                  RegisterDoc fails on call n
//   hold:MEMBER  VALUE=ms                            the member pumps messages first
//   replace-on-unregister VALUE=0|1                  UnRegisterApp gives nothing back
//   close-solution-in:RegisterDoc VALUE=n            inside the n-th RegisterDoc, the
//                                                    registering IDE closes its solution

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "manager/manager_model.h"
#include "qms.h"
#include "stopwatch.h"
#include "win/com_support.h"
#include "win/com_variant.h"
#include "win/dispatch_object.h"
#include "com/dual.h"
#include "win/text_conv.h"

namespace {

using namespace zandrel;
using automation::Ref;
using automation::Variant;
using testbed::com::Dual;
using testbed::com::NewShell;
using zandrel::win::FromBstr;
using zandrel::win::NewBstr;
using zandrel::win::ComPtr;
using zandrel::win::UniqueBstr;
using zandrel::win::UniqueHkey;
using zandrel::win::UniqueVariant;

testbed::ManagerModel* g_model = nullptr;
std::map<std::string, DWORD> g_holds;
// RegisterDoc's call number (from now) on which the manager, inside the call,
// has the registering IDE close its solution (0: never).
std::int32_t g_closeSolutionOnRegisterDoc = 0;
DWORD g_mainThread = 0;

// The timing of a solution's registration (the fault "timing"): when the
// first call came in and when the last RegisterDoc returned, on the
// performance counter, which every process of the machine shares.
struct Timing {
  bool on = false;
  double firstCall = 0;
  double lastRegisterDocEnd = 0;
  long registerDocs = 0;
} g_timing;

// A member held by a fault pumps this thread's messages first, so that the
// caller's thread sees calls and events arrive meanwhile.
void Hold(const char* member) {
  if (g_timing.on && g_timing.firstCall == 0) g_timing.firstCall = testbed::NowMicroseconds();
  auto hold = g_holds.find(member);
  if (hold == g_holds.end() || hold->second == 0) return;
  const ULONGLONG end = GetTickCount64() + hold->second;
  MSG msg;
  for (ULONGLONG now; (now = GetTickCount64()) < end;) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
}

HRESULT Failure(const automation::Error& e, const IID& iid) { return zandrel::win::Fail(e, iid); }

class AppShell;
class DocShell;
std::set<void*> g_apps;  // the shells alive, to recognise our own objects
std::set<void*> g_docs;

class AppShell final : public Dual<IQmsApplication> {
 public:
  explicit AppShell(Ref<registration::QmsApplication> app) : app_(std::move(app)) { g_apps.insert(this); }
  ~AppShell() override { g_apps.erase(this); }
  const Ref<registration::QmsApplication>& app() const { return app_; }

  STDMETHODIMP get_ProcessId(BSTR* out) override {
    if (!out) return E_POINTER;
    std::string pid;
    for (const auto* a : g_model->Applications()) pid = a->processId;  // informative only
    *out = NewBstr(pid);
    return S_OK;
  }
  STDMETHODIMP put_ProcessId(BSTR* value) override {
    if (!value) return E_POINTER;
    Hold("ProcessId");
    std::string pid = FromBstr(*value);
    auto s = app_->SetProcessId(pid);
    return s ? S_OK : Failure(s.error(), IID_IQmsApplication);
  }
  STDMETHODIMP get_Kind(short* out) override { return out ? (*out = registration::im_AppObject_MSVC, S_OK) : E_POINTER; }
  STDMETHODIMP get_Registered(VARIANT_BOOL* out) override { return out ? (*out = VARIANT_TRUE, S_OK) : E_POINTER; }
  STDMETHODIMP get_Index(LONG* out) override { return out ? (*out = 0, S_OK) : E_POINTER; }
  STDMETHODIMP get_AppObject(IDispatch** out) override {
    Hold("AppObject");
    auto object = app_->AppObject();
    if (!object) return Failure(object.error(), IID_IQmsApplication);
    return zandrel::win::NewDispatch(*object, out);
  }

 private:
  Ref<registration::QmsApplication> app_;
};

Ref<registration::QmsApplication> AppOf(IQmsApplication* a) {
  if (!a || !g_apps.contains(static_cast<AppShell*>(a))) return {};
  return static_cast<AppShell*>(a)->app();
}

class DocShell final : public Dual<IQmsDocument> {
 public:
  explicit DocShell(Ref<registration::QmsDocument> doc) : doc_(std::move(doc)) { g_docs.insert(this); }
  ~DocShell() override { g_docs.erase(this); }
  const Ref<registration::QmsDocument>& doc() const { return doc_; }

  STDMETHODIMP get_Kind(short* out) override { return out ? (*out = registration::im_AppObject_MSVC, S_OK) : E_POINTER; }
  STDMETHODIMP get_DocProject(IDispatch** out) override { return out ? (*out = nullptr, S_OK) : E_POINTER; }
  STDMETHODIMP get_DocName(BSTR* out) override {
    if (!out) return E_POINTER;
    Hold("DocName");
    auto name = doc_->DocName();
    if (!name) return Failure(name.error(), IID_IQmsDocument);
    *out = NewBstr(*name);
    return S_OK;
  }
  STDMETHODIMP get_Registered(VARIANT_BOOL* out) override { return out ? (*out = VARIANT_TRUE, S_OK) : E_POINTER; }
  STDMETHODIMP get_App(IQmsApplication** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    Hold("App");
    auto app = doc_->App();
    if (!app) return Failure(app.error(), IID_IQmsDocument);
    if (*app) *out = NewShell<AppShell>(*app);
    return S_OK;
  }

 private:
  Ref<registration::QmsDocument> doc_;
};

Ref<registration::QmsDocument> DocOf(IQmsDocument* d) {
  if (!d || !g_docs.contains(static_cast<DocShell*>(d))) return {};
  return static_cast<DocShell*>(d)->doc();
}

class DocsShell final : public Dual<IQmsDocuments> {
 public:
  explicit DocsShell(Ref<registration::QmsDocuments> docs) : docs_(std::move(docs)) {}
  STDMETHODIMP Item(VARIANT* index, IQmsDocument** out) override {
    if (!out || !index) return E_POINTER;
    *out = nullptr;
    auto i = zandrel::win::FromComVariant(*index);
    if (!i) return Failure(i.error(), IID_IQmsDocuments);
    auto doc = docs_->Item(*i);
    if (!doc) return Failure(doc.error(), IID_IQmsDocuments);
    if (*doc) *out = NewShell<DocShell>(*doc);
    return S_OK;
  }
  STDMETHODIMP get_Count(LONG* out) override {
    if (!out) return E_POINTER;
    auto n = docs_->Count();
    if (!n) return Failure(n.error(), IID_IQmsDocuments);
    *out = *n;
    return S_OK;
  }

 private:
  Ref<registration::QmsDocuments> docs_;
};

// The document-project object the add-in hands over: the manager keeps what
// it says, read through its interface.
Ref<registration::QmcDocProject> ReadDocProject(IDispatch* object) {
  Ref<testbed::DocProjectModel> copy(new testbed::DocProjectModel());
  ComPtr<IQmcDocProject> project;
  if (object && SUCCEEDED(object->QueryInterface(IID_IQmcDocProject, reinterpret_cast<void**>(project.GetAddressOf())))) {
    UniqueBstr text;
    if (SUCCEEDED(project->get_Name(text.put()))) copy->name = FromBstr(text.get());
    if (SUCCEEDED(project->get_FullName(text.put()))) copy->fullName = FromBstr(text.get());
    if (SUCCEEDED(project->get_Comment(text.put()))) copy->comment = FromBstr(text.get());
    UniqueVariant stamp;
    if (SUCCEEDED(project->get_TimeStamp(stamp.get()))) {
      if (auto v = zandrel::win::FromComVariant(*stamp)) copy->timeStamp = *v;
    }
  }
  return copy;
}

class RegMgrShell final : public Dual<IQmsRegistrationManager> {
 public:
  explicit RegMgrShell(Ref<registration::QmsRegistrationManager> m) : m_(std::move(m)) {}

  STDMETHODIMP RegisterApp(short* kind, IDispatch** application, IQmsApplication** out) override {
    if (!kind || !application || !out) return E_POINTER;
    *out = nullptr;
    Hold("RegisterApp");
    std::int16_t k = *kind;
    Ref<automation::Object> object = zandrel::win::DispatchObject::Wrap(*application);
    auto app = m_->RegisterApp(k, object);
    if (!app) return Failure(app.error(), IID_IQmsRegistrationManager);
    if (*app) *out = NewShell<AppShell>(*app);
    return S_OK;
  }
  STDMETHODIMP UnRegisterApp(IQmsApplication** app, short* kind) override {
    if (!app || !kind) return E_POINTER;
    Hold("UnRegisterApp");
    Ref<registration::QmsApplication> a = AppOf(*app);
    std::int16_t k = *kind;
    auto s = m_->UnRegisterApp(a, k);
    if (!s) return Failure(s.error(), IID_IQmsRegistrationManager);
    if (!a && *app) {  // the manager replaced the caller's reference with nothing
      zandrel::win::Adopt(std::exchange(*app, nullptr));
    }
    return S_OK;
  }
  STDMETHODIMP RegisterDoc(IQmsApplication** app, BSTR* name, IDispatch** docProject, IQmsDocument** out) override {
    if (!app || !name || !docProject || !out) return E_POINTER;
    *out = nullptr;
    Hold("RegisterDoc");
    Ref<registration::QmsApplication> a = AppOf(*app);
    if (g_closeSolutionOnRegisterDoc != 0 && g_closeSolutionOnRegisterDoc == g_model->registerDocCalls + 1 && a) {
      // Re-entry: the IDE closes its solution while its add-in waits here.
      g_closeSolutionOnRegisterDoc = 0;
      if (auto owner = a->AppObject(); owner && *owner) {
        auto dte = automation::GetObjectProperty(*owner, "DTE");
        if (dte) (void)automation::CallMethod(*dte, "CloseSolution");
      }
    }
    std::string n = FromBstr(*name);
    Ref<registration::QmcDocProject> project = ReadDocProject(*docProject);
    auto doc = m_->RegisterDoc(a, n, project);
    if (g_timing.on) {
      g_timing.lastRegisterDocEnd = testbed::NowMicroseconds();
      ++g_timing.registerDocs;
    }
    if (!doc) return Failure(doc.error(), IID_IQmsRegistrationManager);
    if (*doc) *out = NewShell<DocShell>(*doc);
    return S_OK;
  }
  STDMETHODIMP UnRegisterDoc(IQmsDocument** doc, IQmsApplication** app, BSTR* name) override {
    if (!doc || !app || !name) return E_POINTER;
    Hold("UnRegisterDoc");
    Ref<registration::QmsDocument> d = DocOf(*doc);
    Ref<registration::QmsApplication> a = AppOf(*app);
    std::string n = FromBstr(*name);
    auto s = m_->UnRegisterDoc(d, a, n);
    return s ? S_OK : Failure(s.error(), IID_IQmsRegistrationManager);
  }

 private:
  Ref<registration::QmsRegistrationManager> m_;
};

class ManagerShell final : public Dual<IQmsIntegrationManager> {
 public:
  explicit ManagerShell(Ref<registration::QmsIntegrationManager> m) : m_(std::move(m)) {}

  // The model's state, and the references to this process's objects that
  // are held from outside (clients' proxies, the Running Object Table's).
  STDMETHODIMP get_Dump(BSTR* out) override {
    if (!out) return E_POINTER;
    std::string timing;
    if (g_timing.on) {
      char line[160];
      std::snprintf(line, sizeof line, "timing: first-call-us=%.0f last-registerdoc-us=%.0f registerdocs=%ld\n",
                    g_timing.firstCall, g_timing.lastRegisterDocEnd, g_timing.registerDocs);
      timing = line;
    }
    *out = NewBstr(g_model->Dump() + timing + "references from outside: " +
                   std::to_string(testbed::com::g_outside.load()) + "\n");
    return S_OK;
  }
  STDMETHODIMP SetFault(BSTR fault, LONG value, BSTR text) override {
    const std::string name = FromBstr(fault);
    if (g_model->SetFault(name, value, FromBstr(text))) return S_OK;
    if (name.rfind("hold:", 0) == 0) g_holds[name.substr(5)] = static_cast<DWORD>(value);
    else if (name == "close-solution-in:RegisterDoc") g_closeSolutionOnRegisterDoc = value + g_model->registerDocCalls;
    else if (name == "timing") g_timing = Timing{value != 0};
    else return Failure({-2147024809, "unknown fault " + name}, IID_IQmsIntegrationManager);
    return S_OK;
  }
  STDMETHODIMP FindDocuments(short* kind, BSTR* name, IQmsDocuments** out) override {
    if (!kind || !name || !out) return E_POINTER;
    *out = nullptr;
    Hold("FindDocuments");
    std::int16_t k = *kind;
    std::string n = FromBstr(*name);
    auto docs = m_->FindDocuments(k, n);
    if (!docs) return Failure(docs.error(), IID_IQmsIntegrationManager);
    if (*docs) *out = NewShell<DocsShell>(*docs);
    return S_OK;
  }
  STDMETHODIMP ClearFaults() override {
    g_model->faults = testbed::ManagerModel::Faults{};
    g_holds.clear();
    g_closeSolutionOnRegisterDoc = 0;
    return S_OK;
  }
  STDMETHODIMP SendExtendedCommand(BSTR processId, BSTR command, VARIANT arguments) override;
  STDMETHODIMP get_ApplicationCount(LONG* out) override {
    return out ? (*out = static_cast<LONG>(g_model->Applications().size()), S_OK) : E_POINTER;
  }
  STDMETHODIMP get_DocumentCount(LONG* out) override {
    return out ? (*out = static_cast<LONG>(g_model->Documents().size()), S_OK) : E_POINTER;
  }
  STDMETHODIMP Shutdown() override {
    PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    return S_OK;
  }
  STDMETHODIMP get_RegistrationManager(IQmsRegistrationManager** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    Hold("RegistrationManager");
    auto regMgr = m_->RegistrationManager();
    if (!regMgr) return Failure(regMgr.error(), IID_IQmsIntegrationManager);
    if (*regMgr) *out = NewShell<RegMgrShell>(*regMgr);
    return S_OK;
  }

 private:
  Ref<registration::QmsIntegrationManager> m_;
};

// Sends an extended command to the IDE whose add-in gave that process id:
// through its application object's AppObject, by name.
STDMETHODIMP ManagerShell::SendExtendedCommand(BSTR processId, BSTR command, VARIANT arguments) {
  auto list = zandrel::win::FromComVariant(arguments);
  if (!list) return Failure(list.error(), IID_IQmsIntegrationManager);
  const std::string pid = FromBstr(processId);
  auto owner = g_model->AppObjectFor(pid);
  if (!owner) return Failure({-2147024809, "no IDE with process id " + pid}, IID_IQmsIntegrationManager);
  auto done = automation::CallMethod(owner, "ExecuteExtendedCommand", FromBstr(command), *list);
  return done ? S_OK : Failure(done.error(), IID_IQmsIntegrationManager);
}

ManagerShell* g_manager = nullptr;

class Factory final : public zandrel::win::ComObject<Factory, IClassFactory> {
 public:
  // The factory is static and counts nothing.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    return g_manager->QueryInterface(riid, ppv);  // one instance, shared by every client
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

constexpr wchar_t kProgId[] = L"qmsIM.qmsIntegrationManager";

std::wstring GuidText(const GUID& g) {
  wchar_t text[40] = {};
  StringFromGUID2(g, text, 40);
  return text;
}

LONG SetKey(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  UniqueHkey h;
  LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + key).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, h.put(), nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  return RegSetValueExW(h.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

int Register(bool add) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring clsid = L"CLSID\\" + GuidText(CLSID_qmsIntegrationManager);
  if (!add) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + clsid).c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\") + kProgId).c_str());
    UnRegisterTypeLib(LIBID_qmsIM, 1, 0, 0, SYS_WIN64);
    UnRegisterTypeLib(LIBID_qmsIM, 1, 0, 0, SYS_WIN32);
    return 0;
  }
  LONG rc = SetKey(clsid, nullptr, kProgId);
  if (rc == 0) rc = SetKey(clsid + L"\\LocalServer32", nullptr, path);
  if (rc == 0) rc = SetKey(clsid + L"\\ProgID", nullptr, kProgId);
  if (rc == 0) rc = SetKey(kProgId, nullptr, kProgId);
  if (rc == 0) rc = SetKey(std::wstring(kProgId) + L"\\CLSID", nullptr, GuidText(CLSID_qmsIntegrationManager));
  ComPtr<ITypeLib> library;
  // The interfaces travel between processes through the automation marshaler,
  // which reads them from the registered type library.
  HRESULT hr = LoadTypeLibEx(path, REGKIND_REGISTER, library.GetAddressOf());
  if (rc != 0 || FAILED(hr)) {
    std::fprintf(stderr, "standin_im: registration failed (%ld, 0x%08lX)\n", rc, static_cast<unsigned long>(hr));
    return 1;
  }
  return 0;
}

// The client side: talk to the running instance.
int Client(int argc, char** argv) {
  ComPtr<IUnknown> running;
  if (FAILED(GetActiveObject(CLSID_qmsIntegrationManager, nullptr, running.GetAddressOf()))) {
    std::fprintf(stderr, "standin_im: no running instance\n");
    return 1;
  }
  ComPtr<IQmsIntegrationManager> m;
  HRESULT hr = running.As(&m);
  if (FAILED(hr)) return 1;
  const std::string verb = argv[1];
  if (verb == "dump") {
    UniqueBstr text;
    hr = m->get_Dump(text.put());
    if (SUCCEEDED(hr)) std::printf("%s", FromBstr(text.get()).c_str());
  } else if (verb == "fault" && argc >= 3) {
    UniqueBstr name(NewBstr(argv[2]));
    UniqueBstr text(NewBstr(argc > 4 ? argv[4] : ""));
    hr = m->SetFault(name.get(), argc > 3 ? std::strtol(argv[3], nullptr, 0) : 1, text.get());
  } else if (verb == "command" && argc >= 5) {
    automation::VariantArray list;
    list.lowerBound = std::atoi(argv[4]);
    for (int i = 5; i < argc; ++i) list.elements.push_back(Variant(std::string(argv[i])));  // text; the add-in converts
    UniqueVariant args;
    zandrel::win::ToComVariant(Variant(list), args.get());
    UniqueBstr pid(NewBstr(argv[2]));
    UniqueBstr word(NewBstr(argv[3]));
    hr = m->SendExtendedCommand(pid.get(), word.get(), *args);
  } else if (verb == "clear-faults") {
    hr = m->ClearFaults();
  } else if (verb == "shutdown") {
    hr = m->Shutdown();
  } else {
    hr = E_INVALIDARG;
  }
  if (FAILED(hr)) std::fprintf(stderr, "standin_im: %s failed: %s\n", verb.c_str(), zandrel::win::ErrorFromHresult(hr).description.c_str());
  return FAILED(hr) ? 1 : 0;
}

constexpr int kClientCheckMs = 250;
constexpr int kEndedClientsGraceMs = 3000;
// How long a leaving server still serves the calls already queued for it.
constexpr int kDrainMs = 200;

// Whether there are registered applications and the process of each has ended.
// A process id that is not a number (not given yet) counts as alive.
bool EveryRegisteredClientEnded() {
  const auto apps = g_model->Applications();
  if (apps.empty()) return false;
  for (const auto* app : apps) {
    char* end = nullptr;
    const unsigned long pid = std::strtoul(app->processId.c_str(), &end, 10);
    if (app->processId.empty() || *end != '\0') return false;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) {
      if (GetLastError() == ERROR_INVALID_PARAMETER) continue;  // no such process
      return false;
    }
    const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    if (!ended) return false;
  }
  return true;
}

int Serve() {
  testbed::ManagerModel model;
  g_model = &model;
  g_mainThread = GetCurrentThreadId();
  g_manager = NewShell<ManagerShell>(model.Manager());
  Factory factory;
  DWORD classCookie = 0;
  HRESULT hr = CoRegisterClassObject(CLSID_qmsIntegrationManager, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &classCookie);
  if (FAILED(hr)) return 1;
  const long bare = testbed::com::g_outside;  // the server's own references
  DWORD rotCookie = 0;
  hr = RegisterActiveObject(g_manager, CLSID_qmsIntegrationManager, ACTIVEOBJECT_WEAK, &rotCookie);
  if (FAILED(hr)) std::fprintf(stderr, "standin_im: not in the Running Object Table (0x%08lX)\n", static_cast<unsigned long>(hr));

  // The references held while nobody is connected: the server's own and the
  // table's. When the count falls back to it, the last client has gone.
  long idle = testbed::com::g_outside;
  bool connected = false;
  testbed::com::OnRelease = [&](long left) {
    if (left > idle) connected = true;
    else if (connected) PostThreadMessageW(g_mainThread, WM_APP, 0, 0);
  };
  // Leaving takes three steps, so that a client on its way in is never handed
  // an object of a process about to end: first the server is withdrawn (a new
  // activation now starts another server), then the calls already queued are
  // served, and only if none of them connected a client does the process end;
  // otherwise it serves that client until it lets go.
  bool withdrawn = false, left = false;
  const auto leave = [&](bool whateverIsHeld) {
    if (left) return true;
    if (!withdrawn) {
      withdrawn = true;
      if (rotCookie) RevokeActiveObject(rotCookie, nullptr);
      CoRevokeClassObject(classCookie);
      idle = bare;  // the table's references went with its entry
    }
    MSG queued;
    bool quit = false;  // Shutdown, asked for meanwhile
    for (const ULONGLONG until = GetTickCount64() + kDrainMs; GetTickCount64() < until;) {
      while (PeekMessageW(&queued, nullptr, 0, 0, PM_REMOVE)) {
        quit = quit || queued.message == WM_QUIT;
        if (queued.message != WM_APP && queued.message != WM_TIMER) DispatchMessageW(&queued);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return left = whateverIsHeld || quit || testbed::com::g_outside <= idle;
  };
  MSG msg;
  // A server nobody connects to does not stay: 60 s.
  const UINT_PTR idleTimer = SetTimer(nullptr, 0, 60000, nullptr);
  const UINT_PTR clientsTimer = SetTimer(nullptr, 0, kClientCheckMs, nullptr);
  int endedChecks = 0;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_APP) {
      if (testbed::com::g_outside <= idle && leave(false)) break;
      continue;
    }
    if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == idleTimer) {
      if (!connected && leave(false)) break;
      continue;
    }
    if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == clientsTimer) {
      endedChecks = EveryRegisteredClientEnded() ? endedChecks + 1 : 0;
      if (endedChecks * kClientCheckMs >= kEndedClientsGraceMs) {
        std::fprintf(stderr, "standin_im: every IDE that registered has ended; leaving\n");
        leave(true);
        break;
      }
      continue;
    }
    DispatchMessageW(&msg);
  }
  // Shutdown (WM_QUIT) leaves as well: its own answer goes out meanwhile.
  leave(true);
  testbed::com::OnRelease = nullptr;
  // What clients still hold (an IDE that died holds it for ever) goes with the
  // process: releasing proxies of dead processes could wait on them.
  std::fflush(stdout);
  ExitProcess(0);
}

}  // namespace

int main(int argc, char** argv) {
  zandrel::win::g_module = GetModuleHandleW(nullptr);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int status = 0;
  const std::string first = argc > 1 ? argv[1] : "";
  auto is = [&](const char* flag) { return _stricmp(first.c_str(), flag) == 0 || (first.size() > 1 && _stricmp(first.c_str() + 1, flag + 1) == 0); };
  if (is("/RegServer")) status = Register(true);
  else if (is("/UnregServer")) status = Register(false);
  else if (first.empty() || is("/Embedding") || is("-Embedding")) status = Serve();
  else status = Client(argc, argv);
  CoUninitialize();
  return status;
}
