// The catalog: keys, indexes, foreign keys, ALTER TABLE, identities, UPDATE,
// the catalog procedures with their LIKE patterns, sp_executesql by RPC, and
// attention.
#include <algorithm>
#include <chrono>

#include "tests/support/tds_server/tests/tds_server_env.h"

using tds_test::has_message;

namespace {

int last_error() {
  for (const auto& m : tds_test::messages()) {
    if (m.number < 20000 && m.severity > 10) return m.number;
  }
  return 0;
}

// Column `name` of every row of a result.
std::vector<std::string> column(const tds_test::result& r, const std::string& name) {
  std::vector<std::string> out;
  std::size_t k = 0;
  while (k < r.columns.size() && r.columns[k] != name) ++k;
  for (const auto& row : r.rows) out.push_back(k < row.size() ? row[k] : "?");
  return out;
}

}  // namespace

TEST_F(tds_server_test, keys_indexes_and_foreign_keys) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE parent (id int NOT NULL, code nvarchar(5) NOT NULL, CONSTRAINT [pk parent] PRIMARY KEY CLUSTERED (id))"));
  ASSERT_TRUE(c->exec("CREATE TABLE child (id int IDENTITY(5,5), pid int NULL, name nvarchar(10) DEFAULT N'none')"));
  ASSERT_TRUE(c->exec("ALTER TABLE [child] ADD CONSTRAINT [fk child] FOREIGN KEY ([pid]) REFERENCES [parent]([id]) ON DELETE CASCADE ON UPDATE NO ACTION"));
  ASSERT_TRUE(c->exec("CREATE UNIQUE INDEX [ux code] ON parent (code)"));
  ASSERT_TRUE(c->exec("CREATE INDEX ix_name ON child (name DESC)"));
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("CREATE INDEX ix_name ON child (pid)"));
  EXPECT_EQ(last_error(), 1913);
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("INSERT INTO child (pid) VALUES (1)"));
  EXPECT_EQ(last_error(), 547);
  ASSERT_TRUE(c->exec("INSERT INTO parent VALUES (1, N'a')"));
  ASSERT_TRUE(c->exec("INSERT INTO child (pid) VALUES (1), (NULL)"));
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("INSERT INTO parent VALUES (2, N'A ')"));  // the collation ignores case and trailing blanks
  EXPECT_EQ(last_error(), 2601);

  const auto rows = srv().rows("t", "child");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(tds::cell_int(rows[0][0]), 5);
  EXPECT_EQ(tds::cell_int(rows[1][0]), 10);
  EXPECT_EQ(tds::cell_utf8(srv().columns("t", "child")[2].type, rows[0][2]), "none");
  EXPECT_EQ(c->rows("SELECT @@IDENTITY").at(0).at(0), "10");

  const auto ix = srv().indexes("t", "parent");
  ASSERT_EQ(ix.size(), 2u);
  EXPECT_EQ(ix[0].name, "pk parent");
  EXPECT_TRUE(ix[0].primary && ix[0].clustered && ix[0].unique);
  EXPECT_EQ(ix[1].name, "ux code");
  const auto fks = srv().foreign_keys("t", "child");
  ASSERT_EQ(fks.size(), 1u);
  EXPECT_EQ(fks[0].name, "fk child");
  EXPECT_EQ(fks[0].ref_table, "parent");
  EXPECT_EQ(fks[0].on_delete, "CASCADE");

  // The catalog procedures.
  std::vector<tds_test::result> r;
  ASSERT_TRUE(c->exec("EXEC sp_pkeys @table_name = N'parent'", &r));
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(column(r[0], "COLUMN_NAME"), std::vector<std::string>{"id"});
  EXPECT_EQ(column(r[0], "PK_NAME"), std::vector<std::string>{"pk parent"});
  r.clear();
  ASSERT_TRUE(c->exec("EXEC sp_statistics @table_name = N'parent'", &r));
  EXPECT_EQ(column(r.at(0), "INDEX_NAME"), (std::vector<std::string>{"NULL", "pk parent", "ux code"}));
  EXPECT_EQ(column(r.at(0), "TYPE"), (std::vector<std::string>{"0", "1", "3"}));
  r.clear();
  ASSERT_TRUE(c->exec("EXEC sp_fkeys @pktable_name = N'parent'", &r));
  EXPECT_EQ(column(r.at(0), "FK_NAME"), std::vector<std::string>{"fk child"});
  EXPECT_EQ(column(r.at(0), "FKCOLUMN_NAME"), std::vector<std::string>{"pid"});
  EXPECT_EQ(column(r.at(0), "DELETE_RULE"), std::vector<std::string>{"0"});
  r.clear();
  ASSERT_TRUE(c->exec("EXEC sp_columns @table_name = N'child'", &r));
  EXPECT_EQ(column(r.at(0), "TYPE_NAME"), (std::vector<std::string>{"int identity", "int", "nvarchar"}));
  EXPECT_EQ(column(r.at(0), "COLUMN_DEF"), (std::vector<std::string>{"NULL", "NULL", "(N'none')"}));
  EXPECT_EQ(column(r.at(0), "LENGTH"), (std::vector<std::string>{"4", "4", "20"}));
  EXPECT_EQ(column(r.at(0), "NULLABLE"), (std::vector<std::string>{"0", "1", "1"}));

  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("DROP TABLE parent"));
  EXPECT_EQ(last_error(), 3726);
}

