// VariantChangeType: rounding of real numbers, range checks, text reading and
// writing, booleans and the empty and null values.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/oleaut/oleaut.h"

namespace {

// An owned VARIANT for the tests.
struct value {
  VARIANT v;
  value() { VariantInit(&v); }
  ~value() { VariantClear(&v); }
  value(const value&) = delete;
  value& operator=(const value&) = delete;
};

void set_r8(value& x, double d) {
  VariantClear(&x.v);
  x.v.vt = VT_R8;
  x.v.dblVal = d;
}

void set_text(value& x, const wchar_t* text) {
  VariantClear(&x.v);
  x.v.vt = VT_BSTR;
  x.v.bstrVal = bstr_from(text);
}

HRESULT change(value& out, const value& in, VARTYPE vt) { return VariantChangeType(&out.v, &in.v, 0, vt); }

std::wstring text_of(const value& in) {
  value out;
  if (FAILED(change(out, in, VT_BSTR))) return L"failed";
  return bstr_text(out.v.bstrVal);
}

}  // namespace

TEST(ChangeType, RealToIntegerRoundsHalfToEven) {
  value in, out;
  const struct {
    double from;
    LONG to;
  } cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {-2.7, -3}};
  for (const auto& c : cases) {
    set_r8(in, c.from);
    ASSERT_EQ(change(out, in, VT_I4), S_OK) << c.from;
    EXPECT_EQ(out.v.vt, VT_I4);
    EXPECT_EQ(out.v.lVal, c.to) << c.from;
  }
  set_r8(in, 254.5);
  ASSERT_EQ(change(out, in, VT_UI1), S_OK);
  EXPECT_EQ(out.v.bVal, 254);
  set_r8(in, 1e18 + 0.0);
  ASSERT_EQ(change(out, in, VT_I8), S_OK);
  EXPECT_EQ(out.v.llVal, 1000000000000000000LL);
}

