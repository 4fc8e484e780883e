// Currency and decimal: reading English text, printing the shortest form,
// the 96-bit range, rounding and the conversions between them.
#include <gtest/gtest.h>

#include "platform/oleaut/oleaut.h"

namespace {

HRESULT dec(const wchar_t* text, DECIMAL* out) { return VarDecFromStr(text, LOCALE_EN_US, 0, out); }

std::wstring dec_text(const wchar_t* text) {
  DECIMAL d{};
  HRESULT hr = dec(text, &d);
  if (FAILED(hr)) return L"hr";
  BSTR out = nullptr;
  EXPECT_EQ(VarBstrFromDec(&d, LOCALE_EN_US, 0, &out), S_OK);
  std::wstring result = bstr_text(out);
  SysFreeString(out);
  return result;
}

HRESULT cy(const wchar_t* text, CY* out) { return VarCyFromStr(text, LOCALE_EN_US, 0, out); }

}  // namespace

TEST(Decimal, TextRoundTripsAtFullPrecision) {
  EXPECT_EQ(dec_text(L"0"), L"0");
  EXPECT_EQ(dec_text(L"-0.00"), L"0");
  EXPECT_EQ(dec_text(L"1234.5"), L"1234.5");
  EXPECT_EQ(dec_text(L"  -1,234,567.125 "), L"-1234567.125");
  EXPECT_EQ(dec_text(L"0.0001"), L"0.0001");
  EXPECT_EQ(dec_text(L"1.50"), L"1.5");
  EXPECT_EQ(dec_text(L"1e3"), L"1000");
  EXPECT_EQ(dec_text(L"12.5E-2"), L"0.125");
  EXPECT_EQ(dec_text(L"$12.50"), L"12.5");
  EXPECT_EQ(dec_text(L"(12.50)"), L"-12.5");
  // The largest 96-bit mantissa, whole and with every place a fraction.
  EXPECT_EQ(dec_text(L"79228162514264337593543950335"), L"79228162514264337593543950335");
  EXPECT_EQ(dec_text(L"-79228162514264337593543950335"), L"-79228162514264337593543950335");
  EXPECT_EQ(dec_text(L"7.9228162514264337593543950335"), L"7.9228162514264337593543950335");
  EXPECT_EQ(dec_text(L"0.0000000000000000000000000001"), L"0.0000000000000000000000000001");
  EXPECT_EQ(dec_text(L"12345678901234567890.123456789"), L"12345678901234567890.123456789");

  DECIMAL d{};
  EXPECT_EQ(dec(L"1.50", &d), S_OK);
  EXPECT_EQ(d.scale, 2);  // the scale of the text is kept
  EXPECT_EQ(d.Lo64, 150u);
}

TEST(Decimal, ExcessDigitsRoundHalfToEvenAndTooLargeOverflows) {
  // Past 28 places, or past 29 digits, the value is rounded half to even.
  EXPECT_EQ(dec_text(L"0.00000000000000000000000000005"), L"0");
  EXPECT_EQ(dec_text(L"0.00000000000000000000000000015"), L"0.0000000000000000000000000002");
  EXPECT_EQ(dec_text(L"0.000000000000000000000000000051"), L"0.0000000000000000000000000001");
  EXPECT_EQ(dec_text(L"1.00000000000000000000000000005"), L"1");
  EXPECT_EQ(dec_text(L"1.00000000000000000000000000015"), L"1.0000000000000000000000000002");
  // 29 significant digits whose mantissa would pass 96 bits lose one more place.
  EXPECT_EQ(dec_text(L"9.9999999999999999999999999999"), L"10");
  EXPECT_EQ(dec_text(L"99999999999999999999.999999999"), L"100000000000000000000");
  EXPECT_EQ(dec_text(L"99999999999999999999.999999949"), L"99999999999999999999.99999995");

  DECIMAL d{};
  EXPECT_EQ(dec(L"79228162514264337593543950336", &d), DISP_E_OVERFLOW);
  EXPECT_EQ(dec(L"1e29", &d), DISP_E_OVERFLOW);
  EXPECT_EQ(dec(L"79228162514264337593543950335.5", &d), DISP_E_OVERFLOW);
}

TEST(Decimal, TextThatIsNotOneNumberIsATypeMismatch) {
  DECIMAL d{};
  for (const wchar_t* text : {L"", L" ", L"abc", L"1.2.3", L"12abc", L"1,5", L"1,23,456", L",123", L"123,",
                              L"1e", L"--1", L"(-1)", L".", L"1 2", L"0x10"})
    EXPECT_EQ(dec(text, &d), DISP_E_TYPEMISMATCH) << text;
  EXPECT_EQ(dec(L".5", &d), S_OK);
  EXPECT_EQ(dec(L"5.", &d), S_OK);
}

