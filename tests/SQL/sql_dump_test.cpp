// The dump-file writer. New-dialect dumps are loaded into the test server with the
// mariadb client and their rows compared with the values written; old-dialect
// dumps, which today's servers refuse, are compared as text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "SQL/sql_dump.h"
#include "SQL/sql_engi.h"
#include "TK/tk_excep.h"
#include "TK/tk_utils.h"
#include "UDB/udb_rec.h"
#include "sql_test_env.h"
#include "tests/support/test_dir.h"

namespace {

std::string hex_utf8(const std::wstring& text) {
  const std::string bytes = tk_to_utf8(text);
  return tk_bin_to_hex(bytes.data(), bytes.size());
}

t_ftd* column(const std::wstring& name, VARTYPE vt, int size, bool not_null = false, int extra = 0,
              bool auto_increment = false) {
  return new t_ftd(size, name, vt, not_null, auto_increment, ole_variant(), extra);
}

udb_schema make_schema(std::initializer_list<t_ftd*> columns) {
  udb_schema schema(true);
  for (t_ftd* c : columns) schema.push_back(std::unique_ptr<t_ftd>(c));
  return schema;
}

udb_index make_index(const std::wstring& name, bool primary, std::vector<std::wstring> columns) {
  return udb_index{name, primary, primary, std::move(columns)};
}

struct value {
  std::wstring name;
  ole_variant v;
};

std::unique_ptr<udb_record> make_record(const std::vector<value>& values) {
  auto record = std::make_unique<udb_record>();
  for (const value& f : values) record->add_field(std::make_unique<udb_field>(f.name, 0, f.v));
  return record;
}

ole_variant typed(const std::wstring& text, VARTYPE vt) {
  ole_variant v;
  v.from_wstring(text, vt);
  return v;
}

// The session a dump sets up at its head and restores at its end.
const char* const session_head =
    "/*!40101 SET @ORV_OLD_SQL_MODE = @@SQL_MODE, SQL_MODE = 'NO_AUTO_VALUE_ON_ZERO' */;\n"
    "/*!50002 SET SQL_MODE = 'NO_AUTO_VALUE_ON_ZERO,STRICT_TRANS_TABLES,STRICT_ALL_TABLES' */;\n"
    "/*!32315 SET AUTOCOMMIT = 1 */;\n";
const char* const session_tail = "/*!40101 SET SQL_MODE = @ORV_OLD_SQL_MODE */;\n";

size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class SqlDump : public ::testing::Test {
protected:
  // The server dumps are loaded into: the shared test server unless a test
  // starts its own.
  virtual const sql_test_server& server() const { return sql_test_server::get(); }

  void SetUp() override { engine = std::make_unique<sql_engine>(); }
  void TearDown() override {
    for (const std::string& db : created) {
      int status = 0;
      run_client(client("", server()) + " -e " + shell_quote("DROP DATABASE IF EXISTS `" + db + "`"), status);
    }
  }

  std::wstring path(const std::string& file) { return tk_from_utf8((dir / file).string()); }
  std::string text(const std::wstring& file) { return test_dir::read(tk_to_utf8(file)); }

  // A database name of this test case and process (names stop at 64 characters).
  std::string unique_name(const std::string& stem) {
    static int counter = 0;
    return stem + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
  }

  // Loads a dump file into a fresh database (or, without one, as the file says);
  // the client's output when it fails.
  void load(const std::wstring& file, const std::string& database = "") {
    int status = 0;
    if (!database.empty()) {
      created.push_back(database);
      run_client(client("", server()) + " -e " + shell_quote("CREATE DATABASE `" + database + "`"), status);
      ASSERT_EQ(status, 0);
    }
    rows_t out = run_client(client(database, server()) + " < " + shell_quote(tk_to_utf8(file)), status);
    ASSERT_EQ(status, 0) << joined(out);
  }

  rows_t rows(const std::string& database, const std::string& statement) {
    int status = 0;
    rows_t out = run_client(client(database, server()) + " --default-character-set=utf8mb4 -e " +
                                shell_quote(statement),
                            status);
    EXPECT_EQ(status, 0) << joined(out);
    return out;
  }

  test_dir dir;
  std::unique_ptr<sql_engine> engine;
  std::vector<std::string> created;
};

// ---------------------------------------------------------------- layout

TEST_F(SqlDump, DefaultsGiveHeaderThenTableBlockWithWindowsLineBreaks) {
  const std::wstring file = path("defaults.sql");
  dmp_settings settings;
  settings.creator = "Orvell 3.1";
  {
    auto dump = engine->create_dump(file, settings);
    udb_schema schema = make_schema({column(L"id", VT_I4, 4), column(L"name", VT_BSTR, 40)});
    auto table = dump->create_table(L"people", schema, {});
    table->append_record(*make_record({{L"id", 1}, {L"name", L"Ann"}}));
    table.reset();
    dump->close();
  }
  const std::string dumped = text(file);
  std::vector<std::string> lines;
  for (size_t at = 0, next; at < dumped.size(); at = next + 2) {
    next = dumped.find("\r\n", at);
    ASSERT_NE(next, std::string::npos) << "unterminated last line";
    lines.push_back(dumped.substr(at, next - at));
  }
  EXPECT_EQ(count_of(dumped, "\n"), count_of(dumped, "\r\n"));
  ASSERT_GE(lines.size(), 15u);
  EXPECT_EQ(lines[0], "# File name: " + tk_to_utf8(file));
  EXPECT_EQ(lines[1].rfind("# Creation date: ", 0), 0u);
  EXPECT_EQ(lines[1].size(), std::string("# Creation date: 12/31/2026").size());
  EXPECT_EQ(lines[2], "# Created by Orvell 3.1");
  EXPECT_EQ(lines[3], "# " + std::string(50, '-'));
  EXPECT_EQ(lines[4].rfind("# More conversion tools at ", 0), 0u);
  EXPECT_EQ(lines[5], "SET NAMES utf8mb4;");
  EXPECT_EQ(lines[6] + "\n" + lines[7] + "\n" + lines[8] + "\n", session_head);
  const std::vector<std::string> block = {"", "#", "# Table structure for table 'people'", "#", "",
                                          "DROP TABLE IF EXISTS `people`;"};
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 9, lines.begin() + 15), block);
  EXPECT_EQ(lines.back() + "\n", session_tail);
  EXPECT_NE(dumped.find("CREATE TABLE `people` (\r\n  `id` INT,\r\n  `name` VARCHAR(40) CHARACTER "
                        "SET utf8mb4 \r\n) ENGINE=InnoDB;\r\n"),
            std::string::npos)
      << dumped;
  EXPECT_NE(dumped.find("\r\n#\r\n# Dumping data for table 'people'\r\n#\r\n\r\nLOCK TABLES "
                        "`people` WRITE;\r\nINSERT INTO `people`(`id`, `name`) VALUES(1, 'Ann');"
                        "\r\nUNLOCK TABLES;\r\n"),
            std::string::npos)
      << dumped;
  EXPECT_EQ(dumped.find("DATABASE"), std::string::npos);

  ORV_REQUIRE_MYSQL();
  const std::string db = unique_name("orv_dump");
  load(file, db);
  EXPECT_EQ(rows(db, "SELECT id, name FROM people"), rows_t{"1\tAnn"});
}

