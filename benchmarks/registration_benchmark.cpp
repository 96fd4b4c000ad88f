// RegisterProjects against in-process stand-ins, with N projects open and
// their N documents registered (the run that happens on every project event
// of a large solution), beside the bare sequence of the same calls on the
// same stand-ins: the ratio is what the add-in's own work costs.
//
//   build/native/bin/zandrel_benchmarks

#include <benchmark/benchmark.h>

#include "addin/connect.h"
#include "addin/envdte.h"
#include "events/event_subscription.h"
#include "ide/ide_model.h"
#include "manager/manager_model.h"
#include "platform/fake/fakes.h"
#include "shared/debug_logger.h"

namespace {

using namespace zandrel;
using automation::Ref;
using automation::Variant;

class Outside : public addin::OutsideComponents {
 public:
  explicit Outside(testbed::ManagerModel& m) : m_(m) {}
  automation::Result<Ref<registration::QmsIntegrationManager>> GetRunningManager(const std::string&) override {
    return m_.Manager();
  }
  automation::Result<Ref<registration::QmsIntegrationManager>> CreateManager(const std::string&) override {
    return m_.Manager();
  }
  automation::Result<Ref<registration::QmcDocProject>> CreateDocProject() override {
    return Ref<registration::QmcDocProject>(new testbed::DocProjectModel());
  }

