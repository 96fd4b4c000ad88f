// When the next tick comes: the interval rule, and the hidden form.

#include <gtest/gtest.h>

#include "events/timer_frm.h"
#include "support/addin_fixture.h"
#include "support/case_name.h"
#include "support/connect_probe.h"

namespace zandrel::addin {
namespace {

using namespace testing_support;
using Lines = std::vector<std::string>;

class TimerTest : public AddinFixture {
 protected:
  TimerTest() {
    os.clock.timeOfDay = 1000.0f;
    connect = Connect::Create(&outside);
    Keep(connect);
    TakeLines();
  }
  // The armed interval of the form's timer, or -1 when it is off.
  std::int32_t Armed() {
    events::TimerFrm* form = ConnectProbe(*connect).timerFrm();
    if (!form || !form->Loaded()) return -1;
    return form->ClientTimer().Enabled() ? form->ClientTimer().Interval() : -1;
  }
  automation::Ref<Connect> connect;
};

struct IntervalCase {
  const char* name;
  float now;
  float nextFire;  // the pending fire (0: none)
  std::int32_t delta;
  std::int32_t armed;
};

class IntervalRule : public TimerTest, public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(IntervalRule, ArmsTheTimer) {
  const IntervalCase& c = GetParam();
  ConnectProbe probe(*connect);
  os.clock.timeOfDay = c.now;
  probe.nextFire() = c.nextFire;
  probe.StartTimer(c.delta);
  EXPECT_EQ(Armed(), c.armed);
  EXPECT_FLOAT_EQ(probe.nextFire(), static_cast<float>(c.now + c.armed / 1000.0));
  // The SET line shows the requested delta, not the interval.
  const Lines lines = LogLines();
  EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                         [&](const std::string& l) {
                           return l.rfind(D("    SET StartTimer: Now="), 0) == 0 &&
                                  l.size() >= std::to_string(c.delta).size() &&
                                  l.ends_with("  Interval=" + std::to_string(c.delta));
                         }),
            lines.end());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntervalRule,
    ::testing::Values(IntervalCase{"DeltaZero", 1000, 0, 0, 10}, IntervalCase{"DeltaNegative", 1000, 0, -5, 10},
                      IntervalCase{"DeltaNine", 1000, 0, 9, 10}, IntervalCase{"NoPending", 1000, 0, 250, 250},
                      IntervalCase{"PendingSooner", 1000, 1000.3f, 1000, 300},
                      IntervalCase{"PendingLater", 1000, 1002, 500, 500},
                      IntervalCase{"PendingPast", 1000, 999.5f, 2000, 100},
                      IntervalCase{"PendingPastSmallDelta", 1000, 999.5f, 10, 100},
                      IntervalCase{"PendingAtThreshold", 1000, 0.01f, 500, 100},
                      IntervalCase{"BelowThresholdIsNotPending", 1000, 0.0099f, 500, 500},
                      IntervalCase{"PendingFromBeforeMidnight", 5, 86399.9f, 300, 300},
                      IntervalCase{"PendingVerySoonStillTenMs", 1000, 1000.002f, 500, 10},
                      // 62.5 and 187.5 ms remain (1/16 and 3/16 s, exact in single
                      // precision): halves go to the even neighbour.
                      IntervalCase{"RemainingHalfToEvenBelow", 1000, 1000.0625f, 500, 62},
                      IntervalCase{"RemainingHalfToEvenAbove", 1000, 1000.1875f, 500, 188}),
    CaseName());

TEST_F(TimerTest, AnIntervalTheControlRefusesLeavesTheTimerOff) {
  ConnectProbe probe(*connect);
  probe.StartTimer(70000);
  EXPECT_EQ(Armed(), -1);
  EXPECT_FLOAT_EQ(probe.nextFire(), 1070.0f);  // computed, though nothing will fire
  const Lines lines = Normalised(TakeLines());
  EXPECT_EQ(std::count(lines.begin(), lines.end(), D("  StartTimer FAIL: Invalid property value")), 1);
  EXPECT_EQ(lines.back(), T("  END StartTimer"));
}

