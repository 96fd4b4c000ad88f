#include "manager/manager_model.h"

#include <algorithm>
#include <sstream>

namespace zandrel::testbed {

using automation::Error;
using automation::Ref;
using automation::Result;
using automation::Status;
using automation::Variant;
using namespace registration;

namespace {
class AppObj;
class DocObj;
}  // namespace

struct ManagerModel::State {
  ManagerModel* model;
  std::vector<AppObj*> liveApps;  // first, so that it outlives the objects below
  std::vector<std::unique_ptr<App>> apps;            // every application ever registered
  std::vector<Ref<QmsApplication>> appObjects;       // the application objects, same index
  std::vector<bool> registered;                      // still registered
  struct Entry {
    Ref<QmsDocument> document;
    Doc doc;
  };
  std::vector<Entry> docs;

  // Entry to a member: the test's hook first, then the faults set.
  std::optional<Error> Fault(const char* member) const {
    if (model->onCall) {
      if (auto failure = model->onCall(member)) return failure;
    }
    auto f = model->faults.failMember.find(member);
    if (f == model->faults.failMember.end()) return std::nullopt;
    return f->second;
  }
};

namespace {

class AppObj : public automation::RefCountedBase, public QmsApplication {
 public:
  // The application object keeps the add-in's object for as long as someone
  // holds it; the manager's own record keeps only its identity.
  AppObj(ManagerModel::State& s, std::size_t index, Ref<automation::Object> appObject)
      : s_(s), index_(index), appObject_(std::move(appObject)) {
    s_.liveApps.push_back(this);
  }
  ~AppObj() override { std::erase(s_.liveApps, this); }
  void ReleaseAppObject() { appObject_ = nullptr; }
  Status SetProcessId(std::string& processId) override {
    if (auto e = s_.Fault("ProcessId")) return *e;
    s_.apps[index_]->processId = processId;
    return Status::Ok();
  }
  Result<Ref<automation::Object>> AppObject() override {
    if (auto e = s_.Fault("AppObject")) return *e;
    return appObject_;
  }
  std::size_t index() const { return index_; }

 private:
  ManagerModel::State& s_;
  std::size_t index_;
  Ref<automation::Object> appObject_;
};

class DocObj : public automation::RefCountedBase, public QmsDocument {
 public:
  DocObj(ManagerModel::State& s, std::string name, std::size_t app) : s_(s), name_(std::move(name)), app_(app) {}
  Result<std::string> DocName() override {
    if (auto e = s_.Fault("DocName")) return *e;
    return name_;
  }
  Result<Ref<QmsApplication>> App() override {
    if (auto e = s_.Fault("App")) return *e;
    return s_.appObjects[app_];
  }

 private:
  ManagerModel::State& s_;
  std::string name_;
  std::size_t app_;
};

class DocsObj : public automation::RefCountedBase, public QmsDocuments {
 public:
  DocsObj(ManagerModel::State& s, std::vector<Ref<QmsDocument>> docs) : s_(s), docs_(std::move(docs)) {}
  Result<Ref<QmsDocument>> Item(Variant& index) override {
    if (auto e = s_.Fault("Item")) return *e;
    if (s_.model->faults.nullItem) return Ref<QmsDocument>();
    auto i = automation::ToLong(index);
    if (!i) return i.error();
    if (*i < 1 || *i > static_cast<std::int32_t>(docs_.size())) return automation::errors::SubscriptOutOfRange();
    return docs_[static_cast<std::size_t>(*i - 1)];
  }
  Result<std::int32_t> Count() override {
    if (auto e = s_.Fault("Count")) return *e;
    return static_cast<std::int32_t>(docs_.size());
  }

 private:
  ManagerModel::State& s_;
  std::vector<Ref<QmsDocument>> docs_;
};

class RegMgrObj : public automation::RefCountedBase, public QmsRegistrationManager {
 public:
  explicit RegMgrObj(ManagerModel::State& s) : s_(s) {}

  Result<Ref<QmsApplication>> RegisterApp(std::int16_t& kind, Ref<automation::Object>& application) override {
    if (auto e = s_.Fault("RegisterApp")) return *e;
    if (s_.model->faults.nullRegisterApp) return Ref<QmsApplication>();
    const std::size_t index = s_.apps.size();
    s_.apps.push_back(std::make_unique<ManagerModel::App>(ManagerModel::App{kind, "", application.Address()}));
    Ref<QmsApplication> app(new AppObj(s_, index, application));
    s_.appObjects.push_back(app);
    s_.registered.push_back(true);
    return app;
  }

  Status UnRegisterApp(Ref<QmsApplication>& app, std::int16_t& /*kind*/) override {
    if (auto e = s_.Fault("UnRegisterApp")) return *e;
    if (auto* a = dynamic_cast<AppObj*>(app.get())) {
      s_.registered[a->index()] = false;
      s_.appObjects[a->index()] = nullptr;  // the manager keeps no reference to the add-in
    }
    if (s_.model->faults.replaceOnUnregister) app = nullptr;
    return Status::Ok();
  }

  Result<Ref<QmsDocument>> RegisterDoc(Ref<QmsApplication>& app, std::string& name,
                                       Ref<QmcDocProject>& docProject) override {
    ++s_.model->registerDocCalls;
    if (s_.model->whileRegisterDoc) s_.model->whileRegisterDoc();
    if (auto e = s_.Fault("RegisterDoc")) return *e;  // read after the hook: the object must still be alive
    if (s_.model->faults.failRegisterDocOnCall == s_.model->registerDocCalls) return s_.model->faults.registerDocError;
    auto* a = dynamic_cast<AppObj*>(app.get());
    if (!a) return Error{-2147024809, "The parameter is incorrect."};
    ManagerModel::Doc doc{name, s_.apps[a->index()]->kind, a->index(), "", "", "", Variant(), false};
    if (auto* p = dynamic_cast<DocProjectModel*>(docProject.get())) {
      doc.projectName = p->name;
      doc.projectFullName = p->fullName;
      doc.comment = p->comment;
      doc.timeStamp = p->timeStamp;
      doc.container = static_cast<bool>(p->container);
    }
    Ref<QmsDocument> document(new DocObj(s_, name, a->index()));
    s_.docs.push_back({document, doc});
    return document;
  }

