// Workbooks into the server: several worksheets, names the server refuses,
// empty rows, mixed and long text, dates, times, numbers and non-ASCII text;
// the modes against an existing database; the record and worksheet guards.
#include <xlsxwriter.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "tests/e2e/e2e_env.h"

namespace {

// A workbook of three worksheets written with libxlsxwriter.
void write_workbook(const std::string& path, const std::string& long_text) {
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_format* stamp = workbook_add_format(book);
  format_set_num_format(stamp, "yyyy-mm-dd hh:mm:ss");

  lxw_worksheet* s1 = workbook_add_worksheet(book, "Orders");
  const char* head[] = {"id", "item", "price", "day", "stamp"};
  for (int c = 0; c < 5; ++c) worksheet_write_string(s1, 0, static_cast<lxw_col_t>(c), head[c], nullptr);
  const char* items[] = {"Äpfel", "Ωμέγα", "日本"};
  const double prices[] = {1.5, 2, 30000.25};
  for (int r = 0; r < 3; ++r) {
    lxw_row_t y = static_cast<lxw_row_t>(r == 2 ? 4 : r + 1);  // row 4 left empty
    worksheet_write_number(s1, y, 0, r + 1, nullptr);
    worksheet_write_string(s1, y, 1, items[r], nullptr);
    worksheet_write_number(s1, y, 2, prices[r], nullptr);
    lxw_datetime d = {2004, 5, 6 + r, 0, 0, 0};
    worksheet_write_datetime(s1, y, 3, &d, date);
    lxw_datetime t = {2004, 5, 6 + r, 10 + r, 30, 0};
    worksheet_write_datetime(s1, y, 4, &t, stamp);
  }

  lxw_worksheet* s2 = workbook_add_worksheet(book, "Notes.2024");
  worksheet_write_string(s2, 0, 0, "note", nullptr);
  worksheet_write_string(s2, 0, 1, "count", nullptr);
  worksheet_write_string(s2, 1, 0, long_text.c_str(), nullptr);
  worksheet_write_number(s2, 1, 1, 3000000000.0, nullptr);
  worksheet_write_string(s2, 2, 0, "short", nullptr);
  worksheet_write_number(s2, 2, 1, 7, nullptr);

  lxw_worksheet* s3 = workbook_add_worksheet(book, "Mixed");
  worksheet_write_string(s3, 0, 0, "value", nullptr);
  worksheet_write_number(s3, 1, 0, 12, nullptr);
  worksheet_write_string(s3, 2, 0, "twelve", nullptr);
  workbook_close(book);
}

class XlsIntoServer : public server_fixture {
protected:
  void SetUp() override {
    server_fixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    path = (dir / "book.xlsx").string();
    long_text = "Lange Zeile " + std::string(400, 'z') + " Ende";
    write_workbook(path, long_text);
    orvell_converter& c = *converter;
    c.from_xls = true;
    c.x_fnames = true;
    c.set_src(tk_from_utf8(path));
  }
  // Selects the worksheets as the worksheet page does.
  void select(const std::vector<std::wstring>& names) {
    std::vector<std::wstring> all;
    ASSERT_TRUE(converter->get_all_sheets(all));
    converter->selected_table_names() = names;
    converter->set_sel_sheets(names);
  }

