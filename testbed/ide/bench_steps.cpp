// The stand-in IDE's benchmarks and long session: `bench-register`,
// `bench-open` and `churn`.

#include "ide/standin_ide.h"

namespace zandrel::testbed::standin {

// The IDE's project list (GetObject("VCProjects")) and its count, through
// the IDE's automation root.
automation::Result<automation::Ref<automation::Object>> StandInIde::ProjectList(automation::Object& root, long& count) {
  std::vector<automation::Variant> args{automation::Variant("VCProjects")};
  auto list = automation::ToObject(root.Invoke("GetObject", automation::CallKind::Method, args));
  count = 0;
  if (list && *list) {
    auto counted = automation::ToLong((*list)->Invoke("Count", automation::CallKind::PropertyGet, {}));
    count = counted ? *counted : 0;
  }
  return list;
}

long StandInIde::Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return static_cast<long>(v[v.size() / 2]);
}

std::string StandInIde::Range(const std::vector<double>& v) {
  return std::to_string(static_cast<long>(*std::min_element(v.begin(), v.end()))) + ".." +
         std::to_string(static_cast<long>(*std::max_element(v.begin(), v.end())));
}

namespace {

// A series of timings as JSON: its median, minimum and maximum.
std::string Stats(const std::vector<double>& v) {
  std::vector<double> sorted = v;
  std::sort(sorted.begin(), sorted.end());
  return "{\"median\":" + std::to_string(static_cast<long>(sorted[sorted.size() / 2])) +
         ",\"min\":" + std::to_string(static_cast<long>(sorted.front())) +
         ",\"max\":" + std::to_string(static_cast<long>(sorted.back())) + "}";
}

// The line tools/bench-table reads: "json" and one object.
void SayJson(const std::string& object) { Say("  json " + object); }

// The time the bare calls spend, by whom they call.
struct BareParts {
  double manager = 0;
  double documentObjects = 0;
  double ide = 0;
};

// One project's registration as the add-in makes it, timed by part: its full
// path, a new document object with its properties, its name, and RegisterDoc.
ComPtr<IQmsDocument> BareRegisterDoc(automation::Object& project, IQmsRegistrationManager* registration,
                                     ComPtr<IQmsApplication>& app, BareParts& parts) {
  auto now = [] { return testbed::NowMicroseconds(); };
  double t = now();
  auto fullName = automation::ToText(project.Invoke("FullName", automation::CallKind::PropertyGet, {}));
  parts.ide += now() - t;
  t = now();
  ComPtr<IQmcDocProject> docProject;
  CoCreateInstance(CLSID_qmcDocProject, nullptr, CLSCTX_SERVER, IID_IQmcDocProject,
                   reinterpret_cast<void**>(docProject.GetAddressOf()));
  win::UniqueBstr path(win::NewBstr(fullName ? *fullName : std::string()));
  if (docProject) docProject->put_FullName(path.InOut());
  parts.documentObjects += now() - t;
  t = now();
  auto name = automation::ToText(project.Invoke("Name", automation::CallKind::PropertyGet, {}));
  parts.ide += now() - t;
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
  parts.documentObjects += now() - t;
  t = now();
  ComPtr<IDispatch> asDispatch;
  if (docProject) docProject.As(&asDispatch);
  ComPtr<IQmsDocument> doc;
  registration->RegisterDoc(app.GetAddressOf(), path.InOut(), asDispatch.GetAddressOf(), &doc);
  parts.manager += now() - t;
  return doc;
}

// A collection's document at a 1-based index.
ComPtr<IQmsDocument> DocumentAt(IQmsDocuments* docs, long i) {
  VARIANT index;
  index.vt = VT_I4;
  index.lVal = i;
  ComPtr<IQmsDocument> doc;
  docs->Item(&index, &doc);
  return doc;
}

}  // namespace

