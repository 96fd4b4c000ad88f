// The IDE's events as the sinks turn them into named events, and the solution
// handlers that work them off.

#include <gtest/gtest.h>

#include "support/addin_fixture.h"
#include "support/connect_probe.h"

namespace zandrel::addin {
namespace {

using namespace testing_support;
using automation::Variant;
using automation::VariantArray;
using Lines = std::vector<std::string>;

class Sinks : public AddinFixture {
 protected:
  Sinks() {
    connect = Connected();
    TakeLines();
  }
  Lines Queued() {
    Lines names;
    for (const std::string& line : LogLines()) {
      auto at = line.find("BEGIN AddEvent(");
      if (at == std::string::npos) continue;
      auto event = line.find("Event=", at);
      names.push_back(line.substr(event + 6, line.find(" Delta=") - event - 6));
    }
    return names;
  }
  automation::Ref<Connect> connect;
};

TEST_F(Sinks, ClosingASolutionQueuesOneEntryAndRaisesTheFlagAtOnce) {
  ide.OpenSolution("C:\\s\\a.sln", {});
  Drain();
  TakeLines();
  ide.CloseSolution();
  EXPECT_TRUE(ConnectProbe(*connect).queueInterrupt());
  const Lines lines = LogLines();
  EXPECT_EQ(lines[0], T("  ENTER mSolutionEvents_BeforeClosing"));
  EXPECT_EQ(lines[1], T("  ENTER mSolutionEvents_AfterClosing()"));
  EXPECT_EQ(Queued(), Lines{"SolutionAfterClosing"});
  EXPECT_EQ(*connect->EventQueueCount(), 1);
  Drain();
  EXPECT_FALSE(ConnectProbe(*connect).queueInterrupt());  // cleared by the handler
}

TEST_F(Sinks, EachEventQueuesItsName) {
  ide.OpenSolution("C:\\s\\a.sln", {{"A", "C:\\s\\A.vcproj"}});
  ide.AddProject({"B", "C:\\s\\B.vcproj"});
  ide.AddProject({"C", "C:\\s\\C.vcproj"});
  ide.AddProject({"D", "C:\\s\\D.vcproj"});
  ide.RemoveProject("D");
  ide.RenameProject("C", {"C2", "C:\\s\\C2.vcproj"});
  ide.RenameSolution("C:\\s\\b.sln");
  EXPECT_EQ(Queued(), (Lines{"SolutionOpened", "ProjectAdded", "ProjectAdded", "ProjectAdded", "ProjectRemoved",
                             "ProjectRenamed", "SolutionRenamed"}));
  EXPECT_TRUE(ConnectProbe(*connect).queueInterrupt());  // the rename raised it
  const Lines lines = LogLines();
  for (const char* line : {"  ENTER mSolutionEvents_Opened()", "  BEGIN mSolutionEvents_ProjectAdded",
                           "  BEGIN mSolutionEvents_ProjectRemoved", "BEGIN mSolutionEvents_ProjectRenamed",
                           "BEGIN mSolutionEvents_Renamed"})
    EXPECT_NE(std::find(lines.begin(), lines.end(), T(line)), lines.end()) << line;
  Drain();
  Lines names;
  for (const auto& d : manager.Documents()) names.push_back(d.name);
  EXPECT_EQ(names, (Lines{"C:\\s\\A.vcproj", "C:\\s\\B.vcproj", "C:\\s\\C2.vcproj"}));
}

TEST_F(Sinks, ASolutionWithoutANameYetIsRetriedAfterTheNextCommand) {
  ide.OpenSolution("C:\\s\\a.sln", {{"A", "C:\\s\\A.vcproj"}}, /*named=*/false);
  Drain();
  ConnectProbe probe(*connect);
  const Lines lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), T("      No solution available - queueing up for later")), lines.end());
  EXPECT_EQ(probe.pendingEvent().AsString(), "SolutionOpened");
  EXPECT_TRUE(probe.commandEventsAttached());
  EXPECT_TRUE(manager.Documents().empty());

  ide.NameSolution();
  TakeLines();
  ide.ExecuteCommand("{5EFC7975-14BC-11CF-9B2B-00AA00573819}", 220);
  EXPECT_EQ(LogLines()[0], T("  ENTER mCommandEvents_AfterExecute"));
  EXPECT_FALSE(probe.commandEventsAttached());  // once per attachment
  EXPECT_EQ(Queued(), Lines{"SolutionOpened"});
  EXPECT_EQ(probe.pendingEvent().AsString(), "");
  TakeLines();
  ide.ExecuteCommand("{5EFC7975-14BC-11CF-9B2B-00AA00573819}", 220);  // a second command queues nothing
  EXPECT_EQ(Queued(), Lines{});
  Drain();
  EXPECT_EQ(manager.Documents().size(), 1u);
}

