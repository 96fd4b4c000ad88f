// The event queue: named events are appended by the sinks and worked off one
// per timer tick by XeqEvent, which calls the add-in's handler of each name.
//
// Members of EventQueue: constructor, Open, AddEvent, XeqEvent, Count,
//   DoUnexpectedEvent.

#include "events/event_queue.h"

#include <limits>

#include "automation/resume_next.h"
#include "events/timer_frm.h"
#include "platform/platform.h"
#include "shared/log.h"

namespace zandrel::events {

using shared::DEBUG_LOGLEVEL;
using shared::ERROR_LOGLEVEL;
using shared::Log;
using automation::ResumeNext;
using automation::Status;
using automation::Variant;

EventQueue::EventQueue(automation::Object& client, Handler handler) : client_(client), handler_(std::move(handler)) {}

EventQueue::~EventQueue() = default;

void EventQueue::Open() {
  m_blnQueueInterrupt = m_blnInXeqEvent = false;
  m_lSavedInterval = m_lAddEventCount = 0;
  m_sngNextFire = 0;
  if (platform::Clock* clock = platform::Services().clock) m_sngStartTime = clock->TimeOfDay();
  m_colEventQueue = std::make_unique<automation::KeyedList<Variant>>();
}

void EventQueue::AddEvent(const Variant& Event, std::int32_t Delta) {
  ResumeNext err;
  std::int32_t queued = 0;
  if (m_colEventQueue) queued = m_colEventQueue->Count();
  else err.Record(automation::errors::ObjectNotSet());
  if (m_lAddEventCount == std::numeric_limits<std::int32_t>::max()) m_lAddEventCount = 0;
  else ++m_lAddEventCount;
  Log("");
  // A value that has no text fails the whole line, which is then skipped.
  if (auto text = automation::ToText(Event)) {
    Log("BEGIN AddEvent(" + std::to_string(m_lAddEventCount) + ")  Event=" + *text + " Delta=" + std::to_string(Delta) +
        " QCount=" + std::to_string(queued));
  } else {
    err.Record(text.error());
  }
  StopTimer();
  if (m_colEventQueue) err.Do(m_colEventQueue->Add(Event));
  else err.Record(automation::errors::ObjectNotSet());
  if (m_blnInXeqEvent) {
    Log("  *** m_blnInXeqEvent - just save interval = " + std::to_string(Delta) + "  ***");
    m_lSavedInterval = Delta;
  } else {
    m_lSavedInterval = 0;
    StartTimer(Delta);
  }
  Log("END AddEvent()");
}

void EventQueue::XeqEvent() {
  std::string name = "<UNKNOWN>";
  auto steps = [&]() -> Status {
    Log("", DEBUG_LOGLEVEL);
    Log("BEGIN XeqEvent", DEBUG_LOGLEVEL);
    StopTimer();  // every arming is good for one tick
    const float now = platform::Services().clock->TimeOfDay();
    if (!m_colEventQueue) return automation::errors::ObjectNotSet();
    const std::int32_t count = m_colEventQueue->Count();
    const float late = now - m_sngNextFire;
    Log("  SET XeqEvent: QCount=" + std::to_string(count) + "   Now=" + FormatElapsedMs(now) +
            " DeltaFromExpectedFire=" +
            std::to_string(static_cast<long long>(automation::RoundHalfEven(static_cast<double>(late) * 1000.0))),
        DEBUG_LOGLEVEL);
    if (count == 0) return Status::Ok();

    m_blnInXeqEvent = true;
    m_lSavedInterval = 0;
    m_sngNextFire = 0;
    auto first = m_colEventQueue->Item(1);
    if (!first) return first.error();
    Variant entry = *first;
    if (Status s = m_colEventQueue->Remove(1); !s) return s;

    if (!entry.IsString()) {
      if (Status s = DoUnexpectedEvent(entry); !s) return s;
    } else {
      name = entry.AsString();
      Log("  XeqEvent Calling " + name + " : Remain=" + std::to_string(count - 1));
      if (!handler_(name, entry)) {
        if (Status s = DoUnexpectedEvent(entry); !s) return s;
      }
    }

    m_blnInXeqEvent = false;
    if (m_colEventQueue) {  // a handler may have disconnected the add-in
      const std::int32_t left = m_colEventQueue->Count();
      if (left > 0) {
        Log("  XeqEvent: Q.Count=" + std::to_string(left) + " CALL StartTimer", DEBUG_LOGLEVEL);
        if (m_lSavedInterval < 10) m_lSavedInterval = 10;
        StartTimer(m_lSavedInterval);
      } else {
        Log("  XeqEvent: Q.Count=" + std::to_string(left) + " EMPTY QUEUE - NO StartTimer", DEBUG_LOGLEVEL);
      }
    }
    return Status::Ok();
  };
  if (Status s = steps(); !s) {
    Log("ERROR in XeqEvent: " + s.error().description + "\r\n", ERROR_LOGLEVEL);
    return;
  }
  Log("END XeqEvent " + name + "\r\n", DEBUG_LOGLEVEL);
}

Status EventQueue::DoUnexpectedEvent(const Variant& Event) {
  auto text = automation::ToText(Event);
  if (!text) return text.error();
  const std::string message = "UNEXPECTED EVENT(" + *text + ")";
  Log(message, ERROR_LOGLEVEL);
  platform::Services().messageBoxes->Show(message, "REZIRUZ",
                                          platform::MessageBoxes::kOk | platform::MessageBoxes::kIconStop);
  return Status::Ok();
}

automation::Result<std::int32_t> EventQueue::Count() const {
  if (!m_colEventQueue) return automation::errors::ObjectNotSet();
  return m_colEventQueue->Count();
}

}  // namespace zandrel::events
