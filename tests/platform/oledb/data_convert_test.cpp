#include "platform/oledb/data_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/com/com_runtime.h"
#include "platform/oleaut/numeric.h"
#include "platform/oledb/text16.h"

namespace {

std::string numeric(std::string_view text, int precision, int scale, HRESULT* result = nullptr) {
  DB_NUMERIC n{};
  HRESULT hr = numeric_from_text(text, static_cast<BYTE>(precision), static_cast<BYTE>(scale), &n);
  if (result) *result = hr;
  return SUCCEEDED(hr) ? numeric_to_text(n) : "failed";
}

TEST(NumericFromText, ExactDigitsScaleAndRounding) {
  EXPECT_EQ(numeric("12.5", 10, 2), "12.50");
  EXPECT_EQ(numeric("-0.005", 10, 2), "-0.01");  // half away from zero
  EXPECT_EQ(numeric("0.004", 10, 2), "0.00");
  EXPECT_EQ(numeric("12345678901234567890123456789012345678", 38, 0), "12345678901234567890123456789012345678");
  EXPECT_EQ(numeric("-1234567890123456789012345678.1234567899", 38, 10), "-1234567890123456789012345678.1234567899");
  EXPECT_EQ(numeric("1.5e3", 10, 0), "1500");
  EXPECT_EQ(numeric("  7 ", 5, 0), "7");
  EXPECT_EQ(numeric("000.10", 3, 2), "0.10");
  EXPECT_EQ(numeric("-0", 5, 0), "0");
}

TEST(NumericFromText, OverflowAndBadText) {
  HRESULT hr;
  numeric("12345.6", 5, 2, &hr);
  EXPECT_EQ(hr, DB_E_DATAOVERFLOW);
  numeric("999.995", 5, 2, &hr);  // rounds up to 1000.00
  EXPECT_EQ(hr, DB_E_DATAOVERFLOW);
  numeric("1e40", 38, 0, &hr);
  EXPECT_EQ(hr, DB_E_DATAOVERFLOW);
  for (auto text : {"", "abc", "1.2.3", "1e", "--1", "."}) {
    numeric(text, 10, 2, &hr);
    EXPECT_EQ(hr, DB_E_CANTCONVERTVALUE) << text;
  }
}

TEST(NumericFrom, DecimalsExactlyDoublesRounded) {
  DECIMAL d{};
  ASSERT_EQ(VarDecFromStr(L"-79228162514264337593543950335", LOCALE_EN_US, 0, &d), S_OK);
  DB_NUMERIC n{};
  ASSERT_EQ(numeric_from_decimal(d, 38, 0, &n), S_OK);
  EXPECT_EQ(numeric_to_text(n), "-79228162514264337593543950335");
  ASSERT_EQ(numeric_from_double(0.1, 18, 17, &n), S_OK);
  EXPECT_EQ(numeric_to_text(n), "0.10000000000000000");
  EXPECT_EQ(numeric_from_double(std::nan(""), 18, 2, &n), DB_E_DATAOVERFLOW);
  EXPECT_EQ(numeric_from_double(std::numeric_limits<double>::infinity(), 18, 2, &n), DB_E_DATAOVERFLOW);
}

TEST(DataConvertLibrary, ConvertsThroughTheInterface) {
  register_oledb_data_convert();
  IDataConvert* convert = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_OLEDB_CONVERSIONLIBRARY, nullptr, CLSCTX_ALL, IID_IDataConvert,
                             reinterpret_cast<void**>(&convert)),
            S_OK);
  std::u16string text = u"-42.125";
  DB_NUMERIC n{};
  DBSTATUS status = 99;
  DBLENGTH length = 0;
  EXPECT_EQ(convert->DataConvert(DBTYPE_WSTR, DBTYPE_NUMERIC, static_cast<DBLENGTH>(text.size() * 2), &length,
                                 text.data(), &n, sizeof n, DBSTATUS_S_OK, &status, 10, 3, 0),
            S_OK);
  EXPECT_EQ(status, DBSTATUS_S_OK);
  EXPECT_EQ(numeric_to_text(n), "-42.125");
  double big = 1e20;
  EXPECT_EQ(convert->DataConvert(DBTYPE_R8, DBTYPE_NUMERIC, 8, &length, &big, &n, sizeof n, DBSTATUS_S_OK, &status,
                                 10, 0, 0),
            DB_E_DATAOVERFLOW);
  EXPECT_EQ(status, DBSTATUS_E_DATAOVERFLOW);
  EXPECT_EQ(convert->DataConvert(DBTYPE_BYTES, DBTYPE_NUMERIC, 1, &length, &big, &n, sizeof n, DBSTATUS_S_OK,
                                 &status, 10, 0, 0),
            DB_E_UNSUPPORTEDCONVERSION);
  convert->Release();
}

}  // namespace
