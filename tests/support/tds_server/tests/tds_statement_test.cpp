// Statements through db-lib: the types stored exactly, results read back, and
// SQL Server's error numbers, classes and texts.
#include "tests/support/tds_server/tests/tds_server_env.h"

using tds_test::has_message;

namespace {

std::string utf16le(const std::u16string& s) {
  std::string b;
  for (char16_t c : s) { b.push_back(static_cast<char>(c & 0xFF)); b.push_back(static_cast<char>(c >> 8)); }
  return b;
}

// The first server error of the last statement.
int last_error() {
  for (const auto& m : tds_test::messages()) {
    if (m.number < 20000 && m.severity > 10) return m.number;
  }
  return 0;
}

}  // namespace

TEST_F(tds_server_test, every_type_is_stored_exactly_from_literals_and_read_back) {
  auto c = fresh();
  ASSERT_TRUE(c->exec(
      "CREATE TABLE [all types] (id int IDENTITY(1,1) PRIMARY KEY, ti tinyint, si smallint, i int, bi bigint, b bit, "
      "r real, f float, m money, sm smallmoney, dt datetime, sdt smalldatetime, d date, t time(7), dt2 datetime2(7), "
      "dec decimal(38,10), num numeric(5,2), nv nvarchar(20), nvm nvarchar(max), vc varchar(10), ch char(3), nt ntext, "
      "tx text, vb varbinary(8), vbm varbinary(max), bin binary(2), img image, g uniqueidentifier)"));
  ASSERT_TRUE(c->exec(
      "INSERT INTO [all types] VALUES (255, -32768, -2147483648, 9223372036854775807, 1, 1.5, -2.25e300, "
      "-922337203685477.5808, 214748.3647, '2024-02-29 23:59:59.997', '2079-06-06 12:30', '0001-01-01', "
      "'23:59:59.9999999', '9999-12-31 23:59:59.9999999', -1234567890123456789012345678.0123456789, 123.45, "
      "N'emoji \U0001F600 ok', N'long', 'caf\xC3\xA9', 'ab', N'\xE4\xB8\xAD\xE6\x96\x87', 'plain', 0x00FF10, 0x, 0x01, "
      "0xCAFE, '{6F9619FF-8B86-D011-B42D-00C04FC964FF}')"));
  ASSERT_TRUE(c->exec("INSERT INTO [all types] (nv, vc) VALUES (N'', '')"));
  auto rows = srv().rows("t", "all types");
  ASSERT_EQ(rows.size(), 2u);
  const auto cols = srv().columns("t", "all types");
  auto text = [&](std::size_t i) { return tds::cell_text(cols[i].type, rows[0][i]); };
  EXPECT_EQ(tds::cell_int(rows[0][0]), 1);
  EXPECT_EQ(tds::cell_int(rows[0][1]), 255);
  EXPECT_EQ(tds::cell_int(rows[0][2]), -32768);
  EXPECT_EQ(tds::cell_int(rows[0][3]), -2147483648LL);
  EXPECT_EQ(tds::cell_int(rows[0][4]), INT64_MAX);
  EXPECT_EQ(tds::cell_int(rows[0][5]), 1);
  EXPECT_EQ(tds::cell_double(rows[0][6]), 1.5);
  EXPECT_EQ(tds::cell_double(rows[0][7]), -2.25e300);
  EXPECT_EQ(text(8), "-922337203685477.5808");
  EXPECT_EQ(text(9), "214748.3647");
  int32_t days;
  uint32_t ticks;
  tds::cell_datetime(rows[0][10], days, ticks);
  EXPECT_EQ(days, 45349);  // 2024-02-29
  EXPECT_EQ(ticks, 86400u * 300 - 1);
  EXPECT_EQ(text(10), "2024-02-29 23:59:59.997");
  EXPECT_EQ(text(11), "2079-06-06 12:30:00");
  EXPECT_EQ(text(12), "0001-01-01");
  EXPECT_EQ(text(13), "23:59:59.9999999");
  EXPECT_EQ(text(14), "9999-12-31 23:59:59.9999999");
  EXPECT_EQ(text(15), "-1234567890123456789012345678.0123456789");
  EXPECT_EQ(text(16), "123.45");
  EXPECT_EQ(rows[0][17].bytes, utf16le(u"emoji \U0001F600 ok"));
  EXPECT_EQ(tds::cell_utf8(cols[19].type, rows[0][19]), "caf\xC3\xA9");
  EXPECT_EQ(rows[0][19].bytes, "caf\xE9");  // Windows-1252
  EXPECT_EQ(rows[0][20].bytes, "ab ");       // char(3) padded
  EXPECT_EQ(rows[0][21].bytes, utf16le(u"\u4E2D\u6587"));
  EXPECT_EQ(rows[0][23].bytes, std::string("\x00\xFF\x10", 3));
  EXPECT_FALSE(rows[0][24].null);
  EXPECT_EQ(rows[0][24].bytes, "");
  EXPECT_EQ(text(27), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
  // NULL and the empty string stay apart.
  EXPECT_TRUE(rows[1][1].null);
  EXPECT_FALSE(rows[1][17].null);
  EXPECT_EQ(rows[1][17].bytes, "");
  EXPECT_EQ(rows[1][19].bytes, "");

  // Read back through db-lib.
  auto back = c->rows("SELECT * FROM [all types] WHERE id = 1");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0][17], "emoji \xF0\x9F\x98\x80 ok");
  EXPECT_EQ(back[0][15], "-1234567890123456789012345678.0123456789");
  EXPECT_EQ(back[0][21], "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(back[0][22], "plain");
  EXPECT_EQ(c->rows("SELECT COUNT(*) FROM [all types]").at(0).at(0), "2");
  EXPECT_EQ(c->rows("SELECT COUNT(*) FROM (SELECT * FROM [all types]) as query").at(0).at(0), "2");
  EXPECT_EQ(c->rows("SELECT TOP 1 nv FROM [all types] ORDER BY id DESC").at(0).at(0), "");
}

