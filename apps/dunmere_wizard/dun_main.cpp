// dunmere_wizard: the wizard that converts a workbook or a CSV file into a SQL Server
// database.  Usage: dunmere_wizard [PROFILE]
#include "GUI2/g_main.h"
#include "apps/dunmere_wizard/dun_shel.h"

int main(int argc, char** argv) {
  return end_dunmere_wizard(
      run_wizard_program(argc, argv, [](const std::string& cmd_line) { return run_dunmere_wizard(cmd_line); }));
}
