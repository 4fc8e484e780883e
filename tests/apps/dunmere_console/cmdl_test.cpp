// The console's command line: the tokenizer, the options from left to right
// (profiles included), the validation messages, the worksheet list file.
#include <gtest/gtest.h>

#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "TK/tk_cmdli.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_db.h"
#include "UDB/udb_prof.h"
#include "UDB/udb_vali.h"
#include "apps/dunmere_console/con_cmdl.h"
#include "common/conv_driver.h"
#include "common/csv_util.h"
#include "common/error_handler.h"
#include "tests/support/idle_driver.h"
#include "platform/kernel/codepage.h"
#include "tests/support/test_dir.h"

namespace {


// What a profile of the test sets when it is loaded.
struct scripted_profile {
  std::wstring server, login, password, src;
  int windows_authentication = -1;  // -1: the profile has no such key
  std::wstring mode;                 // empty: no mode
  std::vector<std::wstring> sheets;
};

class fake_settings : public console_settings {
public:
  conversion_driver& driver() override { return conv; }
  mss_login_settings& connection() override { return login; }
  void set_as_dbo(bool on) override { as_dbo = on; }
  bool load_profile_file(const std::wstring& name) override {
    loaded.push_back(name);
    if (name == L"missing.prf") throw tk_exception("Profile does not exist. Please verify the correct path/name was given.", 1);
    if (!profile.server.empty()) login.server = profile.server;
    if (!profile.login.empty()) login.login = profile.login;
    if (!profile.password.empty()) login.password = profile.password;
    if (profile.windows_authentication >= 0) login.windows_authentication = profile.windows_authentication == 1;
    // The common settings as the drivers take them.
    udb_profile common;
    common.set_value(udb_profile::generic_section, L"src", profile.src);
    common.set_value(udb_profile::generic_section, L"mode", profile.mode);
    for (const auto& s : profile.sheets) common.set_value(udb_profile::selected_tables_section, s, L"");
    return conv.udb_converter::load_profile(common);
  }

  idle_driver conv;
  mss_login_settings login;
  bool as_dbo = false;
  scripted_profile profile;
  std::vector<std::wstring> loaded;
};

struct parse_result {
  bool ok = false;
  std::string exit_message;  // console_exit's text
};

parse_result parse(console_settings& settings, std::initializer_list<const char*> args) {
  std::vector<const char*> argv{"dunmere_console"};
  argv.insert(argv.end(), args);
  parse_result r;
  try {
    r.ok = parse_cmd_line(static_cast<int>(argv.size()), argv.data(), settings);
  } catch (const console_exit& e) {
    r.exit_message = e.what();
  }
  return r;
}

const tk_cmd_option k_table[] = {{0, "--a"}, {1, "--b="}, {2, "--bb="}, {0, ""}};

TEST(CmdLine, TokensTakeTheFirstMatchingPrefixAndTheRestIsTheValue) {
  const char* argv[] = {"prog", "--b=x=y", "--bb=1", "--abc", "free", "--B=no"};
  tk_cmd_line line(6, argv, k_table);
  std::vector<std::pair<int, std::string>> seen;
  for (; line.has_more(); line.next()) seen.emplace_back(line.get_id(), line.get_value());
  // "--bb=1" does not start with "--b=": the longer row takes it.
  EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{
                      {1, "x=y"}, {2, "1"}, {0, "bc"}, {-1, "free"}, {-1, "--B=no"}}));
  EXPECT_EQ(line.get_positional_count(), 2u);
  EXPECT_THROW(line.next(), tk_mail_assertion);
  EXPECT_THROW(line.get_id(), tk_mail_assertion);
  EXPECT_THROW(line.get_value(), tk_mail_assertion);
}

TEST(CmdLine, NoArgumentsAndMoreThanTwentyPositionalOnes) {
  const char* none[] = {"prog"};
  tk_cmd_line empty(1, none, k_table);
  EXPECT_FALSE(empty.has_more());
  std::vector<std::string> words(30, "w");
  std::vector<const char*> argv{"prog"};
  for (auto& w : words) argv.push_back(w.c_str());
  tk_cmd_line line(static_cast<int>(argv.size()), argv.data(), k_table);
  while (line.has_more()) line.next();
  EXPECT_EQ(line.get_positional_count(), 30u);
  EXPECT_EQ(line.get_positional().size(), tk_cmd_line::max_positional);
}

class Options : public ::testing::Test {
protected:
  void SetUp() override { handler = std::make_unique<error_handler>(dao_error_map_size, dao_error_map, error_handler::console_variant{}); }
  std::unique_ptr<error_handler> handler;
  fake_settings s;
  test_dir dir;
};