TEST_F(tds_server_test, long_values_cross_packets_both_ways) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE big (v nvarchar(max), b varbinary(max))"));
  std::string v;
  for (int i = 0; i < 50000; ++i) v += static_cast<char>('a' + i % 26);
  ASSERT_TRUE(c->exec("INSERT INTO big VALUES (N'" + v + "', NULL)"));
  auto rows = srv().rows("t", "big");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].bytes.size(), 100000u);
  EXPECT_EQ(c->rows("SELECT v FROM big").at(0).at(0), v);
}

TEST_F(tds_server_test, errors_carry_sql_server_numbers_classes_and_texts) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE p (id int PRIMARY KEY, s nvarchar(3) NOT NULL, d datetime NULL, n decimal(4,2), u int)"));
  ASSERT_TRUE(c->exec("CREATE UNIQUE INDEX ix_u ON p (u)"));
  struct { const char* sql; int number; const char* text; } cases[] = {
      {"SELEC 1", 102, "Incorrect syntax near 'SELEC'."},
      {"SELECT * FROM nothere", 208, "Invalid object name 'nothere'."},
      {"CREATE TABLE p (a int)", 2714, "There is already an object named 'p' in the database."},
      {"CREATE DATABASE t", 1801, "Database 't' already exists. Choose a different database name."},
      {"CREATE INDEX ix_u ON p (s)", 1913, "The operation failed because an index or statistics with name 'ix_u' already exists on table 'dbo.p'."},
      {"DROP TABLE nothere", 3701, "Cannot drop the table 'nothere', because it does not exist or you do not have permission."},
      {"INSERT INTO p (id, s) VALUES (1, NULL)", 515, "Cannot insert the value NULL into column 's', table 't.dbo.p'; column does not allow nulls. INSERT fails."},
      {"INSERT INTO p (id, s) VALUES (1, N'abcd')", 2628, "String or binary data would be truncated in table 't.dbo.p', column 's'. Truncated value: 'abc'."},
      {"INSERT INTO p (id, s, d) VALUES (1, N'a', 'not a date')", 241, "Conversion failed when converting date and/or time from character string."},
      {"INSERT INTO p (id, s, d) VALUES (1, N'a', '1752-12-31')", 242, "The conversion of a varchar data type to a datetime data type resulted in an out-of-range value."},
      {"INSERT INTO p (id, s, n) VALUES (1, N'a', 123.4)", 8115, "Arithmetic overflow error converting numeric to data type decimal."},
      {"INSERT INTO p (id, s) VALUES ('x', N'a')", 245, "Conversion failed when converting the varchar value 'x' to data type int."},
  };
  for (const auto& k : cases) {
    tds_test::clear_messages();
    EXPECT_FALSE(c->exec(k.sql)) << k.sql;
    EXPECT_EQ(last_error(), k.number) << k.sql;
    bool text_found = false;
    for (const auto& m : tds_test::messages()) text_found = text_found || m.text == k.text;
    EXPECT_TRUE(text_found) << k.sql << ": " << (tds_test::messages().empty() ? "" : tds_test::messages()[0].text);
  }
  ASSERT_TRUE(c->exec("INSERT INTO p (id, s, u) VALUES (1, N'a', 5)"));
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("INSERT INTO p (id, s) VALUES (1, N'b')"));
  EXPECT_EQ(last_error(), 2627);
  EXPECT_TRUE(has_message(3621));
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("INSERT INTO p (id, s, u) VALUES (2, N'b', 5)"));
  EXPECT_EQ(last_error(), 2601);
  EXPECT_EQ(srv().row_count("t", "p"), 1u);
  // A multi-row INSERT with one bad row stores none.
  EXPECT_FALSE(c->exec("INSERT INTO p (id, s) VALUES (3, N'c'), (1, N'd')"));
  EXPECT_EQ(srv().row_count("t", "p"), 1u);
  // A syntax error anywhere runs nothing of the batch.
  EXPECT_FALSE(c->exec("INSERT INTO p (id, s) VALUES (4, N'e') SELEC 1"));
  EXPECT_EQ(srv().row_count("t", "p"), 1u);
  // Drop and recreate a database; USE of a missing one.
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("USE nowhere"));
  EXPECT_EQ(last_error(), 911);
  ASSERT_TRUE(c->exec("CREATE DATABASE [x]]y]"));
  EXPECT_TRUE(srv().has_database("x]y"));
  ASSERT_TRUE(c->exec("DROP DATABASE [x]]y]"));
  EXPECT_FALSE(srv().has_database("x]y"));
}

