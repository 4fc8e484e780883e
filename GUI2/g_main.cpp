#include "GUI2/g_main.h"

#include "platform/gui/gui_app.h"
#include "platform/gui/gui_help.h"

int run_wizard_program(int argc, char** argv, int (*run)(const std::string& cmd_line)) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  gui::start(argc, argv);  // without a display the common-controls check reports it and ends
  const int result = run(line);
  if (gui::started()) {
    gui::help_close();
    gui::stop();
  }
  return result;
}