// The events the add-in does not handle leave no trace: no line, no entry,
// and the command events stay attached for the command that completes.
TEST_F(Sinks, QueryCloseSolutionAndBeforeExecuteAreIgnored) {
  ide.OpenSolution("C:\\s\\a.sln", {}, /*named=*/false);
  Drain();
  ConnectProbe probe(*connect);
  ASSERT_TRUE(probe.commandEventsAttached());
  TakeLines();
  ide.FireSolution("QueryCloseSolution", {Variant(false)});
  ide.FireCommands("BeforeExecute", {Variant("{5EFC7975-14BC-11CF-9B2B-00AA00573819}"), Variant(220), Variant(),
                                     Variant(), Variant(false)});
  EXPECT_EQ(LogLines(), Lines{});
  EXPECT_EQ(*connect->EventQueueCount(), 0);
  EXPECT_TRUE(probe.commandEventsAttached());
}

TEST_F(Sinks, SolutionRenamedWithdrawsEverythingThenRegistersAgain) {
  ide.OpenSolution("C:\\s\\a.sln", {{"A", "C:\\s\\A.vcproj"}, {"B", "C:\\s\\B.vcproj"}});
  Drain();
  TakeLines();
  ide.RenameSolution("C:\\s\\renamed.sln");
  Drain();
  const Lines lines = LogLines();
  auto unregister = std::find(lines.begin(), lines.end(), T("    BEGIN UnregisterProjects()"));
  auto reregister = std::find(lines.begin(), lines.end(), T("    BEGIN RegisterProjects"));
  ASSERT_NE(unregister, lines.end());
  ASSERT_NE(reregister, lines.end());
  EXPECT_LT(unregister, reregister);
  EXPECT_EQ(manager.Documents().size(), 2u);
  EXPECT_EQ(manager.registerDocCalls, 4);
  EXPECT_FALSE(ConnectProbe(*connect).queueInterrupt());
}

TEST_F(Sinks, ClosingWithNothingRegistered) {
  ide.CloseSolution();
  TakeLines();
  Drain();
  const Lines lines = LogLines();
  auto begin = std::find(lines.begin(), lines.end(), T("    BEGIN DoWorkspaceClose()"));
  ASSERT_NE(begin, lines.end());
  EXPECT_EQ(Lines(begin, begin + 4),
            (Lines{T("    BEGIN DoWorkspaceClose()"), T("    GetDocs()=0"), T("      END DoWorkspaceClose()"), ""}));
}

TEST_F(Sinks, AClosedSolutionStopsARunningRegistration) {
  ide.OpenSolution("C:\\s\\a.sln", {{"A", "C:\\s\\A.vcproj"}, {"B", "C:\\s\\B.vcproj"}, {"C", "C:\\s\\C.vcproj"}});
  manager.whileRegisterDoc = [&] {
    if (manager.registerDocCalls == 1) ide.CloseSolution();  // arrives while the first RegisterDoc is held
  };
  Drain();
  const Lines lines = LogLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), E("      RegisterProjects: ASYNC m_blnQueueInterrupt - break")), 1);
  EXPECT_EQ(manager.registerDocCalls, 1);
  EXPECT_TRUE(manager.Documents().empty());  // the queued close withdrew what was registered
  EXPECT_FALSE(ConnectProbe(*connect).queueInterrupt());
}

}  // namespace
}  // namespace zandrel::addin
