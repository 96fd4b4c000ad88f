// The timer control's range, and a client that fails its callback (the
// rest of the timer's behaviour is in tests/unit/events/timer.cases).

#include <gtest/gtest.h>

#include "events/timer_frm.h"
#include "support/addin_fixture.h"
#include "support/log_lines.h"

namespace zandrel::addin {
namespace {

using namespace testing_support;
using Lines = std::vector<std::string>;

class TimerTest : public AddinFixture {
 protected:
  TimerTest() {
    os.clock.timeOfDay = 1000.0f;
    connect = testing_support::AddInRef::Create(&outside);
    Keep(connect);
    TakeLines();
  }
  testing_support::AddInRef connect;
};

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

// A tick whose call of the client fails logs the failure and leaves the
// timer running: the next tick calls again.
TEST_F(TimerTest, AFailingCallbackIsLoggedOnEveryTickAndTheTimerRuns) {
  events::EventQueue& probe = connect->Events();
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
  ASSERT_TRUE(probe.Form()->StartTimer(client, interval).ok());
  TakeLines();
  os.timers.TickAll();
  os.timers.TickAll();
  EXPECT_EQ(gone->calls, 2);
  EXPECT_EQ(TakeLines(), (Lines{E("  TimerFrm.Timer callback FAIL: Object doesn't support this property or method: Timer"),
                                E("  TimerFrm.Timer callback FAIL: Object doesn't support this property or method: Timer")}));
  EXPECT_TRUE(probe.Form()->ClientTimer().Enabled());
  EXPECT_EQ(probe.Form()->ClientTimer().Interval(), 50);
  probe.StopTimer();
}

// Three lines end in a line end of their own, so that the log shows an empty
// line after them; the cases compare lines and cannot see it, the file can.
TEST_F(TimerTest, LinesWithTheirOwnLineEndLeaveAnEmptyLineInTheFile) {
  auto& events = connect->Events();
  events.AddEvent(automation::Variant("NoSuchEvent"), 10);
  os.timers.TickAll();
  events.AddEvent(automation::Variant(automation::VariantArray{}), 10);
  os.timers.TickAll();
  os.timers.live.front()->failSets = 2;
  events.StartTimer(10);
  const std::string& file = os.files.files[kLog];
  for (const char* line : {"END XeqEvent NoSuchEvent\r\n\r\n", "ERROR in XeqEvent: Type mismatch\r\n\r\n",
                           "StartTimer FAIL: Unspecified error\r\n\r\n"})
    EXPECT_NE(file.find(line), std::string::npos) << line;
  events.StopTimer();
}

}  // namespace
}  // namespace zandrel::addin
