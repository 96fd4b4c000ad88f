#pragma once
// Variant: the automation value that crosses every boundary of the add-in, with
// the OLE Automation conversions the add-in relies on (to text, to a 32-bit
// integer, to Boolean). The Windows tests compare these conversions with
// oleaut32's VariantChangeType over a table of inputs.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "automation/error.h"
#include "automation/ref.h"

namespace zandrel::automation {

class Variant;

enum class CallKind { Method, PropertyGet, PropertyPut, PropertyPutRef };

// An interface of an object: its identifier (the GUID's text form, with
// braces) and a name for messages.
struct InterfaceId {
  std::string_view name;
  std::string_view guid;
};

// Object: an automation object reached by name (late binding), as IDispatch
// offers it. The add-in's logic sees the IDE's objects, the timer form and
// other IDEs' add-ins only through this interface; the Windows layer adapts
// IDispatch to it, and the native stand-ins implement it directly. (Declared
// here because a Variant may hold one; the helpers are in object.h.)
class Object : public virtual RefCounted {
 public:
  // Calls the member `name` ("" is the default member) with `args` in the
  // member's declared order, passed by value; for a property put the new
  // value is the last one.
  virtual Result<Variant> Invoke(std::string_view name, CallKind kind, std::span<Variant> args) = 0;

  // The object's interface `iid`, as a new reference (COM's QueryInterface);
  // fails with "No such interface supported" when the object has none.
  virtual Result<Ref<Object>> As(const InterfaceId& iid);

  // Connects `sink` to the object's events of the dispinterface `events` (a
  // connection point); the cookie undoes it. Fails when the object has no such
  // events.
  virtual Result<std::uint32_t> Advise(const InterfaceId& events, const Ref<class EventSink>& sink);
  virtual Status Unadvise(const InterfaceId& events, std::uint32_t cookie);
};

// Receives the events of a connection: the event's dispatch id and its
// arguments in declared order (by-reference arguments may be written back).
class EventSink : public virtual RefCounted {
 public:
  virtual Status OnEvent(std::int32_t dispid, std::span<Variant> args) = 0;
};

enum class VarType { Empty, Boolean, Integer, Long, Single, Double, Date, String, Object, Array, Unsupported };

// A value of a kind this layer does not model (an object without IDispatch, a
// record, an array of more than one dimension, as an element of an argument
// list): it is kept in its place, and every conversion of it fails with Type
// mismatch, so that the elements around it still convert.
struct Unsupported {
  friend bool operator==(const Unsupported&, const Unsupported&) = default;
};

// An OLE Automation date: days since 30 December 1899, the fraction being the
// time of day.
struct Date {
  double value = 0;
  friend bool operator==(const Date&, const Date&) = default;
};

// A one-dimensional array of variants with any lower bound.
struct VariantArray {
  std::int32_t lowerBound = 0;
  std::vector<Variant> elements;

  // The last index, in 64 bits: a lower bound near the top of the 32-bit range
  // leaves no room for lower + size - 1 there (and an empty array's upper bound
  // is below its lower one). Defined where Variant is complete.
  std::int64_t UpperBound() const;
  // The element at index i (from lowerBound on), or Subscript out of range.
  Result<Variant> At(std::int32_t i) const;
};

class Variant {
 public:
  Variant() = default;
  // Defined where Object is complete (a Variant may hold a Ref<Object>).
  ~Variant();
  Variant(const Variant&);
  Variant(Variant&&) noexcept;
  Variant& operator=(const Variant&);
  Variant& operator=(Variant&&) noexcept;
  Variant(bool v) : v_(v) {}                  // NOLINT: implicit by design
  Variant(std::int16_t v) : v_(v) {}          // NOLINT
  Variant(std::int32_t v) : v_(v) {}          // NOLINT
  Variant(float v) : v_(v) {}                 // NOLINT
  Variant(double v) : v_(v) {}                // NOLINT
  Variant(Date v) : v_(v) {}                  // NOLINT
  Variant(std::string v) : v_(std::move(v)) {}  // NOLINT
  Variant(std::string_view v) : v_(std::string(v)) {}  // NOLINT
  Variant(const char* v) : v_(std::string(v)) {}       // NOLINT
  Variant(Ref<Object> v);                              // NOLINT
  Variant(VariantArray v);                             // NOLINT
  Variant(Unsupported v) : v_(v) {}                    // NOLINT

