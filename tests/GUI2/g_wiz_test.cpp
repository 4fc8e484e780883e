// The wizard shell and page framework, worked through the test driver.
#include "GUI2/g_finish.h"
#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_driver.h"
#include "tests/platform/gui/gui_environment.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace {

// A page whose handlers the test sets.
struct page : wizard_page {
  page(int id, const wchar_t* title, int help_topic) : wizard_page(id, title, L"sub"), topic(help_topic) {
    has_help = help_topic != 0;
  }
  bool page_init() override { return init ? init() : true; }
  int on_next() override { return next ? next() : 0; }
  int on_back() override { return back ? back() : 0; }
  void on_help() override {
    if (topic > 0) wizard_shell::instance().display_help(topic);
    if (topic < 0) wizard_shell::instance().display_help();
  }
  int wizard_buttons() const override { return buttons; }
  void on_timer(int id) override { ticks.push_back(id); }
  std::function<bool()> init;
  std::function<int()> next, back;
  int topic;
  int buttons = gui::PSWIZB_BACK | gui::PSWIZB_NEXT;
  std::vector<int> ticks;
};

struct shell_test : ::testing::Test {
  void SetUp() override {
    if (!gui_test::display_available()) return;
    shell = std::make_unique<wizard_shell>(L"Orvell 9.9", 501, 311, 312);
    shell->set_help_file(L"/nonexistent/orvell_wizard.htb");
    welcome = std::make_unique<page>(103, nullptr, 1012);
    welcome->hide_header = true;
    welcome->buttons = gui::PSWIZB_NEXT;
    file = std::make_unique<page>(105, L"Step 2 of 4", 1015);
    progress = std::make_unique<page>(108, L"Step 4 of 4", -1);
    finish = std::make_unique<gui_finish_page>(L"Done.", L"There were some errors.");
    for (gui::page* p : std::initializer_list<gui::page*>{welcome.get(), file.get(), progress.get(), finish.get()})
      shell->add_page(p);
    d.attach(*shell);
  }
  void TearDown() override { shell.reset(); }
  gui::driver d;
  std::unique_ptr<wizard_shell> shell;
  std::unique_ptr<page> welcome, file, progress;
  std::unique_ptr<gui_finish_page> finish;
};

TEST_F(shell_test, OneShellAndCaptionsBeforeAndAfterItShows) {
  REQUIRE_DISPLAY();
  try {
    wizard_shell second(L"x", 0, 0, 0);
    FAIL() << "a second shell was made";
  } catch (const tk_mail_assertion& e) {
    EXPECT_NE(std::string(e.what()).find(tk_location_code("tk_singl", 35)), std::string::npos);
  }
  EXPECT_FALSE(wizard_shell::is_initialized());
  wizard_shell::error(std::wstring(L"early"));
  shell->open(nullptr);
  EXPECT_TRUE(wizard_shell::is_initialized());
  wizard_shell::error(std::string("late"));
  wizard_shell::message(L"note");
  auto log = d.log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].caption, L"Error");
  EXPECT_EQ(log[1].caption, L"Orvell 9.9 Error");
  EXPECT_EQ(log[1].text, L"late");
  EXPECT_EQ(log[2].caption, L"Orvell 9.9 Message");
  EXPECT_EQ(wizard_shell::active_window(), shell->window());
}

TEST_F(shell_test, PagesRouteSkipAndShowTheirButtons) {
  REQUIRE_DISPLAY();
  welcome->next = [] { return 108; };
  bool skip_progress = true;
  progress->init = [&] { return !skip_progress; };
  shell->open(nullptr);
  d.settle();
  EXPECT_FALSE(d.button_enabled(gui::ID_PSBACK));  // the welcome page offers Next alone
  EXPECT_TRUE(d.button_enabled(gui::ID_PSNEXT));
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 116);  // 108 refused to show: onwards to the finish page
  EXPECT_TRUE(shell->button_visible(gui::ID_WIZFINISH));
  EXPECT_FALSE(d.button_enabled(gui::IDCANCEL));
  EXPECT_FALSE(d.button_enabled(gui::IDHELP));
  skip_progress = false;
  EXPECT_TRUE(shell->select_page_by_id(108));
  EXPECT_EQ(d.page_id(), 108);
  file->back = [] { return 103; };
  shell->select_page_by_id(105);
  d.press(gui::ID_PSBACK);
  EXPECT_EQ(d.page_id(), 103);
}

TEST_F(shell_test, CancelAsksWithNoAsTheDefault) {
  REQUIRE_DISPLAY();
  shell->open(nullptr);
  d.answer_message(gui::IDNO);
  d.press(gui::IDCANCEL);
  EXPECT_FALSE(shell->ended());
  EXPECT_EQ(d.page_id(), 103);
  d.close_box();  // unanswered: No, the default
  EXPECT_FALSE(shell->ended());
  d.answer_message(gui::IDYES);
  d.key_escape();
  EXPECT_TRUE(shell->ended());
  EXPECT_EQ(shell->result(), 0);
  auto log = d.log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].caption, L"Orvell 9.9 Question");
  EXPECT_EQ(log[0].text, L"Are you sure you want to exit the wizard?");
  EXPECT_EQ(d.unexpected().size(), 1u);
}