TEST(Currency, ReadsFourPlacesRoundingHalfToEvenWithinItsRange) {
  CY value{};
  EXPECT_EQ(cy(L"1234.5678", &value), S_OK);
  EXPECT_EQ(value.int64, 12345678);
  EXPECT_EQ(cy(L"0.00005", &value), S_OK);
  EXPECT_EQ(value.int64, 0);
  EXPECT_EQ(cy(L"0.00015", &value), S_OK);
  EXPECT_EQ(value.int64, 2);
  // Rounded once from the full text, not through 28 places first.
  EXPECT_EQ(cy(L"0.000050000000000000000000000000001", &value), S_OK);
  EXPECT_EQ(value.int64, 1);
  EXPECT_EQ(cy(L"-2.71828", &value), S_OK);
  EXPECT_EQ(value.int64, -27183);
  EXPECT_EQ(cy(L"922337203685477.5807", &value), S_OK);
  EXPECT_EQ(value.int64, INT64_MAX);
  EXPECT_EQ(cy(L"-922337203685477.5808", &value), S_OK);
  EXPECT_EQ(value.int64, INT64_MIN);
  EXPECT_EQ(cy(L"922337203685477.5808", &value), DISP_E_OVERFLOW);
  EXPECT_EQ(cy(L"1e20", &value), DISP_E_OVERFLOW);
  EXPECT_EQ(cy(L"twelve", &value), DISP_E_TYPEMISMATCH);

  EXPECT_EQ(cy_to_text(CY{INT64_MIN}), L"-922337203685477.5808");
  EXPECT_EQ(cy_to_text(CY{INT64_MAX}), L"922337203685477.5807");
  EXPECT_EQ(cy_to_text(CY{125000}), L"12.5");
  EXPECT_EQ(cy_to_text(CY{-1}), L"-0.0001");
  EXPECT_EQ(cy_to_text(CY{0}), L"0");
}

TEST(Currency, ConvertsToAndFromDecimal) {
  DECIMAL d{};
  ASSERT_EQ(VarDecFromCy(CY{INT64_MIN}, &d), S_OK);
  EXPECT_EQ(decimal_to_text(d), L"-922337203685477.5808");
  CY back{};
  ASSERT_EQ(VarCyFromDec(&d, &back), S_OK);
  EXPECT_EQ(back.int64, INT64_MIN);

  ASSERT_EQ(dec(L"1.23456", &d), S_OK);
  ASSERT_EQ(VarCyFromDec(&d, &back), S_OK);
  EXPECT_EQ(back.int64, 12346);
  ASSERT_EQ(dec(L"-0.00025", &d), S_OK);
  ASSERT_EQ(VarCyFromDec(&d, &back), S_OK);
  EXPECT_EQ(back.int64, -2);
  ASSERT_EQ(dec(L"922337203685478", &d), S_OK);
  EXPECT_EQ(VarCyFromDec(&d, &back), DISP_E_OVERFLOW);
  ASSERT_EQ(dec(L"79228162514264337593543950335", &d), S_OK);
  EXPECT_EQ(VarCyFromDec(&d, &back), DISP_E_OVERFLOW);
}

TEST(RealNumbers, ConvertAsDisplayedAndPrintLikeG) {
  DECIMAL d{};
  ASSERT_EQ(VarDecFromR8(0.1, &d), S_OK);
  EXPECT_EQ(decimal_to_text(d), L"0.1");
  EXPECT_EQ(d.scale, 1);
  ASSERT_EQ(VarDecFromR8(-1234567.891, &d), S_OK);
  EXPECT_EQ(decimal_to_text(d), L"-1234567.891");
  ASSERT_EQ(VarDecFromR8(1e20, &d), S_OK);
  EXPECT_EQ(decimal_to_text(d), L"100000000000000000000");
  EXPECT_EQ(VarDecFromR8(1e30, &d), DISP_E_OVERFLOW);
  EXPECT_EQ(VarDecFromR8(std::numeric_limits<double>::quiet_NaN(), &d), DISP_E_OVERFLOW);

  CY value{};
  ASSERT_EQ(VarCyFromR8(0.1 + 0.2, &value), S_OK);
  EXPECT_EQ(value.int64, 3000);
  double real = 0;
  ASSERT_EQ(VarR8FromCy(CY{-12345}, &real), S_OK);
  EXPECT_EQ(real, -1.2345);
  ASSERT_EQ(dec(L"0.1", &d), S_OK);
  ASSERT_EQ(VarR8FromDec(&d, &real), S_OK);
  EXPECT_EQ(real, 0.1);
  LONG whole = 0;
  ASSERT_EQ(dec(L"2.5", &d), S_OK);
  ASSERT_EQ(VarI4FromDec(&d, &whole), S_OK);
  EXPECT_EQ(whole, 2);
  ASSERT_EQ(dec(L"-3.5", &d), S_OK);
  ASSERT_EQ(VarI4FromDec(&d, &whole), S_OK);
  EXPECT_EQ(whole, -4);
  ASSERT_EQ(dec(L"2147483648", &d), S_OK);
  EXPECT_EQ(VarI4FromDec(&d, &whole), DISP_E_OVERFLOW);

  EXPECT_EQ(real_to_text(1.5, 15), L"1.5");
  EXPECT_EQ(real_to_text(0.1 + 0.2, 15), L"0.3");
  EXPECT_EQ(real_to_text(1e20, 15), L"1E+20");
  EXPECT_EQ(real_to_text(-1.25e-7, 15), L"-1.25E-07");
  EXPECT_EQ(real_to_text(123456789012345.0, 15), L"123456789012345");
}

TEST(Decimal, CompareIgnoresScaleAndSignOfZero) {
  DECIMAL a{}, b{};
  ASSERT_EQ(dec(L"1.50", &a), S_OK);
  ASSERT_EQ(dec(L"1.5", &b), S_OK);
  EXPECT_EQ(decimal_compare(a, b), 0);
  ASSERT_EQ(dec(L"-2", &b), S_OK);
  EXPECT_EQ(decimal_compare(a, b), 1);
  EXPECT_EQ(decimal_compare(b, a), -1);
  ASSERT_EQ(dec(L"-2.0000000000000000000000000001", &a), S_OK);
  EXPECT_EQ(decimal_compare(a, b), -1);
  DECIMAL zero{}, negative_zero{};
  negative_zero.sign = DECIMAL_NEG;
  negative_zero.scale = 3;
  EXPECT_EQ(decimal_compare(zero, negative_zero), 0);
}
