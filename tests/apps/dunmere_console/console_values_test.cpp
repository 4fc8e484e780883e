// What a value of a CSV file or a workbook means once stored: the same date
// whatever the session's language, the same text whatever the column's code
// page, the same missing value for a blank field, whichever road (bulk load
// or statement) its record takes.
#include <xlsxwriter.h>

#include <cstdlib>

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

}  // namespace
