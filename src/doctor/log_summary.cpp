#include "doctor/log_summary.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <unordered_map>
#include <utility>

#include "shared/debug_logger.h"

namespace zandrel::doctor {

const char* const kFlags[7] = {"UNEXPECTED EVENT",
                               "StartTimer FAIL",
                               "StopTimer ERROR",
                               "NULL qmsDocument returned",
                               "ASYNC m_blnQueueInterrupt - break",
                               "Failed to init IntegrationManager",
                               "ERROR DoInitialize at"};

int Lifetime::Left() const { return std::max(0, queued - dispatched); }

namespace {

// Each concern with its weight, `each(weight, text)` with the text made only
// when asked for: one home for what asks for a look.
template <class Each>
void EachConcern(const Lifetime& life, Each each) {
  if (life.errorCount)
    each(1, [&] { return std::to_string(life.errorCount) + (life.errorCount == 1 ? " error" : " errors"); });
  if (!life.flags.empty() || life.flagged) each(2, [] { return std::string("lines to see first"); });
  // While several add-ins were alive, the log cannot tell whose line is
  // whose: an event may have been queued by one and dispatched by another, a
  // start-up's RegisterApp may be among the shared lines.
  const int left = life.Left();
  if (!life.overlapping && !life.shared && left)
    each(4, [&] { return std::to_string(left) + (left == 1 ? " event" : " events") + " left in the queue"; });
  if (life.startup.starts_with("failed")) each(16, [] { return std::string("start-up failed"); });
  else if (!life.address.empty() && life.startupBegun && !life.appRegistered && !life.shared)
    each(16, [] { return std::string("start-up did not end in RegisterApp"); });
  if (!life.address.empty() && !life.released) each(8, [] { return std::string("no FinalRelease"); });
}

}  // namespace

std::vector<std::string> Lifetime::Concerns() const {
  std::vector<std::string> why;
  EachConcern(*this, [&](int, const auto& text) { why.push_back(text()); });
  return why;
}

int Lifetime::Severity() const {
  int severity = 0;
  EachConcern(*this, [&](int weight, const auto&) { severity += weight; });
  return severity;
}

namespace {

constexpr std::size_t kUnreadableShown = 5;
constexpr std::int64_t kIdleTick = 60000;  // ms: a "lateness" this large means no fire was pending

// The logger's names, made once: every line of the log is held to them.
template <std::string (*Name)(std::int32_t), std::int32_t Last>
bool IsName(std::string_view name, std::string_view unnamed) {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (std::int32_t i = 0; i <= Last; ++i) all.push_back(Name(i));
    return all;
  }();
  return std::find(names.begin(), names.end(), name) != names.end() ||
         (name.starts_with(unnamed) && name.size() > unnamed.size());
}

bool IsLevelName(std::string_view name) { return IsName<shared::LogLevelName, 6>(name, "LEVEL"); }
bool IsIdName(std::string_view name) { return IsName<shared::LogIdName, 14>(name, "LOGID"); }

// A field padded to eight characters (a longer name stays whole), then `gap`
// blanks: the name (empty where the field begins with a blank: no level's or
// id's), and where the text after the gap begins.
std::optional<std::pair<std::string_view, std::size_t>> Field(std::string_view text, std::size_t at,
                                                              std::size_t gap) {
  const std::size_t end = text.find(' ', at);
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view name = text.substr(at, end - at);
  const std::size_t after = at + std::max<std::size_t>(8, name.size()) + gap;
  if (after > text.size()) return std::nullopt;
  for (std::size_t i = end; i < after; ++i)
    if (text[i] != ' ') return std::nullopt;
  return std::make_pair(name, after);
}

// "(4064.52) " ending at `close`: the seconds, with either decimal separator.
std::optional<double> Seconds(std::string_view number) {
  if (number.empty() || !std::isdigit(static_cast<unsigned char>(number.front()))) return std::nullopt;
  std::string text(number);
  bool separator = false;
  for (char& c : text) {
    if (c == ',' || c == '.') {
      if (separator) return std::nullopt;
      separator = true;
      c = '.';
    } else if (!std::isdigit(static_cast<unsigned char>(c))) {
      return std::nullopt;
    }
  }
  const double seconds = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(seconds)) return std::nullopt;
  return seconds;
}

// The rest of a message that had a line end of its own: the add-in's
// messages that have one go on with the error ("Err 429 ...", " Error 5 ...").
bool IsContinuation(std::string_view line) {
  const std::size_t first = line.find_first_not_of(' ');
  return first != std::string_view::npos && line.substr(first).starts_with("Err");
}

