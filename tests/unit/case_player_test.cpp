// Behaviour cases as data: each .cases file under tests/unit, beside the tests
// of the product file it is named after, holds cases, each a
// list of steps played against the portable stand-ins and the transcript they
// must leave: every step, the log lines it made the add-in write, and what it
// answered or showed. docs/scenarios.md ("Native cases") describes the format
// and the steps.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <map>
#include <regex>
#include <sstream>

#include "addin/enum_windows_callback.h"
#include "doctor/logger_check.h"
#include "doctor/report.h"
#include "events/timer_frm.h"
#include "scenario_verbs.h"
#include "support/addin_fixture.h"
#include "support/case_name.h"
#include "support/log_lines.h"
#include "support/golden.h"

namespace zandrel::testing_support {
namespace {

using automation::Error;
using automation::Ref;
using automation::Variant;
using automation::VariantArray;
using testbed::Token;

struct Case {
  std::string file;  // the file's path under tests/unit
  std::string name;
  std::vector<std::string> steps;  // the lines between "=== NAME" and "--- expect"
  std::string expect;
};
// A failure names the case, not its bytes.
void PrintTo(const Case& c, std::ostream* out) { *out << c.file << ": " << c.name; }

const std::string kUnitDir = std::string(ZANDREL_SOURCE_DIR) + "/tests/unit/";

// The folder of a case file, as @CASES@ names it in its steps.
std::string FolderOf(const std::string& file) { return kUnitDir + file.substr(0, file.rfind('/') + 1); }

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
  return text;
}

// A file: what comes before its first case, then its cases.
std::pair<std::string, std::vector<Case>> ReadCases(const std::string& file) {
  std::istringstream in(ReadFile(kUnitDir + file));
  std::string header, line;
  std::vector<Case> cases;
  bool inExpect = false;
  while (std::getline(in, line)) {
    if (line.starts_with("=== ")) {
      cases.push_back({file, line.substr(4), {}, {}});
      inExpect = false;
    } else if (cases.empty()) {
      header += line + "\n";
    } else if (line == "--- expect") {
      inExpect = true;
    } else if (inExpect) {
      cases.back().expect += line + "\n";
    } else {
      cases.back().steps.push_back(line);
    }
  }
  return {header, cases};
}

std::vector<Case> AllCases() {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kUnitDir))
    if (entry.path().extension() == ".cases")
      files.push_back(std::filesystem::relative(entry.path(), kUnitDir).generic_string());
  std::sort(files.begin(), files.end());
  std::vector<Case> all;
  for (const auto& file : files)
    for (auto& c : ReadCases(file).second) all.push_back(std::move(c));
  return all;
}

// ZANDREL_UPDATE_GOLDEN=1 writes the case's transcript into its file instead
// (the test program run alone: the cases of a file share it).
void Rewrite(const Case& played, const std::string& transcript) {
  auto [header, cases] = ReadCases(played.file);
  std::string text = header;
  for (const Case& c : cases) {
    text += "=== " + c.name + "\n";
    for (const auto& step : c.steps) text += step + "\n";
    text += "--- expect\n" + (c.name == played.name ? transcript : c.expect);
  }
  std::ofstream(kUnitDir + played.file, std::ios::binary) << text;
}

class Player : public AddinFixture, public testbed::ScenarioPlayer {
 protected:
  using Args = std::vector<Token>;

  Player() {
    addin::EnumWindowsCallback::m_lFoundWnd = 0;
    testbed::ModelObject::onCall = [this](std::string_view member) { return Hook("ide", member); };
    manager.onCall = [this](const char* member) { return Hook("manager", member); };
    outside.onCall = [this](const char* call) { return Hook("outside", call); };
  }
  ~Player() override {
    // The IDE shuts down what is still connected.
    rules_.clear();
    for (auto& connect : addins_)
      if (connect) connect->OnBeginShutdown(custom_), connect->OnDisconnection(0, custom_);
    addins_.clear();
    testbed::ModelObject::onCall = nullptr;
    manager.onCall = nullptr;
    outside.onCall = nullptr;
  }

