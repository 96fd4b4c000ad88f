// zandrel-doctor --log on any bytes: the reader never crashes, never reads
// past its input, and what it says holds together: every line it read is in
// one block, the marks are the counts the text gives, and the page holds
// every mark.

#include <cstdlib>
#include <string>

#include "doctor/log_summary.h"

using namespace zandrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto read = doctor::SummarizeLog(bytes, [](std::string_view ansi) { return std::string(ansi); });
  const auto& s = read.summary;
  if (s.stamped > s.lines || s.unreadable.size() > s.unreadableCount) std::abort();
  std::size_t marks = 0;
  for (const auto& life : s.lifetimes) {
    if (life.firstLine == 0 || life.firstLine > life.lastLine || life.lastLine > s.lines) std::abort();
    if (life.dispatched < 0 || life.registrations < 0) std::abort();
    marks += life.marks.size();
  }
  const std::string page = doctor::SummaryHtml(s, "fuzz.log");
  std::size_t shown = 0;
  for (std::size_t at = 0; (at = page.find("<g class=\"mark ", at)) != std::string::npos; ++at) ++shown;
  if (shown != marks) std::abort();
  (void)doctor::SummaryText(s, "fuzz.log");
  return 0;
}
