// Where the rows go on the server: logins other than sa and their default
// schemas run after run in every mode, names longer than the server holds, and
// a database whose name does not fit the login record.
#include <xlsxwriter.h>

#include "tests/apps/dunmere_console/console_env.h"
#include "workbook_fixtures.h"

namespace {

class DestRun : public console_test {
 protected:
  void write_workbook(const std::string& name, const std::string& sheet, const std::vector<std::string>& head,
                      int rows) {
    lxw_workbook* book = workbook_new(path(name).c_str());
    lxw_worksheet* s = workbook_add_worksheet(book, sheet.c_str());
    for (std::size_t c = 0; c < head.size(); ++c)
      worksheet_write_string(s, 0, static_cast<lxw_col_t>(c), head[c].c_str(), nullptr);
    for (int r = 1; r <= rows; ++r) {
      worksheet_write_number(s, static_cast<lxw_row_t>(r), 0, r, nullptr);
      worksheet_write_string(s, static_cast<lxw_row_t>(r), 1, ("name " + std::to_string(r)).c_str(), nullptr);
    }
    workbook_close(book);
  }
};

// A login "loader" whose user's default schema is dbo and one "etl" whose is
// etl, with and without "connect as database owner"; on SQL Server 2000,
// which owns tables by the database user's name: "loader", a sysadmin other
// than sa (its tables are dbo's) and a login mapped to a user of another name
// (sp_adduser). Three runs in a row of the same CSV file and workbook, in each
// of the modes that keep the database.
TEST_F(DestRun, LoginsOtherThanSaConvertAgainAndAgainInEveryMode) {
  server->add_login("loader", "pw-Loader-1");
  server->add_login("etl", "pw-Etl-1");
  server->add_login("admin2", "pw-Admin-2", true);
  server->add_login("mapped", "pw-Mapped-1");
  write("people.csv", "id,name\n1,Ann\n2,Bo\n3,Cy\n");
  write_workbook("people.xlsx", "people", {"id", "name"}, 3);
  struct login_case {
    const char *login, *password;
    bool as_dbo;
    const char* owner;  // of the tables the runs make
    bool sql_server_2000 = false;
  };
  const login_case logins[] = {
      {"loader", "pw-Loader-1", false, "dbo"},
      {"loader", "pw-Loader-1", true, "dbo"},
      {"etl", "pw-Etl-1", false, "etl"},
      {"etl", "pw-Etl-1", true, "dbo"},
      {"loader", "pw-Loader-1", false, "loader", true},
      {"loader", "pw-Loader-1", true, "dbo", true},
      {"admin2", "pw-Admin-2", false, "dbo", true},
      {"mapped", "pw-Mapped-1", false, "worker", true},
  };
  const std::pair<int, std::size_t> modes[] = {{1, 3}, {2, 3}, {3, 9}};  // rows after three runs
  int n = 0;
  for (const auto& k : logins) {
    for (bool csv : {true, false}) {
      for (const auto& [mode, rows] : modes) {
        const std::string db = "d" + std::to_string(++n);
        SCOPED_TRACE(std::string(k.login) + (k.sql_server_2000 ? " 2000" : "") + (k.as_dbo ? " as dbo" : "") + (csv ? " csv" : " workbook") + " mode " +
                     std::to_string(mode));
        server->set_version(k.sql_server_2000 ? tds::version_2000 : tds::version_2019);
        server->execute("CREATE DATABASE [" + db + "]");
        if (k.sql_server_2000) {
          server->execute("EXEC sp_adduser 'loader'; GRANT CREATE TABLE TO [loader]; "
                          "EXEC sp_addrolemember 'db_ddladmin', 'loader'; "
                          "EXEC sp_adduser 'mapped', 'worker'; GRANT CREATE TABLE TO [worker]",
                          db);
        } else {
          server->execute("CREATE USER [loader] FOR LOGIN [loader]; "
                          "CREATE USER [etl_user] FOR LOGIN [etl] WITH DEFAULT_SCHEMA = [etl]; "
                          "GRANT CREATE TABLE TO [loader], [etl_user]; GRANT ALTER ON SCHEMA::dbo TO [loader], [etl_user]",
                          db);
          server->execute("CREATE SCHEMA [etl] AUTHORIZATION [etl_user]", db);
        }
        std::vector<std::string> args = {"--host=127.0.0.1," + std::to_string(server->port()),
                                         std::string("--user=") + k.login, std::string("--pswd=") + k.password,
                                         "--dest=" + db, "--mode=" + std::to_string(mode), "--extr_fn"};
        if (k.as_dbo) args.push_back("--as_dbo");
        if (csv) {
          args.insert(args.end(), {"--src=" + path("people.csv"), "--from_csv", "--csv_delim=2", "--tab_name=people"});
        } else {
          args.push_back("--src=" + path("people.xlsx"));
        }
        for (int run = 1; run <= 3; ++run) {
          const console_result r = run_console(dir, args);
          ASSERT_EQ(r.exit_code, 0) << "run " << run << ": " << r.out << r.err;
        }
        EXPECT_EQ(server->tables(db), std::vector<std::string>{std::string(k.owner) + ".people"});
        EXPECT_EQ(server->row_count(db, "people", k.owner), rows);
      }
    }
  }
}

// A table name (--tab_name), a worksheet name and headings of 200
// characters: the names are cut to what the server holds and every row
// arrives, a value that widens its column included.
TEST_F(DestRun, NamesLongerThanTheServerHoldsAreShortened) {
  const std::string heading(200, 'h');
  const std::string tab_name(200, 't');
  write("long.csv", "id," + heading + "\n1,a\n2," + std::string(300, 'b') + "\n");
  // A package written by hand: workbook writers keep worksheet names to 31 characters.
  auto cell = [](const std::string& t) { return "<c t=\"inlineStr\"><is><t>" + t + "</t></is></c>"; };
  fixtures::write_package(path("long.xlsx"),
                          fixtures::sheets_package({{std::string(200, 's'), "<row>" + cell("id") + cell(heading) +
                                                                                "</row><row>" + cell("1") + cell("a") +
                                                                                "</row><row>" + cell("2") + cell("b") +
                                                                                "</row>"}}));
  struct source_case {
    std::vector<std::string> args;
    std::string table;
  };
  const source_case sources[] = {
      {{"--src=" + path("long.csv"), "--from_csv", "--csv_delim=2", "--tab_name=" + tab_name}, std::string(127, 't')},
      {{"--src=" + path("long.xlsx")}, std::string(127, 's')},
  };
  for (const auto& c : sources) {
    SCOPED_TRACE(c.table.substr(0, 5));
    std::vector<std::string> args = login();
    args.insert(args.end(), {"--dest=longnames", "--mode=1", "--extr_fn"});
    args.insert(args.end(), c.args.begin(), c.args.end());
    const console_result r = run_console(dir, args);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    ASSERT_TRUE(server->has_table("longnames", c.table));
    EXPECT_EQ(server->row_count("longnames", c.table), 2u);
    EXPECT_EQ(column_types("longnames", c.table)[1].substr(0, 128), std::string(127, 'h') + " ");
  }
}

// A database named with 70 Cyrillic letters (140 bytes in UTF-8, more than
// the login record holds), there before the run or created by it: the rows
// go there, none into master.
TEST_F(DestRun, ADatabaseWhoseNameDoesNotFitTheLoginRecord) {
  write("people.csv", "id,name\n1,Ann\n2,Bo\n");
  for (bool exists : {true, false}) {
    SCOPED_TRACE(exists ? "existing" : "created");
    std::string name;
    for (int i = 0; i < 70; ++i) name += exists ? "\xD0\x96" : "\xD0\x94";  // Ж, Д
    if (exists) server->execute("CREATE DATABASE [" + name + "]");
    const console_result r = run({"--src=" + path("people.csv"), "--from_csv", "--csv_delim=2", "--extr_fn",
                                  "--tab_name=people", "--dest=" + name, "--mode=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(server->row_count(name, "people"), 2u);
    EXPECT_TRUE(server->tables("master").empty());
  }
}

}  // namespace
