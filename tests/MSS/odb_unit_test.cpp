// The odb_ wrappers without a server: the exception built from error records,
// the message table, the type tables and the accessor's binding sizes.
#include <gtest/gtest.h>

#include "MSS/odb_acc.h"
#include "MSS/odb_exce.h"
#include "MSS/odb_rec.h"
#include "TK/tk_errco.h"
#include "platform/oledb/error_info.h"

namespace {

TEST(OdbException, CodeLevelAndTheFirstRecordWithADescription) {
  oledb_fail(DB_SEC_E_AUTH_FAILED, {{E_FAIL, L"", L"first", L"", 1}, {DB_SEC_E_AUTH_FAILED, L"Login failed.", L"src", L"28000", 18456}});
  odb_exception e(DB_SEC_E_AUTH_FAILED);
  EXPECT_EQ(e.get_code(), 0x80E4D);
  EXPECT_EQ(e.get_level(), 0);
  EXPECT_EQ(e.message(), "Login failed.");
  EXPECT_EQ(e.get_source(), L"src");
  EXPECT_EQ(e.get_native_error(), 18456);

  odb_exception none(static_cast<HRESULT>(0x80004005));  // no error object
  EXPECT_EQ(none.get_code(), 0x84005);
  EXPECT_EQ(none.message(), "Unknown exception");
  EXPECT_THROW(odb_check(DB_E_NOTABLE), odb_exception);
  EXPECT_NO_THROW(odb_check(S_FALSE));
}

TEST(OdbMessages, TwentySevenEntriesKeyedByResult) {
  ASSERT_EQ(odb_error_messages_count, 27);
  tk_error_converter messages(odb_error_messages_count, odb_error_messages);
  EXPECT_EQ(messages.size(), 27u);
  EXPECT_EQ(messages.convert(0x80E4D), "Invalid user name or password.");
  EXPECT_EQ(messages.convert(0x80E37), "The specified table does not exist.");
  EXPECT_EQ(messages.convert(0x80E72), "The index ID is invalid. Contact to support@dunmere.example\nfor the solution.");
  EXPECT_EQ(messages.convert(0x84005), "");
}

TEST(OdbTypes, BothTablesAndTheVersionRule) {
  EXPECT_EQ(odb_record::get_vartype(DBTYPE_DBTIMESTAMP, 16, 0), VT_DATE);
  EXPECT_EQ(odb_record::get_vartype(DBTYPE_NUMERIC, 19, 0), VT_DECIMAL);
  EXPECT_EQ(odb_record::get_vartype(DBTYPE_WSTR, 10, 0), VT_BSTR);
  EXPECT_EQ(odb_record::get_vartype(DBTYPE_GUID, 16, 0), VT_BLOB);
  EXPECT_EQ(odb_record::get_vartype(DBTYPE_DBDATE, 6, 0), VT_BLOB);
  EXPECT_EQ(odb_record::get_oledb_type(VT_I8, 8, 0, 2), DBTYPE_R8);
  EXPECT_EQ(odb_record::get_oledb_type(VT_I8, 8, 0, 3), DBTYPE_I8);
  EXPECT_EQ(odb_record::get_oledb_type(VT_UI8, 8, 0, 5), DBTYPE_R8);
  EXPECT_EQ(odb_record::get_oledb_type(VT_DATE, 8, 0, 5), DBTYPE_DBTIMESTAMP);
  EXPECT_EQ(odb_record::get_oledb_type(VT_DECIMAL, 8, 0, 5), DBTYPE_NUMERIC);
  EXPECT_EQ(odb_record::get_oledb_type(VT_BLOB_OBJECT, 0, 0, 5), DBTYPE_BYTES);
  EXPECT_EQ(odb_record::get_oledb_type(VT_VARIANT, 0, 0, 5), DBTYPE_WSTR);
}

TEST(OdbAccessor, BindingSizesByColumnType) {
  auto column = [](DBTYPE type, DBLENGTH size) {
    DBCOLUMNINFO c{};
    c.wType = type;
    c.ulColumnSize = size;
    return odb_accessor::max_length(c);
  };
  EXPECT_EQ(column(DBTYPE_WSTR, 1000), 2002u);
  EXPECT_EQ(column(DBTYPE_WSTR, 5000000), 2000000u);
  EXPECT_EQ(column(DBTYPE_I4, 4), 52u);
  EXPECT_EQ(column(DBTYPE_NUMERIC, 19), 102u);
  EXPECT_EQ(column(DBTYPE_BYTES, 10), 42u);
  EXPECT_EQ(column(DBTYPE_BYTES, 2000000), 2000000u);
}

}  // namespace
