// The add-in object's life with the IDE: creation, connection, the two
// disconnections of a shutdown, destruction; exact log lines.

#include <gtest/gtest.h>

#include "addin/enum_windows_callback.h"
#include "model_object.h"
#include "support/addin_fixture.h"
#include "support/connect_probe.h"

namespace zandrel::addin {
namespace {

using namespace testing_support;
using automation::Ref;
using automation::VariantArray;
using Lines = std::vector<std::string>;

class Lifecycle : public AddinFixture {
 protected:
  void SetUp() override { EnumWindowsCallback::m_lFoundWnd = 0; }
};

TEST_F(Lifecycle, UnRegisterAppOnlyInTheFirstDisconnection) {
  auto connect = Connected();
  ASSERT_EQ(manager.Applications().size(), 1u);
  EXPECT_EQ(manager.Applications()[0]->processId, "1234");
  EXPECT_EQ(manager.Applications()[0]->appObject, connect.Address());
  manager.faults.failMember["UnRegisterApp"] = {-2147418113, "Catastrophic failure"};
  VariantArray custom;
  connect->OnBeginShutdown(custom);  // the failure is skipped silently
  manager.faults.failMember.clear();
  ConnectProbe probe(*connect);
  EXPECT_FALSE(probe.hasRegMgr());
  EXPECT_FALSE(probe.hasDte());
  EXPECT_TRUE(probe.queueInterrupt());
  connect->OnDisconnection(0, custom);
  EXPECT_EQ(manager.Applications().size(), 1u);  // nobody withdrew it: the second run had no m_RegMgr
}

// An application without the IDE root's interface (another object, or none
// at all) ends OnConnection with its ERROR line: no start-up, no process id.
TEST_F(Lifecycle, AnApplicationThatIsNotTheIdeRoot) {
  struct Row {
    const char* name;
    Ref<automation::Object> application;
    const char* error;
  };
  for (const Row& row : {Row{"the add-in object", ide.AddIn(), " Error -2147467262 No such interface supported"},
                         Row{"nothing", Ref<automation::Object>(), " Error 91 Object variable not set"}}) {
    auto connect = Connect::Create(&outside);
    TakeLines();
    VariantArray custom;
    connect->OnConnection(row.application, 0, ide.AddIn(), custom);
    EXPECT_EQ(TakeLines(), (Lines{E("IDTExtensibility2.OnConnection:"), row.error})) << row.name;
    EXPECT_EQ(connect->MSDEVPid(), 0) << row.name;
    EXPECT_TRUE(outside.calls.empty()) << row.name;  // no start-up
    EXPECT_TRUE(manager.Applications().empty()) << row.name;
    TakeLines();
    connect->OnDisconnection(1, custom);
    EXPECT_EQ(TakeLines(), (Lines{T("  ENTER IDTExtensibility2_OnDisconnection"), T("  BEGIN DoDisconnect"),
                                  T("  BEGIN ReleaseTimer"), T("  END ReleaseTimer"), T("  END DoDisconnect"), ""}))
        << row.name;
    connect = nullptr;
    TakeLines();
  }
}

// The IDE disconnects the add-in while it subscribes to an event source
// (inside Advise, as a nested message loop lets it): nothing stays subscribed,
// and later events reach no handler. The solution events are subscribed by
// start-up, the command events by a solution that has no name yet.
TEST_F(Lifecycle, ADisconnectionInsideASubscriptionLeavesNothingSubscribed) {
  for (const bool commandEvents : {false, true}) {
    const char* row = commandEvents ? "command events" : "solution events";
    Ref<Connect> connect = commandEvents ? Connected(/*keep=*/false) : Connect::Create(&outside);
    bool armed = true;
    testbed::ModelObject::onCall = [&](std::string_view member) -> std::optional<automation::Error> {
      if (member == "Advise" && std::exchange(armed, false)) {
        VariantArray custom;
        connect->OnBeginShutdown(custom);
      }
      return std::nullopt;
    };
    VariantArray custom;
    if (commandEvents) {
      ide.OpenSolution("C:\\s\\a.sln", {{"A", "C:\\s\\A.vcproj"}}, /*named=*/false);
      Drain();
    } else {
      connect->OnConnection(ide.Root(), 1, ide.AddIn(), custom);
    }
    testbed::ModelObject::onCall = nullptr;
    EXPECT_FALSE(armed) << row;
    EXPECT_EQ(ide.SolutionSinks(), 0u) << row;
    EXPECT_EQ(ide.CommandSinks(), 0u) << row;
    TakeLines();
    ide.NameSolution();
    ide.ExecuteCommand("{5EFC7975-14BC-11CF-9B2B-00AA00573819}", 220);
    ide.OpenSolution("C:\\s\\b.sln", {{"B", "C:\\s\\B.vcproj"}});
    Drain();
    EXPECT_EQ(LogLines(), Lines{}) << row;
    EXPECT_TRUE(manager.Documents().empty()) << row;
    EXPECT_TRUE(manager.Applications().empty()) << row;
    connect->OnDisconnection(0, custom);
    connect = nullptr;
    ide.CloseSolution();
    TakeLines();
  }
}

// The IDE fires an event while the add-in unsubscribes (inside Unadvise, as a
// nested message loop lets it): the sink is already detached, and nothing of
// the add-in runs.
TEST_F(Lifecycle, AnEventInsideTheUnsubscriptionReachesNoHandler) {
  auto connect = Connected(/*keep=*/false);
  ide.OpenSolution("C:\\s\\a.sln", {{"A", "C:\\s\\A.vcproj"}});
  Drain();
  bool fired = false;
  testbed::ModelObject::onCall = [&](std::string_view member) -> std::optional<automation::Error> {
    if (member == "Unadvise" && !std::exchange(fired, true)) ide.AddProject({"B", "C:\\s\\B.vcproj"});
    return std::nullopt;
  };
  TakeLines();
  VariantArray custom;
  connect->OnBeginShutdown(custom);
  testbed::ModelObject::onCall = nullptr;
  EXPECT_TRUE(fired);
  for (const std::string& line : TakeLines()) EXPECT_EQ(line.find("ProjectAdded"), std::string::npos) << line;
  connect->OnDisconnection(0, custom);
}

TEST_F(Lifecycle, DestroyingAnObjectNeverConnected) {
  Connect::Create(&outside);
  EXPECT_EQ(Normalised(LogLines()),
            (Lines{T("FinalConstruct zandrel <addr>"), T("BEGIN zandrel.Terminate"), T("  BEGIN StopTimer"),
                   T("  mTimerFrm is NULL"), D("  END StopTimer"), T("    FinalRelease zandrel <addr> PID=0")}));
}

// The object's own address, as a signed 32-bit number: its low 32 bits.
TEST_F(Lifecycle, TheAddressIsTheObjects) {
  auto connect = Connect::Create(&outside);
  const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uintptr_t>(connect.Address())));
  EXPECT_EQ(LogLines()[0], T("FinalConstruct zandrel " + std::to_string(low)));
}

TEST_F(Lifecycle, QueuedEventsAreDiscardedByDisconnection) {
  auto connect = Connected();
  ide.OpenSolution("C:\\s\\a.sln", {{"A", "C:\\s\\A.vcproj"}});
  ide.AddProject({"B", "C:\\s\\B.vcproj"});
  ASSERT_EQ(*connect->EventQueueCount(), 2);
  VariantArray custom;
  connect->OnBeginShutdown(custom);
  TakeLines();
  os.timers.TickAll();  // nothing is armed any more
  EXPECT_TRUE(manager.Documents().empty());
  EXPECT_FALSE(connect->EventQueueCount().ok());
  EXPECT_EQ(LogLines(), Lines{});
}

}  // namespace
}  // namespace zandrel::addin