std::string Trimmed(std::string_view text) {
  const std::size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return std::string(text.substr(b, text.find_last_not_of(' ') - b + 1));
}

// The digits right after `key` in `text`, with a sign.
std::optional<std::int64_t> NumberAfter(std::string_view text, std::string_view key) {
  const std::size_t at = text.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  std::size_t i = at + key.size(), start = i;
  if (i < text.size() && text[i] == '-') ++i;
  const std::size_t digits = i;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
  if (i == digits || i - digits > 18) return std::nullopt;
  return std::strtoll(std::string(text.substr(start, i - start)).c_str(), nullptr, 10);
}

std::string WordAfter(std::string_view text, std::string_view key) {
  const std::size_t at = text.find(key);
  if (at == std::string_view::npos) return {};
  const std::size_t start = at + key.size();
  const std::size_t end = text.find_first_of(" \n", start);
  return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

// The whole line as written, for hover texts: the message's own line ends shown as " / ".
std::string Written(const LogLine& line) {
  std::string message = line.message;
  for (std::size_t p; (p = message.find('\n')) != std::string::npos;) message.replace(p, 1, " / ");
  return line.level + " " + line.id + "  " + message;
}

// The first `most` bytes of a text, cut before a character, not inside one.
std::string Clipped(std::string_view text, std::size_t most) {
  if (text.size() <= most) return std::string(text);
  std::size_t end = most;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end)) + "...";
}

// Reads each line into the lifetime it belongs to; a lifetime that ends is
// added to the totals and kept in full, in one line, or only in the totals.
class Reader {
 public:
  Reader(LogSummary& summary, const LogLimits& limits) : s_(summary), limits_(limits) {}

  void Take(const LogLine& line) {
    const std::string t = Trimmed(line.message);
    constexpr std::string_view kBegins = "FinalConstruct zandrel ", kEnds = "FinalRelease zandrel ";
    if (t.starts_with(kBegins)) {
      EndStretch();
      auto life = std::make_unique<Lifetime>();
      life->number = ++s_.totals.lifetimes;
      life->address = WordAfter(t, kBegins);
      open_.push_back(std::move(life));
      Note(*open_.back(), line, t);
      // A log of lifetimes that never end must not keep them all: the oldest
      // is taken as ended without its FinalRelease.
      if (open_.size() > limits_.aliveAtMost) {
        End(std::move(open_.front()));
        open_.erase(open_.begin());
      }
      return;
    }
    if (t.starts_with(kEnds)) {
      const std::string address = WordAfter(t, kEnds);
      auto it = std::find_if(open_.rbegin(), open_.rend(), [&](const auto& life) { return life->address == address; });
      if (it != open_.rend()) {
        EndStretch();
        auto life = std::move(*it);
        open_.erase(std::next(it).base());
        life->released = true;
        life->pid = WordAfter(t, "PID=");
        Note(*life, line, t);
        End(std::move(life));
        return;
      }
    }
    Note(Current(), line, t);
  }

  // The end of the log: what is still alive ends without its FinalRelease.
  void Finish() {
    EndStretch();
    for (auto& life : std::exchange(open_, {})) End(std::move(life));
    for (auto* list : {&lookFull_, &restFull_, &lookRows_, &restRows_}) std::ranges::sort(*list, std::less{}, Rank);
    s_.totals.lookRows = lookRows_.size();
    for (auto* list : {&lookFull_, &restFull_}) std::move(list->begin(), list->end(), std::back_inserter(s_.lifetimes));
    for (auto* list : {&lookRows_, &restRows_}) std::move(list->begin(), list->end(), std::back_inserter(s_.rows));
  }

 private:
  // The lifetime of a line that opens or closes none: the one alive, or the
  // stretch of lines outside any lifetime, or shared by several. A stretch
  // ends where a lifetime begins or ends, so the one open is of the right kind.
  Lifetime& Current() {
    if (open_.size() == 1) return *open_.front();
    if (!stretch_) {
      stretch_ = std::make_unique<Lifetime>();
      stretch_->overlapping = open_.size() > 1;
      for (auto& life : open_) life->shared = life->shared || stretch_->overlapping;
    }
    return *stretch_;
  }

  void EndStretch() {
    if (!stretch_) return;
    End(std::move(stretch_));
  }

