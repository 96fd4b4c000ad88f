#include "scenario_verbs.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace zandrel::testbed {

using automation::CallKind;
using automation::Variant;
using automation::VariantArray;

namespace {

std::string YesNo(bool b) { return b ? "yes" : "no"; }

// `ide vcprojects|responsive|active|root-window-properties|command-events on|off`,
// `ide window-state N`: the IDE's state; `ide window`, `ide caret`: shown;
// `ide asked`: the loosely read calls since the last time (IdeModel::asked).
bool IdeState(ScenarioPlayer& p, const Step& step) {
  IdeModel& ide = p.Ide();
  const std::string& what = step.args[0].text;
  const bool on = step.args.size() > 1 && step.args[1].text == "on";
  if (what == "vcprojects") ide.vcProjectsAvailable = on;
  else if (what == "responsive") ide.responsive = on;
  else if (what == "active") ide.active = on;
  else if (what == "root-window-properties") ide.rootWindowProperties = on;
  else if (what == "command-events") ide.commandEventSources = on;
  else if (what == "window-state" && step.args.size() > 1) ide.windowState = static_cast<std::int32_t>(Number(step, 1));
  else if (what == "window") {
    std::string changes;
    for (const auto& c : std::exchange(ide.windowChanges, {})) changes += " " + c;
    p.Show("window state " + std::to_string(ide.windowState) + ", active " + YesNo(ide.active) + ", visible " +
          YesNo(ide.visible) + "; changes:" + changes);
  } else if (what == "caret") {
    const auto& c = ide.ActiveCaret();
    p.Show("caret " + c.file + " line " + std::to_string(c.line) + " column " + std::to_string(c.column) +
          ", shown line " + std::to_string(c.shownLine) + " with (" + c.shownWith + ")");
    for (const auto& file : ide.OpenedFiles()) p.Show("opened " + file);
  } else if (what == "asked") {
    for (const auto& call : std::exchange(ide.asked, {})) p.Show("asked " + call);
  } else {
    return p.Show("! no ide step " + what), false;
  }
  return true;
}

// The solution and its projects: each step fires the events the IDE fires.
bool Solution(ScenarioPlayer& p, const Step& step) {
  IdeModel& ide = p.Ide();
  const std::string& v = step.verb;
  const auto arg = [&](std::size_t i) { return step.args[i].text; };
  std::vector<ProjectInfo> projects;  // NAME=PATH from the second argument on
  for (std::size_t i = 1; i < step.args.size() && v.starts_with("open-"); ++i)
    projects.push_back(ProjectInfo::FromArgument(arg(i)));
  if (v == "open-solution" || v == "open-solution-unnamed") ide.OpenSolution(arg(0), projects, v == "open-solution");
  else if (v == "name-solution") ide.NameSolution();
  else if (v == "add-project") ide.AddProject({arg(0), arg(1)});
  else if (v == "remove-project" && !ide.RemoveProject(arg(0))) p.Show("! no project " + arg(0));
  else if (v == "rename-project" && !ide.RenameProject(arg(0), {arg(1), arg(2)})) p.Show("! no project " + arg(0));
  else if (v == "rename-solution") ide.RenameSolution(arg(0));
  else if (v == "close-solution") ide.CloseSolution();
  else if (v == "command")  // a command completes (by default File.SaveAll)
    ide.ExecuteCommand(step.args.empty() ? "{5EFC7975-14BC-11CF-9B2B-00AA00573819}" : arg(0),
                       step.args.size() > 1 ? static_cast<std::int32_t>(Number(step, 1)) : 224);
  return true;
}

std::vector<VerbRow> Shared(ScenarioPlayer& p) {
  const std::size_t any = SIZE_MAX;
  const auto solution = [&p](const Step& step) { return Solution(p, step); };
  const auto call = [&p](CallKind kind) { return [&p, kind](const Step& step) { return p.Call(step, kind); }; };
  return {
      {{"start", 0, 2, "[MODE] [addin-as-application]"}, [&p](const Step& step) { return p.Start(step); }},
      {{"call", 1, any, "MEMBER [ARGUMENT...]"}, call(CallKind::Method)},
      {{"get", 1, any, "MEMBER [ARGUMENT...]"}, call(CallKind::PropertyGet)},
      {{"put", 1, 2, "MEMBER [VALUE]"}, call(CallKind::PropertyPut)},
      {{"notify", 1, 2, "OnConnection|OnDisconnection|OnBeginShutdown|OnStartupComplete|OnAddInsUpdate [MODE]"},
       [&p](const Step& step) { return p.Notify(step); }},
      {{"shutdown", 0, 0, "nothing"}, [&p](const Step&) { return p.Shutdown(); }},
      {{"release", 0, 0, "nothing"}, [&p](const Step&) { return p.Release(); }},
      {{"wait", 0, 1, "[MILLISECONDS]"}, [&p](const Step& step) { return p.Wait(step); }},
      {{"settle", 0, 1, "[MILLISECONDS]"}, [&p](const Step& step) { return p.Wait(step); }},
      {{"manager", 1, any,
        "start|stop|release|dump|show|running|balanced|wait-gone MS|clear-faults|bench N|fault NAME [VALUE [TEXT]]|"
        "command self|other|PID WORD LOWER-BOUND [ARGUMENT...]|stopped|unregistered|apps|documents"},
       [&p](const Step& step) { return p.Manager(step); }},
      {{"echo", 0, any, "any text"}, [](const Step&) { return true; }},
      {{"open-solution", 1, any, "PATH [NAME=PROJECT-PATH...]"}, solution},
      {{"open-solution-unnamed", 1, any, "PATH [NAME=PROJECT-PATH...]"}, solution},
      {{"name-solution", 0, 0, "nothing"}, solution},
      {{"add-project", 2, 2, "NAME PROJECT-PATH"}, solution},
      {{"remove-project", 1, 1, "NAME"}, solution},
      {{"rename-project", 3, 3, "NAME NEW-NAME NEW-PROJECT-PATH"}, solution},
      {{"rename-solution", 1, 1, "PATH"}, solution},
      {{"close-solution", 0, 0, "nothing"}, solution},
      {{"command", 0, 2, "[GUID [ID]]"}, solution},
      {{"fire-solution", 1, any, "EVENT [ARGUMENT...]"},
       [&p](const Step& step) { return p.Ide().FireSolution(step.args[0].text, ArgumentValues(step.args, 1)), true; }},
      {{"fire-commands", 1, any, "EVENT [ARGUMENT...]"},
       [&p](const Step& step) { return p.Ide().FireCommands(step.args[0].text, ArgumentValues(step.args, 1)), true; }},
      {{"ide", 1, 2, "vcprojects|responsive|active|root-window-properties|command-events on|off|window-state N|window|caret"},
       [&p](const Step& step) { return IdeState(p, step); }},
      {{"root-window-properties", 1, 1, "on|off"}, [&p](const Step& step) {
        const std::string& value = step.args[0].text;
        if (value != "on" && value != "off") return p.Show("! root-window-properties on|off"), false;
        p.Ide().rootWindowProperties = value == "on";
        return true;
      }},
      {{"window-state", 0, 1, "[0|1|2]"}, [&p](const Step& step) {
        IdeModel& ide = p.Ide();
        if (!step.args.empty()) ide.windowState = static_cast<std::int32_t>(Number(step, 0));
        static const char* kStates[] = {"normal", "minimized", "maximized"};
        const int state = ide.windowState;
        p.Show("window: " + std::string(state >= 0 && state <= 2 ? kStates[state] : "?") +
              (ide.active ? ", active" : ", not active") + (ide.visible ? ", visible" : ", hidden"));
        return true;
      }},
      {{"caret", 0, 0, "nothing"}, [&p](const Step&) {
        const auto& caret = p.Ide().ActiveCaret();
        p.Show(caret.line == 0 ? "caret: no text document"
                              : "caret: " + caret.file + " line " + std::to_string(caret.line) + " column " +
                                    std::to_string(caret.column));
        return true;
      }},
      {{"solution-sinks", 0, 0, "nothing"},
       [&p](const Step&) { return p.Show("solution event sinks: " + std::to_string(p.Ide().SolutionSinks())), true; }},
  };
}

}  // namespace

