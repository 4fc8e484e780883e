// orvell_wizard: the wizard that converts a workbook or a CSV file into a MySQL
// database or a MySQL dump file.  Usage: orvell_wizard [PROFILE]
#include "GUI2/g_main.h"
#include "apps/orvell_wizard/orv_shel.h"

int main(int argc, char** argv) { return run_wizard_program(argc, argv, run_orvell_wizard); }
