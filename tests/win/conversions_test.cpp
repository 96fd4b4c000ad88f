// The automation layer's conversions against oleaut32's VariantChangeType,
// over one table of inputs: both must agree on the value, or on failing with
// the same kind of error.

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "automation/variant.h"
#include "support/case_name.h"
#include "win/com_variant.h"
#include "win/text_conv.h"

namespace zandrel::win {
namespace {

using automation::Variant;

struct Input {
  const char* name;
  Variant value;
};

// Conversions are compared in the en-US locale, which the layer's text forms
// follow; text is converted as automation clients convert it to String, with
// Boolean as "True"/"False".
constexpr LCID kEnUs = 0x0409;

const Input kInputs[] = {
    {"Empty", Variant()},
    {"True", Variant(true)},
    {"False", Variant(false)},
    {"IntegerNegative", Variant(std::int16_t{-7})},
    {"LongMin", Variant(-2147483647 - 1)},
    {"SingleTime", Variant(4064.52f)},
    {"SingleWhole", Variant(65536.0f)},
    {"SingleThird", Variant(1.0f / 3.0f)},
    {"SingleHalf", Variant(2.5f)},
    {"DoubleHalfDown", Variant(2.5)},
    {"DoubleHalfUp", Variant(3.5)},
    {"DoubleNegativeHalf", Variant(-2.5)},
    {"DoubleSum", Variant(0.1 + 0.2)},
    {"DoubleLarge", Variant(1e20)},
    {"DoubleSmall", Variant(1e-7)},
    {"DoubleLowestHalf", Variant(-2147483648.5)},
    {"DoubleHighestHalf", Variant(2147483647.5)},
    {"DoubleTooBig", Variant(3e9)},
    {"DateNoon", Variant(automation::Date{46361.5})},
    {"DateOnly", Variant(automation::Date{46361.0})},
    {"TextDigits", Variant("42")},
    {"TextBlanks", Variant("  17 ")},
    {"TextHalf", Variant("2.5")},
    {"TextThreeHalves", Variant("3.5")},
    {"TextNegative", Variant("-12")},
    {"TextParens", Variant("(5)")},
    {"TextThousands", Variant("1,234")},
    {"TextExponent", Variant("1e3")},
    {"TextHex", Variant("&H1F")},
    {"TextOctal", Variant("&O17")},
    {"TextMask", Variant("2130722816")},
    {"TextTooBig", Variant("2147483648")},
    {"TextEmpty", Variant("")},
    {"TextWord", Variant("abc")},
    {"TextTrailingJunk", Variant("12abc")},
    {"TextTrue", Variant("True")},
    {"TextFalseLower", Variant("false")},
    {"TextZero", Variant("0")},
    {"TextYes", Variant("yes")},
};

struct Oleaut {
  HRESULT hr;
  VARIANT out;
};

Oleaut Convert(const Variant& input, VARTYPE to, USHORT flags) {
  VARIANT in;
  VariantInit(&in);
  EXPECT_EQ(ToComVariant(input, &in), S_OK);
  Oleaut r{};
  VariantInit(&r.out);
  r.hr = VariantChangeTypeEx(&r.out, &in, kEnUs, flags, to);
  VariantClear(&in);
  return r;
}

// The layer's error numbers for oleaut32's failure codes.
std::int32_t LayerNumber(HRESULT hr) {
  if (hr == DISP_E_OVERFLOW) return automation::errors::kOverflow;
  if (hr == DISP_E_TYPEMISMATCH) return automation::errors::kTypeMismatch;
  return static_cast<std::int32_t>(hr);
}

class Conversions : public ::testing::TestWithParam<Input> {};

TEST_P(Conversions, ToLongAgreesWithOleaut) {
  Oleaut expected = Convert(GetParam().value, VT_I4, 0);
  auto ours = automation::ToLong(GetParam().value);
  if (SUCCEEDED(expected.hr)) {
    ASSERT_TRUE(ours.ok()) << ours.error().description << "; oleaut32 gives " << V_I4(&expected.out);
    EXPECT_EQ(*ours, V_I4(&expected.out));
  } else {
    ASSERT_FALSE(ours.ok()) << "ours gives " << *ours;
    EXPECT_EQ(ours.error().number, LayerNumber(expected.hr));
  }
}

TEST_P(Conversions, ToBooleanAgreesWithOleaut) {
  Oleaut expected = Convert(GetParam().value, VT_BOOL, 0);
  auto ours = automation::ToBoolean(GetParam().value);
  if (SUCCEEDED(expected.hr)) {
    ASSERT_TRUE(ours.ok()) << ours.error().description;
    EXPECT_EQ(*ours, V_BOOL(&expected.out) != VARIANT_FALSE);
  } else {
    ASSERT_FALSE(ours.ok());
    EXPECT_EQ(ours.error().number, LayerNumber(expected.hr));
  }
}

TEST_P(Conversions, ToTextAgreesWithOleaut) {
  Oleaut expected = Convert(GetParam().value, VT_BSTR, VARIANT_ALPHABOOL);
  auto ours = automation::ToText(GetParam().value);
  ASSERT_TRUE(SUCCEEDED(expected.hr));
  ASSERT_TRUE(ours.ok()) << ours.error().description;
  EXPECT_EQ(*ours, WideToUtf8(V_BSTR(&expected.out)));
  VariantClear(&expected.out);
}

INSTANTIATE_TEST_SUITE_P(Table, Conversions, ::testing::ValuesIn(kInputs), testing_support::CaseName());

TEST(ComVariant, ArraysKeepTheirLowerBoundBothWays) {
  automation::VariantArray array{1, {Variant("C:\\a.cpp"), Variant(12), Variant(std::int16_t{3})}};
  VARIANT com;
  VariantInit(&com);
  ASSERT_EQ(ToComVariant(Variant(array), &com), S_OK);
  ASSERT_EQ(V_VT(&com), VT_ARRAY | VT_VARIANT);
  LONG lower = 0, upper = 0;
  SafeArrayGetLBound(V_ARRAY(&com), 1, &lower);
  SafeArrayGetUBound(V_ARRAY(&com), 1, &upper);
  EXPECT_EQ(lower, 1);
  EXPECT_EQ(upper, 3);
  auto back = FromComVariant(com);
  VariantClear(&com);
  ASSERT_TRUE(back.ok());
  const auto& b = back->AsArray();
  EXPECT_EQ(b.lowerBound, 1);
  EXPECT_EQ(b.At(1)->AsString(), "C:\\a.cpp");
  EXPECT_EQ(b.At(2)->AsLong(), 12);
  EXPECT_EQ(b.At(3)->AsInteger(), 3);
}

// An object that is no automation object: it answers IUnknown only.
class PlainUnknown final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = riid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr;
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  ULONG refs = 1;
};

// The elements of an argument list convert one by one: one that cannot be
// taken (an object without IDispatch, a two-dimensional array) stays in its
// place as a value every conversion refuses, and the others are kept.
TEST(ComVariant, AnArgumentListKeepsItsGoodElementsAroundABadOne) {
  PlainUnknown unknown;
  SAFEARRAYBOUND inner[2] = {{2, 0}, {2, 0}};
  SAFEARRAY* square = SafeArrayCreate(VT_VARIANT, 2, inner);
  SAFEARRAYBOUND bound = {5, 0};
  SAFEARRAY* list = SafeArrayCreate(VT_VARIANT, 1, &bound);
  VARIANT e[5];
  for (auto& v : e) VariantInit(&v);
  V_VT(&e[0]) = VT_BSTR, V_BSTR(&e[0]) = SysAllocString(L"C:\\a.cpp");
  V_VT(&e[1]) = VT_I4, V_I4(&e[1]) = 12;
  V_VT(&e[2]) = VT_I2, V_I2(&e[2]) = 3;
  V_VT(&e[3]) = VT_UNKNOWN, V_UNKNOWN(&e[3]) = &unknown, unknown.AddRef();
  V_VT(&e[4]) = VT_ARRAY | VT_VARIANT, V_ARRAY(&e[4]) = square;
  for (LONG i = 0; i < 5; ++i) {
    ASSERT_EQ(SafeArrayPutElement(list, &i, &e[i]), S_OK);
    VariantClear(&e[i]);
  }
  auto args = ArrayFromSafeArray(list);
  SafeArrayDestroy(list);
  ASSERT_TRUE(args.ok());
  ASSERT_EQ(args->elements.size(), 5u);
  EXPECT_EQ(*automation::ToText(*args->At(0)), "C:\\a.cpp");
  EXPECT_EQ(*automation::ToLong(*args->At(1)), 12);
  EXPECT_EQ(*automation::ToLong(*args->At(2)), 3);
  for (std::int32_t i : {3, 4}) {
    EXPECT_EQ(args->At(i)->type(), automation::VarType::Unsupported) << i;
    auto text = automation::ToText(*args->At(i));
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(text.error().number, automation::errors::TypeMismatch().number);
  }
  EXPECT_EQ(unknown.refs, 1u);  // taken and given back
}

// An array of elements that do not fit a VARIANT (decimals here) keeps its
// length and lower bound; its elements are refused one by one.
TEST(ComVariant, AnArrayOfUnreadableElementsKeepsItsShape) {
  SAFEARRAYBOUND bound = {3, 2};
  SAFEARRAY* decimals = SafeArrayCreate(VT_DECIMAL, 1, &bound);
  auto args = ArrayFromSafeArray(decimals);
  SafeArrayDestroy(decimals);
  ASSERT_TRUE(args.ok());
  EXPECT_EQ(args->lowerBound, 2);
  ASSERT_EQ(args->elements.size(), 3u);
  for (const auto& v : args->elements) EXPECT_EQ(v.type(), automation::VarType::Unsupported);
}

TEST(ComVariant, ByReferenceValuesAreFollowed) {
  LONG line = 42;
  VARIANT ref;
  VariantInit(&ref);
  V_VT(&ref) = VT_I4 | VT_BYREF;
  V_I4REF(&ref) = &line;
  auto v = FromComVariant(ref);
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(v->AsLong(), 42);
}

TEST(ComErrors, FailedCallsKeepTheirHresultAndTheSystemText) {
  automation::Error e = ErrorFromHresult(E_NOINTERFACE);
  EXPECT_EQ(e.number, -2147467262);
  EXPECT_FALSE(e.description.empty());
  EXPECT_EQ(HresultFromError(e), E_NOINTERFACE);
  EXPECT_EQ(HresultFromError(automation::errors::ObjectNotSet()), static_cast<HRESULT>(0x800A005B));
}

}  // namespace
}  // namespace zandrel::win
