#include "apps/orvell_wizard/welcome_page.h"

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "apps/orvell_wizard/orv_conv.h"
#include "common/error_handler.h"

#include <algorithm>

std::wstring profile_file_filter(const std::wstring& ext) {
  std::wstring filter = tk_wformat(L"Profile Files (.%s)X*.%sXAll Files (*.*)X*.*X", ext.c_str(), ext.c_str());
  std::replace(filter.begin(), filter.end(), L'X', L'\0');
  return filter;
}

welcome_page::welcome_page(const std::wstring& profile_ext) : wizard_page(103), profile_ext_(profile_ext) {
  has_help = true;
  hide_header = true;
}

bool welcome_page::page_init() {
  tk_trace(2, "welcome_page::page_init");
  set_title_font(1337);
  fill_combos();
  return true;
}

void welcome_page::fill_combos() {
  gui::control_set& c = ctrls();
  if (!combos_filled_) {
    c.combo_reset(1302);
    c.combo_reset(1303);
    c.combo_add(1302, L"MS Excel spreadsheet");
    c.combo_add(1302, L"CSV file");
    c.combo_add(1303, L"MySQL server");
    c.combo_add(1303, L"Local dump file");
    combos_filled_ = true;
  }
  const orvell_converter& conv = orvell_converter::instance();
  c.combo_select(1302, conv.from_xls ? 0 : 1);
  c.combo_select(1303, conv.direct ? 0 : 1);
}

int welcome_page::on_next() {
  tk_trace(2, "welcome_page::on_next");
  orvell_converter& conv = orvell_converter::instance();
  conv.from_xls = ctrls().combo_selection(1302) == 0;
  conv.direct = ctrls().combo_selection(1303) == 0;
  tk_trace(1, "from_xls=%d", conv.from_xls ? 1 : 0);
  tk_trace(1, "is_direct=%d", conv.direct ? 1 : 0);
  return conv.direct ? 123 : 102;
}

void welcome_page::on_help() { wizard_shell::instance().display_help(1012); }

void welcome_page::on_command(int id, int code) {
  if (id == 1115 && code == gui::BN_CLICKED) on_load_settings();
}

void welcome_page::on_load_settings() {
  if (profile_ext_.size() != 3) throw tk_mail_assertion("g_finish", 253);
  const std::wstring filter = profile_file_filter(profile_ext_);
  open_file_dialog dlg(window(), {filter, L"Select Profile File"}, std::wstring());
  if (dlg.show()) {
    // A profile that cannot be read is reported; the wizard stays on this page.
    try {
      if (!orvell_converter::instance().load_profile_file(dlg.get_file_name()))
        wizard_shell::error(L"Failed to load settings from " + dlg.get_file_name());
    } catch (const tk_exception& e) {
      wizard_shell::error(tk_from_ansi(error_handler::instance().message_for(e)));
    }
  }
  fill_combos();
}
