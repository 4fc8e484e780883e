#include "apps/dunmere_console/con_cmdl.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "TK/tk_cmdli.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "common/conv_driver.h"
#include "common/dun_conv.h"
#include "common/error_handler.h"
#include "common/text_code_page.h"

namespace {

constexpr int k_version_major = dunmere_convertor::version_major;
constexpr int k_version_minor = dunmere_convertor::version_minor;

enum option_id {
  opt_as_dbo,
  opt_csv_delim,
  opt_dest,
  opt_extr_fn,
  opt_from_csv,
  opt_help,
  opt_logfile,
  opt_host,
  opt_mode,
  opt_no_refine,
  opt_pswd,
  opt_silent,
  opt_src,
  opt_tab_file,
  opt_tab_name,
  opt_user,
  opt_profile,
};

const tk_cmd_option k_options[] = {
    {opt_as_dbo, "--as_dbo"},       {opt_csv_delim, "--csv_delim="}, {opt_dest, "--dest="},
    {opt_extr_fn, "--extr_fn"},     {opt_from_csv, "--from_csv"},    {opt_help, "--help"},
    {opt_logfile, "--logfile="},    {opt_host, "--host="},           {opt_mode, "--mode="},
    {opt_no_refine, "--no_refine"}, {opt_pswd, "--pswd="},           {opt_silent, "--silent"},
    {opt_src, "--src="},            {opt_tab_file, "--tab_file="},   {opt_tab_name, "--tab_name="},
    {opt_user, "--user="},          {opt_profile, "--profile="},     {0, ""},
};

const char* const k_usage =
    "dunmere_console %d.%d - converts a workbook or a CSV file into a MS SQL Server database\n"
    "Usage: dunmere_console.EXE OPTIONS\n"
    "\n"
    "   --as_dbo        connect to MS SQL server as database owner\n"
    "   --csv_delim=... select the delimiter that separates CSV field\n"
    "                   (0 - tab, 1 - semicolon, 2 - comma, 3 - space)\n"
    "   --dest=...      MS SQL database name\n"
    "   --extr_fn       extract field names from the first row\n"
    "   --from_csv      data source is a CSV file (MS Excel spreadsheet by default)\n"
    "   --help          display this help message and exit\n"
    "   --logfile=...   path to the file where execution trace will be written\n"
    "   --host=...      MS SQL server IP address or network name\n"
    "   --mode=...      how to process an existing MS SQL database:\n"
    "                   0 - overwrite the entire database,\n"
    "                   1 - overwrite existing tables only,\n"
    "                   2 - skip existing tables,\n"
    "                   3 - merge\n"
    "   --no_refine     disable improving type conversion\n"
    "   --profile=...  path to the file to load conversion settings from\n"
    "   --pswd=...      MS SQL user password\n"
    "   --silent        disable program output\n"
    "   --src=...       CSV file or MS Excel spreadsheet name\n"
    "   --tab_file=...  file containing the list of tables to convert\n"
    "                   (one table name per line)\n"
    "   --tab_name=...  MS SQL table name (when converting from CSV file)\n"
    "                   or the one worksheet to convert (from a spreadsheet)\n"
    "   --user=...      MS SQL user name\n"
    "\n"
    "NOTES:\n"
    "   1) You can omit 'host' parameter to connect local MS SQL server.\n"
    "   2) You can omit 'user' and 'pswd' parameters to connect to MS SQL\n"
    "      server using Windows authentication.\n"
    "   3) If you omit 'tab_file' parameter, all worksheets will be converted.\n";

// A value that is exactly one of the digits 0 to `last`: no sign, blank,
// leading zero or trailing character.
std::optional<int> small_number(const char* text, int last) {
  if (text[0] >= '0' && text[0] <= '0' + last && text[1] == '\0') return text[0] - '0';
  return std::nullopt;
}

// The argument as the trace log may show it: no password.
std::string traced_argument(const char* argument) {
  static const char pswd[] = "--pswd=";
  if (std::string_view(argument).rfind(pswd, 0) == 0 && argument[sizeof pswd - 1] != '\0')
    return std::string(pswd) + "***";
  return argument;
}

}  // namespace

