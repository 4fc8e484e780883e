#include "apps/orvell_wizard/orv_shel.h"

#include "GUI2/g_err_dlg.h"
#include "GUI2/g_f_dlg.h"
#include "GUI2/g_finish.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_utils.h"
#include "GUI2/delim_page.h"
#include "GUI2/finish_page.h"
#include "apps/orvell_wizard/orv_conv.h"
#include "GUI2/progress_page.h"
#include "apps/orvell_wizard/sel_file_page.h"
#include "GUI2/sel_tables_page.h"
#include "apps/orvell_wizard/sql_dump_page.h"
#include "apps/orvell_wizard/sql_settings_page.h"
#include "apps/orvell_wizard/welcome_page.h"
#include "common/error_handler.h"

#include <memory>
#include <string>

int run_orvell_wizard(const std::string& cmd_line) {
  error_handler handler(dao_error_map_size, dao_error_map, std::make_unique<wizard_error_dialogs>());
  handler.load_err_map(mysql_error_map_size, mysql_error_map);
  handler.load_err_map(xls_error_map_size, xls_error_map);
  int result = 0;
  try {
    init_common_controls();
    orvell_converter converter;
    load_start_profile(cmd_line, [&converter](const std::wstring& path) { return converter.load_profile_file(path); });
    wizard_shell shell(orvell_converter::get_title(), 501, 311, 312);
    const std::wstring ext = L"orv";
    welcome_page welcome(ext);
    sql_dump_page<orvell_converter> dump;
    sql_settings_page2<orvell_converter> connection;
    sel_file_page file;
    sel_tables_page tables(converter);
    delim_page<orvell_converter> delimiter;
    progress_page<orvell_converter> progress;
    finish_page finish(
        L"Wizard has converted your MS Excel data\ninto MySQL format successfully.\n\nClick 'Finish' to exit the "
        L"wizard.",
        L"There were some errors while converting MS Excel data.\nClick 'Finish' to exit the wizard.", ext,
        [&converter](const std::wstring& path) { return converter.store_profile_file(path); });
    for (wizard_page* p : std::initializer_list<wizard_page*>{&welcome, &dump, &connection, &file, &tables,
                                                              &delimiter, &progress, &finish})
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

