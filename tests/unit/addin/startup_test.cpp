// Start-up with the integration manager: every outcome of DoInitialize.

#include <gtest/gtest.h>

#include "addin/enum_windows_callback.h"
#include "support/addin_fixture.h"
#include "support/case_name.h"
#include "support/connect_probe.h"

namespace zandrel::addin {
namespace {

using namespace testing_support;
using automation::Variant;
using automation::VariantArray;
using Lines = std::vector<std::string>;

class Startup : public AddinFixture {
 protected:
  void SetUp() override { EnumWindowsCallback::m_lFoundWnd = 0; }

  // The lines of the main-window and solution-event steps and the END line.
  static Lines Tail() {
    return {T("   BEGIN GetMyTopWindow"),
            T("      WndEnumProc HWND=0x10030 Class=IDEOwner TITLE=Stand-in IDE"),
            T("   END GetMyTopWindow"),
            T("Get MSDevApp:  Entering..."),
            T("Get DTE:  Successful Exiting..."),
            T("  END DoInitialize PID=1234  MainWnd=10030")};
  }
  static Lines Concat(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
  Lines StartupLines() {
    auto lines = Normalised(LogLines());
    auto begin = std::find(lines.begin(), lines.end(), T("BEGIN DoInitialize"));
    return Lines(begin, lines.end());
  }
};

TEST_F(Startup, NoManagerRegistered) {
  outside.registered = false;
  outside.running = false;
  auto connect = Connected();
  EXPECT_EQ(Normalised(StartupLines()),
            Concat({T("BEGIN DoInitialize"), D("Call GetObject(qmsIM.qmsIntegrationManager)"), D("  RETURN=0"),
                    D("Call CreateObject(qmsIM.qmsIntegrationManager)"), D("  RETURN=0"),
                    E("  DoInitialize:  Failed to init IntegrationManager"), "Err -2147221005 Invalid class string"},
                   Tail()));
  ConnectProbe probe(*connect);
  EXPECT_FALSE(probe.hasManager());
  EXPECT_EQ(ide.SolutionSinks(), 1u);  // the add-in still listens to the IDE
  EXPECT_EQ(*connect->MSDEVMainWnd(), 0x10030);
  // Solution events still arrive.
  ide.OpenSolution("C:\\s\\a.sln", {});
  EXPECT_EQ(*connect->EventQueueCount(), 1);
}

// An add-in made without its outside components finds no manager, as when its
// class is not registered.
TEST_F(Startup, WithoutOutsideComponentsNoManagerIsFound) {
  auto connect = Connect::Create();
  VariantArray custom;
  connect->OnConnection(ide.Root(), 1, ide.AddIn(), custom);
  const Lines lines = LogLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Err -2147221164 Class not registered"), 1);
  connect->OnDisconnection(0, custom);
}

// No window of this process has the IDE's class: the END line prints a handle
// of 0 as "0".
TEST_F(Startup, NoMainWindowPrintsZero) {
  os.windows.topLevel = {{0x10010, 999, "IDEOwner", "Another IDE"}};
  auto connect = Connected();
  const Lines lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), T("  END DoInitialize PID=1234  MainWnd=0")), lines.end());
  EXPECT_EQ(*connect->MSDEVMainWnd(), 0);
}

// Assigning an event source unsubscribes the one assigned before; assigning
// nothing unsubscribes. Start-up run again subscribes the solution events
// anew; each unnamed solution takes a new command-event source.
TEST_F(Startup, ASecondSourceUnsubscribesTheFirst) {
  auto connect = Connected();
  ASSERT_EQ(ide.SolutionSinks(), 1u);
  Variant event("again");
  connect->DoInitialize(event);
  EXPECT_EQ(ide.SolutionSinks(), 1u);
  ide.OpenSolution("C:\\s\\a.sln", {}, /*named=*/false);
  Drain();
  ide.CloseSolution();
  ide.OpenSolution("C:\\s\\b.sln", {}, /*named=*/false);
  Drain();
  EXPECT_EQ(ide.CommandSinks(), 1u);
  VariantArray custom;
  connect->OnBeginShutdown(custom);
  EXPECT_EQ(ide.SolutionSinks(), 0u);
  EXPECT_EQ(ide.CommandSinks(), 0u);
}

TEST_F(Startup, RegisteredButNotRunningIsCreated) {
  outside.running = false;
  auto connect = Connected();
  EXPECT_EQ(outside.calls, (Lines{"GetObject qmsIM.qmsIntegrationManager", "CreateObject qmsIM.qmsIntegrationManager"}));
  auto lines = StartupLines();
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 6),
            (Lines{T("BEGIN DoInitialize"), D("Call GetObject(qmsIM.qmsIntegrationManager)"), D("  RETURN=0"),
                   D("Call CreateObject(qmsIM.qmsIntegrationManager)"), D("  RETURN=<addr>"),
                   D("Set m_RegMgr = m_IntgMgr.RegistrationManager")}));
  EXPECT_EQ(manager.Applications().size(), 1u);
}

