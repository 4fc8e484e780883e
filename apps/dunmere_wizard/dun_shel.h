// Start-up and shut-down of dunmere_wizard: the error reporter with the data-access,
// OLE DB and workbook tables, the SQL Server driver (which loads the last-used
// settings and saves them on the way out), the profile named on the command line,
// the wizard sheet with its pages, run modally.
#pragma once

#include <string>

// The whole command line, when not empty, names a settings profile that is loaded
// before the first page shows. Returns the sheet's result (1 after Finish, 0 after
// Cancel or a failure at start). The user interface must have been started.
int run_dunmere_wizard(const std::string& cmd_line);
// The same with a connection attempt's limit of connect_limit_seconds (the program
// gives an attempt 20 seconds).
int run_dunmere_wizard(const std::string& cmd_line, int connect_limit_seconds);

// The program's end with result. A connection attempt abandoned at its limit may
// still be running: the process then ends at once, without waiting for it and without
// running the destructors of what it may still use.
int end_dunmere_wizard(int result);