std::string usage_text() { return tk_format(k_usage, k_version_major, k_version_minor); }

std::vector<std::wstring> parse_tab_list(const std::string& bytes, unsigned code_page) {
  std::vector<std::wstring> names;
  std::string_view rest(bytes);
  bool first = true;
  std::wstring name;
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    // Lines end in LF or CR LF.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    first = false;
    if (line.empty()) continue;
    decode_text(line, code_page, name);
    names.push_back(name);
  }
  return names;
}

void process_tab_file(std::vector<std::wstring>& list, const std::wstring& file_name) {
  tk_wtrace(1, L"process_tab_file(%s)", file_name.c_str());
  const char* const missing = "Table names file does not exist.\nPlease verify the correct path/name was given.";
  if (!tk_is_file_exist(file_name.c_str(), 0)) throw console_exit(missing);
  // UTF-8 with its mark; UTF-16 and UTF-32 text refused; else the ANSI code page.
  const UINT code_page = text_file_code_page(file_name);
  std::ifstream in(tk_to_path(file_name), std::ios::binary);
  if (!in) throw console_exit(missing);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw file_error(L"Error reading file ", file_name, errno);
  list = parse_tab_list(bytes, code_page);
}

void select_worksheets(conversion_driver& driver, const std::vector<std::wstring>& names) {
  std::vector<std::wstring> all;
  bool listed = true;
  try {
    driver.get_all_sheets(all);
  } catch (const tk_exception& e) {
    // A workbook that cannot be read fails in the run, which reports it.
    tk_trace(1, "Cannot list the worksheets: %s", e.what());
    listed = false;
  }
  // The queries a profile selected stay selected; with neither a worksheet nor a
  // query selected, every worksheet is.
  const std::map<std::wstring, std::wstring> queries = driver.selected_queries();
  for (const std::wstring& missing : driver.set_sel_sheets(names.empty() && queries.empty() ? all : names, queries)) {
    if (!driver.is_silent()) {
      std::fprintf(stderr, "Worksheet %s not found\n", tk_to_narrow(missing, CP_THREAD_ACP).c_str());
      std::fflush(stderr);
    }
    if (error_handler* handler = error_handler::instance_ptr()) handler->count_error();
  }
  // Not one of the listed worksheets is there: the run ends before it connects.
  if (listed) driver.check_selection();
  std::vector<std::wstring> found;
  for (const std::wstring& name : names)
    if (driver.get_sheets().count(name)) found.push_back(name);
  driver.selected_table_names() = found;
}

