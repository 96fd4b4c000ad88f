// zandrel-doctor --log on any bytes: the reader never crashes, never reads
// past its input, and what it says holds together: every line it read is in
// one block, the marks are the counts the text gives, the page holds every
// mark it keeps and counts the others, and the bytes read in pieces (as the
// doctor reads a file) give the same summary as read at once. Small limits,
// so that every cap is reached.

#include <cstdlib>
#include <string>

#include "doctor/log_summary.h"

using namespace zandrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto ansi = [](std::string_view text) { return std::string(text); };
  doctor::LogLimits limits;
  limits.marksPerLane = 3;
  limits.errorGroups = 2;
  limits.eventNames = 2;
  limits.lookShown = 2;
  limits.restShown = 1;
  limits.rowsShown = 2;
  limits.aliveAtMost = 3;
  const auto read = doctor::SummarizeLog(bytes, ansi, limits);
  const auto& s = read.summary;
  if (s.stamped > s.lines || s.unreadable.size() > s.unreadableCount) std::abort();
  if (s.lifetimes.size() > limits.lookShown + limits.restShown || s.rows.size() > 2 * limits.rowsShown) std::abort();
  std::size_t marks = 0;
  for (const auto* list : {&s.lifetimes, &s.rows}) {
    for (const auto& life : *list) {
      if (life.firstLine == 0 || life.firstLine > life.lastLine || life.lastLine > s.lines) std::abort();
      if (life.dispatched < 0 || life.registrations < 0 || life.errors.size() > limits.errorGroups) std::abort();
      if (life.queuedByName.size() > limits.eventNames + 1) std::abort();
      const int counts[doctor::kMarkKinds] = {life.queued, life.dispatched, life.registrations, life.withdrawals, life.errorCount};
      int kept[doctor::kMarkKinds] = {};
      for (const auto& mark : life.marks) ++kept[mark.kind];
      for (int k = 0; k < doctor::kMarkKinds; ++k)
        if (list == &s.lifetimes && kept[k] + life.marksLeftOut[k] != counts[k]) std::abort();
      if (list == &s.lifetimes) marks += life.marks.size();
    }
  }
  const std::string page = doctor::SummaryHtml(s, "fuzz.log");
  std::size_t shown = 0;
  for (std::size_t at = 0; (at = page.find("<g class=\"mark ", at)) != std::string::npos; ++at) ++shown;
  if (shown != marks) std::abort();
  const std::string text = doctor::SummaryText(s, "fuzz.log");

  // The same bytes in pieces of a size the input's length gives.
  doctor::LogSummarizer pieces(ansi, limits);
  const std::size_t step = 1 + size % 7;
  for (std::size_t at = 0; at < size; at += step) pieces.Feed(bytes.substr(at, step));
  const auto again = pieces.Finish();
  if (doctor::SummaryText(again.summary, "fuzz.log") != text || again.problem.has_value() != read.problem.has_value()) std::abort();
  return 0;
}
