// The scenario parser on any text, against the stand-in IDE's verb table:
// it parses or says which line is wrong, and never crashes.

#include <cstdlib>

#include "scenario.h"

using namespace zandrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<testbed::Verb> kVerbs = {
      {"start", 0, 2, ""}, {"call", 1, SIZE_MAX, ""}, {"put", 2, 2, ""}, {"wait", 1, 1, ""},
      {"echo", 0, SIZE_MAX, ""}, {"shutdown", 0, 0, ""}, {"manager", 1, SIZE_MAX, ""}};
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto steps = testbed::ParseScenario(text, kVerbs);
  if (steps) {
    for (const auto& step : *steps) {
      if (step.line < 1) std::abort();
      for (const auto& token : step.args) (void)testbed::ArgumentValue(token);
    }
  } else if (steps.error().description.empty()) {
    std::abort();  // a refusal says why
  }
  return 0;
}