  void End(std::unique_ptr<Lifetime> life) {
    groups_.erase(life.get());
    if (!life->lateness.empty()) {
      std::size_t count = 0;
      for (const auto& [late, n] : life->lateness) count += static_cast<std::size_t>(n);
      std::size_t below = 0;
      for (const auto& [late, n] : life->lateness) {
        below += static_cast<std::size_t>(n);
        if (below > (count - 1) / 2) {
          life->ticks = Lifetime::Ticks{count, late, life->lateness.rbegin()->first};
          break;
        }
      }
      life->lateness.clear();
    }
    LogTotals& t = s_.totals;
    t.released += life->released;
    t.queued += life->queued;
    t.dispatched += life->dispatched;
    t.registrations += life->registrations;
    t.withdrawals += life->withdrawals;
    t.errors += life->errorCount;
    const int severity = life->Severity();
    (life->address.empty() ? t.stretchesNeedLook : t.needLook) += severity > 0;
    // The most serious are kept in full, the next in one line each; the
    // least serious (the later, among equals) make room and are only counted.
    auto& full = severity ? lookFull_ : restFull_;
    auto& rows = severity ? lookRows_ : restRows_;
    full.push_back(std::move(*life));
    if (full.size() <= (severity ? limits_.lookShown : limits_.restShown)) return;
    Lifetime row = TakeLeast(full);
    row.flagged = !row.flags.empty();
    row.marks = {};
    row.errors = {};
    row.flags = {};
    row.queuedByName = {};
    rows.push_back(std::move(row));
    if (rows.size() <= limits_.rowsShown) return;
    TakeLeast(rows);
    ++(severity ? t.lookLeftOut : t.restLeftOut);
  }

  // The most serious first, in the order of their first line among equals
  // (no two lifetimes begin at the same line).
  static std::pair<int, std::size_t> Rank(const Lifetime& life) { return {-life.Severity(), life.firstLine}; }

  static Lifetime TakeLeast(std::vector<Lifetime>& lives) {
    auto least = std::ranges::max_element(lives, std::less{}, Rank);
    Lifetime taken = std::move(*least);
    *least = std::move(lives.back());
    lives.pop_back();
    return taken;
  }

  // `count`: the marks of this kind so far, this one included.
  void Mark(Lifetime& life, LogMark::Kind kind, int count, const LogLine& line, std::string what) {
    if (static_cast<std::size_t>(count) > limits_.marksPerLane) {
      ++life.marksLeftOut[kind];
      return;
    }
    life.marks.push_back({kind, line.number, line.seconds, Clipped(what, kLongestText), Clipped(Written(line), kLongestText)});
  }

  void Note(Lifetime& life, const LogLine& line, const std::string& t) {
    if (life.firstLine == 0) {
      life.firstLine = line.number;
      life.firstSeconds = line.seconds;
    }
    life.lastLine = line.number;
    if (line.seconds) life.lastSeconds = line.seconds;

    if (auto mode = NumberAfter(t, "IDTExtensibility2_OnConnection: ConnectMode=")) life.connectMode = static_cast<int>(*mode);
    StartUp(life, line, t);
    if (t.starts_with("BEGIN AddEvent(")) {
      std::string name = WordAfter(t, "Event=");
      ++life.queued;
      if (life.queuedByName.size() < limits_.eventNames || life.queuedByName.contains(name)) ++life.queuedByName[name];
      else ++life.queuedByName["(other names)"];
      Mark(life, LogMark::Queued, life.queued, line, std::move(name));
    } else if (t.starts_with("SET XeqEvent: QCount=")) {
      if (NumberAfter(t, "QCount=").value_or(0) > 0) {
        ++life.dispatched;
        Mark(life, LogMark::Dispatched, life.dispatched, line, "");
      }
      if (auto late = NumberAfter(t, "DeltaFromExpectedFire=")) {
        if (std::llabs(*late) < kIdleTick) ++life.lateness[*late];
        else ++life.idleTicks;
      }
    } else if (t.starts_with("m_RegMgr=") && t.find(" m_IntgMgrApp=") != std::string::npos) {
      ++life.registrations;
      Mark(life, LogMark::Registered, life.registrations, line, "(the log names no document)");
    } else if (t.starts_with("RegisterProjects:") && t.find("m_RegMgr.UnRegisterDoc(") != std::string::npos) {
      std::string name = t.substr(t.find("UnRegisterDoc(") + 14);
      if (!name.empty() && name.back() == ')') name.pop_back();
      ++life.withdrawals;
      Mark(life, LogMark::Withdrawn, life.withdrawals, line, name.empty() ? "(no name)" : name);
    }
    if (line.level == "ERROR" || line.level == "CRITICAL") {
      std::string text = t;
      for (std::size_t p; (p = text.find('\n')) != std::string::npos;) text.replace(p, 1, " / ");
      text = Clipped(text, kLongestText);
      ++life.errorCount;
      // The groups of the lifetimes being read, by text: a look-up as long
      // as the text, whatever the number of groups.
      auto& groups = groups_[&life];
      if (auto found = groups.find(text); found != groups.end()) {
        ++life.errors[found->second].count;
      } else if (life.errors.size() < limits_.errorGroups) {
        groups.emplace(text, life.errors.size());
        life.errors.push_back({text, 1, line.number});
      } else {
        ++life.ungrouped;
      }
      Mark(life, LogMark::Error, life.errorCount, line, std::move(text));
    }
    for (const char* flag : kFlags) {
      if (line.message.find(flag) == std::string::npos) continue;
      auto entry = std::find_if(life.flags.begin(), life.flags.end(), [&](const auto& f) { return f.what == flag; });
      if (entry == life.flags.end()) entry = life.flags.insert(life.flags.end(), {flag, 0, {}});
      ++entry->count;
      if (entry->lines.size() < kUnreadableShown) entry->lines.push_back(line.number);
    }
  }

