// A whole IDE session, played again with each outgoing call of the add-in
// (into the IDE's objects, the integration manager's and the operating
// system's services) made to fail in turn, and again with the IDE's shutdown,
// a solution close, or the IDE letting go of the add-in delivered inside each
// outgoing call in turn that runs a nested message loop (every call into
// another object, and a message box). Every run must end without a fault (the
// sanitizers watch the native-asan build), with the log equal to the unfailed
// run's up to the call that failed, and with every object released.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "model_object.h"
#include "support/addin_fixture.h"
#include "support/faulty_services.h"
#include "support/golden.h"

namespace zandrel::addin {
namespace {

using namespace testing_support;
using automation::Error;
using Lines = std::vector<std::string>;

enum class Disturbance { None, Fail, Shutdown, CloseSolution, ShutdownAndRelease };

const char* Name(Disturbance d) {
  switch (d) {
    case Disturbance::None: return "none";
    case Disturbance::Fail: return "fail";
    case Disturbance::Shutdown: return "shutdown";
    case Disturbance::CloseSolution: return "close-solution";
    case Disturbance::ShutdownAndRelease: return "shutdown-and-release";
  }
  return "?";
}
void PrintTo(Disturbance d, std::ostream* out) { *out << Name(d); }

// One session among fresh stand-ins; the n-th outgoing call (from 1) gets the
// disturbance.
class Session : public AddinFixture {
 public:
  struct Outcome {
    Lines log;                 // normalised
    std::size_t linesAtCall = 0;  // lines written before the disturbed call
    std::string disturbedCall;
    int calls = 0;
    std::set<std::string> members;
    Lines sequence;  // every outgoing call, in order
    int modelObjectsLeft = 0;  // of the IDE's, once the IDE itself has gone
    bool addinDestroyed = false;
    std::size_t applicationsLeft = 0;  // in the manager once the IDE has shut the add-in down
    Lines documentsLeft;               // their names
  };

  void TestBody() override {}