// The add-in's RegisterProjects (through its vtable) against the bare
// sequence of the same calls made from here, in turn, REPS times each: the
// manager's documents with their owner test and name, then the projects'
// full paths. The solution must be open and registered, the manager
// started by this IDE. Also times the parts of the bare sequence: the calls
// into the manager, the calls back into the IDEs for MSDEVPid, the IDE's
// own objects.
bool StandInIde::BenchRegister(int reps) {
  if (!addin_ || !manager_ || reps < 1) {
    Say("  ! bench-register needs the add-in loaded, the manager started and REPETITIONS >= 1");
    return false;
  }
  ComPtr<IDispatch> rootDispatch = win::Adopt(com::ExportObject(ide_.Root()));
  auto root = win::DispatchObject::Wrap(rootDispatch.Get(), &com::ModelBridge());
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
      ComPtr<IQmsDocument> doc = DocumentAt(docs.Get(), i);
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
      if (owner) (void)win::DispatchObject::Wrap(owner.Get(), &com::ModelBridge())->Invoke("MSDEVPid", automation::CallKind::PropertyGet, {});
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
  SayJson("{\"bench\":\"register\",\"projects\":" + std::to_string(projectCount) +
          ",\"documents\":" + std::to_string(documents) + ",\"runs\":" + std::to_string(reps) +
          ",\"addin_us\":" + Stats(addin) + ",\"bare_us\":" + Stats(bare) + ",\"parts_us\":{\"manager\":" +
          std::to_string(Median(manager)) + ",\"owners\":" + std::to_string(Median(owners)) +
          ",\"ide\":" + std::to_string(Median(ideCalls)) + "}}");
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
bool StandInIde::BenchOpen(int n, int reps) {
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
    const auto timings = ReadManager().timing;
    const auto at = timings.find(key);
    return at == timings.end() ? -1.0 : at->second;
  };
  ComPtr<IQmsRegistrationManager> registration;
  manager_->get_RegistrationManager(&registration);
  ComPtr<IDispatch> rootDispatch = win::Adopt(com::ExportObject(ide_.Root()));
  auto root = win::DispatchObject::Wrap(rootDispatch.Get(), &com::ModelBridge());
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
        ComPtr<IQmsDocument> doc = DocumentAt(registeredDocs.Get(), i);
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
    BareParts parts;
    double& manager = parts.manager;
    double& ideCalls = parts.ide;
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
      ideCalls += now() - t;
      if (project && *project) mine.push_back(BareRegisterDoc(**project, registration.Get(), app, parts));
    }
    bare.push_back(now() - t0);
    inManager.push_back(manager);
    inDocObjects.push_back(parts.documentObjects);
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
  SayJson("{\"bench\":\"open\",\"projects\":" + std::to_string(n) + ",\"documents\":" +
          std::to_string(registered) + ",\"runs\":" + std::to_string(reps) + ",\"wall_us\":" + Stats(wall) +
          ",\"to_first_call_us\":" + Stats(toFirstCall) + ",\"bare_us\":" + Stats(bare) +
          ",\"parts_us\":{\"manager\":" + std::to_string(Median(inManager)) + ",\"document_objects\":" +
          std::to_string(Median(inDocObjects)) + ",\"ide\":" + std::to_string(Median(inIde)) + "}}");
  return true;
}

// A long IDE session in little time: EVENTS project events (a project
// "Churn" added, then removed, and again), each worked off at once by
// calling the add-in's Timer member as its timer form does (arming and
// disarming the window timer each time, as ever); every EVERY events one is
// left to the real timer tick instead. Every EVERY events the process's
// counters are printed: private bytes, handles, GDI and USER objects.
bool StandInIde::Churn(long events, long every) {
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

BOOL CALLBACK StandInIde::CountWindow(HWND, LPARAM count) {
  ++*reinterpret_cast<long*>(count);
  return TRUE;
}

// The process's counters. Private bytes are the committed private memory
// (PagefileUsage, which Windows keeps equal to PrivateUsage; Wine fills only
// the former). Where GetProcessHandleCount answers 0 (Wine), the handles are
// counted by asking each handle value for its information. GDI and USER
// objects are GetGuiResources' (0 under Wine); windows counts this thread's
// top-level and message-only windows, which USER objects the add-in makes.
std::string StandInIde::Counters() {
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

}  // namespace zandrel::testbed::standin
