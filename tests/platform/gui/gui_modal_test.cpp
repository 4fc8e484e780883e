// Modal dialogs, message boxes, file dialogs and help, from the user-interface thread
// and from workers, answered by the test driver.
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_clipboard.h"
#include "platform/kernel/clipboard.h"
#include "platform/kernel/dll_version.h"
#include "platform/gui/gui_dialog.h"
#include "platform/gui/gui_driver.h"
#include "platform/gui/gui_help.h"
#include "tests/platform/gui/gui_environment.h"

#include <wx/wfstream.h>
#include <wx/zipstrm.h>

#include <filesystem>
#include <thread>

namespace {

// The existing-database prompt, as the wizard uses it: mode from the radio buttons.
struct choose_mode : gui::dialog {
  choose_mode() : dialog(121) {}
  void on_init() override {
    set_caption(L"Test Warning");
    controls().set_text(1320, L"The destination database already exists.");
    controls().set_checked(1329, true);
  }
  void on_command(int id, int code) override {
    if (id == gui::IDOK) {
      for (int i = 0; i < 4; ++i)
        if (controls().checked(1329 + i)) mode = i;
      end(gui::IDOK);
    } else if (id == gui::IDHELP) {
      helped = true;
    } else {
      dialog::on_command(id, code);
    }
  }
  int mode = -1;
  bool helped = false;
};

TEST(GuiModal, ScriptedDialogsRunTheirRealHandlersAndAreRecorded) {
  REQUIRE_DISPLAY();
  gui::driver d;
  d.answer_dialog([](gui::dialog& dlg) {
    gui::press_in(dlg, gui::IDHELP);  // stays open
    dlg.controls().user_click(1331);
  }, gui::IDOK);
  choose_mode dlg;
  EXPECT_EQ(dlg.run_modal(nullptr), gui::IDOK);
  EXPECT_EQ(dlg.mode, 2);
  EXPECT_TRUE(dlg.helped);
  auto log = d.log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].kind, "dialog");
  EXPECT_EQ(log[0].id, 121);
  EXPECT_EQ(log[0].caption, L"Test Warning");
  EXPECT_EQ(log[0].text, L"The destination database already exists.");
  EXPECT_EQ(log[0].answer, gui::IDOK);
  // No answer left: the next dialog is closed as by its close box, and reported.
  choose_mode again;
  EXPECT_EQ(again.run_modal(nullptr), gui::IDCANCEL);
  EXPECT_EQ(again.mode, -1);
  EXPECT_EQ(d.unexpected().size(), 1u);
}

TEST(GuiModal, WorkerCallsWaitForTheUserInterfaceThread) {
  REQUIRE_DISPLAY();
  gui::driver d;
  d.answer_message(gui::IDYES);
  d.answer_dialog(gui::IDCANCEL);
  int answer = 0, end = 0;
  bool ui_thread_seen = true;
  std::thread worker([&] {
    ui_thread_seen = gui::on_ui_thread();
    answer = gui::message_box(nullptr, L"Destination database doesn't exist. Create?", L"Question",
                              gui::MB_YESNO | gui::MB_ICONQUESTION | gui::MB_DEFBUTTON2);
    choose_mode dlg;
    end = dlg.run_modal(nullptr);
  });
  EXPECT_TRUE(d.wait_for([&] { return end != 0; }, 10000));
  worker.join();
  EXPECT_FALSE(ui_thread_seen);
  EXPECT_EQ(answer, gui::IDYES);
  EXPECT_EQ(end, gui::IDCANCEL);
  auto log = d.log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].caption, L"Question");
  EXPECT_EQ(log[0].text, L"Destination database doesn't exist. Create?");
  // Unanswered Yes/No questions get No, the default the wizard asks for.
  EXPECT_EQ(gui::message_box(nullptr, L"Sure?", L"Question", gui::MB_YESNO | gui::MB_DEFBUTTON2), gui::IDNO);
}

TEST(GuiModal, ExceptionsOfCarriedCallsReachTheWorker) {
  REQUIRE_DISPLAY();
  std::string what;
  std::thread worker([&] {
    try {
      gui::call_on_ui([]() -> int { throw std::runtime_error("refused"); });
    } catch (const std::exception& e) {
      what = e.what();
    }
  });
  EXPECT_TRUE(gui::pump_until([&] { return !what.empty(); }, 10000));
  worker.join();
  EXPECT_EQ(what, "refused");
}

// The connecting dialog of the SQL Server wizard is ended by its worker, perhaps
// before it has been shown.
struct ended_by_worker : gui::dialog {
  ended_by_worker() : dialog(101, gui::resource_set::dunmere) {}
  void on_init() override {
    controls().set_image(1301, 503);
    if (!start_timer(0x30000, 500)) end(-1);
  }
};

