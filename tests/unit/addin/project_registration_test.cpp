// What the behaviour cases (the .cases files) cannot show: addresses in the
// log as numbers, and a duplicate registered behind the add-in's back.

#include <gtest/gtest.h>

#include "model_object.h"
#include "support/addin_fixture.h"
#include "support/log_lines.h"

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
  void Open(std::initializer_list<const char*> projects) {
    std::vector<testbed::ProjectInfo> list;
    for (const char* p : projects) list.push_back({p, std::string("C:\\s\\") + p + ".vcproj"});
    ide.OpenSolution("C:\\s\\a.sln", list);
    Drain();
    TakeLines();
  }
  testing_support::AddInRef connect;
};

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
  // The add-in's set of this IDE's documents keeps the first of the two: it
  // withdraws that one when the project goes, and the other stays.
  ASSERT_TRUE(ide.RemoveProject("P1"));
  Drain();
  std::vector<std::string> left;
  for (const auto& doc : manager.Documents()) left.push_back(doc.name);
  EXPECT_EQ(left, (std::vector<std::string>{"c:\\s\\p1.vcproj"}));
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

// An address in the log is a signed 32-bit number: its low 32 bits, and the
// FinalConstruct line names the object's own.
TEST_F(Registration, TheAddressIsTheObjects) {
  const std::pair<std::uintptr_t, const char*> addresses[] = {
      {0, "0"}, {0x12345678u, "305419896"}, {0x7FFFFFFFu, "2147483647"}, {0x80000000u, "-2147483648"}, {0xFFFFFFFFu, "-1"}};
  for (const auto& [address, shown] : addresses) EXPECT_EQ(shared::LogAddress(static_cast<std::intptr_t>(address)), shown);
  if constexpr (sizeof(std::uintptr_t) == 8) {
    EXPECT_EQ(shared::LogAddress(static_cast<std::intptr_t>(std::uint64_t{0x7FFF80000005})), "-2147483643");
    EXPECT_EQ(shared::LogAddress(static_cast<std::intptr_t>(std::uint64_t{0x100000000})), "0");
  }
  auto fresh = testing_support::AddInRef::Create(&outside);
  EXPECT_EQ(LogLines().at(0), T("FinalConstruct zandrel " + shared::LogAddress(fresh.Face().Address())));
}

}  // namespace
}  // namespace zandrel::addin
