// The console variant of the error handler: what it prints, when it ends the
// process and what it counts.
#include <gtest/gtest.h>

#include <optional>

#include "common/error_handler.h"

namespace {

class ConsoleHandler : public ::testing::Test {
protected:
  void SetUp() override {
    handler.set_end_process([this](int code) { exit_code = code; });
  }
  // What handle printed on standard output, and whether it returned.
  std::string handle(const tk_exception& e, bool& returned) {
    ::testing::internal::CaptureStdout();
    returned = false;
    try {
      handler.handle(e, false);
      returned = true;
    } catch (const tk_final_exception&) {
    }
    return ::testing::internal::GetCapturedStdout();
  }

  error_handler handler{dao_error_map_size, dao_error_map, error_handler::console_variant{}};
  std::optional<int> exit_code;
};

TEST_F(ConsoleHandler, LevelZeroPrintsOneLineWithItsContextAndGoesOn) {
  handler.set_record_context(L"Sheet1", 3);
  bool returned = false;
  EXPECT_EQ(handle(tk_exception("first line\nsecond line", 0), returned),
            "Error:\nSheet1, record #3: first line second line\n");
  EXPECT_TRUE(returned);
  EXPECT_FALSE(exit_code);
  EXPECT_EQ(handler.errors_reported(), 1u);
}

TEST_F(ConsoleHandler, LevelOneEndsTheProcessWithMinusOneAndQuietPrintsNothing) {
  handler.set_quiet(true);
  bool returned = true;
  EXPECT_EQ(handle(tk_exception("Logfile path does not exist.\nPlease verify the correct path was given.", 1),
                   returned),
            "");
  EXPECT_FALSE(returned);
  EXPECT_EQ(exit_code, -1);
  EXPECT_EQ(handler.errors_reported(), 1u);
  // A quiet level-0 error still counts.
  handle(tk_exception("kept quiet", 0), returned);
  EXPECT_TRUE(returned);
  EXPECT_EQ(handler.errors_reported(), 2u);
}

TEST_F(ConsoleHandler, AnInternalErrorPrintsAlsoWhenQuiet) {
  handler.set_quiet(true);
  bool returned = true;
  EXPECT_EQ(handle(tk_mail_assertion("dun_conv", 270), returned).rfind("Internal error: Internal error: ", 0), 0u);
  EXPECT_EQ(exit_code, -1);
}

TEST_F(ConsoleHandler, TheProcessReallyEnds) {
  EXPECT_EXIT(
      {
        error_handler::instance().set_end_process(nullptr);
        error_handler::instance().handle(tk_exception("stop", 1), true);
      },
      ::testing::ExitedWithCode(255), "");
}

}  // namespace
