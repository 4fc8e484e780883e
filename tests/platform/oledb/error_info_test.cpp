#include "platform/oledb/error_info.h"

#include <gtest/gtest.h>

#include "platform/oleaut/bstr.h"

namespace {

TEST(ErrorInfo, RecordsTravelThroughTheThreadsErrorObject) {
  IErrorInfo* info = nullptr;
  GetErrorInfo(0, &info);  // nothing left from elsewhere
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  oledb_error_record first{DB_SEC_E_AUTH_FAILED, L"Login failed for user 'x'.", L"provider", L"28000", 18456};
  oledb_error_record second{E_FAIL, L"second", L"provider", L"08001", 20002};
  EXPECT_EQ(oledb_fail(DB_SEC_E_AUTH_FAILED, {first, second}), DB_SEC_E_AUTH_FAILED);
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  EXPECT_EQ(GetErrorInfo(0, nullptr), E_INVALIDARG);
  IErrorRecords* records = nullptr;
  ASSERT_EQ(info->QueryInterface(IID_IErrorRecords, reinterpret_cast<void**>(&records)), S_OK);
  ULONG count = 0;
  records->GetRecordCount(&count);
  EXPECT_EQ(count, 2u);
  IUnknown* custom = nullptr;
  ASSERT_EQ(records->GetCustomErrorObject(1, IID_ISQLErrorInfo, &custom), S_OK);
  BSTR state = nullptr;
  LONG native = 0;
  static_cast<ISQLErrorInfo*>(custom)->GetSQLInfo(&state, &native);
  EXPECT_EQ(native, 20002);
  EXPECT_EQ(bstr_text(state), L"08001");
  SysFreeString(state);
  custom->Release();
  IErrorInfo* one = nullptr;
  ASSERT_EQ(records->GetErrorInfo(0, 0, &one), S_OK);
  BSTR text = nullptr;
  one->GetDescription(&text);
  EXPECT_EQ(bstr_text(text), L"Login failed for user 'x'.");
  SysFreeString(text);
  one->Release();
  EXPECT_TRUE(FAILED(records->GetErrorInfo(2, 0, &one)));
  records->Release();
  info->Release();
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);  // taken once
}

}  // namespace
