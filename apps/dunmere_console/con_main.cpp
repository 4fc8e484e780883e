// dunmere_console: converts one workbook or one CSV file into a SQL Server
// database without a user interface.  Usage: dunmere_console OPTIONS
//
// Exit code 0 when the conversion ran to its end and no error was reported;
// -1 (255) for the usage, every validation message, and whenever an error was
// reported, printed or kept quiet by --silent: a failed connection, a failure
// while preparing the destination, a record or worksheet that the run passed
// over, a listed worksheet that the workbook lacks.
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "MSS/mss_db.h"
#include "MSS/odb_exce.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "apps/dunmere_console/con_cmdl.h"
#include "common/dun_conv.h"
#include "common/error_handler.h"

namespace {

// The command line's view of the console converter.
class converter_settings : public console_settings {
public:
  explicit converter_settings(dunmere_convertor& converter) : converter_(converter) {}
  conversion_driver& driver() override { return converter_; }
  mss_login_settings& connection() override { return converter_.connection(); }
  void set_as_dbo(bool as_dbo) override { converter_.get_engine().set_as_dbo(as_dbo); }
  bool load_profile_file(const std::wstring& file_name) override { return converter_.load_profile_file(file_name); }

private:
  dunmere_convertor& converter_;
};

[[noreturn]] void exit_with_message(const std::string& text) {
  tk_trace(3, "%s", text.c_str());
  if (!dunmere_convertor::instance().is_silent()) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
  }
  std::fflush(nullptr);
  std::_Exit(-1);
}

}  // namespace

int main(int argc, char** argv) {
  tk_trace_log trace(nullptr, false, 3, false);
  error_handler handler(dao_error_map_size, dao_error_map, error_handler::console_variant{});
  handler.load_err_map(odb_error_messages_count, odb_error_messages);
  // The first two of the workbook table: protected workbooks, unknown structure.
  handler.load_err_map(2, xls_error_map);
  dunmere_convertor converter(dunmere_convertor::console_variant{});
  converter_settings settings(converter);
  try {
    if (argc <= 1 || !parse_cmd_line(argc, argv, settings)) exit_with_message(usage_text());
    converter.connect_mssql_server();
    // The run opens the source before it prepares the destination.
    converter();
  } catch (const console_exit& e) {
    exit_with_message(e.what());
  } catch (const tk_exception& e) {
    handler.handle(e, false);
  } catch (const std::exception& e) {
    exit_with_message(e.what());
  }
  return handler.errors_reported() > 0 ? -1 : 0;
}