bool parse_cmd_line(int argc, const char* const* argv, console_settings& settings) {
  tk_trace(2, "parse_cmd_line");
  for (int i = 0; i < argc; ++i) tk_trace(1, "parameter #%d: %s", i, traced_argument(argv[i]).c_str());
  conversion_driver& driver = settings.driver();
  mss_login_settings& login = settings.connection();

  // Where the mode came from: a CSV run takes 1 for none, and for a profile's
  // 0, which is no mode of a CSV file.
  enum class mode_origin { none, option, profile } mode_from = mode_origin::none;
  bool profile_loaded = false;
  // The list file's names, or the profile's selection; none: every worksheet.
  std::vector<std::wstring> sheets;
  // Windows authentication as the profile sets it, unless a login or a
  // password follows; without a profile it is used when both are empty.
  std::optional<bool> windows_authentication;

  tk_cmd_line line(argc, argv, k_options);
  for (; line.has_more(); line.next()) {
    const char* value = line.get_value();
    switch (line.get_id()) {
      case opt_as_dbo:
        tk_trace(2, "\tconnecting as DBO");
        settings.set_as_dbo(true);
        break;
      case opt_csv_delim: {
        tk_trace(2, "\tgot CSV delimiter %s", value);
        std::optional<int> delimiter = small_number(value, 3);
        if (!delimiter) throw console_exit("Invalid CSV delimiter");
        driver.delimiter_index = *delimiter;
        break;
      }
      case opt_dest:
        tk_trace(2, "\tgot dest %s", value);
        driver.set_dest(tk_from_ansi(value));
        break;
      case opt_extr_fn:
        tk_trace(2, "\textract fld.names from 1st row");
        driver.x_fnames = true;
        break;
      case opt_from_csv:
        tk_trace(2, "\tconvert from CSV");
        driver.from_xls = false;
        break;
      case opt_help:
        throw console_exit(usage_text());
      case opt_logfile:
        tk_trace(1, "parse_cmd_line - got logfile %s", value);
        driver.set_logfile(value);
        break;
      case opt_host:
        login.server = tk_from_ansi(value);
        break;
      case opt_mode: {
        std::optional<int> mode = small_number(value, 3);
        if (!mode) throw console_exit("Invalid merge/overwrite mode");
        tk_trace(2, "\tgot mode %d", *mode);
        driver.set_mode(*mode);
        mode_from = mode_origin::option;
        break;
      }
      case opt_no_refine:
        tk_trace(2, "\tdo not refine types mapping");
        driver.refine_types = false;
        break;
      case opt_pswd:
        login.password = tk_from_ansi(value);
        windows_authentication = false;
        break;
      case opt_silent:
        tk_trace(1, "parse_cmd_line - silent mode is ON");
        driver.set_silent(true);
        if (error_handler* handler = error_handler::instance_ptr()) handler->set_quiet(true);
        break;
      case opt_src:
        tk_trace(2, "\tgot src %s", value);
        driver.set_src(tk_from_path(value));
        break;
      case opt_tab_file:
        tk_trace(2, "\tgot tab_file %s", value);
        process_tab_file(sheets, tk_from_path(value));
        break;
      case opt_tab_name:
        tk_trace(2, "\tgot tab_name %s", value);
        driver.csv_table_name = tk_from_ansi(value);
        // For a workbook, the one worksheet to convert.
        sheets.clear();
        if (!driver.csv_table_name.empty()) sheets.push_back(driver.csv_table_name);
        break;
      case opt_user:
        login.login = tk_from_ansi(value);
        windows_authentication = false;
        break;
      case opt_profile: {
        tk_trace(1, "parse_cmd_line - got profile %s", value);
        // What the profile does not set stays as the arguments before it set it.
        login.windows_authentication =
            windows_authentication.value_or(login.login.empty() && login.password.empty());
        driver.selected_table_names().clear();
        driver.selected_tables().clear();
        if (settings.load_profile_file(tk_from_path(value))) {
          profile_loaded = true;
          windows_authentication = login.windows_authentication;
          sheets = driver.selected_table_names();
          if (driver.has_profile_mode()) mode_from = mode_origin::profile;
        }
        break;
      }
      default:
        break;  // a positional argument, kept by the tokenizer
    }
  }
  if (line.get_positional_count() > 0) return false;

  if (driver.get_src().empty()) throw console_exit("You should enter data source name");
  if (driver.get_dest().empty()) throw console_exit("You should enter destination MS SQL database name");
  if (driver.from_xls) {
    select_worksheets(driver, sheets);
  } else {
    if (driver.csv_table_name.empty())
      throw console_exit("You should specify MS SQL table name (use '--tab_name' option)");
    if (driver.delimiter_index < 0 || driver.delimiter_index > 3)
      throw console_exit("You should specify CSV delimiter (use '--csv_delim' option)");
    if (mode_from == mode_origin::none || (mode_from == mode_origin::profile && driver.get_mode() == 0))
      driver.set_mode(1);
  }
  if (profile_loaded)
    login.windows_authentication = windows_authentication.value_or(login.windows_authentication);
  else
    login.windows_authentication = login.login.empty() && login.password.empty();
  return true;
}