 private:
  testbed::ManagerModel& m_;
};

struct World {
  explicit World(int n) : outside(manager) {
    shared::ResetDebugLoggerForTesting();  // no settings: nothing is logged
    std::vector<testbed::ProjectInfo> projects;
    for (int i = 0; i < n; ++i) projects.push_back({"P" + std::to_string(i), "C:\\big\\P" + std::to_string(i) + ".vcproj"});
    connect = addin::Connect::Create(&outside);
    automation::VariantArray custom;
    connect->OnConnection(ide.Root(), 1, ide.AddIn(), custom);
    ide.OpenSolution("C:\\big\\big.sln", projects);
    connect->RegisterProjects();  // every project registered once
  }
  ~World() {
    automation::VariantArray custom;
    connect->OnBeginShutdown(custom);
  }
  platform::fake::FakeServices os;
  testbed::IdeModel ide;
  testbed::ManagerModel manager;
  Outside outside;
  Ref<addin::Connect> connect;
};

void RegisterProjects(benchmark::State& state) {
  World world(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(world.connect->RegisterProjects());
  state.SetComplexityN(state.range(0));
}

// The calls of the owner test and the name of each of count documents: the
// document, its application and that application's object; this add-in's
// own process id (the IDE's Name and Version that its log line shows); the
// owner's process id (a call into the owner's add-in, this one here); the name.
void BareDocumentCalls(World& world, registration::QmsDocuments& docs, std::int32_t count) {
  Ref<automation::Object> dte = world.ide.Root();
  for (std::int32_t i = 1; i <= count; ++i) {
    Variant index(i);
    auto doc = *docs.Item(index);
    auto owner = *(*doc->App())->AppObject();
    benchmark::DoNotOptimize(automation::GetProperty(dte, "Name"));
    benchmark::DoNotOptimize(automation::GetProperty(dte, "Version"));
    benchmark::DoNotOptimize(automation::GetProperty(owner, "MSDEVPid"));
    benchmark::DoNotOptimize(doc->DocName());
  }
}

// The same calls on the same stand-ins, and nothing else: the documents with
// their owner test and name, then each project's full path.
void BareCalls(benchmark::State& state) {
  World world(static_cast<int>(state.range(0)));
  auto im = world.manager.Manager();
  Ref<automation::Object> dte = world.ide.Root();
  for (auto _ : state) {
    std::int16_t kind = 3;
    std::string all;
    auto docs = *im->FindDocuments(kind, all);
    BareDocumentCalls(world, *docs, *docs->Count());
    auto projects = *automation::ToObject(automation::CallMethod(dte, "GetObject", "VCProjects"));
    const std::int32_t n = *automation::ToLong(automation::GetProperty(projects, "Count"));
    for (std::int32_t i = 1; i <= n; ++i) {
      auto project = *automation::ToObject(automation::CallMethod(projects, "Item", i));
      benchmark::DoNotOptimize(automation::GetProperty(project, "FullName"));
    }
  }
  state.SetComplexityN(state.range(0));
}

// Half as many documents again as projects, of projects no longer in the
// solution: the second pass withdraws them. They are registered again, outside
// the timing, before every run.
void RegisterStaleDocuments(World& world, std::int32_t n) {
  auto im = world.manager.Manager();
  auto registrationManager = *im->RegistrationManager();
  std::int16_t kind = 3;
  std::string all;
  auto docs = *im->FindDocuments(kind, all);
  Variant first(std::int32_t{1});
  auto app = *(*docs->Item(first))->App();
  for (std::int32_t i = 0; i < n; ++i) {
    std::string name = "C:\\big\\Stale" + std::to_string(i) + ".vcproj";
    automation::Ref<registration::QmcDocProject> project(new testbed::DocProjectModel());
    (void)registrationManager->RegisterDoc(app, name, project);
  }
}

void RegisterProjectsHalfStale(benchmark::State& state) {
  World world(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    RegisterStaleDocuments(world, static_cast<std::int32_t>(state.range(0) / 2));
    state.ResumeTiming();
    benchmark::DoNotOptimize(world.connect->RegisterProjects());
  }
}

void BareCallsHalfStale(benchmark::State& state) {
  World world(static_cast<int>(state.range(0)));
  auto im = world.manager.Manager();
  auto registrationManager = *im->RegistrationManager();
  Ref<automation::Object> dte = world.ide.Root();
  for (auto _ : state) {
    state.PauseTiming();
    RegisterStaleDocuments(world, static_cast<std::int32_t>(state.range(0) / 2));
    state.ResumeTiming();
    std::int16_t kind = 3;
    std::string all;
    auto docs = *im->FindDocuments(kind, all);
    const std::int32_t count = *docs->Count();
    BareDocumentCalls(world, *docs, count);
    auto projects = *automation::ToObject(automation::CallMethod(dte, "GetObject", "VCProjects"));
    const std::int32_t n = *automation::ToLong(automation::GetProperty(projects, "Count"));
    for (std::int32_t i = 1; i <= n; ++i) {
      auto project = *automation::ToObject(automation::CallMethod(projects, "Item", i));
      benchmark::DoNotOptimize(automation::GetProperty(project, "FullName"));
    }
    // The stale ones, found after the project documents, are withdrawn.
    for (std::int32_t i = n + 1; i <= count; ++i) {
      Variant index(i);
      auto doc = *docs->Item(index);
      benchmark::DoNotOptimize(doc->DocName());
      Ref<registration::QmsApplication> none;
      std::string noName;
      (void)registrationManager->UnRegisterDoc(doc, none, noName);
    }
  }
}

// Start-up: OnConnection, to the end of DoInitialize, with the manager
// running (1) or registered but not running (0), against the calls it makes.
// What comes after (the disconnection) is outside the timing.
struct StartupWorld {
  StartupWorld() : outside(manager) {
    shared::ResetDebugLoggerForTesting();
    os.windows.topLevel = {{0x10010, 999, "IDEOwner", "Another IDE"},
                           {0x10020, os.process.pid, "Palette", "Tools"},
                           {0x10030, os.process.pid, "IDEOwner", "Stand-in IDE"}};
  }
  platform::fake::FakeServices os;
  testbed::IdeModel ide;
  testbed::ManagerModel manager;
  Outside outside;
};

class NotRunning : public Outside {
 public:
  using Outside::Outside;
  automation::Result<Ref<registration::QmsIntegrationManager>> GetRunningManager(const std::string&) override {
    return automation::Error{-2147221021, "Operation unavailable"};
  }
};

void StartUp(benchmark::State& state) {
  StartupWorld world;
  NotRunning notRunning(world.manager);
  addin::OutsideComponents* outside = state.range(0) ? static_cast<addin::OutsideComponents*>(&world.outside) : &notRunning;
  automation::VariantArray custom;
  for (auto _ : state) {
    auto connect = addin::Connect::Create(outside);
    connect->OnConnection(world.ide.Root(), 1, world.ide.AddIn(), custom);
    state.PauseTiming();
    connect->OnBeginShutdown(custom);
    connect->OnDisconnection(0, custom);
    connect = nullptr;
    state.ResumeTiming();
  }
}

std::int32_t CountWindow(platform::WindowHandle, std::intptr_t count) {
  ++*reinterpret_cast<int*>(count);
  return 1;
}

void BareStartUp(benchmark::State& state) {
  StartupWorld world;
  NotRunning notRunning(world.manager);
  addin::OutsideComponents* outside = state.range(0) ? static_cast<addin::OutsideComponents*>(&world.outside) : &notRunning;
  // The application object handed to the manager: an add-in made before.
  auto me = addin::Connect::Create(&world.outside);
  Ref<automation::Object> meObject(me.get());
  const platform::ServiceSet& os = platform::Services();
  for (auto _ : state) {
    Ref<automation::Object> root = world.ide.Root();
    benchmark::DoNotOptimize(root->As(envdte::kDTE));
    benchmark::DoNotOptimize(os.process->CurrentProcessId());
    auto manager = outside->GetRunningManager("qmsIM.qmsIntegrationManager");
    if (!manager) manager = outside->CreateManager("qmsIM.qmsIntegrationManager");
    auto registrationManager = *(*manager)->RegistrationManager();
    std::int16_t kind = 3;
    auto app = *registrationManager->RegisterApp(kind, meObject);
    std::string pid = "4242";
    (void)app->SetProcessId(pid);
    int windows = 0;
    os.windows->EnumTopLevel(&CountWindow, reinterpret_cast<std::intptr_t>(&windows));
    char buffer[256];
    for (const auto& w : world.os.windows.topLevel) {
      std::int32_t owner = 0;
      os.windows->GetWindowProcessId(w.handle, &owner);
      if (owner == world.os.process.pid) os.windows->GetClassNameA(w.handle, buffer, 255);
    }
    auto events = *automation::GetObjectProperty(root, "Events");
    auto solutionEvents = *automation::GetObjectProperty(events, "SolutionEvents");
    auto subscription = events::EventSubscription::Subscribe(solutionEvents, envdte::kDispSolutionEvents,
                                                             [](std::int32_t, std::span<Variant>) {});
    state.PauseTiming();
    subscription->reset();
    (void)registrationManager->UnRegisterApp(app, kind);
    state.ResumeTiming();
  }
  automation::VariantArray custom;
  me->OnBeginShutdown(custom);
}

BENCHMARK(StartUp)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BareStartUp)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

BENCHMARK(RegisterProjects)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)->Complexity();
BENCHMARK(BareCalls)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond)->Complexity();
BENCHMARK(RegisterProjectsHalfStale)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BareCallsHalfStale)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
