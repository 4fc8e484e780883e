// The wizard sheet: notifications and their results, routing, buttons, keys, timers.
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_dialog.h"
#include "platform/gui/gui_driver.h"
#include "platform/gui/gui_screenshot.h"
#include "platform/gui/gui_sheet.h"
#include "tests/platform/gui/gui_environment.h"

#include <wx/image.h>

#include <filesystem>
#include <functional>
#include <map>
#include <thread>

namespace {

// A page whose answers to the notifications the test sets.
struct test_page : gui::page {
  test_page(int id, std::vector<std::string>& trace) : page(id), trace(trace) {
    header_title = L"Step of " + std::to_wstring(id);
    has_help = true;
  }
  int on_notify(int code) override {
    trace.push_back(std::to_string(dialog_id()) + ":" + name(code));
    auto it = answers.find(code);
    if (code == gui::PSN_SETACTIVE && it == answers.end()) {
      parent_sheet()->post_wizard_buttons(gui::PSWIZB_BACK | gui::PSWIZB_NEXT);
    }
    return it == answers.end() ? 0 : it->second();
  }
  void on_timer(int id) override {
    ticks.push_back(id);
    tick_on_ui = gui::on_ui_thread();
  }
  static std::string name(int code) {
    switch (code) {
      case gui::PSN_SETACTIVE: return "set";
      case gui::PSN_KILLACTIVE: return "kill";
      case gui::PSN_WIZNEXT: return "next";
      case gui::PSN_WIZBACK: return "back";
      case gui::PSN_WIZFINISH: return "finish";
      case gui::PSN_QUERYCANCEL: return "cancel";
      case gui::PSN_RESET: return "reset";
      case gui::PSN_HELP: return "help";
      default: return std::to_string(code);
    }
  }
  std::vector<std::string>& trace;
  std::map<int, std::function<int()>> answers;
  std::vector<int> ticks;
  bool tick_on_ui = false;
};

struct wizard : ::testing::Test {
  void SetUp() override {
    if (!gui_test::display_available()) return;
    for (int id : {103, 102, 123, 105, 127, 107, 108, 116}) {
      pages.push_back(std::make_unique<test_page>(id, trace));
      s.add_page(pages.back().get());
    }
    pages[0]->hide_header = true;
    pages[7]->hide_header = true;
    s.set_caption(L"Orvell test");
    s.set_icon(501);
    s.set_watermark(311);
    s.set_header_bitmap(312);
    d.attach(s);
  }
  void TearDown() override { s.close(); }
  test_page& p(int id) {
    for (auto& pg : pages)
      if (pg->dialog_id() == id) return *pg;
    throw std::logic_error("no page");
  }
  std::vector<std::string> trace;
  std::vector<std::unique_ptr<test_page>> pages;
  gui::sheet s;
  gui::driver d;
};

TEST_F(wizard, NextBackJumpsAndSkipsFollowTheReturnedCodes) {
  REQUIRE_DISPLAY();
  p(103).answers[gui::PSN_WIZNEXT] = [] { return 123; };  // jump over the dump page
  p(123).answers[gui::PSN_WIZNEXT] = [] { return 0; };    // neighbour: 105
  p(105).answers[gui::PSN_WIZNEXT] = [] { return 107; };
  p(107).answers[gui::PSN_SETACTIVE] = [] { return -1; };  // skipped onwards to 108
  s.open(nullptr);
  EXPECT_EQ(d.page_id(), 103);
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 123);
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 105);
  trace.clear();
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 108);
  EXPECT_EQ(trace, (std::vector<std::string>{"105:next", "105:kill", "107:set", "108:set"}));
  // Back skips the same page in the other direction.
  d.press(gui::ID_PSBACK);
  EXPECT_EQ(d.page_id(), 127);
  // -1 stays, and a page that refuses to be left stays too.
  p(127).answers[gui::PSN_WIZNEXT] = [] { return -1; };
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 127);
  p(127).answers[gui::PSN_WIZNEXT] = [] { return 0; };
  p(127).answers[gui::PSN_KILLACTIVE] = [] { return 1; };
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 127);
  p(127).answers.erase(gui::PSN_KILLACTIVE);
  // Selection by dialog id, as the progress page does when the run ends.
  EXPECT_TRUE(s.select_page_by_id(116));
  EXPECT_EQ(d.page_id(), 116);
  EXPECT_FALSE(s.select_page_by_id(999));
}

TEST_F(wizard, PostedButtonsApplyInOrderAfterTheActivation) {
  REQUIRE_DISPLAY();
  p(108).answers[gui::PSN_SETACTIVE] = [this] {
    s.post_wizard_buttons(gui::PSWIZB_BACK | gui::PSWIZB_NEXT);
    s.post_wizard_buttons(0);  // the progress page disables everything
    return 0;
  };
  p(116).answers[gui::PSN_SETACTIVE] = [this] {
    s.post_wizard_buttons(gui::PSWIZB_FINISH);
    return 0;
  };
  p(103).answers[gui::PSN_SETACTIVE] = [this] {
    s.post_wizard_buttons(gui::PSWIZB_NEXT);
    return 0;
  };
  s.open(nullptr);
  d.settle();
  EXPECT_FALSE(d.button_enabled(gui::ID_PSBACK));
  EXPECT_TRUE(d.button_enabled(gui::ID_PSNEXT));
  EXPECT_FALSE(s.button_visible(gui::ID_WIZFINISH));
  s.select_page_by_id(108);
  d.settle();
  EXPECT_FALSE(d.button_enabled(gui::ID_PSBACK));
  EXPECT_FALSE(d.button_enabled(gui::ID_PSNEXT));
  EXPECT_TRUE(d.button_enabled(gui::IDCANCEL));
  EXPECT_THROW(d.press(gui::ID_PSNEXT), std::logic_error);
  s.select_page_by_id(116);
  d.settle();
  EXPECT_TRUE(s.button_visible(gui::ID_WIZFINISH));
  EXPECT_FALSE(s.button_visible(gui::ID_PSNEXT));
  d.press(gui::ID_WIZFINISH);
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.result(), 1);
}

