// Workbooks into the test server through the real program: several
// worksheets, names SQL Server needs bracketed, dates, numbers, emoji, empty
// rows; the modes against an existing database; worksheet list files.
#include <xlsxwriter.h>

#include "tests/apps/dunmere_console/console_env.h"
#include "tests/support/white_space_headings.h"

namespace {

void write_workbook(const std::string& path) {
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_worksheet* s1 = workbook_add_worksheet(book, "Orders");
  const char* head[] = {"id", "item", "price", "day"};
  for (int c = 0; c < 4; ++c) worksheet_write_string(s1, 0, static_cast<lxw_col_t>(c), head[c], nullptr);
  const char* items[] = {"\xC3\x84pfel", "\xF0\x9F\x98\x80 smile", "\xE6\x97\xA5\xE6\x9C\xAC"};
  const double prices[] = {1.5, 2, 30000.25};
  for (int r = 0; r < 3; ++r) {
    lxw_row_t y = static_cast<lxw_row_t>(r == 2 ? 4 : r + 1);  // row 3 left empty
    worksheet_write_number(s1, y, 0, r + 1, nullptr);
    worksheet_write_string(s1, y, 1, items[r], nullptr);
    worksheet_write_number(s1, y, 2, prices[r], nullptr);
    lxw_datetime d = {2004, 5, 6 + r, 0, 0, 0};
    worksheet_write_datetime(s1, y, 3, &d, date);
  }
  lxw_worksheet* s2 = workbook_add_worksheet(book, "1st 'sheet");
  worksheet_write_string(s2, 0, 0, "name", nullptr);
  worksheet_write_string(s2, 1, 0, "first", nullptr);
  lxw_worksheet* s3 = workbook_add_worksheet(book, "Notes");
  worksheet_write_string(s3, 0, 0, "note", nullptr);
  worksheet_write_string(s3, 1, 0, "a note", nullptr);
  lxw_worksheet* s4 = workbook_add_worksheet(book, "Gr\xC3\xBCn");
  worksheet_write_string(s4, 0, 0, "g", nullptr);
  worksheet_write_number(s4, 1, 0, 42, nullptr);
  workbook_close(book);
}

class XlsRun : public console_test {
protected:
  void SetUp() override {
    console_test::SetUp();
    book = path("book.xlsx");
    write_workbook(book);
  }
  console_result convert(std::vector<std::string> more) {
    std::vector<std::string> args = login();
    args.push_back("--src=" + book);
    args.push_back("--dest=books");
    args.push_back("--extr_fn");
    args.insert(args.end(), more.begin(), more.end());
    return run_console(dir, args);
  }
  std::string book;
};

TEST_F(XlsRun, EveryWorksheetWithoutAListAndItsProgressLines) {
  console_result r = convert({"--logfile=" + path("run.log")});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  // The log names the worksheets as the progress lines do.
  const std::string log = test_dir::read(path("run.log"));
  EXPECT_NE(log.find("Converting worksheet Notes\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("Converting worksheet 1st ''sheet\r\n"), std::string::npos) << log;
  // The workbook reader shows a quote in a worksheet name doubled, as the
  // wizards list it.
  EXPECT_EQ(r.out, "Converting spreadsheet " + book +
                       "(4 worksheets)\nConverting worksheet 1st ''sheet\nConverting worksheet Gr\xC3\xBCn\n"
                       "Converting worksheet Notes\nConverting worksheet Orders\n");
  EXPECT_EQ(r.err, "");
  // A name that does not begin with a letter or '_' takes a '_' in front.
  EXPECT_EQ(server->tables("books"),
            (std::vector<std::string>{"dbo.Gr\xC3\xBCn", "dbo.Notes", "dbo.Orders", "dbo._1st ''sheet"}));
  EXPECT_EQ(table("books", "Orders"),
            (rows_t{{"1", "\xC3\x84pfel", "1.5", "2004-05-06 00:00:00.000"},
                    {"2", "\xF0\x9F\x98\x80 smile", "2", "2004-05-07 00:00:00.000"},
                    {"<null>", "<null>", "<null>", "<null>"},
                    {"3", "\xE6\x97\xA5\xE6\x9C\xAC", "30000.25", "2004-05-08 00:00:00.000"}}));
  EXPECT_EQ(table("books", "_1st ''sheet"), (rows_t{{"first"}}));
  EXPECT_EQ(table("books", "Gr\xC3\xBCn"), (rows_t{{"42"}}));
}

TEST_F(XlsRun, ModesAgainstAnExistingDatabase) {
  server->execute("CREATE DATABASE books");
  server->execute("CREATE TABLE Notes (note nvarchar(255))", "books");
  server->execute("INSERT INTO Notes VALUES (N'old')", "books");
  server->execute("CREATE TABLE kept (x int)", "books");
  console_result skip = convert({"--mode=2"});
  EXPECT_EQ(skip.exit_code, 0) << skip.out << skip.err;
  EXPECT_EQ(table("books", "Notes"), (rows_t{{"old"}}));
  EXPECT_EQ(table("books", "Orders").size(), 4u);
  console_result merge = convert({"--mode=3"});
  EXPECT_EQ(merge.exit_code, 0) << merge.out << merge.err;
  EXPECT_EQ(table("books", "Notes"), (rows_t{{"old"}, {"a note"}}));
  EXPECT_EQ(table("books", "Orders").size(), 8u);
  console_result tables = convert({"--mode=1"});
  EXPECT_EQ(tables.exit_code, 0) << tables.out << tables.err;
  EXPECT_EQ(table("books", "Notes"), (rows_t{{"a note"}}));
  EXPECT_EQ(table("books", "Orders").size(), 4u);
  EXPECT_TRUE(server->has_table("books", "kept"));
  // No --mode=: the whole database is overwritten.
  console_result whole = convert({});
  EXPECT_EQ(whole.exit_code, 0) << whole.out << whole.err;
  EXPECT_FALSE(server->has_table("books", "kept"));
  EXPECT_EQ(table("books", "Notes"), (rows_t{{"a note"}}));
}

TEST_F(XlsRun, ListFilesInUtf8WithItsMarkAndInAnsiAndAMissingWorksheet) {
  write("utf8.txt", "\xEF\xBB\xBFGr\xC3\xBCn\r\n\r\nNotes\r\n");
  console_result r = convert({"--tab_file=" + path("utf8.txt")});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(server->tables("books"), (std::vector<std::string>{"dbo.Gr\xC3\xBCn", "dbo.Notes"}));

  // Windows-1252, as a Windows editor saves it.
  write("ansi.txt", "Gr\xFCn\nNo such sheet\n");
  console_result missing = convert({"--tab_file=" + path("ansi.txt")});
  EXPECT_EQ(missing.exit_code, 255) << missing.out << missing.err;
  EXPECT_EQ(missing.err, "Worksheet No such sheet not found\n");
  EXPECT_EQ(server->tables("books"), (std::vector<std::string>{"dbo.Gr\xC3\xBCn"}));
}

TEST_F(XlsRun, AProfilesWorksheetsAndQueries) {
  auto profile = [&](const std::string& selected) {
    write("run.prf", "[Selected Tables]\n" + selected + "Cheap=SELECT item FROM [Orders$] WHERE price < 2\n\n"
                     "[Generic settings]\nsrc=" + book + "\ndest=books\nmode=0\n\n"
                     "[MS Excel settings]\nconvert from xls=1\nextract field names=1\n");
    std::vector<std::string> args = login();
    args.push_back("--profile=" + path("run.prf"));
    return run_console(dir, args);
  };
  console_result r = profile("Notes\n");
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(server->tables("books"), (std::vector<std::string>{"dbo.Cheap", "dbo.Notes"}));
  EXPECT_EQ(table("books", "Cheap"), (rows_t{{"\xC3\x84pfel"}}));
  // A query alone: that query only.
  console_result only = profile("");
  EXPECT_EQ(only.exit_code, 0) << only.out << only.err;
  EXPECT_EQ(server->tables("books"), std::vector<std::string>{"dbo.Cheap"});
  EXPECT_EQ(table("books", "Cheap"), (rows_t{{"\xC3\x84pfel"}}));
}

TEST_F(XlsRun, QueriesNameAWorksheetWithABlankAsJetReadsItAndARangeByItsName) {
  const std::string spaced = path("spaced.xlsx");
  lxw_workbook* wb = workbook_new(spaced.c_str());
  lxw_worksheet* sheet = workbook_add_worksheet(wb, "Orders 2024");
  const char* rows[][2] = {{"item", "price"}, {"tea", "1"}, {"cake", "3"}};
  for (int r = 0; r < 3; ++r) {
    worksheet_write_string(sheet, static_cast<lxw_row_t>(r), 0, rows[r][0], nullptr);
    worksheet_write_string(sheet, static_cast<lxw_row_t>(r), 1, rows[r][1], nullptr);
  }
  workbook_define_name(wb, "Firsts", "='Orders 2024'!$A$1:$A$2");
  workbook_close(wb);
  struct query_case {
    const char* table;
    const char* text;
    rows_t rows;
  } cases[] = {
      {"Bracketed", "SELECT item FROM [Orders 2024$] ORDER BY item", {{"cake"}, {"tea"}}},
      {"Quoted", "SELECT item FROM ['Orders 2024$'] WHERE price > 2", {{"cake"}}},
      {"BackQuoted", "SELECT item FROM `Orders 2024$` WHERE price < 2", {{"tea"}}},
      {"Range", "SELECT * FROM [Firsts]", {{"tea"}}},
  };
  std::string queries;
  for (const query_case& c : cases) queries += std::string(c.table) + "=" + c.text + "\n";
  write("q.prf", "[Selected Tables]\n" + queries + "\n[Generic settings]\nsrc=" + spaced +
                     "\ndest=queries\nmode=0\n\n[MS Excel settings]\nconvert from xls=1\nextract field names=1\n");
  std::vector<std::string> args = login();
  args.push_back("--profile=" + path("q.prf"));
  const console_result r = run_console(dir, args);
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  for (const query_case& c : cases) {
    ASSERT_TRUE(server->has_table("queries", c.table)) << c.table << "\n" << r.out << r.err;
    EXPECT_EQ(table("queries", c.table), c.rows) << c.table;
  }
}

TEST_F(XlsRun, AWorksheetThatFailsIsReportedAndTheOthersAreConverted) {
  server->execute("CREATE DATABASE books");
  server->execute("CREATE TABLE Notes (note int NOT NULL)", "books");
  console_result r = convert({"--mode=3"});
  EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("Error:\nNotes, record #1: "), std::string::npos) << r.out;
  EXPECT_EQ(table("books", "Notes"), rows_t{});
  EXPECT_EQ(table("books", "Orders").size(), 4u);
}

}  // namespace

// The same values over each kind of encrypted session: only the login in TLS
// (the client asks, the server answers as SQL Server does), the whole session
// in TLS (the server forces it, or the client requires it). A user's
// freetds.conf saying "off" does not turn our request off.
TEST_F(XlsRun, AWorkbookAndACsvFileOverALoginOnlyAndAFullyEncryptedSession) {
  write("a.csv", "id;name\n1;\xC3\x84pfel\n2;\xF0\x9F\x98\x80\n");
  write("user.conf", "[global]\n\tencryption = off\n[127.0.0.1]\n\tencryption = off\n");
  struct row {
    tds::encryption_mode server;
    const char* encrypt;  // ORV_MSS_ENCRYPT
    bool user_conf_off;
  };
  const row rows[] = {{tds::encryption_mode::sql_server, nullptr, false},
                      {tds::encryption_mode::forced, nullptr, false},
                      {tds::encryption_mode::sql_server, "yes", false},
                      {tds::encryption_mode::forced, nullptr, true}};
  for (const row& r : rows) {
    SCOPED_TRACE(std::to_string(static_cast<int>(r.server)) + (r.encrypt ? r.encrypt : "") + (r.user_conf_off ? " conf" : ""));
    server->set_encryption(r.server);
    if (r.encrypt) ::setenv("ORV_MSS_ENCRYPT", r.encrypt, 1);
    if (r.user_conf_off) ::setenv("FREETDSCONF", path("user.conf").c_str(), 1);
    const console_result book_run = convert({"--mode=0"});
    const console_result csv_run = run({"--src=" + path("a.csv"), "--from_csv", "--extr_fn", "--csv_delim=1",
                                        "--tab_name=t", "--dest=csvdb", "--mode=0"});
    ::unsetenv("ORV_MSS_ENCRYPT");
    ::unsetenv("FREETDSCONF");
    EXPECT_EQ(book_run.exit_code, 0) << book_run.out << book_run.err;
    EXPECT_EQ(table("books", "Orders"),
              (rows_t{{"1", "\xC3\x84pfel", "1.5", "2004-05-06 00:00:00.000"},
                      {"2", "\xF0\x9F\x98\x80 smile", "2", "2004-05-07 00:00:00.000"},
                      {"<null>", "<null>", "<null>", "<null>"},
                      {"3", "\xE6\x97\xA5\xE6\x9C\xAC", "30000.25", "2004-05-08 00:00:00.000"}}));
    EXPECT_EQ(csv_run.exit_code, 0) << csv_run.out << csv_run.err;
    EXPECT_EQ(table_rows("t"), (rows_t{{"1", "\xC3\x84pfel"}, {"2", "\xF0\x9F\x98\x80"}}));
  }
}

// A login refused for want of encryption, or ended in TLS, says why.
TEST_F(XlsRun, AnEncryptionFailureEndsTheRunWithItsReason) {
  struct row {
    tds::encryption_mode server;
    const char* variable;
    const char* value;
    std::string error;
  };
  const row rows[] = {
      {tds::encryption_mode::not_supported, "ORV_MSS_ENCRYPT", "yes",
       "The server does not support encryption, which ORV_MSS_ENCRYPT requires."},
      // The test server's certificate is self-signed: no authority vouches for it.
      {tds::encryption_mode::sql_server, "ORV_MSS_CA_FILE", "system", "The server's certificate is not trusted: "},
      {tds::encryption_mode::sql_server, "ORV_MSS_CA_FILE", "/nonexistent.pem",
       "The CA file /nonexistent.pem (ORV_MSS_CA_FILE) cannot be used: "},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.value);
    server->set_encryption(r.server);
    ::setenv(r.variable, r.value, 1);
    const console_result run = convert({});
    ::unsetenv(r.variable);
    EXPECT_EQ(run.exit_code, 255);
    EXPECT_EQ(run.out.rfind("Error:\n" + r.error, 0), 0u) << run.out;
    EXPECT_FALSE(server->has_database("books"));
  }
}

namespace {

// Headings that end in white space lose no worksheet on this road either.
TEST_F(console_test, HeadingsEndingInWhiteSpaceKeepEveryRow) {
  using namespace white_space_headings;
  white_space_headings::write_workbook(path("heads.xlsx"));
  console_result r = run({"--src=" + path("heads.xlsx"), "--dest=heads", "--extr_fn"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  const auto tables = server->tables("heads");
  ASSERT_EQ(tables.size(), 1u);
  const rows_t rows = table("heads", tables[0].substr(tables[0].find('.') + 1));
  ASSERT_EQ(rows.size(), static_cast<size_t>(row_count));
  for (int r = 0; r < row_count; ++r)
    for (int c = 0; c < heading_count; ++c) EXPECT_EQ(rows[r][c], value(r + 1, c));
}

}  // namespace
