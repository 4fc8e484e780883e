#include "GUI2/over_dlg.h"

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"

#include <wx/utils.h>

overwrite_prompt::overwrite_prompt(int template_id, int help_topic, const std::wstring& text)
    : dialog(template_id), text_(text), help_topic_(help_topic) {}

void overwrite_prompt::on_init() {
  set_caption(wizard_shell::instance().title() + L" Warning");
  controls().set_text(1320, text_);
  centre();
  raise();
  wxBell();
}

bool overwrite_prompt::on_common_command(int id) {
  if (id == gui::IDCANCEL) {
    end(gui::IDCANCEL);
    return true;
  }
  if (id == gui::IDHELP) {
    wizard_shell::instance().display_help(help_topic_);
    return true;
  }
  return false;
}

overwrite_dlg::overwrite_dlg(int help_topic, const std::wstring& text) : overwrite_prompt(120, help_topic, text) {
  tk_trace(1, "overwrite_dlg::overwrite_dlg");
}

void overwrite_dlg::on_init() {
  tk_trace(1, "overwrite_dlg::on_init");
  overwrite_prompt::on_init();
}

void overwrite_dlg::on_command(int id, int code) {
  if (code != gui::BN_CLICKED || on_common_command(id)) return;
  if (id == gui::IDOK) {
    choice_ = 1;
    end(gui::IDOK);
  } else if (id == 1109) {
    choice_ = 2;
    end(1109);
  }
}

overwrite_dlg2::overwrite_dlg2(int help_topic, const std::wstring& text) : overwrite_prompt(121, help_topic, text) {
  tk_trace(1, "overwrite_dlg2::ctor");
}

void overwrite_dlg2::on_init() {
  tk_trace(1, "overwrite_dlg2::on_init");
  overwrite_prompt::on_init();
  controls().set_checked(1329, true);
}

void overwrite_dlg2::on_command(int id, int code) {
  if (code != gui::BN_CLICKED || on_common_command(id) || id != gui::IDOK) return;
  int mode = -1;
  for (int i = 0; i < 4 && mode < 0; ++i)
    if (controls().checked(1329 + i)) mode = i;
  if (mode < 0) throw tk_mail_assertion("over_dlg", 156);
  mode_ = mode;
  end(gui::IDOK);
}

int choose_dest_mode(bool from_xls, bool db_exists, const std::function<bool()>& table_exists, int mode,
                     const char* kind) {
  // A new database or table: a mode left from before must neither drop anything (0)
  // nor switch type refinement off (3).
  const int for_new = mode == 0 || mode == 3 ? 1 : mode;
  if (!from_xls) {
    if (!db_exists) {
      tk_trace(1, "%s DB not exists...", kind);
      return wizard_shell::question(L"Destination database doesn't exist. Create?", gui::MB_DEFBUTTON2) ? for_new : -1;
    }
    if (!table_exists()) return for_new;
    overwrite_dlg dlg(1019, L"Table with the same name already exists. Click 'Help' button\nfor more information.");
    dlg.run_modal(wizard_shell::active_window());
    switch (dlg.get_choice()) {
      case 0:
        return -1;
      case 1:
        return 1;  // the run replaces the table
      default:
        return 3;
    }
  }
  if (!db_exists) return for_new;
  tk_trace(1, "%s DB exists...", kind);
  overwrite_dlg2 dlg(1019,
                     L"The destination database already exists. Select one of the\noptions below. Click 'Help' "
                     L"button for more information.");
  if (dlg.run_modal(wizard_shell::active_window()) != gui::IDOK) return -1;
  return dlg.get_mode();  // mode 0: the run drops the database first
}
