// Logins, database owners, users, schemas and the owners of tables: what each
// login is inside a database, where its tables go, how its unqualified names
// resolve, what the catalog procedures list, and SQL Server 2000's owners.
#include "tests/support/tds_server/tests/tds_server_env.h"

using tds_test::has_message;
using tds_test::messages;

namespace {

tds_test::message last_error() {
  for (const auto& m : messages()) {
    if (m.number < 20000 && m.severity > 10) return m;
  }
  return {};
}

std::vector<std::string> owners_of(tds_test::connection& c, const std::string& call) {
  std::vector<std::string> out;
  for (const auto& r : c.rows(call)) out.push_back(r.at(1) + "." + r.at(2));
  return out;
}

}  // namespace

TEST_F(tds_server_test, each_login_works_as_its_user_in_its_default_schema) {
  srv().add_login("loader", "pw-Loader-1");
  srv().add_login("etl", "pw-Etl-1");
  srv().execute("CREATE DATABASE d");
  srv().execute("CREATE USER [loader] FOR LOGIN [loader]; CREATE USER [etl_user] FOR LOGIN [etl] WITH DEFAULT_SCHEMA = [etl]", "d");
  srv().execute("CREATE SCHEMA [etl] AUTHORIZATION [etl_user]", "d");
  srv().execute("GRANT CREATE TABLE TO [loader], [etl_user]; GRANT ALTER ON SCHEMA::dbo TO [loader]", "d");
  struct login_case {
    const char *login, *password, *schema, *user, *db_owner;
    const char* create_error;  // the number CREATE TABLE t gets, "" when it goes through
    const char* owner;         // of the table t the login's unqualified name finds
  };
  const login_case cases[] = {
      {"sa", "orv-Test-1", "dbo", "dbo", "1", "", "dbo"},
      {"loader", "pw-Loader-1", "dbo", "loader", "0", "2714", "dbo"},  // dbo.t is sa's
      {"etl", "pw-Etl-1", "etl", "etl_user", "0", "", "etl"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.login);
    tds_test::clear_messages();
    tds_test::connection c("127.0.0.1", srv().port(), k.login, k.password, "d");
    ASSERT_TRUE(c.ok());
    const auto who = c.rows("SELECT SCHEMA_NAME(), USER_NAME(), SUSER_SNAME(), IS_MEMBER('db_owner')");
    EXPECT_EQ(who, (std::vector<std::vector<std::string>>{{k.schema, k.user, k.login, k.db_owner}}));
    tds_test::clear_messages();
    EXPECT_EQ(c.exec("CREATE TABLE t (a int)"), *k.create_error == 0);
    EXPECT_EQ(std::to_string(last_error().number), *k.create_error ? k.create_error : "0");
    ASSERT_TRUE(c.exec(std::string("INSERT INTO t VALUES (1); INSERT INTO [") + k.owner + "].[t] VALUES (2)"));
    EXPECT_EQ(c.rows("SELECT COUNT(*) FROM t"), c.rows(std::string("SELECT COUNT(*) FROM d.") + k.owner + ".t"));
    // sp_tables lists every owner's t; the procedures that take one table find the login's.
    EXPECT_EQ(owners_of(c, "EXEC sp_tables @table_name = N't'").size(), std::string(k.owner) == "etl" ? 2u : 1u);
    EXPECT_EQ(owners_of(c, std::string("EXEC sp_tables @table_name = N't', @table_owner = N'") + k.owner + "'"),
              std::vector<std::string>{std::string(k.owner) + ".t"});
    EXPECT_EQ(owners_of(c, "EXEC sp_statistics @table_name = N't'").at(0), std::string(k.owner) + ".t");
    EXPECT_EQ(owners_of(c, "EXEC sp_columns @table_name = N't'"), std::vector<std::string>{std::string(k.owner) + ".t"});
  }
  EXPECT_EQ(srv().tables("d"), (std::vector<std::string>{"dbo.t", "etl.t"}));
  EXPECT_EQ(srv().row_count("d", "t"), 4u);
  EXPECT_EQ(srv().row_count("d", "t", "etl"), 2u);

  tds_test::connection etl("127.0.0.1", srv().port(), "etl", "pw-Etl-1", "d");
  tds_test::clear_messages();
  EXPECT_FALSE(etl.exec("CREATE TABLE [nowhere].[x] (a int)"));
  EXPECT_EQ(last_error().number, 2760);
  EXPECT_EQ(last_error().text, "The specified schema name \"nowhere\" either does not exist or you do not have permission to use it.");
  // A foreign key and a drop by unqualified names stay in the login's schema.
  ASSERT_TRUE(etl.exec("CREATE TABLE p (id int PRIMARY KEY); CREATE TABLE ch (pid int REFERENCES p (id))"));
  EXPECT_EQ(srv().foreign_keys("d", "ch", "etl").at(0).ref_owner, "etl");
  EXPECT_EQ(owners_of(etl, "EXEC sp_fkeys @pktable_name = N'p'"), std::vector<std::string>{"etl.p"});
  ASSERT_TRUE(etl.exec("DROP TABLE ch; DROP TABLE t"));
  EXPECT_EQ(srv().tables("d"), (std::vector<std::string>{"dbo.t", "etl.p"}));
}

