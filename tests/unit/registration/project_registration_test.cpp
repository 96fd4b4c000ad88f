// Registering projects as documents, withdrawing them, and finding this IDE's
// documents among every IDE's.

#include <gtest/gtest.h>

#include "model_object.h"
#include "support/addin_fixture.h"
#include "support/connect_probe.h"

namespace zandrel::addin {
namespace {

using namespace testing_support;
using Lines = std::vector<std::string>;

class Registration : public AddinFixture {
 protected:
  Registration() {
    connect = Connected();
    TakeLines();
  }
  Lines Names() {
    Lines names;
    for (const auto& d : manager.Documents()) names.push_back(d.name);
    return names;
  }
  void Open(std::initializer_list<const char*> projects) {
    std::vector<testbed::ProjectInfo> list;
    for (const char* p : projects) list.push_back({p, std::string("C:\\s\\") + p + ".vcproj"});
    ide.OpenSolution("C:\\s\\a.sln", list);
    Drain();
    TakeLines();
  }
  automation::Ref<Connect> connect;
};

TEST_F(Registration, RegistersEachProjectOnceWithItsProperties) {
  Open({"P1", "P2"});
  ASSERT_EQ(Names(), (Lines{"C:\\s\\P1.vcproj", "C:\\s\\P2.vcproj"}));
  const auto doc = manager.Documents()[0];
  EXPECT_EQ(doc.projectName, "P1");
  EXPECT_EQ(doc.projectFullName, "C:\\s\\P1.vcproj");
  EXPECT_EQ(doc.comment, "");
  EXPECT_EQ(doc.timeStamp.type(), automation::VarType::Date);
  EXPECT_FALSE(doc.container);
  EXPECT_EQ(doc.kind, 3);
  // Every project already registered: nothing registered, nothing withdrawn.
  EXPECT_TRUE(connect->RegisterProjects());
  EXPECT_EQ(manager.registerDocCalls, 2);
  // The owner test reads this add-in's MSDEVPid, and the owner's (here the same
  // add-in) by name: each read writes its line.
  EXPECT_EQ(TakeLines(), (Lines{T("    BEGIN RegisterProjects"), T("    GetDocs()=2"), T("qmcIDEAddIn Get MSDEVPid:  <Stand-in IDE 7.10 PID=1234 HWND=10030>"), T("qmcIDEAddIn Get MSDEVPid:  <Stand-in IDE 7.10 PID=1234 HWND=10030>"), T("qmcIDEAddIn Get MSDEVPid:  <Stand-in IDE 7.10 PID=1234 HWND=10030>"), T("qmcIDEAddIn Get MSDEVPid:  <Stand-in IDE 7.10 PID=1234 HWND=10030>"),
                                T("      RegisterProjects: Projects.Count=2"), T("    END RegisterProjects(): ")}));
}

TEST_F(Registration, NoProjectListWithdrawsEveryDocument) {
  Open({"P1", "P2"});
  ide.vcProjectsAvailable = false;
  EXPECT_TRUE(connect->RegisterProjects());
  EXPECT_TRUE(manager.Documents().empty());
  EXPECT_EQ(TakeLines(), (Lines{T("    BEGIN RegisterProjects"), T("    GetDocs()=2"), T("qmcIDEAddIn Get MSDEVPid:  <Stand-in IDE 7.10 PID=1234 HWND=10030>"), T("qmcIDEAddIn Get MSDEVPid:  <Stand-in IDE 7.10 PID=1234 HWND=10030>"), T("qmcIDEAddIn Get MSDEVPid:  <Stand-in IDE 7.10 PID=1234 HWND=10030>"), T("qmcIDEAddIn Get MSDEVPid:  <Stand-in IDE 7.10 PID=1234 HWND=10030>"),
                                W("      RegisterProjects: Projects Is Nothing"),
                                T("      RegisterProjects:       m_RegMgr.UnRegisterDoc(C:\\s\\P1.vcproj)"),
                                T("      RegisterProjects:       m_RegMgr.UnRegisterDoc(C:\\s\\P2.vcproj)"),
                                T("    END RegisterProjects(): ")}));
}

TEST_F(Registration, APathDifferingOnlyInLetterCaseCountsAsRegistered) {
  Open({"P1"});
  ide.RenameProject("P1", {"P1", "c:\\S\\p1.VCPROJ"});
  Drain();
  EXPECT_EQ(Names(), Lines{"C:\\s\\P1.vcproj"});
  EXPECT_EQ(manager.registerDocCalls, 1);
}

TEST_F(Registration, TheInterruptFlagSetBeforeTheRun) {
  Open({"P1", "P2"});
  ConnectProbe(*connect).queueInterrupt() = true;
  EXPECT_TRUE(connect->RegisterProjects());
  Lines lines = TakeLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), E("      RegisterProjects: ASYNC m_blnQueueInterrupt - break")), 1);
  EXPECT_TRUE(manager.Documents().empty());  // not visited, so withdrawn

  ide.CloseSolution();  // no projects now; the flag is still up
  ConnectProbe(*connect).queueInterrupt() = true;
  EXPECT_TRUE(connect->RegisterProjects());
  lines = TakeLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), E("      RegisterProjects: ASYNC m_blnQueueInterrupt - break")), 0);
}