TEST_F(SqlDump, DatabaseStatementsNeedCreateTableAndTakeASafeName) {
  dmp_settings settings;
  settings.create_database = true;
  settings.create_table = false;
  settings.line_break = 1;
  const std::wstring without_tables = path("plain.sql");
  engine->create_dump(without_tables, settings)->close();
  EXPECT_EQ(text(without_tables).find("DATABASE"), std::string::npos);

  // A name the server takes in back-quotes comes out unchanged; dots and the
  // other characters refused in database names are replaced.
  EXPECT_EQ(dmp_database::database_name(L"/x/my export.sql"), L"my export");
  settings.create_table = true;
  const std::string stem = unique_name("orv.dump 2024");  // orv_dump 2024_<pid>_<n>
  const std::wstring file = path(stem + ".sql");
  {
    auto dump = engine->create_dump(file, settings);
    udb_schema schema = make_schema({column(L"n", VT_I4, 4)});
    dump->create_table(L"t", schema, {})->append_record(*make_record({{L"n", 7}}));
    dump->close();
  }
  std::string db = stem;
  db[3] = '_';
  const std::string dumped = text(file);
  EXPECT_NE(dumped.find("\nDROP DATABASE IF EXISTS `" + db + "`;\nCREATE DATABASE `" + db +
                        "`;\nUSE `" + db + "`;\n"),
            std::string::npos)
      << dumped;
  EXPECT_EQ(dumped.find('\r'), std::string::npos);

  ORV_REQUIRE_MYSQL();
  created.push_back(db);
  load(file);
  EXPECT_EQ(rows(db, "SELECT n FROM t"), rows_t{"7"});
}

