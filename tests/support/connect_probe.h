#pragma once
// Reaches the add-in object's private operations and fields from tests.

#include "addin/connect.h"
#include "events/timer_frm.h"

namespace zandrel::testing_support {

struct ConnectProbe {
  explicit ConnectProbe(addin::Connect& target) : c(target) {}
  void AddEvent(automation::Variant event, std::int32_t delay) { c.AddEvent(event, delay); }
  void StartTimer(std::int32_t delta) { c.StartTimer(delta); }
  void StopTimer() { c.StopTimer(); }
  automation::Status ReleaseTimer() { return c.ReleaseTimer(); }
  std::string FormatElapsedMs(float t) { return c.FormatElapsedMs(t); }
  automation::KeyedList<automation::Ref<registration::QmsDocument>> GetDocs() { return c.GetDocs(); }

  float& nextFire() { return c.m_sngNextFire; }
  float& startTime() { return c.m_sngStartTime; }
  bool& queueInterrupt() { return c.m_blnQueueInterrupt; }
  std::int32_t& addEventCount() { return c.m_lAddEventCount; }
  automation::Variant& pendingEvent() { return c.m_varPendingEvent; }
  events::TimerFrm* timerFrm() { return c.mTimerFrm.get(); }
  bool hasQueue() { return c.m_colEventQueue != nullptr; }
  bool hasManager() { return static_cast<bool>(c.m_IntgMgr); }
  bool hasRegMgr() { return static_cast<bool>(c.m_RegMgr); }
  bool hasApp() { return static_cast<bool>(c.m_IntgMgrApp); }
  bool hasDte() { return static_cast<bool>(c.mDTE); }
  bool commandEventsAttached() { return c.mCommandEvents != nullptr; }

  addin::Connect& c;
};

// Log lines as the logger writes them without time stamps.
inline std::string T(const std::string& m) { return " TRACE    DIRUDEVU  " + m; }
inline std::string D(const std::string& m) { return " DEBUG    DIRUDEVU  " + m; }
inline std::string E(const std::string& m) { return " ERROR    DIRUDEVU  " + m; }
inline std::string W(const std::string& m) { return " WARNING  DIRUDEVU  " + m; }

}  // namespace zandrel::testing_support
