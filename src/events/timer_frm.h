#pragma once
// TimerFrm: the hidden form that owns the window timer ClientTimer and calls its
// client's "Timer" member by name on every tick. It is never shown; its timer
// ticks through the UI thread's message loop (a platform WindowTimer).

#include <cstdint>
#include <memory>

#include "automation/object.h"
#include "platform/platform.h"

namespace zandrel::events {

// The window timer control: Interval from 0 to 65,535 ms (any other value is
// refused), Enabled. It ticks every Interval while enabled with a non-zero
// interval.
class ClientTimerControl {
 public:
  explicit ClientTimerControl(std::function<void()> onTick);
  automation::Status SetInterval(std::int32_t interval);
  std::int32_t Interval() const { return interval_; }
  automation::Status SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }

 private:
  automation::Status Apply();
  std::unique_ptr<platform::WindowTimer> timer_;
  std::int32_t interval_ = 0;
  bool enabled_ = true;
};

class TimerFrm final : public automation::RefCountedBase {
 public:
  TimerFrm();   // Form_Initialize
  ~TimerFrm();  // Form_Terminate

  automation::Status StartTimer(const automation::Ref<automation::Object>& aClient, std::int32_t anInterval);
  automation::Status StopTimer();
  std::int32_t TimerInterval();
  automation::Status TimerInterval(std::int32_t lNewValue);

  // Form_Unload: the form's window and its timer go; a later use loads it again.
  void Unload();

  // The control, loading the form on first use (Form_Load).
  ClientTimerControl& ClientTimer();
  bool Loaded() const { return clientTimer_ != nullptr; }
  const automation::Ref<automation::Object>& Client() const { return mClient; }

 private:
  void ClientTimer_Timer();
  std::string Address() const;

  std::unique_ptr<ClientTimerControl> clientTimer_;
  automation::Ref<automation::Object> mClient;
};

}  // namespace zandrel::events