  void StartUp(Lifetime& life, const LogLine& line, const std::string& t) {
    auto set = [&](std::string what) {
      life.startup = std::move(what);
      life.startupLine = line.number;
    };
    if (t.starts_with("BEGIN DoInitialize") || t.starts_with("Call GetObject(") || t.starts_with("Call CreateObject("))
      life.startupBegun = true;
    if (t.starts_with("Call GetObject(")) attempt_ = "attached to the running manager";
    else if (t.starts_with("Call CreateObject(")) attempt_ = "created the manager (none was running)";
    else if (t.starts_with("RETURN=") && !attempt_.empty() && NumberAfter(t, "RETURN=").value_or(0) != 0) set(attempt_);
    else if (t.starts_with("DoInitialize:  Failed to init IntegrationManager"))
      set("failed: neither attached to nor created the manager (" + Trimmed(t.substr(t.find('\n') + 1)) + ")");
    else if (t.starts_with("DoInitialize:  m_IntgMgr.RegistrationManager Failed"))
      set("failed: the manager gave no registration manager");
    else if (t.starts_with("FAIL m_RegMgr.RegisterApp")) set("failed: RegisterApp gave no application");
    else if (t.starts_with("m_RegMgr.RegisterApp(") && NumberAfter(t, ") =").value_or(0) != 0) life.appRegistered = true;
    else if (t.starts_with("ERROR DoInitialize at ")) set("failed: " + t.substr(6));
    else if (constexpr std::string_view kEnded = "END DoInitialize PID="; t.starts_with(kEnded)) {
      life.pid = WordAfter(t, kEnded);
      if (life.startup.empty()) set("ended without the manager's answer in the log");
    }
  }

  LogSummary& s_;
  const LogLimits limits_;
  std::vector<std::unique_ptr<Lifetime>> open_;  // lifetimes alive, in the order they began
  std::unique_ptr<Lifetime> stretch_;            // the stretch outside or shared that lines go to now
  std::string attempt_;
  std::vector<Lifetime> lookFull_, restFull_, lookRows_, restRows_;  // those that need a look, and the rest
  std::unordered_map<const Lifetime*, std::unordered_map<std::string, std::size_t>> groups_;  // text -> index in errors
};

}  // namespace

std::optional<LogLine> ParseLogLine(std::string_view line, std::size_t number) {
  LogLine out;
  out.number = number;
  std::string_view rest = line;
  if (!line.empty() && line[0] != ' ') {
    // "DATE (SECONDS) " before the blank that starts the rest.
    const std::size_t close = line.find(") ");
    const std::size_t open = close == std::string_view::npos ? close : line.rfind(" (", close);
    if (open == std::string_view::npos) return std::nullopt;
    out.seconds = Seconds(line.substr(open + 2, close - open - 2));
    if (!out.seconds) return std::nullopt;
    rest = line.substr(close + 2);
  }
  if (rest.empty() || rest[0] != ' ') return std::nullopt;
  auto level = Field(rest, 1, 1);
  if (!level || !IsLevelName(level->first)) return std::nullopt;
  auto id = Field(rest, level->second, 2);
  if (!id || !IsIdName(id->first)) return std::nullopt;
  out.level = std::string(level->first);
  out.id = std::string(id->first);
  out.message = std::string(rest.substr(id->second));
  return out;
}

