// The whole wizard, started as the program starts it and worked through the test
// driver: routing of every page, the overwrite prompts, Cancel, F1, the error
// dialogs of a run, and whole conversions.
#include "GUI2/g_err_dlg.h"
#include "GUI2/delim_page.h"
#include "GUI2/finish_page.h"
#include "apps/orvell_wizard/orv_conv.h"
#include "GUI2/progress_page.h"
#include "tests/apps/orvell_wizard/wizard_fixture.h"

#include <cstdlib>
#include <iterator>

namespace {

TEST_F(wizard_run, RoutesCsvAndWorkbookIntoADumpFileWithHelpAndCancel) {
  REQUIRE_DISPLAY();
  const auto csv = write("people.csv", "name;age\nAnn;31\n");
  const auto xls = dir.path() / "sample.xls";
  std::filesystem::copy_file(std::filesystem::path(ORV_SOURCE_DIR) / "tests/fixtures/xls/sample.xls", xls);
  const auto dump = dir.path() / "out.sql";
  std::vector<int> topics;
  const int result = run("", [&] {
    EXPECT_EQ(d.page_id(), 103);
    EXPECT_FALSE(d.button_enabled(gui::ID_PSBACK));
    d.choose(1302, 1);  // CSV file
    d.choose(1303, 1);  // dump file
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 102);
    d.press(gui::ID_PSBACK);
    EXPECT_EQ(d.page_id(), 103);
    d.press(gui::ID_PSNEXT);
    d.click(1204);  // no CREATE TABLE: CREATE DATABASE is disabled, its state kept
    EXPECT_FALSE(d.page_controls().enabled(1203));
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    EXPECT_TRUE(d.page_controls().visible(1005));
    EXPECT_FALSE(d.page_controls().visible(1222));
    EXPECT_TRUE(d.page_controls().visible(1104));
    EXPECT_EQ(d.page_controls().text(1311), L"&Dump file path:");
    d.type(1003, L"");
    d.type(1004, L"");
    d.press(gui::ID_PSNEXT);  // empty source
    EXPECT_EQ(d.page_id(), 105);
    d.type(1003, csv.wstring());
    d.press(gui::ID_PSNEXT);  // empty destination
    d.type(1004, dump.wstring());
    d.focus(1005);  // the table name is suggested from the source
    EXPECT_EQ(d.page_controls().text(1005), L"people");
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 107);
    d.click(1331);  // comma
    d.press(gui::ID_PSBACK);
    EXPECT_EQ(d.page_id(), 105);
    d.press(gui::ID_PSBACK);
    EXPECT_EQ(d.page_id(), 102);
    EXPECT_FALSE(d.page_controls().checked(1204));
    d.press(gui::ID_PSBACK);
    d.choose(1302, 0);  // a workbook now
    d.press(gui::ID_PSNEXT);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    EXPECT_FALSE(d.page_controls().visible(1005));
    EXPECT_TRUE(d.page_controls().visible(1222));
    d.type(1003, xls.wstring());
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 127);
    auto& c = d.page_controls();
    EXPECT_FALSE(c.visible(1114));
    ASSERT_EQ(c.list_count(1317), 2);
    d.click(1102);  // all selected
    EXPECT_EQ(c.list_count(1317), 0);
    EXPECT_EQ(c.list_count(1318), 2);
    d.click(1110);  // all back
    EXPECT_EQ(c.list_count(1317), 2);
    EXPECT_EQ(c.list_text(1317, 0), L"Data");
    d.answer_message(gui::IDNO);
    d.press(gui::ID_PSNEXT);  // nothing selected: asked, No stays
    EXPECT_EQ(d.page_id(), 127);
    d.double_click(1317, 0);
    EXPECT_EQ(c.list_text(1318, 0), L"Data");
    d.press(gui::ID_PSBACK);
    EXPECT_EQ(d.page_id(), 105);
    d.press(gui::ID_PSNEXT);
    EXPECT_EQ(d.page_id(), 127);
    EXPECT_EQ(c.list_count(1318), 0);  // Back does not store the selection
    d.key_f1();
    d.answer_message(gui::IDNO);
    d.press(gui::IDCANCEL);  // No keeps the wizard
    EXPECT_EQ(d.page_id(), 127);
    d.answer_message(gui::IDYES);
    d.press(gui::IDCANCEL);
    EXPECT_TRUE(wizard_shell::instance().ended());
    for (const auto& r : d.log())
      if (r.kind == "help") topics.push_back(r.id);
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(topics, std::vector<int>{1016});
  auto m = messages();
  ASSERT_EQ(m.size(), 5u);
  EXPECT_EQ(m[0], L"You should enter the source file name");
  EXPECT_EQ(m[1], L"You should enter dump file name");
  EXPECT_EQ(m[2], L"There are no tables selected. Continue anyway?");
  EXPECT_EQ(m[3], L"Are you sure you want to exit the wizard?");
  EXPECT_FALSE(std::filesystem::exists(dump));
}

