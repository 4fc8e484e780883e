// What the user chose holds, worked through the real handlers of the whole wizard:
// help beside the wizard, a typed name kept, the welcome choices kept after a
// cancelled Load Settings, nothing of the destination lost before the run starts,
// selected queries converted, Enter on the finish page.
#include "platform/gui/gui_help.h"
#include "tests/apps/orvell_wizard/wizard_fixture.h"

#include <wx/window.h>

#include <algorithm>

namespace {

// The part of a dump that a table's statements take (up to the next table's).
std::string dump_section(const std::string& dump, const std::string& table) {
  const std::string head = "CREATE TABLE `" + table + "`";
  const size_t start = dump.find(head);
  if (start == std::string::npos) return "";
  return dump.substr(start, dump.find("CREATE TABLE", start + head.size()) - start);
}

size_t count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A workbook's profile: the example workbook, its Products worksheet and the query
// Dear selected, the query Cheap offered.
std::string sales_queries() {
  return "[Selected Tables]\nProducts\nDear=SELECT name, price FROM [Products$] WHERE price > 2\n\n"
         "[Available Queries]\nCheap=SELECT name FROM [Products$] WHERE price < 2\n\n";
}

// On the worksheet page of that profile: Cheap is selected too.
void select_cheap(gui::driver& d) {
  ASSERT_EQ(d.page_id(), 127);
  gui::control_set& c = d.page_controls();
  ASSERT_EQ(c.list_count(1318), 2);
  EXPECT_EQ(c.list_text(1318, 0), L"Dear");
  EXPECT_EQ(c.list_text(1318, 1), L"Products");
  ASSERT_EQ(c.list_count(1317), 2);
  ASSERT_EQ(c.list_text(1317, 0), L"Cheap");
  d.double_click(1317, 0);
  EXPECT_EQ(c.list_count(1318), 3);
}

TEST_F(wizard_run, HelpShowsTheFormattedTopicBesideTheWizard) {
  REQUIRE_DISPLAY();
  gui::help_view welcome, overwrite, connection;
  int page_after_click = 0;
  run("", [&] {
    d.show_help(true);
    // A viewer that took the program's input would hold F1 until it is closed: close it.
    gui::post_to_ui([] {
      if (!gui::help_shown().takes_input) return;
      ADD_FAILURE() << "the help viewer holds the program's input";
      gui::help_window()->Close();
    });
    d.key_f1();
    welcome = gui::help_shown();
    // While help is open the wizard takes the pointer's clicks, and help takes its own.
    d.pointer_click(gui::ID_PSNEXT);
    page_after_click = d.page_id();
    d.click_help_contents(L"When the destination already exists");
    overwrite = gui::help_shown();
    d.press(gui::IDHELP);
    connection = gui::help_shown();
    gui::help_close();
    d.answer_message(gui::IDYES);
    d.pointer_click(gui::IDCANCEL);
    EXPECT_TRUE(wizard_shell::instance().ended());
  });
  EXPECT_TRUE(welcome.open);
  EXPECT_FALSE(welcome.takes_input);
  EXPECT_EQ(welcome.title, L"Choosing the source and the destination");
  EXPECT_NE(welcome.text.find(L"Destination: a MySQL server"), std::wstring::npos) << tk_to_utf8(welcome.text);
  EXPECT_EQ(welcome.text.find(L"<p>"), std::wstring::npos) << tk_to_utf8(welcome.text);  // no markup
  EXPECT_EQ(welcome.text.find(L"<b>"), std::wstring::npos) << tk_to_utf8(welcome.text);
  EXPECT_EQ(page_after_click, 123);
  EXPECT_EQ(overwrite.title, L"When the destination already exists");
  EXPECT_EQ(connection.title, L"Connecting to the MySQL server");
  EXPECT_NE(connection.location.find(L"connect.htm"), std::wstring::npos);
  std::vector<int> topics;
  for (const auto& r : d.log())
    if (r.kind == "help") topics.push_back(r.id);
  EXPECT_EQ(topics, (std::vector<int>{1012, 1010}));
}

TEST_F(wizard_run, ATypedNameIsKeptAndSuggestionsFollowTheSource) {
  REQUIRE_DISPLAY();
  const auto xls = copy_of("tests/fixtures/xls/sample.xls", "sample.xls");
  const auto other = copy_of("tests/fixtures/xls/sample.xls", "other.xls");
  const auto people = write("people.csv", "name;age\nAnn;31\n");
  const auto staff = write("staff.csv", "name;age\nBob;45\n");
  const std::wstring mine = (dir.path() / "mine.sql").wstring();
  std::wstring suggested_dump, kept_dump, kept_after_browse, suggested_table, kept_table, table_after_browse,
      table_of_new_source;
  run("", [&] {
    d.choose(1303, 1);  // a workbook into a dump file
    d.press(gui::ID_PSNEXT);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    gui::control_set& c = d.page_controls();
    d.type(1003, xls.wstring());
    d.focus(1004);  // empty: the name is suggested
    suggested_dump = c.text(1004);
    d.type(1004, mine);
    d.focus(1004);
    kept_dump = c.text(1004);
    d.answer_file(other.wstring());
    d.click(1107);  // another source
    kept_after_browse = c.text(1004);
    d.press(gui::ID_PSBACK);
    d.press(gui::ID_PSBACK);
    d.choose(1302, 1);  // a CSV file now
    d.press(gui::ID_PSNEXT);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    d.type(1003, people.wstring());
    d.focus(1005);
    suggested_table = c.text(1005);
    d.type(1005, L"persons");
    d.focus(1005);
    kept_table = c.text(1005);
    d.answer_file(staff.wstring());
    d.click(1107);
    table_after_browse = c.text(1005);
    EXPECT_EQ(c.text(1004), mine);  // never touched for a CSV file
    d.type(1005, L"");
    d.focus(1005);  // emptied: suggested again, from the new source
    table_of_new_source = c.text(1005);
    d.answer_message(gui::IDYES);
    d.press(gui::IDCANCEL);
  });
  EXPECT_EQ(std::filesystem::path(suggested_dump).filename(), "sample.sql");
  EXPECT_EQ(kept_dump, mine);
  EXPECT_EQ(kept_after_browse, mine);
  EXPECT_EQ(suggested_table, L"people");
  EXPECT_EQ(kept_table, L"persons");
  EXPECT_EQ(table_after_browse, L"persons");
  EXPECT_EQ(table_of_new_source, L"staff");
}

// The names of the last run, from the registry, stay in their boxes until the source
// changes (Browse, or a source typed that differs from the saved one; focus alone
// does not); a name typed after that stays.
TEST_F(wizard_run, SavedNamesGiveWayToANewSourceOnly) {
  REQUIRE_DISPLAY();
  struct row {
    int source_kind;  // 0 workbook, 1 CSV file
    int box;
    bool browse;
  };
  for (const row& r : {row{0, 1004, true}, row{1, 1005, false}, row{1, 1005, true}}) {
    SCOPED_TRACE(r.box * 10 + r.browse);
    std::filesystem::remove(dir.path() / "registry.reg");
    const std::string ext = r.source_kind == 0 ? ".xls" : ".csv";
    const std::wstring shop = (dir.path() / "shop.sql").wstring();
    run("", [&] {  // the last run: its names go to the registry
      d.choose(1302, r.source_kind);
      d.choose(1303, 1);  // into a dump file
      d.press(gui::ID_PSNEXT);
      d.press(gui::ID_PSNEXT);
      ASSERT_EQ(d.page_id(), 105);
      d.type(1003, (dir.path() / ("last" + ext)).wstring());
      d.type(1004, shop);
      if (r.source_kind == 1) d.type(1005, L"orders");
      d.press(gui::ID_PSBACK);
      d.answer_message(gui::IDYES);
      d.press(gui::IDCANCEL);
    });
    std::wstring saved, after_focus, after_change, typed;
    run("", [&] {
      d.press(gui::ID_PSNEXT);
      d.press(gui::ID_PSNEXT);
      ASSERT_EQ(d.page_id(), 105);
      gui::control_set& c = d.page_controls();
      saved = c.text(r.box);
      d.focus(r.box);
      after_focus = c.text(r.box);
      const std::wstring fresh = (dir.path() / ("fresh" + ext)).wstring();
      if (r.browse) {
        d.answer_file(fresh);
        d.click(1107);
      } else {
        d.type(1003, fresh);
        d.focus(r.box);
      }
      after_change = c.text(r.box);
      d.type(r.box, L"mine");
      d.type(1003, (dir.path() / ("other" + ext)).wstring());
      d.focus(r.box);
      typed = c.text(r.box);
      d.answer_message(gui::IDYES);
      d.press(gui::IDCANCEL);
    });
    const std::wstring saved_name = r.box == 1004 ? shop : L"orders";
    EXPECT_EQ(saved, saved_name);
    EXPECT_EQ(after_focus, saved_name);
    EXPECT_EQ(r.box == 1004 ? std::filesystem::path(after_change).filename().wstring() : after_change,
              r.box == 1004 ? L"fresh.sql" : L"fresh");
    EXPECT_EQ(typed, L"mine");
  }
}

TEST_F(wizard_run, LoadSettingsKeepsTheWelcomeChoicesUnlessAProfileNamesThem) {
  REQUIRE_DISPLAY();
  const auto xls = copy_of("tests/fixtures/xls/sample.xls", "sample.xls");
  const auto orv = write("source_only.orv", "[Generic settings]\nsrc=" + xls.string() +
                                                "\n\n[MS Excel settings]\nconvert from xls=1\n\n");
  int page = 0;
  run("", [&] {
    gui::control_set& c = d.page_controls();
    d.choose(1302, 1);  // CSV file
    d.choose(1303, 1);  // dump file
    d.answer_file(std::nullopt);
    d.click(1115);  // Load Settings, Cancel
    EXPECT_EQ(c.combo_selection(1302), 1);
    EXPECT_EQ(c.combo_selection(1303), 1);
    d.answer_file(orv.wstring());
    d.click(1115);  // a profile that names the source kind only
    EXPECT_EQ(c.combo_selection(1302), 0);
    EXPECT_EQ(c.combo_selection(1303), 1);
    d.press(gui::ID_PSNEXT);
    page = d.page_id();
    d.answer_message(gui::IDYES);
    d.press(gui::IDCANCEL);
  });
  EXPECT_EQ(page, 102);
  int asked = 0;
  for (const auto& r : d.log())
    if (r.kind == "open" && r.caption == L"Select Profile File") ++asked;
  EXPECT_EQ(asked, 2);
  for (const auto& r : d.unexpected()) ADD_FAILURE() << r.kind << ": " << tk_to_utf8(r.text);
}

TEST_F(wizard_run, AnExistingDumpFileStaysUntilTheRunAndEnterFinishes) {
  REQUIRE_DISPLAY();
  const auto csv = write("people.csv", "name;age\nAnn;31\n");
  const auto dump = write("people.sql", "-- an earlier dump\n");
  const auto orv = dump_profile(csv, dump, false);
  auto to_delimiter_page = [&] {
    d.press(gui::ID_PSNEXT);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    d.type(1005, L"people");
    d.answer_message(gui::IDYES);  // "Destination file already exists. Overwrite?"
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 107);
  };
  std::string before_cancel;
  EXPECT_EQ(run(orv.string(), [&] {
              to_delimiter_page();
              before_cancel = test_dir::read(dump);
              d.answer_message(gui::IDYES);
              d.press(gui::IDCANCEL);
            }),
            0);
  EXPECT_EQ(before_cancel, "-- an earlier dump\n");
  EXPECT_EQ(test_dir::read(dump), "-- an earlier dump\n");
  d.clear_log();
  bool ended_by_enter = false;
  EXPECT_EQ(run(orv.string(), [&] {
              to_delimiter_page();
              d.click(1330);  // semicolon
              d.press(gui::ID_PSNEXT);
              ASSERT_TRUE(d.wait_for([&] { return d.page_id() == 116; }));
              d.keyboard("Return");
              ended_by_enter = wizard_shell::instance().ended();
            }),
            1);
  EXPECT_TRUE(ended_by_enter);
  for (const auto& r : d.log()) EXPECT_NE(r.kind, "save") << "Enter opened " << tk_to_utf8(r.caption);
  const std::string text = test_dir::read(dump);
  EXPECT_NE(text.find("CREATE TABLE `people`"), std::string::npos) << text;
  EXPECT_NE(text.find("'Ann'"), std::string::npos) << text;
}