struct LogSummarizer::State {
  State(FromAnsi from, const LogLimits& limits) : fromAnsi(std::move(from)), reader(out.summary, limits) {}
  FromAnsi fromAnsi;
  ReadLog out;
  Reader reader;
  std::optional<LogLine> pending;  // the last line read, which a message's own line end may continue
  std::string partial;             // the line being read, up to kLongestLine bytes
  bool partialCut = false;         // its bytes past kLongestLine were left out
  std::size_t offset = 0;          // bytes read
  bool binary = false;
  // NUL bytes past the first line: the zeros a write cut short (a crash, a
  // power loss) leaves where its data never reached the disk. They are
  // skipped, with the part of a line before them.
  std::size_t nuls = 0;
  std::string firstNul;  // where the first was: "from offset N (line N)"
  bool lineCutByNul = false, textAfterNul = false;

  // Bytes without a NUL: the lines they end, and the start of the next.
  void Text(std::string_view bytes) {
    offset += bytes.size();
    textAfterNul = textAfterNul || (nuls > 0 && !bytes.empty());
    while (!bytes.empty()) {
      const std::size_t end = bytes.find('\n');
      const std::string_view piece = bytes.substr(0, end);
      if (partial.empty() && !partialCut && end != std::string_view::npos && piece.size() <= kLongestLine) {
        Line(piece);  // the whole line in this piece: read in place
      } else {
        const std::size_t room = kLongestLine - partial.size();
        partial.append(piece.substr(0, room));
        partialCut = partialCut || piece.size() > room;
        if (end == std::string_view::npos) return;
        out.summary.cutLines += partialCut;
        Line(partial);
        partial.clear();
        partialCut = false;
      }
      if (end == std::string_view::npos) return;
      bytes.remove_prefix(end + 1);
    }
  }

  // A run of `count` NUL bytes. Before the first line ends it is no log.
  void Nul(std::size_t count) {
    if (out.summary.lines == 0) {
      out.problem = LogProblem{"it holds binary data (a NUL byte at offset " + std::to_string(offset) +
                               "): it is no log the add-in wrote"};
      binary = true;
      return;
    }
    if (nuls == 0)
      firstNul = "from offset " + std::to_string(offset) + " (line " + std::to_string(out.summary.lines + 1) + ")";
    nuls += count;
    offset += count;
    lineCutByNul = lineCutByNul || !partial.empty() || partialCut;
    partial.clear();
    partialCut = false;
  }

  // What the NUL bytes were and what became of them.
  std::string NulProblem() const {
    const std::string where = std::to_string(nuls) + " NUL bytes, " + firstNul;
    return (textAfterNul ? "it holds " + where + " on, with lines after them"
                         : "it ends in " + where) +
           ": what a write cut short by a crash or a power loss leaves; they are left out" +
           (lineCutByNul ? ", with the part of a line before them" : "") + ", and the lines " +
           (textAfterNul ? "around" : "before") + " them are summed up";
  }

  void Line(std::string_view raw) {
    LogSummary& s = out.summary;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    ++s.lines;
    if (raw.empty()) return;
    // Every ANSI code page is ASCII below 0x80: most lines need no conversion.
    const bool ascii = std::all_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::string converted;
    if (!ascii) converted = fromAnsi(raw);
    const std::string_view text = ascii ? raw : std::string_view(converted);
    if (auto line = ParseLogLine(text, s.lines)) {
      if (pending) reader.Take(*pending);
      if (line->seconds) ++s.stamped;
      pending = std::move(line);
    } else if (pending && IsContinuation(text) && pending->message.size() < kLongestLine) {
      pending->message += '\n';
      pending->message += text;
    } else {
      if (s.unreadable.size() < kUnreadableShown) s.unreadable.push_back(s.lines);
      ++s.unreadableCount;
    }
  }
};

LogSummarizer::LogSummarizer(FromAnsi fromAnsi, LogLimits limits)
    : state_(std::make_unique<State>(std::move(fromAnsi), limits)) {}

LogSummarizer::~LogSummarizer() = default;

void LogSummarizer::Feed(std::string_view bytes) {
  State& st = *state_;
  while (!st.binary && !bytes.empty()) {
    const std::size_t nul = bytes.find('\0');
    st.Text(bytes.substr(0, nul));
    if (nul == std::string_view::npos) return;
    bytes.remove_prefix(nul);
    const std::size_t run = std::min(bytes.find_first_not_of('\0'), bytes.size());
    st.Nul(run);
    bytes.remove_prefix(run);
  }
}