TEST_F(Options, ValidationMessagesInTheirOrder) {
  auto message = [](std::initializer_list<const char*> args) {
    fake_settings fresh;
    return parse(fresh, args).exit_message;
  };
  EXPECT_EQ(message({"--dest=db", "--from_csv"}), "You should enter data source name");
  EXPECT_EQ(message({"--src=a.csv", "--from_csv"}), "You should enter destination MS SQL database name");
  EXPECT_EQ(message({"--src=a.csv", "--dest=db", "--from_csv", "--csv_delim=1"}),
            "You should specify MS SQL table name (use '--tab_name' option)");
  EXPECT_EQ(message({"--src=a.csv", "--dest=db", "--from_csv", "--tab_name=t"}),
            "You should specify CSV delimiter (use '--csv_delim' option)");
  EXPECT_TRUE(parse(s, {"--src=a.csv", "--dest=db", "--from_csv", "--tab_name=t", "--csv_delim=2"}).ok);
  EXPECT_EQ(s.conv.delimiter_index, 2);
  EXPECT_EQ(s.conv.csv_table_name, L"t");
  EXPECT_FALSE(s.conv.from_xls);
}

TEST_F(Options, ModeAndDelimiterTakeOneDigitOnly) {
  for (const char* bad : {"--mode=01", "--mode=+1", "--mode=1x", "--mode=4", "--mode=-1", "--mode=", "--mode= 1"})
    EXPECT_EQ(parse(s, {bad}).exit_message, "Invalid merge/overwrite mode") << bad;
  for (const char* bad : {"--csv_delim=4", "--csv_delim=-1", "--csv_delim=", "--csv_delim=abc", "--csv_delim=01"})
    EXPECT_EQ(parse(s, {bad}).exit_message, "Invalid CSV delimiter") << bad;
  // The message comes at once: what follows is not looked at.
  EXPECT_EQ(parse(s, {"--mode=9", "--help"}).exit_message, "Invalid merge/overwrite mode");
  EXPECT_TRUE(parse(s, {"--src=a.csv", "--dest=d", "--from_csv", "--tab_name=t", "--csv_delim=0", "--mode=3"}).ok);
  EXPECT_EQ(s.conv.get_mode(), 3);
  EXPECT_EQ(s.conv.delimiter_index, 0);
}

// A CSV run without a mode runs in mode 1, and so with a profile's 0, which the
// wizard never saves for a CSV file; a profile's 1 to 3 holds, and the command line
// goes from left to right around the profile.
TEST_F(Options, TheModeOfACsvRunFromTheCommandLineAndAProfile) {
  struct {
    const wchar_t* profile_mode;  // empty: the profile has none
    std::vector<const char*> args;
    int expected;
  } cases[] = {
      {L"", {}, 1},
      {L"3", {"--profile=p.prf"}, 3},
      {L"2", {"--mode=0", "--profile=p.prf"}, 2},
      {L"0", {"--profile=p.prf"}, 1},
      {L"0", {"--mode=3", "--profile=p.prf"}, 1},
      {L"", {"--mode=2", "--profile=p.prf"}, 2},
      {L"3", {"--profile=p.prf", "--mode=0"}, 0},
      {L"", {"--mode=0"}, 0},
  };
  for (const auto& c : cases) {
    fake_settings t;
    t.profile.mode = c.profile_mode;
    std::vector<const char*> argv{"dunmere_console", "--src=a.csv", "--dest=d", "--from_csv", "--tab_name=t",
                                  "--csv_delim=1"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    ASSERT_TRUE(parse_cmd_line(static_cast<int>(argv.size()), argv.data(), t));
    EXPECT_EQ(t.conv.get_mode(), c.expected) << testing::PrintToString(c.args);
  }
  // A workbook keeps a profile's 0.
  s.profile.mode = L"0";
  s.profile.src = L"book.xlsx";
  EXPECT_TRUE(parse(s, {"--mode=2", "--profile=p.prf", "--dest=d", "--silent"}).ok);
  EXPECT_EQ(s.conv.get_mode(), 0);
}

TEST_F(Options, HelpAndPositionalArgumentsAndOptionsWithoutTheirEqualsSign) {
  EXPECT_EQ(parse(s, {"--src=a", "--help"}).exit_message, usage_text());
  EXPECT_NE(usage_text().find("Usage: dunmere_console.EXE OPTIONS\n\n   --as_dbo "), std::string::npos);
  EXPECT_NE(usage_text().find("3) If you omit 'tab_file' parameter, all worksheets will be converted.\n"),
            std::string::npos);
  parse_result r = parse(s, {"--src", "--dest=d"});
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.exit_message.empty());
  EXPECT_FALSE(parse(s, {"--SRC=a", "--dest=d"}).ok);
}