TEST_F(tds_server_test, a_database_is_entered_as_its_creator_a_user_or_not_at_all) {
  srv().add_login("maker", "pw-Maker-1", false, true);  // a dbcreator
  srv().add_login("loader", "pw-Loader-1");
  {
    tds_test::connection maker("127.0.0.1", srv().port(), "maker", "pw-Maker-1");
    ASSERT_TRUE(maker.ok());
    EXPECT_EQ(maker.rows("SELECT USER_NAME(), SCHEMA_NAME()"), (std::vector<std::vector<std::string>>{{"guest", "guest"}}));
    ASSERT_TRUE(maker.exec("CREATE DATABASE mine; USE mine"));
    EXPECT_EQ(maker.rows("SELECT USER_NAME(), IS_MEMBER('db_owner')"), (std::vector<std::vector<std::string>>{{"dbo", "1"}}));
    tds_test::clear_messages();
    EXPECT_FALSE(maker.exec("CREATE LOGIN [x] WITH PASSWORD = N'pw'"));
    EXPECT_EQ(last_error().number, 15247);
  }
  struct entry_case { const char* password; int error; const char* text; };
  const entry_case cases[] = {
      {"wrong", 18456, "Login failed for user 'loader'."},
      {"pw-Loader-1", 4060, "Cannot open database \"mine\" requested by the login. The login failed."},
  };
  for (const auto& k : cases) {
    tds_test::clear_messages();
    tds_test::connection c("127.0.0.1", srv().port(), "loader", k.password, "mine");
    EXPECT_FALSE(c.ok());
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages()[0].number, k.error);
    EXPECT_EQ(messages()[0].text, k.text);
  }
  tds_test::connection loader("127.0.0.1", srv().port(), "loader", "pw-Loader-1");
  ASSERT_TRUE(loader.ok());
  tds_test::clear_messages();
  EXPECT_FALSE(loader.exec("USE mine"));
  EXPECT_EQ(last_error().number, 916);
  EXPECT_EQ(last_error().text, "The server principal \"loader\" is not able to access the database \"mine\" under the current security context.");
  // A login made by a statement, its user made by the owner: then it enters.
  srv().execute("CREATE LOGIN [late] WITH PASSWORD = N'pw-Late-1'");
  srv().execute("CREATE USER [late]", "mine");
  tds_test::connection late("127.0.0.1", srv().port(), "late", "pw-Late-1", "mine");
  EXPECT_TRUE(late.ok());
}

TEST_F(tds_server_test, sql_server_2000_owns_tables_by_user_name) {
  srv().set_version(tds::version_2000);
  srv().add_login("loader", "pw-Loader-1");
  srv().execute("CREATE DATABASE d");
  srv().execute("EXEC sp_adduser 'loader'; GRANT CREATE TABLE TO loader", "d");
  tds_test::connection c("127.0.0.1", srv().port(), "loader", "pw-Loader-1", "d");
  ASSERT_TRUE(c.ok());
  ASSERT_TRUE(c.exec("CREATE TABLE t (a int); INSERT INTO t VALUES (1)"));
  EXPECT_EQ(srv().tables("d"), std::vector<std::string>{"loader.t"});
  EXPECT_EQ(owners_of(c, "EXEC sp_tables @table_name = N't'"), std::vector<std::string>{"loader.t"});
  EXPECT_EQ(c.rows("SELECT USER_NAME()").at(0).at(0), "loader");
  tds_test::clear_messages();
  EXPECT_FALSE(c.exec("SELECT SCHEMA_NAME()"));
  EXPECT_EQ(last_error().number, 195);
  tds_test::clear_messages();
  EXPECT_FALSE(c.exec("CREATE TABLE [nobody].[x] (a int)"));
  EXPECT_EQ(last_error().number, 2760);
}