  // With platformCalls, every call into the operating system's services counts
  // as an outgoing call; without, only message boxes do (the one service call
  // that runs a message loop).
  Outcome Play(Disturbance disturbance, int n, bool platformCalls) {
    Outcome out;
    const int aliveBefore = addin::Connect::Alive();
    testing_support::AddInRef connect;
    bool inTick = false;
    bool done = false;
    auto onCall = [&](const std::string& member) -> std::optional<Error> {
      ++out.calls;
      out.members.insert(member);
      out.sequence.push_back(member);
      if (done || out.calls != n || disturbance == Disturbance::None) return std::nullopt;
      done = true;
      out.disturbedCall = member;
      out.linesAtCall = LogLines().size();
      automation::VariantArray custom;
      switch (disturbance) {
        case Disturbance::Fail: return Error{-2147467259, "Unspecified error (injected into " + member + ")"};
        case Disturbance::Shutdown:
        case Disturbance::ShutdownAndRelease:
          if (connect) {
            testing_support::AddInRef held = connect;  // the IDE holds it while it calls
            held->OnBeginShutdown(custom);
            held->OnDisconnection(0, custom);
            // The IDE lets go of the add-in; during a tick only the tick's own
            // reference is left.
            if (disturbance == Disturbance::ShutdownAndRelease && inTick) connect = nullptr;
          }
          return std::nullopt;
        case Disturbance::CloseSolution:
          if (ide.SolutionOpen()) ide.CloseSolution();
          return std::nullopt;
        case Disturbance::None: break;
      }
      return std::nullopt;
    };
    testbed::ModelObject::onCall = [&](std::string_view member) { return onCall("IDE." + std::string(member)); };
    manager.onCall = [&](const char* member) { return onCall(std::string("IM.") + member); };
    outside.onCall = [&](const char* call) { return onCall(std::string("COM.") + call); };
    testbed::DocProjectModel::onCall = [&](const char* property) { return onCall(std::string("DP.") + property); };
    // The manager is registered but not running: start-up attaches (and
    // fails), then creates it, so both calls are in the session.
    outside.running = false;
    FaultyServices faults([&](const char* call) {
      if (!platformCalls && std::string_view(call) != "MessageBoxes.Show") return false;
      return onCall(std::string("OS.") + call).has_value();
    });

    auto tick = [&] {
      inTick = true;
      Drain();
      inTick = false;
    };
    connect = testing_support::AddInRef::Create(&outside);
    automation::VariantArray custom;
    if (connect) connect->OnConnection(ide.Root(), 1, ide.AddIn(), custom);
    ide.OpenSolution("C:\\s\\a.sln", {{"P1", "C:\\s\\P1.vcproj"}, {"P2", "C:\\s\\P2.vcproj"}});
    tick();
    ide.AddProject({"P3", "C:\\s\\P3.vcproj"});
    tick();
    ide.RemoveProject("P1");
    tick();
    ide.RenameProject("P2", {"Q2", "C:\\s\\Q2.vcproj"});
    tick();
    if (connect) {
      std::string word = "activate";
      automation::VariantArray none;
      connect->ExecuteExtendedCommand(word, none);
      // Again on a root like the real IDE's, without window properties: the
      // main window's calls too.
      ide.rootWindowProperties = false;
      connect->ExecuteExtendedCommand(word, none);
      ide.rootWindowProperties = true;
      (void)connect->Name();
      (void)connect->MSDEVMainWnd();
    }
    ide.RenameSolution("C:\\s\\b.sln");
    tick();
    if (ide.SolutionOpen()) ide.CloseSolution();
    tick();
    // A solution without a name yet: retried after the next command.
    ide.OpenSolution("C:\\s\\c.sln", {{"C1", "C:\\s\\C1.vcproj"}}, /*named=*/false);
    tick();
    ide.NameSolution();
    ide.ExecuteCommand("{5EFC7975-14BC-11CF-9B2B-00AA00573819}", 220);
    tick();
    if (connect) {
      connect->OnBeginShutdown(custom);
      connect->OnDisconnection(0, custom);
    }
    testbed::ModelObject::onCall = nullptr;
    manager.onCall = nullptr;
    outside.onCall = nullptr;
    testbed::DocProjectModel::onCall = nullptr;
    out.applicationsLeft = manager.Applications().size();
    for (const auto& doc : manager.Documents()) out.documentsLeft.push_back(doc.name);
    // A manager keeps what stays registered; when it goes, so do the add-ins
    // its application objects hold.
    manager.ReleaseApplicationObjects();
    connect = nullptr;
    out.addinDestroyed = addin::Connect::Alive() == aliveBefore;
    out.log = Normalised(LogLines());
    return out;
  }

};

struct Sweep {
  int runs = 0;
  std::set<std::string> sites;
  std::vector<std::string> failures;
};

// The sites where the add-in's own order of steps leaves its application
// registered in the manager after the IDE has shut it down; everywhere else
// none is left.
//  - The manager refuses the withdrawal (UnRegisterApp fails): the add-in
//    does not try again, and drops its reference.
//  - The IDE shuts the add-in down inside RegisterApp: the disconnection
//    finds no application object yet to withdraw, and start-up then stores
//    the one RegisterApp returns.
// Documents stay registered when the IDE shuts down with a solution open (the
// add-in withdraws them only when the solution closes or changes): what is
// left must be some of the session's projects, each once. One more may be
// left where a project's full path cannot be read (Projects.Item or
// Project.FullName failing while the add-in registers): registration goes on
// with the empty path, and that document is named "".
bool LeavesAnApplication(Disturbance disturbance, const std::string& site) {
  static const std::set<std::pair<Disturbance, std::string>> kSites = {
      {Disturbance::Fail, "IM.UnRegisterApp"},
      {Disturbance::Shutdown, "IM.RegisterApp"},
      {Disturbance::ShutdownAndRelease, "IM.RegisterApp"},
  };
  return kSites.contains({disturbance, site});
}

// Plays a session among stand-ins made for it alone; what is left of the
// IDE's objects after the IDE itself has gone is what the add-in kept.
Session::Outcome PlayAlone(Disturbance disturbance, int n, bool platformCalls) {
  const int before = testbed::ModelObject::Live();
  Session::Outcome out;
  {
    Session s;
    out = s.Play(disturbance, n, platformCalls);
  }
  out.modelObjectsLeft = testbed::ModelObject::Live() - before;
  return out;
}

// The sweep of one disturbance comes in two halves, the odd calls and the
// even ones, so that two processes can share it (ctest runs the tests in two
// shards).
constexpr int kHalves = 2;

Sweep SweepAll(Disturbance disturbance, int half, Session::Outcome& reference) {
  Sweep sweep;
  const bool platformCalls = disturbance == Disturbance::Fail;
  reference = PlayAlone(Disturbance::None, 0, platformCalls);
  sweep.sites = reference.members;
  for (int n = 1 + half; n <= reference.calls; n += kHalves) {
    const auto out = PlayAlone(disturbance, n, platformCalls);
    ++sweep.runs;
    const std::string where = std::string(Name(disturbance)) + " at call " + std::to_string(n) + " (" +
                              out.disturbedCall + ")";
    if (out.disturbedCall.empty()) {
      sweep.failures.push_back(where + ": the call was not made");
      continue;
    }
    // Up to the disturbed call the session is the unfailed one, line for line.
    const std::size_t k = out.linesAtCall;
    if (k > reference.log.size() || out.log.size() < k ||
        !std::equal(out.log.begin(), out.log.begin() + static_cast<std::ptrdiff_t>(k), reference.log.begin())) {
      sweep.failures.push_back(where + ": the log differs from the unfailed run before the call");
    }
    if (out.modelObjectsLeft != 0)
      sweep.failures.push_back(where + ": " + std::to_string(out.modelObjectsLeft) + " IDE objects not released");
    if (!out.addinDestroyed) sweep.failures.push_back(where + ": the add-in object was not released");
    const std::size_t applications = LeavesAnApplication(disturbance, out.disturbedCall) ? 1 : 0;
    if (out.applicationsLeft != applications)
      sweep.failures.push_back(where + ": " + std::to_string(out.applicationsLeft) +
                               " applications left in the manager, not " + std::to_string(applications));
    static const std::set<std::string> kProjects = {"C:\\s\\P1.vcproj", "C:\\s\\P2.vcproj", "C:\\s\\P3.vcproj",
                                                    "C:\\s\\Q2.vcproj", "C:\\s\\C1.vcproj"};
    std::set<std::string> seen;
    for (const std::string& doc : out.documentsLeft) {
      const bool unnamed = doc.empty() && disturbance == Disturbance::Fail &&
                           (out.disturbedCall == "IDE.Item" || out.disturbedCall == "IDE.FullName");
      if ((!kProjects.contains(doc) && !unnamed) || !seen.insert(doc).second)
        sweep.failures.push_back(where + ": the manager holds a stray or doubled document " + doc);
    }
  }
  return sweep;
}

TEST(CallSweep, TheUnfailedSessionReleasesEverything) {
  const auto out = PlayAlone(Disturbance::None, 0, true);
  EXPECT_GT(out.calls, 100);
  EXPECT_EQ(out.modelObjectsLeft, 0);
  EXPECT_TRUE(out.addinDestroyed);
  EXPECT_EQ(out.applicationsLeft, 0u);
  EXPECT_EQ(out.documentsLeft, Lines{"C:\\s\\C1.vcproj"});  // the solution still open at the shutdown
  // The session did what it says: registration, withdrawal, the close.
  const auto has = [&](const std::string& text) {
    return std::any_of(out.log.begin(), out.log.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(has("XeqEvent Calling ProjectRemoved"));
  EXPECT_TRUE(has("XeqEvent Calling SolutionAfterClosing"));
  EXPECT_TRUE(has("ENTER mCommandEvents_AfterExecute"));
  EXPECT_TRUE(has("BEGIN DoActivate"));
  // The whole session, call for call and line for line, is the golden one.
  std::string transcript = "outgoing calls:\n";
  for (const auto& call : out.sequence) transcript += "  " + call + "\n";
  transcript += "log:\n";
  for (const auto& line : out.log) transcript += line + "\n";
  ExpectGolden(std::string(ZANDREL_SOURCE_DIR) + "/tests/unit/golden/sweep_session.txt", transcript);
  // Every service the add-in reaches in a session is among the swept sites.
  for (const char* site : {"OS.Registry.OpenKey", "OS.Registry.QueryValue", "OS.Registry.CloseKey",
                           "OS.File.OpenForAppend", "OS.File.Write", "OS.File.Close", "OS.Windows.EnumTopLevel",
                           "OS.Windows.GetWindowProcessId", "OS.Windows.GetClassNameA", "OS.Windows.GetWindowTextA",
                           "OS.WindowTimer.Set", "IM.RegisterDoc", "IDE.FullName", "COM.GetObject", "COM.CreateObject",
                           "COM.CreateDocProject"})
    EXPECT_EQ(out.members.count(site), 1u) << site;
}

class CallSweepOf : public ::testing::TestWithParam<std::tuple<Disturbance, int>> {};

TEST_P(CallSweepOf, EveryOutgoingCallInTurn) {
  const auto [disturbance, half] = GetParam();
  Session::Outcome reference;
  const Sweep sweep = SweepAll(disturbance, half, reference);
  std::printf("        %s: %zu call sites, %d calls a session, %d runs\n", Name(disturbance), sweep.sites.size(),
              reference.calls, sweep.runs);
  EXPECT_EQ(sweep.runs, (reference.calls + kHalves - 1 - half) / kHalves);
  for (const auto& f : sweep.failures) ADD_FAILURE() << f;
}

INSTANTIATE_TEST_SUITE_P(Disturbances, CallSweepOf,
                         ::testing::Combine(::testing::Values(Disturbance::Fail, Disturbance::Shutdown,
                                                              Disturbance::CloseSolution, Disturbance::ShutdownAndRelease),
                                            ::testing::Range(0, kHalves)),
                         [](const auto& param) {
                           std::string name = Name(std::get<0>(param.param));
                           std::erase(name, '-');
                           return name + (std::get<1>(param.param) ? "_even" : "_odd");
                         });

}  // namespace
}  // namespace zandrel::addin
