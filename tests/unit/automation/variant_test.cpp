#include "automation/variant.h"

#include <gtest/gtest.h>


#include "automation/object.h"

namespace zandrel::automation {
namespace {

// The conversions of values of every kind are in tests/unit/automation/variant.cases.

TEST(RoundHalfEven, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(2.4999), 2);
  EXPECT_EQ(RoundHalfEven(2.5001), 3);
}

TEST(FormatReal, UsesTheGivenDecimalSeparator) {
  EXPECT_EQ(FormatReal(4064.52f, 7, ","), "4064,52");
  EXPECT_EQ(FormatReal(12.0, 7, ","), "12");
}

// What the layer does not model keeps its place and refuses every conversion.
TEST(Unsupported, EveryConversionIsATypeMismatch) {
  const Variant v(Unsupported{});
  EXPECT_EQ(v.type(), VarType::Unsupported);
  EXPECT_EQ(ToText(v).error().number, errors::kTypeMismatch);
  EXPECT_EQ(ToLong(v).error().number, errors::kTypeMismatch);
  EXPECT_EQ(ToBoolean(v).error().number, errors::kTypeMismatch);
  EXPECT_EQ(ToDouble(v).error().number, errors::kTypeMismatch);
  EXPECT_EQ(ToObject(v).error().number, errors::kTypeMismatch);
}

// "True" and "False" in any letter case, byte for byte: an overlong form of a
// letter, which a decoder might read as that letter, is no letter.
TEST(ToBoolean, TheTwoWordsInAnyLetterCaseAndNothingLikeThem) {
  EXPECT_TRUE(*ToBoolean(Variant("tRuE")));
  EXPECT_FALSE(*ToBoolean(Variant("FALSE")));
  for (const char* text : {"\xC1\x94rue", "\xC1\xB4RUE", "Tru", "Truee", "4rue"})
    EXPECT_EQ(ToBoolean(Variant(text)).error().number, errors::kTypeMismatch) << text;
}

TEST(VariantArray, AnyLowerBound) {
  VariantArray a{1, {Variant("path"), Variant(3), Variant(4)}};
  EXPECT_EQ(a.UpperBound(), 3);
  EXPECT_EQ(a.At(1)->AsString(), "path");
  EXPECT_EQ(a.At(3)->AsLong(), 4);
  EXPECT_EQ(a.At(0).error().number, 9);  // "Subscript out of range", as automation numbers it
  EXPECT_EQ(a.At(4).error().number, errors::kSubscriptOutOfRange);
  Variant v(a);
  EXPECT_EQ(v.type(), VarType::Array);
  EXPECT_EQ(v.AsArray().lowerBound, 1);

  // An array made without a bound starts at 0, as Automation's do.
  EXPECT_EQ(VariantArray{}.UpperBound(), -1);
  // A text ends where its view ends: an exponent letter just past it is not read.
  EXPECT_EQ(*ParseNumericText(std::string_view("1e5", 1)), 1.0);
  EXPECT_EQ(*ParseNumericText(std::string_view("12", 1)), 1.0);
  EXPECT_FALSE(ParseNumericText(std::string_view("1,5", 2)).ok());
  EXPECT_FALSE(ParseNumericText(std::string_view("(5)", 2)).ok());

  // At the ends of the 32-bit range (UBSan reports the overflow of lower + size).
  constexpr std::int32_t kTop = 0x7FFFFFFF;
  VariantArray top{kTop, {Variant("last")}};
  EXPECT_EQ(top.UpperBound(), kTop);
  EXPECT_EQ(top.At(kTop)->AsString(), "last");
  EXPECT_EQ((VariantArray{kTop - 1, {Variant(1), Variant(2)}}.UpperBound()), kTop);
  EXPECT_EQ((VariantArray{-kTop - 1, {}}.UpperBound()), static_cast<std::int64_t>(-kTop) - 2);
}

// An object whose default member answers a fixed value.
class ValueObject : public RefCountedBase, public Object {
 public:
  explicit ValueObject(Variant value) : value_(std::move(value)) {}
  Result<Variant> Invoke(std::string_view name, CallKind kind, std::span<Variant>) override {
    if (name.empty() && kind == CallKind::PropertyGet) return value_;
    return errors::MemberNotFound(name);
  }

 private:
  Variant value_;
};

TEST(ObjectConversion, GoesThroughTheDefaultMember) {
  Ref<Object> o = MakeRef<ValueObject>(Variant("12"));
  EXPECT_EQ(*ToLong(Variant(o)), 12);
  EXPECT_EQ(*ToText(Variant(o)), "12");
  EXPECT_TRUE(*ToBoolean(Variant(o)));
  EXPECT_EQ(ToBoolean(Variant(MakeRef<ValueObject>(Variant(Unsupported{})))).error().number, errors::kTypeMismatch);
  EXPECT_EQ(ToBoolean(Variant(Ref<Object>(MakeRef<ValueObject>(Variant(o))))).error().number, errors::kTypeMismatch);
  EXPECT_EQ(GetProperty(o, "Missing").error().number, errors::kMemberNotFound);
  EXPECT_EQ(GetProperty(Ref<Object>(), "Name").error().number, errors::kObjectNotSet);
}

}  // namespace
}  // namespace zandrel::automation
