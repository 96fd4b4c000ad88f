#include "doctor/log_summary.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "shared/debug_logger.h"

namespace zandrel::doctor {

const char* const kFlags[7] = {"UNEXPECTED EVENT",
                               "StartTimer FAIL",
                               "StopTimer ERROR",
                               "NULL qmsDocument returned",
                               "ASYNC m_blnQueueInterrupt - break",
                               "Failed to init IntegrationManager",
                               "ERROR DoInitialize at"};

int Lifetime::Queued() const {
  int n = 0;
  for (const auto& [name, count] : queued) n += count;
  return n;
}

namespace {

constexpr std::size_t kUnreadableShown = 5;
constexpr std::int64_t kIdleTick = 60000;  // ms: a "lateness" this large means no fire was pending

bool IsLevelName(std::string_view name) {
  for (std::int32_t level = 0; level <= 6; ++level)
    if (name == shared::LogLevelName(level)) return true;
  return name.starts_with("LEVEL") && name.size() > 5;
}

bool IsIdName(std::string_view name) {
  for (std::int32_t id = 0; id <= 14; ++id)
    if (name == shared::LogIdName(id)) return true;
  return name.starts_with("LOGID") && name.size() > 5;
}

// A field padded to eight characters (a longer name stays whole), then `gap`
// blanks: the name, and where the text after the gap begins.
std::optional<std::pair<std::string_view, std::size_t>> Field(std::string_view text, std::size_t at,
                                                              std::size_t gap) {
  const std::size_t end = text.find(' ', at);
  if (end == std::string_view::npos || end == at) return std::nullopt;
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
  return std::strtod(text.c_str(), nullptr);
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

// Reads each line into the lifetime it belongs to.
class Reader {
 public:
  explicit Reader(LogSummary& summary) : s_(summary) {}

  void Take(const LogLine& line) {
    const std::string t = Trimmed(line.message);
    Lifetime* life = nullptr;
    if (t.starts_with("FinalConstruct zandrel ")) {
      s_.lifetimes.push_back({});
      s_.lifetimes.back().address = WordAfter(t, "FinalConstruct zandrel ");
      open_.push_back(s_.lifetimes.size() - 1);
      stretch_ = npos;
      life = &s_.lifetimes.back();
    } else if (t.starts_with("FinalRelease zandrel ")) {
      const std::string address = WordAfter(t, "FinalRelease zandrel ");
      auto it = std::find_if(open_.rbegin(), open_.rend(),
                             [&](std::size_t i) { return s_.lifetimes[i].address == address; });
      if (it != open_.rend()) {
        life = &s_.lifetimes[*it];
        life->released = true;
        life->pid = WordAfter(t, "PID=");
        open_.erase(std::next(it).base());
        stretch_ = npos;
      }
    }
    if (!life) life = Current();
    Note(*life, line, t);
  }

 private:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  // The lifetime of a line that opens or closes none: the one alive, or the
  // stretch of lines outside any lifetime, or shared by several.
  Lifetime* Current() {
    if (open_.size() == 1) return &s_.lifetimes[open_.front()];
    if (stretch_ == npos || s_.lifetimes[stretch_].overlapping != (open_.size() > 1)) {
      s_.lifetimes.push_back({});
      s_.lifetimes.back().overlapping = open_.size() > 1;
      stretch_ = s_.lifetimes.size() - 1;
    }
    return &s_.lifetimes[stretch_];
  }

  void Mark(Lifetime& life, LogMark::Kind kind, const LogLine& line, std::string what) {
    life.marks.push_back({kind, line.number, line.seconds, std::move(what), Written(line)});
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
      const std::string name = WordAfter(t, "Event=");
      ++life.queued[name];
      Mark(life, LogMark::Queued, line, name);
    } else if (t.starts_with("SET XeqEvent: QCount=")) {
      if (NumberAfter(t, "QCount=").value_or(0) > 0) {
        ++life.dispatched;
        Mark(life, LogMark::Dispatched, line, "");
      }
      if (auto late = NumberAfter(t, "DeltaFromExpectedFire=")) {
        if (std::llabs(*late) < kIdleTick) life.lateness.push_back(*late);
        else ++life.idleTicks;
      }
    } else if (t.starts_with("m_RegMgr=") && t.find(" m_IntgMgrApp=") != std::string::npos) {
      ++life.registrations;
      Mark(life, LogMark::Registered, line, "(the log names no document)");
    } else if (t.starts_with("RegisterProjects:") && t.find("m_RegMgr.UnRegisterDoc(") != std::string::npos) {
      std::string name = t.substr(t.find("UnRegisterDoc(") + 14);
      if (!name.empty() && name.back() == ')') name.pop_back();
      Mark(life, LogMark::Withdrawn, line, name.empty() ? "(no name)" : name);
    }
    if (line.level == "ERROR" || line.level == "CRITICAL") {
      std::string text = t;
      for (std::size_t p; (p = text.find('\n')) != std::string::npos;) text.replace(p, 1, " / ");
      auto group = std::find_if(life.errors.begin(), life.errors.end(), [&](const auto& g) { return g.text == text; });
      if (group == life.errors.end()) life.errors.push_back({text, 1, line.number});
      else ++group->count;
      Mark(life, LogMark::Error, line, text);
    }
    for (const char* flag : kFlags) {
      if (line.message.find(flag) == std::string::npos) continue;
      auto entry = std::find_if(life.flags.begin(), life.flags.end(), [&](const auto& f) { return f.what == flag; });
      if (entry == life.flags.end()) entry = life.flags.insert(life.flags.end(), {flag, {}});
      entry->lines.push_back(line.number);
    }
  }

  void StartUp(Lifetime& life, const LogLine& line, const std::string& t) {
    auto set = [&](std::string what) {
      life.startup = std::move(what);
      life.startupLine = line.number;
    };
    if (t.starts_with("Call GetObject(")) attempt_ = "attached to the running manager";
    else if (t.starts_with("Call CreateObject(")) attempt_ = "created the manager (none was running)";
    else if (t.starts_with("RETURN=") && !attempt_.empty() && NumberAfter(t, "RETURN=").value_or(0) != 0) set(attempt_);
    else if (t.starts_with("DoInitialize:  Failed to init IntegrationManager"))
      set("failed: neither attached to nor created the manager (" + Trimmed(t.substr(t.find('\n') + 1)) + ")");
    else if (t.starts_with("DoInitialize:  m_IntgMgr.RegistrationManager Failed"))
      set("failed: the manager gave no registration manager");
    else if (t.starts_with("FAIL m_RegMgr.RegisterApp")) set("failed: RegisterApp gave no application");
    else if (t.starts_with("ERROR DoInitialize at ")) set("failed: " + t.substr(6));
    else if (t.starts_with("END DoInitialize PID=")) {
      life.pid = WordAfter(t, "PID=");
      if (life.startup.empty()) set("ended without the manager's answer in the log");
    }
  }

  LogSummary& s_;
  std::vector<std::size_t> open_;  // lifetimes alive, in the order they began
  std::size_t stretch_ = npos;     // the stretch outside or shared that lines go to now
  std::string attempt_;
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
    out.date = std::string(line.substr(0, open));
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

ReadLog SummarizeLog(std::string_view bytes, const std::function<std::string(std::string_view)>& fromAnsi) {
  ReadLog out;
  if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
    out.problem = LogProblem{"it holds binary data (a NUL byte at offset " + std::to_string(nul) +
                             "): it is no log the add-in wrote"};
    return out;
  }
  LogSummary& s = out.summary;
  Reader reader(s);
  std::optional<LogLine> pending;  // the last line read, which a message's own line end may continue
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) {
      out.problem = LogProblem{"it ends in the middle of line " + std::to_string(s.lines + 1) +
                               " (no line end after it): the file was cut short, or an IDE was writing it; "
                               "that line is left out"};
      break;
    }
    std::string_view raw = bytes.substr(start, end - start);
    start = end + 1;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    ++s.lines;
    if (raw.empty()) continue;
    const std::string text = fromAnsi(raw);
    if (auto line = ParseLogLine(text, s.lines)) {
      if (pending) reader.Take(*pending);
      if (line->seconds) ++s.stamped;
      pending = std::move(line);
    } else if (pending && IsContinuation(text)) {
      pending->message += "\n" + text;
    } else {
      if (s.unreadable.size() < kUnreadableShown) s.unreadable.push_back(s.lines);
      ++s.unreadableCount;
    }
  }
  if (pending) reader.Take(*pending);
  if (s.lines == 0 && !out.problem) out.problem = LogProblem{"it is empty: nothing was logged"};
  std::stable_sort(s.lifetimes.begin(), s.lifetimes.end(),
                   [](const Lifetime& a, const Lifetime& b) { return a.firstLine < b.firstLine; });
  return out;
}

