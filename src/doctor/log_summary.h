#pragma once
// zandrel-doctor --log FILE: what a support engineer reads first in a debug
// log. The log is read line by line, with or without time stamps; a file
// that several IDE processes wrote is cut into the add-in's lifetimes, from
// "FinalConstruct zandrel ADDRESS" to "FinalRelease zandrel ADDRESS PID=N".
// For each lifetime: how it was connected, how start-up ended, the events
// queued and dispatched, the documents withdrawn, the timer's lateness, the
// errors grouped by their text, and the lines support must see first.
//
// The log carries no process id on each line: lines written while two
// add-ins were alive cannot be told apart, and are summed up as such.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zandrel::doctor {

// One line of the log: its number in the file (from 1), its time stamp when
// it has one (seconds since local midnight, and the date text before them),
// its level and log-id names, and its message. Lines a message's own line
// ends split off are part of the message, joined with "\n".
struct LogLine {
  std::size_t number = 0;
  std::optional<double> seconds;
  std::string date;
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
  std::string text;  // the whole log line, as written
};

struct Lifetime {
  std::string address;    // "13200944"; empty for the lines outside any lifetime
  std::string pid;        // from FinalRelease or the end of start-up; empty when not logged
  bool overlapping = false;  // lines written while more than one add-in was alive
  bool released = false;     // its FinalRelease is in the log
  std::size_t firstLine = 0, lastLine = 0;
  std::optional<double> firstSeconds, lastSeconds;
  std::optional<int> connectMode;
  std::string startup;      // "attached to the running manager", "created the manager", "failed: ..."
  std::size_t startupLine = 0;
  std::map<std::string, int> queued;  // by event name
  int dispatched = 0;                 // ticks that took an event off the queue
  int registrations = 0;              // RegisterDoc calls (the log names no document)
  std::vector<LogMark> marks;         // in line order
  std::vector<std::int64_t> lateness;  // DeltaFromExpectedFire of the timer's ticks, ms
  int idleTicks = 0;                   // ticks with no fire pending (left out of the lateness)
  struct Group {
    std::string text;
    int count = 0;
    std::size_t firstLine = 0;
  };
  std::vector<Group> errors;  // by text, in order of first appearance
  struct Flag {
    std::string what;
    std::vector<std::size_t> lines;
  };
  std::vector<Flag> flags;  // what support must see first, in the order of kFlags

  int Queued() const;
};

// The texts support must see first, each found anywhere in a line's message.
extern const char* const kFlags[7];

struct LogSummary {
  std::size_t lines = 0;         // lines in the file
  std::size_t stamped = 0;       // of them with a time stamp
  std::vector<std::size_t> unreadable;  // lines in no known format (the first few)
  std::size_t unreadableCount = 0;
  std::vector<Lifetime> lifetimes;  // in order of their first line; stretches outside or shared included
};

// Why the bytes are no log the summary can read in full; the summary of what
// could be read is made all the same.
struct LogProblem {
  std::string message;
};

struct ReadLog {
  LogSummary summary;
  std::optional<LogProblem> problem;
};

// Reads a log's bytes; `fromAnsi` turns the ANSI code page's text into UTF-8.
ReadLog SummarizeLog(std::string_view bytes, const std::function<std::string(std::string_view)>& fromAnsi);

// Splits one line (without its line end) into its parts; none when it is in
// no format the logger writes.
std::optional<LogLine> ParseLogLine(std::string_view line, std::size_t number);

// The summary for people: one block a lifetime.
std::string SummaryText(const LogSummary& summary, const std::string& file);

// One self-contained page (no network): a timeline a lifetime, each mark
// showing its log line on hover.
std::string SummaryHtml(const LogSummary& summary, const std::string& file);

}  // namespace zandrel::doctor