ReadLog LogSummarizer::Finish() {
  State& st = *state_;
  if (st.binary) return {LogSummary{}, st.out.problem};
  LogSummary& s = st.out.summary;
  if (st.nuls) st.out.problem = LogProblem{st.NulProblem()};
  if (!st.partial.empty() || st.partialCut) {
    const std::string cut = "it ends in the middle of line " + std::to_string(s.lines + 1) +
                            " (no line end after it): the file was cut short, or an IDE was writing it; "
                            "that line is left out";
    st.out.problem = LogProblem{st.out.problem ? st.out.problem->message + "; " + cut : cut};
  }
  if (st.pending) st.reader.Take(*st.pending);
  st.pending.reset();
  st.reader.Finish();
  if (s.lines == 0 && !st.out.problem) st.out.problem = LogProblem{"it is empty: nothing was logged"};
  return std::move(st.out);
}

ReadLog SummarizeLog(std::string_view bytes, const FromAnsi& fromAnsi, LogLimits limits) {
  LogSummarizer summarizer(fromAnsi, limits);
  summarizer.Feed(bytes);
  return summarizer.Finish();
}

namespace {

// Seconds since midnight as the clock shows them, to the hundredth: rounded
// first, so that 59.996 s is 00:01:00.00 and never 00:00:60.00.
std::string Clock(double seconds) {
  constexpr long long kDay = 24LL * 3600 * 100;
  const long long hundredths = std::llround(std::fmod(seconds, 86400.0) * 100) % kDay;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%02lld", hundredths / 360000, hundredths / 6000 % 60,
                hundredths / 100 % 60, hundredths % 100);
  return text;
}

std::string At(std::size_t line, const std::optional<double>& seconds) {
  return "line " + std::to_string(line) + (seconds ? ", " + Clock(*seconds) : std::string());
}

std::string Lines(const std::vector<std::size_t>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size() && i < kUnreadableShown; ++i) text += (i ? ", " : "") + std::to_string(lines[i]);
  if (lines.size() > kUnreadableShown) text += ", ...";
  return text;
}

const char* ModeName(int mode) {
  static const char* const kNames[] = {"ext_cm_AfterStartup", "ext_cm_Startup",  "ext_cm_External",
                                       "ext_cm_CommandLine",  "ext_cm_Solution", "ext_cm_UISetup"};
  return mode >= 0 && mode < 6 ? kNames[mode] : "unknown";
}

std::string Title(const Lifetime& life, std::size_t number) {
  if (!life.address.empty())
    return "lifetime " + std::to_string(number) + ": zandrel " + life.address +
           (life.pid.empty() ? "" : ", PID " + life.pid);
  return life.overlapping ? "lines written while several add-ins were alive (the log cannot tell whose)"
                          : "lines outside any add-in's lifetime";
}

