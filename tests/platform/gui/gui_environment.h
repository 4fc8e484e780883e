// The user interface for the GUI tests: started once per test program on the main
// thread; a test without a display is skipped, or fails when ORV_REQUIRE_DISPLAY=1.
#pragma once

#include <gtest/gtest.h>

namespace gui_test {
bool display_available();
}  // namespace gui_test

#define REQUIRE_DISPLAY()                                                        \
  do {                                                                           \
    if (!gui_test::display_available()) {                                        \
      const char* req = std::getenv("ORV_REQUIRE_DISPLAY");                      \
      if (req && std::string(req) == "1") FAIL() << "no display (DISPLAY unset)"; \
      GTEST_SKIP() << "no display";                                              \
    }                                                                            \
  } while (0)
