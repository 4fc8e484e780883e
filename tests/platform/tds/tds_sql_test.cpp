#include "platform/tds/tds_sql.h"

#include <gtest/gtest.h>

#include "platform/tds/tds_provider.h"
#include "platform/tds/tds_settings.h"

namespace {

TEST(TsqlQuoting, NamesStringsAndPatterns) {
  EXPECT_EQ(tsql_name(L"a]b"), L"[a]]b]");
  EXPECT_EQ(tsql_name(L"Sheet1$"), L"[Sheet1$]");
  EXPECT_EQ(tsql_string(L"O'Neil"), L"N'O''Neil'");
  EXPECT_EQ(tsql_string(L""), L"N''");
  EXPECT_EQ(tsql_like_exact(L"Sheet_1%[x]"), L"Sheet[_]1[%][[]x]");
}

TEST(TsqlQuoting, TableNamesAreReadNeverBracketedTwice) {
  auto check = [](const wchar_t* text, const wchar_t* owner, const wchar_t* name) {
    tsql_object_name n = tsql_parse_name(text);
    EXPECT_EQ(n.owner, owner) << std::wstring(text);
    EXPECT_EQ(n.name, name) << std::wstring(text);
  };
  check(L"[dbo].[Sales]", L"dbo", L"Sales");
  check(L"[a]]b]", L"", L"a]b");
  check(L"[x].[y.z]", L"x", L"y.z");
  check(L"db.[dbo].[t]", L"dbo", L"t");
  check(L"Sheet1$", L"", L"Sheet1$");
  check(L"my.table", L"", L"my.table");       // a raw name keeps its dot
  check(L"a].[b", L"", L"a].[b");             // not identifier text: the name as given
  check(L"[unclosed", L"", L"[unclosed");
  check(L"\"q\".\"t\"", L"q", L"t");
  EXPECT_EQ(tsql_object(tsql_parse_name(L"[dbo].[a]]b]")), L"[dbo].[a]]b]");
}

TEST(TsqlStatements, DefinitionsAndCatalogCalls) {
  tsql_object_name t{L"dbo", L"T'1"};
  std::vector<tsql_column> columns{{L"id", L"int", false, true, L""}, {L"s", L"nvarchar(10)", true, false, L"N'x'"}};
  EXPECT_EQ(tsql_create_table(t, columns),
            L"CREATE TABLE [dbo].[T'1] ([id] int IDENTITY(1,1) NOT NULL, [s] nvarchar(10) NULL DEFAULT N'x')");
  EXPECT_EQ(tsql_create_index(t, L"PK_T", true, false, true, {L"id"}),
            L"ALTER TABLE [dbo].[T'1] ADD CONSTRAINT [PK_T] PRIMARY KEY CLUSTERED ([id])");
  EXPECT_EQ(tsql_create_index(t, L"ix", false, false, false, {L"a", L"b]"}),
            L"CREATE INDEX [ix] ON [dbo].[T'1] ([a], [b]]])");
  EXPECT_EQ(tsql_sp_tables(L"dbo", L"Sheet_1", L"TABLE"),
            L"EXEC sp_tables @table_name=N'Sheet[_]1', @table_owner=N'dbo', @table_type=N'''TABLE'''");
  EXPECT_EQ(tsql_sp_tables(L"", L"", L""), L"EXEC sp_tables");
  EXPECT_EQ(tsql_sp_pkeys(L"", L"O'x"), L"EXEC sp_pkeys @table_name=N'O''x'");
  EXPECT_EQ(tsql_sp_fkeys(L"dbo", L"t", L"", L""), L"EXEC sp_fkeys @pktable_name=N't', @pktable_owner=N'dbo'");
}

TEST(TdsServerAddress, DataSourcesAsDbLibNamesThem) {
  std::string s;
  ASSERT_TRUE(tds_server_address(L"db.example.com,1434", s));
  EXPECT_EQ(s, "db.example.com:1434");
  ASSERT_TRUE(tds_server_address(L"host\\SQLEXPRESS", s));
  EXPECT_EQ(s, "host\\SQLEXPRESS");
  for (const wchar_t* local : {L"", L"(local)", L".", L"(LOCAL)", L"  "}) {
    ASSERT_TRUE(tds_server_address(local, s));
    EXPECT_EQ(s, "localhost");
  }
  ASSERT_TRUE(tds_server_address(L".\\inst", s));
  EXPECT_EQ(s, "localhost\\inst");
  ASSERT_TRUE(tds_server_address(L"tcp:10.0.0.1, 1433", s));
  EXPECT_EQ(s, "10.0.0.1:1433");
  for (const wchar_t* bad : {L"h,", L"h,0", L"h,65536", L"h,12x", L"h,-1"}) EXPECT_FALSE(tds_server_address(bad, s));
}

}  // namespace

namespace {

// ORV_MSS_LOCK_TIMEOUT: whole seconds, or the default wait for anything else.
TEST(TdsSettings, TheLockWaitIsWholeSecondsOrTheDefault) {
  const struct {
    const char* value;
    long ms;
  } cases[] = {{nullptr, 600000}, {"2", 2000},   {" 30 ", 30000}, {"0", 0},         {"2.5", 600000},
               {"-1", 600000},    {"1e3", 600000}, {"", 600000},   {"2147484", 600000}, {"2147483", 2147483000}};
  for (const auto& c : cases) {
    if (c.value)
      ::setenv("ORV_MSS_LOCK_TIMEOUT", c.value, 1);
    else
      ::unsetenv("ORV_MSS_LOCK_TIMEOUT");
    EXPECT_EQ(tds_lock_timeout_ms(), c.ms) << (c.value ? c.value : "(not set)");
  }
  ::unsetenv("ORV_MSS_LOCK_TIMEOUT");
}

}  // namespace
