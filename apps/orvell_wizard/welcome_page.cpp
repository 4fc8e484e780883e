#include "apps/orvell_wizard/welcome_page.h"

#include "GUI2/g_finish.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_trace.h"
#include "apps/orvell_wizard/orv_conv.h"

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

void welcome_page::store_kinds() {
  orvell_converter& conv = orvell_converter::instance();
  conv.from_xls = ctrls().combo_selection(1302) == 0;
  conv.direct = ctrls().combo_selection(1303) == 0;
  tk_trace(1, "from_xls=%d", conv.from_xls ? 1 : 0);
  tk_trace(1, "is_direct=%d", conv.direct ? 1 : 0);
}

int welcome_page::on_next() {
  tk_trace(2, "welcome_page::on_next");
  store_kinds();
  return orvell_converter::instance().direct ? 123 : 102;
}

void welcome_page::on_help() { wizard_shell::instance().display_help(1012); }

void welcome_page::on_command(int id, int code) {
  if (id == 1115 && code == gui::BN_CLICKED) on_load_settings();
}

void welcome_page::on_load_settings() {
  // Cancel in the file dialog leaves the page as it was. A profile is laid over what
  // the page shows: the kinds it does not name stay as chosen.
  const bool chosen = load_settings(window(), profile_ext_, [this](const std::wstring& path) {
    store_kinds();
    return orvell_converter::instance().load_profile_file(path);
  });
  if (chosen) fill_combos();
}
