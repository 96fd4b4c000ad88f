// The queue of named events and its dispatcher.

#include <gtest/gtest.h>

#include <limits>

#include "events/timer_frm.h"
#include "support/addin_fixture.h"
#include "support/connect_probe.h"

namespace zandrel::addin {
namespace {

using namespace testing_support;
using automation::Variant;
using Lines = std::vector<std::string>;

class EventQueue : public AddinFixture {
 protected:
  EventQueue() {
    connect = Connected();
    TakeLines();
  }
  std::vector<std::string> Dispatched() {
    std::vector<std::string> names;
    for (const std::string& line : LogLines())
      if (auto at = line.find("  XeqEvent Calling "); at != std::string::npos) names.push_back(line.substr(at + 19));
    return names;
  }
  std::int32_t Armed() {
    events::TimerFrm* form = ConnectProbe(*connect).timerFrm();
    if (!form || !form->Loaded()) return -1;
    return form->ClientTimer().Enabled() ? form->ClientTimer().Interval() : -1;
  }
  automation::Ref<Connect> connect;
};

TEST_F(EventQueue, TimerWithAnEmptyQueue) {
  connect->Timer();
  EXPECT_EQ(TakeLines(), (Lines{D(""), D("BEGIN XeqEvent"), T("  BEGIN StopTimer"), T("  mTimerFrm is NULL"),
                                D("  END StopTimer"), D("  SET XeqEvent: QCount=0   Now=0ms DeltaFromExpectedFire=0"),
                                D("END XeqEvent <UNKNOWN>"), ""}));
  EXPECT_EQ(Armed(), -1);
}

TEST_F(EventQueue, OnePerTickInArrivalOrder) {
  os.clock.timeOfDay = 1000;  // long after midnight: a fire at 0 would be long past
  ConnectProbe probe(*connect);
  probe.AddEvent(Variant("ProjectAdded"), 100);
  probe.AddEvent(Variant("ProjectRemoved"), 100);
  probe.AddEvent(Variant("ProjectAdded"), 100);
  EXPECT_EQ(*connect->EventQueueCount(), 3);
  EXPECT_EQ(Armed(), 100);
  os.timers.TickAll();
  EXPECT_EQ(Dispatched(), Lines{"ProjectAdded : Remain=2"});
  EXPECT_EQ(Armed(), 10);  // nothing arrived meanwhile
  os.timers.TickAll();
  os.timers.TickAll();
  EXPECT_EQ(Dispatched(), (Lines{"ProjectAdded : Remain=2", "ProjectRemoved : Remain=1", "ProjectAdded : Remain=0"}));
  EXPECT_EQ(Armed(), -1);
  const Lines lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), D("  XeqEvent: Q.Count=0 EMPTY QUEUE - NO StartTimer")), lines.end());
}

// Each name of the vocabulary reaches its own handler: the handler's first
// line follows the dispatch line.
TEST_F(EventQueue, EachNameReachesItsHandler) {
  ide.OpenSolution("C:\\s\\a.sln", {});
  Drain();
  ConnectProbe probe(*connect);
  struct Row {
    const char* name;
    std::string handlerLine;
  };
  for (const Row& row : {Row{"SolutionAfterClosing", T("    BEGIN DoWorkspaceClose()")},
                         Row{"SolutionOpened", T("      BEGIN DoSolutionOpen")},
                         Row{"SolutionRenamed", T("      BEGIN DoSolutionRenamed")},
                         Row{"ProjectAdded", T("      BEGIN DoRegisterProjects(C:\\s\\a.sln)")},
                         Row{"ProjectRemoved", T("      BEGIN DoRegisterProjects(C:\\s\\a.sln)")},
                         Row{"ProjectRenamed", T("      BEGIN DoRegisterProjects(C:\\s\\a.sln)")}}) {
    probe.AddEvent(Variant(row.name), 100);
    TakeLines();
    os.timers.TickAll();
    const Lines lines = TakeLines();
    auto calling = std::find(lines.begin(), lines.end(), T("  XeqEvent Calling " + std::string(row.name) + " : Remain=0"));
    ASSERT_NE(calling, lines.end()) << row.name;
    ASSERT_NE(calling + 1, lines.end()) << row.name;
    EXPECT_EQ(calling[1], row.handlerLine) << row.name;
    EXPECT_TRUE(os.messageBoxes.shown.empty()) << row.name;  // no UNEXPECTED EVENT
    Drain();
  }
}

