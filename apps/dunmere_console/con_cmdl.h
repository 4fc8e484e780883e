// The command line of dunmere_console: the option table, parse_cmd_line, the
// worksheet list file and the usage text.
//
// Options apply strictly from left to right: a later option overrides an
// earlier one, and "--profile=" overrides, for the settings the profile holds,
// what came before it and is overridden by what follows it (the server, the
// login, the password and the worksheet list included).
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "common/mss_login.h"

class conversion_driver;

// What the command line sets besides the driver's own settings.
class console_settings {
public:
  virtual ~console_settings() = default;
  virtual conversion_driver& driver() = 0;
  virtual mss_login_settings& connection() = 0;
  // The engine's connect-as-database-owner flag.
  virtual void set_as_dbo(bool as_dbo) = 0;
  // Loads a profile file into the settings; false when it cannot be read.
  // A missing file raises the profile's level-1 error.
  virtual bool load_profile_file(const std::wstring& file_name) = 0;
};

// Ends the run: the text goes to standard error (unless silent), the exit code
// is -1. Raised by parse_cmd_line; main writes it.
class console_exit : public std::exception {
public:
  explicit console_exit(std::string text) : text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }

private:
  std::string text_;
};

// The usage text with the program's version.
std::string usage_text();

// Applies the arguments to the settings and validates them. False when a
// positional argument was given (the caller prints the usage); console_exit
// for every validation message; level-1 tk_exception for a bad log file, a
// missing profile or one that cannot be used, and a worksheet selection of
// which the workbook has no worksheet.
//
// For a workbook, --tab_name= is a list of one worksheet. A CSV run takes the
// mode 1 unless --mode= or a profile gives another; a profile's 0, which is no
// mode of a CSV file, gives 1 too.
bool parse_cmd_line(int argc, const char* const* argv, console_settings& settings);

// The worksheet names of a list file, one a line: UTF-8 when the file starts
// with the UTF-8 byte-order mark, else the ANSI code page (Windows-1252 when
// that is UTF-8 and the file is not); empty lines skipped, nothing trimmed.
// console_exit when the file does not exist or cannot be read; level-1
// tk_exception for UTF-16 or UTF-32 text.
void process_tab_file(std::vector<std::wstring>& list, const std::wstring& file_name);

// The names of a list file's bytes, as process_tab_file reads them.
std::vector<std::wstring> parse_tab_list(const std::string& bytes, unsigned code_page);

// Lists the workbook's worksheets and keeps those of the list, and the queries
// a profile selected; a name the workbook lacks is traced, written to standard
// error (unless silent) and counted as a reported error. Without a list and a
// query every worksheet is kept; a list of which the listed workbook has no
// worksheet raises a level-1 tk_exception (xls_reader::check_selection).
void select_worksheets(conversion_driver& driver, const std::vector<std::wstring>& names);