  std::string path;
  std::string long_text;
};

TEST_F(XlsIntoServer, EveryWorksheetArrivesWithItsValues) {
  select({L"Orders", L"Notes.2024", L"Mixed"});
  run();
  EXPECT_TRUE(dialogs->listed.empty()) << (dialogs->listed.empty() ? "" : dialogs->listed.front());
  auto tables = client->tables(db);
  ASSERT_EQ(tables.size(), 3u);
  EXPECT_EQ(tables[0], "Mixed");
  EXPECT_EQ(tables[2], "Orders");
  EXPECT_NE(tables[1], "Notes.2024");  // a name the server refuses gets a safe one
  EXPECT_EQ(tables[1].rfind("Notes", 0), 0u) << tables[1];

  auto orders = table_rows("Orders", "id");
  ASSERT_EQ(orders.size(), 3u);  // the empty row was skipped
  EXPECT_EQ(texts(orders[0]),
            (std::vector<std::string>{"1", "Äpfel", "1.5", "2004-05-06", "2004-05-06 10:30:00"}));
  EXPECT_EQ(texts(orders[2]),
            (std::vector<std::string>{"3", "日本", "30000.25", "2004-05-08", "2004-05-08 12:30:00"}));
  auto cols = client->columns(db, "Orders");
  ASSERT_EQ(cols.size(), 5u);
  EXPECT_EQ(cols[0], "id int(11)");
  EXPECT_EQ(cols[1].rfind("item varchar(", 0), 0u) << cols[1];
  EXPECT_EQ(cols[2], "price double");
  EXPECT_EQ(cols[3], "day date");
  EXPECT_EQ(cols[4], "stamp datetime");
  EXPECT_EQ(client->columns(db, tables[1])[1], "count bigint(20)");
  auto notes = table_rows(tables[1], "count");
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(texts(notes[1]), (std::vector<std::string>{long_text, "3000000000"}));
  auto mixed = table_rows("Mixed");
  ASSERT_EQ(mixed.size(), 2u);
  EXPECT_EQ(*mixed[0][0], "12");
  EXPECT_EQ(*mixed[1][0], "twelve");
  EXPECT_EQ(converter->get_progress(), 100);
}

TEST_F(XlsIntoServer, LegacyWorkbookWithEmojiAndAQuoteInASheetName) {
  const std::filesystem::path xls = dir / "sample.xls";
  std::filesystem::copy_file(std::filesystem::path(ORV_SOURCE_DIR) / "tests/fixtures/xls/sample.xls", xls);
  converter->set_src(xls.wstring());
  select({L"Data", L"My ''Sheet"});  // the display name keeps Jet's doubled quote
  run();
  EXPECT_TRUE(dialogs->listed.empty()) << (dialogs->listed.empty() ? "" : dialogs->listed.front());
  expect_sample_workbook(*client, db);
}

TEST_F(XlsIntoServer, SkipExistingTablesInModeTwoAndOverwriteInModeOne) {
  select({L"Orders", L"Mixed"});
  run();
  client->exec("DELETE FROM `" + db + "`.`Orders` WHERE id > 1");
  client->exec("DELETE FROM `" + db + "`.`Mixed`");
  converter->set_mode(2);
  select({L"Orders", L"Mixed"});
  run();
  EXPECT_EQ(table_rows("Orders").size(), 1u);
  EXPECT_EQ(table_rows("Mixed").size(), 0u);
  converter->set_mode(1);
  select({L"Orders", L"Mixed"});
  run();
  EXPECT_EQ(table_rows("Orders").size(), 3u);
  EXPECT_EQ(table_rows("Mixed").size(), 2u);
  // Mode 0: the run drops the whole database first.
  client->exec("CREATE TABLE `" + db + "`.`stray` (x INT)");
  converter->set_mode(0);
  select({L"Orders"});
  converter->refine_types = false;
  run();
  EXPECT_EQ(client->tables(db), std::vector<std::string>{"Orders"});
  EXPECT_EQ(client->columns(db, "Orders")[0], "id double");  // refinement off
  EXPECT_TRUE(dialogs->listed.empty());
}

// A selection of which the workbook has no worksheet (a typo, another letter
// case, a trailing blank) converts nothing and drops nothing, in mode 0 too: one
// error names the names.
TEST_F(XlsIntoServer, ASelectionOfWhichNoWorksheetIsFoundTouchesNothing) {
  select({L"Orders", L"Mixed"});
  run();
  client->exec("CREATE TABLE `" + db + "`.`stray` (x INT)");
  for (int mode : {1, 0}) {
    for (const wchar_t* name : {L"Ordrs", L"orders", L"Orders "}) {
      dialogs->listed.clear();
      converter->set_mode(mode);
      select({name});
      run();
      ASSERT_EQ(dialogs->listed.size(), 1u) << mode;
      EXPECT_NE(dialogs->listed[0].find("(not found: " + tk_to_utf8(name) + ")"), std::string::npos)
          << dialogs->listed[0];
      EXPECT_EQ(client->tables(db), (std::vector<std::string>{"Mixed", "Orders", "stray"})) << mode;
      EXPECT_EQ(table_rows("Orders").size(), 3u) << mode;
    }
  }
}

TEST_F(XlsIntoServer, AWorksheetThatFailsIsReportedAndTheRunGoesOnOrStops) {
  // A view of the worksheet's name cannot be dropped as a table.
  client->exec("CREATE DATABASE `" + db + "`");
  client->exec("CREATE VIEW `" + db + "`.`Mixed` AS SELECT 1 AS x");
  converter->set_mode(1);
  select({L"Mixed", L"Orders"});
  run();
  ASSERT_EQ(dialogs->listed.size(), 1u);
  EXPECT_EQ(dialogs->listed[0].rfind("Mixed: ", 0), 0u) << dialogs->listed[0];
  EXPECT_EQ(table_rows("Orders").size(), 3u);  // Continue: the next worksheet is converted

  client->exec("DROP TABLE `" + db + "`.`Orders`");
  dialogs->answers_continue = false;
  select({L"Mixed", L"Orders"});
  run();
  EXPECT_EQ(dialogs->listed.size(), 2u);
  EXPECT_TRUE(converter->is_finished());
  auto tables = client->tables(db);
  EXPECT_EQ(std::count(tables.begin(), tables.end(), "Orders"), 0);  // Abort: nothing more
}

TEST_F(XlsIntoServer, ARecordThatFailsIsReportedWithItsNumber) {
  // Merge into a table whose key refuses the second record.
  client->exec("CREATE DATABASE `" + db + "`");
  client->exec("CREATE TABLE `" + db + "`.`Orders` (id DOUBLE PRIMARY KEY, item VARCHAR(50), price DOUBLE, "
               "day DATETIME, stamp DATETIME) DEFAULT CHARSET=utf8mb4");
  client->exec("INSERT INTO `" + db + "`.`Orders` (id) VALUES (2)");
  converter->set_mode(3);
  select({L"Orders", L"Mixed"});
  run();
  ASSERT_GE(dialogs->listed.size(), 1u);
  EXPECT_EQ(dialogs->listed[0].rfind("Orders, record #2: ", 0), 0u) << dialogs->listed[0];
  EXPECT_EQ(table_rows("Orders").size(), 3u);  // records 1 and 3 after Continue, and the old one
  EXPECT_EQ(table_rows("Mixed").size(), 2u);

  client->exec("DROP DATABASE `" + db + "`");
  client->exec("CREATE DATABASE `" + db + "`");
  client->exec("CREATE TABLE `" + db + "`.`Mixed` (value VARCHAR(10) PRIMARY KEY)");
  client->exec("INSERT INTO `" + db + "`.`Mixed` VALUES ('12')");
  dialogs->answers_continue = false;
  select({L"Mixed", L"Orders"});
  run();
  ASSERT_EQ(dialogs->listed.size(), 2u);
  EXPECT_EQ(dialogs->listed[1].rfind("Mixed, record #1: ", 0), 0u) << dialogs->listed[1];
  auto tables = client->tables(db);
  EXPECT_EQ(std::count(tables.begin(), tables.end(), "Orders"), 0);  // Abort ends the run
}

// The wizard's timer and page switch, as the progress page sees them.
class fake_wizard : public wizard_progress {
public:
  void start_timer(unsigned period_ms) override { started.push_back(period_ms); }
  void stop_timer() override { ++stopped; }
  void show_finish_page() override { ++finish_pages; }
  std::vector<unsigned> started;
  int stopped = 0;
  int finish_pages = 0;
};

TEST_F(XlsIntoServer, ProgressCountsSkippedWorksheetsAndEndsOnTheFinishPage) {
  client->exec("CREATE DATABASE `" + db + "`");
  client->exec("CREATE TABLE `" + db + "`.`Mixed` (x INT)");
  converter->set_mode(2);
  fake_wizard wizard;
  converter->set_wizard(&wizard);
  std::vector<int> progress;
  converter->set_table_observer([&](const std::wstring&, unsigned) { progress.push_back(converter->get_progress()); });
  select({L"Mixed", L"Orders"});
  run();
  // Mixed exists and is skipped (done, no table copied); Orders is copied after it.
  EXPECT_EQ(progress, std::vector<int>{50});
  EXPECT_EQ(wizard.started, std::vector<unsigned>{200});
  EXPECT_EQ(wizard.finish_pages, 0);
  EXPECT_EQ(converter->get_progress(), 100);
  EXPECT_EQ(wizard.stopped, 1);
  EXPECT_EQ(wizard.finish_pages, 1);
  converter->set_wizard(nullptr);
  EXPECT_EQ(table_rows("Mixed").size(), 0u);
}

TEST_F(XlsIntoServer, AStopRequestEndsTheRunAndFinishes) {
  select({L"Orders", L"Mixed"});
  converter->request_stop();
  run();
  converter->clear_stop_request();
  EXPECT_TRUE(converter->is_finished());
  EXPECT_TRUE(client->tables(db).empty());
}

// Another session holds the first worksheet's table (a gap lock of an open
// transaction, LOCK TABLES ... READ or WRITE): that table ends with one error
// naming it within seconds, nothing of it stored, and the next worksheet is
// converted.
TEST_F(XlsIntoServer, ALockedTableEndsWithOneErrorAndTheNextGoesOn) {
  lock_timeout_env timeout("2");
  use_server(e2e_server::get());
  const struct {
    const char* name;
    std::vector<std::string> hold;
    const char* cause;
  } cases[] = {
      {"gap lock", {"BEGIN", "SELECT * FROM Mixed FOR UPDATE"}, "record #1 waited for it"},
      {"read lock", {"LOCK TABLES Mixed READ"}, "record #1 waited for it"},
      {"write lock", {"LOCK TABLES Mixed WRITE"}, "opening the table waited for it"},
  };
  for (const auto& c : cases) {
    client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    client->exec("CREATE DATABASE `" + db + "`");
    client->exec("CREATE TABLE `" + db + "`.`Mixed` (value VARCHAR(255)) ENGINE=InnoDB");
    client->exec("INSERT INTO `" + db + "`.`Mixed` VALUES ('theirs')");
    auto other = std::make_unique<check_client>();
    other->exec("USE `" + db + "`");
    for (const std::string& statement : c.hold) other->exec(statement);
    converter->set_mode(3);
    select({L"Mixed", L"Orders"});
    dialogs->listed.clear();
    const auto started = std::chrono::steady_clock::now();
    run();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    other.reset();
    ASSERT_EQ(dialogs->listed.size(), 1u) << c.name;
    const std::string& error = dialogs->listed[0];
    EXPECT_EQ(error.rfind("Mixed: Table 'Mixed': another session holds a lock on it; ", 0), 0u) << error;
    EXPECT_NE(error.find(c.cause), std::string::npos) << error;
    EXPECT_LT(seconds, 30) << c.name;
    EXPECT_EQ(table_rows("Mixed").size(), 1u) << c.name;
    EXPECT_EQ(table_rows("Orders").size(), 3u) << c.name;
  }
}

}  // namespace