TEST(GuiModal, ADialogEndedBeforeItShowsReturnsAtOnce) {
  REQUIRE_DISPLAY();
  ended_by_worker dlg;
  std::thread worker([&] { dlg.end(0); });
  worker.join();
  EXPECT_EQ(dlg.run_modal(nullptr), 0);  // no script: would block if it showed
}

TEST(GuiModal, FileFiltersListLowerAndUpperCaseExtensions) {
  EXPECT_EQ(gui::file_wildcard({{L"MS Excel Workbooks (.xls;.xlsx)", L"*.xls;*.xlsx"},
                                {L"All Files (*.*)", L"*.*"}}),
            L"MS Excel Workbooks (.xls;.xlsx)|*.xls;*.XLS;*.xlsx;*.XLSX|All Files (*.*)|*.*");
  EXPECT_EQ(gui::file_wildcard({{L"Profile Files (.orv)", L"*.Orv"}}), L"Profile Files (.orv)|*.orv;*.ORV");
}

TEST(GuiModal, FileDialogsAreScripted) {
  REQUIRE_DISPLAY();
  gui::driver d;
  d.answer_file(L"/tmp/x/book.xls");
  gui::file_request r;
  r.title = L"Select data source to convert";
  r.folder = L"/tmp/x";
  r.name = L"old.xls";
  EXPECT_EQ(gui::file_dialog(r), std::optional<std::wstring>(L"/tmp/x/book.xls"));
  EXPECT_EQ(gui::file_dialog(r), std::nullopt);  // unanswered: cancelled
  auto log = d.log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].kind, "open");
  EXPECT_EQ(log[0].caption, L"Select data source to convert");
}

// A help book with two numbered topics (the contents file numbers them).
std::filesystem::path make_book(const std::filesystem::path& dir) {
  auto book = dir / "test.htb";
  wxFFileOutputStream file(book.string());
  wxZipOutputStream zip(file);
  auto put = [&](const char* name, const std::string& text) {
    zip.PutNextEntry(name);
    zip.Write(text.data(), text.size());
  };
  put("test.hhp",
      "[OPTIONS]\nContents file=test.hhc\nIndex file=test.hhk\nTitle=Test help\nDefault topic=index.htm\n\n"
      "[FILES]\nindex.htm\nwelcome.htm\nfile.htm\n");
  put("test.hhc",
      "<html><body><ul>"
      "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"Welcome\">"
      "<param name=\"Local\" value=\"welcome.htm\"><param name=\"ID\" value=\"1012\"></object>"
      "<li><object type=\"text/sitemap\"><param name=\"Name\" value=\"File\">"
      "<param name=\"Local\" value=\"file.htm\"><param name=\"ID\" value=\"1015\"></object>"
      "</ul></body></html>");
  put("test.hhk", "<html><body><ul></ul></body></html>");
  put("index.htm", "<html><body>Index</body></html>");
  put("welcome.htm", "<html><body>Welcome</body></html>");
  put("file.htm", "<html><body>File</body></html>");
  zip.Close();
  file.Close();
  return book;
}

TEST(GuiHelp, NumericTopicsOpenTheirPages) {
  REQUIRE_DISPLAY();
  auto dir = std::filesystem::temp_directory_path() / ("orv-help-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto book = make_book(dir).wstring();
  EXPECT_NE(gui::help_page(book, 1015).find(L"file.htm"), std::wstring::npos);
  EXPECT_NE(gui::help_page(book, 1012).find(L"welcome.htm"), std::wstring::npos);
  EXPECT_EQ(gui::help_page(book, 4242), L"");
  EXPECT_TRUE(gui::help_display(book, 1015));
  EXPECT_FALSE(gui::help_display((dir / "missing.htb").wstring(), 1015));
  gui::help_close();
  {
    gui::driver d;  // scripted: recorded, not shown
    EXPECT_TRUE(gui::help_display(book, -1));
    ASSERT_EQ(d.log().size(), 1u);
    EXPECT_EQ(d.log()[0].kind, "help");
    EXPECT_EQ(d.log()[0].id, -1);
  }
  std::filesystem::remove_all(dir);
}

TEST(GuiStart, CommonControlsAndClipboardServeTheKernel) {
  REQUIRE_DISPLAY();
  EXPECT_GE(gui::common_controls_version(), gui::COMCTL_VERSION_580);
  EXPECT_EQ(kernel::dll_version(L"COMCTL32.DLL"), std::optional<DWORD>(0x50050));
  std::wstring text = L"Internal error: \ncode=74 \u00e9\u4e2d";
  bool ok = false;
  std::thread worker([&] { ok = kernel::set_clipboard_text(text); });  // from a worker, as the error dialog may
  gui::pump_until([&] { return ok; }, 5000);
  worker.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(gui::clipboard_text(), text);
  EXPECT_EQ(kernel::memory_clipboard_text(), std::nullopt);
}

}  // namespace
