#pragma once
// EventQueue: the add-in's queue of IDE events and the timer that works it
// off. The sinks append named events (AddEvent); each tick of the hidden
// timer form calls the add-in's "Timer" member by name, which takes the first
// event off (XeqEvent) and hands it to the add-in's handler of its name.
//
// Every arming of the timer is good for one tick: XeqEvent stops it first and
// arms it again while events are left. An event queued during a dispatch only
// saves its delay; the dispatch arms the timer when it ends.
//
// The interrupt flag asks a registration pass in progress to stop: the
// solution is closing or being renamed.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "automation/keyed_list.h"
#include "automation/object.h"

namespace zandrel::events {

class TimerFrm;

class EventQueue {
 public:
  // Handles the named event; false: the name is not one the add-in knows.
  using Handler = std::function<bool(const std::string& name, const automation::Variant& event)>;

  // `client` is the object the timer form calls back ("Timer"); it outlives
  // the queue.
  EventQueue(automation::Object& client, Handler handler);
  ~EventQueue();
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  // A new, empty queue; the counters at zero and the elapsed times counted
  // from now.
  void Open();
  // The queue goes; the timer form stays until ReleaseTimer or the end.
  void Close() { m_colEventQueue.reset(); }

  void AddEvent(const automation::Variant& Event, std::int32_t Delta);
  void XeqEvent();
  // How many events wait; fails without a queue.
  automation::Result<std::int32_t> Count() const;

  void StartTimer(std::int32_t Delta);
  void StopTimer();
  // Stops and unloads the timer form, and closes the queue.
  automation::Status ReleaseTimer();
  // A time of day as milliseconds since the queue was opened ("1500ms").
  std::string FormatElapsedMs(float t) const;

  void Interrupt() { m_blnQueueInterrupt = true; }
  void ClearInterrupt() { m_blnQueueInterrupt = false; }
  bool Interrupted() const { return m_blnQueueInterrupt; }

  // The schedule, as a diagnostic or a test reads and sets it.
  bool IsOpen() const { return m_colEventQueue != nullptr; }
  float NextFire() const { return m_sngNextFire; }
  void SetNextFire(float timeOfDay) { m_sngNextFire = timeOfDay; }
  void SetStartTime(float timeOfDay) { m_sngStartTime = timeOfDay; }
  void SetAddEventCount(std::int32_t count) { m_lAddEventCount = count; }
  TimerFrm* Form() const;

 private:
  automation::Status DoUnexpectedEvent(const automation::Variant& Event);

  automation::Object& client_;
  Handler handler_;
  bool m_blnQueueInterrupt = false;
  std::unique_ptr<automation::KeyedList<automation::Variant>> m_colEventQueue;
  bool m_blnInXeqEvent = false;
  float m_sngNextFire = 0;
  std::int32_t m_lSavedInterval = 0;
  std::int32_t m_lAddEventCount = 0;
  float m_sngStartTime = 0;
  automation::Ref<TimerFrm> mTimerFrm;
};

}  // namespace zandrel::events
