#include "automation/variant.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "automation/object.h"

namespace zandrel::automation {

Variant::~Variant() = default;
Variant::Variant(const Variant&) = default;
Variant::Variant(Variant&&) noexcept = default;
Variant& Variant::operator=(const Variant&) = default;
Variant& Variant::operator=(Variant&&) noexcept = default;
Variant::Variant(Ref<Object> v) : v_(std::move(v)) {}
Variant::Variant(VariantArray v) : v_(std::make_shared<const VariantArray>(std::move(v))) {}

Result<Variant> VariantArray::At(std::int32_t i) const {
  const std::int64_t offset = static_cast<std::int64_t>(i) - lowerBound;
  if (offset < 0 || offset >= static_cast<std::int64_t>(elements.size())) return errors::SubscriptOutOfRange();
  return elements[static_cast<std::size_t>(offset)];
}

double RoundHalfEven(double value) {
  // nearbyint follows the current rounding mode, which is round-to-nearest-even
  // unless someone changed it; rounding explicitly keeps us independent of it.
  const double floor = std::floor(value);
  const double diff = value - floor;
  if (diff < 0.5) return floor;
  if (diff > 0.5) return floor + 1;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

std::string FormatReal(double value, int significantDigits, std::string_view decimalSeparator) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*G", significantDigits, value);
  std::string text(buf);
  // %G prints a two-digit exponent at least, as OLE Automation does ("1E-05");
  // a negative zero prints as 0.
  if (text == "-0") text = "0";
  if (decimalSeparator != ".") {
    if (auto dot = text.find('.'); dot != std::string::npos) text.replace(dot, 1, decimalSeparator);
  }
  return text;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Whether text is the word (ASCII lower-case letters) in any letter case:
// byte for byte, so no other form of a letter passes.
bool IsWordInAnyCase(std::string_view text, std::string_view word) {
  return std::ranges::equal(text, word, [](char c, char w) { return c == w || c == w - ('a' - 'A'); });
}

Result<Variant> DefaultValue(const Ref<Object>& object) {
  if (!object) return errors::ObjectNotSet();
  return Invoke(object, "", CallKind::PropertyGet, {});
}

}  // namespace

Result<double> ParseNumericText(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;

  bool negative = false;
  bool signSeen = false;
  bool parens = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    signSeen = true;
    ++i;
  } else if (i < n && text[i] == '(') {
    parens = true;
    ++i;
  }

  double value = 0;
  if (i + 1 < n && text[i] == '&' && (text[i + 1] == 'H' || text[i + 1] == 'h' || text[i + 1] == 'O' ||
                                      text[i + 1] == 'o')) {
    const int base = (text[i + 1] == 'H' || text[i + 1] == 'h') ? 16 : 8;
    i += 2;
    const std::size_t start = i;
    while (i < n) {
      const char c = text[i];
      int digit = -1;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0 || digit >= base) break;
      value = value * base + digit;
      ++i;
    }
    if (i == start) return errors::TypeMismatch();
  } else {
    std::string clean;
    bool digits = false;
    while (i < n) {
      const char c = text[i];
      if (c >= '0' && c <= '9') {
        clean += c;
        digits = true;
      } else if (c == ',' && digits && i + 1 < n && text[i + 1] >= '0' && text[i + 1] <= '9' &&
                 clean.find('.') == std::string::npos) {
        // a thousands separator between digits of the whole part
      } else if (c == '.' && clean.find('.') == std::string::npos) {
        clean += c;
      } else {
        break;
      }
      ++i;
    }
    if (!digits) return errors::TypeMismatch();
    if (i < n && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
      std::size_t j = i + 1;
      std::string exponent = "e";
      if (j < n && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
      const std::size_t expStart = j;
      while (j < n && text[j] >= '0' && text[j] <= '9') exponent += text[j++];
      if (j == expStart) return errors::TypeMismatch();
      clean += exponent;
      i = j;
    }
    value = std::strtod(clean.c_str(), nullptr);
  }

  if (parens) {
    if (i >= n || text[i] != ')') return errors::TypeMismatch();
    negative = true;
    ++i;
  } else if (!signSeen && i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  while (i < n && IsBlank(text[i])) ++i;
  if (i != n) return errors::TypeMismatch();
  if (std::isinf(value)) return errors::Overflow();
  return negative ? -value : value;
}

Result<double> ToDouble(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty: return 0.0;
    case VarType::Boolean: return v.AsBoolean() ? -1.0 : 0.0;
    case VarType::Integer: return static_cast<double>(v.AsInteger());
    case VarType::Long: return static_cast<double>(v.AsLong());
    case VarType::Single: return static_cast<double>(v.AsSingle());
    case VarType::Double: return v.AsDouble();
    case VarType::Date: return v.AsDate().value;
    case VarType::String: return ParseNumericText(v.AsString());
    case VarType::Object: {
      auto value = DefaultValue(v.AsObject());
      if (!value) return value.error();
      if (value->IsObject()) return errors::TypeMismatch();
      return ToDouble(*value);
    }
    case VarType::Array:
    case VarType::Unsupported: return errors::TypeMismatch();
  }
  return errors::TypeMismatch();
}