TEST_F(wizard_run, HelpOpensEachPagesTopic) {
  REQUIRE_DISPLAY();
  std::vector<int> topics;
  run("", [&] {
    auto& shell = wizard_shell::instance();
    // 127 without a readable workbook: the lists stay empty.
    for (int id : {103, 102, 123, 105, 127, 107}) {
      ASSERT_TRUE(shell.select_page_by_id(id));
      d.press(gui::IDHELP);
    }
    for (const auto& r : d.log()) {
      if (r.kind == "help") topics.push_back(r.id);
      else ADD_FAILURE() << r.kind << " " << tk_to_utf8(r.text);
    }
  });
  EXPECT_EQ(topics, (std::vector<int>{1012, 1020, 1010, 1015, 1016, 1013}));
}

TEST_F(wizard_run, CsvIntoADumpFileFromAProfile) {
  REQUIRE_DISPLAY();
  const auto csv = write("people.csv", "name;age\nAnn;31\nZo\xc3\xab;45\n");
  const auto dump = dir.path() / "people.sql";
  const auto orv = dump_profile(csv, dump, false, "[MySQL settings]\ndump line break=1\n\n");
  const int result = run(orv.string(), [&] {
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 102);
    EXPECT_TRUE(d.page_controls().checked(1332));  // Unix line breaks, from the profile
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    EXPECT_EQ(d.page_controls().text(1004), dump.wstring());
    d.type(1005, L"people");
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 107);
    d.click(1330);  // semicolon
    convert_and_finish();
  });
  EXPECT_EQ(result, 1);
  const std::string text = test_dir::read(dump);
  EXPECT_NE(text.find("CREATE TABLE"), std::string::npos) << text;
  EXPECT_NE(text.find("'Ann'"), std::string::npos) << text;
  EXPECT_NE(text.find("'Zo\xc3\xab'"), std::string::npos) << text;
  EXPECT_EQ(text.find("\r\n"), std::string::npos);
}

