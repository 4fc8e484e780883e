#include "apps/orvell_wizard/sel_file_page.h"

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "GUI2/over_dlg.h"
#include "GUI2/src_file.h"
#include "TK/tk_excep.h"
#include "TK/tk_fname.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_db.h"
#include "apps/orvell_wizard/orv_conv.h"
#include "common/error_handler.h"
#include "dao/dao_db.h"
#include "dao/dao_engi.h"


sel_file_page::sel_file_page() : wizard_page(105, L"Step 2 of 4", L"Select data source and destination") {
  has_help = true;
}

void sel_file_page::apply_layout() {
  const orvell_converter& conv = orvell_converter::instance();
  const bool server = conv.direct, xls = conv.from_xls;
  show_ctrl(1104, !server);
  show_ctrl(1310, !xls);
  show_ctrl(1005, !xls);
  show_ctrl(1222, xls);
  show_ctrl(1203, xls);
  show_ctrl(1204, xls);
  gui::control_set& c = ctrls();
  c.set_text(1307, xls ? L"Select MS Excel spreadsheet to convert and MySQL destination database.\nClick 'Browse' "
                         L"to find data source through directory tree."
                       : L"Select CSV file to convert, MySQL destination database and table name.\nClick "
                         L"'Browse' to find data source through directory tree.");
  c.set_text(1333, xls ? L"MS &Excel spreadsheet name:" : L"&Comma separated values (CSV) file name:");
  c.set_text(1311, server ? L"MySQL &database name:" : L"&Dump file path:");
}

bool sel_file_page::page_init() {
  tk_trace(2, "sel_file_page::page_init");
  apply_layout();
  const orvell_converter& conv = orvell_converter::instance();
  gui::control_set& c = ctrls();
  if (!conv.get_src().empty()) c.set_text(1003, tk_file_wname(conv.get_src()).get_path());
  const std::wstring source = c.text(1003);
  const bool from_dest = !conv.get_dest().empty();
  const std::wstring& base = from_dest ? conv.get_dest() : conv.get_src();
  if (!base.empty()) {
    tk_file_wname name(base);
    if (!conv.direct) name.set_ext(L".sql");
    const std::wstring text = conv.direct ? name.get_fname() : name.get_path();
    // A name made from the source is a suggestion; the destination stored is the user's
    // until the source changes.
    if (from_dest)
      set_saved_text(1004, text, source);
    else
      set_source_text(1004, text, source);
  }
  if (conv.from_xls) {
    c.set_checked(1222, conv.x_fnames);
    c.set_checked(1203, conv.refine_types);
    c.set_checked(1204, conv.skip_empty_rows);
  } else if (!conv.csv_table_name.empty()) {
    set_saved_text(1005, conv.csv_table_name, source);
  }
  return true;
}

void sel_file_page::suggest_names(bool browsed) {
  gui::control_set& c = ctrls();
  const std::wstring src = c.text(1003);
  if (src.empty()) return;
  const orvell_converter& conv = orvell_converter::instance();
  const std::wstring name = tk_file_wname(src).get_fname();
  // Not over a name the user typed, nor over a saved one while the source is the same.
  if (!conv.from_xls)
    set_source_text(1005, name, src, browsed);
  else if (conv.direct)
    set_source_text(1004, name, src, browsed);
  else
    set_source_text(1004, tk_make_file_wname(name, L"sql", c.text(1004), false), src, browsed);
}

void sel_file_page::browse_source() {
  const auto path = browse_source_file(window(), orvell_converter::instance().from_xls, ctrls().text(1003));
  if (!path) return;
  ctrls().set_text(1003, *path);
  suggest_names(true);
}

void sel_file_page::browse_dump() {
  const std::wstring filter = nul_list(L"MySQL Dump Files (.sql)\0*.sql\0All Files (*.*)\0*.*\0");
  save_file_dialog dlg(window(), {filter, L"Select Dump File"}, ctrls().text(1004), L"sql");
  if (dlg.show()) ctrls().set_text(1004, dlg.get_file_name());
}