// The timer control takes 0 to 65535 ms; anything else is refused with
// "Invalid property value" and leaves the interval as it was.
TEST_F(TimerTest, TheControlTakesIntervalsFrom0To65535) {
  events::ClientTimerControl control([] {});
  for (const std::int32_t interval : {0, 65535, 1}) {
    EXPECT_TRUE(control.SetInterval(interval).ok()) << interval;
    EXPECT_EQ(control.Interval(), interval);
  }
  for (const std::int32_t interval : {-1, 65536}) {
    const auto refused = control.SetInterval(interval);
    ASSERT_FALSE(refused.ok()) << interval;
    EXPECT_EQ(refused.error().number, 380);
    EXPECT_EQ(refused.error().description, "Invalid property value");
    EXPECT_EQ(control.Interval(), 1);
  }
}

TEST_F(TimerTest, FirstStartCreatesAndLoadsTheForm) {
  ConnectProbe(*connect).StartTimer(100);
  EXPECT_EQ(LogLines()[2], D("    SET StartTimer: Now=0ms NextFire=100ms  Interval=100"));
  EXPECT_EQ(Normalised(TakeLines()),
            (Lines{T("    BEGIN StartTimer Delta=100"), D("TimerFrm.Initialize(<addr>)"),
                   D("    SET StartTimer: Now=<t>ms NextFire=<t>ms  Interval=100"),
                   D("            TimerFrm.StartTimer(<addr>, 100)"), D("TimerFrm.Load(<addr>)"), T("  END StartTimer")}));
  EXPECT_EQ(Armed(), 100);
  // While armed the form holds the add-in.
  EXPECT_EQ(ConnectProbe(*connect).timerFrm()->Client(), connect->Me());
}

TEST_F(TimerTest, StopTimerDisarmsAndDropsTheClient) {
  ConnectProbe probe(*connect);
  probe.StartTimer(100);
  TakeLines();
  probe.StopTimer();
  EXPECT_EQ(TakeLines(), (Lines{T("  BEGIN StopTimer"), T("  Call mTimerFrm.StopTimer"), D("            TimerFrm.StopTimer"),
                                D("  END StopTimer")}));
  EXPECT_EQ(Armed(), -1);
  EXPECT_EQ(probe.timerFrm()->ClientTimer().Interval(), 1000);
  EXPECT_FALSE(probe.timerFrm()->Client());
}

TEST_F(TimerTest, AFailureInsideStopTimerIsLoggedAndShownWhenTraceIsOn) {
  ConnectProbe probe(*connect);
  probe.StartTimer(100);
  TakeLines();
  os.timers.live.front()->failSets = 1;  // the form's timer refuses the next change
  probe.StopTimer();
  EXPECT_EQ(TakeLines(), (Lines{T("  BEGIN StopTimer"), T("  Call mTimerFrm.StopTimer"), D("            TimerFrm.StopTimer"),
                                E("StopTimer ERROR: Unspecified error"), D("  END StopTimer")}));
  ASSERT_EQ(os.messageBoxes.shown.size(), 1u);
  EXPECT_EQ(os.messageBoxes.shown[0].text, "StopTimer ERROR: Unspecified error");
  EXPECT_EQ(os.messageBoxes.shown[0].caption, "zandrel");

  // With TRACE lines off (ERROR only) the failure is logged and nothing shown.
  os.registry.SetDword(kKey, "Debug", 0x02004000);
  shared::ResetDebugLoggerForTesting();
  probe.StartTimer(100);
  os.timers.live.front()->failSets = 1;
  probe.StopTimer();
  EXPECT_EQ(TakeLines(), Lines{E("StopTimer ERROR: Unspecified error")});
  EXPECT_EQ(os.messageBoxes.shown.size(), 1u);
}

