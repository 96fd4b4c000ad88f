// RegisterProjects against in-process stand-ins, with N projects open and
// their N documents registered (the run that happens on every project event
// of a large solution), beside the bare sequence of the same calls on the
// same stand-ins: the ratio is what the add-in's own work costs. Also with
// half as many stale documents again (withdrawn by the run), and with the
// documents of two other IDEs in the manager (the owner test skips them).
//
//   build/native/bin/zandrel_benchmarks

#include <benchmark/benchmark.h>

#include "shared/envdte.h"
#include "events/event_subscription.h"
#include "in_turn.h"
#include "registration_world.h"

namespace {

using namespace zandrel;
using automation::Ref;
using automation::Variant;
using bench::Outside;
using bench::World;

void RegisterProjects(benchmark::State& state) {
  World world(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(world.connect->RegisterProjects());
  state.SetComplexityN(state.range(0));
}

void BareCalls(benchmark::State& state) {
  World world(static_cast<int>(state.range(0)));
  for (auto _ : state) bench::BareRegistrationCalls(world);
  state.SetComplexityN(state.range(0));
}

// Half as many documents again as projects, of projects no longer in the
// solution: the run withdraws them. They are registered again, outside the
// timing, before every run.
void RegisterProjectsHalfStale(benchmark::State& state) {
  World world(static_cast<int>(state.range(0)));
  const auto stale = static_cast<std::int32_t>(state.range(0) / 2);
  for (auto _ : state) {
    state.PauseTiming();
    bench::RegisterStaleDocuments(world, stale);
    state.ResumeTiming();
    benchmark::DoNotOptimize(world.connect->RegisterProjects());
  }
}

void BareCallsHalfStale(benchmark::State& state) {
  World world(static_cast<int>(state.range(0)));
  const auto stale = static_cast<std::int32_t>(state.range(0) / 2);
  for (auto _ : state) {
    state.PauseTiming();
    bench::RegisterStaleDocuments(world, stale);
    state.ResumeTiming();
    bench::BareRegistrationCalls(world, stale);
  }
}

// Two other IDEs with N documents each, registered before this one's.
void RegisterProjectsOtherIdes(benchmark::State& state) {
  World world(static_cast<int>(state.range(0)), 2);
  for (auto _ : state) benchmark::DoNotOptimize(world.connect->RegisterProjects());
}

void BareCallsOtherIdes(benchmark::State& state) {
  World world(static_cast<int>(state.range(0)), 2);
  for (auto _ : state) bench::BareRegistrationCalls(world);
}

// A and B in turn in one run: every iteration times the add-in's
// RegisterProjects and the bare calls back to back (which goes first
// alternates), and the figure is the median of the iterations' ratios. The
// machine's slower and faster spells, which move both alike, cancel out. The
// counters: "ratio", and the medians "addin_us" and "bare_us".
void InTurn(benchmark::State& state, int otherIdes, bool withStale) {
  const int n = static_cast<int>(state.range(0));
  World world(n, otherIdes);
  const std::int32_t stale = withStale ? n / 2 : 0;
  auto times = bench::TimedInTurn(
      state, [&] { benchmark::DoNotOptimize(world.connect->RegisterProjects()); },
      [&] { bench::BareRegistrationCalls(world, stale); },
      [&] {
        if (stale > 0) bench::RegisterStaleDocuments(world, stale);
      });
  bench::CountRatio(state, times, "ratio", "addin_us", "bare_us");
}

void InTurnRegistered(benchmark::State& state) { InTurn(state, 0, false); }
void InTurnHalfStale(benchmark::State& state) { InTurn(state, 0, true); }
void InTurnOtherIdes(benchmark::State& state) { InTurn(state, 2, false); }

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
    auto connect = testing_support::AddInRef::Create(outside);
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
  auto me = testing_support::AddInRef::Create(&world.outside);
  Ref<automation::Object> meObject = me.Face();
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
BENCHMARK(InTurnRegistered)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(InTurnHalfStale)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(InTurnOtherIdes)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(RegisterProjectsOtherIdes)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BareCallsOtherIdes)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