TEST_F(SqlDump, OldDialectKeepsTheOldServerRules) {
  const std::wstring file = path("old.sql");
  dmp_settings settings;
  settings.new_version = false;
  settings.line_break = 1;
  {
    auto dump = engine->create_dump(file, settings);
    udb_schema schema = make_schema({column(L"id", VT_I4, 4), column(L"first name", VT_BSTR, 200),
                                     column(L"last", VT_BSTR, 200), column(L"order", VT_BSTR, 10)});
    udb_indexes indexes;
    indexes.push_back(make_index(L"pk", true, {L"id"}));
    indexes.push_back(make_index(L"byname", false, {L"first name", L"last"}));  // 400 > 256
    indexes.push_back(make_index(L"byorder", false, {L"order"}));
    auto table = dump->create_table(L"people", schema, indexes);
    table->append_record(
        *make_record({{L"id", 1}, {L"first name", L"Ann"}, {L"last", L"O'Neil"}, {L"order", L"x"}}));
    table.reset();
    udb_relationships fks;
    udb_relationship fk(L"people", L"people", {L"id"}, {L"id"}, L"");
    fk.name = L"fk_self";
    fks.push_back(fk);
    dump->create_relationships(fks);
    dump->close();
  }
  const std::string dumped = text(file);
  EXPECT_EQ(dumped.find('`'), std::string::npos) << dumped;
  EXPECT_EQ(dumped.find("CHARACTER SET"), std::string::npos);
  EXPECT_EQ(dumped.find("SET NAMES"), std::string::npos);
  EXPECT_EQ(dumped.find("FOREIGN"), std::string::npos);
  EXPECT_NE(dumped.find("CREATE TABLE people (\n"
                        "  id INT NOT NULL,\n"
                        "  first_name VARCHAR(200) NOT NULL,\n"
                        "  last VARCHAR(200) NOT NULL,\n"
                        "  order00000 VARCHAR(10) NOT NULL,\n"
                        "  PRIMARY KEY (id),\n"
                        "  INDEX byorder (order00000)\n"
                        ") TYPE=MyISAM;\n"),
            std::string::npos)
      << dumped;
  EXPECT_NE(dumped.find("LOCK TABLES people WRITE;\nINSERT INTO people(id, first_name, last, "
                        "order00000) VALUES(1, 'Ann', 'O\\'Neil', 'x');\n"),
            std::string::npos)
      << dumped;
  // The session head is read by the servers that know each part; no SET NAMES.
  EXPECT_NE(dumped.find(std::string("\n") + session_head + "\n#"), std::string::npos) << dumped;
  EXPECT_EQ(dumped.find("SET NAMES"), std::string::npos);
  // Without a foreign-key section the lock is closed at the end of the file.
  EXPECT_NE(dumped.find(std::string("UNLOCK TABLES;\n") + session_tail), std::string::npos);
}

TEST_F(SqlDump, WideTablesGetTextColumnsAndMyISAMInBothDialects) {
  for (bool new_version : {true, false}) {
    // VARCHAR(255) takes 1,022 bytes of the row in the new dialect, 256 in the old.
    const int fits = new_version ? 64 : 255;
    const std::wstring file = path(new_version ? "new.sql" : "old.sql");
    dmp_settings settings;
    settings.new_version = new_version;
    settings.line_break = 1;
    {
      engine->set_default_row_format("dynamic");  // as a server connected to before may have it
      auto dump = engine->create_dump(file, settings);
      for (int columns : {fits, fits + 1}) {
        udb_schema schema(true);
        for (int i = 1; i <= columns; ++i) schema.push_back(std::unique_ptr<t_ftd>(column(L"c" + std::to_wstring(i), VT_BSTR, 255)));
        dump->create_table(L"t" + std::to_wstring(columns), schema, udb_indexes());
      }
      dump->close();
    }
    const std::string dumped = text(file);
    const std::string q = new_version ? "`" : "", charset = new_version ? " CHARACTER SET utf8mb4 " : "";
    const std::string narrow = "CREATE TABLE " + q + "t" + std::to_string(fits) + q + " (";
    const std::string wide = "CREATE TABLE " + q + "t" + std::to_string(fits + 1) + q + " (";
    ASSERT_NE(dumped.find(narrow), std::string::npos) << new_version;
    ASSERT_NE(dumped.find(wide), std::string::npos) << new_version;
    const std::string first = dumped.substr(dumped.find(narrow), dumped.find(wide) - dumped.find(narrow));
    const std::string second = dumped.substr(dumped.find(wide));
    EXPECT_EQ(count_of(first, "VARCHAR(255)"), static_cast<size_t>(fits));
    EXPECT_EQ(count_of(first, "TEXT"), 0u);
    // More text columns than COMPACT rows hold: MyISAM, as the wider table.
    EXPECT_NE(first.find(new_version ? ") ENGINE=MyISAM;" : ") TYPE=MyISAM;"), std::string::npos);
    EXPECT_EQ(count_of(second, "VARCHAR(255)"), static_cast<size_t>(fits));
    EXPECT_NE(second.find(q + "c" + std::to_string(fits + 1) + q + " TEXT" + charset + "\n)"), std::string::npos)
        << second.substr(0, 200);
    EXPECT_NE(second.find(new_version ? ") ENGINE=MyISAM;" : ") TYPE=MyISAM;"), std::string::npos);
  }
}

