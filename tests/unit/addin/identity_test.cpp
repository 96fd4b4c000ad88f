// Identity members and main-window discovery.

#include <gtest/gtest.h>

#include "addin/enum_windows_callback.h"
#include "model_object.h"
#include "support/addin_fixture.h"
#include "support/connect_probe.h"

namespace zandrel::addin {
namespace {

using namespace testing_support;
using automation::VariantArray;
using Lines = std::vector<std::string>;

class Identity : public AddinFixture {
 protected:
  void SetUp() override { EnumWindowsCallback::m_lFoundWnd = 0; }
};

TEST_F(Identity, BeforeConnectionAndAfterDisconnection) {
  for (bool disconnected : {false, true}) {
    auto connect = disconnected ? Connected() : Connect::Create(&outside);
    if (disconnected) {
      VariantArray custom;
      connect->OnDisconnection(0, custom);
    }
    TakeLines();
    EXPECT_EQ(connect->Name(), "<zandrel - No Application>");
    EXPECT_EQ(connect->MSDEVPid(), disconnected ? 1234 : 0);
    EXPECT_FALSE(connect->DTE());
    auto wnd = connect->MSDEVMainWnd();
    ASSERT_FALSE(wnd.ok());
    EXPECT_EQ(wnd.error().number, automation::errors::kObjectNotSet);
    EXPECT_EQ(TakeLines(), (Lines{T("Get Name=<zandrel - No Application>"),
                                  T("qmcIDEAddIn Get MSDEVPid:  <TBD MSDEV Name mDTE is NOTHING>"),
                                  T("Get MSDevApp:  Entering..."), T("Get DTE:  Successful Exiting...")}));
  }
}

TEST_F(Identity, WhileConnected) {
  auto connect = Connected();
  TakeLines();
  EXPECT_EQ(connect->Name(), "<Stand-in IDE 7.10 PID=1234>");
  EXPECT_EQ(connect->MSDEVPid(), 1234);
  EXPECT_EQ(*connect->MSDEVMainWnd(), 0x10030);
  EXPECT_EQ(connect->DTE(), ide.Root());
  EXPECT_EQ(connect->Description(), "Veltrane Orvelle Visual Studio .NET AddIn");
  EXPECT_EQ(TakeLines(), (Lines{T("Get Name=<Stand-in IDE 7.10 PID=1234>"),
                                T("qmcIDEAddIn Get MSDEVPid:  <Stand-in IDE 7.10 PID=1234 HWND=10030>"),
                                T("qmcIDEAddIn Get MSDEVMainWnd:  <Stand-in IDE 7.10 PID=1234 HWND=10030>"),
                                T("Get MSDevApp:  Entering..."), T("Get DTE:  Successful Exiting...")}));
}

TEST_F(Identity, AnUnresponsiveIde) {
  auto connect = Connected();
  ide.responsive = false;
  TakeLines();
  EXPECT_EQ(connect->Name(), "<zandrel - Unresponsive Application>");
  EXPECT_EQ(connect->MSDEVPid(), 1234);
  auto wnd = connect->MSDEVMainWnd();
  ASSERT_FALSE(wnd.ok());
  EXPECT_EQ(wnd.error().number, -2147417848);
  EXPECT_EQ(TakeLines(), (Lines{T("Get Name=<zandrel - Unresponsive Application>"),
                                T("qmcIDEAddIn Get MSDEVPid:  <TBD MSDEV Name mDTE is NOT NOTHING!>")}));
}

// The reads behind the MSDEVPid line are calls into the IDE: they are made
// whether the line is written or not, and only its text is left unbuilt.
TEST_F(Identity, MSDEVPidReadsTheIdeWhetherItsLineIsWrittenOrNot) {
  auto connect = Connected();
  std::vector<std::string> calls;
  testbed::ModelObject::onCall = [&](std::string_view member) -> std::optional<automation::Error> {
    calls.emplace_back(member);
    return std::nullopt;
  };
  EXPECT_EQ(connect->MSDEVPid(), 1234);
  const auto logged = calls;
  calls.clear();
  os.registry.SetDword(kKey, "Debug", 0x7F000000);  // every level, but not the add-in's lines
  shared::ResetDebugLoggerForTesting();
  TakeLines();
  EXPECT_EQ(connect->MSDEVPid(), 1234);
  testbed::ModelObject::onCall = nullptr;
  EXPECT_EQ(logged, (std::vector<std::string>{"Name", "Version"}));
  EXPECT_EQ(calls, logged);
  EXPECT_TRUE(TakeLines().empty());
}

// A one-character title is a title; a handle's log text is its two's complement.
TEST_F(Identity, ANegativeWindowHandleShowsItsTwosComplement) {
  os.windows.topLevel = {{-2, 1234, "IDEOwner", "x"}};
  auto connect = Connected();
  const Lines start = TakeLines();
  EXPECT_EQ(std::count(start.begin(), start.end(), T("      WndEnumProc HWND=0xFFFFFFFE Class=IDEOwner TITLE=x")), 1);
  EXPECT_EQ(*connect->MSDEVMainWnd(), -2);
  EXPECT_EQ(TakeLines(), Lines{T("qmcIDEAddIn Get MSDEVMainWnd:  <Stand-in IDE 7.10 PID=1234 HWND=FFFFFFFE>")});
}

TEST_F(Identity, PingShowsItsMessageBox) {
  auto connect = Connected();
  TakeLines();
  connect->Ping();
  ASSERT_EQ(os.messageBoxes.shown.size(), 1u);
  EXPECT_EQ(os.messageBoxes.shown[0].text, "qmcIDEAddin zandrel.Ping");
  EXPECT_EQ(os.messageBoxes.shown[0].caption, "zandrel");
  EXPECT_EQ(os.messageBoxes.shown[0].style, 0u);
  EXPECT_EQ(LogLines(), Lines{});
}

TEST_F(Identity, DiscoveryReadsOnlyWindowsOfItsProcessAndTakesTheFirstMatch) {
  os.windows.topLevel = {{0x100, 7, "IDEOwner", "other process"},
                         {0x200, 1234, "ideowner", "wrong case"},
                         {0x300, 1234, "IDEOwner", ""},
                         {0x400, 1234, "IDEOwner", "second"}};
  auto connect = Connect::Create(&outside);
  TakeLines();
  EXPECT_EQ(ConnectProbe(*connect).GetMyTopWindow(), 0x300);
  EXPECT_EQ(os.windows.reads, (Lines{"class 512", "text 512", "class 768", "text 768", "text 768"}));
  EXPECT_EQ(TakeLines(), (Lines{T("   BEGIN GetMyTopWindow"),
                                T("      WndEnumProc HWND=0x300 Class=IDEOwner TITLE=<UnknownText>"),
                                T("   END GetMyTopWindow")}));
}

// The class name is read whole: one that only begins with IDEOwner is not it.
// A title is read into 255 characters: 254 and the terminating zero.
TEST_F(Identity, AClassNameThatOnlyBeginsWithIdeOwnerIsNotIt) {
  os.windows.topLevel = {{0x600, 1234, "IDEOwnerFrame", "not it"}, {0x700, 1234, "IDEOwner", std::string(300, 't')}};
  auto connect = Connect::Create(&outside);
  TakeLines();
  EXPECT_EQ(ConnectProbe(*connect).GetMyTopWindow(), 0x700);
  EXPECT_EQ(TakeLines()[1], T("      WndEnumProc HWND=0x700 Class=IDEOwner TITLE=" + std::string(254, 't')));
}

TEST_F(Identity, WithoutAMatchTheLastWindowFoundStays) {
  auto connect = Connect::Create(&outside);
  ConnectProbe probe(*connect);
  EXPECT_EQ(probe.GetMyTopWindow(), 0x10030);
  os.windows.topLevel = {{0x500, 1234, "Palette", "p"}};
  EXPECT_EQ(probe.GetMyTopWindow(), 0x10030);
  EnumWindowsCallback::m_lFoundWnd = 0;
  EXPECT_EQ(probe.GetMyTopWindow(), 0);
}

}  // namespace
}  // namespace zandrel::addin
