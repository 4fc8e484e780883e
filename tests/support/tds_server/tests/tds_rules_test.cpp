// SQL Server's rules where our client's outcome depends on them: blank text
// into typed columns, ALTER COLUMN on key and index columns, limits and names,
// truncation by version, and QUOTED_IDENTIFIER by login kind with filtered
// indexes. Each error with SQL Server's number, class, state and text.
#include "tests/support/tds_server/tests/tds_errors.h"
#include "tests/support/tds_server/tests/tds_server_env.h"

namespace {

using tds_test::error;
using tds_test::errors;
using tds_test::run;

std::string tsql(uint16_t port, const std::string& script) {
  return tds_test::command_output("printf '" + script + "' | TDSVER=7.4 tsql -H 127.0.0.1 -p " + std::to_string(port) +
                                  " -U sa -P orv-Test-1 -D t");
}

}  // namespace

TEST_F(tds_server_test, blank_text_converts_as_sql_server_converts_it) {
  auto c = fresh();
  struct {
    const char* type;
    const char* stored;  // nullptr: refused with `refusal`
    error refusal;
  } cases[] = {
      {"int", "0", {}}, {"bigint", "0", {}}, {"smallint", "0", {}}, {"tinyint", "0", {}}, {"bit", "0", {}},
      {"float", "0", {}}, {"real", "0", {}}, {"money", "0.0000", {}}, {"smallmoney", "0.0000", {}},
      {"datetime", "1900-01-01 00:00:00.000", {}}, {"smalldatetime", "1900-01-01 00:00:00", {}},
      {"date", "1900-01-01", {}}, {"datetime2(7)", "1900-01-01 00:00:00.0000000", {}}, {"time(7)", "00:00:00.0000000", {}},
      {"decimal(5,2)", nullptr, {8114, 16, 1, "Error converting data type varchar to numeric."}},
      {"uniqueidentifier", nullptr, {8169, 16, 1, "Conversion failed when converting from a character string to uniqueidentifier."}},
  };
  // One rule for INSERT, UPDATE and CONVERT, for '' and for blanks only.
  const char* writes[] = {"INSERT INTO b VALUES ('')", "UPDATE b SET v = '   '", "INSERT INTO b VALUES (CONVERT(varchar(3), ' '))"};
  for (const auto& k : cases) {
    ASSERT_TRUE(c->exec(std::string("DROP TABLE IF EXISTS b; CREATE TABLE b (v ") + k.type + ")"));
    ASSERT_TRUE(c->exec("INSERT INTO b VALUES (NULL)"));
    for (const char* w : writes) {
      if (k.stored) {
        EXPECT_EQ(run(*c, w), std::vector<error>{}) << k.type << ": " << w;
      } else {
        EXPECT_EQ(run(*c, w), std::vector<error>{k.refusal}) << k.type << ": " << w;
      }
    }
    const auto col = srv().columns("t", "b").at(0);
    for (const auto& r : srv().rows("t", "b")) {
      EXPECT_EQ(tds::cell_text(col.type, r.at(0)), k.stored ? k.stored : "NULL") << k.type;
    }
    EXPECT_EQ(srv().row_count("t", "b"), k.stored ? 3u : 1u) << k.type;
  }
}