TEST_F(SqlDump, LargeTablesGiveStatementsJustOverTheLimit) {
  const std::wstring file = path("large.sql");
  dmp_settings settings;
  settings.line_break = 1;
  constexpr int n_rows = 10000;
  {
    auto dump = engine->create_dump(file, settings);
    udb_schema schema = make_schema({column(L"id", VT_I4, 4), column(L"text", VT_BSTR, 50)});
    auto table = dump->create_table(L"big", schema, {});
    for (int i = 0; i < n_rows; ++i) {
      table->append_record(*make_record(
          {{L"id", i}, {L"text", L"row " + std::to_wstring(i) + L" \u00e9t\u00e9 " + std::wstring(8, L'x')}}));
    }
  }  // the recordset and the database are released without close()
  const std::string dumped = text(file);
  std::vector<std::wstring> statements;
  for (size_t at = dumped.find("INSERT INTO"); at != std::string::npos;
       at = dumped.find("INSERT INTO", at + 1)) {
    const size_t end = dumped.find(";\n", at);
    ASSERT_NE(end, std::string::npos);
    statements.push_back(tk_from_utf8(dumped.substr(at, end - at)));
  }
  ASSERT_GE(statements.size(), 2u);
  for (size_t i = 0; i + 1 < statements.size(); ++i) {
    EXPECT_GT(statements[i].size(), dmp_recordset::statement_limit);
    EXPECT_LT(statements[i].size(), dmp_recordset::statement_limit + 60);
  }
  EXPECT_EQ(dumped.substr(dumped.size() - 15 - strlen(session_tail)),
            std::string("UNLOCK TABLES;\n") + session_tail);

  ORV_REQUIRE_MYSQL();
  const std::string db = unique_name("orv_dump");
  load(file, db);
  const rows_t loaded = rows(db, "SELECT id, HEX(text) FROM big ORDER BY id");
  ASSERT_EQ(loaded.size(), static_cast<size_t>(n_rows));
  for (int i = 0; i < n_rows; i += 997) {
    EXPECT_EQ(loaded[i], std::to_string(i) + "\t" +
                             hex_utf8(L"row " + std::to_wstring(i) + L" \u00e9t\u00e9 " +
                                      std::wstring(8, L'x')));
  }
}

TEST_F(SqlDump, LocksCloseBeforeTheNextTableStatementsAndTheEnd) {
  const std::wstring file = path("locks.sql");
  dmp_settings settings;
  settings.line_break = 1;
  settings.insert_comments = false;
  {
    auto dump = engine->create_dump(file, settings);
    udb_schema schema = make_schema({column(L"n", VT_I4, 4)});
    auto a = dump->create_table(L"a", schema, {});
    a->append_record(*make_record({{L"n", 1}}));
    a.reset();
    auto b = dump->create_table(L"b", schema, {});
    b->append_record(*make_record({{L"n", 2}}));
    b.reset();
    dump->query(L"ALTER TABLE `b` MODIFY `n` BIGINT");
    auto c = dump->create_table(L"c", schema, {});
    c->append_record(*make_record({{L"n", 3}}));
    c.reset();
  }
  EXPECT_EQ(text(file),
            std::string("SET NAMES utf8mb4;\n") + session_head +
            "DROP TABLE IF EXISTS `a`;\nCREATE TABLE `a` (\n  `n` INT\n) ENGINE=InnoDB;\n"
            "LOCK TABLES `a` WRITE;\nINSERT INTO `a`(`n`) VALUES(1);\nUNLOCK TABLES;\n"
            "DROP TABLE IF EXISTS `b`;\nCREATE TABLE `b` (\n  `n` INT\n) ENGINE=InnoDB;\n"
            "LOCK TABLES `b` WRITE;\nINSERT INTO `b`(`n`) VALUES(2);\nUNLOCK TABLES;\n"
            "ALTER TABLE `b` MODIFY `n` BIGINT;\n"
            "DROP TABLE IF EXISTS `c`;\nCREATE TABLE `c` (\n  `n` INT\n) ENGINE=InnoDB;\n"
            "LOCK TABLES `c` WRITE;\nINSERT INTO `c`(`n`) VALUES(3);\nUNLOCK TABLES;\n" +
            session_tail);

  ORV_REQUIRE_MYSQL();
  const std::string db = unique_name("orv_dump");
  load(file, db);
  EXPECT_EQ(rows(db, "SELECT n FROM a UNION ALL SELECT n FROM b UNION ALL SELECT n FROM c"),
            (rows_t{"1", "2", "3"}));
}

