// The Wine suites' scenario files, played natively against the portable
// stand-ins: the add-in's whole log must be the golden file the Windows
// builds are held to, line for line.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>

#include "scenario.h"
#include "support/addin_fixture.h"
#include "support/case_name.h"
#include "support/golden.h"

namespace zandrel::testing_support {
namespace {

using automation::VariantArray;

struct GoldenCase {
  const char* name;
  const char* scenario;
  const char* golden;
};

class Golden : public AddinFixture, public ::testing::WithParamInterface<GoldenCase> {
 protected:
  // The manager is neither running nor registered until a step starts it.
  Golden() { outside.registered = outside.running = false; }

  // Plays the scenario's steps; the verbs are the Wine stand-ins' own.
  void Play(const std::string& scenario) {
    using Handler = std::function<void(const testbed::Step&)>;
    const std::map<std::string, Handler> handlers = {
        {"manager", [&](const testbed::Step& s) { Manager(s.args[0].text); }},
        {"start",
         [&](const testbed::Step&) {
           connect_ = Connected(/*keep=*/false);
           connect_->OnStartupComplete(custom_);
         }},
        {"shutdown",
         [&](const testbed::Step&) {
           connect_->OnBeginShutdown(custom_);
           connect_->OnDisconnection(0, custom_);
           connect_ = nullptr;
         }},
        {"wait", [&](const testbed::Step&) { Drain(); }},
        {"open-solution", [&](const testbed::Step& s) { ide.OpenSolution(s.args[0].text, Projects(s)); }},
        {"open-solution-unnamed",
         [&](const testbed::Step& s) { ide.OpenSolution(s.args[0].text, Projects(s), /*named=*/false); }},
        {"name-solution", [&](const testbed::Step&) { ide.NameSolution(); }},
        {"add-project", [&](const testbed::Step& s) { ide.AddProject({s.args[0].text, s.args[1].text}); }},
        {"remove-project", [&](const testbed::Step& s) { EXPECT_TRUE(ide.RemoveProject(s.args[0].text)); }},
        {"rename-project",
         [&](const testbed::Step& s) { EXPECT_TRUE(ide.RenameProject(s.args[0].text, {s.args[1].text, s.args[2].text})); }},
        {"rename-solution", [&](const testbed::Step& s) { ide.RenameSolution(s.args[0].text); }},
        {"close-solution", [&](const testbed::Step&) { ide.CloseSolution(); }},
        // File.SaveAll, the command the stand-in completes by default.
        {"command", [&](const testbed::Step&) { ide.ExecuteCommand("{5EFC7975-14BC-11CF-9B2B-00AA00573819}", 224); }},
        {"call",
         [&](const testbed::Step& s) {
           std::vector<automation::Variant> args;
           for (std::size_t i = 1; i < s.args.size(); ++i) args.push_back(testbed::ArgumentValue(s.args[i]));
           (void)connect_->Invoke(s.args[0].text, automation::CallKind::Method, args);
         }},
    };
    std::vector<testbed::Verb> verbs;
    for (const auto& [name, handler] : handlers) verbs.push_back({name, 0, SIZE_MAX, ""});
    auto steps = testbed::ParseScenario(ReadFile(scenario), verbs);
    ASSERT_TRUE(steps.ok()) << scenario << ": " << steps.error().description;
    for (const testbed::Step& step : *steps) handlers.at(step.verb)(step);
  }

  static std::vector<testbed::ProjectInfo> Projects(const testbed::Step& s) {
    std::vector<testbed::ProjectInfo> projects;
    for (std::size_t i = 1; i < s.args.size(); ++i) {
      const std::string& t = s.args[i].text;
      projects.push_back({t.substr(0, t.find('=')), t.substr(t.find('=') + 1)});
    }
    return projects;
  }

  void Manager(const std::string& what) {
    if (what == "start") outside.registered = outside.running = true;
    if (what == "balanced") {  // the add-in withdrew all it registered
      for (const auto& doc : manager.Documents()) ADD_FAILURE() << "the manager still holds " << doc.name;
      EXPECT_TRUE(manager.Applications().empty());
    }
    if (what == "release") manager.ReleaseApplicationObjects();
  }

  // The log as the Wine suites write it down: what differs from run to run
  // (addresses, times, the interval left of a pending fire, error texts)
  // replaced, and the process and window, numbered as the Wine runner numbers
  // them (the first one seen is 1).
  std::string Transcript() {
    static const std::vector<std::pair<std::regex, std::string>> rules = {
        {std::regex(R"((TimerFrm\.StartTimer\(<addr>, )[0-9]+\))"), "$1<ms>)"},
        {std::regex(R"(PID=[0-9]+)"), "PID=<pid1>"},
        {std::regex(R"(\(1234\) =)"), "(<pid1>) ="},
        {std::regex(R"(HWND=(0x)?[0-9A-F]+)"), "HWND=$1<hwnd1>"},
        {std::regex(R"(MainWnd=[0-9A-F]+)"), "MainWnd=<hwnd1>"},
        {std::regex(R"(^Err (-?[0-9]+) .*)"), "Err $1 <description>"},
    };
    std::string out;
    for (std::string line : Normalised(LogLines())) {
      for (const auto& [pattern, replacement] : rules) line = std::regex_replace(line, pattern, replacement);
      out += line + "\n";
    }
    return out;
  }

  automation::Ref<addin::Connect> connect_;
  VariantArray custom_;
};

const GoldenCase kCases[] = {
    {"NoManager", "lifecycle.scn", "lifecycle.log"},
    {"OneSession", "session.scn", "session.log"},
    {"ProjectsAndSolutionChanging", "changes.scn", "changes.log"},
};

TEST_P(Golden, TheLogIsTheGoldenFile) {
  const std::string here = std::string(ZANDREL_SOURCE_DIR) + "/tests/wine/";
  const auto root = ide.Root();
  root->Retain();
  const auto rootRefs = root->Drop();
  Play(here + "scenarios/" + GetParam().scenario);
  // The Wine suites hold the Windows builds to the same file.
  ExpectGolden(here + "golden/" + GetParam().golden, Transcript());
  // Everything the IDE handed over came back; no sink is left advised.
  root->Retain();
  EXPECT_EQ(root->Drop(), rootRefs);
  EXPECT_EQ(ide.SolutionSinks(), 0u);
  EXPECT_EQ(ide.CommandSinks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Golden, ::testing::ValuesIn(kCases), CaseName());

}  // namespace
}  // namespace zandrel::testing_support