TEST_F(wizard_server_run, ConnectFailsThenTheCsvPromptWaitsForTheRun) {
  REQUIRE_DISPLAY();
  const auto csv = write("t.csv", "a;b\n1;x\n2;y\n");
  client->exec("CREATE DATABASE `" + db + "`");
  client->exec("CREATE TABLE `" + db + "`.`t` (a INT, b VARCHAR(10))");
  client->exec("INSERT INTO `" + db + "`.`t` VALUES (7, 'old')");
  const int result = run(tk_to_utf8(profile(csv.wstring(), false).wstring()), [&] {
    d.press(gui::ID_PSNEXT);
    connect_page();
    d.type(1013, L"wrong password");
    d.press(gui::ID_PSNEXT);  // refused: the error, the page stays
    ASSERT_EQ(d.page_id(), 123);
    d.type(1013, tk_from_utf8(e2e_server::get().password));
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    EXPECT_EQ(d.page_controls().text(1004), tk_from_utf8(db));
    d.type(1005, L"t");
    d.answer_dialog(gui::IDCANCEL);
    d.press(gui::ID_PSNEXT);
    EXPECT_EQ(d.page_id(), 105);
    d.answer_dialog(1109);  // merge
    d.press(gui::ID_PSNEXT);
    EXPECT_EQ(d.page_id(), 107);
    EXPECT_EQ(client->value("SELECT COUNT(*) FROM `" + db + "`.`t`"), "1");
    d.press(gui::ID_PSBACK);
    d.answer_dialog(gui::IDOK);  // overwrite: chosen now, done by the run
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 107);
    EXPECT_EQ(client->value("SELECT COUNT(*) FROM `" + db + "`.`t`"), "1");
    d.click(1330);  // semicolon
    convert_and_finish();
  });
  EXPECT_EQ(result, 1);
  auto rows = client->rows("SELECT a, b FROM `" + db + "`.`t` ORDER BY a");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(texts(rows[1]), (std::vector<std::string>{"2", "y"}));
  auto log = d.log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0].kind, "message");  // the refused connection
  int prompts = 0;
  for (const auto& r : log)
    if (r.kind == "dialog" && r.id == 120) ++prompts;
  EXPECT_EQ(prompts, 3);
}

TEST_F(wizard_server_run, WorkbookIntoTheServerFromAProfile) {
  REQUIRE_DISPLAY();
  const auto xls = dir.path() / "sample.xls";
  std::filesystem::copy_file(std::filesystem::path(ORV_SOURCE_DIR) / "tests/fixtures/xls/sample.xls", xls);
  client->exec("CREATE DATABASE `" + db + "`");
  client->exec("CREATE TABLE `" + db + "`.`keep` (a INT)");
  const int result = run(tk_to_utf8(profile(xls.wstring(), true).wstring()), [&] {
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 123);
    EXPECT_TRUE(d.page_controls().checked(1330));  // the profile's server
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    d.answer_dialog([](gui::dialog& dlg) { dlg.controls().user_click(1330); }, gui::IDOK);  // tables only
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 127);
    d.click(1102);
    convert_and_finish();
  });
  EXPECT_EQ(result, 1);
  auto tables = client->tables(db);
  ASSERT_EQ(tables.size(), 3u);
  EXPECT_EQ(tables[0], "Data");
  EXPECT_EQ(tables[1], "keep");  // overwrite existing tables only: the others stay
  auto data = client->rows("SELECT * FROM `" + db + "`.`Data` ORDER BY Amount");
  ASSERT_EQ(data.size(), 3u);
  EXPECT_EQ(texts(data[1]), (std::vector<std::string>{"Zo\xc3\xab", "1.5", "2004-05-06 10:20:30"}));
}

// The workbook removed after its worksheets were chosen: the run reports it and leaves
// the database chosen to be overwritten, or the dump file, as it was.
TEST_F(wizard_server_run, AWorkbookRemovedBeforeFinishLeavesTheDestinationWhole) {
  REQUIRE_DISPLAY();
  const auto dump = dir.path() / "old.sql";
  for (const bool direct : {true, false}) {
    const auto xls = copy_of("tests/fixtures/xls/sample.xls", direct ? "direct.xls" : "dump.xls");
    client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    client->exec("CREATE DATABASE `" + db + "`");
    client->exec("CREATE TABLE `" + db + "`.`keep` (a INT)");
    client->exec("INSERT INTO `" + db + "`.`keep` VALUES (1)");
    write("old.sql", "-- kept\n");
    const auto orv = direct ? profile(xls.wstring(), true) : dump_profile(xls, dump, true);
    std::wstring listed;
    const int result = run(orv.string(), [&] {
      d.press(gui::ID_PSNEXT);
      if (direct) {
        ASSERT_EQ(d.page_id(), 123);
        d.press(gui::ID_PSNEXT);
        ASSERT_EQ(d.page_id(), 105);
        d.answer_dialog([](gui::dialog& dlg) { dlg.controls().user_click(1329); }, gui::IDOK);  // the whole database
      } else {
        ASSERT_EQ(d.page_id(), 102);
        d.press(gui::ID_PSNEXT);
        ASSERT_EQ(d.page_id(), 105);
        d.answer_message(gui::IDYES);  // replace the dump file
      }
      d.press(gui::ID_PSNEXT);
      ASSERT_EQ(d.page_id(), 127) << tk_to_utf8(messages().empty() ? L"" : messages().back());
      d.click(1102);
      std::filesystem::remove(xls);
      d.press(gui::ID_PSNEXT);
      ASSERT_TRUE(d.wait_for([&] { return d.page_id() == 116; }));
      listed = d.page_controls().text(1016);
      d.press(gui::ID_WIZFINISH);
    });
    const std::string what = direct ? "database" : "dump file";
    EXPECT_EQ(result, 1) << what;
    EXPECT_NE(listed.find(xls.filename().wstring()), std::wstring::npos) << what << ": " << tk_to_utf8(listed);
    EXPECT_EQ(client->tables(db), std::vector<std::string>{"keep"}) << what;
    EXPECT_EQ(test_dir::read(dump.string()), "-- kept\n") << what;
  }
}