// ---------------------------------------------------------------- values and names

TEST_F(SqlDump, ValuesLoadBackUnchanged) {
  const std::wstring file = path("values.sql");
  const std::wstring tricky = L"O'Brien \\ C:\\dir\r\nline\ttab \U0001F600 \u00fc\u4e2d \x1a end";
  SYSTEMTIME when{};
  when.wYear = 2024;
  when.wMonth = 2;
  when.wDay = 29;
  when.wHour = 13;
  when.wMinute = 45;
  when.wSecond = 10;
  {
    auto dump = engine->create_dump(file, dmp_settings{});
    udb_schema schema = make_schema(
        {column(L"id", VT_I4, 4, true), column(L"text", VT_BSTR, 255), column(L"memo", VT_BSTR, 0),
         column(L"price", VT_R8, 8), column(L"amount", VT_DECIMAL, 16, false, 18 * 256 + 4),
         column(L"big", VT_I8, 8), column(L"when", VT_DATE, 8, false, 1),
         column(L"flag", VT_BOOL, 1), column(L"bytes", VT_BLOB, 100), column(L"empty", VT_BSTR, 10)});
    udb_indexes indexes;
    indexes.push_back(make_index(L"pk", true, {L"text"}));  // a utf8mb4 VARCHAR(255) key
    auto table = dump->create_table(L"values", schema, indexes);
    table->append_record(*make_record(
        {{L"id", 1}, {L"text", tricky}, {L"memo", std::wstring(300, L'm') + L"\u00e9"},
         {L"price", 12.5}, {L"amount", typed(L"12345678901234.5678", VT_DECIMAL)},
         {L"big", 9007199254740993LL}, {L"when", ole_variant(when)}, {L"flag", true},
         {L"bytes", ole_variant(std::vector<BYTE>{0x00, 0x41, 0xFF})}, {L"empty", ole_variant()}}));
    table->append_record(*make_record(
        {{L"id", 2}, {L"text", L"plain"}, {L"memo", L""}, {L"price", -0.25},
         {L"amount", typed(L"-1.5", VT_DECIMAL)}, {L"big", -1LL}, {L"when", ole_variant()},
         {L"flag", false}, {L"bytes", ole_variant()}, {L"empty", L"x"}}));
  }

  ORV_REQUIRE_MYSQL();
  const std::string db = unique_name("orv_dump");
  load(file, db);
  EXPECT_EQ(rows(db,
                 "SELECT id, HEX(`text`), HEX(memo), price, amount, big, `when`, flag + 0, "
                 "HEX(bytes), IFNULL(empty, 'NULL') FROM `values` ORDER BY id"),
            (rows_t{"1\t" + hex_utf8(tricky) + "\t" + hex_utf8(std::wstring(300, L'm') + L"\u00e9") +
                        "\t12.5\t12345678901234.5678\t9007199254740993\t2024-02-29 13:45:10\t1\t"
                        "0041FF\tNULL",
                    "2\t" + hex_utf8(L"plain") + "\t\t-0.25\t-1.5000\t-1\tNULL\t0\tNULL\tx"}));
}

