// This IDE's documents in the integration manager, and the active project.
//
// Members of Connect: GetDocs, KeepRoom, ActiveProject (get and put).

#include "addin/connect.h"

namespace zandrel::addin {

using automation::KeyedList;
using automation::ResumeNext;
using registration::QmsDocument;

Connect::DocumentSet Connect::GetDocs() {
  ResumeNext err;
  Ref<registration::QmsDocuments> found;
  std::int16_t kind = registration::im_AppObject_MSVC;
  std::string everyName;
  if (m_IntgMgr) err.Assign(found, Held(m_IntgMgr)->FindDocuments(kind, everyName));
  else err.Record(automation::errors::ObjectNotSet());

  std::int32_t count = 0;
  if (!found) {
    Log("    GetDocs() is Nothing");
  } else {
    err.Assign(count, found->Count());
    LogWhenWritten([&] { return "    GetDocs()=" + std::to_string(count); });
  }

  DocumentSet documents = std::move(m_documentRoom);  // a nested call builds its own
  documents.Reserve(count);
  for (std::int32_t i = 1; i <= count; ++i) {
    Variant index(i);
    Ref<QmsDocument> document;
    if (!err.Assign(document, found->Item(index)) || !document) continue;
    // The owner test, one read a step: each is made whatever the reads before
    // it gave, and a read that fails makes the test count as a match.
    Ref<registration::QmsApplication> app;
    err.Assign(app, document->App());
    Ref<automation::Object> owner;
    if (app) err.Assign(owner, app->AppObject());
    else err.Record(automation::errors::ObjectNotSet());
    const std::int32_t myPid = MSDEVPid();
    Variant ownerPid;
    std::int32_t ownerPidValue = 0;
    const bool ownerRead = err.Assign(ownerPid, automation::GetProperty(owner, "MSDEVPid")) &&
                           err.Assign(ownerPidValue, automation::ToLong(ownerPid));
    if (ownerRead && myPid != ownerPidValue) continue;
    std::string name;
    if (err.Assign(name, document->DocName())) documents.Add(std::move(document), name);  // a duplicate keeps the first
  }
  return documents;
}

void Connect::KeepRoom(DocumentSet&& documents) {
  documents.Clear();
  m_documentRoom = std::move(documents);
}

void Connect::ActiveProject(const std::string& pstrFullname) { m_strActiveProject = pstrFullname; }

std::string Connect::ActiveProject() {
  if (!m_strActiveProject.empty()) return m_strActiveProject;
  ResumeNext err;
  Ref<automation::Object> projects;
  err.Assign(projects, automation::ToObject(automation::CallMethod(mDTE, "GetObject", "VCProjects")));
  std::int32_t count = 0;
  if (projects) err.Assign(count, automation::ToLong(automation::GetProperty(projects, "Count")));
  if (count > 0) {
    Ref<automation::Object> first;
    Variant fullName;
    if (err.Assign(first, automation::ToObject(automation::CallMethod(projects, "Item", std::int16_t{1}))) &&
        err.Assign(fullName, automation::GetProperty(first, "FullName"))) {
      err.Assign(m_strActiveProject, automation::ToText(fullName));
    }
  }
  err.Clear();
  return m_strActiveProject;
}

}  // namespace zandrel::addin