TEST_F(Registration, AFailureOnTheThirdOfFiveNewProjects) {
  Open({"OLD"});
  outside.docProjectFailsOn = outside.docProjectsCreated + 3;
  std::vector<testbed::ProjectInfo> five;
  for (const char* p : {"P1", "P2", "P3", "P4", "P5"}) five.push_back({p, std::string("C:\\s\\") + p + ".vcproj"});
  ide.OpenSolution("C:\\s\\b.sln", five);  // its event stays queued: the run below is direct
  TakeLines();
  EXPECT_FALSE(connect->RegisterProjects());
  // P1 and P2 registered, P4 and P5 not looked at, OLD (no longer a project) withdrawn.
  EXPECT_EQ(Names(), (Lines{"C:\\s\\P1.vcproj", "C:\\s\\P2.vcproj"}));
  EXPECT_EQ(outside.docProjectsCreated, outside.docProjectFailsOn);
  const Lines lines = TakeLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       E("      RegisterProjects: New qmcDocProject FAIL: Class not registered")),
            1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), T("      RegisterProjects:       m_RegMgr.UnRegisterDoc(C:\\s\\OLD.vcproj)")), 1);
}

TEST_F(Registration, RemovedProjectsAreWithdrawnEvenWhenAnotherFails) {
  Open({"P1", "P2"});
  ide.RemoveProject("P1");
  ide.AddProject({"P3", "C:\\s\\P3.vcproj"});
  manager.faults.failRegisterDocOnCall = manager.registerDocCalls + 1;
  TakeLines();
  EXPECT_FALSE(connect->RegisterProjects());
  EXPECT_EQ(Names(), Lines{"C:\\s\\P2.vcproj"});
  const Lines lines = TakeLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       E("      RegisterProjects: RegisterDoc(C:\\s\\P3.vcproj) NULL qmsDocument returned: Unspecified error")),
            1);
}

// A withdrawal that fails is logged like one that works, and the next is
// still made.
TEST_F(Registration, AFailedWithdrawalIsLoggedAndTheNextOneMade) {
  Open({"P1", "P2", "P3"});
  ide.RemoveProject("P1");
  ide.RemoveProject("P2");
  manager.faults.failMember["UnRegisterDoc"] = {-2147023174, "The RPC server is unavailable."};
  TakeLines();
  EXPECT_TRUE(connect->RegisterProjects());
  const Lines lines = TakeLines();
  for (const char* p : {"P1", "P2"})
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         T(std::string("      RegisterProjects:       m_RegMgr.UnRegisterDoc(C:\\s\\") + p + ".vcproj)")),
              1)
        << p;
  EXPECT_EQ(Names(), (Lines{"C:\\s\\P1.vcproj", "C:\\s\\P2.vcproj", "C:\\s\\P3.vcproj"}));
}

// A withdrawal whose document name cannot be read is logged under the step
// before it: the last registration, the last withdrawal, or none yet.
TEST_F(Registration, AWithdrawalWithoutANameIsLoggedUnderTheStepBefore) {
  for (const bool newProject : {true, false}) {
    Open({"P1", "P2", "P3"});
    ide.RemoveProject("P1");
    ide.RemoveProject("P2");
    if (newProject) ide.AddProject({"P4", "C:\\s\\P4.vcproj"});
    TakeLines();
    // GetDocs reads the three names; the second pass's first read fails.
    int names = 0;
    manager.onCall = [&](const char* member) -> std::optional<automation::Error> {
      if (std::string(member) == "DocName" && ++names == 4) return automation::Error{-2147023174, "The RPC server is unavailable."};
      return std::nullopt;
    };
    EXPECT_TRUE(connect->RegisterProjects());
    manager.onCall = nullptr;
    const Lines lines = TakeLines();
    const Lines tail(lines.end() - 3, lines.end());
    EXPECT_EQ(tail, (Lines{T(newProject ? "      RegisterProjects: RegisterDoc(C:\\s\\P4.vcproj)" : "      RegisterProjects: "),
                           T("      RegisterProjects:       m_RegMgr.UnRegisterDoc(C:\\s\\P2.vcproj)"),
                           T("    END RegisterProjects(): ")}))
        << newProject;
    ide.CloseSolution();
    Drain();
  }
}

