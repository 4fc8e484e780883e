#include "apps/orvell_wizard/delim_page.h"

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_trace.h"
#include "apps/orvell_wizard/orv_conv.h"

namespace {

// The radio button of each delimiter index: tab, semicolon, comma, space.
constexpr int delimiter_radio[4] = {1329, 1330, 1331, 1332};

}  // namespace

delim_page::delim_page() : wizard_page(107, L"Step 3 of 4", L"CSV formatting settings") { has_help = true; }

bool delim_page::page_init() {
  tk_trace(2, "delim_page::page_init");
  const orvell_converter& conv = orvell_converter::instance();
  gui::control_set& c = ctrls();
  for (int i = 0; i < 4; ++i) c.set_checked(delimiter_radio[i], i == conv.delimiter_index);
  c.set_checked(1222, conv.x_fnames);
  c.set_checked(1203, conv.refine_types);
  return true;
}

void delim_page::on_command(int id, int code) {
  if ((id == 1222 || id == 1203) && code == gui::BN_CLICKED) {
    tk_trace(2, "delim_page::on_checkbox");
    invert_chbox(id);
  }
}

void delim_page::store() {
  orvell_converter& conv = orvell_converter::instance();
  const gui::control_set& c = ctrls();
  for (int i = 0; i < 4; ++i) {
    if (c.checked(delimiter_radio[i])) {
      conv.delimiter_index = i;
      break;
    }
  }
  conv.x_fnames = c.checked(1222);
  conv.refine_types = c.checked(1203);
}

int delim_page::on_next() {
  store();
  return 108;
}

int delim_page::on_back() {
  store();
  return 105;
}

void delim_page::on_help() { wizard_shell::instance().display_help(1013); }
