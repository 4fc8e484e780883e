#include "SQL/sql_util.h"

#include <gtest/gtest.h>

#include "SQL/sql_engi.h"
#include "UDB/udb_rec.h"
#include "UDB/udb_sche.h"

namespace {

class SqlUtil : public ::testing::Test {
protected:
  sql_engine engine;  // unconnected: only its flags are read
};

}  // namespace

TEST_F(SqlUtil, NativeTypes) {
  EXPECT_EQ(get_native_type(VT_BSTR, 255, 0), L"VARCHAR(255)");
  EXPECT_EQ(get_native_type(VT_BSTR, 256, 0), L"TEXT");
  EXPECT_EQ(get_native_type(VT_BSTR, 65536, 0), L"MEDIUMTEXT");
  EXPECT_EQ(get_native_type(VT_BSTR, 0, 0), L"LONGTEXT");
  EXPECT_EQ(get_native_type(VT_DECIMAL, 0, 0x0A02), L"DECIMAL(10,2)");
  EXPECT_EQ(get_native_type(VT_DECIMAL, 0, 0x0002), L"DOUBLE");
  EXPECT_EQ(get_native_type(VT_DATE, 0, 3), L"TIME");
  EXPECT_EQ(get_native_type(VT_BLOB, 300, 0), L"BLOB");
  engine.set_varchar_binary(true);
  EXPECT_EQ(get_native_type(VT_BSTR, 10, 0), L"VARCHAR(10) BINARY");
  EXPECT_THROW(get_native_type(VT_DATE, 0, 4), tk_mail_assertion);
  EXPECT_THROW(get_native_type(VT_BLOB_OBJECT, 0, 0), tk_mail_assertion);
}

TEST_F(SqlUtil, ResultColumnTypes) {
  EXPECT_EQ(mysql_type_to_vartype(1, sql_unsigned_flag), VT_UI1);
  EXPECT_EQ(mysql_type_to_vartype(8, 0), VT_I8);
  EXPECT_EQ(mysql_type_to_vartype(9, sql_unsigned_flag), VT_I4);
  EXPECT_EQ(mysql_type_to_vartype(246, 0), VT_DECIMAL);
  EXPECT_EQ(mysql_type_to_vartype(252, 0), VT_BLOB);
  EXPECT_EQ(mysql_type_to_vartype(253, 0), VT_BSTR);
  engine.set_blob_as_text(true);
  EXPECT_EQ(mysql_type_to_vartype(252, 0), VT_BSTR);
}

TEST_F(SqlUtil, Literals) {
  EXPECT_EQ(to_mysql_str(L"O'Brien", VT_BSTR), L"'O\\'Brien'");
  EXPECT_EQ(to_mysql_str(L"C:\\dir", VT_BSTR), L"'C:\\\\dir'");
  EXPECT_EQ(to_mysql_str(L"", VT_BSTR), L"\"\"");
  EXPECT_EQ(to_mysql_str(L"", VT_I4), L"\"\"");
  EXPECT_EQ(to_mysql_str(L"x", VT_NULL), L"NULL");
  EXPECT_EQ(to_mysql_str(L"12.5", VT_R8), L"12.5");
  EXPECT_EQ(to_mysql_str(L"1.500000000000000e+000", VT_R8), L"1.500000000000000e+000");
  // A "number" that is not one is quoted, never put into the statement bare.
  EXPECT_EQ(to_mysql_str(L"1); DROP TABLE t; --", VT_I4), L"'1); DROP TABLE t; --'");
  // Binary values: hexadecimal literals stand, anything else is quoted and escaped.
  EXPECT_EQ(to_mysql_str(L"0x4142", VT_ARRAY | VT_UI1), L"0x4142");
  EXPECT_EQ(to_mysql_str(L"0x41G2", VT_ARRAY | VT_UI1), L"'0x41G2'");
  EXPECT_EQ(to_mysql_str(L"'", VT_BLOB), L"'\\''");
  EXPECT_EQ(to_mysql_str(L"a'b\\", VT_BLOB), L"'a\\'b\\\\'");
  EXPECT_EQ(to_mysql_str(L"2004-05-06 10:11:12", VT_DATE), L"'2004-05-06 10:11:12'");
  EXPECT_EQ(to_mysql_quotes(L"SELECT [a] FROM [t]"), L"SELECT `a` FROM `t`");
}

TEST_F(SqlUtil, DefaultsAndAppendedValues) {
  t_ftd int_column(4, L"n", VT_I4, true, false, ole_variant(std::wstring(L"007")), 0);
  EXPECT_EQ(make_mysql_def_val(&int_column), L"");
  int_column.default_value = ole_variant(std::wstring(L"7"));
  EXPECT_EQ(make_mysql_def_val(&int_column), L"7");
  t_ftd real_column(8, L"r", VT_R8, false, false, ole_variant(std::wstring(L"1,5")), 0);
  EXPECT_EQ(make_mysql_def_val(&real_column), L"");  // would break the statement
  real_column.default_value = ole_variant(std::wstring(L"2.5"));
  EXPECT_EQ(make_mysql_def_val(&real_column), L"2.5");
  t_ftd text_column(20, L"t", VT_BSTR, false, false, ole_variant(std::wstring(L"it's")), 0);
  EXPECT_EQ(make_mysql_def_val(&text_column), L"'it\\'s'");

  // A NULL value for a NOT NULL INT column without a default gets the empty literal.
  t_ftd not_null(4, L"n", VT_I4, true, false, ole_variant(), 0);
  udb_field null_value(L"n", 4, ole_variant());
  EXPECT_EQ(get_fld_append_str(&null_value, &not_null), L"\"\"");
  t_ftd nullable(4, L"n", VT_I4, false, false, ole_variant(), 0);
  EXPECT_EQ(get_fld_append_str(&null_value, &nullable), L"NULL");
  udb_field empty_text(L"t", 4, ole_variant(std::wstring()));
  EXPECT_EQ(get_fld_append_str(&empty_text, &text_column), L"\"\"");
}

TEST_F(SqlUtil, BinaryLiteralsComeWholeFromTheBytes) {
  udb_schema schema;
  schema.push_back(std::make_unique<t_ftd>(0, L"b", VT_BLOB, false, false, ole_variant(), 0));
  // Past the 327,680 bytes that the value's text holds.
  std::vector<BYTE> big(400000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 7);
  const udb_field large(L"b", 0, ole_variant(big));
  const udb_field small(L"b", 0, ole_variant(std::vector<BYTE>{0x00, 0x41, 0xFF}));
  const udb_field none(L"b", 0, ole_variant(std::vector<BYTE>{}));

  engine.set_server_version(0x40100);
  EXPECT_EQ(get_fld_append_str(&small, &schema[0]), L"X'0041FF'");
  EXPECT_EQ(get_fld_append_str(&none, &schema[0]), L"X''");
  EXPECT_EQ(field_to_mysql_str(&small), L"X'0041FF'");
  const std::wstring whole = get_fld_append_str(&large, &schema[0]);
  ASSERT_EQ(whole.size(), big.size() * 2 + 3);
  EXPECT_EQ(whole.substr(0, 8), L"X'00070E");
  EXPECT_EQ(whole.substr(whole.size() - 5), L"7279'");  // the last two bytes

  // Servers before 4.0 know only 0x literals.
  engine.set_server_version(0x31401);
  EXPECT_EQ(get_fld_append_str(&small, &schema[0]), L"0x0041FF");
  EXPECT_EQ(get_fld_append_str(&none, &schema[0]), L"''");
}