TEST_F(tds_server_test, alter_column_keeps_key_and_index_columns_as_sql_server_does) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE p (id int CONSTRAINT PK_p PRIMARY KEY, code varchar(10) CONSTRAINT UQ_p_code UNIQUE, "
                      "name nvarchar(20), n int, bin varbinary(8), memo nvarchar(100))"));
  ASSERT_TRUE(c->exec("CREATE INDEX ix_name ON p (name); CREATE INDEX ix_n ON p (n); CREATE INDEX ix_bin ON p (bin)"));
  ASSERT_TRUE(c->exec("CREATE TABLE c (id int, pid int CONSTRAINT FK_c_p REFERENCES p (id))"));
  auto on = [](const std::string& object, const std::string& column, bool index = false) {
    return error{5074, 16, 1, std::string(index ? "The index '" : "The object '") + object + "' is dependent on column '" + column + "'."};
  };
  auto failed = [](const std::string& column) {
    return error{4922, 16, 9, "ALTER TABLE ALTER COLUMN " + column + " failed because one or more objects access this column."};
  };
  const error not_a_key_type{1919, 16, 1, "Column 'memo' in table 'p' is of a type that is invalid for use as a key column in an index."};
  const error see_previous{1750, 16, 0, "Could not create constraint or index. See previous errors."};
  struct {
    const char* sql;
    std::vector<error> errors;
  } cases[] = {
      {"ALTER TABLE p ALTER COLUMN id bigint NOT NULL", {on("PK_p", "id"), on("FK_c_p", "id"), failed("id")}},
      {"ALTER TABLE p ALTER COLUMN id int NOT NULL", {on("PK_p", "id"), on("FK_c_p", "id"), failed("id")}},
      {"ALTER TABLE c ALTER COLUMN pid bigint", {on("FK_c_p", "pid"), failed("pid")}},
      {"ALTER TABLE p ALTER COLUMN name nvarchar(max)", {on("ix_name", "name", true), failed("name")}},
      {"ALTER TABLE p ALTER COLUMN name varchar(40)", {on("ix_name", "name", true), failed("name")}},
      {"ALTER TABLE p ALTER COLUMN name nvarchar(10)", {on("ix_name", "name", true), failed("name")}},
      {"ALTER TABLE p ALTER COLUMN code varchar(max)", {on("UQ_p_code", "code"), failed("code")}},
      {"ALTER TABLE p ALTER COLUMN n bigint", {on("ix_n", "n", true), failed("n")}},
      {"ALTER TABLE p ALTER COLUMN bin varbinary(max)", {on("ix_bin", "bin", true), failed("bin")}},
      // Widening varchar, nvarchar and varbinary within their sizes goes through.
      {"ALTER TABLE p ALTER COLUMN name nvarchar(40) NULL", {}},
      {"ALTER TABLE p ALTER COLUMN code varchar(30)", {}},
      {"ALTER TABLE p ALTER COLUMN bin varbinary(16)", {}},
      {"ALTER TABLE p ALTER COLUMN memo nvarchar(max)", {}},
      // A (max) or LOB column is no index key.
      {"CREATE INDEX ix_memo ON p (memo)", {not_a_key_type}},
      {"ALTER TABLE p ADD CONSTRAINT UQ_memo UNIQUE (memo)", {not_a_key_type, see_previous}},
      {"CREATE TABLE lob (t ntext PRIMARY KEY)",
       {{1919, 16, 1, "Column 't' in table 'lob' is of a type that is invalid for use as a key column in an index."}, see_previous}},
  };
  for (const auto& k : cases) EXPECT_EQ(run(*c, k.sql), k.errors) << k.sql;
  std::vector<std::string> types;
  for (const auto& col : srv().columns("t", "p")) types.push_back(tds::type_name(col.type));
  EXPECT_EQ(types, (std::vector<std::string>{"int", "varchar(30)", "nvarchar(40)", "int", "varbinary(16)", "nvarchar(max)"}));
  EXPECT_EQ(tds::type_name(srv().columns("t", "c").at(1).type), "int");
  EXPECT_EQ(srv().indexes("t", "p").size(), 5u);
  EXPECT_FALSE(srv().has_table("t", "lob"));
}

