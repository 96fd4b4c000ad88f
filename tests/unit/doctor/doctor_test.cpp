// zandrel-doctor's report as text and JSON (its findings on the logger's
// settings are in tests/unit/cases/settings.cases), and its switch of the log.

#include <gtest/gtest.h>

#include <map>

#include "doctor/log_switch.h"
#include "doctor/report.h"

namespace zandrel::doctor {
namespace {

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

// The settings key's values, and a refusal from the n-th write on.
class FakeSettings : public SettingsWriter {
 public:
  std::int32_t SetDword(const std::string& name, std::uint32_t value) override {
    return Refuse() ? refusal : (values[name] = "dword " + std::to_string(value), 0);
  }
  std::int32_t SetString(const std::string& name, const std::string& value) override {
    return Refuse() ? refusal : (values[name] = "sz " + value, 0);
  }
  std::int32_t DeleteValue(const std::string& name) override {
    if (Refuse()) return refusal;
    return values.erase(name) ? 0 : 2;
  }
  std::string Where() const override { return "HKLM\\K"; }
  bool Refuse() { return ++calls >= refuseFrom && refuseFrom > 0; }

  std::map<std::string, std::string> values{{"InstallDir", "sz C:\\Orvelle"}, {"SuppressTimeStamps", "sz true"}};
  int calls = 0, refuseFrom = 0;
  std::int32_t refusal = 5;
};

TEST(LogSwitch, MasksAreHexWithOrWithoutPrefix) {
  const std::map<std::string, std::optional<std::uint32_t>> rows{
      {"7F004000", 0x7F004000u}, {"0x7f004000", 0x7F004000u}, {"0XFFFFFFFF", 0xFFFFFFFFu}, {"4000", 0x4000u},
      {"", std::nullopt},        {"0x", std::nullopt},         {"123456789", std::nullopt}, {"7F00400G", std::nullopt},
      {"-1", std::nullopt},      {" 4000", std::nullopt}};
  for (const auto& [text, mask] : rows) EXPECT_EQ(ParseMask(text), mask) << '"' << text << '"';
}

// Each row: what is asked, what the registry does, and what the key holds
// after it (the values not named stay as they were).
TEST(LogSwitch, WritesOnlyItsTwoValuesAndSaysWhy) {
  struct Row {
    const char* name;
    const char* path;  // nullptr: --log-off
    std::uint32_t mask;
    int refuseFrom;
    std::int32_t refusal;
    int exitCode;
    std::map<std::string, std::string> after;
    const char* says;
  };
  const std::map<std::string, std::string> untouched{{"InstallDir", "sz C:\\Orvelle"},
                                                     {"SuppressTimeStamps", "sz true"}};
  auto with = [&](std::map<std::string, std::string> extra) {
    extra.insert(untouched.begin(), untouched.end());
    return extra;
  };
  const std::map<std::string, std::string> on =
      with({{"Debug", "dword 2130722816"}, {"DebugOutputFile", "sz C:\\logs\\z.log"}});
  const Row rows[] = {
      {"on", "C:\\logs\\z.log", kSupportLogMask, 0, 0, 0, on,
       "zandrel-doctor: logging is on: Debug=0x7F004000, DebugOutputFile=C:\\logs\\z.log under HKLM\\K.\n"
       "The IDE reads them when it next starts: restart it, then reproduce the problem."},
      {"on, share", "\\\\srv\\share\\z.log", 0x12004000, 0, 0, 0,
       with({{"Debug", "dword 302006272"}, {"DebugOutputFile", "sz \\\\srv\\share\\z.log"}}), "Debug=0x12004000"},
      {"on, relative path", "z.log", kSupportLogMask, 0, 0, 2, untouched,
       "zandrel-doctor: the log file must be a full path, such as C:\\zandrel.log (\"z.log\" is not): the IDE's "
       "working folder is not yours. Nothing was written."},
      {"on, from the drive's root", "\\logs\\z.log", kSupportLogMask, 0, 0, 2, untouched, "must be a full path"},
      {"on, drive only", "C:", kSupportLogMask, 0, 0, 2, untouched, "must be a full path"},
      {"on, drive-relative", "C:logs\\z.log", kSupportLogMask, 0, 0, 2, untouched, "must be a full path"},
      {"on, three backslashes", "\\\\\\srv\\z.log", kSupportLogMask, 0, 0, 2, untouched, "must be a full path"},
      {"on, no server", "\\\\\\z.log", kSupportLogMask, 0, 0, 2, untouched, "must be a full path"},
      {"on, no add-in id", "C:\\z.log", 0x7F000000, 0, 0, 2, untouched,
       "zandrel-doctor: the mask 0x7F000000 (ids (none); levels CRITICAL ERROR WARNING INFO TRACE TIMING DEBUG) "
       "switches on none of the add-in's lines; 0x7F004000 switches on all of them. Nothing was written."},
      {"on, no level", "C:\\z.log", 0x00004000, 0, 0, 2, untouched, "switches on none of the add-in's lines"},
      {"on, denied", "C:\\logs\\z.log", kSupportLogMask, 1, 5, 1, untouched,
       "zandrel-doctor: cannot write DebugOutputFile under HKLM\\K: access denied. Writing HKLM needs an "
       "administrator: open a Command Prompt with \"Run as administrator\" and run the same command there."},
      {"on, mask refused", "C:\\logs\\z.log", kSupportLogMask, 2, 1018, 1,
       with({{"DebugOutputFile", "sz C:\\logs\\z.log"}}), "cannot write Debug under HKLM\\K: error 1018."},
      {"off", nullptr, 0, 0, 0, 0, untouched,
       "zandrel-doctor: logging is off: Debug and DebugOutputFile removed from HKLM\\K.\n"
       "The IDE stops logging when it next starts."},
      {"off, denied", nullptr, 0, 1, 5, 1, on, "cannot remove Debug under HKLM\\K: access denied"},
  };
  for (const Row& row : rows) {
    FakeSettings registry;
    if (!row.path || row.refuseFrom) {  // switching off or refused: from a log switched on
      ASSERT_EQ(LogOn(registry, "C:\\logs\\z.log", kSupportLogMask).exitCode, 0);
      if (row.path) registry.values = untouched;
      registry.calls = 0;
    }
    registry.refuseFrom = row.refuseFrom;
    registry.refusal = row.refusal;
    const SwitchOutcome outcome = row.path ? LogOn(registry, row.path, row.mask) : LogOff(registry);
    EXPECT_EQ(outcome.exitCode, row.exitCode) << row.name;
    EXPECT_EQ(registry.values, row.after) << row.name;
    // A row gives the whole message, or a part of one whose like another row gives whole.
    if (std::string(row.says).starts_with("zandrel-doctor: ")) EXPECT_EQ(outcome.message, row.says) << row.name;
    else EXPECT_NE(outcome.message.find(row.says), std::string::npos) << row.name << ": " << outcome.message;
  }
  // Off twice: the second finds nothing to remove, which is no error.
  FakeSettings registry;
  EXPECT_EQ(LogOff(registry).exitCode, 0);
  EXPECT_EQ(registry.values, untouched);
}

}  // namespace
}  // namespace zandrel::doctor
