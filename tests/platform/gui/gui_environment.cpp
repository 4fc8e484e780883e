#include "tests/platform/gui/gui_environment.h"

#include "platform/gui/gui_app.h"
#include "platform/gui/gui_help.h"

#include <cstdlib>

// The toolkit and the libraries under it keep caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libgtk-3\nleak:libgdk-3\nleak:libglib-2.0\nleak:libgobject-2.0\nleak:libgio-2.0\n"
         "leak:libfontconfig\nleak:libpango\nleak:libcairo\nleak:libharfbuzz\nleak:libX11\n"
         "leak:libatk\nleak:libatspi\nleak:libdbus\nleak:libwx_\nleak:libgdk_pixbuf\n"
         "leak:libxkbcommon\nleak:libepoxy\nleak:libfreetype\n";
}

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
