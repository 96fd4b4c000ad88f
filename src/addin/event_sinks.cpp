// The sinks of the IDE's solution and command events: each logs, may raise the
// interrupt flag, and queues a named event; the work is done later, from the
// timer. No sink reads the event's arguments (which project, the old name,
// which command): every handler works on the whole solution.
//
// Members of Connect: SetSolutionEvents, SetCommandEvents, AssignEventSource,
//   the mSolutionEvents_* and mCommandEvents_* sinks.

#include <utility>

#include "addin/connect.h"
#include "events/event_subscription.h"
#include "shared/envdte.h"

namespace zandrel::addin {

using events::EventSubscription;

Status Connect::AssignEventSource(std::unique_ptr<EventSubscription>& field, Ref<automation::Object> source,
                                  const automation::InterfaceId& events, EventSubscription::Handler handler) {
  if (!source) {
    field.reset();
    return Status::Ok();
  }
  // Advising is an outgoing call: the IDE may disconnect the add-in inside it
  // (a nested message loop). A subscription made across a disconnection is
  // ended again at once, here, so that nothing stays subscribed.
  const std::uint32_t disconnections = disconnections_;
  auto subscription = EventSubscription::Subscribe(std::move(source), events, std::move(handler));
  if (!subscription) return subscription.error();
  if (disconnections_ != disconnections) return Status::Ok();
  field = std::move(*subscription);  // the source assigned before, if any, is unsubscribed now
  return Status::Ok();
}

Status Connect::SetSolutionEvents(Ref<automation::Object> source) {
  return AssignEventSource(
      mSolutionEvents, std::move(source), envdte::kDispSolutionEvents, [this](std::int32_t dispid, std::span<Variant>) {
        const auto self = Held(Me());  // a sink may lead to the last release
        switch (dispid) {
          case envdte::kSolutionOpened: mSolutionEvents_Opened(); break;
          case envdte::kSolutionBeforeClosing: mSolutionEvents_BeforeClosing(); break;
          case envdte::kSolutionAfterClosing: mSolutionEvents_AfterClosing(); break;
          case envdte::kSolutionRenamed: mSolutionEvents_Renamed(); break;
          case envdte::kSolutionProjectAdded: mSolutionEvents_ProjectAdded(); break;
          case envdte::kSolutionProjectRemoved: mSolutionEvents_ProjectRemoved(); break;
          case envdte::kSolutionProjectRenamed: mSolutionEvents_ProjectRenamed(); break;
          default: break;  // QueryCloseSolution and anything newer: not handled
        }
      });
}

Status Connect::SetCommandEvents(Ref<automation::Object> source) {
  return AssignEventSource(
      mCommandEvents, std::move(source), envdte::kDispCommandEvents, [this](std::int32_t dispid, std::span<Variant>) {
        const auto self = Held(Me());
        if (dispid == envdte::kCommandAfterExecute) mCommandEvents_AfterExecute();  // nothing runs before a command
      });
}

namespace {
constexpr std::int32_t kQueueDelay = 100;  // every sink queues with this delay (ms)
}

void Connect::mSolutionEvents_Opened() {
  Log("  ENTER mSolutionEvents_Opened()");
  m_events.AddEvent(Variant(event_names::kSolutionOpened), kQueueDelay);
}

void Connect::mSolutionEvents_BeforeClosing() { Log("  ENTER mSolutionEvents_BeforeClosing"); }

void Connect::mSolutionEvents_AfterClosing() {
  Log("  ENTER mSolutionEvents_AfterClosing()");
  m_events.Interrupt();
  m_events.AddEvent(Variant(event_names::kSolutionAfterClosing), kQueueDelay);
}

void Connect::mSolutionEvents_ProjectAdded() {
  Log("  BEGIN mSolutionEvents_ProjectAdded");
  m_events.AddEvent(Variant(event_names::kProjectAdded), kQueueDelay);
}

void Connect::mSolutionEvents_ProjectRemoved() {
  Log("  BEGIN mSolutionEvents_ProjectRemoved");
  m_events.AddEvent(Variant(event_names::kProjectRemoved), kQueueDelay);
}

void Connect::mSolutionEvents_ProjectRenamed() {
  Log("BEGIN mSolutionEvents_ProjectRenamed");
  m_events.AddEvent(Variant(event_names::kProjectRenamed), kQueueDelay);
}

void Connect::mSolutionEvents_Renamed() {
  Log("BEGIN mSolutionEvents_Renamed");
  m_events.Interrupt();
  m_events.AddEvent(Variant(event_names::kSolutionRenamed), kQueueDelay);
}

void Connect::mCommandEvents_AfterExecute() {
  Log("  ENTER mCommandEvents_AfterExecute");
  mCommandEvents.reset();  // once per attachment
  const Variant pending = std::exchange(m_varPendingEvent, Variant(""));
  m_events.AddEvent(pending, kQueueDelay);
}

}  // namespace zandrel::addin
