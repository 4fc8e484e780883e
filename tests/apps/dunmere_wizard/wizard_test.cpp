// The whole of dunmere_wizard, started as the program starts it and worked through the
// test driver against the TDS test server; what it stored is read through the server's
// inspection calls. A profile it saved is then run by dunmere_console.
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_utils.h"
#include "apps/dunmere_wizard/dun_shel.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_driver.h"
#include "platform/kernel/registry.h"
#include "tests/apps/dunmere_console/console_env.h"
#include "tests/platform/gui/gui_environment.h"
#include "tests/support/wizard_script.h"

#include <filesystem>
#include <fstream>
#include <functional>

namespace {

class dunmere_run : public console_test {
 protected:
  void SetUp() override {
    console_test::SetUp();
    kernel::set_registry_file((dir / "registry.reg").string());
  }
  void TearDown() override { kernel::set_registry_file(std::nullopt); }

  // The program's start-up with cmd_line; script works the wizard once its first
  // page shows, from inside the sheet's own modal loop.
  int run_wizard(const std::string& cmd_line, const std::function<void()>& script) {
    return run_wizard_script(d, [&] { return run_dunmere_wizard(cmd_line); }, script);
  }

  // The connection page filled for the test server; Next connects.
  void connect() {
    ASSERT_EQ(d.page_id(), 118);
    d.click(1330);
    d.type(1014, L"127.0.0.1," + std::to_wstring(server->port()));
    d.type(1012, L"sa");
    d.type(1013, tk_from_utf8(server->password()));
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
  }

  // The example workbook, and a database "sales" of its name holding the table
  // keep with one row.
  std::filesystem::path sales_beside_an_existing_database() {
    const auto book = dir / "sales.xlsx";
    std::filesystem::copy_file(std::filesystem::path(ORV_SOURCE_DIR) / "examples/sales.xlsx", book);
    server->execute("CREATE DATABASE [sales]");
    server->execute("CREATE TABLE [keep] ([a] int)", "sales");
    server->execute("INSERT INTO [keep] VALUES (1)", "sales");
    return book;
  }
  // From the first page to the worksheet page with the book, "Overwrite the
  // entire database" chosen in the prompt.
  void to_worksheets_overwriting(const std::filesystem::path& book) {
    d.press(gui::ID_PSNEXT);
    connect();
    d.type(1003, book.wstring());
    d.answer_dialog([](gui::dialog& dlg) { dlg.controls().user_click(1329); }, gui::IDOK);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 127);
  }

  // Next starts the run; waits for the finish page, which must list no errors.
  void convert() {
    d.press(gui::ID_PSNEXT);
    ASSERT_TRUE(d.wait_for([&] { return d.page_id() == 116; }, 60000));
    EXPECT_FALSE(d.page_controls().visible(1016)) << tk_to_utf8(d.page_controls().text(1016));
    EXPECT_FALSE(d.button_enabled(gui::IDCANCEL));
    EXPECT_FALSE(d.button_enabled(gui::IDHELP));
  }

  std::vector<std::wstring> messages() const { return message_texts(d); }
  std::vector<int> help_topics() const {
    std::vector<int> out;
    for (const auto& r : d.log())
      if (r.kind == "help") out.push_back(r.id);
    return out;
  }

  gui::driver d;
};

TEST_F(dunmere_run, AWholeWorkbookAndItsProfileRunByTheConsole) {
  REQUIRE_DISPLAY();
  const auto book = dir / "sales.xlsx";
  std::filesystem::copy_file(std::filesystem::path(ORV_SOURCE_DIR) / "examples/sales.xlsx", book);
  const auto saved = dir / "sales.dun";
  std::wstring title;
  const int result = run_wizard("", [&] {
    title = wizard_shell::instance().title();
    EXPECT_EQ(d.page_id(), 103);
    d.click(1329);
    d.press(gui::ID_PSNEXT);
    connect();
    d.type(1003, book.wstring());
    EXPECT_EQ(d.page_controls().text(1004), L"sales");
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 127);
    EXPECT_EQ(d.page_controls().text(1337), L"Select MS Excel worksheets to convert into MS SQL tables.");
    d.key_f1();
    d.click(1102);  // every worksheet
    convert();
    EXPECT_NE(d.page_controls().text(1314).find(L"to MS SQL database successfully"), std::wstring::npos);
    d.answer_file(saved.wstring());
    d.click(1116);  // Save Settings
    d.press(gui::ID_WIZFINISH);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(title, L"Dunmere 1.0 (Linux)");
  EXPECT_EQ(help_topics(), std::vector<int>{1016});
  EXPECT_TRUE(messages().empty());
  const std::vector<std::string> tables = server->tables("sales");
  ASSERT_EQ(tables.size(), 2u);
  std::vector<rows_t> stored;
  for (const auto& t : tables) {
    const std::string name = t.substr(t.find('.') + 1);
    stored.push_back(table("sales", name));
    EXPECT_GT(stored.back().size(), 0u) << name;
  }
  // The saved profile names the server, the workbook and the worksheets: the console
  // converts the same tables with the same rows.
  const std::string profile = test_dir::read(saved.string());
  EXPECT_NE(profile.find("[MS SQL Server settings]"), std::string::npos) << profile;
  server->execute("DROP DATABASE [sales]");
  const console_result r = run_console(dir, {"--profile=" + saved.string()});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  ASSERT_EQ(server->tables("sales"), tables);
  for (std::size_t i = 0; i < tables.size(); ++i)
    EXPECT_EQ(table("sales", tables[i].substr(tables[i].find('.') + 1)), stored[i]);
}

// A profile named on the command line that does not exist: its error, and no wizard.
TEST_F(dunmere_run, AMissingProfileIsReportedAtStart) {
  REQUIRE_DISPLAY();
  EXPECT_EQ(run_dunmere_wizard(path("missing.dun")), 0);
  const std::vector<std::wstring> shown = messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], L"Profile does not exist. Please verify the correct path/name was given.");
}