TEST_F(SqlDump, GeneratedNamesAreUsedEverywhere) {
  const std::wstring file = path("names.sql");
  {
    auto dump = engine->create_dump(file, dmp_settings{});
    // The driver names the tables: "Orders?" is not acceptable to the server.
    dump->get_names_map().add_tn_map(L"Orders?", L"Orders_");
    dump->get_names_map().add_tn_map(L"Clients", L"Clients");
    udb_schema clients = make_schema({column(L"Client #", VT_I4, 4, true), column(L"Name", VT_BSTR, 20)});
    udb_indexes client_keys;
    client_keys.push_back(make_index(L"pk", true, {L"Client #"}));
    auto c = dump->create_table(L"Clients", clients, client_keys);
    c->append_record(*make_record({{L"Client #", 10}, {L"Name", L"Ann"}}));
    c.reset();
    udb_schema orders = make_schema({column(L"No", VT_I4, 4), column(L"Client #", VT_I4, 4),
                                     column(L"Note", VT_BSTR, 20)});
    auto o = dump->create_table(L"Orders_", orders, {});
    o->append_record(*make_record({{L"No", 1}, {L"Client #", 10}, {L"Note", L"first"}}));
    o.reset();
    udb_relationships fks;
    udb_relationship fk(L"Orders?", L"Clients", {L"Client #"}, {L"Client #"}, L"");
    fk.name = L"FK_Clients_Orders";
    fks.push_back(fk);
    udb_relationship dangling(L"Orders?", L"Missing", {L"No"}, {L"id"}, L"");
    dangling.name = L"FK_Missing_Orders";
    fks.push_back(dangling);
    dump->create_relationships(fks);
    dump->close();
  }
  const std::string dumped = text(file);
  for (const char* expected :
       {"LOCK TABLES `Orders_` WRITE;", "INSERT INTO `Orders_`(`No`, `Client _`, `Note`) VALUES(1, 10, 'first');",
        "\r\nSET FOREIGN_KEY_CHECKS = 0;\r\nALTER TABLE `Orders_` ADD INDEX (`Client _`);\r\n"
        "ALTER TABLE `Orders_` ADD CONSTRAINT `FK_Clients_Orders` FOREIGN KEY(`Client _`) "
        "REFERENCES `Clients`(`Client _`);\r\nSET FOREIGN_KEY_CHECKS = 1;\r\n"})
    EXPECT_NE(dumped.find(expected), std::string::npos) << expected << "\n" << dumped;
  EXPECT_EQ(dumped.find("Missing"), std::string::npos);

  ORV_REQUIRE_MYSQL();
  const std::string db = unique_name("orv_dump");
  load(file, db);
  EXPECT_EQ(rows(db, "SELECT `No`, `Client _`, Note FROM Orders_"), rows_t{"1\t10\tfirst"});
  EXPECT_EQ(rows(db, "SELECT CONSTRAINT_NAME, REFERENCED_TABLE_NAME FROM "
                     "information_schema.REFERENTIAL_CONSTRAINTS WHERE CONSTRAINT_SCHEMA = '" +
                         db + "'"),
            rows_t{"FK_Clients_Orders\tClients"});
}

TEST_F(SqlDump, ViewsEachEndWithATerminatorOnItsOwnLine) {
  const std::wstring file = path("views.sql");
  {
    auto dump = engine->create_dump(file, dmp_settings{});
    udb_schema schema = make_schema({column(L"n", VT_I4, 4), column(L"Unit Price", VT_R8, 8)});
    auto t = dump->create_table(L"items", schema, {});
    t->append_record(*make_record({{L"n", 1}, {L"Unit Price", 2.5}}));
    t->append_record(*make_record({{L"n", 2}, {L"Unit Price", 4.0}}));
    t.reset();
    udb_database::query_map views;
    views[L"cheap"] = L"SELECT [n] FROM [items] WHERE [Unit Price] < 3";
    // A text that ends in a comment would swallow a terminator on its line.
    views[L"commented"] = L"SELECT n FROM items WHERE n = 1 -- the first one";
    views[L"dear"] = L"SELECT n FROM items WHERE `Unit Price` > 3;\r\n";
    dump->create_views(views);
    dump->close();
  }
  const std::string dumped = text(file);
  EXPECT_NE(dumped.find("UNLOCK TABLES;\r\nCREATE OR REPLACE VIEW `cheap` AS SELECT `n` FROM "
                        "`items` WHERE `Unit Price` < 3\r\n;\r\nCREATE OR REPLACE VIEW `commented` "
                        "AS SELECT n FROM items WHERE n = 1 -- the first one\r\n;\r\nCREATE OR "
                        "REPLACE VIEW `dear` AS SELECT n FROM items WHERE `Unit Price` > 3\r\n;\r\n"),
            std::string::npos)
      << dumped;

  ORV_REQUIRE_MYSQL();
  const std::string db = unique_name("orv_dump");
  load(file, db);
  EXPECT_EQ(rows(db, "SELECT n FROM cheap UNION ALL SELECT n FROM commented UNION ALL SELECT n FROM dear"),
            (rows_t{"1", "1", "2"}));
}

