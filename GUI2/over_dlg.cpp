#include "GUI2/over_dlg.h"

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"

#include <wx/utils.h>

namespace {

void init_warning(gui::dialog& d, const std::wstring& text) {
  d.set_caption(wizard_shell::instance().title() + L" Warning");
  d.controls().set_text(1320, text);
  d.centre();
  d.raise();
  wxBell();
}

}  // namespace

overwrite_dlg::overwrite_dlg(int help_topic, const std::wstring& text)
    : dialog(120), text_(text), help_topic_(help_topic) {
  tk_trace(1, "overwrite_dlg::overwrite_dlg");
}

void overwrite_dlg::on_init() {
  tk_trace(1, "overwrite_dlg::on_init");
  init_warning(*this, text_);
}

void overwrite_dlg::on_command(int id, int code) {
  if (code != gui::BN_CLICKED) return;
  switch (id) {
    case gui::IDOK:
      choice_ = 1;
      end(gui::IDOK);
      break;
    case 1109:
      choice_ = 2;
      end(1109);
      break;
    case gui::IDCANCEL:
      end(gui::IDCANCEL);
      break;
    case gui::IDHELP:
      wizard_shell::instance().display_help(help_topic_);
      break;
    default:
      break;
  }
}

overwrite_dlg2::overwrite_dlg2(int help_topic, const std::wstring& text)
    : dialog(121), text_(text), help_topic_(help_topic) {
  tk_trace(1, "overwrite_dlg2::ctor");
}

void overwrite_dlg2::on_init() {
  tk_trace(1, "overwrite_dlg2::on_init");
  init_warning(*this, text_);
  controls().set_checked(1329, true);
}

void overwrite_dlg2::on_command(int id, int code) {
  if (code != gui::BN_CLICKED) return;
  switch (id) {
    case gui::IDOK: {
      int mode = -1;
      for (int i = 0; i < 4 && mode < 0; ++i)
        if (controls().checked(1329 + i)) mode = i;
      if (mode < 0) throw tk_mail_assertion("over_dlg", 156);
      mode_ = mode;
      end(gui::IDOK);
      break;
    }
    case gui::IDCANCEL:
      end(gui::IDCANCEL);
      break;
    case gui::IDHELP:
      wizard_shell::instance().display_help(help_topic_);
      break;
    default:
      break;
  }
}
