// The wizard's dialogs: overwrite prompts, file dialogs, destination checks, and the
// error dialogs behind the error reporter, raised from a worker as a run does.
#include "GUI2/g_err_dlg.h"
#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
#include "GUI2/over_dlg.h"
#include "TK/tk_excep.h"
#include "platform/gui/gui_clipboard.h"
#include "platform/gui/gui_driver.h"
#include "tests/platform/gui/gui_environment.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct dialogs_test : ::testing::Test {
  void SetUp() override {
    if (!gui_test::display_available()) return;
    shell = std::make_unique<wizard_shell>(L"Orvell 9.9", 501, 311, 312);
    shell->set_help_file(book.wstring());
    { std::ofstream(book) << "book"; }
    dir = fs::temp_directory_path() / ("orv-gui2-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override {
    shell.reset();
    fs::remove(book);
    fs::remove_all(dir);
  }
  fs::path book = fs::temp_directory_path() / ("orv-dlg-book-" + std::to_string(::getpid()) + ".htb");
  fs::path dir;
  gui::driver d;
  std::unique_ptr<wizard_shell> shell;
  wizard_page progress{108, L"Step 4 of 4", L""};
};

TEST_F(dialogs_test, TablePromptGivesCancelOverwriteOrMerge) {
  REQUIRE_DISPLAY();
  const std::wstring text = L"Table with the same name already exists. Click 'Help' button\nfor more information.";
  d.answer_dialog(gui::IDCANCEL);
  d.answer_dialog([](gui::dialog& dlg) { gui::press_in(dlg, gui::IDHELP); }, gui::IDOK);
  d.answer_dialog(1109);
  overwrite_dlg a(1019, text), b(1019, text), c(1019, text);
  EXPECT_EQ(a.run_modal(nullptr), gui::IDCANCEL);
  EXPECT_EQ(a.get_choice(), 0);
  EXPECT_EQ(b.run_modal(nullptr), gui::IDOK);
  EXPECT_EQ(b.get_choice(), 1);
  EXPECT_EQ(c.run_modal(nullptr), 1109);
  EXPECT_EQ(c.get_choice(), 2);
  auto log = d.log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].id, 120);
  EXPECT_EQ(log[0].caption, L"Orvell 9.9 Warning");
  EXPECT_EQ(log[0].text, text);
  EXPECT_EQ(log[1].kind, "help");  // Help keeps the dialog open
  EXPECT_EQ(log[1].id, 1019);
}

TEST_F(dialogs_test, DatabasePromptStartsAtOverwriteTheEntireDatabase) {
  REQUIRE_DISPLAY();
  d.answer_dialog(gui::IDOK);
  d.answer_dialog([](gui::dialog& dlg) { dlg.controls().user_click(1332); }, gui::IDOK);
  d.answer_dialog([](gui::dialog& dlg) { dlg.controls().user_click(1330); }, gui::IDCANCEL);
  overwrite_dlg2 a(1019, L"exists"), b(1019, L"exists"), c(1019, L"exists");
  EXPECT_EQ(a.run_modal(nullptr), gui::IDOK);
  EXPECT_EQ(a.get_mode(), 0);
  EXPECT_EQ(b.run_modal(nullptr), gui::IDOK);
  EXPECT_EQ(b.get_mode(), 3);
  EXPECT_EQ(c.run_modal(nullptr), gui::IDCANCEL);
}

TEST_F(dialogs_test, SaveDialogAppendsTheDefaultExtensionOnlyWhereItIsMissing) {
  REQUIRE_DISPLAY();
  const std::wstring filter(L"MySQL Dump Files (.sql)\0*.sql\0All Files (*.*)\0*.*\0\0", 52);
  auto pick = [&](const std::wstring& chosen) {
    d.answer_file(chosen);
    save_file_dialog dlg(nullptr, {filter, L"Select Dump File"}, (dir / "old.sql").wstring(), L"sql");
    EXPECT_TRUE(dlg.show());
    return dlg.get_file_name();
  };
  EXPECT_EQ(pick(L"/data/out"), L"/data/out.sql");
  EXPECT_EQ(pick(L"/data/out.sql"), L"/data/out.sql");
  EXPECT_EQ(pick(L"/data/x.sql.d/out"), L"/data/x.sql.d/out");
  auto log = d.log();
  EXPECT_EQ(log[0].kind, "save");
  EXPECT_EQ(log[0].caption, L"Select Dump File");
  EXPECT_EQ(log[0].text, dir.wstring() + L"/|old.sql");  // folder and name of the initial path
  EXPECT_THROW(save_file_dialog(nullptr, {filter, L"t"}, L"", nullptr), tk_mail_assertion);
  // Cancel.
  open_file_dialog open(nullptr, {filter, L"Select data source to convert"}, L"");
  EXPECT_FALSE(open.show());
}

