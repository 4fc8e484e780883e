// orvell_wizard: the wizard that converts a workbook or a CSV file into a MySQL
// database or a MySQL dump file.  Usage: orvell_wizard [PROFILE]
#include "apps/orvell_wizard/orv_shel.h"
#include "platform/gui/gui_app.h"
#include "platform/gui/gui_help.h"

#include <string>

namespace {

// The command line as one text: the arguments joined by blanks, so that a profile
// path with blanks works quoted or not.
std::string command_line(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  gui::start(argc, argv);  // without a display the common-controls check reports it and ends
  const int result = run_orvell_wizard(command_line(argc, argv));
  if (gui::started()) {
    gui::help_close();
    gui::stop();
  }
  return result;
}