TEST_F(wizard, CancelEscapeAndCloseBoxAskTheCurrentPage) {
  REQUIRE_DISPLAY();
  int keep = 1;
  p(103).answers[gui::PSN_QUERYCANCEL] = [&] { return keep; };
  s.open(nullptr);
  d.press(gui::IDCANCEL);
  d.key_escape();
  d.close_box();
  EXPECT_FALSE(s.ended());
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "103:cancel"), 3);
  // With Cancel disabled (the finish page) neither Esc nor the close box cancels.
  s.enable_button(gui::IDCANCEL, false);
  d.key_escape();
  d.close_box();
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "103:cancel"), 3);
  s.enable_button(gui::IDCANCEL, true);
  keep = 0;
  d.key_escape();
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.result(), 0);
}

TEST_F(wizard, F1AndHelpButtonNotifyTheCurrentPage) {
  REQUIRE_DISPLAY();
  pages[1]->has_help = false;
  p(103).answers[gui::PSN_WIZNEXT] = [] { return 0; };
  s.open(nullptr);
  d.key_f1();
  d.press(gui::IDHELP);
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "103:help"), 2);
  d.press(gui::ID_PSNEXT);
  EXPECT_EQ(d.page_id(), 102);
  EXPECT_FALSE(d.button_enabled(gui::IDHELP));  // a page without help
  d.key_f1();                                  // F1 still reaches the page
  EXPECT_EQ(std::count(trace.begin(), trace.end(), "102:help"), 1);
}

TEST_F(wizard, TimersStartedFromAWorkerTickOnTheUserInterfaceThread) {
  REQUIRE_DISPLAY();
  s.open(nullptr);
  bool started = false;
  bool done = false;
  std::thread worker([&] {
    started = s.start_timer(0x10000, 20);
    done = true;
  });
  d.wait_for([&] { return done; });
  worker.join();
  EXPECT_TRUE(started);
  EXPECT_TRUE(d.wait_for([&] { return p(103).ticks.size() >= 2; }, 5000));
  EXPECT_TRUE(p(103).tick_on_ui);
  EXPECT_EQ(p(103).ticks[0], 0x10000);
  s.stop_timer(0x10000);
  EXPECT_FALSE(s.timer_running(0x10000));
  size_t n = p(103).ticks.size();
  d.settle(100);
  EXPECT_EQ(p(103).ticks.size(), n);
}

TEST_F(wizard, ScreenshotOfTheSheetIsAPicture) {
  REQUIRE_DISPLAY();
  s.open(nullptr);
  s.centre();
  auto path = std::filesystem::temp_directory_path() /
              ("orv-sheet-" + std::to_string(::getpid()) + ".png");
  ASSERT_TRUE(gui::save_screenshot(s.window(), path.wstring()));
  wxImage img(path.string(), wxBITMAP_TYPE_PNG);
  ASSERT_TRUE(img.IsOk());
  EXPECT_GT(img.GetWidth(), 300);
  // Not a blank picture: the watermark's blue and the page's white are both there.
  std::set<unsigned> colours;
  for (int y = 0; y < img.GetHeight(); y += 7)
    for (int x = 0; x < img.GetWidth(); x += 7)
      colours.insert(img.GetRed(x, y) << 16 | img.GetGreen(x, y) << 8 | img.GetBlue(x, y));
  EXPECT_GT(colours.size(), 10u);
  std::filesystem::remove(path);
}

}  // namespace

namespace {

// The real modal loops: the sheet and a dialog run modally, serve a worker's call
// meanwhile, and end through their own buttons.
TEST_F(wizard, ModalRunServesWorkersAndEndsOnFinish) {
  REQUIRE_DISPLAY();
  p(103).answers[gui::PSN_WIZNEXT] = [] { return 116; };
  d.answer_message(gui::IDYES);
  std::thread worker;
  std::atomic<int> answer{0};
  gui::post_to_ui([&] {
    worker = std::thread([&] {
      answer = gui::message_box(nullptr, L"Go on?", L"Question", gui::MB_YESNO | gui::MB_DEFBUTTON2);
      gui::post_to_ui([&] {
        s.press(gui::ID_PSNEXT);
        s.press(gui::ID_WIZFINISH);
      });
    });
  });
  EXPECT_EQ(s.run_modal(nullptr), 1);
  worker.join();
  EXPECT_EQ(answer, gui::IDYES);
  EXPECT_EQ(trace.back(), "116:finish");
  EXPECT_FALSE(s.is_open());
}

TEST(GuiModalLoop, ADialogShownModallyEndsThroughItsButton) {
  REQUIRE_DISPLAY();
  struct ok_dialog : gui::dialog {
    ok_dialog() : dialog(121) {}
    void on_init() override {
      gui::post_to_ui([this] { controls().user_click(gui::IDOK); });
    }
  } dlg;
  EXPECT_EQ(dlg.run_modal(nullptr), gui::IDOK);
}

}  // namespace
