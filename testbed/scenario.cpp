#include "scenario.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "automation/object.h"

namespace zandrel::testbed {

using automation::Error;
using automation::Result;

namespace {

Error BadStep(int line, const std::string& what) { return Error{automation::errors::kInvalidArgument, "line " + std::to_string(line) + ": " + what}; }

Result<std::vector<Token>> Tokens(std::string_view line, int number) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size() || line[i] == '#') break;
    Token token;
    if (line[i] == '"') {
      token.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
          token.text += line[i + 1];
          i += 2;
        } else if (line[i] == '"') {
          closed = true;
          ++i;
          break;
        } else {
          token.text += line[i++];
        }
      }
      if (!closed) return BadStep(number, "unclosed quote");
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') token.text += line[i++];
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

}  // namespace

Result<std::vector<Step>> ParseScenario(std::string_view text, const std::vector<Verb>& verbs) {
  std::vector<Step> steps;
  int number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ++number;
    auto tokens = Tokens(text.substr(start, end - start), number);
    if (!tokens) return tokens.error();
    if (!tokens->empty()) {
      Step step{number, tokens->front().text, std::vector<Token>(tokens->begin() + 1, tokens->end())};
      const Verb* verb = nullptr;
      for (const Verb& v : verbs)
        if (v.name == step.verb) verb = &v;
      if (!verb) return BadStep(number, "unknown step '" + step.verb + "'");
      if (step.args.size() < verb->minArgs || step.args.size() > verb->maxArgs)
        return BadStep(number, "'" + step.verb + "' takes " + verb->usage);
      steps.push_back(std::move(step));
    }
    if (end == text.size()) break;
    start = end + 1;
  }
  return steps;
}

long Number(const Step& step, std::size_t i) {
  const std::string& text = step.args[i].text;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE) throw std::invalid_argument("'" + text + "' is not a number");
  return value;
}

automation::Variant ArgumentValue(const Token& token) {
  using automation::Variant;
  if (token.quoted) return Variant(token.text);
  const std::string& t = token.text;
  if (t == "true") return Variant(true);
  if (t == "false") return Variant(false);
  if (t == "empty") return Variant();
  if (t == "nothing") return Variant(automation::Ref<automation::Object>());
  if (!t.empty() && t.find_first_not_of("-0123456789") == std::string::npos && t != "-") {
    char* endp = nullptr;
    const long long v = std::strtoll(t.c_str(), &endp, 10);
    if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<std::int32_t>(v));
  }
  if (!t.empty() && t.find_first_not_of("-0123456789.") == std::string::npos && t.find('.') != std::string::npos)
    return Variant(std::strtod(t.c_str(), nullptr));
  return Variant(t);
}

std::string ShowResult(const automation::Result<automation::Variant>& r) {
  if (!r) return "! error " + std::to_string(r.error().number) + ": " + r.error().description;
  const automation::Variant& v = *r;
  switch (v.type()) {
    case automation::VarType::Empty: return "= (empty)";
    case automation::VarType::Object: return v.AsObject() ? "= (object)" : "= (nothing)";
    case automation::VarType::String: return "= \"" + v.AsString() + "\"";
    default: {
      auto text = automation::ToText(v);
      return "= " + (text ? *text : std::string("?"));
    }
  }
}

}  // namespace zandrel::testbed