// A profile named on the command line that cannot be read (an entry before the first
// section, as in a UTF-16 file) or used (a mode that is no digit 0 to 3): its error,
// and the wizard as without a profile.
TEST_F(dunmere_run, AnUnreadableProfileIsReportedAndTheWizardStartsWithoutIt) {
  REQUIRE_DISPLAY();
  struct {
    const char* file;
    const char* text;
    std::wstring shown;
  } cases[] = {
      {"bad.dun", "dest=other\r\n[Generic settings]\r\nmode=3\r\n", L" cannot be read: line 1 comes before the first section."},
      {"mode.dun", "[Generic settings]\r\ndest=other\r\nmode=03\r\n", L" cannot be used: its mode \"03\" is not one of 0, 1, 2, 3."},
  };
  for (const auto& c : cases) {
    write(c.file, c.text);
    d.clear_log();
    bool started = false;
    const int result = run_wizard(path(c.file), [&] {
      started = d.page_id() == 103;
      d.answer_message(gui::IDYES);
      d.press(gui::IDCANCEL);
    });
    EXPECT_EQ(result, 0) << c.file;
    EXPECT_TRUE(started) << c.file;
    const std::vector<std::wstring> shown = messages();
    ASSERT_FALSE(shown.empty()) << c.file;
    EXPECT_EQ(shown[0], L"The profile " + tk_from_utf8(path(c.file)) + c.shown);
  }
}

// "Overwrite the entire database" is chosen on the file page and done by the run: the
// database is there until the run starts, and afterwards holds only the worksheets.
TEST_F(dunmere_run, AWorkbookOverwritingTheEntireDatabase) {
  REQUIRE_DISPLAY();
  const auto book = sales_beside_an_existing_database();
  const int result = run_wizard("", [&] {
    to_worksheets_overwriting(book);
    if (HasFatalFailure()) return;
    EXPECT_TRUE(server->has_table("sales", "keep"));
    d.click(1102);
    convert();
    d.press(gui::ID_WIZFINISH);
  });
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(server->has_table("sales", "keep"));
  EXPECT_EQ(server->tables("sales").size(), 2u);
}

// The workbook removed after its worksheets were chosen: the run reports it and the
// database, chosen to be overwritten, is left whole.
TEST_F(dunmere_run, AWorkbookRemovedBeforeFinishLeavesTheDatabaseWhole) {
  REQUIRE_DISPLAY();
  const auto book = sales_beside_an_existing_database();
  std::wstring listed;
  const int result = run_wizard("", [&] {
    to_worksheets_overwriting(book);
    if (HasFatalFailure()) return;
    d.click(1102);
    std::filesystem::remove(book);
    d.press(gui::ID_PSNEXT);
    ASSERT_TRUE(d.wait_for([&] { return d.page_id() == 116; }, 60000));
    listed = d.page_controls().text(1016);
    d.press(gui::ID_WIZFINISH);
  });
  EXPECT_EQ(result, 1);
  EXPECT_NE(listed.find(L"sales.xlsx"), std::wstring::npos) << tk_to_utf8(listed);
  EXPECT_EQ(server->tables("sales"), std::vector<std::string>{"dbo.keep"});
  EXPECT_EQ(table("sales", "keep"), (rows_t{{"1"}}));
}