TEST_F(tds_server_test, statements_as_our_client_writes_them) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE [Sheet1$] ([ID] int IDENTITY(1,1) NOT NULL, [Name] nvarchar(30) NULL, [Note] nvarchar(10) NULL)"));
  // Column information from an empty SELECT.
  std::vector<tds_test::result> r;
  ASSERT_TRUE(c->exec("SELECT TOP 0 * FROM [dbo].[Sheet1$]", &r));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].columns, (std::vector<std::string>{"ID", "Name", "Note"}));
  EXPECT_TRUE(r[0].rows.empty());
  // sp_columns with a bracketed name as its argument.
  r.clear();
  ASSERT_TRUE(c->exec("EXEC sp_columns @table_name=[Sheet1$], @table_owner=[dbo]", &r));
  EXPECT_EQ(r.at(0).rows.size(), 3u);
  // The statement path: QUOTED_IDENTIFIER OFF makes "..." a string.
  ASSERT_TRUE(c->exec("SET QUOTED_IDENTIFIER OFF; SET IDENTITY_INSERT [Sheet1$] ON; "
                      "INSERT INTO [Sheet1$]([ID],[Name],[Note]) VALUES (5,\"say \"\"hi\"\"\",N'it''s')"));
  ASSERT_TRUE(c->exec("SET IDENTITY_INSERT [Sheet1$] OFF; SET QUOTED_IDENTIFIER ON"));
  const auto rows = srv().rows("t", "Sheet1$");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(tds::cell_int(rows[0][0]), 5);
  EXPECT_EQ(tds::cell_utf16(rows[0][1]), u"say \"hi\"");
  EXPECT_EQ(tds::cell_utf16(rows[0][2]), u"it's");
  EXPECT_EQ(c->rows("SELECT COUNT(*) FROM [Sheet1$]").at(0).at(0), "1");
  EXPECT_EQ(c->rows("EXEC sp_executesql N'SELECT Name FROM [Sheet1$] WHERE ID = @i', N'@i int', @i = 5").at(0).at(0), "say \"hi\"");
}
