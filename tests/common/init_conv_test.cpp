#include "common/init_conv.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "TK/tk_excep.h"
#include "TK/tk_threa.h"

namespace {

class fake_timer : public progress_timer {
 public:
  void start_timer(unsigned period_ms) override {
    if (refuse) throw tk_mail_assertion("g_wiz_sh", 223);
    periods.push_back(period_ms);
  }
  bool refuse = false;
  std::vector<unsigned> periods;
};

TEST(InitConversion, FinishedIsSetHoweverTheRunEnds) {
  tk_converter converter;
  fake_timer timer;
  try {
    init_conversion scope(converter, true, &timer);
    EXPECT_FALSE(converter.is_finished());
    throw std::runtime_error("run failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(converter.is_finished());
  EXPECT_EQ(timer.periods, std::vector<unsigned>{200});

  // A timer that cannot start still leaves the run finished.
  tk_converter second;
  timer.refuse = true;
  EXPECT_THROW(init_conversion(second, true, &timer), tk_mail_assertion);
  EXPECT_TRUE(second.is_finished());

  // Without a timer (console and headless runs) none is started.
  tk_converter third;
  { init_conversion scope(third, true); }
  EXPECT_TRUE(third.is_finished());
}

}  // namespace