TEST_F(shell_test, F1OpensEachPagesTopicOrReportsAMissingBook) {
  REQUIRE_DISPLAY();
  shell->open(nullptr);
  d.key_f1();  // no book next to the program
  ASSERT_EQ(d.log().size(), 1u);
  EXPECT_EQ(d.log()[0].text, L"Help file does not exist. Reinstall the program.");
  EXPECT_EQ(d.log()[0].caption, L"Orvell 9.9 Error");
  auto book = std::filesystem::temp_directory_path() / ("orv-book-" + std::to_string(::getpid()) + ".htb");
  { std::ofstream(book) << "book"; }
  shell->set_help_file(book.wstring());
  d.clear_log();
  d.key_f1();
  d.press(gui::IDHELP);
  shell->select_page_by_id(108);
  d.key_f1();
  shell->select_page_by_id(116);
  d.key_f1();  // the finish page has no help
  auto log = d.log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].kind, "help");
  EXPECT_EQ(log[0].id, 1012);
  EXPECT_EQ(log[1].id, 1012);
  EXPECT_EQ(log[2].id, -1);  // the progress page: the default topic
  std::filesystem::remove(book);
}

TEST_F(shell_test, ProgressTimerFromTheWorkerReachesOnlyTheCurrentPage) {
  REQUIRE_DISPLAY();
  shell->open(nullptr);
  shell->select_page_by_id(108);
  std::atomic<bool> done{false};
  std::string second;
  std::thread worker([&] {
    shell->start_timer(20);
    try {
      shell->start_timer(20);
    } catch (const tk_mail_assertion& e) {
      second = e.what();
    }
    done = true;
  });
  d.wait_for([&] { return done.load(); });
  worker.join();
  EXPECT_NE(second.find(tk_location_code("g_wiz_sh", 223)), std::string::npos);
  EXPECT_TRUE(d.wait_for([&] { return progress->ticks.size() >= 2; }, 5000));
  EXPECT_EQ(progress->ticks[0], wizard_shell::timer_id);
  shell->stop_timer();
  EXPECT_FALSE(shell->is_timer_running());
  // Another timer of the sheet is not the page's business.
  progress->ticks.clear();
  shell->gui::sheet::start_timer(7, 10);
  d.settle(80);
  EXPECT_TRUE(progress->ticks.empty());
}

TEST_F(shell_test, FinishPageListsTheErrorsReadOnly) {
  REQUIRE_DISPLAY();
  shell->errors() = {"Sheet1, record #3: Access denied.\nsecond line", "Sheet2: failed"};
  shell->open(nullptr);
  shell->select_page_by_id(116);
  gui::control_set& c = d.page_controls();
  EXPECT_EQ(c.text(1314), L"There were some errors.");
  EXPECT_TRUE(c.visible(1016));
  EXPECT_TRUE(c.readonly(1016));
  EXPECT_EQ(c.text(1016), L"Sheet1, record #3: Access denied. second line\r\n\r\nSheet2: failed\r\n\r\n");
  d.keyboard("Return");  // Finish has the focus, not the list
  EXPECT_TRUE(shell->ended());
  EXPECT_EQ(shell->result(), 1);
}

TEST_F(shell_test, FinishPageWithoutErrorsShowsTheSuccessTextAndTakesEnter) {
  REQUIRE_DISPLAY();
  shell->open(nullptr);
  shell->select_page_by_id(116);
  EXPECT_EQ(d.page_controls().text(1314), L"Done.");
  EXPECT_FALSE(d.page_controls().visible(1016));
  d.keyboard("Return");  // Finish has the focus, not Save Settings
  EXPECT_TRUE(shell->ended());
  EXPECT_EQ(shell->result(), 1);
}

TEST_F(shell_test, InvertingSomethingThatIsNoCheckBoxIsAnInternalError) {
  REQUIRE_DISPLAY();
  shell->open(nullptr);
  shell->select_page_by_id(105);
  EXPECT_TRUE(file->invert_chbox(1222));
  EXPECT_FALSE(file->invert_chbox(1222));
  EXPECT_THROW(file->invert_chbox(1003), tk_mail_assertion);
}

}  // namespace

namespace {

// The program destroys its pages before the shell, once the sheet has closed.
TEST(ShellLifetime, PagesMayGoBeforeTheShell) {
  REQUIRE_DISPLAY();
  gui::driver d;
  auto shell = std::make_unique<wizard_shell>(L"Orvell 9.9", 501, 311, 312);
  {
    page welcome(103, nullptr, 1012);
    shell->add_page(&welcome);
    gui::post_to_ui([&] { shell->press(gui::ID_WIZFINISH); });
    EXPECT_EQ(shell->run(nullptr), 1);
  }
  shell.reset();
}

}  // namespace