// ---------------------------------------------------------------- failures

TEST_F(SqlDump, FilesThatCannotBeWrittenStopTheRun) {
  const std::wstring missing = path("no such folder/x.sql");
  try {
    engine->create_dump(missing, dmp_settings{});
    FAIL() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 1);
    EXPECT_NE(e.message().find(tk_to_utf8(missing)), std::string::npos) << e.message();
  }

  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  // A full disk: the writes fail once the buffered text reaches the file.
  auto dump = engine->create_dump(L"/dev/full", dmp_settings{});
  udb_schema schema = make_schema({column(L"text", VT_BSTR, 0)});
  try {
    auto table = dump->create_table(L"t", schema, {});
    for (int i = 0; i < 100; ++i)
      table->append_record(*make_record({{L"text", std::wstring(5000, L'x')}}));
    table.reset();
    dump->close();
    FAIL() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 1);
    EXPECT_NE(e.message().find("/dev/full"), std::string::npos) << e.message();
  }
  // Every later write fails as well.
  EXPECT_THROW(dump->query(L"SELECT 1"), tk_exception);
}

TEST_F(SqlDump, MisuseAndMissingFields) {
  const std::wstring file = path("misuse.sql");
  auto dump = engine->create_dump(file, dmp_settings{});
  udb_schema schema = make_schema({column(L"a", VT_I4, 4), column(L"b", VT_I4, 4)});
  auto table = dump->create_table(L"t", schema, {});
  EXPECT_FALSE(dump->test_query(L"SELECT 1"));
  EXPECT_EQ(dump->get_query(L"q", L"SELECT 1"), nullptr);
  try {
    dump->get_table(L"t", 0);
    FAIL() << "no exception";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.message(), "Internal error: \ncode=" + tk_location_code("sql_dump", 117));
  }
  try {
    dump->create_table(L"T", schema, {});
    FAIL() << "no exception";
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(e.message(), "Internal error: \ncode=" + tk_location_code("sql_dump", 247));
  }
  table->append_record(*make_record({{L"a", 1}, {L"b", 2}}));
  // A record without a column of the table is one failed record: the driver
  // reports it and goes on with the next.
  try {
    table->append_record(*make_record({{L"a", 3}}));
    FAIL() << "no exception";
  } catch (const sql_exception& e) {
    EXPECT_EQ(e.get_level(), 0);
    EXPECT_EQ(e.message().rfind("Generic error occurred while migrating the data.\nContact to ", 0), 0u);
  }
  table->append_record(*make_record({{L"b", 6}, {L"a", 5}}));
  table.reset();
  // A table without columns would stop the load: it is refused as the server
  // refuses it, and nothing of it is written.
  udb_schema none(true);
  EXPECT_THROW(dump->create_table(L"nothing", none, {}), sql_exception);
  EXPECT_FALSE(dump->is_table_exist(L"nothing"));
  // A line break in a name would end its comment line.
  dump->create_table(L"two\nlines", schema, {}).reset();
  dump->close();
  const std::string dumped = text(file);
  EXPECT_NE(dumped.find("VALUES(1, 2), (5, 6);"), std::string::npos);
  EXPECT_EQ(dumped.find("nothing"), std::string::npos);
  EXPECT_NE(dumped.find("# Table structure for table 'two lines'\r\n"), std::string::npos);
  EXPECT_NE(dumped.find("DROP TABLE IF EXISTS `two\nlines`;"), std::string::npos);

  ORV_REQUIRE_MYSQL();
  const std::string db = unique_name("orv_dump");
  load(file, db);
  EXPECT_EQ(rows(db, "SELECT a, b FROM t"), (rows_t{"1\t2", "5\t6"}));
  EXPECT_EQ(rows(db, "SELECT COUNT(*) FROM `two\nlines`"), rows_t{"0"});
}

// ---------------------------------------------------------------- a server's own settings

// A server whose global settings would change the data of a dump loaded with the
// settings left as they are.
class SqlDumpOwnServer : public SqlDump {
protected:
  static void SetUpTestSuite() {
    if (sql_test_server::get().found)
      own = std::make_unique<sql_private_server>(
          "--sql-mode=ANSI,ORACLE,NO_BACKSLASH_ESCAPES,EMPTY_STRING_IS_NULL,STRICT_ALL_TABLES "
          "--autocommit=0 --max-allowed-packet=1M");
  }
  static void TearDownTestSuite() { own.reset(); }
  const sql_test_server& server() const override { return own ? own->server() : sql_test_server::get(); }

