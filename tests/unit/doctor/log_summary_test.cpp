// zandrel-doctor --log on real logs of the Wine tests and on hand-made ones
// (tests/unit/logs): each log's summary, and why it cannot be read in full,
// against its golden file NAME.summary, and its page against NAME.html. The page's marks are held to the
// summary in a browser by tests/wine/cases/logger/summary.case.

#include <gtest/gtest.h>

#include <filesystem>

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
  const ReadLog read = SummarizeLog(testing_support::ReadFile(kLogs + name + ".log"), FromLatin1);
  std::string transcript = SummaryText(read.summary, name + ".log");
  if (read.problem) transcript += "problem: " + read.problem->message + "\n";
  testing_support::ExpectGolden(kLogs + name + ".summary", transcript);
  testing_support::ExpectGolden(kLogs + name + ".html", SummaryHtml(read.summary, name + ".log"));
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

}  // namespace
}  // namespace zandrel::doctor