Result<std::int32_t> ToLong(const Variant& v) {
  constexpr double lo = std::numeric_limits<std::int32_t>::min();
  constexpr double hi = std::numeric_limits<std::int32_t>::max();
  switch (v.type()) {
    case VarType::Empty: return 0;
    case VarType::Boolean: return v.AsBoolean() ? -1 : 0;
    case VarType::Integer: return v.AsInteger();
    case VarType::Long: return v.AsLong();
    default: break;
  }
  auto d = ToDouble(v);
  if (!d) return d.error();
  // A value that rounds into range is in range: -2147483648.5 rounds to the
  // even -2147483648, 2147483647.5 to 2147483648, which is out.
  if (std::isnan(*d)) return errors::Overflow();
  const double rounded = RoundHalfEven(*d);
  if (rounded < lo || rounded > hi) return errors::Overflow();
  return static_cast<std::int32_t>(rounded);
}

Result<bool> ToBoolean(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty: return false;
    case VarType::Boolean: return v.AsBoolean();
    case VarType::String: {
      const std::string& s = v.AsString();
      if (IsWordInAnyCase(s, "true")) return true;
      if (IsWordInAnyCase(s, "false")) return false;
      auto d = ParseNumericText(s);
      if (!d) return d.error();
      return *d != 0;
    }
    case VarType::Object: {
      auto value = DefaultValue(v.AsObject());
      if (!value) return value.error();
      if (value->IsObject()) return errors::TypeMismatch();
      return ToBoolean(*value);
    }
    case VarType::Array:
    case VarType::Unsupported: return errors::TypeMismatch();
    default: break;
  }
  auto d = ToDouble(v);
  if (!d) return d.error();
  return *d != 0;
}

namespace {

// Days since 30 December 1899 to a civil date (proleptic Gregorian), for the
// years 100 to 9999, the ones with a text: all after 1 March of the year 0,
// where the first 400-year era begins.
void CivilFromOleDays(std::int64_t oleDays, int& year, unsigned& month, unsigned& day) {
  // 30 Dec 1899 is 25569 days before 1 Jan 1970, which is 719468 days after
  // 1 March 0.
  const std::int64_t z = oleDays - 25569 + 719468;
  const std::int64_t era = z / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

// The general date form of the en-US locale: the date, the time, or both.
std::string DateText(double oleDate) {
  // OLE dates before 1899-12-30 count the fraction forwards from a negative
  // whole day: -1.25 is 29 December 1899, 06:00.
  const double whole = std::trunc(oleDate);
  double fraction = std::fabs(oleDate - whole);
  std::int64_t seconds = static_cast<std::int64_t>(RoundHalfEven(fraction * 86400.0));
  std::int64_t days = static_cast<std::int64_t>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    days += oleDate < 0 ? -1 : 1;
  }
  std::string text;
  if (days != 0) {
    int y;
    unsigned m, d;
    CivilFromOleDays(days, y, m, d);
    text = std::to_string(m) + "/" + std::to_string(d) + "/" + std::to_string(y);
  }
  if (seconds != 0 || days == 0) {
    const int h = static_cast<int>(seconds / 3600);
    const int min = static_cast<int>(seconds / 60 % 60);
    const int s = static_cast<int>(seconds % 60);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h % 12 == 0 ? 12 : h % 12, min, s, h < 12 ? "AM" : "PM");
    if (!text.empty()) text += ' ';
    text += buf;
  }
  return text;
}

}  // namespace

Result<std::string> ToText(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty: return std::string();
    case VarType::Boolean: return std::string(v.AsBoolean() ? "True" : "False");
    case VarType::Integer: return std::to_string(v.AsInteger());
    case VarType::Long: return std::to_string(v.AsLong());
    case VarType::Single: return FormatReal(v.AsSingle(), 7);
    case VarType::Double: return FormatReal(v.AsDouble(), 15);
    case VarType::Date: {
      // Dates from year 100 to 9999 have a text; others (and NaN) do not.
      const double date = v.AsDate().value;
      if (!(date >= -657434.0 && date < 2958466.0)) return errors::InvalidArgument();
      return DateText(date);
    }
    case VarType::String: return v.AsString();
    case VarType::Object: {
      auto value = DefaultValue(v.AsObject());
      if (!value) return value.error();
      if (value->IsObject()) return errors::TypeMismatch();
      return ToText(*value);
    }
    case VarType::Array:
    case VarType::Unsupported: return errors::TypeMismatch();
  }
  return errors::TypeMismatch();
}

Result<Ref<Object>> ToObject(const Variant& v) {
  switch (v.type()) {
    case VarType::Object: return v.AsObject();
    case VarType::Empty: return Ref<Object>();
    default: return errors::TypeMismatch();
  }
}

}  // namespace zandrel::automation

namespace zandrel::automation {

Result<std::string> ToText(const Result<Variant>& v) { return v ? ToText(*v) : Result<std::string>(v.error()); }
Result<std::int32_t> ToLong(const Result<Variant>& v) { return v ? ToLong(*v) : Result<std::int32_t>(v.error()); }
Result<bool> ToBoolean(const Result<Variant>& v) { return v ? ToBoolean(*v) : Result<bool>(v.error()); }
Result<Ref<Object>> ToObject(const Result<Variant>& v) { return v ? ToObject(*v) : Result<Ref<Object>>(v.error()); }

Result<std::string> ToText(Result<Variant>&& v) {
  if (v && v->IsString()) return std::move(*v).AsString();
  return ToText(std::as_const(v));
}

Result<Ref<Object>> ToObject(Result<Variant>&& v) {
  if (v && v->IsObject()) return std::move(*v).AsObject();
  return ToObject(std::as_const(v));
}

}  // namespace zandrel::automation