  static inline std::unique_ptr<sql_private_server> own;
};

TEST_F(SqlDumpOwnServer, LoadsWholeWhateverTheServersSettings) {
  const std::wstring file = path("settings.sql");
  const std::vector<std::wstring> names = {L"'), (4, (SELECT CONCAT(user(), version())))#", L"C:\\dir",
                                           L"O'Brien", L"", L"\"quoted\""};
  std::vector<BYTE> big(400000);  // past the 327,680 bytes of the value's text
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(i * 7);
  SYSTEMTIME day{};
  day.wYear = 2024;
  day.wMonth = 2;
  day.wDay = 29;
  std::vector<int> refused;
  {
    auto dump = engine->create_dump(file, dmp_settings{});
    udb_schema schema = make_schema({column(L"id", VT_I4, 4, true, 0, true), column(L"name", VT_BSTR, 255),
                                     column(L"day", VT_DATE, 8, false, 2), column(L"bytes", VT_BLOB, 0),
                                     column(L"Price \U0001F4B2", VT_I4, 4),
                                     column(std::wstring(L"a\0b", 3), VT_I4, 4)});
    auto values = dump->create_table(L"values", schema, {});
    int id = 0;  // the first row's 0 stays 0
    for (const std::wstring& name : names) {
      values->append_record(*make_record({{L"id", id},
                                          {L"name", name},
                                          {L"day", ole_variant(day)},
                                          {L"bytes", ole_variant(id == 5 ? big : std::vector<BYTE>{})},
                                          {L"Price \U0001F4B2", 10 + id},
                                          {std::wstring(L"a\0b", 3), 20 + id}}));
      id += 5;
    }
    values.reset();
    // A NULL for a NOT NULL column without a default leaves the row out, with an
    // error of its own, and the rest of the file loads.
    udb_schema counted = make_schema({column(L"n", VT_I4, 4), column(L"amount", VT_I4, 4, true)});
    auto amounts = dump->create_table(L"amounts", counted, {});
    for (int n = 1; n <= 3; ++n) {
      try {
        amounts->append_record(*make_record({{L"n", n}, {L"amount", n == 2 ? ole_variant() : ole_variant(n * 10)}}));
      } catch (const tk_exception& e) {
        refused.push_back(n);
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_EQ(e.get_code(), 0x400418);
        EXPECT_STREQ(e.what(), "Column 'amount' cannot be null");
      }
    }
    amounts.reset();
    auto after = dump->create_table(L"after", make_schema({column(L"n", VT_I4, 4)}), {});
    after->append_record(*make_record({{L"n", 1}}));
    after.reset();
    dump->close();
  }
  EXPECT_EQ(refused, std::vector<int>{2});

  ORV_REQUIRE_MYSQL();
  ASSERT_TRUE(server().found) << "the test's own server did not start";
  const std::string db = unique_name("orv_dump");
  load(file, db);
  // Read on another connection: the rows were committed.
  // (The client's own session keeps the server's mode: HEX('') reads NULL there.)
  rows_t expected;
  int id = 0;
  for (const std::wstring& name : names) {
    expected.push_back(std::to_string(id) + "\t" + hex_utf8(name) + "\t0\t2024-02-29\t" +
                       (id == 5 ? "400000\t7279" : "0\tNULL") + "\t" + std::to_string(10 + id) + "\t" +
                       std::to_string(20 + id));
    id += 5;
  }
  EXPECT_EQ(rows(db, "SELECT id, HEX(name), name IS NULL, day, LENGTH(bytes), "
                     "HEX(SUBSTRING(bytes, GREATEST(LENGTH(bytes) - 1, 1))), `Price _`, `a_b` "
                     "FROM `values` ORDER BY id"),
            expected);
  EXPECT_EQ(rows(db, "SELECT DATA_TYPE FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() "
                     "AND COLUMN_NAME = 'day'"),
            rows_t{"date"});
  EXPECT_EQ(rows(db, "SELECT n, amount FROM amounts ORDER BY n"), (rows_t{"1\t10", "3\t30"}));
  EXPECT_EQ(rows(db, "SELECT n FROM `after`"), rows_t{"1"});
}

}  // namespace