  // A call into a stand-in: counted per member, and failed or disturbed by
  // the rules the steps set.
  std::optional<Error> Hook(const std::string& who, std::string_view member) {
    const int n = ++calls_[who + "." + std::string(member)];
    order_[who].emplace_back(member);
    for (auto& rule : rules_) {
      if (rule.who != who || rule.member != member || (rule.nth != 0 && rule.nth != n)) continue;
      if (rule.step.empty()) return rule.error;
      const Args step = std::exchange(rule.step, {});  // once, and not again inside itself
      std::string text;
      for (const Token& t : step) text += " " + t.text;
      Say("inside " + who + "." + std::string(member) + ":" + text);
      Run(step);
    }
    return std::nullopt;
  }
  struct Rule {
    std::string who, member;
    int nth;  // the n-th call counted from the rule's step; 0: every call
    Error error;
    Args step;  // run inside the call instead of failing it
  };

  static std::string Exact(float f) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(f));
    return text;
  }
  static std::string YesNo(bool b) { return b ? "yes" : "no"; }
  // A date as its serial number (days since 30 December 1899), as the clock
  // gives it.
  static std::string TimeStamp(const Variant& v) {
    if (v.type() != automation::VarType::Date) return "not a date";
    char text[40];
    std::snprintf(text, sizeof text, "date %.10g", v.AsDate().value);
    return text;
  }
  testing_support::AddInRef& AddIn() {
    if (!current_ || !*current_) throw std::runtime_error("no add-in");
    return *current_;
  }
  // The log lines written so far, into the transcript (unless the step is
  // quiet), then what the step shows. Times come from the manual clock and
  // stay; addresses are replaced.
  void Flush() {
    for (const auto& line : TakeLines())
      if (log_.push_back(line); !quiet_) transcript_ += WithoutAddresses(line) + "\n";
  }
  void Say(const std::string& line) {
    Flush();
    transcript_ += line + "\n";
  }
  void Invoke(const Args& args, automation::CallKind kind) {
    auto values = testbed::ArgumentValues(args, 1);
    const auto answer = AddIn().Face()->Invoke(args[0].text, kind, values);
    std::string shown = testbed::ShowResult(answer);
    if (answer && answer->type() == automation::VarType::Object && answer->AsObject() == ide.Root())
      shown += " the IDE's root";
    Say(shown);
  }
  // Which add-in an object is: "add-in N" in the order made, or "another".
  std::string Which(std::intptr_t object) {
    int n = 0;
    for (const auto& a : addins_) {
      ++n;
      if (a && a.Face().Address() == object) return "add-in " + std::to_string(n);
    }
    return "another";
  }
  void Connect(const Args& args, addin::OutsideComponents* components) {
    addins_.push_back(testing_support::AddInRef::Create(components));
    current_ = &addins_.back();
    if (!args.empty() && args[0].text == "created") return;
    const std::string app = args.size() > 1 ? args[1].text : "root";
    const Ref<automation::Object> application = app == "root" ? ide.Root() : app == "addin" ? ide.AddIn() : nullptr;
    AddIn()->OnConnection(application, args.empty() ? 1 : std::stoi(args[0].text), ide.AddIn(), custom_);
  }
  void AddRule(const Args& args, bool inside) {
    Rule rule{args[0].text, args[1].text, std::stoi(args[2].text), {-2147467259, "Unspecified error"}, {}};
    if (inside) rule.step.assign(args.begin() + 3, args.end());
    else if (args.size() > 3) rule.error = {std::stoi(args[3].text), args.at(4).text};
    calls_.erase(rule.who + "." + rule.member);
    rules_.push_back(std::move(rule));
  }
  bool Notify(const testbed::Step& step) override {
    const Args& args = step.args;
    const std::string& name = args[0].text;
    if (name == "OnStartupComplete") AddIn()->OnStartupComplete(custom_);
    else if (name == "OnBeginShutdown") AddIn()->OnBeginShutdown(custom_);
    else if (name == "OnAddInsUpdate") AddIn()->OnAddInsUpdate(custom_);
    else if (name == "OnDisconnection") AddIn()->OnDisconnection(args.size() > 1 ? std::stoi(args[1].text) : 0, custom_);
    else if (name == "OnConnection") AddIn()->OnConnection(ide.Root(), 1, ide.AddIn(), custom_);
    else throw std::runtime_error("no notification " + name);
    return true;
  }
  bool Manager(const testbed::Step& step) override {
    const Args& args = step.args;
    const std::string& what = args[0].text;
    if (what == "stopped") outside.running = false;
    else if (what == "unregistered") outside.registered = outside.running = false;
    else if (what == "start") outside.registered = outside.running = true;
    else if (what == "balanced") {  // the add-in withdrew all it registered
      for (const auto& doc : manager.Documents()) ADD_FAILURE() << "the manager still holds " << doc.name;
      EXPECT_TRUE(manager.Applications().empty());
    } else if (what == "apps") {
      for (const auto* app : manager.Applications())
        Say("app kind " + std::to_string(app->kind) + ", process " + app->processId + ", object " + Which(app->appObject));
    } else if (what == "documents") {
      for (const auto& d : manager.Documents()) {
        Say(d.name + " kind " + std::to_string(d.kind) + ", app " + std::to_string(d.app + 1) + ", project " +
            d.projectName + " (" + d.projectFullName + "), comment \"" + d.comment + "\", time stamp " +
            TimeStamp(d.timeStamp) + ", container " +
            YesNo(d.container));
      }
    } else if (what == "withdrawals") {
      for (const auto& w : std::exchange(manager.withdrawals, {})) Say("withdrawn " + w);
    } else if (what == "release") manager.ReleaseApplicationObjects();
    else if (what == "fault") {
      if (!manager.SetFault(args.at(1).text, args.size() > 2 ? std::stoi(args[2].text) : 1, args.size() > 3 ? args[3].text : ""))
        throw std::runtime_error("no fault " + args[1].text);
    } else if (what == "clear-faults") manager.faults = {};
    else throw std::runtime_error("no manager step " + what);
    return true;
  }
  // setting NAME dword HEX | string TEXT | expand TEXT; setting none: no key.
  void Setting(const Args& a) {
    const std::string& kind = a.at(1 % a.size()).text;
    if (a.size() == 1 && a[0].text == "none") os.registry = platform::fake::MemoryRegistry{};
    else if (kind == "dword") os.registry.SetDword(kKey, a[0].text, static_cast<std::uint32_t>(std::stoul(a.at(2).text, nullptr, 16)));
    else if (kind == "string") os.registry.SetString(kKey, a[0].text, a.at(2).text);
    else if (kind == "expand") {
      std::vector<std::uint8_t> bytes(a.at(2).text.begin(), a[2].text.end());
      bytes.push_back(0);
      os.registry.SetRaw(kKey, a[0].text, 2, bytes);
    } else {
      throw std::runtime_error("no setting kind " + kind);
    }
  }
  // The doctor's report on the settings, in the IDE's registry view or the
  // other; folders under Z:\gone\ do not exist.
  void Doctor(bool other, bool json) {
    const doctor::RegistryView view = other ? doctor::RegistryView{"64-bit view", doctor::kView64, "the x64 build", false}
                                            : doctor::RegistryView{"32-bit view", doctor::kView32, "the x86 add-in", true};
    doctor::Report report;
    std::string probed;
    doctor::CheckLogger(report, os.registry, view, [&](const std::string& path) {
      probed += " " + path;
      return path.starts_with("Z:\\gone\\") ? std::string("the folder does not exist") : std::string();
    });
    std::istringstream text(json ? report.Json() : report.Text());
    for (std::string line; std::getline(text, line);) Say(line);
    Say("exit " + std::to_string(report.ExitCode()) + ", probed" + probed + ", logger read " +
        YesNo(shared::CurrentLoggerState().m_blnLogInitialized));
  }
  // What the add-in holds and what the stand-ins see of it.
  void State() {
    if (current_ && *current_) {
      const auto h = (*current_)->Holding();
      Say("add-in: queue " + YesNo(h.queue) + ", manager " + YesNo(h.manager) + ", registration manager " +
          YesNo(h.registrationManager) + ", application " + YesNo(h.application) + ", IDE " + YesNo(h.ide) +
          ", interrupt " + YesNo(h.interrupt) + ", command events " + YesNo(h.commandEvents) + ", pending \"" +
          [&] { auto t = automation::ToText(h.pendingEvent); return t ? *t : std::string("?"); }() + "\"");
    }
    Say("IDE: solution sinks " + std::to_string(ide.SolutionSinks()) + ", command sinks " +
        std::to_string(ide.CommandSinks()));
    std::string calls;
    for (const auto& call : std::exchange(outside.calls, {})) calls += (calls.empty() ? "" : ", ") + call;
    if (!calls.empty()) Say("outside: " + calls);
  }

  // The rest of the scenario language (testbed/scenario_verbs.h), through
  // the add-in in process and the platform fakes.
  testbed::IdeModel& Ide() override { return ide; }
  void Show(const std::string& line) override { Say(line); }
  bool Start(const testbed::Step& step) override {
    return Connect(step.args, &outside), AddIn()->OnStartupComplete(custom_), true;
  }
  bool Call(const testbed::Step& step, automation::CallKind kind) override { return Invoke(step.args, kind), true; }
  bool Shutdown() override { return AddIn()->OnBeginShutdown(custom_), AddIn()->OnDisconnection(0, custom_), Release(); }
  bool Release() override { return AddIn() = nullptr, true; }
  // `wait`: the timers tick until none is armed (MS aside); `settle`: also
  // the one count that ended the wait, as the stand-in IDE asks for it.
  bool Wait(const testbed::Step& step) override {
    Drain();
    if (step.verb == "settle") (void)AddIn().Face()->Invoke("EventQueueCount", automation::CallKind::Method, {});
    return true;
  }

  // The native player's own steps: the platform fakes and the add-in's parts.
  static testbed::VerbRow Row(std::string name, std::size_t min, std::size_t max, std::function<void(const Args&)> run) {
    return {{std::move(name), min, max, ""}, [run = std::move(run)](const testbed::Step& step) { return run(step.args), true; }};
  }
  std::vector<testbed::VerbRow> OwnVerbs() {
    const std::size_t any = SIZE_MAX;
    return {
      Row("connect", 0, 2, [this](const Args& a) { Connect(a, &outside); }),
      Row("connect-alone", 0, 0, [this](const Args& a) { Connect(a, nullptr); }),
      Row("use", 1, 1, [this](const Args& a) { current_ = &*std::next(addins_.begin(), std::stol(a.at(0).text) - 1); }),
      Row("pid", 1, 1, [this](const Args& a) { os.process.pid = std::stoi(a[0].text); }),
      Row("no-windows", 0, 0, [this](const Args&) { os.windows.topLevel.clear(); }),
      Row("window", 4, 4, [this](const Args& a) {
        os.windows.topLevel.push_back({static_cast<platform::WindowHandle>(std::stoll(a[0].text, nullptr, 16)),
                                       std::stoi(a[1].text), a[2].text, a[3].text});
      }),
      Row("document-objects-fail-on", 1, 1, [this](const Args& a) {
        outside.docProjectFailsOn = outside.docProjectsCreated + std::stoi(a[0].text);
      }),
      Row("fail", 3, 5, [this](const Args& a) { AddRule(a, false); }),
      Row("inside", 4, any, [this](const Args& a) { AddRule(a, true); }),
      Row("clear-rules", 0, 0, [this](const Args&) { rules_.clear(); }),
      Row("window-reads", 0, 0, [this](const Args&) {
        std::string reads;
        for (const auto& r : std::exchange(os.windows.reads, {})) reads += " " + r;
        Say("window reads:" + reads);
      }),
      Row("message-boxes", 0, 0, [this](const Args&) {
        for (const auto& box : std::exchange(os.messageBoxes.shown, {}))
          Say("message box \"" + box.text + "\" caption \"" + box.caption + "\" style " + std::to_string(box.style));
      }),
      Row("log-mask", 1, 1, [this](const Args& a) {
        os.registry.SetDword(kKey, "Debug", static_cast<std::uint32_t>(std::stoul(a[0].text, nullptr, 16)));
        shared::ResetDebugLoggerForTesting();
      }),
      Row("forget-window", 0, 0, [](const Args&) { addin::EnumWindowsCallback::m_lFoundWnd = 0; }),
      Row("add-event", 2, 2, [this](const Args& a) { AddIn()->Events().AddEvent(testbed::ArgumentValues(a, 0)[0], std::stoi(a[1].text)); }),
      Row("event-count", 1, 1, [this](const Args& a) { AddIn()->Events().SetAddEventCount(std::stoi(a[0].text)); }),
      Row("release-timer", 0, 0, [this](const Args&) { Say(AddIn()->Events().ReleaseTimer().ok() ? "released" : "failed"); }),
      Row("clock", 1, 1, [this](const Args& a) { os.clock.timeOfDay = std::stof(a[0].text); }),
      Row("next-fire", 0, 1, [this](const Args& a) {
        events::EventQueue& queue = AddIn()->Events();
        if (a.empty()) Say("next fire " + Exact(queue.NextFire()));
        else queue.SetNextFire(std::stof(a[0].text));
      }),
      Row("start-timer", 1, 1, [this](const Args& a) { AddIn()->Events().StartTimer(std::stoi(a[0].text)); }),
      Row("stop-timer", 0, 0, [this](const Args&) { AddIn()->Events().StopTimer(); }),
      Row("fail-timer-sets", 1, 1, [this](const Args& a) { os.timers.live.front()->failSets = std::stoi(a[0].text); }),
      Row("elapsed", 2, 2, [this](const Args& a) {
        events::EventQueue& queue = AddIn()->Events();
        queue.SetStartTime(std::stof(a[0].text));
        Say(queue.FormatElapsedMs(std::stof(a[1].text)));
      }),
      Row("timer", 0, 0, [this](const Args&) {
        events::TimerFrm* form = AddIn()->Events().Form();
        if (!form || !form->Loaded()) return Say("timer: no form");
        const auto& t = form->ClientTimer();
        const auto client = form->Client();
        Say(std::string("timer: ") + (t.Enabled() ? "armed" : "off") + ", interval " + std::to_string(t.Interval()) +
            ", client " + (client ? Which(client.Address()) : "none"));
      }),
      Row("window-timers", 0, 0, [this](const Args&) { Say("window timers: " + std::to_string(os.timers.live.size())); }),
      Row("setting", 1, 3, [this](const Args& a) { Setting(a); }),
      Row("read-settings", 0, 0, [this](const Args&) {
        shared::ResetDebugLoggerForTesting();
        shared::InitDebugLogger();
        const auto& st = shared::CurrentLoggerState();
        Say("logger: mask " + std::to_string(st.m_lDebugMask) + ", file \"" + st.m_strDebugOutputFile +
            "\", suppress \"" + st.m_strSuppressTimeStamps + "\"");
      }),
      Row("log", 3, 3, [](const Args& a) {
          shared::DebugLog(Replace(Replace(a[2].text, "<CR>", "\r"), "<LF>", "\n"), std::stoi(a[0].text),
                           std::stoi(a[1].text));
        }),
      Row("log-file", 1, 1, [this](const Args& a) {
        const auto file = os.files.files.find(a[0].text);
        Say(file == os.files.files.end() ? "(no file)" : Replace(Replace(file->second, "\r", "<CR>"), "\n", "<LF>"));
      }),
      Row("files", 0, 2, [this](const Args& a) {
        if (a.size() == 2 && a[0].text == "fail-writes") os.files.failWrites = std::stoi(a[1].text);
        else if (a.size() == 2) os.files.failOpens[a[0].text] = std::stoi(a[1].text);
        std::string sleeps;
        for (const auto ms : std::exchange(os.process.sleeps, {})) sleeps += " " + std::to_string(ms);
        if (a.empty())
          Say("files: opens " + std::to_string(os.files.opens) + ", closes " + std::to_string(os.files.closes) +
              ", sleeps" + sleeps);
      }),
      Row("registry-calls", 0, 0, [this](const Args&) {
        for (const auto& c : std::exchange(os.registry.calls, {})) Say(c.what + " " + c.detail);
        Say("open keys " + std::to_string(os.registry.OpenKeys()));
      }),
      Row("clock-text", 1, 2, [this](const Args& a) {
        os.clock.generalDate = a[0].text;
        if (a.size() > 1) os.clock.decimalSeparator = a[1].text;
      }),
      Row("doctor", 0, 2, [this](const Args& a) { Doctor(!a.empty() && a[0].text == "other", !a.empty() && a.back().text == "json"); }),
      Row("convert", 1, any, [this](const Args& a) {
        // Control characters by name, both ways.
        static const std::pair<const char*, const char*> kNames[] = {
            {"<TAB>", "\t"}, {"<CR>", "\r"}, {"<LF>", "\n"}, {"<VT>", "\v"}, {"<FF>", "\f"}};
        Args named = a;
        for (const auto& [name, ch] : kNames) named[0].text = Replace(named[0].text, name, ch);
        const Variant v = testbed::ArgumentValues(named, 0).at(0);
        const auto show = [](const auto& r, auto text) {
          return r ? text(*r) : "! error " + std::to_string(r.error().number) + ": " + r.error().description;
        };
        Say("long " + show(automation::ToLong(v), [](std::int32_t n) { return std::to_string(n); }) + "; text " +
            show(automation::ToText(v), [](std::string t) {
              for (const auto& [name, ch] : kNames) t = Replace(t, ch, name);
              return "\"" + t + "\"";
      }) + "; boolean " +
              show(automation::ToBoolean(v), [](bool b) { return std::string(b ? "True" : "False"); }));
        }),
      Row("interrupt", 0, 0, [this](const Args&) { AddIn()->Events().Interrupt(); }),
      Row("tick", 0, 0, [this](const Args&) { os.timers.TickAll(); }),
      Row("calls", 1, 1, [this](const Args& a) {
        std::string list;
        for (const auto& m : std::exchange(order_[a[0].text], {})) list += (list.empty() ? "" : ", ") + m;
        Say("calls: " + list);
      }),
      Row("state", 0, 0, [this](const Args&) { State(); }),
      Row("quiet", 1, any, [this](const Args& a) { quiet_ = true; Run(a); }),
    };
  }

  // Runs one step (a nested one inside a call, too): its answers go to the
  // transcript after the log lines it made.
  void Run(const testbed::Step& step) {
    if (!interpreter_.Run(step)) throw std::runtime_error("step failed: " + step.verb);
  }
  void Run(const Args& step) { Run(testbed::Step{0, step.at(0).text, Args(step.begin() + 1, step.end())}); }

  // `folder` is what @CASES@ stands for in the steps.
  std::string Play(const std::vector<std::string>& lines, const std::string& folder = kUnitDir) {
    std::string text;
    for (const auto& line : lines) text += Replace(line, "@CASES@", folder) + "\n";
    auto steps = testbed::ParseScenario(text, interpreter_.Verbs());
    if (!steps) throw std::runtime_error(steps.error().description);
    for (const testbed::Step& step : *steps) {
      transcript_ += "> " + lines[step.line - 1] + "\n";
      quiet_ = false;
      Run(step);
      Flush();
    }
    return Replace(transcript_, folder, "@CASES@");
  }

  VariantArray custom_;
  std::list<testing_support::AddInRef> addins_;  // in the order made; released at the end
  testing_support::AddInRef* current_ = nullptr;
  std::vector<Rule> rules_;
  std::map<std::string, int> calls_;
  std::map<std::string, std::vector<std::string>> order_;
  std::string transcript_;
  std::vector<std::string> log_;  // every line the add-in wrote
  bool quiet_ = false;
  testbed::Interpreter interpreter_{*this, OwnVerbs()};
};

