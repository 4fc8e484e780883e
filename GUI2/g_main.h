// The program entry both wizards share: the user interface started, the wizard run
// on the whole command line, the help viewer and the user interface closed.
#pragma once

#include <string>

// run: the program's start-up, given the command line as one text (the arguments
// joined by blanks, so that a profile path with blanks works quoted or not).
int run_wizard_program(int argc, char** argv, int (*run)(const std::string& cmd_line));
