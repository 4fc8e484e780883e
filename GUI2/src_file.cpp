#include "GUI2/src_file.h"

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"
#include "dao/dao_db.h"
#include "dao/dao_engi.h"
#include "dao/xls_reader.h"

std::optional<std::wstring> browse_source_file(gui::hwnd owner, bool xls, const std::wstring& current) {
  const std::wstring filter = xls ? nul_list(L"MS Excel Workbooks (.xls;.xlsx)\0*.xls;*.xlsx\0All Files (*.*)\0*.*\0")
                                 : nul_list(L"Comma separated values (.csv)\0*.csv\0All Files (*.*)\0*.*\0");
  open_file_dialog dlg(owner, {filter, L"Select data source to convert"}, current);
  if (!dlg.show()) return std::nullopt;
  return dlg.get_file_name();
}

bool check_workbook(const std::wstring& path, bool x_fnames, const std::wstring& unreadable) {
  tk_trace(2, "sel_file_page::check_xls");
  try {
    dao_engine engine;
    if (!engine.set_version_if(dao_version_ace12) && !engine.set_version_if(dao_version_36))
      throw tk_exception(
          "Failed to load Data Access Objects (DAO) support library.\r\nPlease reinstall the application to "
          "repair it.\r\n",
          1);
    try {
      xls_reader::open_xls(engine, path, x_fnames).reset();
    } catch (const tk_exception& e) {
      if (unreadable.empty()) throw;
      wizard_shell::error(unreadable + L"\r\n" + tk_from_ansi(error_handler::instance().message_for(e)));
      return false;
    }
    return true;
  } catch (const tk_exception& e) {
    show_wizard_error(e);
    return false;
  }
}

void show_wizard_error(const tk_exception& e) {
  wizard_shell::error(tk_from_ansi(error_handler::instance().message_for(e)));
}