TEST_F(Options, FlagsAndTheirLongerSpellings) {
  EXPECT_TRUE(parse(s, {"--src=a.xlsx", "--dest=d", "--as_dbo", "--extr_fn", "--no_refine", "--silentium"}).ok);
  EXPECT_TRUE(s.as_dbo);
  EXPECT_TRUE(s.conv.x_fnames);
  EXPECT_FALSE(s.conv.refine_types);
  EXPECT_TRUE(s.conv.is_silent());
  EXPECT_TRUE(handler->is_quiet());
  EXPECT_TRUE(s.conv.from_xls);
  EXPECT_EQ(s.conv.get_mode(), 0);
}

TEST_F(Options, LoginRulesWithoutAProfile) {
  EXPECT_TRUE(parse(s, {"--src=a.xlsx", "--dest=d", "--host=srv"}).ok);
  EXPECT_TRUE(s.login.windows_authentication);
  EXPECT_EQ(s.login.server, L"srv");
  fake_settings t;
  EXPECT_TRUE(parse(t, {"--src=a.xlsx", "--dest=d", "--user=sa", "--pswd=pw"}).ok);
  EXPECT_FALSE(t.login.windows_authentication);
  EXPECT_EQ(t.login.login, L"sa");
  EXPECT_EQ(t.login.password, L"pw");
}

TEST_F(Options, ServerLoginAndPasswordGoStrictlyFromLeftToRightAroundAProfile) {
  s.profile.server = L"profile-server";
  s.profile.login = L"profile-login";
  s.profile.password = L"profile-password";
  s.profile.windows_authentication = 0;
  EXPECT_TRUE(parse(s, {"--host=before", "--user=u1", "--profile=p.prf", "--src=a.xlsx", "--dest=d", "--host=after"}).ok);
  EXPECT_EQ(s.login.server, L"after");
  EXPECT_EQ(s.login.login, L"profile-login");
  EXPECT_EQ(s.login.password, L"profile-password");
  EXPECT_FALSE(s.login.windows_authentication);

  // Windows authentication stays as the profile sets it unless a login or a
  // password follows.
  fake_settings t;
  t.profile.windows_authentication = 1;
  EXPECT_TRUE(parse(t, {"--user=u1", "--pswd=p1", "--profile=p.prf", "--src=a.xlsx", "--dest=d"}).ok);
  EXPECT_TRUE(t.login.windows_authentication);
  fake_settings u;
  u.profile.windows_authentication = 1;
  EXPECT_TRUE(parse(u, {"--profile=p.prf", "--user=u2", "--src=a.xlsx", "--dest=d"}).ok);
  EXPECT_FALSE(u.login.windows_authentication);
  EXPECT_EQ(u.login.login, L"u2");
  // A profile without the key keeps what the arguments before it chose.
  fake_settings v;
  EXPECT_TRUE(parse(v, {"--user=u3", "--profile=p.prf", "--src=a.xlsx", "--dest=d"}).ok);
  EXPECT_FALSE(v.login.windows_authentication);
}

TEST_F(Options, AMissingProfileIsALevelOneError) {
  try {
    parse(s, {"--profile=missing.prf"});
    FAIL();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 1);
  }
}

TEST_F(Options, LogFileOptions) {
  EXPECT_TRUE(parse(s, {"--logfile=", "--src=a.xlsx", "--dest=d"}).ok);
  EXPECT_TRUE(s.conv.get_logfile().empty());
  try {
    parse(s, {"--logfile=/no/such/folder/x.log"});
    FAIL();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 1);
    EXPECT_STREQ(e.what(), "Logfile path does not exist.\nPlease verify the correct path was given.");
  }
}

TEST_F(Options, ThePasswordNeverReachesTheTraceLog) {
  const std::string log = (dir / "trace.log").string();
  tk_trace_log trace(log.c_str(), true, 1, false);
  EXPECT_TRUE(parse(s, {"--pswd=Secret#1", "--src=a.xlsx", "--dest=d", "--user=u"}).ok);
  const std::string text = test_dir::read(log);
  EXPECT_NE(text.find("--pswd=***"), std::string::npos);
  EXPECT_EQ(text.find("Secret#1"), std::string::npos);
}

TEST_F(Options, TheLastListFileReplacesTheEarlierOneAndAMissingFileEndsTheRun) {
  std::ofstream(dir / "one.txt") << "A\nB\n";
  std::ofstream(dir / "two.txt") << "C\n";
  const std::string one = "--tab_file=" + (dir / "one.txt").string();
  const std::string two = "--tab_file=" + (dir / "two.txt").string();
  std::vector<std::wstring> list;
  process_tab_file(list, tk_from_ansi((dir / "two.txt").string()));
  EXPECT_EQ(list, std::vector<std::wstring>{L"C"});
  EXPECT_EQ(parse(s, {"--tab_file=/no/such/list.txt"}).exit_message,
            "Table names file does not exist.\nPlease verify the correct path/name was given.");
  // The workbook cannot be read here: every listed name is missing and counted.
  EXPECT_TRUE(parse(s, {one.c_str(), two.c_str(), "--src=a.xlsx", "--dest=d", "--silent"}).ok);
  EXPECT_EQ(handler->errors_reported(), 1u);
}

