// The provider and the odb_ wrappers against the TDS test server.
#include <cstring>

#include "tests/MSS/mss_test_server.h"
#include "MSS/odb_cmd.h"
#include "MSS/odb_mdat.h"
#include "MSS/odb_recs.h"
#include "TK/tk_errco.h"

namespace {

TEST_F(mss_server_test, ConnectsWithAQuotedPasswordAndRunsAQuery) {
  auto s = session();
  odb_command command(s.get());
  IRowset* rowset = nullptr;
  command.execute(L"SELECT @@VERSION", &rowset);
  ASSERT_NE(rowset, nullptr);
  odb_recordset r(rowset);
  rowset->Release();
  r.reset();
  ASSERT_FALSE(r.is_eof());
  EXPECT_EQ(r.get_item()->operator[](0).to_wstring().substr(0, 20), L"Microsoft SQL Server");
}

TEST_F(mss_server_test, RefusedLoginsAndUnreachableServers) {
  tk_error_converter messages(odb_error_messages_count, odb_error_messages);
  auto wrong = failure([&] { data_source(connection(L"orv", L"wrong")); });
  EXPECT_EQ(wrong.get_code(), 0x80E4D);
  EXPECT_EQ(wrong.get_level(), 0);
  EXPECT_EQ(wrong.get_native_error(), 18456);
  EXPECT_EQ(messages.convert(wrong.get_code()), "Invalid user name or password.");

  auto missing = failure([&] { data_source(connection(L"nowhere")); });
  EXPECT_EQ(missing.get_native_error(), 4060);
  EXPECT_EQ(missing.get_code(), 0x84005);

  srv().set_inaccessible("orv", true);
  EXPECT_EQ(failure([&] { data_source(connection(L"orv")); }).get_native_error(), 4060);

  // Windows authentication goes to FreeTDS's Kerberos login, which this server refuses.
  EXPECT_THROW(data_source(L"Provider=sqloledb;Data Source=127.0.0.1," + port() + L";Integrated Security=SSPI;"),
               odb_exception);

  auto unreachable = failure([&] { data_source(L"Provider=sqloledb;Data Source=127.0.0.1,1;User ID=sa;Password=x"); });
  EXPECT_EQ(unreachable.get_code(), 0x84005);
  EXPECT_NE(unreachable.message().find("does not exist or access denied"), std::string::npos) << unreachable.message();
}

TEST_F(mss_server_test, ServerErrorsMapToTheirResults) {
  auto s = session();
  odb_command command(s.get());
  command.execute(L"CREATE TABLE [t] ([id] int NOT NULL PRIMARY KEY, [s] nvarchar(3) NULL, [d] datetime NULL)");
  auto code = [&](const wchar_t* sql) { return failure([&] { command.execute(sql); }).get_code(); };
  EXPECT_EQ(code(L"CREATE TABLE [t] ([x] int)"), 0x80E3F);
  EXPECT_EQ(code(L"SELECT * FROM [nothere]"), 0x80E37);
  EXPECT_EQ(code(L"DROP TABLE [nothere]"), 0x80E37);
  command.execute(L"INSERT INTO [t] ([id]) VALUES (1)");
  EXPECT_EQ(code(L"INSERT INTO [t] ([id]) VALUES (1)"), 0x80E2F);
  EXPECT_EQ(code(L"INSERT INTO [t] ([id], [s]) VALUES (2, N'abcd')"), 0x80E57);
  EXPECT_EQ(code(L"INSERT INTO [t] ([id], [d]) VALUES (3, 'not a date')"), 0x80E07);
  EXPECT_EQ(code(L"SELEC 1"), 0x80E14);
  command.execute(L"CREATE INDEX [ix] ON [t] ([s])");
  EXPECT_EQ(code(L"CREATE INDEX [ix] ON [t] ([s])"), 0x80E34);
}

}  // namespace
