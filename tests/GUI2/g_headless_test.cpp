// Start-up without a display: the toolkit cannot start, the common-controls check
// says that no display could be opened, with the toolkit's reason, and the program
// ends with -1.
#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "platform/gui/gui_app.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(Headless, NoDisplayEndsTheProgramSayingWhy) {
  auto start_without = [](const char* display) {
    return [display] {
      if (display)
        ::setenv("DISPLAY", display, 1);
      else
        ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      if (gui::start()) std::exit(3);  // a display after all
      if (gui::start_error().empty()) std::exit(5);
      init_common_controls();
      std::exit(4);  // not reached
    };
  };
  EXPECT_EXIT(start_without(nullptr)(), ::testing::ExitedWithCode(255),
              "Error: No display could be opened: [^\n]*GTK[^\n]*\\(DISPLAY is not set\\)\n");
  // A display that is not there (no server answers on this socket).
  EXPECT_EXIT(start_without(":9731")(), ::testing::ExitedWithCode(255),
              "Error: No display could be opened: [^\n]*\\(DISPLAY=:9731\\)\n");
}

TEST(Headless, MessagesBeforeAnyWindowGoToStderr) {
  EXPECT_FALSE(gui::started());
  EXPECT_FALSE(wizard_shell::is_initialized());
  testing::internal::CaptureStderr();
  wizard_shell::error(std::wstring(L"Failed to initialize GUI library"));
  EXPECT_FALSE(wizard_shell::question(L"Continue?", gui::MB_DEFBUTTON2));  // No, the default
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Error: Failed to initialize GUI library"), std::string::npos);
  EXPECT_NE(err.find("Question: Continue?"), std::string::npos);
}

}  // namespace
