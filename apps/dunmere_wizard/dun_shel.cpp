#include "apps/dunmere_wizard/dun_shel.h"

#include "GUI2/delim_page.h"
#include "GUI2/finish_page.h"
#include "GUI2/g_err_dlg.h"
#include "GUI2/g_f_dlg.h"
#include "GUI2/g_finish.h"
#include "GUI2/g_wiz_sh.h"
#include "GUI2/progress_page.h"
#include "GUI2/sel_tables_page.h"
#include "MSS/odb_exce.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "apps/dunmere_wizard/dun_file.h"
#include "apps/dunmere_wizard/dun_welc.h"
#include "apps/dunmere_wizard/mss_set.h"
#include "common/dun_conv.h"
#include "common/error_handler.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

int run_dunmere_wizard(const std::string& cmd_line) {
  return run_dunmere_wizard(cmd_line, mssql_settings_page::wait_limit_seconds);
}

int end_dunmere_wizard(int result) {
  if (settings_page::animation::workers_running() > 0) {
    tk_trace(1, "dunmere_wizard: a connection attempt is still running; the process ends without it");
    std::fflush(nullptr);
    std::_Exit(result);
  }
  return result;
}

int run_dunmere_wizard(const std::string& cmd_line, int connect_limit_seconds) {
  error_handler handler(dao_error_map_size, dao_error_map, std::make_unique<wizard_error_dialogs>());
  handler.load_err_map(odb_error_messages_count, odb_error_messages);
  handler.load_err_map(xls_error_map_size, xls_error_map);
  int result = 0;
  try {
    init_common_controls();
    dunmere_convertor converter;
    load_start_profile(cmd_line, [&converter](const std::wstring& path) { return converter.load_profile_file(path); });
    wizard_shell shell(dunmere_convertor::get_title(), 501, 311, 312);
    const auto set = gui::resource_set::dunmere;
    dunmere_welcome_page<dunmere_convertor> welcome(converter);
    mssql_settings_page connection(converter, connect_limit_seconds);
    dunmere_file_page<dunmere_convertor> file(converter);
    sel_tables_page tables(converter, set);
    delim_page<dunmere_convertor> delimiter(set);
    progress_page<dunmere_convertor> progress(set);
    finish_page finish(
        L"Wizard has migrated your MS Excel data\nto MS SQL database successfully.\n\nClick 'Finish' to exit the "
        L"wizard.",
        L"There were some errors while converting MS Excel data.\nClick 'Finish' to exit the wizard.",
        dunmere_welcome_page<dunmere_convertor>::profile_ext,
        [&converter](const std::wstring& path) { return converter.store_profile_file(path); }, set);
    for (wizard_page* p : std::initializer_list<wizard_page*>{&welcome, &connection, &file, &tables, &delimiter,
                                                              &progress, &finish})
      shell.add_page(p);
    result = shell.run(wizard_shell::active_window());
    shell.close();
  } catch (const tk_exception& e) {
    error_handler::instance().handle(e, true);
  } catch (const std::exception& e) {
    wizard_shell::error(tk_from_ansi(std::string(e.what())));
  }
  return result;
}
