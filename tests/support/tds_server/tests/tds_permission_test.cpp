// Who may create, change and drop tables and databases, as SQL Server decides
// it: database and schema permissions, fixed roles, dbcreator; what
// HAS_PERMS_BY_NAME, IS_MEMBER and IS_SRVROLEMEMBER answer; SQL Server 2000's
// statement permissions.
#include "tests/support/tds_server/tests/tds_server_env.h"
#include "tests/support/tds_server/tests/tds_errors.h"

using tds_test::error;
using tds_test::run;

namespace {

const char* const password = "pw-Perm-1";

const error no_create_table{262, 14, 1, "CREATE TABLE permission denied in database 'd'."};

error not_found(int number, const std::string& object) {
  return {number, 16, 1, "Cannot find the object \"" + object + "\" because it does not exist or you do not have permissions."};
}

}  // namespace

TEST_F(tds_server_test, tables_and_databases_are_defined_by_those_with_the_permission) {
  for (const char* l : {"plain", "granted", "granted2", "ddl", "denied", "owner", "maker"}) srv().add_login(l, password);
  srv().execute("ALTER SERVER ROLE dbcreator ADD MEMBER [maker]");
  srv().execute("CREATE DATABASE d");
  srv().execute("CREATE USER plain; CREATE USER granted; CREATE USER granted2; CREATE USER ddl; CREATE USER denied; CREATE USER owner; "
                "GRANT CREATE TABLE TO granted, granted2; GRANT ALTER ON SCHEMA::dbo TO granted2; "
                "ALTER ROLE db_ddladmin ADD MEMBER ddl; EXEC sp_addrolemember 'db_ddladmin', 'denied'; DENY CREATE TABLE TO denied; "
                "EXEC sp_addrolemember 'db_owner', 'owner'; CREATE TABLE x (a int)",
                "d");
  struct statement_case {
    const char* login;
    std::string sql;
    std::vector<error> errors;
  } cases[] = {
      {"plain", "CREATE TABLE t1 (a int)", {no_create_table}},
      {"granted", "CREATE TABLE t1 (a int)",
       {{2760, 16, 1, "The specified schema name \"dbo\" either does not exist or you do not have permission to use it."}}},
      {"granted2", "CREATE TABLE t2 (a int)", {}},
      {"ddl", "CREATE TABLE t3 (a int)", {}},
      {"denied", "CREATE TABLE t4 (a int)", {no_create_table}},
      {"owner", "CREATE TABLE t5 (a int)", {}},
      {"plain", "DROP TABLE x", {{3701, 11, 1, "Cannot drop the table 'x', because it does not exist or you do not have permission."}}},
      {"plain", "ALTER TABLE x ADD b int", {not_found(4902, "x")}},
      {"plain", "ALTER TABLE dbo.nothere ADD b int", {not_found(4902, "dbo.nothere")}},
      {"plain", "TRUNCATE TABLE x", {not_found(4701, "x")}},
      {"plain", "CREATE INDEX ix ON x (a)", {not_found(1088, "x")}},
      {"ddl", "CREATE INDEX ix ON nothere (a)", {not_found(1088, "nothere")}},
      {"ddl", "TRUNCATE TABLE nothere", {not_found(4701, "nothere")}},
      {"plain", "INSERT INTO x VALUES (1)", {}},  // rows are open to every user
      {"ddl", "ALTER TABLE x ADD c int", {}},
      {"granted2", "DROP TABLE t2", {}},
      {"plain", "CREATE DATABASE e1", {{262, 14, 1, "CREATE DATABASE permission denied in database 'master'."}}},
      {"plain", "DROP DATABASE d", {{3701, 11, 1, "Cannot drop the database 'd', because it does not exist or you do not have permission."}}},
      {"plain", "GRANT CREATE TABLE TO plain", {{4613, 16, 1, "Grantor does not have GRANT permission."}}},
      {"maker", "CREATE DATABASE e2; DROP DATABASE e2", {}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.login) + ": " + k.sql);
    tds_test::connection c("127.0.0.1", srv().port(), k.login, password, std::string(k.login) == "maker" ? "" : "d");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(run(c, k.sql), k.errors);
  }
  EXPECT_EQ(srv().tables("d"), (std::vector<std::string>{"dbo.t3", "dbo.t5", "dbo.x"}));

  const char* const asked =
      "SELECT HAS_PERMS_BY_NAME('d', 'DATABASE', 'CREATE TABLE'), HAS_PERMS_BY_NAME('dbo', 'SCHEMA', 'ALTER'), "
      "HAS_PERMS_BY_NAME('dbo.x', 'OBJECT', 'ALTER'), HAS_PERMS_BY_NAME(NULL, NULL, 'CREATE ANY DATABASE'), "
      "IS_MEMBER('db_owner'), IS_MEMBER('db_ddladmin'), IS_SRVROLEMEMBER('dbcreator'), IS_SRVROLEMEMBER('sysadmin')";
  struct answer_case {
    const char* login;
    std::vector<std::string> answers;
  } answers[] = {
      {"plain", {"0", "0", "0", "0", "0", "0", "0", "0"}},
      {"granted", {"1", "0", "0", "0", "0", "0", "0", "0"}},
      {"granted2", {"1", "1", "1", "0", "0", "0", "0", "0"}},
      {"ddl", {"1", "1", "1", "0", "0", "1", "0", "0"}},
      {"denied", {"0", "1", "1", "0", "0", "1", "0", "0"}},
      {"owner", {"1", "1", "1", "0", "1", "0", "0", "0"}},
  };
  for (const auto& k : answers) {
    tds_test::connection c("127.0.0.1", srv().port(), k.login, password, "d");
    EXPECT_EQ(c.rows(asked).at(0), k.answers) << k.login;
  }
  tds_test::connection maker("127.0.0.1", srv().port(), "maker", password);
  EXPECT_EQ(maker.rows("SELECT HAS_PERMS_BY_NAME(NULL, NULL, 'CREATE ANY DATABASE'), IS_SRVROLEMEMBER('dbcreator')").at(0),
            (std::vector<std::string>{"1", "1"}));
  // The database permission CREATE DATABASE in master lets a login create
  // databases without giving it the server permission.
  srv().execute("CREATE USER [plain] FOR LOGIN [plain]; GRANT CREATE DATABASE TO [plain]", "master");
  {
    tds_test::connection plain("127.0.0.1", srv().port(), "plain", password);
    EXPECT_EQ(plain.rows("SELECT HAS_PERMS_BY_NAME(NULL, NULL, 'CREATE ANY DATABASE'), "
                         "HAS_PERMS_BY_NAME('master', 'DATABASE', 'CREATE DATABASE')")
                  .at(0),
              (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(run(plain, "CREATE DATABASE e4"), std::vector<error>{});
  }
  // A server permission granted in master: CREATE ANY DATABASE.
  srv().execute("GRANT CREATE ANY DATABASE TO [plain]");
  tds_test::connection plain("127.0.0.1", srv().port(), "plain", password);
  EXPECT_EQ(run(plain, "CREATE DATABASE e3"), std::vector<error>{});
}

TEST_F(tds_server_test, sql_server_2000_grants_statement_permissions_and_roles) {
  srv().set_version(tds::version_2000);
  srv().add_login("loader", password);
  srv().add_login("builder", password);
  srv().execute("CREATE DATABASE d");
  srv().execute("EXEC sp_adduser 'loader'; EXEC sp_adduser 'builder'; GRANT CREATE TABLE TO builder; "
                "EXEC sp_addrolemember 'db_ddladmin', 'builder'",
                "d");
  struct {
    const char* login;
    const char* sql;
    std::vector<error> errors;
  } cases[] = {
      {"loader", "CREATE TABLE t1 (a int)", {no_create_table}},
      {"builder", "CREATE TABLE t2 (a int)", {}},
      {"builder", "CREATE TABLE dbo.t3 (a int)", {}},
      {"loader", "SELECT HAS_PERMS_BY_NAME('d', 'DATABASE', 'CREATE TABLE')",
       {{195, 15, 1, "'HAS_PERMS_BY_NAME' is not a recognized built-in function name."}}},
      {"builder", "ALTER ROLE db_owner ADD MEMBER loader", {{102, 15, 1, "Incorrect syntax near 'ROLE'."}}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.login) + ": " + k.sql);
    tds_test::connection c("127.0.0.1", srv().port(), k.login, password, "d");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(run(c, k.sql), k.errors);
  }
  EXPECT_EQ(srv().tables("d"), (std::vector<std::string>{"builder.t2", "dbo.t3"}));
}
