#include "TK/tk_trace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/assertion.h"
#include "tests/support/test_dir.h"

namespace {

class TkTrace : public ::testing::Test {
 protected:
  std::string contents() const { return test_dir::read(file_); }
  void write_old_content() const { std::ofstream(file_, std::ios::binary) << "old run\r\n"; }

  test_dir tmp_;
  std::filesystem::path dir_ = tmp_.path();
  std::string file_ = (dir_ / "run.log").string();
};

TEST_F(TkTrace, WithoutALogNothingHappens) {
  EXPECT_FALSE(tk_trace_log::exists());
  // The log's own accessor is the one of the trace writers, with its own location.
  EXPECT_EQ(assertion_of([] { tk_trace_log::instance(); }), assertion_text("tk_singl", 66));
  tk_trace(3, "nothing %d", 1);
  tk_wtrace(3, L"nothing %s", L"x");
  EXPECT_FALSE(std::filesystem::exists(file_));
}

TEST_F(TkTrace, ThresholdTruncationTimePrefixAndLineEnds) {
  write_old_content();
  tk_trace_log log(file_.c_str(), false, 3, true);
  EXPECT_EQ(contents(), "old run\r\n");  // not enabled: untouched
  log.set_enabled(true);
  tk_trace(2, "dropped");
  EXPECT_EQ(contents(), "");  // the first call empties it even though its level is too low
  tk_trace(3, "Converting '%s' row %I64d", "Sheet1", 12345678901LL);
  tk_trace(3, "second");
  std::string text = contents();
  std::regex line("\\d\\d:\\d\\d:\\d\\d Converting 'Sheet1' row 12345678901\r\n\\d\\d:\\d\\d:\\d\\d second\r\n");
  EXPECT_TRUE(std::regex_match(text, line)) << text;
}

TEST_F(TkTrace, EnabledAtConstructionEmptiesOnceAndWideIsUtf8) {
  write_old_content();
  tk_trace_log log(file_.c_str(), true, 1, false);
  EXPECT_EQ(contents(), "");
  tk_trace(1, "a");
  tk_wtrace(1, L"%s \u00e9\u4e2d\U0001F600 %d", L"Gr\u00fc\u00dfe", 5);
  tk_trace(1, "\xc3\xa9 bytes kept");
  EXPECT_EQ(contents(), "a\r\nGr\xc3\xbc\xc3\x9f" "e \xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80 5\r\n\xc3\xa9 bytes kept\r\n");
}

TEST_F(TkTrace, LongWideEntriesAreCutNotOverrun) {
  tk_trace_log log(file_.c_str(), true, 1, false);
  std::wstring huge(20000, L'\u20ac');  // three UTF-8 bytes each
  tk_wtrace(2, L"%s", huge.c_str());
  std::string text = contents();
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  std::string body = text.substr(0, text.size() - 2);
  EXPECT_LE(body.size(), tk_trace_log::wide_entry_bytes);
  EXPECT_EQ(body.size() % 3, 0u);  // whole characters only
  tk_trace(2, "%s", std::string(50000, 'n').c_str());  // narrow entries are written whole
  EXPECT_EQ(contents().size(), text.size() + 50002);
}

TEST_F(TkTrace, UnwritableFileLosesTheEntrySilently) {
  tk_trace_log log((dir_ / "missing" / "x.log").c_str(), true, 1, false);
  tk_trace(3, "lost");
  tk_wtrace(3, L"lost");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}

TEST_F(TkTrace, EntriesFromSeveralThreadsStayWhole) {
  // A conversion's worker thread and the thread that watches it write to one
  // log: every entry keeps its own line, and the first entries are not lost to
  // a second emptying of the file.
  write_old_content();
  tk_trace_log log(file_.c_str(), false, 1, true);
  log.set_enabled(true);
  constexpr int threads = 6, entries = 60;
  const std::string filler(6000, 'x');  // longer than one stdio buffer
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&, t] {
      for (int i = 0; i < entries; ++i)
        if (i % 2)
          tk_trace(2, "t%d %s", t, filler.c_str());
        else
          tk_wtrace(2, L"t%d %hs", t, filler.c_str());
    });
  for (auto& th : pool) th.join();
  std::istringstream in(contents());
  std::string line;
  std::vector<int> counts(threads);
  const std::regex entry("\\d\\d:\\d\\d:\\d\\d t(\\d) x{6000}\r");
  int lines = 0;
  while (std::getline(in, line)) {
    ++lines;
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, entry)) << "line " << lines << " is mixed: " << line.substr(0, 40);
    ++counts[std::stoi(m[1].str())];
  }
  for (int t = 0; t < threads; ++t) EXPECT_EQ(counts[t], entries) << "thread " << t;
}

TEST_F(TkTrace, DefaultNameIsTheProgramWithLogExtension) {
  tk_trace_log log(nullptr, false, 3, false);
  EXPECT_EQ(std::filesystem::path(log.get_file_name()).filename(), "test_tk.log");
  EXPECT_EQ(tk_trace_log::default_file_name(), log.get_file_name());
}

}  // namespace

TEST(TraceWanted, OnlyWhatTheLogWouldWrite) {
  EXPECT_FALSE(tk_trace_wanted(3));
  test_dir dir;
  const std::string name = (dir / "w.log").string();
  tk_trace_log log(name.c_str(), false, 2, false);
  EXPECT_FALSE(tk_trace_wanted(3));
  log.set_enabled(true);
  EXPECT_FALSE(tk_trace_wanted(1));
  EXPECT_TRUE(tk_trace_wanted(2));
  EXPECT_TRUE(tk_trace_wanted(3));
}
