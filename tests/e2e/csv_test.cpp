// CSV files into the server: delimiters, header rows, quoting, long fields,
// non-ASCII text, type refinement and its mended faults, and the modes.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "TK/tk_trace.h"
#include "platform/kernel/codepage.h"
#include "tests/e2e/csv_fixtures.h"
#include "tests/e2e/e2e_env.h"
#include "tests/support/tcp_relay.h"

namespace {

class CsvIntoServer : public server_fixture {
protected:
  // Writes the file and runs it into the table.
  void convert(const std::string& content, int delimiter, bool names_in_first_row, bool refine,
               const std::string& table = "t") {
    std::ofstream(dir / "in.csv", std::ios::binary) << content;
    convert_file(dir / "in.csv", delimiter, names_in_first_row, refine, table);
  }
  void convert_file(const std::filesystem::path& path, int delimiter, bool names_in_first_row, bool refine,
                    const std::string& table = "t") {
    orvell_converter& c = *converter;
    c.from_xls = false;
    c.set_src(path.wstring());
    c.csv_table_name = tk_from_utf8(table);
    c.delimiter_index = delimiter;
    c.x_fnames = names_in_first_row;
    c.refine_types = refine;
    run();
  }
};

TEST_F(CsvIntoServer, EveryDelimiterWithAndWithoutHeader) {
  const char delimiters[] = {'\t', ';', ',', ' '};
  for (int d = 0; d < 4; ++d) {
    for (bool header : {true, false}) {
      std::string sep(1, delimiters[d]);
      std::string content = header ? "id" + sep + "name\n" : "";
      content += "1" + sep + "\"Ann" + sep + "Lee\"\n2" + sep + "Bob\n";
      const std::string table = "t" + std::to_string(d) + (header ? "h" : "n");
      convert(content, d, header, false, table);
      auto rows = table_rows(table);
      ASSERT_EQ(rows.size(), 2u) << table;
      EXPECT_EQ(texts(rows[0]), (std::vector<std::string>{"1", "Ann" + sep + "Lee"})) << table;
      EXPECT_EQ(texts(rows[1]), (std::vector<std::string>{"2", "Bob"})) << table;
      auto cols = client->columns(db, table);
      EXPECT_EQ(cols[0].substr(0, cols[0].find(' ')), header ? "id" : "F1");
    }
  }
  EXPECT_TRUE(dialogs->listed.empty());
}

TEST_F(CsvIntoServer, QuotedMultiLineLongAndNonAsciiFieldsArriveWhole) {
  const std::string long_text(300, 'x');
  const std::string longer = "Ünïcødé " + std::string(1000, 'y') + " 日本語";
  std::string content = "Product Description;note\n";
  content += "\"line one\nline two\";\"say \"\"hi\"\"\"\n";
  content += "Ελληνικά Ёжик;" + long_text + "\n";
  content += longer + ";short\n";
  convert(content, 1, true, false);
  auto rows = table_rows("t");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(texts(rows[0]), (std::vector<std::string>{"line one\nline two", "say \"hi\""}));
  EXPECT_EQ(texts(rows[1]), (std::vector<std::string>{"Ελληνικά Ёжик", long_text}));
  EXPECT_EQ(texts(rows[2]), (std::vector<std::string>{longer, "short"}));
  // Both long columns were widened to TEXT in the table's character set, the
  // name with a blank included.
  auto cols = client->columns(db, "t");
  ASSERT_EQ(cols.size(), 2u);
  EXPECT_EQ(cols[0].rfind("Product Description text", 0), 0u) << cols[0];
  EXPECT_EQ(cols[1].rfind("note text", 0), 0u) << cols[1];
  EXPECT_EQ(cols[0].substr(cols[0].rfind(' ') + 1), cols[1].substr(cols[1].rfind(' ') + 1));
  EXPECT_NE(cols[0].find("utf8"), std::string::npos) << cols[0];
  EXPECT_TRUE(dialogs->listed.empty());
}

TEST_F(CsvIntoServer, RefinementNarrowsColumnsWithoutChangingValues) {
  std::string content = "i;d;b;v;day;stamp;na;comma;dash;empty;greek;zip\n";
  content += "1;1;1;1;2004-05-06;2004-05-06;2004-05-06;12,5;1-2;;Αθήνα;01\n";
  content += "2;2.5;3000000000;abc;2004-05-07;2004-05-08 10:00:00;n/a;3;4;7;Πάτρα;02\n";
  content += "3;4;5;x;2004-05-08;2004-05-09;2004-05-09;1;2;;Σπάρτη;10\n";
  convert(content, 1, true, true);
  auto cols = client->columns(db, "t");
  ASSERT_EQ(cols.size(), 12u);
  EXPECT_EQ(cols[0], "i int(11)");
  EXPECT_EQ(cols[1], "d double");
  EXPECT_EQ(cols[2], "b bigint(20)");
  EXPECT_EQ(cols[3].rfind("v varchar(", 0), 0u) << cols[3];
  EXPECT_EQ(cols[4], "day date");
  EXPECT_EQ(cols[5], "stamp datetime");
  // Not every value is a date, a number the server reads whole, or a number at all.
  EXPECT_EQ(cols[6].rfind("na varchar", 0), 0u) << cols[6];
  EXPECT_EQ(cols[7].rfind("comma varchar", 0), 0u) << cols[7];
  EXPECT_EQ(cols[8].rfind("dash varchar", 0), 0u) << cols[8];
  EXPECT_EQ(cols[9], "empty int(11)");
  EXPECT_EQ(cols[10].rfind("greek varchar", 0), 0u) << cols[10];
  EXPECT_EQ(cols[11].rfind("zip varchar", 0), 0u) << cols[11];

  auto rows = table_rows("t", "i");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(texts(rows[0]), (std::vector<std::string>{"1", "1", "1", "1", "2004-05-06", "2004-05-06 00:00:00",
                                                      "2004-05-06", "12,5", "1-2", "<null>", "Αθήνα", "01"}));
  EXPECT_EQ(texts(rows[1]),
            (std::vector<std::string>{"2", "2.5", "3000000000", "abc", "2004-05-07", "2004-05-08 10:00:00", "n/a",
                                      "3", "4", "7", "Πάτρα", "02"}));
  EXPECT_TRUE(dialogs->listed.empty()) << dialogs->listed.front();
}

TEST_F(CsvIntoServer, RefinementOffKeepsText) {
  convert("a;b\n1;2004-05-06\n2;2004-05-07\n", 1, true, false);
  auto cols = client->columns(db, "t");
  EXPECT_EQ(cols[0].rfind("a varchar(", 0), 0u) << cols[0];
  EXPECT_EQ(cols[1].rfind("b varchar(", 0), 0u) << cols[1];
}

TEST_F(CsvIntoServer, MergeAppendsToTheExistingTableWithoutRefinement) {
  convert("a;b\n1;x\n", 1, true, true);
  EXPECT_EQ(client->columns(db, "t")[0], "a int(11)");
  converter->set_mode(3);
  convert("a;b\n2.5;y\n", 1, true, true);
  auto rows = table_rows("t", "b");
  ASSERT_EQ(rows.size(), 2u);
  // Merge changes no column: the INT column takes the new value as the server rounds it.
  EXPECT_EQ(client->columns(db, "t")[0], "a int(11)");
  EXPECT_EQ(*rows[0][1], "x");
  EXPECT_EQ(*rows[1][1], "y");
}

// A file without a first line (no byte, a byte-order mark alone) is refused
// before the existing table is dropped, with field names or without.
TEST_F(CsvIntoServer, AnEmptyFileIsRefusedAndTheTableKeepsItsRows) {
  convert("a;b\n1;x\n", 1, true, false);
  converter->set_mode(1);
  for (const char* bytes : {"", "\xEF\xBB\xBF"}) {
    for (bool names : {true, false}) {
      dialogs->listed.clear();
      convert(bytes, 1, names, false);
      ASSERT_EQ(dialogs->listed.size(), 1u);
      EXPECT_NE(dialogs->listed[0].find("in.csv is empty"), std::string::npos) << dialogs->listed[0];
      EXPECT_EQ(texts(table_rows("t")[0]), (std::vector<std::string>{"1", "x"}));
      EXPECT_EQ(table_rows("t").size(), 1u);
    }
  }
}

TEST_F(CsvIntoServer, ARecordThatDoesNotFitIsReportedAndTheRunGoesOnOrStops) {
  client->exec("CREATE DATABASE `" + db + "`");
  client->exec("CREATE TABLE `" + db + "`.`t` (a VARCHAR(10), b VARCHAR(10))");
  converter->set_mode(3);
  convert("a;c\n1;x\n2;y\n3;z\n", 1, true, false);
  // Continue goes on with the next record, to the end of the file.
  ASSERT_EQ(dialogs->listed.size(), 3u);
  EXPECT_EQ(dialogs->listed[0].rfind("t, record #1: The structure of data source does not conform", 0), 0u)
      << dialogs->listed[0];
  EXPECT_TRUE(converter->is_finished());

  dialogs->listed.clear();
  dialogs->answers_continue = false;
  convert("a;c\n1;x\n2;y\n", 1, true, false);
  EXPECT_EQ(dialogs->listed.size(), 1u);  // Abort: the run ends at the first
  EXPECT_TRUE(table_rows("t").empty());
}

// The reader's fixtures: quotes that are data, an unterminated quoted field,
// text past the first line's fields, Windows-1252 and UTF-8 files under a UTF-8
// locale. Each value arrives exactly; each problem is one error of the list,
// after which the run went on.
TEST_F(CsvIntoServer, EveryFixtureArrivesExactly) {
  ASSERT_TRUE(kernel::set_thread_code_page(CP_UTF8));
  int n = 0;
  for (const csv_fixture_case& f : csv_fixture_cases()) {
    dialogs->listed.clear();
    const std::string table = "f" + std::to_string(++n);
    convert_file(csv_fixture_path(f.file), f.delimiter_index, true, false, table);
    EXPECT_TRUE(converter->is_finished()) << f.file;
    std::vector<std::vector<std::string>> got;
    for (const sql_row& row : table_rows(table, "CAST(id AS UNSIGNED)"))
      got.push_back(texts(row));
    EXPECT_EQ(got, f.rows) << f.file;
    expect_fixture_errors(dialogs->listed, f);
  }
  kernel::set_thread_code_page(0);
}

TEST_F(CsvIntoServer, AnotherLocaleCodesetIsTheCodePage) {
  ASSERT_TRUE(kernel::set_thread_code_page(1251));
  convert_file(csv_fixture_path("windows_1251.csv"), 1, true, false);
  kernel::set_thread_code_page(0);
  EXPECT_TRUE(dialogs->listed.empty());
  auto rows = table_rows("t", "id");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(texts(rows[0]), (std::vector<std::string>{"1", "Привет"}));
  EXPECT_EQ(texts(rows[1]), (std::vector<std::string>{"2", "Ёжик №5"}));
}

TEST_F(CsvIntoServer, Utf16AndUtf32FilesAreRefusedWithAClearError) {
  for (const auto& [file, kind] : csv_refused_fixtures()) {
    dialogs->listed.clear();
    convert_file(csv_fixture_path(file), 1, true, false);
    ASSERT_EQ(dialogs->listed.size(), 1u) << file;
    EXPECT_NE(dialogs->listed[0].find(std::string(file) + " is " + kind + " text"), std::string::npos)
        << dialogs->listed[0];
    EXPECT_NE(dialogs->listed[0].find("UTF-8"), std::string::npos) << dialogs->listed[0];
    // Refused before the database was touched.
    EXPECT_TRUE(client->rows("SHOW DATABASES LIKE '" + db + "'").empty()) << file;
  }
}

// The relay loses the answer to the third INSERT of a 30,000-record file (the
// server has stored its rows): the run ends naming the table and the last record
// stored, which is the table's row count. When it cannot connect again, the
// error names the records that may be stored.
TEST_F(CsvIntoServer, ALostAnswerIsToldAsWhatTheTableHolds) {
  std::string content = "id;name\n";
  for (int i = 1; i <= 30000; ++i) content += std::to_string(i) + ";the name of record " + std::to_string(i) + "\n";
  std::ofstream(dir / "in.csv", std::ios::binary) << content;
  for (const bool reconnects : {true, false}) {
    const std::string table = reconnects ? "again" : "refused";
    tcp_relay relay(e2e_server::get().host, e2e_server::get().port);
    use_server(e2e_server::get(), relay.port());
    relay.lose_answer("INSERT", 3, !reconnects);
    dialogs->listed.clear();
    convert_file(dir / "in.csv", 1, true, false, table);
    EXPECT_TRUE(relay.faulted()) << table;
    ASSERT_EQ(dialogs->listed.size(), 1u) << table;
    const std::string& error = dialogs->listed[0];
    EXPECT_NE(error.find("lost while writing table '" + table + "'"), std::string::npos) << error;
    const std::string from = "`" + db + "`.`" + table + "`";
    const long stored = std::stol(client->value("SELECT COUNT(*) FROM " + from));
    EXPECT_EQ(client->value("SELECT COUNT(DISTINCT id) FROM " + from), std::to_string(stored));
    EXPECT_GT(stored, 0) << error;
    EXPECT_LT(stored, 30000) << error;
    if (reconnects) {
      EXPECT_EQ(number_after(error, "The last record stored is #"), stored) << error;
    } else {
      EXPECT_LE(number_after(error, "; records #") - 1, stored) << error;
      EXPECT_GE(number_after(error, " to #"), stored) << error;
    }
  }
}

// The connection lost around what a run drops to replace it (a table, the trial
// of its replacement, the database), or at the refinement's ALTER: the run ends
// with one error that says what a new connection found, and leaves no trial table.
TEST_F(CsvIntoServer, AConnectionLostAroundADropIsToldAsWhatStands) {
  std::string content = "id;qty;price;day;ts\n";
  for (int i = 1; i <= 20; ++i)
    content += std::to_string(i) + ";" + (i % 4 ? std::to_string(i * 3) : "") + ";" + std::to_string(i) + ".5;2004-05-" +
               std::to_string(10 + i) + ";2004-05-06 10:00:" + std::to_string(10 + i) + "\n";
  std::ofstream(dir / "in.csv", std::ios::binary) << content;
  std::filesystem::copy_file(std::filesystem::path(ORV_SOURCE_DIR) / "tests/fixtures/xls/sample.xls", dir / "sample.xls");
  std::string old_rows = "INSERT INTO `" + db + "`.`sweep` VALUES (1, 'old')";
  for (int i = 2; i <= 200; ++i) old_rows += ", (" + std::to_string(i) + ", 'old')";
  const std::string kept = "Table 'sweep' was not dropped and keeps its rows.";
  const std::string replaced = "Table 'sweep' was dropped to be replaced (its earlier rows are gone). ";
  const struct {
    const char* name;
    bool cut;  // else the answer is lost
    std::string statement;
    int mode;
    bool workbook;  // sample.xls, else the CSV file into table sweep with refinement
    std::vector<std::string> said;
    long rows;  // of table sweep afterwards, -1 when there is none
    std::string values = {};  // what the query of the values of sweep gives afterwards
  } cases[] = {
      {"DROP TABLE", false, "DROP TABLE `sweep`", 1, false,
       {"lost while dropping table 'sweep' (", "It was dropped: its rows are gone."}, -1},
      {"a cut inside CREATE TABLE", true, "CREATE TABLE `sweep`", 1, false,
       {replaced + "The connection", "lost while creating table 'sweep' (", "No table 'sweep' exists now."}, -1},
      {"opening the new table", false, "SHOW COLUMNS FROM `sweep`", 1, false,
       {replaced + "The connection", "lost while opening the new table 'sweep' (", "Table 'sweep' exists and is empty."},
       0},
      {"the trial's CREATE TABLE", false, "CREATE TABLE `orvell_trial_1`", 1, false,
       {"lost while table 'sweep' was tried under the name 'orvell_trial_1' (", "No trial table is left. " + kept}, 200},
      {"the trial's DROP TABLE", false, "DROP TABLE `orvell_trial_1`", 1, false,
       {"lost while table 'sweep' was tried under the name 'orvell_trial_1' (", "No trial table is left. " + kept}, 200},
      {"DROP DATABASE", false, "DROP DATABASE", 0, true,
       {"lost while dropping database '" + db + "' (", "No database '" + db + "' exists now."}, -1},
      {"CREATE DATABASE after the drop", false, "CREATE DATABASE `", 0, true,
       {"The database '" + db + "' was dropped to be replaced: its tables are gone. The connection to the MySQL "
        "server was lost while creating it again (",
        "The database '" + db + "' exists and holds 0 tables."},
       -1},
      {"the refinement's ALTER TABLE", false, "ALTER TABLE", 1, false,
       {"lost while the column types of table 'sweep' were changed (",
        "The change was made: columns id (int(11)), qty (int(11)), price (double), day (date), ts (datetime)."},
       20, "5 0 670 2004-05-06 10:00:30"},
      {"a cut inside the refinement's ALTER TABLE", true, "ALTER TABLE", 1, false,
       {"The change was not made: columns id (varchar(",
        "The empty texts of the column qty, set to NULL for a change that was not made, were set back."},
       20, "0 5 670 2004-05-06 10:00:30"},
  };
  const std::string values = "SELECT CONCAT_WS(' ', SUM(qty IS NULL), SUM(qty = ''), SUM(qty) + SUM(price), MAX(ts)) "
                             "FROM `" + db + "`.`sweep`";
  for (const auto& c : cases) {
    tcp_relay relay(e2e_server::get().host, e2e_server::get().port);
    use_server(e2e_server::get(), relay.port());
    client->exec("CREATE DATABASE `" + db + "`");
    client->exec("CREATE TABLE `" + db + "`.`sweep` (id INT, note VARCHAR(10))");
    client->exec(old_rows);
    if (c.cut)
      relay.cut(c.statement, 1);
    else
      relay.lose_answer(c.statement, 1);
    converter->set_mode(c.mode);
    dialogs->listed.clear();
    if (c.workbook) {
      converter->from_xls = true;
      converter->x_fnames = true;
      converter->set_src((dir / "sample.xls").wstring());
      std::vector<std::wstring> sheets;
      ASSERT_TRUE(converter->get_all_sheets(sheets));
      converter->selected_table_names() = {L"Data"};
      converter->set_sel_sheets({L"Data"});
      run();
    } else {
      convert_file(dir / "in.csv", 1, true, true, "sweep");
    }
    EXPECT_TRUE(relay.faulted()) << c.name;
    ASSERT_EQ(dialogs->listed.size(), 1u) << c.name;
    const std::string& error = dialogs->listed[0];
    EXPECT_NE(error.find("The connection to the MySQL server was lost"), std::string::npos) << c.name << ": " << error;
    for (const std::string& part : c.said) EXPECT_NE(error.find(part), std::string::npos) << c.name << ": " << error;
    const std::string in_db = "FROM information_schema.TABLES WHERE TABLE_SCHEMA = '" + db + "' AND TABLE_NAME ";
    EXPECT_EQ(client->value("SELECT COUNT(*) " + in_db + "LIKE 'orvell\\_trial%'"), "0") << c.name;
    const bool exists = client->value("SELECT COUNT(*) " + in_db + "= 'sweep'") == "1";
    EXPECT_EQ(exists ? std::stol(client->value("SELECT COUNT(*) FROM `" + db + "`.`sweep`")) : -1, c.rows) << c.name;
    if (!c.values.empty()) {
      EXPECT_EQ(client->value(values), c.values) << c.name;
    }
  }
}

// A connection the server closed while the wizard waited (its wait_timeout, a
// gateway's idle limit) is made again before the run writes anything.
TEST_F(CsvIntoServer, AConnectionClosedWhileIdleIsMadeAgain) {
  client->exec("KILL " + std::to_string(converter->get_engine().thread_id()));
  convert("a;b\n1;x\n", 1, true, false);
  EXPECT_TRUE(dialogs->listed.empty()) << dialogs->listed.front();
  EXPECT_EQ(table_rows("t").size(), 1u);
}

// A lock on one key costs only its record: a merge whose last record is another
// session's uncommitted key stores the other 1,499 and reports one error.
TEST_F(CsvIntoServer, AnotherSessionsUncommittedKeyCostsOnlyItsRecord) {
  lock_timeout_env timeout("2");
  use_server(e2e_server::get());
  client->exec("CREATE DATABASE `" + db + "`");
  client->exec("CREATE TABLE `" + db + "`.`t` (id INT PRIMARY KEY, name VARCHAR(20))");
  check_client other;
  other.exec("BEGIN");
  other.exec("INSERT INTO `" + db + "`.`t` VALUES (1500, 'theirs')");
  std::string content = "id;name\n";
  for (int i = 1; i <= 1500; ++i) content += std::to_string(i) + ";ours\n";
  converter->set_mode(3);
  convert(content, 1, true, false);
  ASSERT_EQ(dialogs->listed.size(), 1u);
  const std::string& error = dialogs->listed[0];
  EXPECT_NE(error.find("Table 't': another session holds a lock on it; record #1500 waited"), std::string::npos)
      << error;
  other.exec("ROLLBACK");
  EXPECT_EQ(client->value("SELECT COUNT(*) FROM `" + db + "`.`t`"), "1499");
}

class CsvIntoOwnServer : public CsvIntoServer {
protected:
  static void SetUpTestSuite() {
    if (e2e_server::get().found) own = std::make_unique<sql_private_server>("--read-only --sql-mode=''");
  }
  static void TearDownTestSuite() { own.reset(); }
  static inline std::unique_ptr<sql_private_server> own;
};

// Servers whose settings would alter a value a column cannot hold (sql_mode '',
// a MyISAM table where only transactional tables are strict): each such record
// is refused with the server's reason, the others are stored once and unchanged.
// A server that refuses every record (read-only, to a user without global
// privileges) costs one error.
TEST_F(CsvIntoOwnServer, RefusedValuesAndAReadOnlyServer) {
  ASSERT_TRUE(own && own->server().found);
  const std::string file = "id;n;s\n1;10;ok\n2;x;ok\n3;30;toolongvalue\n4;40;fine\n";
  const std::vector<std::string> refused = {"t, record #2: Incorrect integer value: 'x'",
                                            "t, record #3: Data too long for column 's'"};
  const std::vector<std::string> kept = {"1|10|ok", "4|40|fine"};
  const struct {
    const char* name;
    bool own_server;
    const char* engine;
    bool reader;  // a user with privileges on the database only
    std::vector<std::string> errors, rows;
  } cases[] = {
      {"sql_mode '', InnoDB", true, "InnoDB", false, refused, kept},
      {"sql_mode '', MyISAM", true, "MyISAM", false, refused, kept},
      {"read-only", true, "InnoDB", true,
       {"Table 't': the server refuses every record of it (The MariaDB server is running with the --read-only "
        "option"},
       {}},
      {"MyISAM on a server strict for transactional tables", false, "MyISAM", false, refused, kept},
  };
  for (const auto& c : cases) {
    e2e_server server = c.own_server ? own->server() : e2e_server::get();
    use_server(server);
    client->exec("CREATE DATABASE `" + db + "`");
    client->exec("CREATE TABLE `" + db + "`.`t` (id INT, n INT, s VARCHAR(5)) ENGINE=" + std::string(c.engine));
    if (c.reader) {
      client->exec("CREATE USER IF NOT EXISTS 'reader'@'127.0.0.1' IDENTIFIED BY 'reader-pw'");
      client->exec("GRANT ALL PRIVILEGES ON `" + db + "`.* TO 'reader'@'127.0.0.1'");
      server.user = "reader";
      server.password = "reader-pw";
      converter->store_mysql_settings(server.host, server.user, server.password, std::to_string(server.port));
      converter->connect_mysql_server();
    }
    converter->set_mode(3);
    dialogs->listed.clear();
    convert(file, 1, true, false);
    ASSERT_EQ(dialogs->listed.size(), c.errors.size()) << c.name;
    for (size_t i = 0; i < c.errors.size(); ++i)
      EXPECT_EQ(dialogs->listed[i].rfind(c.errors[i], 0), 0u) << c.name << ": " << dialogs->listed[i];
    std::vector<std::string> rows;
    for (const sql_row& row : table_rows("t", "id")) {
      const std::vector<std::string> values = texts(row);
      rows.push_back(values[0] + "|" + values[1] + "|" + values[2]);
    }
    EXPECT_EQ(rows, c.rows) << c.name;
  }
}

class CsvOverTls : public CsvIntoServer {
protected:
  static void SetUpTestSuite() {
    if (e2e_server::get().found)
      tls_only = std::make_unique<sql_private_server>("--with-tls --require-secure-transport=ON");
  }
  static void TearDownTestSuite() { tls_only.reset(); }
  void TearDown() override {
    if (home) ::setenv("HOME", home->c_str(), 1);
    CsvIntoServer::TearDown();
  }
  static inline std::unique_ptr<sql_private_server> tls_only;
  std::optional<std::string> home = std::getenv("HOME") ? std::optional<std::string>(std::getenv("HOME")) : std::nullopt;
};

// TLS wherever the server offers it, with no option file; the server's
// certificate verified when an option file asks; a handshake that fails where
// TLS was only asked for leaves the plain road (the trace tells). Each refusal
// has its own reason.
TEST_F(CsvOverTls, EachServerIsReachedAsItAndTheOptionFilesAsk) {
  ASSERT_TRUE(tls_only && tls_only->server().found);
  const std::string other_ca = (dir / "other-ca.pem").string();
  ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=other -keyout " +
                         (dir / "other-key.pem").string() + " -out " + other_ca + " >/dev/null 2>&1")
                            .c_str()),
            0);
  const std::string verified = "ssl-ca=" + tls_only->ca_file() + "\nssl-verify-server-cert=1\n";
  enum class target { tls_only, plain, broken_tls };
  const struct {
    const char* name;
    target server;
    std::string options;  // of the [Orvell MySQL Lib] group in ~/.my.cnf
    bool wrong_password;
    int code;  // of the refusal, 0 when the run converts
    const char* reason;
  } cases[] = {
      {"a TLS-only server", target::tls_only, "", false, 0, ""},
      {"a TLS-only server, its certificate verified", target::tls_only, verified, false, 0, ""},
      {"a server without TLS", target::plain, "", false, 0, ""},
      {"a server whose TLS handshake fails", target::broken_tls, "", false, 0, ""},
      {"an untrusted certificate", target::tls_only, "ssl-ca=" + other_ca + "\nssl-verify-server-cert=1\n", false,
       0x4007EA, "TLS/SSL error: self-signed certificate in certificate chain"},
      {"a server without TLS where a certificate must be verified", target::plain, "ssl-verify-server-cert=1\n",
       false, 0x4007EA, "TLS/SSL error: SSL is required, but the server does not support it"},
      {"a wrong password", target::tls_only, "", true, 0x400415,
       "Access denied. Verify the user name and password are correct"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::filesystem::path folder = dir / ("home" + std::to_string(++n));
    std::filesystem::create_directories(folder);
    if (!c.options.empty()) std::ofstream(folder / ".my.cnf") << "[Orvell MySQL Lib]\n" << c.options;
    ::setenv("HOME", folder.c_str(), 1);
    const e2e_server& server = c.server == target::tls_only ? tls_only->server() : e2e_server::get();
    tcp_relay relay(server.host, server.port);
    if (c.server == target::broken_tls) relay.break_next_tls();
    const std::string log = (folder / "trace.log").string();
    tk_trace_log trace(log.c_str(), true, 3, false);
    client = std::make_unique<check_client>(server);
    client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    converter->store_mysql_settings(server.host, server.user, c.wrong_password ? "wrong" : server.password,
                                    std::to_string(c.server == target::broken_tls ? relay.port() : server.port));
    try {
      converter->connect_mysql_server();
      EXPECT_EQ(c.code, 0) << c.name << ": connected";
    } catch (const sql_exception& e) {
      EXPECT_EQ(e.get_code(), c.code) << c.name << ": " << e.what();
      EXPECT_NE(handler->message_for(e).find(c.reason), std::string::npos) << c.name << ": " << handler->message_for(e);
      continue;
    }
    dialogs->listed.clear();
    convert("a;b\n1;x\n2;y\n", 1, true, false);
    EXPECT_TRUE(dialogs->listed.empty()) << c.name << ": " << dialogs->listed.front();
    EXPECT_EQ(table_rows("t").size(), 2u) << c.name;
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    EXPECT_EQ(text.str().find("The TLS handshake failed") != std::string::npos, c.server == target::broken_tls)
        << c.name << ":\n" << text.str();
    if (c.server == target::broken_tls) {
      EXPECT_TRUE(relay.faulted());
    }
  }
}

}  // namespace
