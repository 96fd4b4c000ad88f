#include "events/timer_frm.h"

#include "shared/debug_logger.h"

namespace zandrel::events {

using automation::Ref;
using automation::Status;
using shared::DebugLog;
using shared::DEBUG_LOGLEVEL;
using shared::ERROR_LOGLEVEL;
using shared::REZIRUZ_LOGID;

ClientTimerControl::ClientTimerControl(std::function<void()> onTick) {
  if (platform::Timers* timers = platform::Services().timers) timer_ = timers->Create(std::move(onTick));
}

Status ClientTimerControl::SetInterval(std::int32_t interval) {
  if (interval < 0 || interval > 65535) return automation::errors::InvalidPropertyValue();
  interval_ = interval;
  return Apply();
}

Status ClientTimerControl::SetEnabled(bool enabled) {
  enabled_ = enabled;
  return Apply();
}

Status ClientTimerControl::Apply() {
  // Setting either property restarts the countdown, as the control does.
  if (!timer_) return automation::Error{automation::errors::kInvalidPropertyValue, "No timer available"};
  return timer_->Set(static_cast<std::uint32_t>(interval_), enabled_);
}

std::string TimerFrm::Address() const { return shared::LogAddress(Identity()); }

TimerFrm::TimerFrm() { DebugLog("TimerFrm.Initialize(" + Address() + ")", REZIRUZ_LOGID, DEBUG_LOGLEVEL); }

TimerFrm::~TimerFrm() {
  clientTimer_.reset();
  DebugLog("TimerFrm.Terminate(" + Address() + ")", REZIRUZ_LOGID, DEBUG_LOGLEVEL);
}

ClientTimerControl& TimerFrm::ClientTimer() {
  if (!clientTimer_) {
    clientTimer_ = std::make_unique<ClientTimerControl>([this] { ClientTimer_Timer(); });
    DebugLog("TimerFrm.Load(" + Address() + ")", REZIRUZ_LOGID, DEBUG_LOGLEVEL);
    (void)clientTimer_->SetEnabled(false);
  }
  return *clientTimer_;
}

void TimerFrm::Unload() {
  DebugLog("TimerFrm.Unload(" + Address() + ")", REZIRUZ_LOGID, DEBUG_LOGLEVEL);
  clientTimer_.reset();
}

Status TimerFrm::StartTimer(const Ref<automation::Object>& aClient, std::int32_t anInterval) {
  DebugLog("            TimerFrm.StartTimer(" + Address() + ", " + std::to_string(anInterval) + ")", REZIRUZ_LOGID,
           DEBUG_LOGLEVEL);
  if (Status s = ClientTimer().SetInterval(anInterval); !s) return s;
  if (Status s = ClientTimer().SetEnabled(true); !s) return s;
  mClient = aClient;
  return Status::Ok();
}

Status TimerFrm::StopTimer() {
  DebugLog("            TimerFrm.StopTimer", REZIRUZ_LOGID, DEBUG_LOGLEVEL);
  if (Status s = ClientTimer().SetInterval(1000); !s) return s;
  if (Status s = ClientTimer().SetEnabled(false); !s) return s;
  mClient = nullptr;
  return Status::Ok();
}

std::int32_t TimerFrm::TimerInterval() { return ClientTimer().Interval(); }

Status TimerFrm::TimerInterval(std::int32_t lNewValue) { return ClientTimer().SetInterval(lNewValue); }

void TimerFrm::ClientTimer_Timer() {
  // The callback may stop the timer, drop the client or release this form:
  // both stay alive until the tick is over.
  const auto self = Held(this);
  const auto client = Held(mClient);
  if (!client) return;
  auto r = automation::CallMethod(client, "Timer");
  if (r) DebugLog("  TimerFrm.Timer callback OK", REZIRUZ_LOGID, DEBUG_LOGLEVEL);
  else DebugLog("  TimerFrm.Timer callback FAIL: " + r.error().description, REZIRUZ_LOGID, ERROR_LOGLEVEL);
}

}  // namespace zandrel::events