TEST_F(tds_server_test, limits_and_names_within_a_schema) {
  auto c = fresh();
  auto columns = [](int n) {
    std::string s;
    for (int i = 1; i <= n; ++i) s += (i > 1 ? ", c" : "c") + std::to_string(i) + " int";
    return s;
  };
  const std::string name128(128, 'n');
  ASSERT_TRUE(c->exec("CREATE TABLE full_width (" + columns(1024) + ")"));
  ASSERT_TRUE(c->exec("CREATE TABLE [" + name128 + "] (id int CONSTRAINT PK_t PRIMARY KEY)"));
  ASSERT_TRUE(c->exec("CREATE SCHEMA other"));
  ASSERT_TRUE(c->exec("CREATE TABLE other.elsewhere (id int CONSTRAINT PK_t PRIMARY KEY)"));  // another schema
  const error exists_constraint{2714, 16, 5, "There is already an object named 'PK_t' in the database."};
  const error see_previous{1750, 16, 0, "Could not create constraint or index. See previous errors."};
  struct {
    std::string sql;
    std::vector<error> errors;
  } cases[] = {
      {"CREATE TABLE too_wide (" + columns(1025) + ")",
       {{1702, 16, 1, "CREATE TABLE failed because column 'c1025' in table 'too_wide' exceeds the maximum of 1024 columns."}}},
      {"ALTER TABLE full_width ADD c1025 int",
       {{1702, 16, 1, "CREATE TABLE failed because column 'c1025' in table 'full_width' exceeds the maximum of 1024 columns."}}},
      {"CREATE TABLE [" + name128 + "x] (id int)",
       {{103, 15, 4, "The identifier that starts with '" + name128 + "' is too long. Maximum length is 128."}}},
      {"CREATE TABLE PK_t (id int)", {{2714, 16, 6, "There is already an object named 'PK_t' in the database."}}},
      {"CREATE TABLE k (id int CONSTRAINT PK_t PRIMARY KEY)", {exists_constraint, see_previous}},
      {"CREATE TABLE k (id int CONSTRAINT k PRIMARY KEY)",
       {{2714, 16, 5, "There is already an object named 'k' in the database."}, see_previous}},
      {"ALTER TABLE full_width ADD CONSTRAINT [" + name128 + "] UNIQUE (c1)",
       {{2714, 16, 5, "There is already an object named '" + name128 + "' in the database."}, see_previous}},
      {"ALTER TABLE full_width ADD CONSTRAINT PK_t FOREIGN KEY (c1) REFERENCES [" + name128 + "] (id)",
       {exists_constraint, see_previous}},
  };
  for (const auto& k : cases) EXPECT_EQ(run(*c, k.sql), k.errors) << k.sql.substr(0, 80);
  EXPECT_FALSE(srv().has_table("t", "too_wide"));
  EXPECT_FALSE(srv().has_table("t", "k"));
  EXPECT_EQ(srv().columns("t", "full_width").size(), 1024u);
  EXPECT_TRUE(srv().indexes("t", "full_width").empty());
  EXPECT_TRUE(srv().foreign_keys("t", "full_width").empty());
}

TEST_F(tds_server_test, truncation_is_reported_as_the_servers_version_reports_it) {
  struct {
    const char* version;
    error insert, update;
  } cases[] = {
      {tds::version_2012, {8152, 16, 1, "String or binary data would be truncated."}, {8152, 16, 1, "String or binary data would be truncated."}},
      {tds::version_2019,
       {2628, 16, 1, "String or binary data would be truncated in table 't.dbo.s', column 'v'. Truncated value: 'caf\xC3\xA9'."},
       {2628, 16, 1, "String or binary data would be truncated in table 't.dbo.s', column 'n'. Truncated value: 'ab'."}},
      {tds::version_2022,
       {2628, 16, 1, "String or binary data would be truncated in table 't.dbo.s', column 'v'. Truncated value: 'caf\xC3\xA9'."},
       {2628, 16, 1, "String or binary data would be truncated in table 't.dbo.s', column 'n'. Truncated value: 'ab'."}},
  };
  for (const auto& k : cases) {
    srv().set_version(k.version);
    auto c = fresh();
    ASSERT_TRUE(c->exec("DROP TABLE IF EXISTS s; CREATE TABLE s (v varchar(4), n nchar(2)); INSERT INTO s VALUES ('a', N'b')"));
    EXPECT_EQ(run(*c, "INSERT INTO s (v) VALUES ('caf\xC3\xA9s')"), std::vector<error>{k.insert});
    EXPECT_TRUE(tds_test::has_message(3621));
    EXPECT_EQ(run(*c, "UPDATE s SET n = N'abc'"), std::vector<error>{k.update});
    EXPECT_EQ(srv().row_count("t", "s"), 1u);
    // CONVERT and CAST cut without an error.
    EXPECT_EQ(c->rows("SELECT CONVERT(varchar(3), 'abcdef'), CAST(N'abcdef' AS nchar(2))").at(0),
              (std::vector<std::string>{"abc", "ab"}));
  }
}