TEST_F(dialogs_test, FiltersAreReadAsDescriptionAndPatternPairs) {
  std::wstring f = L"Profile Files (.orv)X*.orvXAll Files (*.*)X*.*X";
  std::replace(f.begin(), f.end(), L'X', L'\0');
  auto pairs = parse_file_filter(f);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].description, L"Profile Files (.orv)");
  EXPECT_EQ(pairs[0].pattern, L"*.orv");
  EXPECT_EQ(pairs[1].pattern, L"*.*");
}

TEST_F(dialogs_test, DestinationChecks) {
  REQUIRE_DISPLAY();
  auto message = [](const fs::path& p) -> std::string {
    try {
      common_check_dest(p.wstring());
      return "";
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.get_level(), 1);
      return e.what();
    }
  };
  EXPECT_EQ(message(dir), "Destination name should specify a file, not folder.");
  EXPECT_EQ(message(dir / "missing" / "out.sql"),
            "Destination path does not exist.\nPlease verify the correct path was given.");
  EXPECT_EQ(message(dir / "out.sql"), "");
  { std::ofstream(dir / "ro.sql") << "x"; }
  fs::permissions(dir / "ro.sql", fs::perms::owner_read);
  if (::geteuid() != 0) {  // root may write anything
    EXPECT_EQ(message(dir / "ro.sql"), "Destination name specifies an existing read-only file.");
  }
}

TEST_F(dialogs_test, CommonControlsArePresentOnceTheToolkitRuns) {
  REQUIRE_DISPLAY();
  init_common_controls();  // returns: 5.80 is registered
  SUCCEED();
}

// The reporter with the wizard's dialogs; an internal error does not end the test.
struct test_dialogs : wizard_error_dialogs {
  void end_process(int code) override { ended_with = code; }
  int ended_with = 0;
};

TEST_F(dialogs_test, ErrorsFromTheWorkerShowTheDialogsAndFillTheList) {
  REQUIRE_DISPLAY();
  auto owned = std::make_unique<test_dialogs>();
  test_dialogs* dialogs = owned.get();
  error_handler handler(mysql_error_map_size, mysql_error_map, std::move(owned));
  shell->add_page(&progress);
  shell->open(nullptr);
  // Continue; then Continue with "Do not show this dialog box again"; then a level-1
  // error that still ends the run but shows no box.
  d.answer_dialog(gui::IDCANCEL);
  d.answer_dialog([](gui::dialog& dlg) { dlg.controls().user_click(1222); }, gui::IDCANCEL);
  struct outcome {
    int finals = 0;
  } out;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    handler.set_record_context(L"Sheet1", 3);
    for (int i = 0; i < 3; ++i) {
      try {
        handler.handle(tk_exception("duplicate", 0), false);
      } catch (const tk_final_exception&) {
        ++out.finals;
      }
    }
    try {
      handler.handle(tk_exception("fatal", 1), false);
    } catch (const tk_final_exception&) {
      ++out.finals;
    }
    done = true;
  });
  EXPECT_TRUE(d.wait_for([&] { return done.load(); }, 20000));
  worker.join();
  EXPECT_EQ(out.finals, 1);
  auto log = d.log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].id, 115);
  EXPECT_EQ(log[0].caption, L"Orvell 9.9 Error");
  EXPECT_EQ(log[0].text, L"Sheet1, record #3: duplicate");
  EXPECT_TRUE(handler.suppressed());
  EXPECT_EQ(shell->errors().size(), 4u);
  EXPECT_EQ(shell->errors()[3], "Sheet1, record #3: fatal");
  EXPECT_EQ(dialogs->ended_with, 0);
}

TEST_F(dialogs_test, AbortEndsTheRunAndInternalErrorsCanBeCopied) {
  REQUIRE_DISPLAY();
  auto owned = std::make_unique<test_dialogs>();
  test_dialogs* dialogs = owned.get();
  error_handler handler(mysql_error_map_size, mysql_error_map, std::move(owned));
  d.answer_dialog(gui::IDOK);  // Abort
  d.answer_dialog(1108);       // Copy to clipboard
  int finals = 0;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    try {
      handler.handle(tk_exception("duplicate", 0), false);
    } catch (const tk_final_exception&) {
      ++finals;
    }
    try {
      handler.handle(tk_mail_assertion("udb_db", 12), true);
    } catch (const tk_final_exception&) {
      ++finals;
    }
    done = true;
  });
  EXPECT_TRUE(d.wait_for([&] { return done.load(); }, 20000));
  worker.join();
  EXPECT_EQ(finals, 2);
  auto log = d.log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].caption, L"Error");  // before the wizard shows
  EXPECT_EQ(log[1].id, 114);
  EXPECT_EQ(log[1].answer, 1108);
  EXPECT_EQ(dialogs->ended_with, -1);
  EXPECT_EQ(gui::clipboard_text(), log[1].text);
  EXPECT_NE(log[1].text.find(L"Internal error"), std::wstring::npos);
}

}  // namespace