std::string Plural(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Lateness(const Lifetime& life) {
  if (!life.ticks) return "no tick";
  return Plural(static_cast<long long>(life.ticks->count), "tick", "ticks") + ", median " + std::to_string(life.ticks->median) +
         " ms, maximum " + std::to_string(life.ticks->maximum) + " ms" +
         (life.idleTicks ? "; " + std::to_string(life.idleTicks) + " with no fire pending left out" : "");
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

namespace {

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& part : parts) out += (out.empty() ? "" : ", ") + part;
  return out;
}

std::string Span(const Lifetime& life) {
  return "lines " + std::to_string(life.firstLine) + " to " + std::to_string(life.lastLine) +
         (life.firstSeconds && life.lastSeconds ? ", " + Clock(*life.firstSeconds) + " to " + Clock(*life.lastSeconds) : "");
}

// A lifetime without its FinalRelease is no failure in itself: the manager
// holds the add-in from RegisterApp on and may let go of it after the IDE's
// own release, when the process may already have ended.
std::string WithoutItsEnd(const Lifetime& life, const LogSummary& summary) {
  return "  no FinalRelease: the process ended before the manager let go of the add-in (it holds the add-in "
         "from RegisterApp on and may release it after the IDE), or the log was cut, or the process crashed; "
         "the log cannot tell which. To check: the Windows event log (Application) for a crash of the IDE" +
         std::string(life.lastSeconds ? " around " + Clock(*life.lastSeconds) : "") + ", and " +
         (life.lastLine >= summary.lines ? "whether the log was copied while the IDE ran (its last line is the log's last)"
                                        : "whether the IDE was still working at its last line (the log goes on after it, "
                                          "so it was not cut there)") +
         "\n";
}

void Block(std::string& out, const Lifetime& life, const LogSummary& summary) {
  out += "== " + Title(life, life.number) + "\n";
  if (const auto why = life.Concerns(); !why.empty()) out += "  needs a look: " + Joined(why) + "\n";
  out += "  " + Span(life) + "\n";
  if (!life.address.empty() && !life.released) out += WithoutItsEnd(life, summary);
  for (const auto& flag : life.flags)
    out += "  SEE FIRST: \"" + flag.what + "\" " + std::to_string(flag.count) + "x (line " + Lines(flag.lines) +
           (flag.count > static_cast<int>(flag.lines.size()) ? ", ..." : "") + ")\n";
  if (life.connectMode) out += "  connect mode: " + std::to_string(*life.connectMode) + " (" + ModeName(*life.connectMode) + ")\n";
  if (!life.startup.empty()) out += "  start-up: " + life.startup + " (line " + std::to_string(life.startupLine) + ")\n";
  std::string names;
  for (const auto& [name, count] : life.queuedByName) names += (names.empty() ? "" : ", ") + name + " " + std::to_string(count);
  out += "  events: queued " + std::to_string(life.queued) + (names.empty() ? "" : " (" + names + ")") + ", dispatched " +
         std::to_string(life.dispatched) + ", left in the queue " + std::to_string(life.Left()) + "\n";
  out += "  documents: " + std::to_string(life.registrations) + " registered (the log names none), " +
         std::to_string(life.withdrawals) + " withdrawn by name";
  for (const auto& mark : life.marks)
    if (mark.kind == LogMark::Withdrawn) out += "\n    withdrawn " + mark.what + " (" + At(mark.line, mark.seconds) + ")";
  if (const int more = life.marksLeftOut[LogMark::Withdrawn]) out += "\n    and " + Plural(more, "more", "more");
  out += "\n  timer lateness (DeltaFromExpectedFire): " + Lateness(life) + "\n";
  out += "  errors: " +
         (life.errorCount ? std::to_string(life.errorCount) + " in " + std::to_string(life.errors.size()) +
                                (life.ungrouped ? "+" : "") + " groups"
                          : std::string("none")) +
         "\n";
  for (const auto& group : life.errors)
    out += "    " + std::to_string(group.count) + "x \"" + group.text + "\" (first at line " + std::to_string(group.firstLine) + ")\n";
  if (life.ungrouped)
    out += "    and " + Plural(life.ungrouped, "more error", "more errors") + " in texts past the first " +
           std::to_string(life.errors.size()) + " (not grouped)\n";
}

// One line: which lifetime, when, and what it did.
void Row(std::string& out, const Lifetime& life) {
  const auto why = life.Concerns();
  out += "  " + Title(life, life.number) + ": " + Span(life) + "; events " + std::to_string(life.queued) + ", documents " +
         std::to_string(life.registrations) + (why.empty() ? "" : "; " + Joined(why)) + "\n";
}

void LeftOut(std::string& out, std::size_t count, const char* what) {
  if (count) out += "  and " + std::to_string(count) + (count == 1 ? " more lifetime " : " more lifetimes ") + what + "\n";
}

}  // namespace

std::string SummaryText(const LogSummary& summary, const std::string& file) {
  const LogTotals& t = summary.totals;
  std::string out = "log " + file + ": " + std::to_string(summary.lines) + " lines, " +
                    std::to_string(summary.stamped) + " with time stamps; " + std::to_string(t.lifetimes) +
                    " add-in lifetimes\n";
  if (summary.unreadableCount)
    out += "  " + Plural(static_cast<long long>(summary.unreadableCount), "line", "lines") +
           " in no format the logger writes (lines " +
           Lines(summary.unreadable) + (summary.unreadableCount > summary.unreadable.size() ? ", ..." : "") + ")\n";
  if (summary.cutLines)
    out += "  " + Plural(static_cast<long long>(summary.cutLines), "line", "lines") + " longer than " +
           std::to_string(kLongestLine) + " bytes, read up to there\n";
  out += "totals: " + std::to_string(t.released) + " of " + std::to_string(t.lifetimes) +
         " lifetimes with their FinalRelease; events queued " + std::to_string(t.queued) + ", dispatched " +
         std::to_string(t.dispatched) + "; documents " + std::to_string(t.registrations) + " registered, " +
         std::to_string(t.withdrawals) + " withdrawn by name; " +
         (t.errors ? Plural(t.errors, "error", "errors") : std::string("no error")) + "\n";
  const auto looks = [](const Lifetime& life) { return !life.Concerns().empty(); };
  const std::size_t lookFull = static_cast<std::size_t>(std::count_if(summary.lifetimes.begin(), summary.lifetimes.end(), looks));
  const std::size_t lookShown = lookFull + t.lookRows;
  if (lookShown) {
    out += "need a look: " + std::to_string(t.needLook) + " of " + Plural(static_cast<long long>(t.lifetimes), "lifetime", "lifetimes") +
           (t.stretchesNeedLook ? ", and " + Plural(static_cast<long long>(t.stretchesNeedLook), "stretch", "stretches") +
                                      " of lines outside any lifetime or shared by several"
                                : "") +
           "\n";
    for (std::size_t i = 0; i < lookFull; ++i) Block(out, summary.lifetimes[i], summary);
    for (std::size_t i = 0; i < t.lookRows; ++i) Row(out, summary.rows[i]);
    LeftOut(out, t.lookLeftOut, "that need a look, not shown");
  } else {
    out += "need a look: none\n";
  }
  if (summary.lifetimes.size() > lookFull || summary.rows.size() > t.lookRows || t.restLeftOut)
    out += "the rest:\n";
  for (std::size_t i = lookFull; i < summary.lifetimes.size(); ++i) Block(out, summary.lifetimes[i], summary);
  for (std::size_t i = t.lookRows; i < summary.rows.size(); ++i) Row(out, summary.rows[i]);
  LeftOut(out, t.restLeftOut, "with nothing to look at, not shown");
  return out;
}