TEST_F(tds_server_test, catalog_procedures_treat_names_as_like_patterns) {
  auto c = fresh();
  for (const char* t : {"Sheet_1", "SheetX1", "Sheet%1", "Sheet[1", "other"}) {
    ASSERT_TRUE(c->exec(std::string("CREATE TABLE [") + t + "] (a int)"));
  }
  auto names = [&](const std::string& pattern) {
    std::vector<tds_test::result> r;
    EXPECT_TRUE(c->exec("EXEC sp_tables @table_name = N'" + pattern + "', @table_owner = N'dbo'", &r));
    auto found = r.empty() ? std::vector<std::string>{} : column(r[0], "TABLE_NAME");
    std::sort(found.begin(), found.end());
    return found;
  };
  // A client that forgets to escape gets other tables' rows, as from SQL Server.
  EXPECT_EQ(names("Sheet_1"), (std::vector<std::string>{"Sheet%1", "SheetX1", "Sheet[1", "Sheet_1"}));
  EXPECT_EQ(names("Sheet[_]1"), std::vector<std::string>{"Sheet_1"});
  EXPECT_EQ(names("Sheet[%]1"), std::vector<std::string>{"Sheet%1"});
  EXPECT_EQ(names("Sheet[[]1"), std::vector<std::string>{"Sheet[1"});
  EXPECT_EQ(names("sheet%"), (std::vector<std::string>{"Sheet%1", "SheetX1", "Sheet[1", "Sheet_1"}));
  std::vector<tds_test::result> r;
  ASSERT_TRUE(c->exec("EXEC sp_columns @table_name = N'Sheet[_]1', @table_owner = N'dbo'", &r));
  EXPECT_EQ(r.at(0).rows.size(), 1u);
}

TEST_F(tds_server_test, alter_update_and_identity_insert) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE [a]]b] ([id] int IDENTITY(1,1) NOT NULL, [v] nvarchar(5) NULL, [n] int NULL)"));
  ASSERT_TRUE(c->exec("INSERT INTO [a]]b] (v, n) VALUES (N'x', 1), (N'y', 2)"));
  ASSERT_TRUE(c->exec("ALTER TABLE [a]]b] ALTER COLUMN [v] nvarchar(max) NULL"));
  EXPECT_EQ(srv().columns("t", "a]b")[1].type.length, -1);
  ASSERT_TRUE(c->exec("UPDATE [a]]b] SET [v] = N'changed' WHERE [n] = 2"));
  EXPECT_EQ(c->rows("SELECT v FROM [a]]b] WHERE n = 2").at(0).at(0), "changed");
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("INSERT INTO [a]]b] (id, v) VALUES (7, N'z')"));
  EXPECT_EQ(last_error(), 544);
  ASSERT_TRUE(c->exec("SET IDENTITY_INSERT [a]]b] ON; INSERT INTO [a]]b] (id, v) VALUES (7, N'z'); SET IDENTITY_INSERT [a]]b] OFF"));
  ASSERT_TRUE(c->exec("INSERT INTO [a]]b] (v) VALUES (N'w')"));
  const auto rows = srv().rows("t", "a]b");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(tds::cell_int(rows[2][0]), 7);
  EXPECT_EQ(tds::cell_int(rows[3][0]), 8);
  // A second table's IDENTITY_INSERT while the first is on: 8107.
  ASSERT_TRUE(c->exec("CREATE TABLE i2 (id int IDENTITY, v int)"));
  ASSERT_TRUE(c->exec("SET IDENTITY_INSERT [a]]b] ON"));
  tds_test::clear_messages();
  EXPECT_FALSE(c->exec("SET IDENTITY_INSERT i2 ON"));
  EXPECT_EQ(last_error(), 8107);
  ASSERT_TRUE(c->exec("SET IDENTITY_INSERT [a]]b] OFF; SET IDENTITY_INSERT i2 ON"));
  // A statement with CONVERT and CAST of literals as our client writes them.
  ASSERT_TRUE(c->exec("CREATE TABLE cv (d datetime, n numeric(10,3), s nvarchar(10))"));
  ASSERT_TRUE(c->exec("INSERT INTO cv VALUES (CONVERT(datetime, '2001-02-03 04:05:06.007', 121), CAST('12.3456' AS numeric(10,3)), CONVERT(nvarchar(10), 42))"));
  const auto cv = srv().rows("t", "cv");
  const auto cols = srv().columns("t", "cv");
  EXPECT_EQ(tds::cell_text(cols[0].type, cv[0][0]), "2001-02-03 04:05:06.007");
  EXPECT_EQ(tds::cell_text(cols[1].type, cv[0][1]), "12.346");
  EXPECT_EQ(tds::cell_text(cols[2].type, cv[0][2]), "42");
}