// Several rows after VALUES are a syntax error before SQL Server 2008.
TEST_F(tds_server_test, rows_after_values_by_the_servers_version) {
  const struct {
    const char* version;
    std::vector<error> errors;
    std::size_t rows;
  } cases[] = {{tds::version_2000, {{102, 15, 1, "Incorrect syntax near ','."}}, 0},
               {tds::version_2005, {{102, 15, 1, "Incorrect syntax near ','."}}, 0},
               {tds::version_2008, {}, 2}};
  for (const auto& k : cases) {
    srv().set_version(k.version);
    auto c = fresh();
    ASSERT_TRUE(c->exec("CREATE TABLE r (a int)"));
    EXPECT_EQ(run(*c, "INSERT INTO r VALUES (1), (2)"), k.errors) << k.version;
    EXPECT_EQ(srv().row_count("t", "r"), k.rows) << k.version;
    ASSERT_TRUE(c->exec("DROP TABLE r"));
  }
}

TEST_F(tds_server_test, quoted_identifier_by_login_kind_and_filtered_indexes) {
  auto c = fresh();  // DB-Library: no ODBC flag in its login, so QUOTED_IDENTIFIER starts OFF
  ASSERT_TRUE(c->exec("CREATE TABLE f (id int, v int)"));
  auto incorrect = [](const std::string& statement) {
    return error{1934, 16, 1, statement + " failed because the following SET options have incorrect settings: 'QUOTED_IDENTIFIER'. "
                              "Verify that SET options are correct for use with indexed views and/or indexes on computed columns "
                              "and/or filtered indexes and/or query notifications and/or XML data type methods and/or spatial "
                              "index operations."};
  };
  EXPECT_EQ(c->rows("SELECT \"x\"").at(0).at(0), "x");  // a string while OFF
  EXPECT_EQ(run(*c, "CREATE UNIQUE NONCLUSTERED INDEX ux_v ON f (v) WHERE v IS NOT NULL AND v > 0"),
            std::vector<error>{incorrect("CREATE INDEX")});
  ASSERT_TRUE(c->exec("SET QUOTED_IDENTIFIER ON; CREATE UNIQUE NONCLUSTERED INDEX ux_v ON f (v) WHERE v IS NOT NULL AND v > 0; "
                      "SET QUOTED_IDENTIFIER OFF"));
  EXPECT_EQ(srv().indexes("t", "f").at(0).filter, "v IS NOT NULL AND v > 0");
  struct {
    const char* sql;
    const char* statement;
  } writes[] = {{"INSERT INTO f VALUES (1, 1)", "INSERT"}, {"UPDATE f SET v = 2", "UPDATE"}, {"DELETE FROM f", "DELETE"}};
  for (const auto& w : writes) {
    EXPECT_EQ(run(*c, w.sql), std::vector<error>{incorrect(w.statement)}) << w.sql;
    EXPECT_EQ(run(*c, std::string("SET QUOTED_IDENTIFIER ON; ") + w.sql + "; SET QUOTED_IDENTIFIER OFF"), std::vector<error>{}) << w.sql;
  }
  // tsql logs in with the ODBC flag: QUOTED_IDENTIFIER starts ON.
  const std::string out = tsql(srv().port(), "INSERT INTO f VALUES (3, 3)\\ngo\\n");
  EXPECT_EQ(out.find("1934"), std::string::npos) << out;
  EXPECT_EQ(srv().row_count("t", "f"), 1u);
}