TEST_F(Registration, AFailureAfterAnEarlierSuccessKeepsTheDocumentReference) {
  ide.OpenSolution("C:\\s\\a.sln", {{"P1", "C:\\s\\P1.vcproj"}, {"P2", "C:\\s\\P2.vcproj"}});
  manager.faults.failRegisterDocOnCall = 2;
  TakeLines();
  EXPECT_FALSE(connect->RegisterProjects());
  const Lines lines = TakeLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       E("      RegisterProjects: FAIL RegisterDoc(C:\\s\\P2.vcproj) qmsDocument OK BUT FAIL ERR.NUMBER: "
                         "Unspecified error")),
            1);
}

TEST_F(Registration, TwoIdesWithTheSameProjectEachSeeTheirOwn) {
  Open({"P1"});
  os.process.pid = 5678;
  auto other = Connected();
  ide.RenameSolution("C:\\s\\a.sln");  // both IDEs' add-ins hear it; each works on its own documents
  Drain();
  auto docs = manager.Documents();
  ASSERT_EQ(docs.size(), 2u);
  EXPECT_EQ(docs[0].name, docs[1].name);
  EXPECT_EQ(ConnectProbe(*connect).GetDocs().Count(), 1);
  EXPECT_EQ(ConnectProbe(*other).GetDocs().Count(), 1);
  automation::VariantArray custom;
  other->OnDisconnection(0, custom);
}

TEST_F(Registration, DuplicateNamesKeepTheFirst) {
  Open({"P1"});
  // A second registration of the same name, by hand.
  auto im = manager.Manager();
  auto regMgr = *im->RegistrationManager();
  std::int16_t kind = 3;
  automation::Ref<automation::Object> owner = connect->Me();
  automation::Ref<registration::QmsApplication> app = *regMgr->RegisterApp(kind, owner);
  std::string name = "c:\\s\\p1.vcproj";
  automation::Ref<registration::QmcDocProject> none;
  ASSERT_TRUE(regMgr->RegisterDoc(app, name, none).ok());
  auto docs = ConnectProbe(*connect).GetDocs();
  ASSERT_EQ(docs.Count(), 1);
  EXPECT_EQ(*(*docs.Item(1))->DocName(), "C:\\s\\P1.vcproj");
}

TEST_F(Registration, ADocumentWhoseOwnerCannotBeAskedIsEveryones) {
  os.process.pid = 5678;
  auto other = Connected();
  ide.OpenSolution("C:\\s\\a.sln", {{"GONE", "C:\\s\\GONE.vcproj"}});
  Drain();
  ASSERT_EQ(manager.Documents().size(), 2u);  // both add-ins registered it
  manager.faults.failMember["AppObject"] = {-2147023174, "The RPC server is unavailable."};
  // The other IDE's document now fails its owner test: this IDE takes it as its own.
  EXPECT_EQ(ConnectProbe(*connect).GetDocs().Count(), 1);  // duplicate names keep the first
  manager.faults.failMember.clear();
  automation::VariantArray custom;
  other->OnDisconnection(0, custom);
}

// Each read of the owner test is a step of its own: when the document's App
// or its AppObject cannot be read, this add-in's own MSDEVPid is still read
// (and logged), and the owner's read fails on nothing, making a match.
TEST_F(Registration, TheOwnerTestReadsThisAddinsPidWhateverFailsBefore) {
  Open({"P1", "P2"});
  for (const char* member : {"App", "AppObject"}) {
    SCOPED_TRACE(member);
    manager.faults.failMember[member] = {-2147023174, "The RPC server is unavailable."};
    EXPECT_EQ(ConnectProbe(*connect).GetDocs().Count(), 2);
    EXPECT_EQ(TakeLines(), (Lines{T("    GetDocs()=2"), T("qmcIDEAddIn Get MSDEVPid:  <Stand-in IDE 7.10 PID=1234 HWND=10030>"),
                                  T("qmcIDEAddIn Get MSDEVPid:  <Stand-in IDE 7.10 PID=1234 HWND=10030>")}));
    manager.faults.failMember.clear();
  }
}

// Addresses in the log are signed 32-bit decimal numbers, in a 64-bit build
// too (its objects live above 4 GiB here).
TEST_F(Registration, EveryAddressInTheLogIsA32BitNumber) {
  Open({"P1"});
  ide.AddProject({"P2", "C:\\s\\P2.vcproj"});
  Drain();
  automation::VariantArray custom;
  connect->OnBeginShutdown(custom);
  connect = nullptr;
  os.files.files[kLog].clear();
  {
    auto again = Connected(false);
    ide.AddProject({"P3", "C:\\s\\P3.vcproj"});
    Drain();
    again->OnBeginShutdown(custom);
  }
  const std::regex address(R"((zandrel |RETURN=|m_RegMgr=|m_IntgMgrApp=|\) =|TimerFrm\.\w+\(|StartTimer\()(-?[0-9]+))");
  int seen = 0;
  for (const std::string& line : LogLines()) {
    for (std::sregex_iterator m(line.begin(), line.end(), address), end; m != end; ++m) {
      ++seen;
      const long long value = std::stoll((*m)[2].str());
      EXPECT_TRUE(value >= INT32_MIN && value <= INT32_MAX) << line;
    }
  }
  EXPECT_GT(seen, 5);
}

