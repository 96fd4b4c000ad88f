#include "automation/variant.h"

#include <gtest/gtest.h>

#include "support/case_name.h"

#include <cmath>
#include <limits>

#include "automation/object.h"

namespace zandrel::automation {
namespace {

struct LongCase {
  const char* name;
  Variant input;
  std::int32_t expected;  // when number == 0
  std::int32_t number;    // the error expected, 0 for success
};

class ToLongTest : public ::testing::TestWithParam<LongCase> {};

TEST_P(ToLongTest, ConvertsAsAutomationDoes) {
  const LongCase& c = GetParam();
  auto r = ToLong(c.input);
  if (c.number == 0) {
    ASSERT_TRUE(r.ok()) << r.error().description;
    EXPECT_EQ(*r, c.expected);
  } else {
    ASSERT_FALSE(r.ok()) << "got " << *r;
    EXPECT_EQ(r.error().number, c.number);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToLongTest,
    ::testing::Values(
        LongCase{"Empty", Variant(), 0, 0}, LongCase{"True", Variant(true), -1, 0},
        LongCase{"False", Variant(false), 0, 0}, LongCase{"Integer", Variant(std::int16_t{-7}), -7, 0},
        LongCase{"DoubleHalfDown", Variant(2.5), 2, 0}, LongCase{"DoubleHalfUp", Variant(3.5), 4, 0},
        LongCase{"NegativeHalf", Variant(-2.5), -2, 0}, LongCase{"SingleFraction", Variant(1.4f), 1, 0},
        LongCase{"LowestHalfRoundsIn", Variant(-2147483648.5), std::numeric_limits<std::int32_t>::min(), 0},
        LongCase{"HighestHalfOverflows", Variant(2147483647.5), 0, errors::kOverflow},
        LongCase{"TextDigits", Variant("42"), 42, 0}, LongCase{"TextBlanks", Variant("  17 "), 17, 0},
        LongCase{"TextHalf", Variant("2.5"), 2, 0}, LongCase{"TextNegative", Variant("-12"), -12, 0},
        LongCase{"TextTrailingMinus", Variant("12-"), -12, 0}, LongCase{"TextParens", Variant("(5)"), -5, 0},
        LongCase{"TextThousands", Variant("1,234"), 1234, 0}, LongCase{"TextExponent", Variant("1e3"), 1000, 0},
        LongCase{"TextHex", Variant("&H1F"), 31, 0}, LongCase{"TextOctal", Variant("&O17"), 15, 0},
        LongCase{"TextHexWithANonDigit", Variant("&H1G"), 0, errors::kTypeMismatch},
        LongCase{"TextHexLowerCase", Variant("&h1f"), 31, 0},
        LongCase{"TextOctalLowerCase", Variant("&o17"), 15, 0},
        LongCase{"TextHexZeroAndNine", Variant("&H109"), 265, 0},
        LongCase{"TextOctalWithAnEight", Variant("&O18"), 0, errors::kTypeMismatch},
        LongCase{"TextHexWithAColon", Variant("&H1:"), 0, errors::kTypeMismatch},
        LongCase{"TextNines", Variant("99"), 99, 0},
        LongCase{"TextHexCapitalA", Variant("&HAB"), 171, 0},
        LongCase{"TextThousandsBeforeAZero", Variant("1,0"), 10, 0},
        LongCase{"DoubleAtTheTop", Variant(2147483647.0), 2147483647, 0},
        LongCase{"TextEveryBlank", Variant(" \t\r\n\v\f7\f"), 7, 0},
        LongCase{"TextThousandsBeforeTheLastDigit", Variant("1,5"), 15, 0},
        LongCase{"TextParensWithJunk", Variant("(5x"), 0, errors::kTypeMismatch},
        LongCase{"TextExponentLarge", Variant("1E9"), 1000000000, 0},
        LongCase{"TextExponentSigned", Variant("1e+2"), 100, 0},
        LongCase{"TextMask", Variant("2130722816"), 2130722816, 0},
        LongCase{"TextTooBig", Variant("2147483648"), 0, 6},  // "Overflow", as automation numbers it
        LongCase{"TextEmpty", Variant(""), 0, errors::kTypeMismatch},
        LongCase{"TextWord", Variant("abc"), 0, errors::kTypeMismatch},
        LongCase{"TextTrailingJunk", Variant("12abc"), 0, errors::kTypeMismatch},
        LongCase{"TextTrue", Variant("True"), 0, errors::kTypeMismatch},
        LongCase{"Array", Variant(VariantArray{0, {Variant(1)}}), 0, errors::kTypeMismatch},
        LongCase{"NullObject", Variant(Ref<Object>()), 0, errors::kObjectNotSet}),
    testing_support::CaseName());

struct TextCase {
  const char* name;
  Variant input;
  const char* expected;
};

class ToTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ToTextTest, PrintsAsAutomationDoes) {
  auto r = ToText(GetParam().input);
  ASSERT_TRUE(r.ok()) << r.error().description;
  EXPECT_EQ(*r, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToTextTest,
    ::testing::Values(TextCase{"Empty", Variant(), ""}, TextCase{"True", Variant(true), "True"},
                      TextCase{"False", Variant(false), "False"}, TextCase{"Long", Variant(-2147483647 - 1), "-2147483648"},
                      TextCase{"SingleSeven", Variant(4064.52f), "4064.52"},
                      TextCase{"SingleWhole", Variant(65536.0f), "65536"},
                      TextCase{"SingleRoundsToSeven", Variant(1.0f / 3.0f), "0.3333333"},
                      TextCase{"DoubleFifteen", Variant(0.1 + 0.2), "0.3"},
                      TextCase{"DoubleLarge", Variant(1e20), "1E+20"},
                      TextCase{"DoubleSmall", Variant(1e-7), "1E-07"},
                      TextCase{"NegativeZero", Variant(-0.0), "0"},
                      TextCase{"DateAndTime", Variant(Date{46361.5}), "12/5/2026 12:00:00 PM"},
                      TextCase{"DateOnly", Variant(Date{46361.0}), "12/5/2026"},
                      TextCase{"TimeOnly", Variant(Date{0.75}), "6:00:00 PM"},
                      TextCase{"Midnight", Variant(Date{0.0}), "12:00:00 AM"},
                      TextCase{"DefaultDate", Variant(Date{}), "12:00:00 AM"},
                      TextCase{"FirstOfMarchOfACenturyNotLeap", Variant(Date{73110.0}), "3/1/2100"},
                      TextCase{"LastOfFebruaryOfACenturyNotLeap", Variant(Date{73109.0}), "2/28/2100"},
                      TextCase{"MidCentury", Variant(Date{91478.0}), "6/15/2150"},
                      TextCase{"TheDayAfterDayZero", Variant(Date{1.0}), "12/31/1899"},
                      TextCase{"LeapDay", Variant(Date{45351.25}), "2/29/2024 6:00:00 AM"},
                      TextCase{"FirstOfMarch", Variant(Date{45717.0}), "3/1/2025"},
                      TextCase{"LeapDayOfACentury", Variant(Date{36585.0}), "2/29/2000"},
                      TextCase{"RoundsUpToTheNextDay", Variant(Date{46361.99999999}), "12/6/2026"},
                      TextCase{"String", Variant("C:\\x y"), "C:\\x y"}),
    testing_support::CaseName());

TEST(ToBoolean, TextAndNumbers) {
  EXPECT_TRUE(*ToBoolean(Variant("TRUE")));
  EXPECT_FALSE(*ToBoolean(Variant("false")));
  EXPECT_TRUE(*ToBoolean(Variant("-1")));
  EXPECT_FALSE(*ToBoolean(Variant("0")));
  EXPECT_TRUE(*ToBoolean(Variant(0.1)));
  EXPECT_FALSE(*ToBoolean(Variant()));
  EXPECT_EQ(ToBoolean(Variant("yes")).error().number, errors::kTypeMismatch);
  EXPECT_EQ(ToBoolean(Variant("yes")).error().description, "Type mismatch");
  EXPECT_EQ(ToBoolean(Variant("Grue")).error().number, errors::kTypeMismatch);  // true but its first letter
  EXPECT_EQ(ToBoolean(Variant("")).error().number, errors::kTypeMismatch);
}

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

// Dates outside the years 100 to 9999 (and NaN) have no text; the edges do.
TEST(ToText, DatesOutsideTheirRangeFail) {
  EXPECT_EQ(*ToText(Variant(Date{-657434.0})), "1/1/100");
  EXPECT_EQ(*ToText(Variant(Date{2958465.0})), "12/31/9999");
  for (double d : {-657435.0, 2958466.0, 1.02626e+103, -1e300, std::nan("")})
    EXPECT_EQ(ToText(Variant(Date{d})).error().number, errors::kInvalidArgument) << d;
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