// The list file, a profile's selection and --tab_name (one worksheet of a
// workbook) go from left to right; a selection of which the workbook has no
// worksheet ends the run before it connects.
TEST_F(Options, TheWorksheetListAProfilesSelectionAndTabNameGoFromLeftToRight) {
  const std::string book = "--src=" + std::string(ORV_SOURCE_DIR) + "/tests/fixtures/xls/sample.xls";
  std::ofstream(dir / "list.txt") << "My ''Sheet\n";
  std::ofstream(dir / "typo.txt") << "Dta\n";
  const std::string list = "--tab_file=" + (dir / "list.txt").string();
  const std::string typo = "--tab_file=" + (dir / "typo.txt").string();
  struct {
    std::vector<const char*> args;
    std::vector<std::wstring> selected;  // none: the run is refused
  } cases[] = {
      {{list.c_str(), "--profile=p.prf"}, {L"Data"}},
      {{"--profile=p.prf", list.c_str()}, {L"My ''Sheet"}},
      {{list.c_str(), "--tab_name=Data"}, {L"Data"}},
      {{"--tab_name=Data", list.c_str()}, {L"My ''Sheet"}},
      {{}, {L"Data", L"My ''Sheet"}},
      {{"--tab_name=data"}, {}},
      {{typo.c_str()}, {}},
      {{"--profile=p.prf", "--tab_name=Data "}, {}},
  };
  for (const auto& c : cases) {
    fake_settings t;
    t.profile.sheets = {L"Data"};
    std::vector<const char*> argv{"dunmere_console", book.c_str(), "--dest=d", "--silent"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::vector<std::wstring> selected;
    try {
      ASSERT_TRUE(parse_cmd_line(static_cast<int>(argv.size()), argv.data(), t));
      for (const auto& [name, table] : t.conv.get_sheets()) selected.push_back(name);
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.get_level(), 1);
      EXPECT_NE(std::string(e.what()).find("not found"), std::string::npos) << e.what();
    }
    EXPECT_EQ(selected, c.selected) << testing::PrintToString(c.args);
  }
  // Each name not found was counted as a reported error.
  EXPECT_EQ(handler->errors_reported(), 3u);
}

TEST(TabList, MarkEncodingEmptyLinesAndBlanks) {
  EXPECT_EQ(parse_tab_list("\xEF\xBB\xBF" "Gr\xC3\xBC" "n\r\n\r\n  \nLast", CP_UTF8),
            (std::vector<std::wstring>{L"Gr\u00FCn", L"  ", L"Last"}));
  EXPECT_EQ(parse_tab_list("\n\nGr\xFCn\n", 1252), std::vector<std::wstring>{L"Gr\u00FCn"});
  std::string long_line(100000, 'x');
  EXPECT_EQ(parse_tab_list(long_line + "\nnext", CP_UTF8),
            (std::vector<std::wstring>{std::wstring(100000, L'x'), L"next"}));
  EXPECT_TRUE(parse_tab_list("", CP_UTF8).empty());
}

TEST(TabList, FilesInWindows1252UnderUtf8AndUtf16Refused) {
  test_dir dir;
  ASSERT_TRUE(kernel::set_thread_code_page(CP_UTF8));
  std::ofstream(dir / "ansi.txt", std::ios::binary) << "Stra\xDF" "e\r\n\xC9t\xE9\r\n";
  std::vector<std::wstring> list;
  process_tab_file(list, tk_from_ansi((dir / "ansi.txt").string()));
  EXPECT_EQ(list, (std::vector<std::wstring>{L"Stra\u00DFe", L"\u00C9t\u00E9"}));
  std::ofstream(dir / "bom.txt", std::ios::binary) << "\xEF\xBB\xBF\xE6\x97\xA5\xE6\x9C\xAC\n";
  process_tab_file(list, tk_from_ansi((dir / "bom.txt").string()));
  EXPECT_EQ(list, std::vector<std::wstring>{L"\u65E5\u672C"});
  std::ofstream(dir / "u16.txt", std::ios::binary) << std::string("\xFF\xFE" "A\0\n\0", 6);
  try {
    process_tab_file(list, tk_from_ansi((dir / "u16.txt").string()));
    FAIL();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 1);
  }
}

}  // namespace
