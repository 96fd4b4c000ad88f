// zandrel-doctor's portable part: the logger's settings as the add-in reads
// them, one finding a line, and the report as text and JSON.

#include <gtest/gtest.h>

#include <functional>

#include "doctor/logger_check.h"
#include "doctor/report.h"
#include "platform/fake/fakes.h"
#include "shared/debug_logger.h"

namespace zandrel::doctor {
namespace {

const std::string kKey = std::string("HKEY_LOCAL_MACHINE\\") + shared::kSettingsKey;
const RegistryView kIdeView{"32-bit view", kView32, "the x86 add-in", true};
const RegistryView kOtherView{"64-bit view", kView64, "the x64 build", false};

class LoggerCheck : public ::testing::Test {
 protected:
  Report Check(const RegistryView& view = kIdeView) {
    Report report;
    CheckLogger(report, os.registry, view, [this](const std::string& path) {
      probed.push_back(path);
      return path.find("Z:\\gone\\") == 0 ? std::string("the folder does not exist") : std::string();
    });
    return report;
  }
  platform::fake::FakeServices os;
  std::vector<std::string> probed;
};

TEST_F(LoggerCheck, NoSettingsIsTheDefaultAndFine) {
  const Report report = Check();
  ASSERT_EQ(report.Findings().size(), 1u);
  EXPECT_EQ(report.Findings()[0].level, Level::Ok);
  EXPECT_EQ(report.Findings()[0].reason, "no settings: nothing is logged (the default)");
  EXPECT_EQ(report.ExitCode(), 0);
  // Every open asked for the view.
  ASSERT_FALSE(os.registry.calls.empty());
  EXPECT_NE(os.registry.calls[0].detail.find("access=0x20209"), std::string::npos) << os.registry.calls[0].detail;
}

TEST_F(LoggerCheck, AWorkingSetUpSaysWhatIsLoggedAndWhere) {
  os.registry.SetDword(kKey, "Debug", 0x7F004000);
  os.registry.SetString(kKey, "DebugOutputFile", "C:\\logs\\zandrel.log");
  os.registry.SetString(kKey, "SuppressTimeStamps", "True");
  const Report report = Check();
  EXPECT_EQ(report.Text(),
            "OK   logger: HKLM\\SOFTWARE\\Veltrane Software\\Orvelle\\AddIns\\VisualStudio (32-bit view, read by the "
            "x86 add-in): Debug=0x7F004000: ids DIRUDEVU; levels CRITICAL ERROR WARNING INFO TRACE TIMING DEBUG\n"
            "OK   logger: log file C:\\logs\\zandrel.log (from DebugOutputFile): can be appended to; lines without "
            "time stamps\n"
            "2 OK, 0 WARN, 0 FAIL\n");
  EXPECT_EQ(probed, std::vector<std::string>{"C:\\logs\\zandrel.log"});
  // The logger is left unread for whoever logs next.
  EXPECT_FALSE(shared::CurrentLoggerState().m_blnLogInitialized);
}

TEST_F(LoggerCheck, ThePathFallsBackAsTheLoggerMakesIt) {
  os.registry.SetDword(kKey, "Debug", 0x7F004000);
  os.registry.SetString(kKey, "DebugOutputFile", "");
  os.registry.SetString(kKey, "InstallDir", "C:\\Orvelle\\log.txt");
  EXPECT_EQ(Check().Findings()[1].what, "log file C:\\Orvelle\\log.txt (from InstallDir, DebugOutputFile being empty)");
  os.registry.SetString(kKey, "InstallDir", "");
  EXPECT_EQ(Check().Findings()[1].what,
            "log file C:\\qmsdebuglog.txt (the default, DebugOutputFile and InstallDir being empty)");
}

// A settings key without Debug (for example one where the modeling tool
// wrote only InstallDir), or with Debug 0, is the default: logging off.
TEST_F(LoggerCheck, SettingsWithoutDebugAreTheDefaultState) {
  for (const bool zero : {false, true}) {
    os.registry.SetString(kKey, "InstallDir", "C:\\Orvelle");
    if (zero) os.registry.SetDword(kKey, "Debug", 0);
    const Report report = Check();
    EXPECT_EQ(report.Findings()[0].level, Level::Ok) << zero;
    EXPECT_EQ(report.Findings()[0].reason, "Debug is 0 or missing: nothing is logged (the default)") << zero;
    EXPECT_NE(report.Findings()[0].fix.find("0x7F004000"), std::string::npos) << zero;
    EXPECT_EQ(report.ExitCode(), 0) << zero;
    EXPECT_TRUE(probed.empty()) << zero;  // no file is tried for a mask that logs nothing
  }
}

TEST_F(LoggerCheck, BrokenSetUpsFailInTheIdesViewAndWarnElsewhere) {
  // Each mask that writes nothing of the add-in's, with its verdict in the
  // IDE's view (elsewhere a FAIL is a WARN) and its reason.
  struct Row {
    const char* name;
    std::function<void()> set;
    Level level;
    std::string reason;
  };
  const Row rows[] = {
      {"text that is no number (a REG_SZ must hold a decimal number)",
       [&] { os.registry.SetString(kKey, "Debug", "0x7F004000"); }, Level::Fail,
       "Debug is \"0x7F004000\", which is no number: nothing is logged"},
      {"levels but not the add-in's id", [&] { os.registry.SetDword(kKey, "Debug", 0x7F000002); }, Level::Fail,
       "Debug=0x7F000002: ids CAT; levels CRITICAL ERROR WARNING INFO TRACE TIMING DEBUG: none of the add-in's "
       "lines is switched on"},
      {"the add-in's id with levels none of its lines has",
       [&] { os.registry.SetDword(kKey, "Debug", 0x29004000); }, Level::Warn,
       "Debug=0x29004000: ids DIRUDEVU; levels CRITICAL INFO TIMING: the add-in writes no line of these levels "
       "(its lines are ERROR, WARNING, TRACE and DEBUG): nothing will be logged"},
  };
  for (const Row& row : rows) {
    row.set();
    const Report report = Check();
    EXPECT_EQ(report.Findings()[0].level, row.level) << row.name;
    EXPECT_EQ(report.Findings()[0].reason, row.reason) << row.name;
    EXPECT_NE(report.Findings()[0].fix.find("0x7F004000"), std::string::npos) << row.name;
    EXPECT_EQ(report.ExitCode(), row.level == Level::Fail ? 1 : 0) << row.name;
    EXPECT_EQ(Check(kOtherView).Findings()[0].level, Level::Warn) << row.name;
  }
  for (std::uint32_t level : {1u, 2u, 4u, 6u}) {  // each level the add-in writes is enough
    os.registry.SetDword(kKey, "Debug", 0x29004000u | (1u << (24 + level)));
    EXPECT_EQ(Check().Findings()[0].level, Level::Ok) << level;
  }

  os.registry.SetDword(kKey, "Debug", 0x40004000);
  os.registry.SetString(kKey, "DebugOutputFile", "Z:\\gone\\x.log");
  const Report report = Check();
  EXPECT_EQ(report.Findings()[0].level, Level::Ok);
  EXPECT_EQ(report.Findings()[1].level, Level::Fail);
  EXPECT_EQ(report.Findings()[1].reason,
            "cannot be opened for appending: the folder does not exist; every line is lost in silence");
}

TEST(DoctorReport, JsonCarriesEveryFindingEscaped) {
  Report report;
  report.Add(Level::Ok, "registration", "class", "C:\\x \"y\"");
  report.Add(Level::Warn, "ide", "AddIns 7.0", "none\tthere", "install");
  report.Add(Level::Fail, "manager", "class", std::string("ctl\x01"), "register it");
  EXPECT_EQ(report.Json(),
            "{\"findings\":[{\"level\":\"OK\",\"area\":\"registration\",\"what\":\"class\",\"reason\":\"C:\\\\x "
            "\\\"y\\\"\",\"fix\":\"\"},{\"level\":\"WARN\",\"area\":\"ide\",\"what\":\"AddIns 7.0\",\"reason\":"
            "\"none\\tthere\",\"fix\":\"install\"},{\"level\":\"FAIL\",\"area\":\"manager\",\"what\":\"class\","
            "\"reason\":\"ctl\\u0001\",\"fix\":\"register it\"}],\"ok\":1,\"warn\":1,\"fail\":1}\n");
  EXPECT_EQ(report.ExitCode(), 1);
  EXPECT_EQ(report.Text(),
            "OK   registration: class: C:\\x \"y\"\nWARN ide: AddIns 7.0: none\tthere\n       fix: install\n"
            "FAIL manager: class: ctl\x01\n       fix: register it\n1 OK, 1 WARN, 1 FAIL\n");
}

}  // namespace
}  // namespace zandrel::doctor