TEST_F(dunmere_run, AWholeCsvFileFromAProfileWithTheTableMerged) {
  REQUIRE_DISPLAY();
  write("people.csv", "name,city\nAnn,Oslo\n\"Zo\xc3\xab, Jr.\",\"K\xc3\xb8ge\"\nBo,\xe6\x9d\xb1\xe4\xba\xac\n");
  server->execute("CREATE DATABASE [crm]");
  server->execute("CREATE TABLE [people] ([name] nvarchar(50), [city] nvarchar(50))", "crm");
  server->execute("INSERT INTO [people] VALUES (N'Old', N'Here')", "crm");
  write("people.dun", "[Generic settings]\nsrc=" + path("people.csv") +
                          "\ndest=crm\nmode=1\n\n[MS Excel settings]\nconvert from xls=0\n\n"
                          "[MS SQL Server settings]\nserver=127.0.0.1," + std::to_string(server->port()) +
                          "\nlogin=sa\npassword=" + server->password() + "\nwindows authentication=0\n");
  const int result = run_wizard(path("people.dun"), [&] {
    EXPECT_TRUE(d.page_controls().checked(1330));  // CSV, from the profile
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 118);
    EXPECT_EQ(d.page_controls().text(1012), L"sa");
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    EXPECT_EQ(d.page_controls().text(1005), L"people");
    d.answer_dialog(1109);  // merge into the existing table
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 107);
    d.key_f1();
    d.click(1331);  // comma
    if (!d.page_controls().checked(1222)) d.click(1222);
    convert();
    d.press(gui::ID_WIZFINISH);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(help_topics(), std::vector<int>{1013});
  const rows_t rows = table("crm", "people");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Old", "Here"}));
  EXPECT_EQ(rows[2], (std::vector<std::string>{"Zo\xc3\xab, Jr.", "K\xc3\xb8ge"}));
  EXPECT_EQ(rows[3], (std::vector<std::string>{"Bo", "\xe6\x9d\xb1\xe4\xba\xac"}));
}

// A database named with 70 Cyrillic letters, more bytes than the login record
// holds: the wizard's run merges into its table, and nothing lands in master.
TEST_F(dunmere_run, ADatabaseWhoseNameDoesNotFitTheLoginRecord) {
  REQUIRE_DISPLAY();
  std::string name;
  for (int i = 0; i < 70; ++i) name += "\xD0\x96";
  write("people.csv", "name,city\nAnn,Oslo\nBo,Rome\n");
  server->execute("CREATE DATABASE [" + name + "]");
  server->execute("CREATE TABLE [people] ([name] nvarchar(50), [city] nvarchar(50))", name);
  write("people.dun", "[Generic settings]\nsrc=" + path("people.csv") + "\ndest=" + name +
                          "\nmode=1\n\n[MS Excel settings]\nconvert from xls=0\n\n"
                          "[MS SQL Server settings]\nserver=127.0.0.1," + std::to_string(server->port()) +
                          "\nlogin=sa\npassword=" + server->password() + "\nwindows authentication=0\n");
  const int result = run_wizard(path("people.dun"), [&] {
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 118);
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 105);
    d.answer_dialog(1109);  // merge into the existing table
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 107);
    d.click(1331);  // comma
    if (!d.page_controls().checked(1222)) d.click(1222);
    convert();
    d.press(gui::ID_WIZFINISH);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(table(name, "people"), (rows_t{{"Ann", "Oslo"}, {"Bo", "Rome"}}));
  EXPECT_TRUE(server->tables("master").empty());
}

TEST_F(dunmere_run, CancelDuringTheRunStopsItAndEndsTheWizard) {
  REQUIRE_DISPLAY();
  std::string csv = "n;v\n";
  for (int i = 0; i < 20000; ++i) csv += std::to_string(i) + ";value " + std::to_string(i) + "\n";
  write("big.csv", csv);
  const int result = run_wizard("", [&] {
    d.click(1330);
    d.press(gui::ID_PSNEXT);
    connect();
    d.type(1003, dir.path().wstring() + L"/big.csv");
    d.type(1004, L"bigdb");
    d.answer_message(gui::IDYES);  // create the database
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 107);
    d.click(1330);
    server->set_slow_answer(300);  // every batch of the bulk load waits
    d.press(gui::ID_PSNEXT);
    ASSERT_EQ(d.page_id(), 108);
    d.press(gui::IDHELP);
    d.settle(300);
    d.answer_message(gui::IDYES);
    d.press(gui::IDCANCEL);
    EXPECT_TRUE(wizard_shell::instance().ended());
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(help_topics(), std::vector<int>{-1});  // the progress page opens the book's first topic
  if (server->has_table("bigdb", "big")) {
    EXPECT_LT(server->row_count("bigdb", "big"), 20000u);
  }
}

}  // namespace
