// The handlers of the named events, as the event queue calls them one per
// timer tick: each works on the whole solution.
//
// Members of Connect: Timer, EventQueueCount, HandleEvent, DoWorkspaceClose,
//   DoSolutionOpen, DoSolutionRenamed, DoRegisterProjects.

#include "addin/connect.h"
#include "shared/envdte.h"

namespace zandrel::addin {

using automation::ResumeNext;

void Connect::Timer() { m_events.XeqEvent(); }

Result<std::int32_t> Connect::EventQueueCount() {
  auto n = m_events.Count();
  if (n) Log("      EventQueueCount=" + std::to_string(*n));
  return n;
}

bool Connect::HandleEvent(const std::string& name, const Variant& Event) {
  if (name == event_names::kSolutionAfterClosing) DoWorkspaceClose(Event);
  else if (name == event_names::kSolutionOpened) DoSolutionOpen(Event);
  else if (name == event_names::kSolutionRenamed) DoSolutionRenamed(Event);
  else if (name == event_names::kProjectAdded) DoRegisterProjects(Event);
  else if (name == event_names::kProjectRemoved) DoRegisterProjects(Event);
  else if (name == event_names::kProjectRenamed) DoRegisterProjects(Event);
  else return false;
  return true;
}

void Connect::DoWorkspaceClose(const Variant& /*Event*/) {
  ResumeNext err;
  Log("    BEGIN DoWorkspaceClose()");
  auto documents = GetDocs();
  for (std::int32_t i = 1; i <= documents.Count(); ++i) {
    Ref<registration::QmsDocument> document;
    if (!err.Assign(document, documents.Item(i))) continue;
    Ref<registration::QmsApplication> noApplication;
    std::string noName;
    if (m_RegMgr) err.Do(Held(m_RegMgr)->UnRegisterDoc(document, noApplication, noName));
    else err.Record(automation::errors::ObjectNotSet());
  }
  m_events.ClearInterrupt();
  Log("      END DoWorkspaceClose()\r\n");
  KeepRoom(std::move(documents));
}

void Connect::DoSolutionOpen(const Variant& Event) {
  Log("      BEGIN DoSolutionOpen");
  DoRegisterProjects(Event);
}

void Connect::DoSolutionRenamed(const Variant& Event) {
  Log("      BEGIN DoSolutionRenamed");
  UnregisterProjects();
  m_events.ClearInterrupt();  // the withdrawal it asked for is done
  DoRegisterProjects(Event);
}

void Connect::DoRegisterProjects(const Variant& /*Event*/) {
  ResumeNext err;
  std::string name;
  Ref<automation::Object> solution;
  if (err.Assign(solution, automation::GetObjectProperty(mDTE, "Solution"))) {
    Variant fullName;
    if (err.Assign(fullName, automation::GetProperty(solution, "FullName"))) err.Assign(name, automation::ToText(fullName));
  }
  Log("      BEGIN DoRegisterProjects(" + name + ")");
  if (!name.empty()) {
    (void)RegisterProjects();
  } else {
    // No solution yet, or the IDE has not finished opening it: try again when
    // the next command has completed.
    Log("      No solution available - queueing up for later");
    m_varPendingEvent = Variant(event_names::kSolutionOpened);
    Ref<automation::Object> events;
    Variant commandEvents;
    if (err.Assign(events, automation::GetObjectProperty(mDTE, "Events")) &&
        err.Assign(commandEvents, automation::GetProperty(events, "CommandEvents", envdte::kAllCommandsGroup, 0))) {
      Ref<automation::Object> source;
      if (err.Assign(source, automation::ToObject(commandEvents))) err.Do(SetCommandEvents(source));
    }
  }
  Log("      END DoRegisterProjects()");
}

}  // namespace zandrel::addin
