// The CSV delimiter page: the character that separates the fields, field names in
// the first line, type refinement.
#pragma once

#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_trace.h"

// t_converter: the driver singleton with delimiter_index, x_fnames and refine_types.
template <class t_converter>
class delim_page : public wizard_page {
 public:
  explicit delim_page(gui::resource_set set = gui::resource_set::orvell)
      : wizard_page(107, L"Step 3 of 4", L"CSV formatting settings", set) {
    has_help = true;
  }

  bool page_init() override {
    tk_trace(2, "delim_page::page_init");
    const t_converter& conv = t_converter::instance();
    gui::control_set& c = ctrls();
    for (int i = 0; i < 4; ++i) c.set_checked(delimiter_radio[i], i == conv.delimiter_index);
    c.set_checked(1222, conv.x_fnames);
    c.set_checked(1203, conv.refine_types);
    return true;
  }

  void on_command(int id, int code) override {
    if ((id == 1222 || id == 1203) && code == gui::BN_CLICKED) {
      tk_trace(2, "delim_page::on_checkbox");
      invert_chbox(id);
    }
  }

  int on_next() override {
    store();
    return 108;
  }
  int on_back() override {
    store();
    return 105;
  }
  void on_help() override { wizard_shell::instance().display_help(1013); }

 private:
  // The radio button of each delimiter index: tab, semicolon, comma, space.
  static constexpr int delimiter_radio[4] = {1329, 1330, 1331, 1332};

  void store() {
    t_converter& conv = t_converter::instance();
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
};
