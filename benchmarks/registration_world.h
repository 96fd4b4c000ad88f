#pragma once
// A solution registered with the integration manager, on in-process
// stand-ins, for measuring RegisterProjects: N projects open and their N
// documents registered, optionally beside the documents of other IDEs (each
// with its own add-in and its own process id) and stale documents of projects
// no longer in the solution. Beside it, the bare sequence of the calls that
// RegisterProjects makes, and nothing else.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "support/native_connect.h"
#include "automation/object.h"
#include "ide/ide_model.h"
#include "manager/manager_model.h"
#include "support/fakes.h"
#include "shared/debug_logger.h"

namespace zandrel::bench {

using automation::Ref;
using automation::Variant;

class Outside : public addin::OutsideComponents {
 public:
  explicit Outside(testbed::ManagerModel& m) : m_(m) {}
  automation::Result<Ref<registration::QmsIntegrationManager>> GetRunningManager(const std::string&) override {
    return m_.Manager();
  }
  automation::Result<Ref<registration::QmsIntegrationManager>> CreateManager(const std::string&) override {
    return m_.Manager();
  }
  automation::Result<Ref<registration::QmcDocProject>> CreateDocProject() override {
    return Ref<registration::QmcDocProject>(new testbed::DocProjectModel());
  }

 private:
  testbed::ManagerModel& m_;
};

// An IDE with its add-in connected and a solution of n projects registered.
struct RegisteredIde {
  RegisteredIde(Outside& outside, const std::string& folder, int n) {
    std::vector<testbed::ProjectInfo> projects;
    for (int i = 0; i < n; ++i) projects.push_back({"P" + std::to_string(i), folder + "\\P" + std::to_string(i) + ".vcproj"});
    connect = testing_support::AddInRef::Create(&outside);
    automation::VariantArray custom;
    connect->OnConnection(ide.Root(), 1, ide.AddIn(), custom);
    ide.OpenSolution(folder + "\\big.sln", projects);
    connect->RegisterProjects();  // every project registered once
  }
  ~RegisteredIde() {
    automation::VariantArray custom;
    connect->OnBeginShutdown(custom);
  }
  testbed::IdeModel ide;
  testing_support::AddInRef connect;
};

struct World {
  // n projects of this IDE; otherIdes more IDEs (other processes) with n
  // documents each, registered first.
  explicit World(int n, int otherIdes = 0) : outside(manager) {
    shared::ResetDebugLoggerForTesting();  // no settings: nothing is logged
    const std::int32_t myPid = os.process.pid;
    for (int k = 1; k <= otherIdes; ++k) {
      os.process.pid = myPid + k;
      others.push_back(std::make_unique<RegisteredIde>(outside, "C:\\other" + std::to_string(k), n));
    }
    os.process.pid = myPid;
    me = std::make_unique<RegisteredIde>(outside, "C:\\big", n);
    connect = me->connect;
  }
  platform::fake::FakeServices os;
  testbed::ManagerModel manager;
  Outside outside;
  std::vector<std::unique_ptr<RegisteredIde>> others;
  std::unique_ptr<RegisteredIde> me;
  testing_support::AddInRef connect;
};

// Documents of projects no longer in the solution, registered for this IDE:
// the next RegisterProjects withdraws them.
inline void RegisterStaleDocuments(World& world, std::int32_t n) {
  auto registrationManager = *world.manager.Manager()->RegistrationManager();
  std::int16_t kind = 3;
  std::string all;
  auto docs = *world.manager.Manager()->FindDocuments(kind, all);
  // This IDE's application: that of its last document (registered last).
  Variant last(*docs->Count());
  auto app = *(*docs->Item(last))->App();
  for (std::int32_t i = 0; i < n; ++i) {
    std::string name = "C:\\big\\Stale" + std::to_string(i) + ".vcproj";
    Ref<registration::QmcDocProject> project(new testbed::DocProjectModel());
    (void)registrationManager->RegisterDoc(app, name, project);
  }
}

// The calls of RegisterProjects and nothing else, on the same stand-ins.
// The document set: each document, its application and that application's
// object; this add-in's own MSDEVPid (the IDE's Name and Version); the
// owner's MSDEVPid (a call into its add-in); the name of this IDE's. Then each
// project's full path. Then the withdrawal of the stale documents, the last
// ones registered.
inline void BareRegistrationCalls(World& world, std::int32_t stale = 0) {
  auto im = world.manager.Manager();
  Ref<automation::Object> dte = world.me->ide.Root();
  const std::int32_t myPid = world.os.process.pid;
  std::int16_t kind = 3;
  std::string all;
  auto docs = *im->FindDocuments(kind, all);
  const std::int32_t count = *docs->Count();
  for (std::int32_t i = 1; i <= count; ++i) {
    Variant index(i);
    auto doc = *docs->Item(index);
    auto owner = *(*doc->App())->AppObject();
    benchmark::DoNotOptimize(automation::GetProperty(dte, "Name"));
    benchmark::DoNotOptimize(automation::GetProperty(dte, "Version"));
    auto ownerPid = automation::GetProperty(owner, "MSDEVPid");
    if (*automation::ToLong(ownerPid) == myPid) benchmark::DoNotOptimize(doc->DocName());
  }
  auto projects = *automation::ToObject(automation::CallMethod(dte, "GetObject", "VCProjects"));
  const std::int32_t n = *automation::ToLong(automation::GetProperty(projects, "Count"));
  for (std::int32_t i = 1; i <= n; ++i) {
    auto project = *automation::ToObject(automation::CallMethod(projects, "Item", i));
    benchmark::DoNotOptimize(automation::GetProperty(project, "FullName"));
  }
  if (stale == 0) return;
  auto registrationManager = *im->RegistrationManager();
  for (std::int32_t i = count - stale + 1; i <= count; ++i) {
    Variant index(i);
    auto doc = *docs->Item(index);
    benchmark::DoNotOptimize(doc->DocName());
    Ref<registration::QmsApplication> none;
    std::string noName;
    (void)registrationManager->UnRegisterDoc(doc, none, noName);
  }
}

}  // namespace zandrel::bench
