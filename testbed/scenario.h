#pragma once
// Scenario scripts: the steps the stand-ins play, one a line.
//
//   # a comment; blank lines are skipped
//   start                    a step is a verb and its arguments
//   call Name
//   put RTEServer true
//   echo "some text"        arguments are words or "quoted text" (\" inside)
//
// The verbs and what they do are the stand-in's (docs/scenarios.md lists
// them); the parser checks each step against the verb table it is given, so
// that a bad step is reported with its line number before anything runs.

#include <string>
#include <string_view>
#include <vector>

#include "automation/variant.h"

namespace zandrel::testbed {

struct Token {
  std::string text;
  bool quoted = false;
};

struct Step {
  int line = 0;
  std::string verb;
  std::vector<Token> args;
};

struct Verb {
  std::string name;
  std::size_t minArgs;
  std::size_t maxArgs;  // SIZE_MAX: any number
  std::string usage;
};

automation::Result<std::vector<Step>> ParseScenario(std::string_view text, const std::vector<Verb>& verbs);

// The step's I-th argument as a whole number; std::invalid_argument when it is
// not one (the interpreter fails the step and says why).
long Number(const Step& step, std::size_t i);

// A call's argument: a quoted token is text; otherwise true/false, empty,
// nothing (a null object), an integer (Long), a number with a point (Double),
// else the word as text. "array(LB, a, b, ...)" written as one quoted-free
// token list is built by the runner.
automation::Variant ArgumentValue(const Token& token);

// A call's answer as a transcript shows it: "= 12", "= \"text\"", "= (empty)",
// "= (object)", "= (nothing)", or "! error NUMBER: DESCRIPTION".
std::string ShowResult(const automation::Result<automation::Variant>& r);

}  // namespace zandrel::testbed
