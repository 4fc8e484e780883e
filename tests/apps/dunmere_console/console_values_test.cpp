// What a value of a CSV file or a workbook means once stored: the same date
// whatever the session's language, the same text whatever the column's code
// page, the same missing value for a blank field, whichever road (bulk load
// or statement) its record takes.
#include <xlsxwriter.h>

#include <cstdlib>
#include <map>

#include "tests/apps/dunmere_console/console_env.h"

namespace {

class ValueRun : public console_test {
 protected:
  console_result run_as(const std::string& user, const std::string& password, std::vector<std::string> args) {
    std::vector<std::string> all{"--host=127.0.0.1," + std::to_string(server->port()), "--user=" + user,
                                 "--pswd=" + password};
    all.insert(all.end(), args.begin(), args.end());
    return run_console(dir, all);
  }
  // The values of one column of a table, row by row.
  std::vector<std::string> column(const std::string& db, const std::string& name, std::size_t at) {
    std::vector<std::string> out;
    for (const auto& row : table(db, name)) out.push_back(row.at(at));
    return out;
  }
};

// FreeTDS's configuration files a user keeps: the one FREETDSCONF names is
// read for the session's language, which our own configuration leaves alone.
class freetds_conf_scope {
 public:
  explicit freetds_conf_scope(const std::string& path) {
    if (!path.empty()) setenv("FREETDSCONF", path.c_str(), 1);
  }
  ~freetds_conf_scope() { unsetenv("FREETDSCONF"); }
};

TEST_F(ValueRun, ADateMeansTheSameInEverySessionLanguageOnBothRoads) {
  server->add_login("brit", "Brit-Pass-1", true);
  server->execute("ALTER LOGIN [brit] WITH DEFAULT_LANGUAGE = british");
  write("british.conf", "[global]\n\tlanguage = british\n");
  write("none.conf", "[global]\n\tlanguage =\n");
  // The second record of each goes by statement: an empty text (CSV), a
  // number of days into a datetime column (workbook).
  write("d.csv", "id;name;day\n1;a;05/06/2004\n2;;05/06/2004\n");
  const std::string book = path("d.xlsx");
  lxw_workbook* wb = workbook_new(book.c_str());
  lxw_worksheet* sheet = workbook_add_worksheet(wb, "w");
  worksheet_write_string(sheet, 0, 0, "id", nullptr);
  worksheet_write_string(sheet, 0, 1, "day", nullptr);
  worksheet_write_string(sheet, 0, 2, "at", nullptr);
  for (int r = 1; r <= 2; ++r) {
    worksheet_write_number(sheet, static_cast<lxw_row_t>(r), 0, r, nullptr);
    worksheet_write_string(sheet, static_cast<lxw_row_t>(r), 1, "05/06/2004", nullptr);
  }
  worksheet_write_number(sheet, 2, 2, 38113, nullptr);
  workbook_close(wb);

  const struct {
    const char* session;
    const char* user;
    const char* password;
    const char* conf;
    const char* login_language;  // what the login record names
  } sessions[] = {{"us_english", "sa", "", "", "us_english"},
                  {"a freetds.conf language", "sa", "", "british.conf", "british"},
                  {"the login's default language", "brit", "Brit-Pass-1", "none.conf", ""}};
  for (const auto& s : sessions) {
    SCOPED_TRACE(s.session);
    const std::string db = std::string("d") + std::to_string(&s - sessions);
    server->execute("CREATE DATABASE [" + db + "]");
    server->execute("CREATE TABLE c (id int, name nvarchar(10), day datetime)", db);
    server->execute("CREATE TABLE w (id int, day datetime, at datetime)", db);
    const std::string password = *s.password ? s.password : server->password();
    freetds_conf_scope conf(*s.conf ? path(s.conf) : "");
    console_result csv = run_as(s.user, password,
                                {"--src=" + path("d.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=c",
                                 "--dest=" + db, "--mode=3"});
    EXPECT_EQ(csv.exit_code, 0) << csv.out << csv.err;
    EXPECT_EQ(server->logins_received().back().language, s.login_language);
    console_result xls = run_as(s.user, password, {"--src=" + book, "--dest=" + db, "--extr_fn", "--mode=3"});
    EXPECT_EQ(xls.exit_code, 0) << xls.out << xls.err;
    const std::vector<std::string> may_6{"2004-05-06 00:00:00.000", "2004-05-06 00:00:00.000"};
    EXPECT_EQ(column(db, "c", 2), may_6);
    EXPECT_EQ(column(db, "w", 1), may_6);
  }
}

// Cyrillic text into a Cyrillic varchar column of a database of the default
// (Latin) collation: stored as the server stores it from a Unicode literal,
// by bulk load (whose bytes the server reads in the database's code page) and
// by statement alike; a character the column's code page lacks costs its
// record, never a silent '?'.
TEST_F(ValueRun, TextIntoAVarcharColumnIsHeldInTheCodePageOfItsCollationOnBothRoads) {
  server->execute("CREATE DATABASE ru");
  server->execute("CREATE TABLE t (id int, name varchar(50) COLLATE Cyrillic_General_CI_AS, note nvarchar(10))", "ru");
  const std::string hello = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD0\xBC\xD0\xB8\xD1\x80";  // Привет мир
  server->execute("INSERT INTO t VALUES (0, N'" + hello + "', N'server')", "ru");
  const std::string gruesse = "Gr\xC3\xBC\xC3\x9F" "e";  // Grüße: ü and ß are not in code page 1251
  // Records 2 and 5 go by statement (an empty note).
  write("ru.csv", "id;name;note\n1;" + hello + ";x\n2;" + hello + ";\n3;plain;x\n4;" + gruesse + ";x\n5;" + gruesse +
                      ";\n");
  console_result r = run({"--src=" + path("ru.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=t",
                          "--dest=ru", "--mode=3"});
  EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
  const std::string refusal = "The value '" + gruesse +
                              "' of column 'name' has a character that the column's code page (1251) cannot hold: "
                              "'\xC3\xBC'.";
  std::size_t refusals = 0;
  for (std::size_t at = r.out.find(refusal); at != std::string::npos; at = r.out.find(refusal, at + 1)) ++refusals;
  EXPECT_EQ(refusals, 2u) << r.out;
  // The bytes of each record's name (rows by statement follow the batch they
  // were read in).
  std::map<std::string, std::string> stored;
  const auto rows = server->rows("ru", "t");
  const std::vector<std::string> ids = column("ru", "t", 0);
  for (std::size_t i = 0; i < rows.size(); ++i) stored[ids[i]] = rows[i][1].bytes;
  const std::string by_server = stored["0"];
  EXPECT_EQ(stored, (std::map<std::string, std::string>{{"0", by_server}, {"1", by_server}, {"2", by_server},
                                                        {"3", "plain"}}));
  EXPECT_EQ(column("ru", "t", 1)[0], hello);
}

// Every record of a CSV file is stored or named: a line shorter than the
// first gets NULL for the fields it lacks, a field name no SQL Server name
// can carry (NUL) is made one with '_', and a record the table refuses is
// named with its table and number.
TEST_F(ValueRun, EveryRecordOfACsvFileIsStoredOrNamed) {
  server->execute("CREATE DATABASE kept");
  server->execute("CREATE TABLE typed (id int, n int)", "kept");
  const struct {
    const char* name;
    std::string text;
    const char* table;
    rows_t rows;
    std::vector<std::string> columns;
    const char* error;  // what the run reports (none: it exits 0)
  } cases[] = {
      {"a short line", "a;b;c\n1;2\n3;4;5\n", "short", {{"1", "2", "<null>"}, {"3", "4", "5"}},
       {"a nvarchar(255)", "b nvarchar(255)", "c nvarchar(255)"}, nullptr},
      {"a NUL in a field name", std::string("id;na\0me;x\n1;a;b\n2;;c\n", 22), "nul", {{"1", "a", "b"}, {"2", "", "c"}},
       {"id nvarchar(255)", "na_me nvarchar(255)", "x nvarchar(255)"}, nullptr},
      {"a record the table refuses", "id;n\n1;x\n2;3\n", "typed", {{"2", "3"}}, {"id int", "n int"},
       "Error:\ntyped, record #1: The value 'x' of column 'n' is not a number.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    write("v.csv", c.text);
    const console_result r = run({"--src=" + path("v.csv"), "--from_csv", "--extr_fn", "--csv_delim=1",
                                  std::string("--tab_name=") + c.table, "--dest=kept", "--mode=3"});
    EXPECT_EQ(r.exit_code, c.error ? 255 : 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Converting CSV file " + path("v.csv") + "\n" + (c.error ? c.error : ""));
    EXPECT_EQ(table("kept", c.table), c.rows);
    EXPECT_EQ(column_types("kept", c.table), c.columns);
  }
}

}  // namespace