TEST_F(wizard_server_run, ExampleWorkbookIntoADumpFileThatLoads) {
  REQUIRE_DISPLAY();
  // The example profile, with its files named by their full paths.
  const std::filesystem::path examples = std::filesystem::path(ORV_SOURCE_DIR) / "examples";
  std::ifstream in(examples / "sales_to_dump.orv", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto dump = dir.path() / "sales.sql";
  auto replace = [&](const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
  };
  replace("src=sales.xlsx", "src=" + (examples / "sales.xlsx").string());
  replace("dest=sales.sql", "dest=" + dump.string());
  const auto orv = write("sales_to_dump.orv", text);
  const int result = run(orv.string(), [&] {
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 102);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 127);
    EXPECT_EQ(d.page_controls().list_count(1318), 2);  // the profile's worksheets
    convert_and_finish();
  });
  EXPECT_EQ(result, 1);
  // The dump loads into the server with the workbook's values.
  client->exec("CREATE DATABASE `" + db + "`");
  const e2e_server& s = e2e_server::get();
  const std::string load = "mariadb -h '" + s.host + "' -P " + std::to_string(s.port) + " -u '" + s.user +
                           "' --password='" + s.password + "' '" + db + "' < '" + dump.string() + "'";
  ASSERT_EQ(std::system(load.c_str()), 0) << load;
  auto products = client->rows("SELECT * FROM `" + db + "`.`Products` ORDER BY id");
  ASSERT_EQ(products.size(), 4u);
  EXPECT_EQ(texts(products[0]), (std::vector<std::string>{"1", "Caf\xc3\xa9 cr\xc3\xa8me", "2.5", "120"}));
  auto orders = client->rows("SELECT * FROM `" + db + "`.`Orders` ORDER BY `order`");
  ASSERT_EQ(orders.size(), 5u);
  EXPECT_EQ(texts(orders[4]), (std::vector<std::string>{"1005", "4", "3", "2024-01-05"}));
}

TEST_F(wizard_server_run, RecordErrorsAskToContinueAndAreListed) {
  REQUIRE_DISPLAY();
  const auto csv = write("k.csv", "a\n1\n2\n3\n4\n");
  client->exec("CREATE DATABASE `" + db + "`");
  client->exec("CREATE TABLE `" + db + "`.`k` (a INT PRIMARY KEY)");
  client->exec("INSERT INTO `" + db + "`.`k` VALUES (1), (2)");
  for (bool abort : {false, true}) {
    d.clear_log();
    run(tk_to_utf8(profile(csv.wstring(), false).wstring()), [&] {
      d.press(gui::ID_PSNEXT);
      d.press(gui::ID_PSNEXT);
      ASSERT_EQ(d.page_id(), 105);
      d.type(1005, L"k");
      d.answer_dialog(1109);  // merge into the table
      d.press(gui::ID_PSNEXT);
      ASSERT_EQ(d.page_id(), 107);
      if (abort) {
        d.answer_dialog(gui::IDOK);  // Abort
      } else {
        // "Do not show this dialog box again", then Continue: the second error is only listed.
        d.answer_dialog([](gui::dialog& dlg) { dlg.controls().user_click(1222); }, gui::IDCANCEL);
      }
      d.press(gui::ID_PSNEXT);
      ASSERT_TRUE(d.wait_for([&] { return d.page_id() == 116; }));
      EXPECT_TRUE(d.page_controls().visible(1016));
      EXPECT_TRUE(d.page_controls().readonly(1016));
      const std::wstring listed = d.page_controls().text(1016);
      EXPECT_NE(listed.find(L"Duplicate"), std::wstring::npos) << listed;
      d.press(gui::ID_WIZFINISH);
    });
    int asked = 0;
    for (const auto& r : d.log())
      if (r.kind == "dialog" && r.id == 115) ++asked;
    EXPECT_EQ(asked, 1) << abort;
    client->exec("DELETE FROM `" + db + "`.`k` WHERE a > 2");
  }
}

