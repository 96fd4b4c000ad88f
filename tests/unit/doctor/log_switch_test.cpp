// zandrel-doctor --log-on and --log-off: the values they write, what they
// keep of the values they replace and put back, and what a refusal half way
// leaves.

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>

#include "automation/text.h"
#include "doctor/log_switch.h"

namespace zandrel::doctor {
namespace {

using Values = std::map<std::string, StoredValue>;

StoredValue Text(const std::string& ascii, std::uint32_t type = 1) {
  StoredValue value{type, {}};
  for (const char c : ascii + '\0') value.bytes += {c, '\0'};
  return value;
}

StoredValue Units(std::u16string units) {
  StoredValue value{1, {}};
  for (const char16_t unit : units) value.bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return value;
}

StoredValue Dword(std::uint32_t number) {
  return {4, {static_cast<char>(number), static_cast<char>(number >> 8), static_cast<char>(number >> 16),
              static_cast<char>(number >> 24)}};
}

// The settings key ("K") and the doctor's key ("D"); the writes and removals
// it refuses, by "K\name", "D\name" or "D\*" (every value of the key), and
// the removals alone by "-D\name", the reads by "?D\name".
class FakeRegistry : public SettingsWriter {
 public:
  std::int32_t Read(Store store, const std::string& name, std::optional<StoredValue>& value) override {
    value.reset();
    if (const auto found = refuse.find((store == Store::Settings ? "?K\\" : "?D\\") + name); found != refuse.end())
      return found->second;
    for (Values* where : {&keys[store], virtualized ? &virtualStore[store] : nullptr})
      if (where && where->count(name)) value = where->at(name);
    return 0;
  }
  std::int32_t Write(Store store, const std::string& name, const StoredValue& value) override {
    if (const std::int32_t e = Refusal(store, name, false)) return e;
    (virtualized ? virtualStore : keys)[store][name] = value;
    return 0;
  }
  std::int32_t Remove(Store store, const std::string& name) override {
    if (const std::int32_t e = Refusal(store, name, true)) return e;
    return (virtualized ? virtualStore : keys)[store].erase(name) ? 0 : 2;
  }
  void TidyDoctorKey() override {}
  bool Virtualized() const override { return virtualized; }
  std::string Where(Store store) const override { return store == Store::Settings ? "HKLM\\K" : "HKLM\\D"; }

  std::int32_t Refusal(Store store, const std::string& name, bool removal) const {
    const std::string key = store == Store::Settings ? "K\\" : "D\\";
    for (const std::string& which : {key + name, key + "*", removal ? "-" + key + name : ""})
      if (const auto found = refuse.find(which); found != refuse.end()) return found->second;
    return 0;
  }

  std::map<Store, Values> keys;
  std::map<std::string, std::int32_t> refuse;
  bool virtualized = false;
  std::map<Store, Values> virtualStore;
};

// The ANSI code page 1252 (Western European), converting as the doctor asks
// Windows to: a character the code page lacks becomes '?', never a look-alike.
class CodePage1252 : public platform::TextCodec {
 public:
  std::string ToAnsi(std::string_view utf8) override {
    std::string out;
    for (const char16_t unit : automation::Utf8ToUtf16(utf8)) {
      const auto high = std::find(std::begin(kHigh), std::end(kHigh), unit);
      out += unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF) ? static_cast<char>(unit)
             : high != std::end(kHigh)                     ? static_cast<char>(0x80 + (high - std::begin(kHigh)))
                                                           : '?';
    }
    return out;
  }
  std::string FromAnsi(std::string_view ansi) override {
    std::u16string units;
    for (const unsigned char c : ansi) units += c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : char16_t{c};
    std::string out;
    for (const char16_t unit : units) {  // below U+0800 (U+20AC and the like: three bytes)
      if (unit < 0x80) out += static_cast<char>(unit);
      else if (unit < 0x800) out += {static_cast<char>(0xC0 | unit >> 6), static_cast<char>(0x80 | (unit & 0x3F))};
      else out += {static_cast<char>(0xE0 | unit >> 12), static_cast<char>(0x80 | (unit >> 6 & 0x3F)),
                   static_cast<char>(0x80 | (unit & 0x3F))};
    }
    return out;
  }

