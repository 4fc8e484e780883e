// dunmere_wizard started and ended as the program does, worked by a script: the
// connection attempt to a server that answers its login a byte at a time is given up
// at its limit (2 seconds here), then the wizard is cancelled. The process must end
// at once, though the abandoned attempt still runs.
//   dunmere_abandon_run SERVER PASSWORD REGISTRY_FILE
// Prints "cancel" on standard output as it presses Cancel.
#include "GUI2/g_main.h"
#include "TK/tk_utils.h"
#include "apps/dunmere_wizard/dun_shel.h"
#include "platform/gui/gui_driver.h"
#include "platform/kernel/registry.h"
#include "tests/support/wizard_script.h"

#include <cstdio>
#include <string>

namespace {

std::wstring g_server, g_password;

int run(const std::string&) {
  gui::driver d;
  return run_wizard_script(
      d, [] { return run_dunmere_wizard("", 2); },
      [&] {
        d.press(gui::ID_PSNEXT);
        d.click(1330);
        d.type(1014, g_server);
        d.type(1012, L"sa");
        d.type(1013, g_password);
        d.answer_message(gui::IDOK);  // "did not answer within 2 seconds"
        d.press(gui::ID_PSNEXT);
        std::printf(d.page_id() == 118 && d.answers_left() == 0 ? "cancel\n" : "not on the connection page\n");
        std::fflush(stdout);
        d.answer_message(gui::IDYES);
        d.press(gui::IDCANCEL);
      });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: dunmere_abandon_run SERVER PASSWORD REGISTRY_FILE\n");
    return 2;
  }
  g_server = tk_from_utf8(argv[1]);
  g_password = tk_from_utf8(argv[2]);
  kernel::set_registry_file(std::string(argv[3]));
  return end_dunmere_wizard(run_wizard_program(1, argv, run));
}