std::string SummaryHtml(const LogSummary& summary, const std::string& file) {
  static const char* const kColours[] = {"#3465a4", "#4e9a06", "#75507b", "#c17d11", "#cc0000"};
  std::string out =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>zandrel log: " + Escaped(file) +
      "</title>\n<style>body{font:13px sans-serif;margin:16px}pre{background:#f4f4f4;padding:8px}"
      "svg{border:1px solid #ccc;margin:4px 0 16px}.mark:hover rect{stroke:#000;stroke-width:2}"
      "text{font:11px sans-serif}</style></head><body>\n<h1>zandrel log: " + Escaped(file) + "</h1>\n<pre>" +
      Escaped(SummaryText(summary, file)) + "</pre>\n";
  for (std::size_t i = 0; i < summary.lifetimes.size(); ++i) {
    const Lifetime& life = summary.lifetimes[i];
    const bool look = !life.Concerns().empty();
    if (i == 0 || look != !summary.lifetimes[i - 1].Concerns().empty())
      out += std::string("<h2 class=\"group\">") + (look ? "Need a look" : "The rest") + "</h2>\n";
    const bool timed = life.firstSeconds && life.lastSeconds && *life.lastSeconds > *life.firstSeconds;
    const double from = timed ? *life.firstSeconds : static_cast<double>(life.firstLine);
    const double to = timed ? *life.lastSeconds : static_cast<double>(std::max(life.lastLine, life.firstLine + 1));
    out += "<section class=\"lifetime\"><h3>" + Escaped(Title(life, life.number)) + "</h3>\n";
    const bool leftOut = std::any_of(std::begin(life.marksLeftOut), std::end(life.marksLeftOut), [](int n) { return n > 0; });
    out += std::string("<svg width=\"") + (leftOut ? "1200" : "1100") + "\" height=\"130\">\n";
    for (int k = 0; k < kMarkKinds; ++k)
      out += "<text x=\"4\" y=\"" + std::to_string(22 + k * 20) + "\">" + kMarkNames[k] + "</text>\n";
    out += "<text x=\"100\" y=\"125\">" + Escaped(timed ? Clock(from) : "line " + std::to_string(life.firstLine)) +
           "</text><text x=\"1000\" y=\"125\">" +
           Escaped(timed ? Clock(to) : "line " + std::to_string(life.lastLine)) + "</text>\n";
    for (const LogMark& mark : life.marks) {
      const double at = timed && mark.seconds ? *mark.seconds : static_cast<double>(mark.line);
      const double x = 100 + 980 * std::clamp((at - from) / (to - from), 0.0, 1.0);
      char position[64];
      std::snprintf(position, sizeof position, "x=\"%.1f\" y=\"%d\"", x, 10 + static_cast<int>(mark.kind) * 20);
      out += std::string("<g class=\"mark ") + kMarkNames[mark.kind] + "\"><title>line " + std::to_string(mark.line) + ": " +
             Escaped(mark.text) + "</title><rect " + position + " width=\"4\" height=\"16\" fill=\"" +
             kColours[mark.kind] + "\"/></g>\n";
    }
    for (int k = 0; k < kMarkKinds; ++k)
      if (const int more = life.marksLeftOut[k])
        out += "<text class=\"left-out\" data-kind=\"" + std::string(kMarkNames[k]) + "\" data-count=\"" +
               std::to_string(more) + "\" x=\"1084\" y=\"" + std::to_string(22 + k * 20) + "\">+" + std::to_string(more) +
               " left out</text>\n";
    out += "</svg></section>\n";
  }
  out += "</body></html>\n";
  return out;
}

}  // namespace zandrel::doctor