TEST(ChangeType, OutOfRangeFailsWithOverflowAndLeavesTheTarget) {
  value in, out;
  const struct {
    double from;
    VARTYPE to;
  } cases[] = {{128, VT_I1},     {-129, VT_I1},       {255.5, VT_UI1},       {-0.5000001, VT_UI1}, {-1, VT_UI2},
               {32767.5, VT_I2}, {65536, VT_UI2},     {2147483647.5, VT_I4}, {-2147483648.6, VT_INT},
               {4294967296.0, VT_UI4}, {-1, VT_UINT}, {9.3e18, VT_I8},       {-1, VT_UI8},  {1.9e19, VT_UI8},
               {1e39, VT_R4},    {1e300, VT_CY},      {1e30, VT_DECIMAL},    {3e6, VT_DATE}};
  for (const auto& c : cases) {
    set_r8(in, c.from);
    set_text(out, L"kept");
    EXPECT_EQ(change(out, in, c.to), DISP_E_OVERFLOW) << c.from << " to " << c.to;
    EXPECT_EQ(out.v.vt, VT_BSTR);
    EXPECT_EQ(bstr_text(out.v.bstrVal), L"kept");
  }
  set_r8(in, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(change(out, in, VT_I4), DISP_E_OVERFLOW);

  // Integer to integer.
  VariantClear(&in.v);
  in.v.vt = VT_I8;
  in.v.llVal = 5000000000LL;
  EXPECT_EQ(change(out, in, VT_I4), DISP_E_OVERFLOW);
  ASSERT_EQ(change(out, in, VT_UI8), S_OK);
  EXPECT_EQ(out.v.ullVal, 5000000000ULL);
  in.v.llVal = -1;
  EXPECT_EQ(change(out, in, VT_UI4), DISP_E_OVERFLOW);
  in.v.vt = VT_UI8;
  in.v.ullVal = UINT64_MAX;
  EXPECT_EQ(change(out, in, VT_I8), DISP_E_OVERFLOW);
  ASSERT_EQ(change(out, in, VT_DECIMAL), S_OK);
  EXPECT_EQ(decimal_to_text(out.v.decVal), L"18446744073709551615");
  EXPECT_EQ(change(out, in, VT_CY), DISP_E_OVERFLOW);
}

TEST(ChangeType, TextReadsEnglishNumbersAndRejectsTheRest) {
  value in, out;
  set_text(in, L" 1,234 ");
  ASSERT_EQ(change(out, in, VT_I4), S_OK);
  EXPECT_EQ(out.v.lVal, 1234);
  set_text(in, L"2.5");
  ASSERT_EQ(change(out, in, VT_I2), S_OK);
  EXPECT_EQ(out.v.iVal, 2);
  set_text(in, L"-1.5e1");
  ASSERT_EQ(change(out, in, VT_I4), S_OK);
  EXPECT_EQ(out.v.lVal, -15);
  set_text(in, L"0.1");
  ASSERT_EQ(change(out, in, VT_R8), S_OK);
  EXPECT_EQ(out.v.dblVal, 0.1);
  set_text(in, L"1e-400");
  ASSERT_EQ(change(out, in, VT_R8), S_OK);
  EXPECT_EQ(out.v.dblVal, 0.0);
  set_text(in, L"1e400");
  EXPECT_EQ(change(out, in, VT_R8), DISP_E_OVERFLOW);
  set_text(in, L"18446744073709551615");
  ASSERT_EQ(change(out, in, VT_UI8), S_OK);
  EXPECT_EQ(out.v.ullVal, UINT64_MAX);
  set_text(in, L"18446744073709551616");
  EXPECT_EQ(change(out, in, VT_UI8), DISP_E_OVERFLOW);
  set_text(in, L"300");
  EXPECT_EQ(change(out, in, VT_UI1), DISP_E_OVERFLOW);
  set_text(in, L"123456789.12345");
  ASSERT_EQ(change(out, in, VT_CY), S_OK);
  EXPECT_EQ(out.v.cyVal.int64, 1234567891234LL);  // 1234567891234.5 to even
  ASSERT_EQ(change(out, in, VT_DECIMAL), S_OK);
  EXPECT_EQ(decimal_to_text(out.v.decVal), L"123456789.12345");

  for (const wchar_t* text : {L"", L"abc", L"12abc", L"1,5", L"1.2.3"}) {
    set_text(in, text);
    for (VARTYPE vt : {VT_I4, VT_UI1, VT_I8, VT_R8, VT_R4, VT_CY, VT_DECIMAL, VT_BOOL})
      EXPECT_EQ(change(out, in, vt), DISP_E_TYPEMISMATCH) << "'" << text << "' to " << vt;
  }
  VariantClear(&in.v);
  in.v.vt = VT_BSTR;  // a null BSTR is the empty text
  in.v.bstrVal = nullptr;
  EXPECT_EQ(change(out, in, VT_I4), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(change(out, in, VT_BSTR), S_OK);
}

TEST(ChangeType, BooleansReadTrueFalseAndNumbersAndPrintMinusOne) {
  value in, out;
  for (const wchar_t* text : {L"True", L"TRUE", L" true ", L"-1", L"2", L"0.5"}) {
    set_text(in, text);
    ASSERT_EQ(change(out, in, VT_BOOL), S_OK) << text;
    EXPECT_EQ(out.v.boolVal, VARIANT_TRUE) << text;
  }
  for (const wchar_t* text : {L"False", L"false", L"0", L"0.0"}) {
    set_text(in, text);
    ASSERT_EQ(change(out, in, VT_BOOL), S_OK) << text;
    EXPECT_EQ(out.v.boolVal, VARIANT_FALSE) << text;
  }
  set_text(in, L"yes");
  EXPECT_EQ(change(out, in, VT_BOOL), DISP_E_TYPEMISMATCH);

  VariantClear(&in.v);
  in.v.vt = VT_BOOL;
  in.v.boolVal = VARIANT_TRUE;
  EXPECT_EQ(text_of(in), L"-1");
  ASSERT_EQ(VariantChangeType(&out.v, &in.v, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
  EXPECT_EQ(bstr_text(out.v.bstrVal), L"True");
  ASSERT_EQ(change(out, in, VT_I4), S_OK);
  EXPECT_EQ(out.v.lVal, -1);
  EXPECT_EQ(change(out, in, VT_UI1), DISP_E_OVERFLOW);
  in.v.boolVal = VARIANT_FALSE;
  EXPECT_EQ(text_of(in), L"0");

  set_r8(in, 0.25);
  ASSERT_EQ(change(out, in, VT_BOOL), S_OK);
  EXPECT_EQ(out.v.boolVal, VARIANT_TRUE);
}

TEST(ChangeType, NumbersPrintWithoutGroupingOrLocale) {
  value in;
  set_r8(in, 1234567.5);
  EXPECT_EQ(text_of(in), L"1234567.5");
  set_r8(in, 1.0 / 3);
  EXPECT_EQ(text_of(in), L"0.333333333333333");
  VariantClear(&in.v);
  in.v.vt = VT_R4;
  in.v.fltVal = 0.1f;
  EXPECT_EQ(text_of(in), L"0.1");
  in.v.vt = VT_I8;
  in.v.llVal = INT64_MIN;
  EXPECT_EQ(text_of(in), L"-9223372036854775808");
  in.v.vt = VT_CY;
  in.v.cyVal.int64 = -123456789;
  EXPECT_EQ(text_of(in), L"-12345.6789");
  in.v.vt = VT_I1;
  in.v.cVal = -5;
  EXPECT_EQ(text_of(in), L"-5");
}

TEST(ChangeType, CurrencyAndDecimalRoundHalfToEven) {
  value in, out;
  VariantClear(&in.v);
  in.v.vt = VT_CY;
  in.v.cyVal.int64 = 25000;  // 2.5
  ASSERT_EQ(change(out, in, VT_I4), S_OK);
  EXPECT_EQ(out.v.lVal, 2);
  in.v.cyVal.int64 = -35000;
  ASSERT_EQ(change(out, in, VT_I4), S_OK);
  EXPECT_EQ(out.v.lVal, -4);
  ASSERT_EQ(change(out, in, VT_R8), S_OK);
  EXPECT_EQ(out.v.dblVal, -3.5);
  ASSERT_EQ(change(out, in, VT_DECIMAL), S_OK);
  EXPECT_EQ(decimal_to_text(out.v.decVal), L"-3.5");
  set_r8(in, 2.00005);
  ASSERT_EQ(change(out, in, VT_CY), S_OK);
  EXPECT_EQ(out.v.cyVal.int64, 20000);
}

TEST(ChangeType, EmptyNullInPlaceAndUnsupported) {
  value in, out;
  ASSERT_EQ(change(out, in, VT_I4), S_OK);
  EXPECT_EQ(out.v.lVal, 0);
  ASSERT_EQ(change(out, in, VT_BSTR), S_OK);
  ASSERT_NE(out.v.bstrVal, nullptr);
  EXPECT_EQ(SysStringLen(out.v.bstrVal), 0u);
  ASSERT_EQ(change(out, in, VT_DATE), S_OK);
  EXPECT_EQ(out.v.date, 0.0);

  in.v.vt = VT_NULL;
  EXPECT_EQ(change(out, in, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(change(out, in, VT_BSTR), DISP_E_TYPEMISMATCH);
  ASSERT_EQ(change(out, in, VT_NULL), S_OK);

  // In place: the text is freed and replaced.
  set_text(in, L"42");
  ASSERT_EQ(VariantChangeType(&in.v, &in.v, 0, VT_UI2), S_OK);
  EXPECT_EQ(in.v.vt, VT_UI2);
  EXPECT_EQ(in.v.uiVal, 42);

  VariantClear(&in.v);
  in.v.vt = VT_ARRAY | VT_UI1;
  in.v.parray = SafeArrayCreateVector(VT_UI1, 0, 1);
  EXPECT_EQ(change(out, in, VT_BSTR), DISP_E_TYPEMISMATCH);
  set_text(in, L"1");
  EXPECT_EQ(change(out, in, VT_ARRAY | VT_UI1), DISP_E_TYPEMISMATCH);
}

TEST(ChangeType, DatesToAndFromText) {
  value in, out;
  set_text(in, L"2004-05-06 12:34:56");
  ASSERT_EQ(change(out, in, VT_DATE), S_OK);
  EXPECT_NEAR(out.v.date, 38113.524259259, 1e-8);
  EXPECT_EQ(text_of(out), L"5/6/2004 12:34:56 PM");
  set_text(in, L"31.12.2004");
  EXPECT_EQ(change(out, in, VT_DATE), DISP_E_TYPEMISMATCH);
  set_r8(in, 38113.0);
  ASSERT_EQ(change(out, in, VT_DATE), S_OK);
  EXPECT_EQ(text_of(out), L"5/6/2004");
  set_r8(in, 0.75);
  ASSERT_EQ(change(out, in, VT_DATE), S_OK);
  EXPECT_EQ(text_of(out), L"6:00:00 PM");
  set_r8(in, 38113.5);
  ASSERT_EQ(change(out, in, VT_DATE), S_OK);
  ASSERT_EQ(change(in, out, VT_I4), S_OK);
  EXPECT_EQ(in.v.lVal, 38114);
}