void sel_file_page::on_command(int id, int code) {
  switch (id) {
    case 1107:
      if (code == gui::BN_CLICKED) browse_source();
      break;
    case 1104:
      if (code == gui::BN_CLICKED) browse_dump();
      break;
    case 1203:
    case 1204:
    case 1222:
      if (code == gui::BN_CLICKED) {
        tk_trace(2, "sel_file_page::on_checkbox");
        invert_chbox(id);
      }
      break;
    case 1004:
    case 1005:
      if (code == gui::EN_SETFOCUS && !ctrls().text(1003).empty()) suggest_names(false);
      break;
    default:
      break;
  }
}

void sel_file_page::store_file_info() {
  orvell_converter& conv = orvell_converter::instance();
  const gui::control_set& c = ctrls();
  if (conv.from_xls) {
    conv.x_fnames = c.checked(1222);
    conv.refine_types = c.checked(1203);
    conv.skip_empty_rows = c.checked(1204);
  } else {
    conv.csv_table_name = c.text(1005);
    tk_wtrace(2, L"sel_file_page::store_file_info(tab_name=%s)", conv.csv_table_name.c_str());
  }
  conv.set_src(c.text(1003));
  conv.set_dest(c.text(1004));
}

int sel_file_page::on_back() {
  store_file_info();
  return orvell_converter::instance().direct ? 123 : 102;
}

void sel_file_page::on_help() { wizard_shell::instance().display_help(1015); }

bool sel_file_page::check_xls(const std::wstring& path) {
  return check_workbook(path, orvell_converter::instance().x_fnames);
}

int sel_file_page::on_next() {
  tk_trace(2, "sel_file_page::on_next");
  store_file_info();
  orvell_converter& conv = orvell_converter::instance();
  if (conv.get_src().empty()) {
    wizard_shell::message(L"You should enter the source file name");
    return -1;
  }
  if (conv.get_dest().empty()) {
    wizard_shell::message(conv.direct ? L"You should enter MySQL database name" : L"You should enter dump file name");
    return -1;
  }
  try {
    if (conv.from_xls) {
      if (!check_xls(conv.get_src())) return -1;
    } else if (conv.csv_table_name.empty()) {
      wizard_shell::message(L"You should specify MySQL table name");
      return -1;
    }
    if (!tk_is_file_exist(conv.get_src().c_str())) {
      wizard_shell::error(std::wstring(L"Source file does not exist.\r\nPlease verify the correct file name was given."));
      return -1;
    }
    if ((conv.direct ? check_server_dest() : check_dump_dest()) < 0) return -1;
  } catch (const tk_exception& e) {
    show_wizard_error(e);
    return -1;
  }
  return conv.from_xls ? 127 : 107;
}

// The prompts only choose the mode: nothing is dropped or deleted here. The run drops
// what the mode says when it starts, so that leaving the wizard before then loses
// nothing of the destination.
int sel_file_page::check_server_dest() {
  orvell_converter& conv = orvell_converter::instance();
  const std::wstring& dest = conv.get_dest();
  conv.check_mysql_db_name(dest);
  tk_wtrace(2, L"mysql_converter_impl::is_mysql_base_exist( %s )", dest.c_str());
  const bool exists = conv.get_engine().is_db_exist(dest);
  if (!conv.from_xls) tk_wtrace(1, L"GOT TABLE '%s'", conv.csv_table_name.c_str());
  const int mode = choose_dest_mode(
      conv.from_xls, exists,
      [&] { return conv.get_engine().open_db(dest, 0, std::wstring())->is_table_exist(conv.csv_table_name); },
      conv.get_mode(), "MySQL");
  if (mode < 0) return -1;
  conv.set_mode(mode);
  return 0;
}

int sel_file_page::check_dump_dest() {
  const std::wstring& dest = orvell_converter::instance().get_dest();
  common_check_dest(dest);
  // The run writes the file anew; until then the old one stays.
  if (tk_is_file_exist(dest.c_str()) &&
      !wizard_shell::question(L"Destination file already exists. Overwrite?", gui::MB_DEFBUTTON2))
    return -1;
  return 0;
}