Interpreter::Interpreter(ScenarioPlayer& player, std::vector<VerbRow> own) : player_(player), rows_(Shared(player)) {
  for (auto& row : own) rows_.push_back(std::move(row));
}

std::vector<Verb> Interpreter::Verbs() const {
  std::vector<Verb> verbs;
  for (const VerbRow& row : rows_) verbs.push_back(row.verb);
  return verbs;
}

bool Interpreter::Run(const Step& step) const {
  for (const VerbRow& row : rows_) {
    if (row.verb.name != step.verb) continue;
    if (step.args.size() < row.verb.minArgs || step.args.size() > row.verb.maxArgs) return false;
    try {
      return row.run(step);
    } catch (const std::invalid_argument& e) {  // a step's number that is none
      player_.Show(std::string("! ") + e.what());
      return false;
    }
  }
  return false;
}

std::vector<Variant> ArgumentValues(const std::vector<Token>& args, std::size_t from) {
  std::vector<Variant> values;
  for (std::size_t i = from; i < args.size(); ++i) {
    const Token& t = args[i];
    if (!t.quoted && t.text == "array") {  // the rest: a lower bound and the elements
      VariantArray array{std::stoi(args.at(i + 1).text), ArgumentValues(args, i + 2)};
      values.emplace_back(std::move(array));
      break;
    }
    const auto typed = [&](const char* prefix) { return !t.quoted && t.text.starts_with(prefix); };
    if (typed("integer:")) values.emplace_back(static_cast<std::int16_t>(std::stoi(t.text.substr(8))));
    else if (typed("single:")) values.emplace_back(std::stof(t.text.substr(7)));
    else if (typed("double:")) values.emplace_back(std::stod(t.text.substr(7)));
    else if (typed("date:"))
      values.emplace_back(t.text.size() == 5 ? automation::Date{} : automation::Date{std::stod(t.text.substr(5))});
    else if (!t.quoted && t.text == "empty-array") values.emplace_back(VariantArray{});
    else if (!t.quoted && t.text == "unsupported") values.emplace_back(automation::Unsupported{});
    else values.push_back(ArgumentValue(t));
  }
  return values;
}

}  // namespace zandrel::testbed
