// The dump-file page: dialect, line breaks and what the dump file holds. Shown only
// when the destination is a dump file.
#pragma once

#include "GUI2/g_wiz_pg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_trace.h"

// t_converter: a singleton with get_dump_options() (see mysql_converter_impl).
template <class t_converter>
class sql_dump_page : public wizard_page {
 public:
  sql_dump_page() : wizard_page(102, L"Step 1 of 4", L"MySQL dump file settings") { has_help = true; }

  bool page_init() override {
    tk_trace(2, "sql_dump_page<t_converter>::page_init");
    const auto& o = t_converter::instance().get_dump_options();
    gui::control_set& c = ctrls();
    c.set_checked(1329, o.new_version);
    c.set_checked(1330, !o.new_version);
    c.set_checked(1332, o.line_break != 0);
    c.set_checked(1331, o.line_break == 0);
    c.set_checked(1202, o.lock_tables);
    c.set_checked(1203, o.create_database);
    c.set_checked(1204, o.create_table);
    enable_ctrl(1203, o.create_table);
    c.set_checked(1205, o.insert_comments);
    return true;
  }

  void on_command(int id, int code) override {
    if (code != gui::BN_CLICKED) return;
    gui::control_set& c = ctrls();
    switch (id) {
      case 1202:
      case 1203:
      case 1205:
        invert_chbox(id);
        break;
      case 1204:
        enable_ctrl(1203, invert_chbox(id));
        break;
      case 1329:
      case 1330:
        c.set_checked(1329, id == 1329);
        c.set_checked(1330, id == 1330);
        break;
      case 1331:
      case 1332:
        c.set_checked(1331, id == 1331);
        c.set_checked(1332, id == 1332);
        break;
      default:
        break;
    }
  }

  int on_next() override {
    store();
    return 105;
  }
  int on_back() override {
    store();
    return 0;
  }
  void on_help() override { wizard_shell::instance().display_help(1020); }

 private:
  void store() {
    auto& o = t_converter::instance().get_dump_options();
    const gui::control_set& c = ctrls();
    o.lock_tables = c.checked(1202);
    o.create_database = c.checked(1203);
    o.create_table = c.checked(1204);
    o.insert_comments = c.checked(1205);
    // The dialect follows from it: server 4.1.0 for the new one, 3.20.1 for the old.
    o.new_version = c.checked(1329);
    o.line_break = c.checked(1331) ? 0 : 1;
  }
};
