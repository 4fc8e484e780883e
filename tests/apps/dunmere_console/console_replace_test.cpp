// Nothing is dropped that the run cannot create again: a table or database
// that the server would not let the run create anew is left as it is, with
// its rows, and the run says why.
#include "tests/apps/dunmere_console/console_env.h"

namespace {

// More columns than a SQL Server table holds (1,024): the server refuses its
// CREATE TABLE (1702).
constexpr int too_many_columns = 1100;

class ReplaceRun : public console_test {
 protected:
  void SetUp() override {
    console_test::SetUp();
    std::string head = "id", row = "1";
    for (int c = 2; c <= too_many_columns; ++c) head += ";c" + std::to_string(c), row += ";x";
    write("wide.csv", head + "\n" + row + "\n");
    server->execute("CREATE DATABASE shop");
    server->execute("CREATE TABLE wide (id int)", "shop");
    server->execute("INSERT INTO wide VALUES (7)", "shop");
    server->execute("CREATE TABLE other (x int)", "shop");
  }
};

TEST_F(ReplaceRun, ATableOrDatabaseTheServerWouldNotCreateAgainIsLeftAsItIs) {
  const struct {
    const char* name;
    const char* mode;
    const char* error;  // how the error begins
  } cases[] = {
      {"CSV, mode 1", "--mode=1", "Error:\nTable 'wide' was not replaced and keeps its rows: CREATE TABLE failed"},
      {"CSV, mode 0", "--mode=0",
       "Error:\nThe database 'shop' was not dropped and keeps its tables: its table 'wide' cannot be created again: "
       "CREATE TABLE failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const console_result r = run({"--src=" + path("wide.csv"), "--from_csv", "--extr_fn", "--csv_delim=1",
                                  "--tab_name=wide", "--dest=shop", c.mode});
    EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
    EXPECT_EQ(r.out.rfind(c.error, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("exceeds the maximum of 1024 columns"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("orv_trial_"), std::string::npos) << r.out;
    EXPECT_EQ(table_rows("wide", "shop"), (rows_t{{"7"}}));
    EXPECT_EQ(server->tables("shop"), (std::vector<std::string>{"dbo.other", "dbo.wide"}));
  }
}

}  // namespace