  Status UnRegisterDoc(Ref<QmsDocument>& document, Ref<QmsApplication>& app, std::string& name) override {
    if (auto e = s_.Fault("UnRegisterDoc")) return *e;
    // What the caller named beside the document, kept as it came.
    std::string withdrawal = "document ";
    auto doc = std::find_if(s_.docs.begin(), s_.docs.end(), [&](const auto& entry) { return entry.document == document; });
    withdrawal += doc != s_.docs.end() ? doc->doc.name : document ? "unknown" : "nothing";
    auto* a = dynamic_cast<AppObj*>(app.get());
    withdrawal += ", app " + (a ? std::to_string(a->index() + 1) : app ? "unknown" : "nothing") + ", name \"" + name + "\"";
    s_.model->withdrawals.push_back(std::move(withdrawal));
    for (auto it = s_.docs.begin(); it != s_.docs.end(); ++it) {
      if (it->document == document) {
        s_.docs.erase(it);
        return Status::Ok();
      }
    }
    return Error{-2147024809, "The parameter is incorrect."};
  }

 private:
  ManagerModel::State& s_;
};

class ManagerObj : public automation::RefCountedBase, public QmsIntegrationManager {
 public:
  explicit ManagerObj(ManagerModel::State& s) : s_(s) {}
  Result<Ref<QmsDocuments>> FindDocuments(std::int16_t& kind, std::string& name) override {
    if (auto e = s_.Fault("FindDocuments")) return *e;
    std::vector<Ref<QmsDocument>> found;
    for (const auto& entry : s_.docs)
      if (entry.doc.kind == kind && (name.empty() || entry.doc.name == name)) found.push_back(entry.document);
    return Ref<QmsDocuments>(new DocsObj(s_, std::move(found)));
  }
  Result<Ref<QmsRegistrationManager>> RegistrationManager() override {
    if (auto e = s_.Fault("RegistrationManager")) return *e;
    if (s_.model->faults.nullRegistrationManager) return Ref<QmsRegistrationManager>();
    // A new one each time, held by nobody else.
    return Ref<QmsRegistrationManager>(new RegMgrObj(s_));
  }

 private:
  ManagerModel::State& s_;
};

}  // namespace

ManagerModel::ManagerModel() : state_(std::make_unique<State>()) { state_->model = this; }
ManagerModel::~ManagerModel() = default;

Ref<QmsIntegrationManager> ManagerModel::Manager() { return Ref<QmsIntegrationManager>(new ManagerObj(*state_)); }

void ManagerModel::ReleaseApplicationObjects() {
  auto live = state_->liveApps;
  for (AppObj* app : live) {
    if (std::find(state_->liveApps.begin(), state_->liveApps.end(), app) != state_->liveApps.end())
      static_cast<AppObj*>(app)->ReleaseAppObject();
  }
}

Ref<automation::Object> ManagerModel::AppObjectFor(const std::string& processId) const {
  for (std::size_t i = 0; i < state_->apps.size(); ++i) {
    if (!state_->registered[i] || state_->apps[i]->processId != processId || !state_->appObjects[i]) continue;
    auto object = state_->appObjects[i]->AppObject();
    if (object) return *object;
  }
  return {};
}

std::vector<const ManagerModel::App*> ManagerModel::Applications() const {
  std::vector<const App*> out;
  for (std::size_t i = 0; i < state_->apps.size(); ++i)
    if (state_->registered[i]) out.push_back(state_->apps[i].get());
  return out;
}

std::vector<ManagerModel::Doc> ManagerModel::Documents() const {
  std::vector<Doc> out;
  for (const auto& entry : state_->docs) out.push_back(entry.doc);
  return out;
}

bool ManagerModel::SetFault(const std::string& name, std::int32_t value, const std::string& text) {
  if (name == "null:RegistrationManager") faults.nullRegistrationManager = value != 0;
  else if (name == "null:RegisterApp") faults.nullRegisterApp = value != 0;
  else if (name == "null:Item") faults.nullItem = value != 0;
  else if (name == "RegisterDoc.failOnCall") faults.failRegisterDocOnCall = value + registerDocCalls;
  else if (name == "replace-on-unregister") faults.replaceOnUnregister = value != 0;
  else if (name.starts_with("fail:")) faults.failMember[name.substr(5)] = {value, text};
  else return false;
  return true;
}

std::string ManagerModel::Dump() const {
  std::ostringstream out;
  out << "applications:\n";
  for (std::size_t i = 0; i < state_->apps.size(); ++i)
    if (state_->registered[i])
      out << "  app " << i + 1 << " kind=" << state_->apps[i]->kind << " pid=" << state_->apps[i]->processId << "\n";
  out << "documents:\n";
  for (const auto& entry : state_->docs) {
    const std::string& pid = state_->apps[entry.doc.app]->processId;
    out << "  " << entry.doc.name << " kind=" << entry.doc.kind << " app=" << entry.doc.app + 1 << " pid=" << pid
        << " project=" << entry.doc.projectName << "\n";
  }
  return out.str();
}

}  // namespace zandrel::testbed