class Cases : public Player, public ::testing::WithParamInterface<Case> {};

TEST_P(Cases, TheTranscriptIsTheExpectedOne) {
  const Case& c = GetParam();
  std::string transcript;
  try {
    transcript = Play(c.steps, FolderOf(c.file));
  } catch (const std::exception& e) {
    FAIL() << c.file << ": " << c.name << ": " << e.what();
  }
  if (UpdatingGolden()) Rewrite(c, transcript);
  else EXPECT_EQ(transcript, c.expect) << c.file << ": " << c.name;
}

INSTANTIATE_TEST_SUITE_P(Files, Cases, ::testing::ValuesIn(AllCases()), [](const auto& row) {
  std::string name = row.param.file.substr(0, row.param.file.find('.')) + "_" + row.param.name;
  std::replace_if(name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
  return name;
});

// The Wine suites' scenarios that have a golden log, played here too: the
// add-in's whole log must be the file the Windows builds are held to, line
// for line, with what differs from run to run replaced as the Wine runner
// replaces it (the process and the window numbered, the first seen is 1).
struct GoldenCase {
  const char* name;
  const char* scenario;
};
void PrintTo(const GoldenCase& c, std::ostream* out) { *out << c.name << " (" << c.scenario << ".scn)"; }

class Golden : public Player, public ::testing::WithParamInterface<GoldenCase> {
 protected:
  // The manager is neither running nor registered until a step starts it.
  Golden() { outside.registered = outside.running = false; }
};

TEST_P(Golden, TheLogIsTheGoldenFile) {
  const std::string here = std::string(ZANDREL_SOURCE_DIR) + "/tests/wine/";
  const auto root = ide.Root();
  root->Retain();
  const auto rootRefs = root->Drop();
  std::vector<std::string> steps;
  std::istringstream scenario(ReadFile(here + "scenarios/" + GetParam().scenario + ".scn"));
  for (std::string line; std::getline(scenario, line);) steps.push_back(line);
  ASSERT_NO_THROW(Play(steps));
  static const std::vector<std::pair<std::regex, std::string>> rules = {
      {std::regex(R"((TimerFrm\.StartTimer\(<addr>, )[0-9]+\))"), "$1<ms>)"},
      {std::regex(R"(PID=[0-9]+)"), "PID=<pid1>"},
      {std::regex(R"(\(1234\) =)"), "(<pid1>) ="},
      {std::regex(R"(HWND=(0x)?[0-9A-F]+)"), "HWND=$1<hwnd1>"},
      {std::regex(R"(MainWnd=[0-9A-F]+)"), "MainWnd=<hwnd1>"},
      {std::regex(R"(^Err (-?[0-9]+) .*)"), "Err $1 <description>"},
  };
  std::string log;
  for (std::string line : Normalised(log_)) {
    for (const auto& [pattern, replacement] : rules) line = std::regex_replace(line, pattern, replacement);
    log += line + "\n";
  }
  ExpectGolden(here + "golden/" + GetParam().scenario + ".log", log);
  // Everything the IDE handed over came back; no sink is left advised.
  root->Retain();
  EXPECT_EQ(root->Drop(), rootRefs);
  EXPECT_EQ(ide.SolutionSinks(), 0u);
  EXPECT_EQ(ide.CommandSinks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Golden,
                         ::testing::Values(GoldenCase{"NoManager", "lifecycle"}, GoldenCase{"OneSession", "session"},
                                           GoldenCase{"ProjectsAndSolutionChanging", "changes"}),
                         CaseName());

}  // namespace
}  // namespace zandrel::testing_support
