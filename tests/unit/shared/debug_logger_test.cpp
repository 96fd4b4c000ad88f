#include "shared/debug_logger.h"

#include <gtest/gtest.h>

#include "support/case_name.h"

#include "platform/fake/fakes.h"
#include "shared/registry_api.h"

namespace zandrel::shared {
namespace {

using platform::fake::FakeServices;

constexpr char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Software\\Orvelle\\AddIns\\VisualStudio";
constexpr char kLog[] = "C:\\logs\\addin.log";

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDebugLoggerForTesting(); }
  void TearDown() override { ResetDebugLoggerForTesting(); }

  void Configure(std::uint32_t mask, const char* suppress = "true") {
    os.registry.SetDword(kKey, "Debug", mask);
    os.registry.SetString(kKey, "DebugOutputFile", kLog);
    if (suppress) os.registry.SetString(kKey, "SuppressTimeStamps", suppress);
  }
  const std::string& Log() { return os.files.files[kLog]; }

  FakeServices os;
};

TEST_F(LoggerTest, NamesArePaddedToEightAndLongerOnesStayWhole) {
  // Each id is the number of its bit in the mask.
  const std::pair<LogId, const char*> ids[] = {
      {UNKNOWN_LOGID, "UNKNOWN"}, {CAT_LOGID, "CAT"},   {CUT_LOGID, "CUT"},           {MERGE_LOGID, "MERGE"},
      {MAT_LOGID, "MAT"},         {MUT_LOGID, "MUT"},   {IM_LOGID, "IM"},             {ADDIN_LOGID, "ADDIN"},
      {APPSTART_LOGID, "APPSTART"}, {MCHECK_LOGID, "MCHECK"}, {SGEN_LOGID, "SGEN"}, {CODEVIEW_LOGID, "CODEVIEW"},
      {IDE_LOGID, "IDE"},         {RES_LOGID, "RES"},   {REZIRUZ_LOGID, "DIRUDEVU"}};
  for (std::int32_t i = 0; i < 15; ++i) {
    EXPECT_EQ(ids[i].first, i);
    EXPECT_EQ(LogIdName(i), ids[i].second);
  }
  const char* levels[] = {"CRITICAL", "ERROR", "WARNING", "INFO", "TRACE", "TIMING", "DEBUG"};
  for (std::int32_t i = 0; i < 7; ++i) EXPECT_EQ(LogLevelName(i), levels[i]);
  EXPECT_EQ(LogIdName(REZIRUZ_LOGID), "DIRUDEVU");
  EXPECT_EQ(LogIdName(0), "UNKNOWN");
  EXPECT_EQ(LogIdName(15), "LOGID15");
  EXPECT_EQ(LogIdName(-1), "LOGID-1");
  EXPECT_EQ(LogLevelName(7), "LEVEL7");
  EXPECT_EQ(LogLevelName(CRITICAL_LOGLEVEL), "CRITICAL");

  Configure(0x7FFFFFFE);
  DebugLog("m", APPSTART_LOGID, CRITICAL_LOGLEVEL);
  DebugLog("m", IM_LOGID, INFO_LOGLEVEL);
  DebugLog("m", CODEVIEW_LOGID, 7);
  EXPECT_EQ(Log(),
            " CRITICAL APPSTART  m\r\n"
            " INFO     IM        m\r\n"
            " LEVEL7   CODEVIEW  m\r\n");
}

struct FilterCase {
  const char* name;
  std::uint32_t mask;
  std::int32_t logId;
  std::int32_t level;
  bool written;
};