  VarType type() const { return static_cast<VarType>(v_.index()); }
  bool IsEmpty() const { return type() == VarType::Empty; }
  bool IsString() const { return type() == VarType::String; }
  bool IsObject() const { return type() == VarType::Object; }

  // Unchecked access to the value of the matching type.
  bool AsBoolean() const { return std::get<bool>(v_); }
  std::int16_t AsInteger() const { return std::get<std::int16_t>(v_); }
  std::int32_t AsLong() const { return std::get<std::int32_t>(v_); }
  float AsSingle() const { return std::get<float>(v_); }
  double AsDouble() const { return std::get<double>(v_); }
  Date AsDate() const { return std::get<Date>(v_); }
  const std::string& AsString() const& { return std::get<std::string>(v_); }
  const Ref<Object>& AsObject() const& { return std::get<Ref<Object>>(v_); }
  // The same taken out of a variant that is going away.
  std::string AsString() && { return std::get<std::string>(std::move(v_)); }
  Ref<Object> AsObject() && { return std::get<Ref<Object>>(std::move(v_)); }
  const VariantArray& AsArray() const { return *std::get<std::shared_ptr<const VariantArray>>(v_); }

 private:
  std::variant<std::monostate, bool, std::int16_t, std::int32_t, float, double, Date, std::string, Ref<Object>,
               std::shared_ptr<const VariantArray>, Unsupported>
      v_;
};

inline std::int64_t VariantArray::UpperBound() const {
  return static_cast<std::int64_t>(lowerBound) + static_cast<std::int64_t>(elements.size()) - 1;
}

// Conversions with OLE Automation's rules. Text is UTF-8.
//  - ToText: numbers in the invariant form with '.' (Single to 7, Double to 15
//    significant digits), Boolean as "True"/"False", Empty as "".
//  - ToLong: fractions round to the nearest integer, halves to even; numeric
//    text is accepted; out of range gives Overflow, anything else that is no
//    number gives Type mismatch.
//  - ToBoolean: non-zero numbers are True; text "True"/"False" in any letter
//    case, or numeric text.
// An object converts through its default member.
Result<std::string> ToText(const Variant& v);
Result<std::int32_t> ToLong(const Variant& v);
Result<bool> ToBoolean(const Variant& v);
Result<double> ToDouble(const Variant& v);
Result<Ref<Object>> ToObject(const Variant& v);

// The same, for the outcome of a call: its failure passes through.
Result<std::string> ToText(const Result<Variant>& v);
// From a call's outcome that is not kept: a text or an object is taken out,
// not copied.
Result<std::string> ToText(Result<Variant>&& v);
Result<Ref<Object>> ToObject(Result<Variant>&& v);
Result<std::int32_t> ToLong(const Result<Variant>& v);
Result<bool> ToBoolean(const Result<Variant>& v);
Result<Ref<Object>> ToObject(const Result<Variant>& v);

// Parses numeric text as OLE Automation does for a number conversion: blanks
// around it, a sign before or after, thousands separators, a decimal point, an
// exponent, parentheses for a negative number, &H and &O prefixes.
Result<double> ParseNumericText(std::string_view text);

// The shortest text of a number with the given significant digits and decimal
// separator, as OLE Automation prints a Single (7) or a Double (15).
std::string FormatReal(double value, int significantDigits, std::string_view decimalSeparator = ".");

// Round to the nearest integer, halves to even.
double RoundHalfEven(double value);

}  // namespace zandrel::automation
