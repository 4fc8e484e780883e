// The MySQL connection page: local or remote server, user and password. Next
// connects before the wizard goes on.
#pragma once

#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
#include "SQL/sql_engi.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"

// t_converter: a singleton with the connection settings and connect_mysql_server
// (see mysql_converter_impl).
template <class t_converter>
class sql_settings_page2 : public wizard_page {
 public:
  sql_settings_page2() : wizard_page(123, L"Step 1 of 4", L"Connect to MySQL server") { has_help = true; }

  bool page_init() override {
    tk_trace(2, "sql_settings_page2<t_converter>::page_init");
    const auto& conv = t_converter::instance();
    gui::control_set& c = ctrls();
    c.set_text(1012, tk_from_ansi(conv.get_user()));
    c.set_text(1013, tk_from_ansi(conv.get_password()));
    const bool remote = !conv.get_host().empty();
    c.set_checked(1329, !remote);
    c.set_checked(1330, remote);
    enable_ctrl(1014, remote);
    enable_ctrl(1015, remote);
    if (remote) {
      c.set_text(1014, tk_from_ansi(conv.get_host()));
      c.set_text(1015, tk_from_ansi(conv.get_port()));
    }
    return true;
  }

  void on_command(int id, int code) override {
    if (code != gui::BN_CLICKED) return;
    if (id == 1329 || id == 1330) {
      enable_ctrl(1014, id == 1330);
      enable_ctrl(1015, id == 1330);
    }
  }

  int on_next() override {
    store();
    try {
      t_converter::instance().connect_mysql_server();
      return 0;
    } catch (const sql_exception& e) {
      wizard_shell::error(tk_from_ansi(error_handler::instance().message_for(e)));
      const int code = e.get_code() & 0xFFFF;
      if (code == 1249 || code == 1250) wizard_shell::instance().display_help(1017);
    } catch (const tk_exception& e) {
      wizard_shell::error(tk_from_ansi(std::string(e.what())));
      wizard_shell::instance().display_help(1017);
    }
    return -1;
  }
  int on_back() override { return 103; }
  void on_help() override { wizard_shell::instance().display_help(1010); }

 private:
  void store() {
    const gui::control_set& c = ctrls();
    std::string host, port = "3306";
    if (c.checked(1330)) {
      host = tk_to_ansi(c.text(1014));
      port = tk_to_ansi(c.text(1015));
    }
    t_converter::instance().store_mysql_settings(host, tk_to_ansi(c.text(1012)), tk_to_ansi(c.text(1013)), port);
  }
};
