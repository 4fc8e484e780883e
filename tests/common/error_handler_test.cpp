#include "common/error_handler.h"

#include <gtest/gtest.h>

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

  void show_internal_error(const std::wstring& m) override { shown.push_back(L"internal:" + m); }
  void show_error(const std::wstring& m) override { shown.push_back(L"error:" + m); }
  bool ask_continue(const std::wstring& m, bool& do_not_show) override {
    shown.push_back(L"continue:" + m);
    do_not_show = answer_do_not_show;
    return answer_continue;
  }
  std::vector<std::string>* error_list() override { return &listed; }
  void end_process(int code) override { exit_code = code; }
};

class ErrorHandler : public ::testing::Test {
protected:
  void SetUp() override {
    auto d = std::make_unique<scripted_dialogs>();
    dialogs = d.get();
    handler = std::make_unique<error_handler>(mysql_error_map_size, mysql_error_map, std::move(d));
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