TEST_F(wizard_run, SelectedQueriesBecomeTablesOfADump) {
  REQUIRE_DISPLAY();
  const auto xls = copy_of("examples/sales.xlsx", "sales.xlsx");
  const auto dump = dir.path() / "sales.sql";
  const auto orv = dump_profile(xls, dump, true, sales_queries());
  EXPECT_EQ(run(orv.string(), [&] {
              d.press(gui::ID_PSNEXT);
              d.press(gui::ID_PSNEXT);
              d.press(gui::ID_PSNEXT);
              select_cheap(d);
              convert_and_finish();
            }),
            1);
  const std::string text = test_dir::read(dump);
  const std::string dear = dump_section(text, "Dear"), cheap = dump_section(text, "Cheap");
  EXPECT_EQ(count(text, "CREATE TABLE"), 3u) << text;
  EXPECT_NE(dear.find("'Lemon cake'"), std::string::npos) << text;
  EXPECT_NE(dear.find("'Orange juice'"), std::string::npos) << text;
  EXPECT_EQ(dear.find("'Green tea'"), std::string::npos) << text;
  EXPECT_NE(cheap.find("'Green tea'"), std::string::npos) << text;
  EXPECT_EQ(cheap.find("'Lemon cake'"), std::string::npos) << text;
  EXPECT_NE(dump_section(text, "Products"), "");
  EXPECT_EQ(dump_section(text, "Orders"), "");
}

