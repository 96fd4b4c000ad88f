#pragma once
// zandrel-doctor --log FILE: what a support engineer reads first in a debug
// log. The log is read line by line, with or without time stamps; a file
// that several IDE processes wrote is cut into the add-in's lifetimes, from
// "FinalConstruct zandrel ADDRESS" to "FinalRelease zandrel ADDRESS PID=N".
// For each lifetime: how it was connected, how start-up ended, the events
// queued and dispatched, the documents withdrawn, the timer's lateness, the
// errors grouped by their text, and the lines support must see first. The
// summary opens with the totals and the lifetimes that need a look; the log
// is read as a stream and what is kept is capped (LogLimits), so that a log
// of hundreds of megabytes is read in time linear in its size and in bounded
// memory, and its summary stays readable.
//
// The log carries no process id on each line: lines written while two
// add-ins were alive cannot be told apart, and are summed up as such.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zandrel::doctor {

// One line of the log: its number in the file (from 1), its time stamp when
// it has one (seconds since local midnight; the date before them is not
// read), its level and log-id names, and its message. Lines a message's own line
// ends split off are part of the message, joined with "\n".
struct LogLine {
  std::size_t number = 0;
  std::optional<double> seconds;
  std::string level;
  std::string id;
  std::string message;
};

// What happened at one line, as the summary and the timeline show it.
struct LogMark {
  enum Kind { Queued, Dispatched, Registered, Withdrawn, Error } kind;
  std::size_t line;
  std::optional<double> seconds;
  std::string what;  // the event's name, the document's name, the error's text (none for a dispatch)
  std::string text;  // the log line as written (its first kLongestText bytes)
};
// The kinds' names, in the order of Kind, as the page shows them.
inline constexpr const char* kMarkNames[] = {"queued", "dispatched", "registered", "withdrawn", "error"};
inline constexpr int kMarkKinds = static_cast<int>(std::size(kMarkNames));

// What the summary keeps, so that its memory and its length stay the same
// whatever the log's size; what is left out is counted and said.
struct LogLimits {
  std::size_t marksPerLane = 200;     // marks of each kind a lifetime keeps for its timeline
  std::size_t errorGroups = 20;       // distinct error texts a lifetime groups
  std::size_t eventNames = 24;        // event names a lifetime counts by name
  std::size_t lookShown = 20;         // lifetimes that need a look shown in full
  std::size_t restShown = 5;          // other lifetimes shown in full
  std::size_t rowsShown = 100;        // lifetimes of each kind shown in one line after those
  std::size_t aliveAtMost = 64;       // lifetimes without their end followed at once (the oldest is ended)
};
inline constexpr std::size_t kLongestText = 400;    // bytes of a line kept in a mark or an error group
inline constexpr std::size_t kLongestLine = 65536;  // bytes of a line read; the rest is left out

struct Lifetime {
  std::size_t number = 0;  // its place among the add-in's lifetimes, from 1; 0 for the stretches below
  std::string address;    // "13200944"; empty for the lines outside any lifetime
  std::string pid;        // from FinalRelease or the end of start-up; empty when not logged
  bool overlapping = false;  // lines written while more than one add-in was alive
  bool released = false;     // its FinalRelease is in the log
  bool shared = false;         // some of its lines may be among those written while several were alive
  bool startupBegun = false;   // the log shows its DoInitialize
  bool appRegistered = false;  // "m_RegMgr.RegisterApp(PID) =N" with N not 0
  std::size_t firstLine = 0, lastLine = 0;
  std::optional<double> firstSeconds, lastSeconds;
  std::optional<int> connectMode;
  std::string startup;      // "attached to the running manager", "created the manager", "failed: ..."
  std::size_t startupLine = 0;
  int queued = 0;                     // events queued (AddEvent)
  std::map<std::string, int> queuedByName;  // the first LogLimits::eventNames names; the others under "(other names)"
  int dispatched = 0;                 // ticks that took an event off the queue
  int registrations = 0;              // RegisterDoc calls (the log names no document)
  int withdrawals = 0;                // UnRegisterDoc calls
  std::vector<LogMark> marks;         // the first marks of each kind, in line order
  int marksLeftOut[kMarkKinds] = {};  // the marks of each kind past LogLimits::marksPerLane
  struct Ticks {
    std::size_t count;              // ticks with a fire pending
    std::int64_t median, maximum;   // DeltaFromExpectedFire, ms
  };
  std::optional<Ticks> ticks;       // none when no tick had a fire pending
  std::map<std::int64_t, int> lateness;  // while the lifetime is read: DeltaFromExpectedFire (ms) -> ticks
  int idleTicks = 0;                   // ticks with no fire pending (left out of the lateness)
  struct Group {  // each made whole at its first line
    std::string text;
    int count;
    std::size_t firstLine;
  };
  std::vector<Group> errors;  // by text, in order of first appearance (the first LogLimits::errorGroups texts)
  int errorCount = 0;         // ERROR and CRITICAL lines
  int ungrouped = 0;          // of them, with a text past the groups kept
  struct Flag {  // made whole at its first line
    std::string what;
    int count;
    std::vector<std::size_t> lines;  // the first few
  };
  std::vector<Flag> flags;  // what support must see first, in the order of kFlags
  bool flagged = false;     // it had some, when the details were dropped

