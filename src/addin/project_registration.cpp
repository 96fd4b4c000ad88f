// Registering the solution's Visual C++ projects as documents of the
// integration manager, and withdrawing the documents whose projects left.
//
// Members of Connect: RegisterProjects, UnregisterProjects.

#include "addin/connect.h"
#include "platform/platform.h"

namespace zandrel::addin {

using automation::ResumeNext;
using registration::QmsDocument;

bool Connect::RegisterProjects() {
  ResumeNext err;
  Log("    BEGIN RegisterProjects");
  bool result = true;
  auto documents = GetDocs();

  Ref<automation::Object> projects;
  err.Assign(projects, automation::ToObject(automation::CallMethod(mDTE, "GetObject", "VCProjects")));
  std::int32_t count = 0;
  if (!projects) {
    Log("      RegisterProjects: Projects Is Nothing", WARNING_LOGLEVEL);
  } else {
    err.Assign(count, automation::ToLong(automation::GetProperty(projects, "Count")));
    LogWhenWritten([&] { return "      RegisterProjects: Projects.Count=" + std::to_string(count); });
  }

  // First pass: a document for every project that has none.
  Ref<QmsDocument> document;  // carried from one project to the next
  // The step that lines name, kept as its parts and put into words only for
  // a line that is written. A name that cannot be read leaves the step before.
  enum class Step { kNone, kRegister, kWithdraw } stepKind = Step::kNone;
  std::string stepName;
  const auto step = [&]() -> std::string {
    switch (stepKind) {
      case Step::kRegister: return "RegisterDoc(" + stepName + ")";
      case Step::kWithdraw: return "      m_RegMgr.UnRegisterDoc(" + stepName + ")";
      case Step::kNone: break;
    }
    return {};
  };
  for (std::int32_t i = 1; i <= count; ++i) {
    Ref<automation::Object> project;
    err.Assign(project, automation::ToObject(automation::CallMethod(projects, "Item", i)));
    if (m_events.Interrupted()) {
      Log("      RegisterProjects: ASYNC m_blnQueueInterrupt - break", ERROR_LOGLEVEL);
      break;
    }
    err.Clear();
    std::string fullName;
    err.Assign(fullName, automation::ToText(automation::GetProperty(project, "FullName")));
    const std::int32_t before = documents.Count();
    err.Do(documents.Remove(fullName));  // its document, if it has one, is not withdrawn below
    if (documents.Count() < before) continue;

    err.Clear();
    Ref<registration::QmcDocProject> docProject;
    if (outside_) err.Assign(docProject, outside_->CreateDocProject());
    else err.Record(automation::errors::ClassNotRegistered());
    if (err.Number() != 0) {
      Log("      RegisterProjects: New qmcDocProject FAIL: " + err.Description(), ERROR_LOGLEVEL);
      result = false;
    }
    if (result) {
      err.Clear();
      if (docProject) {
        err.Do(docProject->SetFullName(fullName));
        std::string name;
        if (err.Assign(name, automation::ToText(automation::GetProperty(project, "Name")))) err.Do(docProject->SetName(name));
        std::string comment;
        err.Do(docProject->SetComment(comment));
        Variant timeStamp(automation::Date{platform::Services().clock->Now()});
        err.Do(docProject->SetTimeStamp(timeStamp));
        Ref<automation::Object> container;
        err.Do(docProject->SetContainer(container));
      }
      LogWhenWritten([&] { return "      m_RegMgr=" + AddressOf(m_RegMgr) + " m_IntgMgrApp=" + AddressOf(m_IntgMgrApp); },
                     DEBUG_LOGLEVEL);
      stepKind = Step::kRegister;
      stepName = fullName;
      err.Clear();
      Ref<registration::QmsApplication> app = m_IntgMgrApp;
      if (m_RegMgr) err.Assign(document, Held(m_RegMgr)->RegisterDoc(app, fullName, docProject));
      else err.Record(automation::errors::ObjectNotSet());
      if (!document) {
        Log("      RegisterProjects: " + step() + " NULL qmsDocument returned: " + err.Description(), ERROR_LOGLEVEL);
        result = false;
      } else if (err.Number() != 0) {
        Log("      RegisterProjects: FAIL " + step() + " qmsDocument OK BUT FAIL ERR.NUMBER: " + err.Description(),
            ERROR_LOGLEVEL);
        result = false;
      } else {
        // The success line goes to a log id that is never written.
        LogWhenWritten([&] { return "      RegisterProjects: " + step() + " OK, REZIRUZ_LOGID, TRACE_LOGLEVEL"; },
                       DEBUG_LOGLEVEL, shared::UNKNOWN_LOGID);
      }
    }
    if (!result) break;
  }

  // Second pass: what is left in the set has no project any more.
  err.Clear();
  const std::int32_t left = documents.Count();
  for (std::int32_t i = 1; i <= left; ++i) {
    Ref<QmsDocument> leftover;
    err.Assign(leftover, documents.Item(i));
    std::string docName;
    if (leftover && err.Assign(docName, leftover->DocName())) {
      stepKind = Step::kWithdraw;
      stepName = std::move(docName);
    }
    err.Clear();
    Ref<registration::QmsApplication> noApplication;
    std::string noName;
    if (m_RegMgr && leftover) err.Do(Held(m_RegMgr)->UnRegisterDoc(leftover, noApplication, noName));
    else err.Record(automation::errors::ObjectNotSet());
    LogWhenWritten([&] { return "      RegisterProjects: " + step(); });
  }
  err.Clear();
  Log("    END RegisterProjects(): ");
  KeepRoom(std::move(documents));
  return result;
}

void Connect::UnregisterProjects() {
  ResumeNext err;
  Log("    BEGIN UnregisterProjects()");
  auto documents = GetDocs();
  for (std::int32_t i = 1; i <= documents.Count(); ++i) {
    Ref<QmsDocument> document;
    if (!err.Assign(document, documents.Item(i))) continue;
    Ref<registration::QmsApplication> noApplication;
    std::string noName;
    if (m_RegMgr) err.Do(Held(m_RegMgr)->UnRegisterDoc(document, noApplication, noName));
  }
  Log("      END UnregisterProjects()\r\n");
  KeepRoom(std::move(documents));
}

}  // namespace zandrel::addin
