// Login, the login answer, the knobs that refuse it, and FreeTDS's own tsql.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>

#include "tests/support/tds_server/tests/tds_server_env.h"
#include "tests/support/test_dir.h"

extern char** environ;

using tds_test::has_message;
using tds_test::messages;

TEST_F(tds_server_test, login_answers_and_runs_a_batch) {
  auto c = connect();
  ASSERT_TRUE(c->ok());
  auto rows = c->rows("SELECT @@VERSION");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], tds::version_2019);
  EXPECT_EQ(c->rows("SELECT DB_NAME()").at(0).at(0), "master");
  EXPECT_TRUE(has_message(5701));
}

TEST_F(tds_server_test, wrong_password_gets_18456_alone) {
  auto c = connect("", false, "wrong");
  EXPECT_FALSE(c->ok());
  ASSERT_FALSE(messages().empty());
  EXPECT_EQ(messages()[0].number, 18456);
  EXPECT_EQ(messages()[0].severity, 14);
  EXPECT_EQ(messages()[0].text, "Login failed for user 'sa'.");
  EXPECT_FALSE(has_message(4060));
  EXPECT_TRUE(has_message(20002));
}

TEST_F(tds_server_test, missing_or_closed_database_gets_4060_then_18456) {
  for (const char* db : {"nowhere", "closed"}) {
    srv().set_inaccessible("closed", true);
    tds_test::clear_messages();
    auto c = connect(db);
    EXPECT_FALSE(c->ok());
    std::vector<tds_test::message> server;  // without the client's own errors (20000 and up)
    for (const auto& m : messages()) {
      if (m.number < 20000) server.push_back(m);
    }
    ASSERT_EQ(server.size(), 2u) << db;
    EXPECT_EQ(server[0].number, 4060);
    EXPECT_EQ(server[0].severity, 11);
    EXPECT_EQ(server[0].text, std::string("Cannot open database \"") + db + "\" requested by the login. The login failed.");
    EXPECT_EQ(server[1].number, 18456);
    EXPECT_TRUE(has_message(20002));
  }
  srv().set_inaccessible("closed", false);
  auto c = connect("closed");
  EXPECT_TRUE(c->ok());
}

TEST_F(tds_server_test, refused_logins_knob_and_version_knob) {
  srv().set_refuse_logins(true);
  EXPECT_FALSE(connect()->ok());
  EXPECT_TRUE(has_message(18456));
  srv().set_refuse_logins(false);
  srv().set_version(tds::version_2000);
  auto c = connect();
  ASSERT_TRUE(c->ok());
  EXPECT_EQ(c->rows("SELECT @@VERSION").at(0).at(0), tds::version_2000);
}

TEST_F(tds_server_test, tsql_logs_in_and_runs_a_batch) {
  const std::string cmd = "printf 'CREATE DATABASE d1\\ngo\\nUSE d1\\ngo\\nCREATE TABLE x (a int, b nvarchar(10))\\ngo\\n"
                          "INSERT INTO x VALUES (7, N'\\''seven'\\'')\\ngo\\nSELECT * FROM x\\ngo\\nSELECT @@VERSION\\ngo\\n' | "
                          "TDSVER=7.4 tsql -H 127.0.0.1 -p " + std::to_string(srv().port()) + " -U sa -P orv-Test-1 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  ::pclose(p);
  EXPECT_NE(out.find("7\tseven"), std::string::npos) << out;
  EXPECT_NE(out.find("Microsoft SQL Server 2019"), std::string::npos) << out;
  EXPECT_EQ(srv().row_count("d1", "x"), 1u);
  // tsql's login record asks for FreeTDS's default language, as db-lib's does.
  EXPECT_EQ(srv().logins_received().back().language, "us_english");
  EXPECT_TRUE(srv().logins_received().back().odbc);
}

// The program, as scripts/tds-server starts it, with knobs on its command line.
TEST(tds_server_program, serves_with_the_knobs_of_its_command_line_and_stops_on_sigterm) {
  test_dir dir;
  const std::string port_file = (dir / "port").string();
  std::vector<std::string> args = {ORV_TDS_SERVER_BIN, "--port-file", port_file, "--password", "pw", "--version", "2005",
                                   "--database", "orv", "--inaccessible", "closed", "--login", "loader=pw=2",
                                   "--login-language", "loader=British", "--dbcreator-login", "maker=pw",
                                   "--lock-timeout", "1500"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, ORV_TDS_SERVER_BIN, nullptr, nullptr, argv.data(), environ), 0);
  std::string port;
  for (int k = 0; k < 200 && port.empty(); ++k) {
    std::ifstream in(port_file);
    std::getline(in, port);
    if (port.empty()) ::usleep(20000);
  }
  ASSERT_FALSE(port.empty());
  {
    tds_test::connection c("127.0.0.1", std::stoi(port), "sa", "pw", "orv");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.rows("SELECT @@VERSION").at(0).at(0), tds::version_2005);
    ASSERT_TRUE(c.exec("CREATE USER [loader]"));
    tds_test::connection loader("127.0.0.1", std::stoi(port), "loader", "pw=2", "orv");
    EXPECT_TRUE(loader.ok());
    tds_test::connection maker("127.0.0.1", std::stoi(port), "maker", "pw");
    EXPECT_TRUE(maker.exec("CREATE DATABASE made"));
    EXPECT_EQ(c.rows("SELECT @@LOCK_TIMEOUT").at(0).at(0), "1500");
    tds_test::clear_messages();
    tds_test::connection closed("127.0.0.1", std::stoi(port), "sa", "pw", "closed");
    EXPECT_FALSE(closed.ok());
    EXPECT_TRUE(has_message(4060));
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
