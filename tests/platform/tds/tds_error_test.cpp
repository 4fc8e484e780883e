#include "platform/tds/tds_error.h"

#include <gtest/gtest.h>

#include "platform/oleaut/bstr.h"

namespace {

TEST(TdsErrors, ServerNumbersMapToTheirResults) {
  const std::pair<int, HRESULT> table[] = {
      {18456, DB_SEC_E_AUTH_FAILED}, {4060, E_FAIL}, {20009, E_FAIL}, {20017, E_FAIL}, {20002, E_FAIL},
      {208, DB_E_NOTABLE}, {3701, DB_E_NOTABLE}, {2714, DB_E_DUPLICATETABLEID}, {1913, DB_E_DUPLICATEINDEXID},
      {229, DB_SEC_E_PERMISSIONDENIED}, {262, DB_SEC_E_PERMISSIONDENIED}, {2627, DB_E_INTEGRITYVIOLATION},
      {2601, DB_E_INTEGRITYVIOLATION}, {547, DB_E_INTEGRITYVIOLATION}, {515, DB_E_INTEGRITYVIOLATION},
      {8115, DB_E_DATAOVERFLOW}, {8152, DB_E_DATAOVERFLOW}, {2628, DB_E_DATAOVERFLOW}, {241, DB_E_CANTCONVERTVALUE},
      {242, DB_E_CANTCONVERTVALUE}, {245, DB_E_CANTCONVERTVALUE}, {102, DB_E_ERRORSINCOMMAND}};
  for (auto [number, result] : table) EXPECT_EQ(tds_error_result(number), result) << number;
}

// The first record's description and native number of the thread's error object.
std::pair<std::wstring, LONG> first_record() {
  IErrorInfo* info = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &info), S_OK);
  IErrorRecords* records = nullptr;
  info->QueryInterface(IID_IErrorRecords, reinterpret_cast<void**>(&records));
  IErrorInfo* one = nullptr;
  records->GetErrorInfo(0, 0, &one);
  BSTR text = nullptr;
  one->GetDescription(&text);
  IUnknown* custom = nullptr;
  records->GetCustomErrorObject(0, IID_ISQLErrorInfo, &custom);
  BSTR state = nullptr;
  LONG native = 0;
  static_cast<ISQLErrorInfo*>(custom)->GetSQLInfo(&state, &native);
  std::wstring description = bstr_text(text);
  SysFreeString(text);
  SysFreeString(state);
  custom->Release();
  one->Release();
  records->Release();
  info->Release();
  return {description, native};
}

tds_message server(int number, const char* text) {
  tds_message m;
  m.number = number;
  m.severity = 14;
  m.text = text;
  return m;
}
tds_message client(int number, const char* text) {
  tds_message m = server(number, text);
  m.client = true;
  return m;
}

TEST(TdsErrors, TheServersReasonComesBeforeTheClientsRefusal) {
  tds_clear_messages();
  tds_add_message(server(4060, "Cannot open database \"x\" requested by the login. The login failed."));
  tds_add_message(server(18456, "Login failed for user 'sa'."));
  tds_add_message(client(20002, "Adaptive Server connection failed"));
  EXPECT_EQ(tds_fail(), E_FAIL);
  EXPECT_EQ(first_record().second, 4060);

  tds_add_message(server(18456, "Login failed for user 'sa'."));
  tds_add_message(client(20002, "Adaptive Server connection failed"));
  EXPECT_EQ(tds_fail(), DB_SEC_E_AUTH_FAILED);
  EXPECT_EQ(first_record().first, L"Login failed for user 'sa'.");
  EXPECT_TRUE(tds_messages().empty());
}

TEST(TdsErrors, ARefusalWithoutAServerMessageIsAnUnreachableServer) {
  tds_clear_messages();
  tds_add_message(client(20009, "Unable to connect: Adaptive Server is unavailable or does not exist"));
  tds_add_message(client(20002, "Adaptive Server connection failed"));
  EXPECT_EQ(tds_fail(), E_FAIL);
  auto [text, native] = first_record();
  EXPECT_EQ(text, tds_unreachable_text);
  EXPECT_EQ(native, 20009);
  // Nothing collected: the fallback with an empty record.
  EXPECT_EQ(tds_fail(DB_E_NOTABLE), DB_E_NOTABLE);
  EXPECT_EQ(first_record().second, 0);
}

}  // namespace
