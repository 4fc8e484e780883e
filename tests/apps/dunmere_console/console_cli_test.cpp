// The program's command line, output channels and exit codes: the usage,
// every validation message, --silent, --logfile=, profiles, a refused login
// and an unreachable server.
#include "tests/apps/dunmere_console/console_env.h"

namespace {

class ConsoleCli : public console_test {
protected:
  // A run without the login arguments.
  console_result bare(std::vector<std::string> args) { return run_console(dir, args); }
  std::vector<std::string> csv_args(const std::string& table = "t") {
    write("a.csv", "id;name\n1;one\n");
    return {"--src=" + path("a.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=" + table, "--dest=cli"};
  }
};

TEST_F(ConsoleCli, UsageOnStandardErrorWithExitCodeMinusOne) {
  console_result none = bare({});
  EXPECT_EQ(none.exit_code, 255);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err.rfind("dunmere_console 1.0", 0), 0u) << none.err;
  EXPECT_NE(none.err.find("Usage: dunmere_console.EXE OPTIONS\n"), std::string::npos);
  EXPECT_EQ(none.err.substr(none.err.size() - 3), ".\n\n");
  EXPECT_EQ(bare({"--src=a", "--help", "--dest=d"}).err, none.err);
  EXPECT_EQ(bare({"--src", "a"}).err, none.err);
  console_result quiet = bare({"--silent", "--help"});
  EXPECT_EQ(quiet.exit_code, 255);
  EXPECT_EQ(quiet.out + quiet.err, "");
}

TEST_F(ConsoleCli, EveryValidationMessage) {
  struct expectation {
    std::vector<std::string> args;
    std::string message;
  };
  write("a.csv", "x\n");
  const std::string src = "--src=" + path("a.csv");
  const std::vector<expectation> cases = {
      {{"--dest=d"}, "You should enter data source name"},
      {{src}, "You should enter destination MS SQL database name"},
      {{src, "--dest=d", "--from_csv", "--csv_delim=1"}, "You should specify MS SQL table name (use '--tab_name' option)"},
      {{src, "--dest=d", "--from_csv", "--tab_name=t"}, "You should specify CSV delimiter (use '--csv_delim' option)"},
      {{"--mode=4"}, "Invalid merge/overwrite mode"},
      {{"--csv_delim=9"}, "Invalid CSV delimiter"},
      {{"--tab_file=" + path("none.txt")}, "Table names file does not exist.\nPlease verify the correct path/name was given."},
  };
  for (const auto& c : cases) {
    console_result r = bare(c.args);
    EXPECT_EQ(r.exit_code, 255) << c.message;
    EXPECT_EQ(r.err, c.message + "\n") << c.message;
    EXPECT_EQ(r.out, "");
  }
  // Errors of level 1 go to standard output, after "Error:".
  console_result log = bare({"--logfile=" + path("no/such/x.log")});
  EXPECT_EQ(log.exit_code, 255);
  EXPECT_EQ(log.out, "Error:\nLogfile path does not exist. Please verify the correct path was given.\n");
  console_result profile = bare({"--profile=" + path("none.prf")});
  EXPECT_EQ(profile.exit_code, 255);
  EXPECT_EQ(profile.out, "Error:\nProfile does not exist. Please verify the correct path/name was given.\n");
  console_result utf16 = bare({"--tab_file=" + path("u16.txt")});
  write("u16.txt", std::string("\xFF\xFE" "A\0", 4));
  utf16 = bare({"--tab_file=" + path("u16.txt")});
  EXPECT_EQ(utf16.exit_code, 255);
  EXPECT_EQ(utf16.out.rfind("Error:\n", 0), 0u) << utf16.out;
}

TEST_F(ConsoleCli, ARefusedLoginAndAnUnreachableServerEndWithMinusOne) {
  std::vector<std::string> wrong = {"--host=127.0.0.1," + std::to_string(server->port()), "--user=sa", "--pswd=wrong"};
  for (const auto& a : csv_args()) wrong.push_back(a);
  console_result refused = bare(wrong);
  EXPECT_EQ(refused.exit_code, 255);
  EXPECT_EQ(refused.out.rfind("Error:\n", 0), 0u) << refused.out;
  EXPECT_FALSE(server->has_database("cli"));

  const uint16_t port = server->port();
  server.reset();
  std::vector<std::string> gone = {"--host=127.0.0.1," + std::to_string(port), "--user=sa", "--pswd=x", "--silent"};
  for (const auto& a : csv_args()) gone.push_back(a);
  console_result unreachable = bare(gone);
  EXPECT_EQ(unreachable.exit_code, 255);
  EXPECT_EQ(unreachable.out + unreachable.err, "");
}

TEST_F(ConsoleCli, TheTraceLogHoldsTheRunButNoPassword) {
  std::vector<std::string> args = login();
  for (const auto& a : csv_args()) args.push_back(a);
  args.push_back("--logfile=" + path("run.log"));
  console_result r = bare(args);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const std::string log = test_dir::read(path("run.log"));
  EXPECT_NE(log.find("Conversion started on "), std::string::npos) << log;
  EXPECT_NE(log.find("Conversion ended on "), std::string::npos);
  EXPECT_EQ(log.find(server->password()), std::string::npos) << log;
  // The database does not exist yet: one line says so, no failed login.
  EXPECT_NE(log.find("database cli does not exist"), std::string::npos) << log;
  EXPECT_EQ(log.find("4060"), std::string::npos) << log;
  // Without --logfile= no log is written beside the program.
  EXPECT_FALSE(std::filesystem::exists(std::string(DUNMERE_CONSOLE) + ".log"));
}

// The profile's mode (written with blanks, as other ini files are) holds for the
// CSV file: a second run appends.
TEST_F(ConsoleCli, AProfileRunAndOptionsAfterItWin) {
  write("a.csv", "id;name\n1;one\n");
  write("run.prf", "[Generic settings]\nsrc=" + path("a.csv") + "\ndest=fromprofile\nmode = 3\n\n"
                   "[MS Excel settings]\nconvert from xls=0\nextract field names=1\n\n"
                   "[MS SQL Server settings]\nserver=127.0.0.1,1\nlogin=sa\npassword=wrong\n"
                   "windows authentication=0\n");
  // The profile's server is unreachable: the options after it name the test server.
  std::vector<std::string> args = {"--profile=" + path("run.prf"), "--csv_delim=1", "--tab_name=t"};
  for (const auto& a : login()) args.push_back(a);
  for (const rows_t& rows : {rows_t{{"1", "one"}}, rows_t{{"1", "one"}, {"1", "one"}}}) {
    console_result r = bare(args);
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(table("fromprofile", "t"), rows);
  }
  // Options before the profile give way to it.
  std::vector<std::string> before = login();
  before.insert(before.end(), {"--profile=" + path("run.prf"), "--csv_delim=1", "--tab_name=t", "--silent"});
  console_result r2 = bare(before);
  EXPECT_EQ(r2.exit_code, 255);
}

}  // namespace
