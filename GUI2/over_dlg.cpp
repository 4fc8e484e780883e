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
