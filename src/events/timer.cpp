// The add-in's side of the timer: when the next tick comes, and the hidden
// form that delivers it.
//
// Members of EventQueue: StartTimer, StopTimer, ReleaseTimer, FormatElapsedMs,
//   Form.

#include <cmath>

#include "automation/resume_next.h"
#include "events/event_queue.h"
#include "events/timer_frm.h"
#include "platform/platform.h"
#include "shared/log.h"

namespace zandrel::events {

using shared::DEBUG_LOGLEVEL;
using shared::ERROR_LOGLEVEL;
using shared::Log;
using automation::Ref;
using automation::ResumeNext;
using automation::Status;

namespace {
float TimeOfDay() { return platform::Services().clock->TimeOfDay(); }
}  // namespace

std::string EventQueue::FormatElapsedMs(float t) const {
  const float elapsed = t - m_sngStartTime;
  const double ms = automation::RoundHalfEven(static_cast<double>(elapsed) * 1000.0);
  return std::to_string(static_cast<long long>(ms)) + "ms";
}

void EventQueue::StartTimer(std::int32_t Delta) {
  ResumeNext err;
  Log("    BEGIN StartTimer Delta=" + std::to_string(Delta));
  if (!mTimerFrm) mTimerFrm = Ref<TimerFrm>(new TimerFrm());
  else StopTimer();

  std::int32_t interval = Delta;
  if (interval < 10) interval = 10;
  if (m_sngNextFire >= 0.01f) {  // a fire is pending
    const float now = TimeOfDay();
    if (m_sngNextFire < now) {
      interval = 100;  // already past: soon, but not at once
    } else {
      const float remaining = m_sngNextFire - now;
      const double delay = interval / 1000.0;
      if (remaining < delay) interval = static_cast<std::int32_t>(automation::RoundHalfEven(remaining * 1000.0));
    }
  }
  if (interval < 10) interval = 10;
  m_sngNextFire = static_cast<float>(TimeOfDay() + interval / 1000.0);
  Log("    SET StartTimer: Now=" + FormatElapsedMs(TimeOfDay()) + " NextFire=" + FormatElapsedMs(m_sngNextFire) +
          "  Interval=" + std::to_string(Delta),
      DEBUG_LOGLEVEL);

  err.Clear();
  if (mTimerFrm) err.Do(Held(mTimerFrm)->StartTimer(Ref<automation::Object>(&client_), interval));
  else err.Record(automation::errors::ObjectNotSet());
  if (err.Number() != 0) Log("  StartTimer FAIL: " + err.Description() + "\r\n", DEBUG_LOGLEVEL);
  Log("  END StartTimer");
}

void EventQueue::StopTimer() {
  Log("  BEGIN StopTimer");
  Status stopped;
  if (!mTimerFrm) {
    Log("  mTimerFrm is NULL");
  } else {
    Log("  Call mTimerFrm.StopTimer");
    stopped = Held(mTimerFrm)->StopTimer();
  }
  if (!stopped) {
    const std::string text = "StopTimer ERROR: " + stopped.error().description;
    Log(text, ERROR_LOGLEVEL);
    if (shared::IsLogEnabled(shared::REZIRUZ_LOGID, shared::TRACE_LOGLEVEL))
      platform::Services().messageBoxes->Show(text, shared::kLibraryName, platform::MessageBoxes::kOk);
  }
  Log("  END StopTimer", DEBUG_LOGLEVEL);
}

Status EventQueue::ReleaseTimer() {
  Log("  BEGIN ReleaseTimer");
  if (mTimerFrm) {
    StopTimer();
    if (mTimerFrm) Held(mTimerFrm)->Unload();
    mTimerFrm = nullptr;
    m_colEventQueue.reset();
  }
  Log("  END ReleaseTimer");
  return Status::Ok();
}

TimerFrm* EventQueue::Form() const { return mTimerFrm.get(); }

}  // namespace zandrel::events