TEST_F(Startup, RunningManagerIsAttached) {
  auto connect = Connected();
  EXPECT_EQ(outside.calls, Lines{"GetObject qmsIM.qmsIntegrationManager"});
  const auto lines = LogLines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find("RETURN=") != std::string::npos; }), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), D("  RETURN=0")), 0);
  ConnectProbe probe(*connect);
  EXPECT_TRUE(probe.hasManager() && probe.hasRegMgr() && probe.hasApp());
}

TEST_F(Startup, RegistrationManagerYieldsNothing) {
  manager.faults.nullRegistrationManager = true;
  auto connect = Connected();
  EXPECT_EQ(StartupLines(), Concat({T("BEGIN DoInitialize"), D("Call GetObject(qmsIM.qmsIntegrationManager)"),
                                    D("  RETURN=<addr>"), D("Set m_RegMgr = m_IntgMgr.RegistrationManager"),
                                    E("  DoInitialize:  m_IntgMgr.RegistrationManager Failed:"), "Err 0 "},
                                   Tail()));
  ConnectProbe probe(*connect);
  EXPECT_TRUE(probe.hasManager());
  EXPECT_FALSE(probe.hasRegMgr());
  EXPECT_EQ(ide.SolutionSinks(), 1u);
}

TEST_F(Startup, RegisterAppYieldsNothing) {
  manager.faults.nullRegisterApp = true;
  auto connect = Connected();
  EXPECT_EQ(StartupLines(),
            Concat({T("BEGIN DoInitialize"), D("Call GetObject(qmsIM.qmsIntegrationManager)"), D("  RETURN=<addr>"),
                    D("Set m_RegMgr = m_IntgMgr.RegistrationManager"), D("m_RegMgr=<addr>"),
                    E("  FAIL m_RegMgr.RegisterApp"), "   Err 0 "},
                   Tail()));
  ConnectProbe probe(*connect);
  EXPECT_TRUE(probe.hasRegMgr());
  EXPECT_FALSE(probe.hasApp());
}

struct RaisingCase {
  const char* name;
  const char* member;
  const char* step;
};

class StartupRaises : public Startup, public ::testing::WithParamInterface<RaisingCase> {};

TEST_P(StartupRaises, TheFailureRoutineTearsDown) {
  manager.faults.failMember[GetParam().member] = {-2147418113, "Catastrophic failure"};
  auto connect = Connected();
  auto lines = StartupLines();
  auto error = std::find(lines.begin(), lines.end(),
                         E("  ERROR DoInitialize at \"" + std::string(GetParam().step) + "\"  Catastrophic failure"));
  ASSERT_NE(error, lines.end());
  EXPECT_EQ(Lines(error + 1, lines.end()), (Lines{T("  BEGIN DoDisconnect"), T("  BEGIN ReleaseTimer"),
                                                  T("  END ReleaseTimer"), T("  END DoDisconnect"), ""}));
  ConnectProbe probe(*connect);
  EXPECT_FALSE(probe.hasManager() || probe.hasRegMgr() || probe.hasApp() || probe.hasDte());
  EXPECT_EQ(ide.SolutionSinks(), 0u);
  EXPECT_TRUE(manager.Applications().empty());  // what was registered is withdrawn
}

INSTANTIATE_TEST_SUITE_P(Calls, StartupRaises,
                         ::testing::Values(RaisingCase{"RegistrationManager", "RegistrationManager",
                                                       "Set m_RegMgr = m_IntgMgr.RegistrationManager"},
                                           RaisingCase{"RegisterApp", "RegisterApp",
                                                       "m_RegMgr.RegisterApp(im_AppObject_MSVC, Me)"},
                                           RaisingCase{"ProcessId", "ProcessId",
                                                       "m_IntgMgrApp.ProcessId = m_lMSDEVPid"}),
                         CaseName());

TEST_F(Startup, DoInitializeAfterDoDisconnectFailsAtTheSolutionEvents) {
  auto connect = Connected();
  VariantArray custom;
  connect->OnDisconnection(0, custom);
  TakeLines();
  Variant event("again");
  connect->DoInitialize(event);
  const Lines lines = Normalised(TakeLines());
  EXPECT_EQ(Lines(lines.end() - 12, lines.end()),
            (Lines{D("m_RegMgr.RegisterApp(1234) =<addr>"), T("   BEGIN GetMyTopWindow"),
                   T("      WndEnumProc HWND=0x10030 Class=IDEOwner TITLE=Stand-in IDE"), T("   END GetMyTopWindow"),
                   T("Get MSDevApp:  Entering..."), T("Get DTE:  Successful Exiting..."),
                   E("  ERROR DoInitialize at \"Set mSolutionEvents = DTE.Events.SolutionEvents\"  Object variable not set"),
                   T("  BEGIN DoDisconnect"), T("  BEGIN ReleaseTimer"), T("  END ReleaseTimer"), T("  END DoDisconnect"),
                   ""}));
  EXPECT_TRUE(manager.Applications().empty());
}

TEST_F(Startup, ASecondRunRegistersAgainWithoutWithdrawing) {
  auto connect = Connected();
  Variant event("again");
  connect->DoInitialize(event);
  EXPECT_EQ(manager.Applications().size(), 2u);
  EXPECT_EQ(ide.SolutionSinks(), 1u);  // the new subscription replaced the old one
}

}  // namespace
}  // namespace zandrel::addin