// DEFAULT and CHECK constraints, named or named as SQL Server names them, as
// dependents of ALTER COLUMN: a DEFAULT lets a column's length, precision or
// scale change but not its type, a CHECK only the length of a variable-length
// type; a new collation is refused by a CHECK.
TEST_F(tds_server_test, defaults_and_checks_keep_alter_column_from_changing_their_columns) {
  auto c = fresh();
  ASSERT_TRUE(c->exec("CREATE TABLE dc (id int, a int CONSTRAINT DF_a DEFAULT 0, b varchar(10) DEFAULT 'x', c decimal(5,2) DEFAULT 1.5, "
                      "d nvarchar(10) CONSTRAINT CK_d CHECK (d <> N''), e int CHECK (e > 0), f varchar(10), g int, "
                      "CONSTRAINT CK_fg CHECK (f <> 'z' AND g > 1))"));
  ASSERT_TRUE(c->exec("ALTER TABLE dc ADD CONSTRAINT DF_f DEFAULT 'y' FOR f; ALTER TABLE dc ADD DEFAULT 7 FOR g"));
  const auto cols = srv().columns("t", "dc");
  const std::string df_b = cols[2].default_name, df_g = cols[7].default_name;
  EXPECT_EQ(df_b.substr(0, 11), "DF__dc__b__");
  EXPECT_EQ(df_g.substr(0, 11), "DF__dc__g__");
  const auto checks = srv().checks("t", "dc");
  ASSERT_EQ(checks.size(), 3u);
  const std::string ck_e = checks[1].name;
  EXPECT_EQ(ck_e.substr(0, 11), "CK__dc__e__");
  EXPECT_EQ(checks[2].text, "(f <> 'z' AND g > 1)");
  EXPECT_EQ(checks[2].columns, (std::vector<std::string>{"f", "g"}));
  auto on = [](const std::string& object, const std::string& column) {
    return error{5074, 16, 1, "The object '" + object + "' is dependent on column '" + column + "'."};
  };
  auto failed = [](const std::string& column) {
    return error{4922, 16, 9, "ALTER TABLE ALTER COLUMN " + column + " failed because one or more objects access this column."};
  };
  const error see_previous{1750, 16, 0, "Could not create constraint or index. See previous errors."};
  struct {
    std::string sql;
    std::vector<error> errors;
  } cases[] = {
      {"ALTER TABLE dc ALTER COLUMN a bigint", {on("DF_a", "a"), failed("a")}},
      {"ALTER TABLE dc ALTER COLUMN a int NOT NULL", {}},
      {"ALTER TABLE dc ALTER COLUMN b varchar(20)", {}},
      {"ALTER TABLE dc ALTER COLUMN b varchar(max)", {}},
      {"ALTER TABLE dc ALTER COLUMN b nvarchar(10)", {on(df_b, "b"), failed("b")}},
      {"ALTER TABLE dc ALTER COLUMN c decimal(10,2)", {}},
      {"ALTER TABLE dc ALTER COLUMN c float", {on(cols[3].default_name, "c"), failed("c")}},
      {"ALTER TABLE dc ALTER COLUMN d nvarchar(20)", {}},
      {"ALTER TABLE dc ALTER COLUMN d nvarchar(max)", {}},
      {"ALTER TABLE dc ALTER COLUMN d nchar(10)", {on("CK_d", "d"), failed("d")}},
      {"ALTER TABLE dc ALTER COLUMN e bigint", {on(ck_e, "e"), failed("e")}},
      {"ALTER TABLE dc ALTER COLUMN f varchar(5)", {}},
      {"ALTER TABLE dc ALTER COLUMN f varchar(5) COLLATE Greek_CI_AS", {on("CK_fg", "f"), failed("f")}},
      {"ALTER TABLE dc ALTER COLUMN g bigint", {on(df_g, "g"), on("CK_fg", "g"), failed("g")}},
      {"ALTER TABLE dc ADD DEFAULT 1 FOR a", {{1781, 16, 1, "Column already has a DEFAULT bound to it."}, see_previous}},
      {"ALTER TABLE dc ADD DEFAULT 1 FOR nothere",
       {{1752, 16, 1, "Column 'nothere' in table 'dc' is invalid for creating a default constraint."}, see_previous}},
      {"ALTER TABLE dc ADD CONSTRAINT CK_d CHECK (id > 0)",
       {{2714, 16, 5, "There is already an object named 'CK_d' in the database."}, see_previous}},
  };
  for (const auto& k : cases) EXPECT_EQ(run(*c, k.sql), k.errors) << k.sql;
  // Omitted columns take their defaults, by statement and by bulk copy (NULL takes it too).
  ASSERT_TRUE(c->exec("INSERT INTO dc (id) VALUES (1)"));
  {
    auto b = fresh(true);
    DBPROCESS* p = b->proc();
    ASSERT_EQ(bcp_init(p, "dc", nullptr, nullptr, DB_IN), 1);
    DBINT id = 2;
    ASSERT_EQ(bcp_bind(p, reinterpret_cast<BYTE*>(&id), 0, -1, nullptr, 0, SYBINT4, 1), 1);
    ASSERT_EQ(bcp_sendrow(p), 1);
    EXPECT_EQ(bcp_done(p), 1);
  }
  const auto now = srv().columns("t", "dc");
  for (const auto& r : srv().rows("t", "dc")) {
    std::vector<std::string> got;
    for (std::size_t i = 1; i < r.size(); ++i) got.push_back(tds::cell_text(now[i].type, r[i]));
    EXPECT_EQ(got, (std::vector<std::string>{"0", "x", "1.50", "NULL", "NULL", "y", "7"}));
  }
  ASSERT_TRUE(c->exec("ALTER TABLE dc DROP CONSTRAINT DF_a; ALTER TABLE dc DROP CONSTRAINT CK_fg; ALTER TABLE dc ALTER COLUMN a bigint"));
  EXPECT_EQ(srv().checks("t", "dc").size(), 2u);
}

