#include "common/error_handler.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// Answers the dialogs as a test scripts them and records what was shown.
class scripted_dialogs : public error_dialogs {
public:
  std::vector<std::wstring> shown;
  std::vector<std::string> listed;
  bool answer_continue = true;
  bool answer_do_not_show = false;
  int exit_code = 1;
  bool shell_initialized = true;
  std::vector<int> topics;

  void show_internal_error(const std::wstring& m) override { shown.push_back(L"internal:" + m); }
  void show_error(const std::wstring& m) override { shown.push_back(L"error:" + m); }
  bool ask_continue(const std::wstring& m, bool& do_not_show) override {
    shown.push_back(L"continue:" + m);
    do_not_show = answer_do_not_show;
    return answer_continue;
  }
  std::vector<std::string>* error_list() override { return shell_initialized ? &listed : nullptr; }
  void display_help(int topic) override { topics.push_back(topic); }
  void end_process(int code) override { exit_code = code; }
};

class ErrorHandler : public ::testing::Test {
protected:
  void SetUp() override {
    auto d = std::make_unique<scripted_dialogs>();
    dialogs = d.get();
    handler = std::make_unique<error_handler>(dao_error_map_size, dao_error_map, std::move(d));
    handler->load_err_map(mysql_error_map_size, mysql_error_map);
    handler->load_err_map(xls_error_map_size, xls_error_map);
  }
  scripted_dialogs* dialogs = nullptr;
  std::unique_ptr<error_handler> handler;
};

class coded_exception : public tk_exception {
public:
  coded_exception(int code, int level) : tk_exception("server text", code, level) {}
};

}  // namespace

TEST_F(ErrorHandler, RecordContextAndCodeTextMakeOneLine) {
  handler->set_record_context(L"Sheet1", 3);
  coded_exception e(0x400415, 0);
  handler->handle(e, false);
  ASSERT_EQ(dialogs->listed.size(), 1u);
  const std::string& m = dialogs->listed[0];
  EXPECT_EQ(m.rfind("Sheet1, record #3: Access denied.", 0), 0u) << m;
  EXPECT_EQ(m.find('\n'), std::string::npos);
  // A code outside the tables falls back to the exception's own text.
  coded_exception other(0x400999, 0);
  handler->handle(other, true);
  EXPECT_EQ(dialogs->listed[1], "Sheet1, record #3: server text");
}

TEST_F(ErrorHandler, LevelsDecideWhatHappens) {
  tk_exception recoverable("bad row", 0);
  dialogs->answer_continue = false;
  EXPECT_THROW(handler->handle(recoverable, false), tk_final_exception);  // Abort under a guard
  EXPECT_NO_THROW(handler->handle(recoverable, true));                    // at the top: returns
  tk_exception stop("stop", 1);
  EXPECT_THROW(handler->handle(stop, false), tk_final_exception);
  EXPECT_NO_THROW(handler->handle(stop, true));
  tk_mail_assertion internal("a.c", 7);
  EXPECT_THROW(handler->handle(internal, true), tk_final_exception);
  EXPECT_EQ(dialogs->exit_code, -1);
}

TEST_F(ErrorHandler, DoNotShowAgainSilencesLaterDialogs) {
  dialogs->answer_do_not_show = true;
  tk_exception e("first", 0);
  handler->handle(e, false);
  const size_t shown = dialogs->shown.size();
  handler->handle(e, false);
  tk_exception stop("stop", 1);
  EXPECT_THROW(handler->handle(stop, false), tk_final_exception);  // still ends the run
  EXPECT_EQ(dialogs->shown.size(), shown);
  EXPECT_EQ(dialogs->listed.size(), 3u);
}

TEST_F(ErrorHandler, ListKeepsTwentyErrors) {
  tk_exception e("e", 0);
  for (int i = 0; i < 21; ++i) handler->handle(e, true);
  EXPECT_EQ(dialogs->listed.size(), error_handler::max_listed_errors);
  EXPECT_EQ(dialogs->shown.size(), 21u);
}

TEST_F(ErrorHandler, TablesOfTheWizard) {
  coded_exception sheet(0x10CCA, 0), dup_mysql(0x400426, 0), dup_dao(0x10BCE, 0), bad_db(0x10BEF, 1);
  handler->handle(sheet, true);
  handler->handle(dup_mysql, true);
  handler->handle(dup_dao, true);
  handler->handle(bad_db, true);
  ASSERT_EQ(dialogs->listed.size(), 4u);
  EXPECT_EQ(dialogs->listed[0].rfind("Failed to recognize table structure in the worksheet. You can", 0), 0u);
  EXPECT_EQ(dialogs->listed[1], dialogs->listed[2]);
  EXPECT_EQ(dialogs->listed[3].rfind("Not a valid MS Access database name.", 0), 0u);
  // The level-1 box shows the same line.
  EXPECT_EQ(dialogs->shown.back(), L"error:" + std::wstring(dialogs->listed[3].begin(), dialogs->listed[3].end()));
}

TEST_F(ErrorHandler, NoListBeforeTheShellIsInitialised) {
  dialogs->shell_initialized = false;
  tk_exception e("early", 0);
  handler->handle(e, true);
  handler->add_error("not a tk_exception");
  dialogs->shell_initialized = true;
  handler->add_error("bad\nalloc");
  handler->add_error("line\nbreak");
  ASSERT_EQ(dialogs->listed.size(), 2u);
  EXPECT_EQ(dialogs->listed[1], "line break");
}

TEST_F(ErrorHandler, LevelOneOpensItsHelpTopics) {
  handler->add_help_topic(0x4007D3, 1017);
  handler->add_help_topic(0x4007D3, 1010);
  coded_exception e(0x4007D3, 1);
  handler->handle(e, true);
  EXPECT_EQ(dialogs->topics, (std::vector<int>{1017, 1010}));
}

TEST_F(ErrorHandler, IsASingletonAndWorksWithoutDialogs) {
  EXPECT_EQ(&error_handler::instance(), handler.get());
  EXPECT_THROW(error_handler(0, dao_error_map), tk_mail_assertion);
  handler->set_dialogs(nullptr);
  tk_exception quiet("quiet", 0), stop("stop", 1);
  EXPECT_NO_THROW(handler->handle(quiet, false));
  EXPECT_THROW(handler->handle(stop, false), tk_final_exception);
}

TEST(ErrorHandlerDeathTest, InternalErrorEndsTheProcessWithMinusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        error_handler handler(dao_error_map_size, dao_error_map);
        handler.handle(tk_mail_assertion("a.c", 7), true);
      },
      ::testing::ExitedWithCode(255), "Internal error: \ncode=612e635c37");
}