TEST_F(TimerTest, ReleaseTimerTwice) {
  ConnectProbe probe(*connect);
  probe.StartTimer(100);
  TakeLines();
  ASSERT_TRUE(probe.ReleaseTimer().ok());
  EXPECT_EQ(Normalised(TakeLines()),
            (Lines{T("  BEGIN ReleaseTimer"), T("  BEGIN StopTimer"), T("  Call mTimerFrm.StopTimer"),
                   D("            TimerFrm.StopTimer"), D("  END StopTimer"), D("TimerFrm.Unload(<addr>)"),
                   D("TimerFrm.Terminate(<addr>)"), T("  END ReleaseTimer")}));
  EXPECT_FALSE(probe.hasQueue());
  ASSERT_TRUE(probe.ReleaseTimer().ok());
  EXPECT_EQ(TakeLines(), (Lines{T("  BEGIN ReleaseTimer"), T("  END ReleaseTimer")}));
}

TEST_F(TimerTest, ElapsedTimesRoundHalvesToEven) {
  ConnectProbe probe(*connect);
  probe.startTime() = 1000.0f;
  EXPECT_EQ(probe.FormatElapsedMs(1002.417f), "2417ms");
  EXPECT_EQ(probe.FormatElapsedMs(999.0f), "-1000ms");
  probe.startTime() = 0.0f;
  // 2.5 ms is not a half in single precision (0.0025f is 2.49999994 ms); 1/16
  // and 3/16 s are exact: 62.5 and 187.5 ms, halves to the even neighbour.
  EXPECT_EQ(probe.FormatElapsedMs(0.0025f), "2ms");
  EXPECT_EQ(probe.FormatElapsedMs(0.0625f), "62ms");
  EXPECT_EQ(probe.FormatElapsedMs(0.1875f), "188ms");
  EXPECT_EQ(probe.FormatElapsedMs(-0.0625f), "-62ms");
  // After 65,536 s a time of day resolves to 1/128 s only: 4 ms later reads
  // as 7.8125 ms.
  probe.startTime() = 70000.0f;
  EXPECT_EQ(probe.FormatElapsedMs(70000.004f), "8ms");
}

// A tick whose call of the client fails logs the failure and leaves the
// timer running: the next tick calls again.
TEST_F(TimerTest, AFailingCallbackIsLoggedOnEveryTickAndTheTimerRuns) {
  ConnectProbe probe(*connect);
  probe.StartTimer(100);
  // The form calls its client by name; a client that no longer answers to
  // "Timer" fails the call.
  struct Gone : automation::RefCountedBase, automation::Object {
    int calls = 0;
    automation::Result<automation::Variant> Invoke(std::string_view name, automation::CallKind,
                                                   std::span<automation::Variant>) override {
      ++calls;
      return automation::errors::MemberNotFound(name);
    }
  };
  automation::Ref<Gone> gone(new Gone());
  automation::Ref<automation::Object> client(gone.get());
  std::int32_t interval = 50;
  ASSERT_TRUE(probe.timerFrm()->StartTimer(client, interval).ok());
  TakeLines();
  os.timers.TickAll();
  os.timers.TickAll();
  EXPECT_EQ(gone->calls, 2);
  EXPECT_EQ(TakeLines(), (Lines{E("  TimerFrm.Timer callback FAIL: Object doesn't support this property or method: Timer"),
                                E("  TimerFrm.Timer callback FAIL: Object doesn't support this property or method: Timer")}));
  EXPECT_EQ(Armed(), 50);
  probe.StopTimer();
}

TEST_F(TimerTest, TicksCallTheClientsTimerByName) {
  ConnectProbe probe(*connect);
  probe.AddEvent(automation::Variant("Nonsense"), 100);
  TakeLines();
  os.timers.TickAll();
  const Lines lines = TakeLines();
  EXPECT_EQ(lines.back(), D("  TimerFrm.Timer callback OK"));
  EXPECT_EQ(os.messageBoxes.shown.size(), 1u);
}

}  // namespace
}  // namespace zandrel::addin
