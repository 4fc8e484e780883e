// The file page of dunmere_wizard: the source file, the destination database, the
// CSV table name and the workbook options. Next checks the source and asks what to
// do with an existing database or table; the choice becomes the run's mode, and
// the run acts on it (nothing is dropped before the conversion starts).
#pragma once

#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
#include "GUI2/over_dlg.h"
#include "GUI2/src_file.h"
#include "MSS/mss_db.h"
#include "MSS/mss_engi.h"
#include "TK/tk_excep.h"
#include "TK/tk_fname.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

#include <string>

// t_converter: the driver with the settings of every driver, the mode and the SQL
// Server engine (dunmere_convertor).
template <class t_converter>
class dunmere_file_page : public wizard_page {
 public:
  explicit dunmere_file_page(t_converter& conv)
      : wizard_page(105, L"Step 2 of 4", L"Select data source and destination", gui::resource_set::dunmere),
        conv_(conv) {
    has_help = true;
  }

  bool page_init() override {
    tk_trace(2, "sel_file_page::page_init");
    apply_layout();
    gui::control_set& c = ctrls();
    if (!conv_.get_src().empty()) c.set_text(1003, tk_file_wname(conv_.get_src()).get_path());
    // The saved names are the user's until the source changes.
    const std::wstring source = c.text(1003);
    if (!conv_.get_dest().empty())
      set_saved_text(1004, conv_.get_dest(), source);
    else if (conv_.from_xls && !conv_.get_src().empty())
      set_source_text(1004, tk_file_wname(conv_.get_src()).get_fname(), source);
    if (conv_.from_xls) {
      c.set_checked(1222, conv_.x_fnames);
      c.set_checked(1203, conv_.refine_types);
    } else if (!conv_.csv_table_name.empty()) {
      set_saved_text(1005, conv_.csv_table_name, source);
    } else if (!conv_.get_src().empty()) {
      set_source_text(1005, tk_file_wname(conv_.get_src()).get_fname(), source);
    }
    return true;
  }

  void on_command(int id, int code) override {
    switch (id) {
      case 1107:
        if (code == gui::BN_CLICKED) {
          if (auto path = browse_source_file(window(), conv_.from_xls, ctrls().text(1003))) {
            ctrls().set_text(1003, *path);
            suggest_name(true);
          }
        }
        break;
      case 1203:
      case 1222:
        if (code == gui::BN_CLICKED) {
          tk_trace(2, "sel_file_page::on_checkbox");
          invert_chbox(id);
        }
        break;
      case 1003:
        if (code == gui::EN_CHANGE) suggest_name(false);
        break;
      default:
        break;
    }
  }

  int on_back() override {
    store_file_info();
    return 118;
  }
  void on_help() override { wizard_shell::instance().display_help(1015); }

  bool check_xls(const std::wstring& path) {
    return check_workbook(path, conv_.x_fnames, L"Source file doesn't comply with MS Excel format");
  }

  int on_next() override {
    tk_trace(2, "sel_file_page::on_next");
    store_file_info();
    if (conv_.get_src().empty()) {
      wizard_shell::message(L"You should enter the source file name");
      return -1;
    }
    if (conv_.get_dest().empty()) {
      wizard_shell::message(L"You should enter MS SQL database name");
      return -1;
    }
    try {
      if (conv_.from_xls) {
        if (!check_xls(conv_.get_src())) return -1;
      } else if (conv_.csv_table_name.empty()) {
        wizard_shell::message(L"You should specify MS SQL table name");
        return -1;
      }
      if (!tk_is_file_exist(conv_.get_src().c_str())) {
        wizard_shell::error(
            std::wstring(L"Source file does not exist.\r\nPlease verify the correct file name was given."));
        return -1;
      }
      if (check_dest() < 0) return -1;
    } catch (const tk_exception& e) {
      show_wizard_error(e);
      return -1;
    }
    return conv_.from_xls ? 127 : 107;
  }

 private:
  void apply_layout() {
    const bool xls = conv_.from_xls;
    show_ctrl(1310, !xls);
    show_ctrl(1005, !xls);
    show_ctrl(1222, xls);
    show_ctrl(1203, xls);
    gui::control_set& c = ctrls();
    c.set_text(1307, xls ? L"Select MS Excel spreadsheet to convert and MS SQL destination database.\nClick "
                           L"'Browse' to find data source through directory tree."
                         : L"Select CSV file to convert, MS SQL destination database and table name.\nClick "
                           L"'Browse' to find data source through directory tree.");
    c.set_text(1333, xls ? L"MS &Excel spreadsheet name:" : L"&Comma separated values (CSV) file name:");
  }

  // The base name of the source into the database name (workbook) or the table name
  // (CSV file), unless the user has typed there or a saved name is there and the
  // source is the one it was saved with; browsed: the source was just chosen with Browse.
  void suggest_name(bool browsed) {
    const std::wstring src = ctrls().text(1003);
    if (src.empty()) return;
    set_source_text(conv_.from_xls ? 1004 : 1005, tk_file_wname(src).get_fname(), src, browsed);
  }

  void store_file_info() {
    const gui::control_set& c = ctrls();
    if (conv_.from_xls) {
      conv_.x_fnames = c.checked(1222);
      conv_.refine_types = c.checked(1203);
    } else {
      conv_.csv_table_name = c.text(1005).substr(0, 260);
      tk_wtrace(2, L"sel_file_page::store_file_info(tab_name=%s)", conv_.csv_table_name.c_str());
    }
    conv_.set_src(c.text(1003).substr(0, 260));
    conv_.set_dest(c.text(1004).substr(0, 260));
  }

  // -1 to stay; else the mode is set for the run.
  int check_dest() {
    mss_engine& engine = conv_.get_engine();
    const std::wstring& dest = conv_.get_dest();
    const bool exists = engine.is_db_exist(dest);
    if (!conv_.from_xls) tk_wtrace(1, L"GOT TABLE '%s'", conv_.csv_table_name.c_str());
    const int mode = choose_dest_mode(
        conv_.from_xls, exists, [&] { return engine.open_db(dest, 4)->is_table_exist(conv_.csv_table_name); },
        conv_.get_mode(), "MS SQL");
    if (mode < 0) return -1;
    conv_.set_mode(mode);
    return 0;
  }

  t_converter& conv_;
};
