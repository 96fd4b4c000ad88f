// zandrel-doctor --log on real logs of the Wine tests and on hand-made ones
// (tests/unit/logs): each log's summary, and why it cannot be read in full,
// against its golden file NAME.summary, and its page against NAME.html. The page's marks are held to the
// summary in a browser by tests/wine/cases/logger/summary.case.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "doctor/log_summary.h"
#include "support/golden.h"

namespace zandrel::doctor {
namespace {

const std::string kLogs = std::string(ZANDREL_SOURCE_DIR) + "/tests/unit/logs/";

// The ANSI code page as Windows-1252 would give it, for the bytes the logs use.
std::string FromLatin1(std::string_view bytes) {
  std::string out;
  for (const unsigned char c : bytes) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::vector<std::string> LogNames() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(kLogs))
    if (entry.path().extension() == ".log") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class Logs : public ::testing::TestWithParam<std::string> {};

TEST_P(Logs, TheSummaryIsTheGoldenOne) {
  const std::string name = GetParam();
  const std::string bytes = testing_support::ReadFile(kLogs + name + ".log");
  const ReadLog read = SummarizeLog(bytes, FromLatin1);
  std::string transcript = SummaryText(read.summary, name + ".log");
  if (read.problem) transcript += "problem: " + read.problem->message + "\n";
  testing_support::ExpectGolden(kLogs + name + ".summary", transcript);
  testing_support::ExpectGolden(kLogs + name + ".html", SummaryHtml(read.summary, name + ".log"));

  // Read in pieces, as the doctor reads a file, lines cut anywhere: the same.
  for (const std::size_t piece : {1, 2, 7, 4096}) {
    LogSummarizer summarizer(FromLatin1);
    for (std::size_t at = 0; at < bytes.size(); at += piece) summarizer.Feed(std::string_view(bytes).substr(at, piece));
    const ReadLog pieces = summarizer.Finish();
    std::string again = SummaryText(pieces.summary, name + ".log");
    if (pieces.problem) again += "problem: " + pieces.problem->message + "\n";
    EXPECT_EQ(again, transcript) << "pieces of " << piece << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Files, Logs, ::testing::ValuesIn(LogNames()),
                         [](const auto& row) { return row.param; });

// The page: self-contained, every mark with its line, text escaped.
TEST(LogPage, HoldsEveryMarkWithItsLineAndNothingFromOutside) {
  const ReadLog read = SummarizeLog(testing_support::ReadFile(kLogs + "flags.log"), FromLatin1);
  const std::string page = SummaryHtml(read.summary, "C:\\<logs>\\flags.log");
  std::size_t marks = 0;
  for (const auto& life : read.summary.lifetimes) marks += life.marks.size();
  std::size_t shown = 0;
  for (std::size_t at = 0; (at = page.find("<g class=\"mark ", at)) != std::string::npos; ++at) ++shown;
  EXPECT_EQ(shown, marks);
  EXPECT_GT(marks, 5u);
  EXPECT_NE(page.find(": ERROR DIRUDEVU  UNEXPECTED EVENT(42)</title>"), std::string::npos);
  EXPECT_NE(page.find("C:\\&lt;logs&gt;\\flags.log"), std::string::npos);
  EXPECT_EQ(page.find("<logs>"), std::string::npos);
  for (const char* outside : {"http:", "https:", "src=", "<link", "@import"}) EXPECT_EQ(page.find(outside), std::string::npos) << outside;
}

// --- Hand-built logs: the clock, the caps, the order, a lifetime without its end ---

// A log of unstamped lines, each " LEVEL    DIRUDEVU  message" with its line end.
std::string Log(std::initializer_list<std::pair<const char*, std::string>> lines) {
  std::string out;
  for (const auto& [level, message] : lines) {
    std::string field = level;
    field.resize(std::max<std::size_t>(8, field.size()), ' ');
    out += " " + field + " DIRUDEVU  " + message + "\r\n";
  }
  return out;
}

std::string Text(const std::string& log) {
  return SummaryText(SummarizeLog(log, FromLatin1).summary, "t.log");
}

std::string Stamped(const std::string& seconds, const std::string& message) {
  return "12/7/2026 (" + seconds + ")  TRACE    DIRUDEVU  " + message + "\r\n";
}

TEST(LogSummaryClock, ShowsSecondsSinceMidnightRoundedToHundredths) {
  const struct {
    const char* name;
    const char* seconds;
    const char* clock;
  } rows[] = {
      {"midnight", "0", "00:00:00.00"},
      {"a minute minus a rounding", "59.996", "00:01:00.00"},
      {"an hour minus a rounding", "3599.996", "01:00:00.00"},
      {"an hour and a minute minus a rounding", "3659.996", "01:01:00.00"},
      {"the day's last hundredth", "86399.99", "23:59:59.99"},
      {"a day, as the next midnight", "86400", "00:00:00.00"},
      {"comma and afternoon", "45296,5", "12:34:56.50"},
  };
  for (const auto& row : rows) {
    const std::string text = Text(Stamped(row.seconds, "FinalConstruct zandrel 1"));
    EXPECT_NE(text.find(std::string(", ") + row.clock + " to " + row.clock), std::string::npos) << row.name << "\n" << text;
  }
}

// A lifetime that registered with the manager and was released: nothing to look at.
std::string CleanLifetime(int address) {
  const std::string a = std::to_string(address);
  return Log({{"TRACE", "FinalConstruct zandrel " + a},
              {"DEBUG", "Call GetObject(qmsIM.qmsIntegrationManager)"},
              {"DEBUG", "  RETURN=17445208"},
              {"DEBUG", "m_RegMgr.RegisterApp(304) =17454152"},
              {"TRACE", "  END DoInitialize PID=" + a},
              {"TRACE", "FinalRelease zandrel " + a + " PID=" + a}});
}

std::size_t LineCount(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

TEST(LogSummaryLimits, TheSummaryAndThePageStayBoundedAndSayWhatTheyLeftOut) {
  const struct {
    const char* name;
    std::function<std::string(int)> log;  // a log of about n of something
    const char* leftOut;                  // what the page (and the summary in it) says when it leaves some out
  } rows[] = {
      {"lifetimes",
       [](int n) {
         std::string log;
         for (int i = 1; i <= n; ++i) log += CleanLifetime(i);
         return log;
       },
       "more lifetimes"},
      {"distinct errors",
       [](int n) {
         std::string log = CleanLifetime(1);
         log.resize(log.rfind(" TRACE"));  // before its FinalRelease
         for (int i = 0; i < n; ++i) log += Log({{"ERROR", "ERROR in XeqEvent: error number " + std::to_string(i)}});
         return log + Log({{"TRACE", "FinalRelease zandrel 1 PID=1"}});
       },
       "more errors"},
      {"events and their marks",
       [](int n) {
         std::string log = Log({{"TRACE", "FinalConstruct zandrel 1"}});
         for (int i = 0; i < n; ++i) log += Log({{"TRACE", "BEGIN AddEvent(1)  Event=ProjectAdded Delta=100 QCount=0"}});
         return log;
       },
       "left out"},
  };
  for (const auto& row : rows) {
    const ReadLog small = SummarizeLog(row.log(2000), FromLatin1), large = SummarizeLog(row.log(4000), FromLatin1);
    const std::string text = SummaryText(small.summary, "t.log"), largeText = SummaryText(large.summary, "t.log");
    EXPECT_EQ(LineCount(text), LineCount(largeText)) << row.name;
    EXPECT_LT(text.size(), 64u * 1024) << row.name;
    const std::string page = SummaryHtml(small.summary, "t.log"), largePage = SummaryHtml(large.summary, "t.log");
    EXPECT_NE(largePage.find(row.leftOut), std::string::npos) << row.name << "\n" << largeText.substr(0, 3000);
    EXPECT_EQ(Count(page, "<g class=\"mark"), Count(largePage, "<g class=\"mark")) << row.name;
    EXPECT_LT(largePage.size(), 512u * 1024) << row.name;
  }
}

TEST(LogSummaryOrder, TotalsFirstThenTheLifetimesThatNeedALookThenTheRest) {
  const std::string eventLeft =
      Log({{"TRACE", "FinalConstruct zandrel 4"}, {"TRACE", "BEGIN AddEvent(1)  Event=ProjectAdded Delta=100 QCount=0"}}) +
      Log({{"DEBUG", "m_RegMgr.RegisterApp(304) =17454152"}, {"TRACE", "FinalRelease zandrel 4 PID=4"}});
  const std::string noRegistration = Log({{"TRACE", "FinalConstruct zandrel 5"},
                                          {"DEBUG", "Call GetObject(qmsIM.qmsIntegrationManager)"},
                                          {"TRACE", "FinalRelease zandrel 5 PID=5"}});
  std::string withError = CleanLifetime(2);
  withError.insert(withError.rfind(" TRACE"), Log({{"ERROR", "StopTimer ERROR: Object variable not set"}}));
  const std::string text = Text(CleanLifetime(1) + withError + CleanLifetime(3) + eventLeft + noRegistration);
  const std::size_t totals = text.find("totals:"), look = text.find("need a look"), rest = text.find("the rest");
  ASSERT_NE(totals, std::string::npos) << text;
  ASSERT_NE(look, std::string::npos) << text;
  ASSERT_NE(rest, std::string::npos) << text;
  EXPECT_LT(totals, look);
  for (const char* needing : {"lifetime 2: zandrel 2", "lifetime 4: zandrel 4", "lifetime 5: zandrel 5"}) {
    const std::size_t at = text.find(needing);
    EXPECT_TRUE(at > look && at < rest) << needing << "\n" << text;
  }
  for (const char* clean : {"lifetime 1: zandrel 1", "lifetime 3: zandrel 3"}) EXPECT_GT(text.find(clean), rest) << clean << "\n" << text;
  EXPECT_LT(text.find("lifetime 5: zandrel 5"), text.find("lifetime 2: zandrel 2")) << "the most serious first\n" << text;
  EXPECT_NE(text.find("needs a look: 1 event left in the queue"), std::string::npos) << text;
  EXPECT_NE(text.find("start-up did not end in RegisterApp"), std::string::npos) << text;
}

TEST(LogSummaryOrder, WhenTheyAreTooManyTheMostSeriousAreShownInFull) {
  std::string log;
  for (int i = 1; i <= 30; ++i) {
    std::string withError = CleanLifetime(i);
    withError.insert(withError.rfind(" TRACE"), Log({{"ERROR", "ERROR in XeqEvent: Automation error"}}));
    log += withError;
  }
  log += Log({{"TRACE", "FinalConstruct zandrel 99"}, {"DEBUG", "m_RegMgr.RegisterApp(9) =17454152"}});
  LogLimits limits;
  limits.lookShown = 2;
  limits.rowsShown = 3;
  const LogSummary summary = SummarizeLog(log, FromLatin1, limits).summary;
  ASSERT_EQ(summary.lifetimes.size(), 2u);
  EXPECT_EQ(summary.lifetimes[0].address, "99");
  EXPECT_EQ(summary.lifetimes[1].address, "1");
  EXPECT_EQ(summary.totals.lookRows, 3u);
  EXPECT_EQ(summary.totals.lookLeftOut, 26u);
  EXPECT_NE(SummaryText(summary, "t.log").find("and 26 more lifetimes that need a look, not shown"), std::string::npos);
}

TEST(LogSummaryOrder, ALifetimeWithoutItsEndSaysWhatItCanMeanAndWhatToCheck) {
  const std::string text = Text(Log({{"TRACE", "FinalConstruct zandrel 9"}, {"DEBUG", "m_RegMgr.RegisterApp(9) =17454152"}}));
  for (const char* said : {"no FinalRelease", "the process ended before the manager let go of the add-in",
                           "the log was cut", "the process crashed", "cannot tell which", "check"})
    EXPECT_NE(text.find(said), std::string::npos) << said << "\n" << text;
  EXPECT_EQ(text.find("fail"), std::string::npos) << text;
}

TEST(LogSummaryLimits, ALineLongerThanItReadsIsReadUpToThereAndSaidSo) {
  const std::string error(3 * kLongestLine, 'x');
  const std::string log = Log({{"TRACE", "FinalConstruct zandrel 1"}, {"ERROR", "ERROR in XeqEvent: " + error},
                               {"ERROR", "ERROR in XeqEvent: " + error}, {"TRACE", "FinalRelease zandrel 1 PID=1"}});
  LogSummarizer summarizer(FromLatin1);
  for (std::size_t at = 0; at < log.size(); at += 1000) summarizer.Feed(std::string_view(log).substr(at, 1000));
  const ReadLog read = summarizer.Finish();
  const std::string text = SummaryText(read.summary, "t.log");
  EXPECT_FALSE(read.problem);
  EXPECT_NE(text.find("\n  2 lines longer than 65536 bytes, read up to there\n"), std::string::npos) << text.substr(0, 500);
  EXPECT_NE(text.find("== lifetime 1: zandrel 1, PID 1"), std::string::npos);
  EXPECT_LT(text.size(), 4 * kLongestText);
}

// NUL bytes: in the first line, a file that is no log; past it, the zeros a
// write cut short leaves (a crash, a power loss), skipped with the part of a
// line before them, the rest summed up. Each row read whole and byte by byte.
TEST(LogSummaryNul, OnlyTheFirstLineMakesItBinaryElsewhereTheRestIsRead) {
  const std::string nuls(4096, '\0');
  const std::string first = Log({{"TRACE", "FinalConstruct zandrel 1"}, {"TRACE", "BEGIN DoInitialize"}});
  const std::string second = Log({{"TRACE", "FinalConstruct zandrel 2"}, {"TRACE", "FinalRelease zandrel 2 PID=7"}});
  struct Row {
    const char* name;
    std::string log;
    std::size_t lines, lifetimes;
    std::string problem;
  } rows[] = {
      {"at the very start", nuls + first, 0, 0, "it holds binary data (a NUL byte at offset 0): it is no log"},
      {"in the first line", std::string(" TRACE  \0", 9) + first, 0, 0, "binary data (a NUL byte at offset 8)"},
      {"a zero-filled tail", first + nuls, 2, 1,
       "it ends in 4096 NUL bytes, from offset 86 (line 3): what a write cut short by a crash or a power loss "
       "leaves; they are left out, and the lines before them are summed up"},
      {"a tail cutting a line", first + " TRACE    DIRU" + nuls, 2, 1,
       "they are left out, with the part of a line before them, and the lines before"},
      {"zeros, then an IDE's lines after a restart", first + " TRACE   DIR" + nuls + second, 4, 2,
       "it holds 4096 NUL bytes, from offset 98 (line 3) on, with lines after them: what a write cut short by a "
       "crash or a power loss leaves; they are left out, with the part of a line before them, and the lines around"},
      {"zeros, then a line cut short", first + nuls + " TRACE", 2, 1,
       "lines around them are summed up; it ends in the middle of line 3"},
  };
  for (const Row& row : rows) {
    for (const std::size_t piece : {row.log.size(), std::size_t{1}}) {
      LogSummarizer summarizer(FromLatin1);
      for (std::size_t at = 0; at < row.log.size(); at += piece) summarizer.Feed(std::string_view(row.log).substr(at, piece));
      const ReadLog read = summarizer.Finish();
      EXPECT_EQ(read.summary.lines, row.lines) << row.name;
      EXPECT_EQ(read.summary.totals.lifetimes, row.lifetimes) << row.name;
      EXPECT_NE(read.problem.value_or(LogProblem{}).message.find(row.problem), std::string::npos)
          << row.name << ": " << read.problem.value_or(LogProblem{"(none)"}).message;
    }
  }
}

// Lines in ASCII are read as they stand; the others through the ANSI code page.
TEST(LogSummaryText, ShowsTheAnsiCodePagesTextInUtf8) {
  const std::string text = Text(Log({{"TRACE", "FinalConstruct zandrel 1"},
                                     {"TRACE", "RegisterProjects: m_RegMgr.UnRegisterDoc(C:\\M\xFCller.vcproj)"}}));
  EXPECT_NE(text.find("withdrawn C:\\M\xC3\xBCller.vcproj"), std::string::npos) << text;
}

TEST(LogPage, EscapesTheLogsTextEverywhere) {
  const std::string page = SummaryHtml(
      SummarizeLog(Log({{"TRACE", "FinalConstruct zandrel 1"}, {"ERROR", "ERROR in XeqEvent: A & B <c> \"d\""}}), FromLatin1).summary,
      "a&b.log");
  EXPECT_NE(page.find("A &amp; B &lt;c&gt; &quot;d&quot;"), std::string::npos);
  EXPECT_EQ(page.find("<c>"), std::string::npos);
  EXPECT_EQ(page.find("\"d\""), std::string::npos);
  EXPECT_NE(page.find("a&amp;b.log"), std::string::npos);
}

}  // namespace
}  // namespace zandrel::doctor
