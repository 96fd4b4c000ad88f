#pragma once
// The scenario language's one interpreter, shared by the stand-in IDE under
// Wine and the native case player: one table of the verbs both know, each
// with its arguments' count and usage. A verb on the IDE's model is carried
// out here; where the players differ, it calls the player (ScenarioPlayer).
// A player's own steps are rows it adds. docs/scenarios.md lists them all.

#include <functional>
#include <string>
#include <vector>

#include "ide/ide_model.h"
#include "scenario.h"

namespace zandrel::testbed {

class ScenarioPlayer {
 public:
  virtual ~ScenarioPlayer() = default;
  virtual IdeModel& Ide() = 0;
  // One line of the transcript (each player indents it its own way).
  virtual void Show(const std::string& line) = 0;
  // The add-in, through COM or in process: `start`, `call`, `get`, `put`,
  // `notify NAME [MODE]`, `shutdown`, `release`.
  virtual bool Start(const Step& step) = 0;
  virtual bool Call(const Step& step, automation::CallKind kind) = 0;
  virtual bool Notify(const Step& step) = 0;
  virtual bool Shutdown() = 0;
  virtual bool Release() = 0;
  // Time passing: `wait [MS]`, `settle [MS]` (step.verb tells which).
  virtual bool Wait(const Step& step) = 0;
  // The stand-in integration manager: `manager WHAT ...`.
  virtual bool Manager(const Step& step) = 0;
};

struct VerbRow {
  Verb verb;
  std::function<bool(const Step&)> run;  // false: the step failed
};

class Interpreter {
 public:
  // The verbs every player knows, then the player's own.
  Interpreter(ScenarioPlayer& player, std::vector<VerbRow> own);
  std::vector<Verb> Verbs() const;  // what the parser checks a scenario against
  // False when the step fails, is unknown or has a wrong count of arguments.
  bool Run(const Step& step) const;

 private:
  ScenarioPlayer& player_;
  std::vector<VerbRow> rows_;
};

// The arguments from `from` on: ArgumentValue's, and `array LB ARG...` (an
// array of the rest), `empty-array`, `unsupported` (a value no conversion
// takes), `integer:N`, `single:F`, `double:F`, `date:F` (`date:`: no value).
std::vector<automation::Variant> ArgumentValues(const std::vector<Token>& args, std::size_t from);

}  // namespace zandrel::testbed