TEST_F(wizard_server_run, SelectedQueriesBecomeTablesOfTheServer) {
  REQUIRE_DISPLAY();
  const auto xls = copy_of("examples/sales.xlsx", "sales.xlsx");
  EXPECT_EQ(run(tk_to_utf8(profile(xls.wstring(), true, sales_queries()).wstring()), [&] {
              d.press(gui::ID_PSNEXT);
              d.press(gui::ID_PSNEXT);
              ASSERT_EQ(d.page_id(), 105);
              d.press(gui::ID_PSNEXT);  // a new database: no question
              select_cheap(d);
              convert_and_finish();
            }),
            1);
  EXPECT_EQ(client->tables(db), (std::vector<std::string>{"Cheap", "Dear", "Products"}));
  auto dear = client->rows("SELECT name, price FROM `" + db + "`.`Dear` ORDER BY name");
  ASSERT_EQ(dear.size(), 3u);
  EXPECT_EQ(texts(dear[0]), (std::vector<std::string>{"Caf\xc3\xa9 cr\xc3\xa8me", "2.5"}));
  EXPECT_EQ(texts(dear[1]), (std::vector<std::string>{"Lemon cake", "3.2"}));
  EXPECT_EQ(client->value("SELECT name FROM `" + db + "`.`Cheap`"), "Green tea");
}