class FilterTest : public LoggerTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterTest, BothBitsMustBeSet) {
  const FilterCase& c = GetParam();
  Configure(c.mask);
  EXPECT_EQ(IsLogEnabled(c.logId, c.level), c.written);
  DebugLog("line", c.logId, c.level);
  EXPECT_EQ(os.files.files.count(kLog) == 1, c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Mask, FilterTest,
    ::testing::Values(FilterCase{"AllOfTheAddIn", 0x7F004000, REZIRUZ_LOGID, TRACE_LOGLEVEL, true},
                      FilterCase{"ErrorAndTraceOnlyTrace", 0x12004000, REZIRUZ_LOGID, TRACE_LOGLEVEL, true},
                      FilterCase{"ErrorAndTraceOnlyError", 0x12004000, REZIRUZ_LOGID, ERROR_LOGLEVEL, true},
                      FilterCase{"ErrorAndTraceOnlyDebug", 0x12004000, REZIRUZ_LOGID, DEBUG_LOGLEVEL, false},
                      FilterCase{"IdWithoutLevels", 0x00004000, REZIRUZ_LOGID, TRACE_LOGLEVEL, false},
                      FilterCase{"DebugOnlyTrace", 0x40004000, REZIRUZ_LOGID, TRACE_LOGLEVEL, false},
                      FilterCase{"DebugOnlyDebug", 0x40004000, REZIRUZ_LOGID, DEBUG_LOGLEVEL, true},
                      FilterCase{"LevelOutsideCountsAsDebug", 0x40004000, REZIRUZ_LOGID, 9, true},
                      FilterCase{"NegativeLevelCountsAsDebug", 0x10004000, REZIRUZ_LOGID, -1, false},
                      FilterCase{"IdZeroNeverWritten", 0xFFFFFFFF, UNKNOWN_LOGID, TRACE_LOGLEVEL, false},
                      FilterCase{"IdFifteenNeverWritten", 0xFFFFFFFF, 15, TRACE_LOGLEVEL, false},
                      FilterCase{"NegativeIdNeverWritten", 0xFFFFFFFF, -3, TRACE_LOGLEVEL, false},
                      FilterCase{"OtherIdOff", 0x7F004000, IDE_LOGID, TRACE_LOGLEVEL, false}),
    testing_support::CaseName());

TEST_F(LoggerTest, LineWithTimeStamp) {
  Configure(0x7F004000, "no");
  os.clock.generalDate = "12/5/2026 1:07:44 AM";
  os.clock.timeOfDay = 4064.523f;  // seven digits of a Single
  DebugLog("  BEGIN StopTimer", REZIRUZ_LOGID, TRACE_LOGLEVEL);
  EXPECT_EQ(Log(), "12/5/2026 1:07:44 AM (4064.523)  TRACE    DIRUDEVU    BEGIN StopTimer\r\n");
}

TEST_F(LoggerTest, TimeStampUsesTheLocaleDecimalSeparator) {
  Configure(0x7F004000, "");
  os.clock.generalDate = "05.12.2026 01:07:44";
  os.clock.decimalSeparator = ",";
  os.clock.timeOfDay = 4064.5f;
  DebugLog("x", REZIRUZ_LOGID, ERROR_LOGLEVEL);
  EXPECT_EQ(Log(), "05.12.2026 01:07:44 (4064,5)  ERROR    DIRUDEVU  x\r\n");
}

TEST_F(LoggerTest, MessagesAreWrittenUnchanged) {
  Configure(0x7F004000);
  DebugLog("  END DoDisconnect\r\n", REZIRUZ_LOGID, TRACE_LOGLEVEL);
  DebugLog("", REZIRUZ_LOGID, TRACE_LOGLEVEL);
  EXPECT_EQ(Log(), " TRACE    DIRUDEVU    END DoDisconnect\r\n\r\n TRACE    DIRUDEVU  \r\n");
}

struct SuppressCase {
  const char* name;
  const char* value;
  bool stamped;
};

class SuppressTest : public LoggerTest, public ::testing::WithParamInterface<SuppressCase> {};

TEST_P(SuppressTest, OnlyTrueInAnyCaseSuppresses) {
  Configure(0x7F004000, GetParam().value);
  DebugLog("x", REZIRUZ_LOGID, TRACE_LOGLEVEL);
  EXPECT_EQ(Log().rfind(" TRACE", 0) != 0, GetParam().stamped) << Log();
}

INSTANTIATE_TEST_SUITE_P(Values, SuppressTest,
                         ::testing::Values(SuppressCase{"Lower", "true", false}, SuppressCase{"Upper", "TRUE", false},
                                           SuppressCase{"Mixed", "True", false}, SuppressCase{"Yes", "yes", true},
                                           SuppressCase{"One", "1", true}, SuppressCase{"Blank", " true", true},
                                           SuppressCase{"Missing", nullptr, true}),
                         testing_support::CaseName());

TEST_F(LoggerTest, AFileThatCannotBeOpenedCostsFiveAttemptsAndNothingElse) {
  Configure(0x7F004000);
  os.files.failOpens[kLog] = -1;
  DebugLog("lost", REZIRUZ_LOGID, TRACE_LOGLEVEL);
  EXPECT_EQ(os.files.opens, 5);
  EXPECT_EQ(os.process.sleeps, (std::vector<std::uint32_t>{100, 100, 100, 100, 100}));
  EXPECT_EQ(os.files.files.count(kLog), 0u);
  EXPECT_TRUE(os.messageBoxes.shown.empty());
}

TEST_F(LoggerTest, ALaterAttemptSucceeds) {
  Configure(0x7F004000);
  os.files.failOpens[kLog] = 2;
  DebugLog("kept", REZIRUZ_LOGID, TRACE_LOGLEVEL);
  EXPECT_EQ(os.files.opens, 3);
  EXPECT_EQ(os.process.sleeps.size(), 2u);
  EXPECT_EQ(Log(), " TRACE    DIRUDEVU  kept\r\n");
}

TEST_F(LoggerTest, AFailedWriteIsRetriedAndTheFileIsClosedEachTime) {
  Configure(0x7F004000);
  os.files.failWrites = 1;
  DebugLog("again", REZIRUZ_LOGID, TRACE_LOGLEVEL);
  EXPECT_EQ(os.files.opens, 2);
  EXPECT_EQ(os.files.closes, 2);
  EXPECT_EQ(Log(), " TRACE    DIRUDEVU  again\r\n");
}

TEST_F(LoggerTest, NoKeyAtAll) {
  DebugLog("nothing", REZIRUZ_LOGID, CRITICAL_LOGLEVEL);
  const LoggerState& s = CurrentLoggerState();
  EXPECT_TRUE(s.m_blnLogInitialized);
  EXPECT_EQ(s.m_lDebugMask, 0);
  EXPECT_EQ(s.m_strDebugOutputFile, "C:\\qmsdebuglog.txt");
  EXPECT_EQ(s.m_strSuppressTimeStamps, "");
  EXPECT_TRUE(os.files.files.empty());
  EXPECT_EQ(os.files.opens, 0);
}

TEST_F(LoggerTest, DebugAsTextWorksLikeTheDword) {
  os.registry.SetString(kKey, "Debug", "2130722816");
  InitDebugLogger();
  EXPECT_EQ(CurrentLoggerState().m_lDebugMask, 0x7F004000);
}

TEST_F(LoggerTest, DebugThatIsNoNumberLeavesTheMaskAtZero) {
  os.registry.SetString(kKey, "Debug", "all");
  InitDebugLogger();
  EXPECT_EQ(CurrentLoggerState().m_lDebugMask, 0);
}

TEST_F(LoggerTest, EmptyOutputFileFallsBackToInstallDirUnchanged) {
  os.registry.SetString(kKey, "DebugOutputFile", "");
  os.registry.SetString(kKey, "InstallDir", "C:\\Program Files\\Orvelle");
  InitDebugLogger();
  EXPECT_EQ(CurrentLoggerState().m_strDebugOutputFile, "C:\\Program Files\\Orvelle");
}

TEST_F(LoggerTest, SuppressTimeStampsOfAnotherTypeReadsAsEmpty) {
  os.registry.SetRaw(kKey, "SuppressTimeStamps", 2 /* REG_EXPAND_SZ */, {'t', 'r', 'u', 'e', 0});
  InitDebugLogger();
  EXPECT_EQ(CurrentLoggerState().m_strSuppressTimeStamps, "");
}

TEST_F(LoggerTest, ConfigurationIsReadOnceWithAFreshKeyPerValue) {
  Configure(0x7F004000);
  DebugLog("a", REZIRUZ_LOGID, TRACE_LOGLEVEL);
  std::vector<std::string> opens;
  for (const auto& c : os.registry.calls)
    if (c.what == "open") opens.push_back(c.detail);
  const std::string expected = std::string(kKey) + " options=0 access=0x20009";
  EXPECT_EQ(opens, (std::vector<std::string>{expected, expected, expected}));  // InstallDir is not needed
  EXPECT_EQ(os.registry.OpenKeys(), 0u);

  // A change in the registry is not seen by this process.
  os.registry.SetDword(kKey, "Debug", 0);
  const auto callsBefore = os.registry.calls.size();
  DebugLog("b", REZIRUZ_LOGID, TRACE_LOGLEVEL);
  EXPECT_EQ(os.registry.calls.size(), callsBefore);
  EXPECT_EQ(Log(), " TRACE    DIRUDEVU  a\r\n TRACE    DIRUDEVU  b\r\n");
}

TEST_F(LoggerTest, RegistryValueKinds) {
  os.registry.SetRaw(kKey, "OnlyZero", 1, {0});
  os.registry.SetRaw(kKey, "NoTerminator", 1, {'a', 'b', 'c'});
  os.registry.SetDword(kKey, "Negative", 0xFFFFFFFF);
  os.registry.SetRaw(kKey, "Binary", 3, {1, 2});
  constexpr auto hklm = platform::Registry::kLocalMachine;
  EXPECT_EQ(GetRegValue(hklm, kSettingsKey, "OnlyZero").AsString(), "");
  // The size counts the terminating zero, so the last byte is taken for it.
  EXPECT_EQ(GetRegValue(hklm, kSettingsKey, "NoTerminator").AsString(), "ab");
  EXPECT_EQ(GetRegValue(hklm, kSettingsKey, "Negative").AsLong(), -1);
  EXPECT_TRUE(GetRegValue(hklm, kSettingsKey, "Binary").IsEmpty());
  EXPECT_TRUE(GetRegValue(hklm, kSettingsKey, "Missing").IsEmpty());
  EXPECT_TRUE(GetRegValue(hklm, "SOFTWARE\\Nobody", "Debug").IsEmpty());
  EXPECT_EQ(os.registry.OpenKeys(), 0u);
}

// A value written anew between the size query and the read: the text never
// reaches past the buffer made for the first size (a read without a buffer
// succeeds and reports the new size, as RegQueryValueExA does).
TEST_F(LoggerTest, AValueThatGrowsBetweenTheTwoReadsIsBoundedByTheBuffer) {
  struct GrowingRegistry : platform::fake::MemoryRegistry {
    std::vector<std::uint8_t> after;
    std::int32_t QueryValue(Key key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                            std::uint32_t* size) override {
      const std::int32_t rc = MemoryRegistry::QueryValue(key, name, type, data, size);
      if (calls.size() == 2) SetRaw(kKey, name, 1, after);  // right after the size query
      return rc;
    }
  };
  constexpr auto hklm = platform::Registry::kLocalMachine;
  struct Row {
    const char* name;
    std::vector<std::uint8_t> before, after;
  };
  for (const Row& row : {Row{"from nothing", {}, {'C', ':', '\\', 'l', 'o', 'n', 'g', 'e', 'r', 0}},
                         Row{"from one byte", {0}, {'a', 'b', 'c', 0}},
                         Row{"from two bytes", {'x', 0}, {'a', 'b', 'c', 0}}}) {
    GrowingRegistry registry;
    registry.SetRaw(kKey, "DebugOutputFile", 1, row.before);
    registry.after = row.after;
    const platform::ServiceSet saved = platform::Services();
    platform::ServiceSet services = saved;
    services.registry = &registry;
    platform::Install(services);
    const automation::Variant value = GetRegValue(hklm, kSettingsKey, "DebugOutputFile");
    platform::Install(saved);
    // Empty (the read failed) or the empty text: nothing of the new value.
    EXPECT_EQ(automation::ToText(value).value(), "") << row.name;
    EXPECT_EQ(registry.OpenKeys(), 0u) << row.name;
  }
}

}  // namespace
}  // namespace zandrel::shared
