#include "tests/platform/gui/gui_environment.h"

#include "platform/gui/gui_app.h"
#include "platform/gui/gui_help.h"

#include <cstdlib>

namespace gui_test {
namespace {

class environment : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* d = std::getenv("DISPLAY");
    ok_ = d && *d && gui::start();
  }
  void TearDown() override {
    if (ok_) {
      gui::help_close();
      gui::stop();
    }
  }
  bool ok_ = false;
};

environment* g_env = static_cast<environment*>(
    ::testing::AddGlobalTestEnvironment(new environment));

}  // namespace

bool display_available() { return g_env->ok_; }

}  // namespace gui_test
