#include "shared/debug_logger.h"

#include <gtest/gtest.h>

#include "support/fakes.h"
#include "shared/registry_api.h"

namespace zandrel::shared {
namespace {

using platform::fake::FakeServices;

constexpr char kKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Software\\Orvelle\\AddIns\\VisualStudio";

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDebugLoggerForTesting(); }
  void TearDown() override { ResetDebugLoggerForTesting(); }

  FakeServices os;
};

// How the settings steer the logger is in tests/unit/shared/debug_logger.cases.
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
  // Each level is its number, the bit above 24 in the mask.
  const std::pair<LogLevel, const char*> levels[] = {
      {CRITICAL_LOGLEVEL, "CRITICAL"}, {ERROR_LOGLEVEL, "ERROR"},   {WARNING_LOGLEVEL, "WARNING"}, {INFO_LOGLEVEL, "INFO"},
      {TRACE_LOGLEVEL, "TRACE"},       {TIMING_LOGLEVEL, "TIMING"}, {DEBUG_LOGLEVEL, "DEBUG"}};
  for (std::int32_t i = 0; i < 7; ++i) {
    EXPECT_EQ(levels[i].first, i);
    EXPECT_EQ(LogLevelName(i), levels[i].second);
    // Its own bit alone switches a level on.
    os.registry.SetDword(kKey, "Debug", (1u << REZIRUZ_LOGID) | (1u << (24 + i)));
    ResetDebugLoggerForTesting();
    for (std::int32_t j = 0; j < 7; ++j) EXPECT_EQ(IsLogEnabled(REZIRUZ_LOGID, j), i == j) << i << " " << j;
  }
  EXPECT_EQ(LogIdName(15), "LOGID15");
  EXPECT_EQ(LogIdName(-1), "LOGID-1");
  EXPECT_EQ(LogLevelName(7), "LEVEL7");
  // In a line, each name takes eight columns: a shorter one padded with
  // blanks, one of eight or more whole.
  os.registry.SetDword(kKey, "Debug", 0x7F000000u | (1u << IM_LOGID) | (1u << REZIRUZ_LOGID));
  os.registry.SetString(kKey, "DebugOutputFile", "C:\\log.txt");
  os.registry.SetString(kKey, "SuppressTimeStamps", "true");
  ResetDebugLoggerForTesting();
  DebugLog("a", IM_LOGID, INFO_LOGLEVEL);
  DebugLog("b", REZIRUZ_LOGID, CRITICAL_LOGLEVEL);
  DebugLog("c", IM_LOGID, 1000);
  EXPECT_EQ(os.files.files["C:\\log.txt"],
            " INFO     IM        a\r\n"
            " CRITICAL DIRUDEVU  b\r\n"
            " LEVEL1000 IM        c\r\n");
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