TEST_F(wizard_server_run, OverwritingTheWholeDatabaseWaitsForTheRun) {
  REQUIRE_DISPLAY();
  const auto xls = copy_of("tests/fixtures/xls/sample.xls", "sample.xls");
  client->exec("CREATE DATABASE `" + db + "`");
  client->exec("CREATE TABLE `" + db + "`.`keep` (a INT)");
  client->exec("INSERT INTO `" + db + "`.`keep` VALUES (7)");
  const std::string orv = tk_to_utf8(profile(xls.wstring(), true).wstring());
  auto to_worksheet_page = [&] {
    d.press(gui::ID_PSNEXT);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    d.answer_dialog(gui::IDOK);  // the prompt as Enter leaves it: "Overwrite the entire database"
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 127);
  };
  EXPECT_EQ(run(orv, [&] {
              to_worksheet_page();
              d.answer_message(gui::IDYES);
              d.press(gui::IDCANCEL);
            }),
            0);
  EXPECT_EQ(client->tables(db), std::vector<std::string>{"keep"});
  EXPECT_EQ(client->value("SELECT a FROM `" + db + "`.`keep`"), "7");
  // Through the run, the same choice replaces the database with the workbook's tables.
  EXPECT_EQ(run(orv, [&] {
              to_worksheet_page();
              d.click(1102);
              convert_and_finish();
            }),
            1);
  auto tables = client->tables(db);
  EXPECT_EQ(std::count(tables.begin(), tables.end(), "keep"), 0);
  EXPECT_EQ(std::count(tables.begin(), tables.end(), "Data"), 1);
  int prompts = 0;
  for (const auto& r : d.log())
    if (r.kind == "dialog" && r.id == 121) ++prompts;
  EXPECT_EQ(prompts, 2);
}

}  // namespace
