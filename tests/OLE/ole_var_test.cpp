// ole_variant: text forms by type, reading text into a type, copies, binary
// values and type changes, as a person who loads financial data would check them.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <locale.h>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "OLE/ole_date.h"
#include "OLE/ole_var.h"
#include "TK/tk_excep.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
void lsan_disable() { __lsan_disable(); }
void lsan_enable() { __lsan_enable(); }
#else
void lsan_disable() {}
void lsan_enable() {}
#endif

ole_variant read(const std::string& text, VARTYPE vt) {
  ole_variant value;
  value.from_string(text, vt);
  return value;
}

ole_variant changed(ole_variant value, VARTYPE vt) {
  value.change_type(vt);
  return value;
}

}  // namespace

TEST(OleVariant, RealsPrintWithThreeDigitExponentsAndReadDecimalCommas) {
  ole_variant value = read("1,5", VT_R8);
  EXPECT_EQ(value.get_vt(), VT_R8);
  EXPECT_EQ(value.get_variant().dblVal, 1.5);
  EXPECT_EQ(value.to_string(), "1.500000000000000e+000");
  EXPECT_EQ(value.to_wstring(), L"1.500000000000000e+000");
  EXPECT_EQ(read("-0.000125", VT_R4).to_string(), "-1.250000e-004");
  EXPECT_EQ(ole_variant(1e300).to_string(), "1.000000000000000e+300");
}

TEST(OleVariant, ThousandsGroupingIsReadNotCut) {
  // A comma is a decimal comma only where the text can hold one; grouped
  // amounts keep every digit instead of stopping at a second point.
  EXPECT_EQ(read("1,234.5", VT_R8).get_variant().dblVal, 1234.5);
  EXPECT_EQ(read("-1,234,567", VT_R8).get_variant().dblVal, -1234567.0);
  EXPECT_EQ(read("1.234,5", VT_R8).get_variant().dblVal, 1234.5);
  EXPECT_EQ(read("1,234.5", VT_R4).get_variant().fltVal, 1234.5f);
  EXPECT_EQ(read("1,234,567.8901", VT_CY).to_string(), "1234567.8901");
  EXPECT_EQ(read("1.234.567,89", VT_DECIMAL).to_string(), "1234567.89");
  EXPECT_EQ(read("1,234.5", VT_DECIMAL).to_string(), "1234.5");
  // The decimal comma itself, and texts that are neither, as before.
  EXPECT_EQ(read("1,5", VT_R8).get_variant().dblVal, 1.5);
  EXPECT_EQ(read("1,234", VT_R8).get_variant().dblVal, 1.234);
  EXPECT_EQ(read("-0,25", VT_CY).to_string(), "-0.25");
  EXPECT_EQ(read("12,34.5", VT_DECIMAL).get_vt(), VT_EMPTY);
}