  int Left() const;  // events left in the queue
  // Why support should look at it first; empty when nothing asks for a look.
  std::vector<std::string> Concerns() const;
  // How much it asks for a look: 0 nothing; a failed start-up, then a missing
  // FinalRelease, events left in the queue, lines to see first, errors.
  int Severity() const;
};

// The texts support must see first, each found anywhere in a line's message.
extern const char* const kFlags[7];

// Sums over every line of the log, whatever the summary shows in detail.
struct LogTotals {
  std::size_t lifetimes = 0, released = 0, needLook = 0, stretchesNeedLook = 0;
  std::size_t lookRows = 0;                        // in one line each (the rest's rows follow them)
  std::size_t lookLeftOut = 0, restLeftOut = 0;    // neither in full nor in a line
  long long queued = 0, dispatched = 0, registrations = 0, withdrawals = 0, errors = 0;
};

struct LogSummary {
  std::size_t lines = 0;         // lines in the file
  std::size_t stamped = 0;       // of them with a time stamp
  std::size_t cutLines = 0;      // lines longer than kLongestLine, read up to it
  std::vector<std::size_t> unreadable;  // lines in no known format (the first few)
  std::size_t unreadableCount = 0;
  LogTotals totals;
  // Shown in full: those that need a look, the most serious first (Severity),
  // then the rest, in the order of their first line among equals; stretches
  // outside any lifetime or shared included.
  std::vector<Lifetime> lifetimes;
  // Shown in one line each, in the same order: the details are dropped.
  std::vector<Lifetime> rows;
};

// Why the bytes are no log the summary can read in full; the summary of what
// could be read is made all the same. A NUL byte in the first line makes
// them no log (and no summary); further on, NUL bytes are the zeros a write
// cut short (a crash, a power loss) leaves, and are skipped.
struct LogProblem {
  std::string message;
};

struct ReadLog {
  LogSummary summary;
  std::optional<LogProblem> problem;
};

using FromAnsi = std::function<std::string(std::string_view)>;

// Reads a log in pieces of any size, as they come from the file, keeping no
// more than the summary holds; `fromAnsi` turns the ANSI code page's text into UTF-8.
class LogSummarizer {
 public:
  explicit LogSummarizer(FromAnsi fromAnsi, LogLimits limits = {});
  ~LogSummarizer();
  LogSummarizer(const LogSummarizer&) = delete;
  LogSummarizer& operator=(const LogSummarizer&) = delete;
  void Feed(std::string_view bytes);
  ReadLog Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Reads a whole log held in memory.
ReadLog SummarizeLog(std::string_view bytes, const FromAnsi& fromAnsi, LogLimits limits = {});

// Splits one line (without its line end) into its parts; none when it is in
// no format the logger writes.
std::optional<LogLine> ParseLogLine(std::string_view line, std::size_t number);

// The summary for people: one block a lifetime.
std::string SummaryText(const LogSummary& summary, const std::string& file);

// One self-contained page (no network): a timeline a lifetime, each mark
// showing its log line on hover.
std::string SummaryHtml(const LogSummary& summary, const std::string& file);

}  // namespace zandrel::doctor