TEST_F(tds_server_test, sp_executesql_by_rpc_with_typed_parameters) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE p (a int, b nvarchar(20))"));
  DBPROCESS* p = c->proc();
  const std::string stmt = "INSERT INTO p VALUES (@a, @b); SELECT b FROM p WHERE a = @a";
  const std::string decl = "@a int, @b nvarchar(20)";
  DBINT a = 42;
  const std::string b = "forty-two \xE2\x82\xAC";
  ASSERT_EQ(dbrpcinit(p, "sp_executesql", 0), SUCCEED);
  ASSERT_EQ(dbrpcparam(p, nullptr, 0, SYBVARCHAR, -1, static_cast<DBINT>(stmt.size()), reinterpret_cast<BYTE*>(const_cast<char*>(stmt.data()))), SUCCEED);
  ASSERT_EQ(dbrpcparam(p, nullptr, 0, SYBVARCHAR, -1, static_cast<DBINT>(decl.size()), reinterpret_cast<BYTE*>(const_cast<char*>(decl.data()))), SUCCEED);
  ASSERT_EQ(dbrpcparam(p, const_cast<char*>("@a"), 0, SYBINT4, -1, -1, reinterpret_cast<BYTE*>(&a)), SUCCEED);
  ASSERT_EQ(dbrpcparam(p, const_cast<char*>("@b"), 0, SYBVARCHAR, -1, static_cast<DBINT>(b.size()), reinterpret_cast<BYTE*>(const_cast<char*>(b.data()))), SUCCEED);
  ASSERT_EQ(dbrpcsend(p), SUCCEED);
  ASSERT_EQ(dbsqlok(p), SUCCEED);
  std::string got;
  RETCODE rc;
  while ((rc = dbresults(p)) != NO_MORE_RESULTS && rc != FAIL) {
    while (dbnextrow(p) != NO_MORE_ROWS) {
      got.assign(reinterpret_cast<const char*>(dbdata(p, 1)), static_cast<std::size_t>(dbdatlen(p, 1)));
    }
  }
  EXPECT_EQ(got, b);
  const auto rows = srv().rows("t", "p");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(tds::cell_int(rows[0][0]), 42);
  EXPECT_EQ(tds::cell_utf8(srv().columns("t", "p")[1].type, rows[0][1]), b);
  // The connection goes on.
  EXPECT_EQ(c->rows("SELECT COUNT(*) FROM p").at(0).at(0), "1");
}

TEST_F(tds_server_test, attention_cuts_a_slow_answer_short) {
  auto c = fresh();
  EXPECT_EQ(c->rows("SELECT 0").at(0).at(0), "0");  // db-lib's pending options go out first
  srv().set_slow_answer(5000);
  DBPROCESS* p = c->proc();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(dbcmd(p, "SELECT 1"), SUCCEED);
  ASSERT_EQ(dbsqlsend(p), SUCCEED);
  EXPECT_EQ(dbcancel(p), SUCCEED);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_LT(waited, std::chrono::seconds(4));
  srv().set_slow_answer(0);
  EXPECT_EQ(c->rows("SELECT 2").at(0).at(0), "2");
}

TEST_F(tds_server_test, several_connections_at_once) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE m (v int)"));
  std::vector<std::thread> threads;
  for (int k = 0; k < 6; ++k) {
    threads.emplace_back([this, k] {
      tds_test::connection own("127.0.0.1", srv().port(), "sa", "orv-Test-1", "t");
      for (int i = 0; i < 50; ++i) own.exec("INSERT INTO m VALUES (" + std::to_string(k * 100 + i) + ")");
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(srv().row_count("t", "m"), 300u);
}
