// The automation layer's conversions from any text and any number: nothing
// may crash, and what converts must convert back consistently.

#include <cmath>
#include <cstdlib>

#include "automation/variant.h"
#include "fuzz_input.h"

using namespace zandrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t mode = in.Byte();
  if (mode % 2 == 0) {
    // Text to Long, Boolean and Double.
    const automation::Variant text(in.Rest());
    auto l = automation::ToLong(text);
    auto b = automation::ToBoolean(text);
    auto d = automation::ToDouble(text);
    (void)automation::ParseNumericText(text.AsString());
    // A text that gives a Long gives the Double it rounds from.
    if (l && d && std::fabs(automation::RoundHalfEven(*d) - *l) > 0.5) std::abort();
    if (d && b && (*d != 0) != *b) std::abort();
  } else {
    // A number of any kind to text, with '.' and with ',' as the separator,
    // and back.
    const automation::Variant v = in.Value(1);
    auto text = automation::ToText(v);
    if (text && v.type() == automation::VarType::Double && std::isfinite(v.AsDouble())) {
      // 15 significant digits print a number that reads back, except near the
      // ends of the range, where the rounded text is past them: Overflow, as
      // in OLE Automation.
      auto back = automation::ToDouble(automation::Variant(*text));
      if (!back && back.error().number != automation::errors::kOverflow) std::abort();
    }
    const double x = in.Raw<double>();
    const std::string comma = automation::FormatReal(x, 15, ",");
    const std::string point = automation::FormatReal(x, 7, ".");
    if (comma.empty() || point.empty()) std::abort();
  }
  return 0;
}