// The DEBUG line before each RegisterDoc shows the objects the call uses: the
// registration manager and the application object start-up logged.
TEST_F(Registration, TheRegisterDocLineShowsTheRegistrationManagerAndTheApplication) {
  automation::VariantArray custom;
  connect->OnBeginShutdown(custom);
  os.files.files[kLog].clear();
  auto again = Connected();
  ide.OpenSolution("C:\\s\\a.sln", {{"P1", "C:\\s\\P1.vcproj"}});
  Drain();
  std::string regMgr, app, line;
  const std::regex started(R"(^ DEBUG    DIRUDEVU  m_RegMgr=(-?[0-9]+)$)");
  const std::regex registered(R"(m_RegMgr\.RegisterApp\([0-9]+\) =(-?[0-9]+)$)");
  for (const std::string& l : LogLines()) {
    std::smatch m;
    if (std::regex_search(l, m, started)) regMgr = m[1];
    if (std::regex_search(l, m, registered)) app = m[1];
    if (l.find("      m_RegMgr=") != std::string::npos) line = l;
  }
  ASSERT_FALSE(regMgr.empty());
  ASSERT_FALSE(app.empty());
  EXPECT_EQ(line, D("      m_RegMgr=" + regMgr + " m_IntgMgrApp=" + app));
}

// A manager that finds no documents (FindDocuments fails): the line says so,
// and every project is registered as new.
TEST_F(Registration, AManagerThatFindsNothing) {
  manager.faults.failMember["FindDocuments"] = {-2147467259, "Unspecified error"};
  Open({"P1"});
  manager.faults.failMember.clear();
  ide.AddProject({"P2", "C:\\s\\P2.vcproj"});
  manager.faults.failMember["FindDocuments"] = {-2147467259, "Unspecified error"};
  Drain();
  const Lines lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), T("    GetDocs() is Nothing")), lines.end());
  EXPECT_EQ(Names(), (Lines{"C:\\s\\P1.vcproj", "C:\\s\\P1.vcproj", "C:\\s\\P2.vcproj"}));
}

// Documents the manager answers Nothing for are skipped: each project then
// counts as new, and nothing is withdrawn.
TEST_F(Registration, ADocumentAnsweredAsNothingIsSkipped) {
  Open({"P1"});
  manager.faults.nullItem = true;
  ide.AddProject({"P2", "C:\\s\\P2.vcproj"});
  Drain();
  manager.faults.nullItem = false;
  EXPECT_EQ(Names(), (Lines{"C:\\s\\P1.vcproj", "C:\\s\\P1.vcproj", "C:\\s\\P2.vcproj"}));
}

TEST_F(Registration, ActiveProject) {
  // No project: nothing stored, and no project asked for.
  std::vector<std::string> calls;
  testbed::ModelObject::onCall = [&](std::string_view member) -> std::optional<automation::Error> {
    calls.emplace_back(member);
    return std::nullopt;
  };
  EXPECT_EQ(connect->ActiveProject(), "");
  EXPECT_EQ(calls, (Lines{"GetObject", "Count"}));
  // A count that cannot be read counts as none.
  calls.clear();
  testbed::ModelObject::onCall = [&](std::string_view member) -> std::optional<automation::Error> {
    calls.emplace_back(member);
    if (member == "Count") return automation::Error{-2147467259, "Unspecified error"};
    return std::nullopt;
  };
  EXPECT_EQ(connect->ActiveProject(), "");
  testbed::ModelObject::onCall = nullptr;
  EXPECT_EQ(calls, (Lines{"GetObject", "Count"}));
  Open({"P1", "P2"});
  EXPECT_EQ(connect->ActiveProject(), "C:\\s\\P1.vcproj");
  ide.RemoveProject("P1");
  EXPECT_EQ(connect->ActiveProject(), "C:\\s\\P1.vcproj");  // remembered
  std::string path = "D:\\elsewhere\\X.vcproj";
  connect->ActiveProject(path);
  EXPECT_EQ(connect->ActiveProject(), "D:\\elsewhere\\X.vcproj");
  std::string empty;
  connect->ActiveProject(empty);
  TakeLines();
  EXPECT_EQ(connect->ActiveProject(), "C:\\s\\P2.vcproj");  // picked again
  EXPECT_EQ(TakeLines(), Lines{});  // nothing is logged
}

}  // namespace
}  // namespace zandrel::addin
