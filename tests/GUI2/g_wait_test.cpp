// A run asked to stop from the user-interface thread while it keeps asking the user
// interface for answers: it ends, and nothing waits forever.
#include "GUI2/g_wait.h"
#include "TK/tk_threa.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_driver.h"
#include "tests/platform/gui/gui_environment.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// Shows a message box again and again until it is asked to stop.
struct asking_run : tk_runnable {
  void run() override {
    while (!is_stop_requested()) {
      gui::message_box(nullptr, L"Continue?", L"Question", gui::MB_YESNO | gui::MB_DEFBUTTON2);
      ++asked;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ended = true;
  }
  std::atomic<int> asked{0};
  std::atomic<bool> ended{false};
};

struct asking_thread : tk_thread {
  tk_runnable* create_runnable() override { return &run; }
  asking_run run;
};

TEST(WizardStopThread, ARunWaitingForTheUserInterfaceIsStoppedCleanly) {
  REQUIRE_DISPLAY();
  gui::driver d;  // unanswered questions get No
  asking_thread t;
  t.start();
  ASSERT_TRUE(d.wait_for([&] { return t.run.asked >= 3; }, 10000));
  wizard_stop_thread(t);
  EXPECT_TRUE(t.run.ended);
  EXPECT_FALSE(t.is_running());
  wizard_stop_thread(t);  // ended already: released again, quietly
}

}  // namespace