TEST_F(wizard_server_run, CancelDuringARunStopsItAndWaitsForIt) {
  REQUIRE_DISPLAY();
  const int total = 1000000;
  std::string text = "n;label\n";
  for (int i = 0; i < total; ++i) text += std::to_string(i) + ";row\n";
  const auto csv = write("big.csv", text);
  const int result = run(tk_to_utf8(profile(csv.wstring(), false).wstring()), [&] {
    d.press(gui::ID_PSNEXT);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    d.type(1005, L"big");
    d.answer_message(gui::IDYES);  // create the database
    d.press(gui::ID_PSNEXT);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 108);
    EXPECT_FALSE(d.button_enabled(gui::ID_PSBACK));
    EXPECT_FALSE(d.button_enabled(gui::ID_PSNEXT));
    ASSERT_TRUE(d.wait_for([] { return orvell_converter::instance().get_record_counter() > 0; }));
    d.answer_message(gui::IDNO);
    d.press(gui::IDCANCEL);  // No: the run goes on
    EXPECT_FALSE(wizard_shell::instance().ended());
    d.answer_message(gui::IDYES);
    d.press(gui::IDCANCEL);
    EXPECT_TRUE(wizard_shell::instance().ended());
    EXPECT_TRUE(orvell_converter::instance().is_finished());  // stopped and waited for
  });
  EXPECT_EQ(result, 0);
  const std::string rows = client->value("SELECT COUNT(*) FROM `" + db + "`.`big`");
  EXPECT_LT(std::stoi(rows.empty() ? "0" : rows), total);
}

// A progress page whose worker thread cannot be made.
struct no_thread_progress_page : progress_page<orvell_converter> {
  void start_worker() override { throw tk_exception("Failed to start the conversion thread.", 1); }
};

TEST_F(wizard_run, AWorkerThatCannotStartIsReportedAndTheUserMayGoBack) {
  REQUIRE_DISPLAY();
  error_handler handler(dao_error_map_size, dao_error_map, std::make_unique<wizard_error_dialogs>());
  orvell_converter converter;
  converter.from_xls = false;
  wizard_shell shell(L"Orvell 9.9", 501, 311, 312);
  delim_page<orvell_converter> delimiter;
  no_thread_progress_page progress;
  finish_page finish(L"ok", L"errors", L"orv",
                     [](const std::wstring& path) { return orvell_converter::instance().store_profile_file(path); });
  for (wizard_page* p : std::initializer_list<wizard_page*>{&delimiter, &progress, &finish}) shell.add_page(p);
  d.attach(shell);
  shell.open(nullptr);
  d.answer_message(gui::IDOK);
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 108);
  d.settle();
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0], L"Failed to start the conversion thread.");
  EXPECT_TRUE(d.button_enabled(gui::ID_PSBACK));
  EXPECT_FALSE(d.button_enabled(gui::ID_PSNEXT));
  d.press(gui::ID_PSBACK);
  EXPECT_EQ(d.page_id(), 107);
  shell.close();
}

}  // namespace
