// Nothing is dropped that the run cannot create again: a table or database
// that the server would not let the run create anew is left as it is, with
// its rows, and the run says why.
#include <xlsxwriter.h>

#include "tests/apps/dunmere_console/console_env.h"

namespace {

class ReplaceRun : public console_test {
 protected:
  void SetUp() override {
    console_test::SetUp();
    // More columns than a SQL Server table holds (1,024): the server refuses
    // its CREATE TABLE (1702).
    std::string head = "id", row = "1";
    for (int c = 2; c <= 1100; ++c) head += ";c" + std::to_string(c), row += ";x";
    write("wide.csv", head + "\n" + row + "\n");
    write("narrow.csv", "id;name\n1;one\n");
    lxw_workbook* wb = workbook_new(path("book.xlsx").c_str());
    for (const char* name : {"small", "wide"}) {
      lxw_worksheet* sheet = workbook_add_worksheet(wb, name);
      worksheet_write_string(sheet, 0, 0, "id", nullptr);
      worksheet_write_number(sheet, 1, 0, 1, nullptr);
    }
    workbook_close(wb);
    server->execute("CREATE DATABASE shop");
    server->execute("CREATE TABLE wide (id int)", "shop");
    server->execute("INSERT INTO wide VALUES (7)", "shop");
    server->execute("CREATE TABLE other (x int)", "shop");
    // Logins that may drop what they could not create again: the database's
    // owner without the right to create databases; a user who may change and
    // drop the tables of dbo but not create tables.
    server->add_login("keeper", "pw-Keeper-1");
    server->add_login("changer", "pw-Changer-1");
    server->execute("CREATE USER [keeper] FOR LOGIN [keeper]; EXEC sp_addrolemember 'db_owner', 'keeper'; "
                    "CREATE USER [changer] FOR LOGIN [changer]; GRANT ALTER ON SCHEMA::dbo TO [changer]",
                    "shop");
  }
};

TEST_F(ReplaceRun, ATableOrDatabaseTheServerWouldNotCreateAgainIsLeftAsItIs) {
  const std::string table_kept = "Table 'wide' was not replaced and keeps its rows: ";
  const std::string database_kept = "The database 'shop' was not dropped and keeps its tables: ";
  const struct {
    const char* name;
    const char* login;  // and its password
    const char* password;
    const char* source;
    const char* mode;
    std::string error;
  } cases[] = {
      {"too many columns, mode 1", "sa", nullptr, "wide.csv", "--mode=1",
       table_kept + "CREATE TABLE failed because column 'c1025' in table 'wide' exceeds the maximum of 1024 columns."},
      {"too many columns, mode 0", "sa", nullptr, "wide.csv", "--mode=0",
       database_kept + "its table 'wide' cannot be created again: CREATE TABLE failed because column 'c1025'"},
      {"no CREATE TABLE, mode 1", "changer", "pw-Changer-1", "narrow.csv", "--mode=1",
       table_kept + "CREATE TABLE permission denied in database 'shop'."},
      {"no CREATE TABLE, workbook, mode 1", "changer", "pw-Changer-1", "book.xlsx", "--mode=1",
       table_kept + "CREATE TABLE permission denied in database 'shop'."},
      {"no CREATE DATABASE, mode 0", "keeper", "pw-Keeper-1", "narrow.csv", "--mode=0",
       database_kept + "the login may not create it again"},
      {"no CREATE DATABASE, workbook, mode 0", "keeper", "pw-Keeper-1", "book.xlsx", "--mode=0",
       database_kept + "the login may not create it again"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args{"--host=127.0.0.1," + std::to_string(server->port()), std::string("--user=") + c.login,
                                  "--pswd=" + (c.password ? std::string(c.password) : server->password()),
                                  "--src=" + path(c.source), "--dest=shop", "--extr_fn", c.mode};
    if (std::string(c.source).find(".csv") != std::string::npos)
      args.insert(args.end(), {"--from_csv", "--csv_delim=1", "--tab_name=wide"});
    const console_result r = run_console(dir, args);
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_NE(r.out.find(c.error), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("orv_trial_"), std::string::npos) << r.out;
    EXPECT_EQ(table_rows("wide", "shop"), (rows_t{{"7"}}));
    EXPECT_EQ(server->tables("shop"), (std::vector<std::string>{"dbo.other", "dbo.wide"}));
  }
}

}  // namespace