namespace {

std::string Clock(double seconds) {
  const int whole = static_cast<int>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%05.2f", whole / 3600 % 24, whole / 60 % 60,
                seconds - (whole / 60) * 60.0);
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

std::string Lateness(const Lifetime& life) {
  if (life.lateness.empty()) return "no tick";
  std::vector<std::int64_t> sorted = life.lateness;
  std::sort(sorted.begin(), sorted.end());
  return std::to_string(sorted.size()) + (sorted.size() == 1 ? " tick" : " ticks") + ", median " + std::to_string(sorted[(sorted.size() - 1) / 2]) +
         " ms, maximum " + std::to_string(sorted.back()) + " ms" +
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

std::string SummaryText(const LogSummary& summary, const std::string& file) {
  int lifetimes = 0;
  for (const auto& life : summary.lifetimes) lifetimes += !life.address.empty();
  std::string out = "log " + file + ": " + std::to_string(summary.lines) + " lines, " +
                    std::to_string(summary.stamped) + " with time stamps; " + std::to_string(lifetimes) +
                    " add-in lifetimes\n";
  if (summary.unreadableCount)
    out += "  " + std::to_string(summary.unreadableCount) + " lines in no format the logger writes (lines " +
           Lines(summary.unreadable) + (summary.unreadableCount > summary.unreadable.size() ? ", ..." : "") + ")\n";
  std::size_t number = 0;
  for (const Lifetime& life : summary.lifetimes) {
    if (!life.address.empty()) ++number;
    out += "== " + Title(life, number) + "\n";
    out += "  lines " + std::to_string(life.firstLine) + " to " + std::to_string(life.lastLine) +
           (life.firstSeconds && life.lastSeconds ? ", " + Clock(*life.firstSeconds) + " to " + Clock(*life.lastSeconds)
                                                  : "") +
           (life.address.empty() ? "" : life.released ? "" : "; no FinalRelease: the IDE ended without releasing it, or crashed, or still runs") +
           "\n";
    for (const auto& flag : life.flags)
      out += "  SEE FIRST: \"" + flag.what + "\" " + std::to_string(flag.lines.size()) + "x (line " +
             Lines(flag.lines) + ")\n";
    if (life.connectMode) out += "  connect mode: " + std::to_string(*life.connectMode) + " (" + ModeName(*life.connectMode) + ")\n";
    if (!life.startup.empty()) out += "  start-up: " + life.startup + " (line " + std::to_string(life.startupLine) + ")\n";
    std::string names;
    for (const auto& [name, count] : life.queued) names += (names.empty() ? "" : ", ") + name + " " + std::to_string(count);
    out += "  events: queued " + std::to_string(life.Queued()) + (names.empty() ? "" : " (" + names + ")") +
           ", dispatched " + std::to_string(life.dispatched) + ", left in the queue " +
           std::to_string(std::max(0, life.Queued() - life.dispatched)) + "\n";
    out += "  documents: " + std::to_string(life.registrations) + " registered (the log names none)";
    std::string withdrawn;
    int withdrawals = 0;
    for (const auto& mark : life.marks) {
      if (mark.kind != LogMark::Withdrawn) continue;
      ++withdrawals;
      withdrawn += "\n    withdrawn " + mark.what + " (" + At(mark.line, mark.seconds) + ")";
    }
    out += ", " + std::to_string(withdrawals) + " withdrawn by name" + withdrawn + "\n";
    out += "  timer lateness (DeltaFromExpectedFire): " + Lateness(life) + "\n";
    int errors = 0;
    for (const auto& group : life.errors) errors += group.count;
    out += "  errors: " + (errors ? std::to_string(errors) + " in " + std::to_string(life.errors.size()) + " groups" : std::string("none")) + "\n";
    for (const auto& group : life.errors)
      out += "    " + std::to_string(group.count) + "x \"" + group.text + "\" (first at line " + std::to_string(group.firstLine) + ")\n";
  }
  return out;
}

std::string SummaryHtml(const LogSummary& summary, const std::string& file) {
  static const char* const kKinds[] = {"queued", "dispatched", "registered", "withdrawn", "error"};
  static const char* const kColours[] = {"#3465a4", "#4e9a06", "#75507b", "#c17d11", "#cc0000"};
  std::string out =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>zandrel log: " + Escaped(file) +
      "</title>\n<style>body{font:13px sans-serif;margin:16px}pre{background:#f4f4f4;padding:8px}"
      "svg{border:1px solid #ccc;margin:4px 0 16px}.mark:hover rect{stroke:#000;stroke-width:2}"
      "text{font:11px sans-serif}</style></head><body>\n<h1>zandrel log: " + Escaped(file) + "</h1>\n<pre>" +
      Escaped(SummaryText(summary, file)) + "</pre>\n";
  std::size_t number = 0;
  for (const Lifetime& life : summary.lifetimes) {
    if (!life.address.empty()) ++number;
    const bool timed = life.firstSeconds && life.lastSeconds && *life.lastSeconds > *life.firstSeconds;
    const double from = timed ? *life.firstSeconds : static_cast<double>(life.firstLine);
    const double to = timed ? *life.lastSeconds : static_cast<double>(std::max(life.lastLine, life.firstLine + 1));
    out += "<section class=\"lifetime\"><h2>" + Escaped(Title(life, number)) + "</h2>\n";
    out += "<svg width=\"1100\" height=\"130\">\n";
    for (int k = 0; k < 5; ++k)
      out += "<text x=\"4\" y=\"" + std::to_string(22 + k * 20) + "\">" + kKinds[k] + "</text>\n";
    out += "<text x=\"100\" y=\"125\">" + Escaped(timed ? Clock(from) : "line " + std::to_string(life.firstLine)) +
           "</text><text x=\"1000\" y=\"125\">" +
           Escaped(timed ? Clock(to) : "line " + std::to_string(life.lastLine)) + "</text>\n";
    for (const LogMark& mark : life.marks) {
      const double at = timed && mark.seconds ? *mark.seconds : static_cast<double>(mark.line);
      const double x = 100 + 980 * std::clamp((at - from) / (to - from), 0.0, 1.0);
      char position[64];
      std::snprintf(position, sizeof position, "x=\"%.1f\" y=\"%d\"", x, 10 + static_cast<int>(mark.kind) * 20);
      out += std::string("<g class=\"mark ") + kKinds[mark.kind] + "\"><title>line " + std::to_string(mark.line) + ": " +
             Escaped(mark.text) + "</title><rect " + position + " width=\"4\" height=\"16\" fill=\"" +
             kColours[mark.kind] + "\"/></g>\n";
    }
    out += "</svg></section>\n";
  }
  out += "</body></html>\n";
  return out;
}

}  // namespace zandrel::doctor
