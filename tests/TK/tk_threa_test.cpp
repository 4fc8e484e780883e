#include "TK/tk_threa.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "TK/tk_excep.h"
#include "tests/support/assertion.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "tests/support/test_dir.h"

namespace {

using namespace std::chrono_literals;

struct counting_runnable : tk_runnable {
  int steps_left;
  int steps = 0, finishes = 0;
  explicit counting_runnable(int n) : steps_left(n) {}
  bool is_done() override { return steps_left == 0; }
  void step() override {
    --steps_left;
    ++steps;
  }
  void finish() override { ++finishes; }
};

TEST(tk_runnable, run_steps_until_done_then_finishes_once) {
  counting_runnable done_at_once(0);
  done_at_once.run();
  EXPECT_EQ(done_at_once.steps, 0);
  EXPECT_EQ(done_at_once.finishes, 1);

  counting_runnable three(3);
  three.run();
  EXPECT_EQ(three.steps, 3);
  EXPECT_EQ(three.finishes, 1);

  counting_runnable stopped(1000);
  stopped.request_stop();
  stopped.run();
  EXPECT_EQ(stopped.steps, 0);
  EXPECT_EQ(stopped.finishes, 1);
}

// Runs until asked to stop, the way a conversion's loops do.
struct loop_runnable : tk_runnable {
  std::atomic<bool> started{false}, ended{false};
  void run() override {
    started = true;
    while (!is_stop_requested()) std::this_thread::sleep_for(1ms);
    ended = true;
  }
};

struct loop_thread : tk_thread {
  loop_runnable* last = nullptr;
  loop_thread() : tk_thread(true) {}
  tk_runnable* create_runnable() override { return last = new loop_runnable; }
};

void wait_until(const std::atomic<bool>& flag) {
  for (int i = 0; i < 5000 && !flag; ++i) std::this_thread::sleep_for(1ms);
}

TEST(tk_thread, terminate_stops_a_running_thread_promptly) {
  loop_thread t;
  t.start();
  ASSERT_NE(t.last, nullptr);
  wait_until(t.last->started);
  EXPECT_TRUE(t.is_running());
  auto begin = std::chrono::steady_clock::now();
  t.terminate();
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
  EXPECT_FALSE(t.is_running());
  EXPECT_EQ(t.get_runnable(), nullptr);
}

TEST(tk_thread, default_runnable_ends_on_destruction) {
  auto begin = std::chrono::steady_clock::now();
  {
    tk_thread t;
    t.start();
    EXPECT_TRUE(t.is_running());
    EXPECT_NE(t.get_runnable(), nullptr);
  }  // the default runnable sleeps in steps until it is asked to stop
  EXPECT_LT(std::chrono::steady_clock::now() - begin, 2s);
}

TEST(tk_thread, runnable_not_owned_outlives_the_thread) {
  struct borrowing_thread : tk_thread {
    tk_runnable* target;
    explicit borrowing_thread(tk_runnable* r) : target(r) {}
    tk_runnable* create_runnable() override { return target; }
  };
  counting_runnable work(2);
  {
    borrowing_thread t(&work);
    t.start();
    while (t.is_running()) {
    }
    t.cleanup();
    EXPECT_EQ(t.get_runnable(), nullptr);
    // A finished thread is released by the next start; a stop request of the
    // last run does not carry over.
    work.steps_left = 1;
    work.request_stop();
    t.start();
    while (t.is_running()) {
    }
  }
  EXPECT_EQ(work.steps, 3);
  EXPECT_EQ(work.finishes, 2);
}

TEST(tk_thread, misuse_is_an_internal_error) {
  tk_thread idle;
  EXPECT_EQ(assertion_of([&] { idle.terminate(); }), assertion_text("tk_threa", 55));

  loop_thread running;
  running.start();
  EXPECT_EQ(assertion_of([&] { running.start(); }), assertion_text("tk_threa", 92));
  EXPECT_EQ(assertion_of([&] { running.cleanup(); }), assertion_text("tk_threa", 71));
  running.terminate();

  struct null_thread : tk_thread {
    tk_runnable* create_runnable() override { return nullptr; }
  } none;
  EXPECT_EQ(assertion_of([&] { none.start(); }), assertion_text("tk_threa", 105));
  EXPECT_FALSE(none.is_running());
}

TEST(tk_converter, finished_flag_and_settings) {
  tk_converter c;
  EXPECT_FALSE(c.is_finished());
  c.set_finished(true);
  EXPECT_TRUE(c.is_finished());
  c.set_silent(true);
  EXPECT_TRUE(c.is_silent());
  EXPECT_NO_THROW(c.end_if_stop_requested());
  c.request_stop();
  EXPECT_THROW(c.end_if_stop_requested(), tk_final_exception);
}

TEST(tk_converter, set_logfile_checks_the_folder_and_enables_the_log) {
  test_dir tmp;
  const std::string dir = tmp.path().string();
  tk_converter c;
  try {
    c.set_logfile(dir + "/missing/run.log");
    FAIL() << "no exception";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 1);
    EXPECT_STREQ(e.what(), "Logfile path does not exist.\nPlease verify the correct path was given.");
  }
  EXPECT_EQ(c.get_logfile(), "");
  {
    tk_trace_log log(nullptr, false, 3, false);
    c.set_logfile(dir + "/run.log");
    EXPECT_EQ(c.get_logfile(), dir + "/run.log");
    EXPECT_TRUE(log.is_enabled());
    EXPECT_EQ(log.get_file_name(), dir + "/run.log");
    tk_trace(3, "entry");
  }
  EXPECT_TRUE(tk_is_file_exist((dir + "/run.log").c_str()));
  c.set_logfile("");  // an empty name leaves the log alone
  EXPECT_EQ(c.get_logfile(), "");
}

}  // namespace
