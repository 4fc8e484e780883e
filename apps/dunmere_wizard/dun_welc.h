// The first page of dunmere_wizard: the source kind (workbook or CSV file) and
// loading a settings profile. The destination is always a SQL Server database.
#pragma once

#include "GUI2/g_finish.h"
#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_trace.h"

#include <string>

// t_converter: the driver with from_xls and load_profile_file (dunmere_convertor).
template <class t_converter>
class dunmere_welcome_page : public wizard_page {
 public:
  explicit dunmere_welcome_page(t_converter& conv)
      : wizard_page(103, nullptr, nullptr, gui::resource_set::dunmere), conv_(conv) {
    has_help = true;
    hide_header = true;
  }

  bool page_init() override {
    tk_trace(2, "welcome_page::page_init");
    set_title_font(1337);
    show_kind();
    return true;
  }
  int on_next() override {
    tk_trace(2, "welcome_page::on_next");
    store_kind();
    return 0;
  }
  void on_help() override { wizard_shell::instance().display_help(1012); }
  int wizard_buttons() const override { return gui::PSWIZB_NEXT; }

  void on_command(int id, int code) override {
    if (code != gui::BN_CLICKED) return;
    if (id == 1329 || id == 1330) {
      ctrls().set_checked(1329, id == 1329);
      ctrls().set_checked(1330, id == 1330);
    } else if (id == 1115) {
      // Cancel in the file dialog leaves the page as it was; a profile is laid over
      // what the page shows.
      const bool chosen = load_settings(window(), profile_ext, [this](const std::wstring& path) {
        store_kind();
        return conv_.load_profile_file(path);
      });
      if (chosen) show_kind();
    }
  }

  static constexpr const wchar_t* profile_ext = L"dun";

 private:
  void show_kind() {
    ctrls().set_checked(1329, conv_.from_xls);
    ctrls().set_checked(1330, !conv_.from_xls);
  }
  void store_kind() {
    conv_.from_xls = ctrls().checked(1329);
    tk_trace(1, "from_xls=%d", conv_.from_xls ? 1 : 0);
  }

  t_converter& conv_;
};