TEST(OleVariant, NumberTextIsTheSameUnderADecimalCommaLocale) {
  auto dir = std::filesystem::temp_directory_path() / ("orv-ole-locale-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string cmd = "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "localedef could not build de_DE.UTF-8";
  ::setenv("LOCPATH", dir.c_str(), 1);
  // The thread's locale, which the C library's number formatting and reading follow.
  // (The C library keeps a little of a locale loaded from LOCPATH for good.)
  lsan_disable();
  locale_t german = ::newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
  lsan_enable();
  ::unsetenv("LOCPATH");
  ASSERT_NE(german, static_cast<locale_t>(nullptr));
  const locale_t before = ::uselocale(german);
  char plain[32];
  std::snprintf(plain, sizeof plain, "%.1f", 1.5);
  EXPECT_STREQ(plain, "1,5");  // the locale is in force

  EXPECT_EQ(read("1,5", VT_R8).to_string(), "1.500000000000000e+000");
  EXPECT_EQ(read("2.25", VT_R8).get_variant().dblVal, 2.25);
  EXPECT_EQ(read("1234,5678", VT_CY).to_string(), "1234.5678");
  EXPECT_EQ(read("-0.5", VT_DECIMAL).to_string(), "-0.5");
  EXPECT_EQ(ole_variant(0.25f).to_string(), "2.500000e-001");
  EXPECT_EQ(changed(ole_variant(std::string("2.5")), VT_R8).get_variant().dblVal, 2.5);

  ::uselocale(before);
  ::freelocale(german);
  std::filesystem::remove_all(dir);
}

TEST(OleVariant, IntegersAndSixtyFourBitValuesSurviveCopies) {
  EXPECT_EQ(ole_variant(-5).to_string(), "-5");
  EXPECT_EQ(ole_variant(static_cast<unsigned int>(4294967295u)).to_string(), "4294967295");
  EXPECT_EQ(ole_variant(static_cast<short>(-32768)).to_string(), "-32768");
  EXPECT_EQ(ole_variant(static_cast<unsigned char>(255)).to_string(), "255");
  EXPECT_EQ(ole_variant('A').to_string(), "65");

  const ole_variant big(5000000000LL);
  EXPECT_EQ(big.get_vt(), VT_I8);
  EXPECT_EQ(big.to_string(), "5000000000");
  ole_variant copy(big);
  EXPECT_EQ(copy.get_vt(), VT_I8);
  EXPECT_EQ(copy.to_string(), "5000000000");
  ole_variant assigned(std::string("old text"));
  assigned = big;
  EXPECT_EQ(assigned.get_vt(), VT_I8);
  EXPECT_EQ(assigned.to_string(), "5000000000");
  assigned = assigned;
  EXPECT_EQ(assigned.to_string(), "5000000000");
  EXPECT_EQ(ole_variant(18446744073709551615ULL).to_string(), "18446744073709551615");
  EXPECT_EQ(read("-9223372036854775808", VT_I8).to_string(), "-9223372036854775808");
  EXPECT_EQ(read("18446744073709551615", VT_UI8).to_string(), "18446744073709551615");

  ole_variant moved(std::move(copy));
  EXPECT_EQ(moved.to_string(), "5000000000");
  EXPECT_EQ(copy.get_vt(), VT_EMPTY);
}

TEST(OleVariant, TextBeyondAnIntegerTypeIsAnOverflowNotAWrap) {
  // The same error as change_type gives for the same text.
  const std::vector<std::pair<const char*, VARTYPE>> beyond = {
      {"5000000000", VT_I4}, {"-1", VT_UI4}, {"4294967296", VT_UI4}, {"128", VT_I1}, {"-129", VT_I1},
      {"256", VT_UI1}, {"-1", VT_UI1}, {"32768", VT_I2}, {"65536", VT_UI2}, {"-1", VT_UI2},
      {"9223372036854775808", VT_I8}, {"-9223372036854775809", VT_I8}, {"-1", VT_UI8},
      {"18446744073709551616", VT_UI8}};
  for (const auto& [text, vt] : beyond) {
    EXPECT_THROW(read(text, vt), ole_cast_exception) << text << " as " << vt;
    EXPECT_THROW(changed(ole_variant(std::string(text)), vt), ole_cast_exception) << text << " as " << vt;
  }
  // The limits themselves, and the C library's reading of the rest, stay.
  EXPECT_EQ(read("2147483647", VT_I4).to_string(), "2147483647");
  EXPECT_EQ(read("-2147483648", VT_I4).to_string(), "-2147483648");
  EXPECT_EQ(read("4294967295", VT_UI4).to_string(), "4294967295");
  EXPECT_EQ(read(" -0", VT_UI4).to_string(), "0");
  EXPECT_EQ(read("255", VT_UI1).to_string(), "255");
  EXPECT_EQ(read("12abc", VT_I2).to_string(), "12");
  EXPECT_EQ(read("abc", VT_I4).to_string(), "0");
  EXPECT_EQ(read("+7", VT_UI2).to_string(), "7");
}

TEST(OleVariant, EmptyTextAndBooleans) {
  EXPECT_EQ(read("", VT_I4).get_vt(), VT_EMPTY);
  ole_variant text = read("", VT_BSTR);
  EXPECT_EQ(text.get_vt(), VT_BSTR);
  EXPECT_EQ(text.to_wstring(), L"");

  for (const char* yes : {"TRUE", "2", "yes", "True", "-1"}) EXPECT_EQ(read(yes, VT_BOOL).to_string(), "1") << yes;
  for (const char* no : {"abc", "false", "No", "0"}) EXPECT_EQ(read(no, VT_BOOL).to_string(), "0") << no;
  EXPECT_EQ(ole_variant(true).to_string(), "1");
  EXPECT_EQ(ole_variant(false).to_string(), "0");
  {
    ole_bool_mapping mapping(1);
    EXPECT_EQ(ole_variant(true).to_string(), "-1");
  }
  EXPECT_EQ(ole_variant(true).to_string(), "1");
  // Text literals are text, never booleans.
  EXPECT_EQ(ole_variant("abc").get_vt(), VT_BSTR);
  EXPECT_EQ(ole_variant(L"abc").to_wstring(), L"abc");
}

TEST(OleVariant, CurrencyAndDecimalTextKeepEveryDigit) {
  EXPECT_EQ(read("922337203685477.5807", VT_CY).to_string(), "922337203685477.5807");
  EXPECT_EQ(read("-12,34", VT_CY).to_string(), "-12.34");
  EXPECT_EQ(read("0.00005", VT_CY).to_string(), "0");
  EXPECT_EQ(read("12345678901234567890.123456789", VT_DECIMAL).to_string(), "12345678901234567890.123456789");
  EXPECT_EQ(read("-79228162514264337593543950335", VT_DECIMAL).to_string(), "-79228162514264337593543950335");
  // Text that does not read is an empty value, not an error.
  EXPECT_EQ(read("abc", VT_CY).get_vt(), VT_EMPTY);
  EXPECT_EQ(read("1e30", VT_CY).get_vt(), VT_EMPTY);
  EXPECT_EQ(read("1e30", VT_DECIMAL).get_vt(), VT_EMPTY);
  EXPECT_EQ(ole_variant(CY{-1}).to_string(), "-0.0001");
  DECIMAL d{};
  d.Lo64 = 150;
  d.scale = 2;
  const ole_variant dec(d);
  EXPECT_EQ(dec.get_vt(), VT_DECIMAL);
  EXPECT_EQ(dec.to_string(), "1.5");
  EXPECT_EQ(ole_variant(dec).to_string(), "1.5");
}

TEST(OleVariant, BinaryTextRoundTrips) {
  ole_variant bytes = read("0x4142", VT_ARRAY | VT_UI1);
  EXPECT_EQ(bytes.get_vt(), VT_ARRAY | VT_UI1);
  EXPECT_EQ(bytes.get_binary(), (std::vector<BYTE>{0x41, 0x42}));
  EXPECT_EQ(bytes.to_string(), "0x4142");
  EXPECT_EQ(read("4142", VT_BLOB).to_string(), "0x4142");
  EXPECT_EQ(read("0x414", VT_ARRAY | VT_UI1).get_vt(), VT_EMPTY);
  EXPECT_EQ(read("0x41G2", VT_ARRAY | VT_UI1).get_vt(), VT_EMPTY);
  EXPECT_EQ(read("0x", VT_ARRAY | VT_UI1).to_string(), "");
  EXPECT_EQ(read("0xabcdef", VT_BLOB).to_string(), "0xABCDEF");

  ole_variant copy(bytes);
  ole_variant assigned;
  assigned = bytes;
  bytes.allocate_safe_array(3);  // the copies keep their own bytes
  EXPECT_EQ(bytes.get_binary(), (std::vector<BYTE>{0x41, 0x42, 0}));
  EXPECT_EQ(copy.to_string(), "0x4142");
  EXPECT_EQ(assigned.to_string(), "0x4142");
  EXPECT_THROW(bytes.allocate_safe_array(-1), tk_mail_assertion);

  // Text shows at most 0x50000 bytes.
  ole_variant large(std::vector<BYTE>(0x50001, 0xAB));
  EXPECT_EQ(large.to_string().size(), 2u + 2 * 0x50000);
  EXPECT_EQ(large.get_binary().size(), 0x50001u);
}

TEST(OleVariant, DatesReadPrintAndCopy) {
  ole_variant date = read("2004-05-06 12:34:56", VT_DATE);
  EXPECT_EQ(date.get_vt(), VT_DATE);
  EXPECT_EQ(date.to_string(), "2004-05-06 12:34:56");
  EXPECT_NEAR(date.get_variant().date, 38113.524259259, 1e-8);
  const ole_variant copy(date);
  EXPECT_EQ(copy.to_string(), date.to_string());
  ole_variant assigned;
  assigned = date;
  EXPECT_EQ(assigned.to_string(), "2004-05-06 12:34:56");
  EXPECT_EQ(read("2004-05-06 00:00:00", VT_DATE).to_string(), "2004-05-06");
  EXPECT_EQ(read("12:30:59.6", VT_DATE).to_string(), "0000-00-00 12:31:00");
  EXPECT_EQ(read("12:30:59.6", VT_DATE).get_variant().date, (12 * 3600 + 31 * 60) / 86400.0);
  EXPECT_EQ(read("2004-02-30", VT_DATE).get_vt(), VT_EMPTY);
  EXPECT_EQ(changed(date, VT_BSTR).to_wstring(), L"2004-05-06 12:34:56");
}

TEST(OleVariant, ChangeTypeFromAndToSixtyFourBits) {
  // Currency to a whole number rounds half away from zero, negative amounts too.
  EXPECT_EQ(changed(ole_variant(CY{-27000}), VT_I8).to_string(), "-3");
  EXPECT_EQ(changed(ole_variant(CY{-25000}), VT_I8).to_string(), "-3");
  EXPECT_EQ(changed(ole_variant(CY{-24999}), VT_I8).to_string(), "-2");
  EXPECT_EQ(changed(ole_variant(CY{25000}), VT_I8).to_string(), "3");
  EXPECT_EQ(changed(ole_variant(CY{24999}), VT_UI8).to_string(), "2");
  EXPECT_EQ(changed(read("-2.7", VT_DECIMAL), VT_I8).to_string(), "-3");
  EXPECT_EQ(changed(ole_variant(-7.9), VT_I8).to_string(), "-7");
  EXPECT_EQ(changed(ole_variant(true), VT_I8).to_string(), "-1");
  EXPECT_EQ(changed(ole_variant(std::string("123456789012")), VT_I8).to_string(), "123456789012");

  const ole_variant big(5000000000LL);
  EXPECT_EQ(changed(big, VT_R8).to_string(), "5.000000000000000e+009");
  EXPECT_EQ(changed(big, VT_BSTR).to_wstring(), L"5000000000");
  EXPECT_EQ(changed(big, VT_CY).to_string(), "5000000000");
  EXPECT_EQ(changed(big, VT_DECIMAL).to_string(), "5000000000");
  EXPECT_EQ(changed(big, VT_UI8).to_string(), "5000000000");
  EXPECT_EQ(changed(ole_variant(1LL), VT_BOOL).to_string(), "1");
  EXPECT_EQ(changed(ole_variant(65536LL), VT_BOOL).to_string(), "1");
  const ole_variant five(5LL);
  EXPECT_EQ(changed(five, VT_UI4).get_vt(), VT_UI4);
  EXPECT_EQ(changed(five, VT_UI4).to_string(), "5");
  EXPECT_EQ(changed(five, VT_UINT).to_string(), "5");
  EXPECT_EQ(changed(five, VT_I2).to_string(), "5");
  // A value that does not fit is an error, never a cut one.
  EXPECT_THROW(changed(big, VT_I4), ole_cast_exception);
  EXPECT_THROW(changed(ole_variant(-1LL), VT_UI8), ole_cast_exception);
  EXPECT_THROW(changed(ole_variant(-1), VT_UI8), ole_cast_exception);
  EXPECT_THROW(changed(ole_variant(1e30), VT_I8), ole_cast_exception);
  EXPECT_THROW(changed(ole_variant(9223372036854775807LL), VT_CY), ole_cast_exception);
}

TEST(OleVariant, ChangeTypeThroughThePlatform) {
  EXPECT_EQ(changed(ole_variant(std::string("1,234")), VT_I4).to_string(), "1234");
  EXPECT_EQ(changed(ole_variant(2.5), VT_I4).to_string(), "2");
  EXPECT_EQ(changed(ole_variant(std::string("2004-05-06 12:34:56")), VT_DATE).to_string(), "2004-05-06 12:34:56");
  EXPECT_EQ(changed(ole_variant(std::string("5/6/2004")), VT_DATE).to_string(), "2004-05-06");
  EXPECT_EQ(changed(ole_variant(38113.75), VT_DATE).to_string(), "2004-05-06 18:00:00");
  EXPECT_EQ(changed(ole_variant(std::string("12.5")), VT_CY).to_string(), "12.5");
  EXPECT_THROW(changed(ole_variant(std::string("abc")), VT_I4), ole_cast_exception);
  EXPECT_THROW(changed(ole_variant(300), VT_UI1), ole_cast_exception);
  ole_variant value;
  EXPECT_THROW(value.from_string("abc", VT_INT), ole_type_exception);
  value.from_string("42", VT_INT);
  EXPECT_EQ(value.get_vt(), VT_INT);
  EXPECT_EQ(value.to_string(), "42");
  // Empty and null stay as they are.
  EXPECT_EQ(changed(ole_variant(), VT_I4).get_vt(), VT_EMPTY);
}

TEST(OleVariant, ChangeTypeToBinaryTakesTheValuesBytes) {
  EXPECT_EQ(changed(ole_variant(std::string("AB")), VT_BLOB).to_string(), "0x4142");
  EXPECT_EQ(changed(ole_variant(static_cast<short>(0x0102)), VT_ARRAY | VT_UI1).to_string(), "0x0201");
  EXPECT_EQ(changed(ole_variant(0x01020304), VT_BLOB).get_binary().size(), 4u);
  EXPECT_EQ(changed(ole_variant(1.0), VT_BLOB).get_binary().size(), 8u);
  EXPECT_EQ(changed(ole_variant(5000000000LL), VT_BLOB).get_binary().size(), 8u);
  EXPECT_EQ(changed(read("1.5", VT_DECIMAL), VT_BLOB).get_binary().size(), 16u);
  const ole_variant bytes = read("0x41", VT_BLOB);
  EXPECT_EQ(changed(bytes, VT_BLOB_OBJECT).to_string(), "0x41");
}

TEST(OleVariant, VariantsFromTheBackEndsFillTheCaches) {
  VARIANT raw;
  VariantInit(&raw);
  raw.vt = VT_I8;
  raw.llVal = -5000000000LL;
  const ole_variant big(raw);
  EXPECT_EQ(big.get_i8(), -5000000000LL);
  EXPECT_EQ(big.to_string(), "-5000000000");

  raw.vt = VT_DATE;
  raw.date = 38113.75;
  ole_variant date;
  date.attach_variant(raw);
  EXPECT_EQ(date.get_systemtime().wYear, 2004);
  EXPECT_EQ(date.get_systemtime().wHour, 18);
  EXPECT_EQ(date.to_string(), "2004-05-06 18:00:00");

  raw.vt = VT_BSTR;
  raw.bstrVal = bstr_from(L"text \u00e9");
  const ole_variant text(raw);
  VariantClear(&raw);  // the value holds its own copy
  EXPECT_EQ(text.to_wstring(), L"text \u00e9");
  EXPECT_EQ(ole_variant(static_cast<BSTR>(nullptr)).to_wstring(), L"");
}

TEST(OleVariant, ByReferenceArraysAreCopiedAsReferences) {
  // A back end may hand over its own array by reference: copies of the value
  // refer to that array and never read the reference as an array.
  SAFEARRAY* owned = SafeArrayCreateVector(VT_UI1, 0, 2);
  ASSERT_NE(owned, nullptr);
  static_cast<BYTE*>(owned->pvData)[0] = 0x41;
  VARIANT raw;
  VariantInit(&raw);
  raw.vt = VT_BYREF | VT_ARRAY | VT_UI1;
  raw.byref = &owned;
  {
    const ole_variant value(raw);
    const ole_variant copy(value);
    EXPECT_EQ(copy.get_vt(), VT_BYREF | VT_ARRAY | VT_UI1);
    EXPECT_EQ(copy.get_variant().byref, static_cast<void*>(&owned));
    ole_variant assigned;
    assigned = value;
    EXPECT_EQ(assigned.get_variant().byref, static_cast<void*>(&owned));
  }
  EXPECT_EQ(static_cast<BYTE*>(owned->pvData)[0], 0x41);  // still the owner's
  SafeArrayDestroy(owned);
}