// The maximum row size: fixed-length columns and the row's overhead within 8,060 bytes.
TEST_F(tds_server_test, a_table_whose_fixed_columns_exceed_the_row_size_cannot_be_made) {
  auto c = fresh();
  std::string floats;
  for (int i = 1; i <= 1010; ++i) floats += (i > 1 ? ", f" : "f") + std::to_string(i) + " float";
  std::string bits;
  for (int i = 1; i <= 16; ++i) bits += ", b" + std::to_string(i) + " bit";
  auto too_wide = [](const std::string& table, int size, int overhead) {
    return error{1701, 16, 1, "Creating or altering table '" + table + "' failed because the minimum row size would be " +
                                  std::to_string(size) + ", including " + std::to_string(overhead) +
                                  " bytes of internal overhead. This exceeds the maximum allowable table row size of 8060 bytes."};
  };
  struct {
    std::string sql;
    std::vector<error> errors;
  } cases[] = {
      {"CREATE TABLE w1 (" + floats + ")", {too_wide("w1", 8213, 133)}},
      {"CREATE TABLE w2 (a char(8000), b char(54))", {too_wide("w2", 8061, 7)}},
      {"CREATE TABLE w3 (a char(8000), b char(53))", {}},
      {"ALTER TABLE w3 ADD c int", {too_wide("w3", 8064, 7)}},
      {"ALTER TABLE w3 ALTER COLUMN b nchar(30)", {too_wide("w3", 8067, 7)}},
      {"CREATE TABLE w4 (a char(4000), b nchar(2000), c varchar(1000), d varbinary(max))", {}},
      {"CREATE TABLE w5 (a char(4000), b char(4045)" + bits + ")", {}},
  };
  for (const auto& k : cases) EXPECT_EQ(run(*c, k.sql), k.errors) << k.sql.substr(0, 60);
  EXPECT_FALSE(srv().has_table("t", "w1"));
  EXPECT_EQ(srv().columns("t", "w3").size(), 2u);
  EXPECT_EQ(tds::type_name(srv().columns("t", "w3")[1].type), "char(53)");
}