 private:
  // 0x80 to 0x9F; the five bytes the code page leaves undefined come back as the C1 controls.
  static constexpr char16_t kHigh[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
};

TEST(LogSwitch, MasksAreHexWithOrWithoutPrefix) {
  const std::map<std::string, std::optional<std::uint32_t>> rows{
      {"7F004000", 0x7F004000u}, {"0x7f004000", 0x7F004000u}, {"0XFFFFFFFF", 0xFFFFFFFFu}, {"4000", 0x4000u},
      {"", std::nullopt},        {"0x", std::nullopt},         {"123456789", std::nullopt}, {"7F00400G", std::nullopt},
      {"-1", std::nullopt},      {" 4000", std::nullopt}};
  for (const auto& [text, mask] : rows) EXPECT_EQ(ParseMask(text), mask) << '"' << text << '"';
}

// Each row: the settings key's values at the start (beside InstallDir and
// SuppressTimeStamps, which nothing touches), whether --log-on ran once
// before and what someone wrote after it, the command, what the registry
// refuses, and what the settings key holds after it. Besides: a refusal
// leaves both keys as they were; a --log-on that went through is undone by
// --log-off to the values of the start, exactly, and the doctor's key empty.
TEST(LogSwitch, TakesBackOnlyWhatItWrote) {
  struct Row {
    const char* name;
    Values start;
    bool onBefore;   // --log-on C:\logs\z.log with the default mask, first
    Values changed;  // then written by someone else
    const char* path;  // nullptr: --log-off
    std::uint32_t mask;
    std::map<std::string, std::int32_t> refuse;
    int exitCode;
    Values after;  // (rows refused: the values as they were)
    const char* says;
  };
  const StoredValue file = Text("C:\\logs\\z.log"), mask = Dword(kSupportLogMask);
  const Values admin{{"Debug", Text("1")}, {"DebugOutputFile", Text("C:\\admin.log")}};
  const Values on{{"Debug", mask}, {"DebugOutputFile", file}};
  const Row rows[] = {
      {"on", {}, false, {}, "C:\\logs\\z.log", kSupportLogMask, {}, 0, on,
       "zandrel-doctor: logging is on: Debug=0x7F004000, DebugOutputFile=C:\\logs\\z.log under HKLM\\K.\n"
       "The IDE reads them when it next starts: restart it, then reproduce the problem."},
      {"on, share of a one-letter server, the lowest level alone", {}, false, {}, "\\\\s\\share\\z.log", 0x01004000, {}, 0,
       {{"Debug", Dword(0x01004000)}, {"DebugOutputFile", Text("\\\\s\\share\\z.log")}}, "Debug=0x01004000"},
      {"on over an administrator's values (Debug a string)", admin, false, {}, "C:\\logs\\z.log", kSupportLogMask, {},
       0, on,
       "zandrel-doctor: logging is on: Debug=0x7F004000, DebugOutputFile=C:\\logs\\z.log under HKLM\\K.\n"
       "What was there before is kept under HKLM\\D, and --log-off puts it back: DebugOutputFile REG_SZ "
       "\"C:\\admin.log\", Debug REG_SZ \"1\".\n"
       "The IDE reads them when it next starts: restart it, then reproduce the problem."},
      {"on over a mask of 0 alone", {{"Debug", Dword(0)}}, false, {}, "C:\\logs\\z.log",
       kSupportLogMask, {}, 0, on, "kept under HKLM\\D, and --log-off puts it back: Debug REG_DWORD 0x00000000."},
      {"on again: the first one's values stay kept", admin, true, {}, "C:\\logs\\y.log", 0x12004000, {}, 0,
       {{"Debug", Dword(0x12004000)}, {"DebugOutputFile", Text("C:\\logs\\y.log")}},
       "puts it back: DebugOutputFile REG_SZ \"C:\\admin.log\", Debug REG_SZ \"1\"."},
      {"on again after someone changed the file", admin, true, {{"DebugOutputFile", Text("%TEMP%\\x.log", 2)}},
       "C:\\logs\\z.log", kSupportLogMask, {}, 0, on,
       "puts it back: DebugOutputFile REG_EXPAND_SZ \"%TEMP%\\x.log\", Debug REG_SZ \"1\"."},
      {"on, a path outside ASCII that the code page spells", {}, false, {}, "C:\\Zo\xC3\xAB\\\xE2\x82\xAC.log",
       kSupportLogMask, {}, 0,
       {{"Debug", mask}, {"DebugOutputFile", Units(std::u16string(u"C:\\Zo\u00EB\\\u20AC.log") + u'\0')}},
       "DebugOutputFile=C:\\Zo\xC3\xAB\\\xE2\x82\xAC.log under"},
      {"on, a path the code page cannot spell", admin, false, {}, "C:\\\xD0\x94\xD0\xB8\xD1\x80\\support.log",
       kSupportLogMask, {}, 2, admin,
       "zandrel-doctor: the add-in reads the log file's path in this system's ANSI code page, which cannot spell "
       "\"\xD0\x94\" (U+0414) in \"C:\\\xD0\x94\xD0\xB8\xD1\x80\\support.log\": the add-in would log nowhere. Choose a "
       "path the code page spells, such as one in ASCII (C:\\zandrel.log). Nothing was written."},
      {"on, a Greek letter the code page lacks", {}, false, {}, "C:\\\xCE\x96o\xC3\xAB.log",
       kSupportLogMask, {}, 2, {}, "cannot spell \"\xCE\x96\" (U+0396) in"},
      {"on, a character beyond UTF-16's first plane", {}, false, {}, "C:\\logs\\\xF0\x9F\x93\x9C.log",
       kSupportLogMask, {}, 2, {}, "cannot spell \"\xF0\x9F\x93\x9C\" (U+1F4DC) in"},
      {"on, relative path", admin, false, {}, "z.log", kSupportLogMask, {}, 2, admin,
       "zandrel-doctor: the log file must be a full path, such as C:\\zandrel.log (\"z.log\" is not): the IDE's "
       "working folder is not yours. Nothing was written."},
      {"on, from the drive's root", {}, false, {}, "\\logs\\z.log", kSupportLogMask, {}, 2, {}, "must be a full path"},
      {"on, drive only", {}, false, {}, "C:", kSupportLogMask, {}, 2, {}, "must be a full path"},
      {"on, drive-relative", {}, false, {}, "C:logs\\z.log", kSupportLogMask, {}, 2, {}, "must be a full path"},
      {"on, three backslashes", {}, false, {}, "\\\\\\srv\\z.log", kSupportLogMask, {}, 2, {}, "must be a full path"},
      {"on, no server", {}, false, {}, "\\\\\\z.log", kSupportLogMask, {}, 2, {}, "must be a full path"},
      {"on, no add-in id", {}, false, {}, "C:\\z.log", 0x7F000000, {}, 2, {},
       "zandrel-doctor: the mask 0x7F000000 (ids (none); levels CRITICAL ERROR WARNING INFO TRACE TIMING DEBUG) "
       "switches on none of the add-in's lines; 0x7F004000 switches on all of them. Nothing was written."},
      {"on, no level", {}, false, {}, "C:\\z.log", 0x00004000, {}, 2, {}, "switches on none of the add-in's lines"},
      {"on, denied", admin, false, {}, "C:\\logs\\z.log", kSupportLogMask, {{"D\\*", 5}, {"K\\*", 5}}, 1, {},
       "zandrel-doctor: cannot write \"DebugOutputFile before\" under HKLM\\D: access denied. Writing HKLM needs an "
       "administrator: open a Command Prompt with \"Run as administrator\" and run the same command there.\n"
       "Nothing was changed."},
      {"on, mask refused: the file is put back", admin, false, {}, "C:\\logs\\z.log", kSupportLogMask,
       {{"K\\Debug", 1018}}, 1, {},
       "zandrel-doctor: cannot write Debug under HKLM\\K: error 1018.\n"
       "What had been written before is put back: the settings are as they were."},
      {"on, mask refused and the record cannot go", {}, false, {}, "C:\\logs\\z.log", kSupportLogMask,
       {{"K\\Debug", 1018}, {"-D\\DebugOutputFile written", 5}}, 1, {},
       "zandrel-doctor: cannot write Debug under HKLM\\K: error 1018.\n"
       "What had been written before could not all be put back; set these by hand (regedit):\n"
       "  DebugOutputFile written under HKLM\\D should not be there (error 5)"},
      {"on, mask refused, a record gone meanwhile: none to take back is no failure", {}, false, {}, "C:\\logs\\z.log",
       kSupportLogMask, {{"K\\Debug", 1018}, {"-D\\DebugOutputFile written", 2}}, 1, {}, "is put back: the settings are as"},
      {"off after on: nothing was there", {}, true, {}, nullptr, 0, {}, 0, {},
       "zandrel-doctor: logging switched back under HKLM\\K:\n"
       "  Debug: removed (there was none before --log-on).\n"
       "  DebugOutputFile: removed (there was none before --log-on).\n"
       "The IDE reads the settings when it next starts."},
      {"off after on: the administrator's values come back", admin, true, {}, nullptr, 0, {}, 0, admin,
       "zandrel-doctor: logging switched back under HKLM\\K:\n"
       "  Debug: put back to REG_SZ \"1\", as it was before --log-on.\n"
       "  DebugOutputFile: put back to REG_SZ \"C:\\admin.log\", as it was before --log-on.\n"
       "The IDE reads the settings when it next starts."},
      {"off: values someone else wrote stay", admin, false, {}, nullptr, 0, {}, 0, admin,
       "zandrel-doctor: logging switched back under HKLM\\K:\n"
       "  Debug: left as it is (REG_SZ \"1\"): --log-on did not write it.\n"
       "  DebugOutputFile: left as it is (REG_SZ \"C:\\admin.log\"): --log-on did not write it.\n"
       "The IDE reads the settings when it next starts."},
      {"off: a mask changed since --log-on stays", admin, true, {{"Debug", Dword(0x12004000)}}, nullptr, 0, {}, 0,
       {{"Debug", Dword(0x12004000)}, {"DebugOutputFile", Text("C:\\admin.log")}},
       "  Debug: left as it is: it was changed since --log-on (it is REG_DWORD 0x12004000; --log-on wrote REG_DWORD "
       "0x7F004000). Before --log-on it was REG_SZ \"1\".\n"
       "  DebugOutputFile: put back to"},
      {"off: nothing there", {}, false, {}, nullptr, 0, {}, 0, {}, "  Debug: none there.\n  DebugOutputFile: none there."},
      {"off, denied", admin, true, {}, nullptr, 0, {{"K\\*", 5}, {"D\\*", 5}}, 1, {},
       "cannot put back Debug under HKLM\\K: access denied. Writing HKLM needs"},
      {"off, a record cannot go", {}, true, {}, nullptr, 0, {{"-D\\Debug written", 5}}, 1, {},
       "zandrel-doctor: cannot remove \"Debug written\" under HKLM\\D: access denied. Writing HKLM needs an "
       "administrator: open a Command Prompt with \"Run as administrator\" and run the same command there.\n"
       "What had been written before is put back: the settings are as they were."},
      {"off, a record unreadable", admin, true, {}, nullptr, 0, {{"?D\\DebugOutputFile written", 5}}, 1, {},
       "zandrel-doctor: cannot read \"DebugOutputFile written\" under HKLM\\D: access denied.\n"
       "What had been written before is put back: the settings are as they were."},
      {"off, the file refused: the mask is the doctor's again", {}, true, {}, nullptr, 0,
       {{"K\\DebugOutputFile", 1018}}, 1, {},
       "zandrel-doctor: cannot remove DebugOutputFile under HKLM\\K: error 1018.\n"
       "What had been written before is put back: the settings are as they were."},
  };
  const Values untouched{{"InstallDir", Text("C:\\Orvelle")}, {"SuppressTimeStamps", Text("true")}};
  auto with = [&](Values values) {
    values.insert(untouched.begin(), untouched.end());
    return values;
  };
  CodePage1252 ansi;
  for (const Row& row : rows) {
    FakeRegistry registry;
    registry.keys[Store::Settings] = with(row.start);
    if (row.onBefore) {
      ASSERT_EQ(LogOn(registry, "C:\\logs\\z.log", kSupportLogMask, ansi).exitCode, 0) << row.name;
    }
    for (const auto& [name, value] : row.changed) registry.keys[Store::Settings][name] = value;
    registry.keys[Store::Doctor];
    const auto keys = registry.keys;
    registry.refuse = row.refuse;
    const SwitchOutcome outcome = row.path ? LogOn(registry, row.path, row.mask, ansi) : LogOff(registry);
    EXPECT_EQ(outcome.exitCode, row.exitCode) << row.name;
    if (row.exitCode == 1) {
      EXPECT_EQ(registry.keys[Store::Settings], keys.at(Store::Settings)) << row.name;
      // The doctor's key too, unless it refused to take a record back ("-" sorts first).
      if (!row.refuse.begin()->first.starts_with("-")) {
        EXPECT_EQ(registry.keys, keys) << row.name;
      }
    } else if (row.exitCode == 2) {
      EXPECT_EQ(registry.keys, keys) << row.name;
    } else EXPECT_EQ(registry.keys[Store::Settings], with(row.after)) << row.name;
    // A row gives the whole message, or a part of one whose like another row gives whole.
    if (std::string(row.says).starts_with("zandrel-doctor: ")) EXPECT_EQ(outcome.message, row.says) << row.name;
    else EXPECT_NE(outcome.message.find(row.says), std::string::npos) << row.name << ": " << outcome.message;
    if (!row.path && row.exitCode == 0) {
      EXPECT_TRUE(registry.keys[Store::Doctor].empty()) << row.name;
    }
    if (row.path && row.exitCode == 0 && row.changed.empty()) {
      registry.refuse.clear();
      ASSERT_EQ(LogOff(registry).exitCode, 0) << row.name;
      EXPECT_EQ(registry.keys[Store::Settings], with(row.start)) << row.name << ", then off";
      EXPECT_TRUE(registry.keys[Store::Doctor].empty()) << row.name << ", then off";
    }
  }
}

// An unelevated 32-bit program without requestedExecutionLevel in its
// manifest: Windows would take its writes to HKLM into the user's
// VirtualStore, and they would succeed. The switch writes nothing then.
TEST(LogSwitch, WritesNothingWhereWindowsVirtualizesIt) {
  CodePage1252 ansi;
  FakeRegistry registry;
  registry.keys[Store::Settings] = {{"Debug", Text("1")}};
  ASSERT_EQ(LogOn(registry, "C:\\logs\\z.log", kSupportLogMask, ansi).exitCode, 0);
  const auto keys = registry.keys;
  registry.virtualized = true;
  for (const bool on : {true, false}) {
    const SwitchOutcome outcome = on ? LogOn(registry, "C:\\logs\\y.log", kSupportLogMask, ansi) : LogOff(registry);
    EXPECT_EQ(outcome.exitCode, 1) << on;
    EXPECT_EQ(registry.keys, keys) << on;
    EXPECT_TRUE(registry.virtualStore.empty()) << on;
    EXPECT_EQ(outcome.message,
              "zandrel-doctor: Windows runs this program with registry virtualization: what it wrote under HKLM would "
              "go to your own VirtualStore, and the IDE would not see it. Nothing was written. Open a Command Prompt "
              "with \"Run as administrator\" and run the same command there.");
  }
}

TEST(LogSwitch, DescribesValuesOfEveryType) {
  const std::pair<StoredValue, const char*> rows[] = {
      {Dword(0x7F004000), "REG_DWORD 0x7F004000"},
      {Text("C:\\x.log"), "REG_SZ \"C:\\x.log\""},
      {Text("%TEMP%", 2), "REG_EXPAND_SZ \"%TEMP%\""},
      {{1, std::string("Z\0o\0\xEB\0", 6)}, "REG_SZ \"Zo\xC3\xAB\""},     // no terminator
      {Dword(0x12345678), "REG_DWORD 0x12345678"},
      {{1, std::string("A\0B", 3)}, "REG_SZ \"A\""},  // an odd byte
      // Each length of UTF-8 at its ends; pairs of surrogates, and surrogates alone, each U+FFFD.
      {Units({0x7F, 0x80, 0x7FF, 0x800, 0xFFFF, 0xE000}),
       "REG_SZ \"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xEE\x80\x80\""},
      {Units({0xD800, 0xDC00, 0xD83D, 0xDE00, 0xDBFF, 0xDFFF}),
       "REG_SZ \"\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\""},
      {Units({0xDC00, 0xDC00, 0xD800, 0xE000, 0xD800}),
       "REG_SZ \"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEE\x80\x80\xEF\xBF\xBD\""},
      {{3, "abc"}, "REG_BINARY (3 bytes)"},
      {{4, "ab"}, "REG_DWORD (2 bytes)"},
      {{0, ""}, "REG_NONE (0 bytes)"},
      {{5, "abcd"}, "type 5 (4 bytes)"},
  };
  for (const auto& [value, text] : rows) EXPECT_EQ(DescribeValue(value), text) << text;
}

}  // namespace
}  // namespace zandrel::doctor