// How late the timer fired, in whole milliseconds, halves to even: 62.5 ms
// (exactly 1/16 s in single precision) is 62, 187.5 ms is 188.
TEST_F(EventQueue, TheLatenessRoundsHalvesToEven) {
  ConnectProbe probe(*connect);
  for (const auto& [now, late] : {std::pair{1000.0625f, "62"}, std::pair{1000.1875f, "188"}, std::pair{999.9375f, "-62"}}) {
    probe.nextFire() = 1000.0f;
    os.clock.timeOfDay = now;
    TakeLines();
    connect->Timer();
    const Lines lines = TakeLines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_TRUE(lines[5].ends_with(" DeltaFromExpectedFire=" + std::string(late))) << lines[5];
  }
}

TEST_F(EventQueue, AnEventQueuedDuringADispatchWaitsAndSetsTheReArm) {
  ide.OpenSolution("C:\\s\\a.sln", {{"A", "C:\\s\\A.vcproj"}});
  std::int32_t countDuringDispatch = -1;
  manager.whileRegisterDoc = [&] {
    manager.whileRegisterDoc = nullptr;
    countDuringDispatch = *connect->EventQueueCount();  // the entry being dispatched is not counted
    ide.AddProject({"B", "C:\\s\\B.vcproj"});
  };
  os.timers.TickAll();
  EXPECT_EQ(countDuringDispatch, 0);
  EXPECT_EQ(Dispatched(), Lines{"SolutionOpened : Remain=0"});  // never nested
  const Lines lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), T("  *** m_blnInXeqEvent - just save interval = 100  ***")),
            lines.end());
  EXPECT_EQ(Armed(), 100);
  os.timers.TickAll();
  EXPECT_EQ(Dispatched(), (Lines{"SolutionOpened : Remain=0", "ProjectAdded : Remain=0"}));
  EXPECT_EQ(manager.Documents().size(), 2u);
}

TEST_F(EventQueue, NamesOutsideTheVocabulary) {
  ConnectProbe probe(*connect);
  probe.AddEvent(Variant("solutionopened"), 100);  // names match exactly
  probe.AddEvent(Variant(""), 100);
  probe.AddEvent(Variant(std::int32_t{7}), 100);
  probe.AddEvent(Variant("ProjectAdded"), 100);
  TakeLines();
  for (int i = 0; i < 4; ++i) os.timers.TickAll();
  const Lines lines = TakeLines();
  for (const char* m : {"UNEXPECTED EVENT(solutionopened)", "UNEXPECTED EVENT()", "UNEXPECTED EVENT(7)"})
    EXPECT_EQ(std::count(lines.begin(), lines.end(), E(m)), 1) << m;
  EXPECT_NE(std::find(lines.begin(), lines.end(), D("END XeqEvent <UNKNOWN>")), lines.end());  // the Long
  ASSERT_EQ(os.messageBoxes.shown.size(), 3u);
  EXPECT_EQ(os.messageBoxes.shown[1].text, "UNEXPECTED EVENT()");
  EXPECT_EQ(os.messageBoxes.shown[1].caption, "REZIRUZ");
  EXPECT_EQ(os.messageBoxes.shown[1].style, 0x10u);
  EXPECT_NE(std::find(lines.begin(), lines.end(), T("  XeqEvent Calling ProjectAdded : Remain=0")), lines.end());
}

TEST_F(EventQueue, TheCounterWrapsToZero) {
  ConnectProbe probe(*connect);
  probe.addEventCount() = std::numeric_limits<std::int32_t>::max();
  probe.AddEvent(Variant("ProjectAdded"), 100);
  const Lines lines = TakeLines();
  EXPECT_EQ(lines[0], T(""));
  EXPECT_EQ(lines[1], T("BEGIN AddEvent(0)  Event=ProjectAdded Delta=100 QCount=0"));
}

TEST_F(EventQueue, AfterTheQueueIsDropped) {
  ConnectProbe probe(*connect);
  probe.AddEvent(Variant("ProjectAdded"), 100);
  ASSERT_TRUE(probe.ReleaseTimer().ok());
  TakeLines();
  probe.AddEvent(Variant("ProjectAdded"), 100);  // runs; its append fails silently
  EXPECT_EQ(TakeLines()[1], T("BEGIN AddEvent(2)  Event=ProjectAdded Delta=100 QCount=0"));
  connect->Timer();
  const Lines lines = TakeLines();
  EXPECT_EQ(lines.back(), "");
  EXPECT_EQ(lines[lines.size() - 2], E("ERROR in XeqEvent: Object variable not set"));
  auto count = connect->EventQueueCount();
  ASSERT_FALSE(count.ok());
  EXPECT_EQ(count.error().number, automation::errors::kObjectNotSet);
}

}  // namespace
}  // namespace zandrel::addin
