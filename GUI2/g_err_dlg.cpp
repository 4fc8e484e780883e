#include "GUI2/g_err_dlg.h"

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

std::wstring error_caption() {
  return wizard_shell::is_initialized() ? wizard_shell::instance().title() + L" Error" : L"Error";
}

}  // namespace

dlg_error_ex::dlg_error_ex(const std::wstring& text) : dialog(114), text_(text) {
  tk_trace(1, "dlg_error_ex::ctor");
}

void dlg_error_ex::on_init() {
  tk_trace(1, "dlg_error_ex::on_init");
  set_caption(error_caption());
  controls().set_text(1320, text_);
  centre();
  raise();
}

void dlg_error_ex::on_command(int id, int code) {
  if (code != gui::BN_CLICKED) return;
  switch (id) {
    case gui::IDOK:
    case gui::IDCANCEL:  // Esc and the close box: as OK
      end(gui::IDOK);
      break;
    case 1108:
      tk_copy_to_clipboard(text_);
      end(1108);
      break;
    case 1112: {
      std::string title;
      if (wizard_shell::is_initialized()) title = tk_to_ansi(wizard_shell::instance().title());
      tk_send_bug(title.c_str(), tk_to_ansi(text_).c_str());
      end(1112);
      break;
    }
    default:
      break;
  }
}

dlg_error_continue::dlg_error_continue(const std::wstring& text) : dialog(115), text_(text) {
  tk_trace(1, "dlg_error_continue::ctor");
}

void dlg_error_continue::on_init() {
  tk_trace(1, "dlg_error_continue::on_init");
  set_caption(error_caption());
  controls().set_text(1320, text_);
  controls().set_checked(1222, false);
  centre();
  raise();
}

void dlg_error_continue::on_command(int id, int code) {
  if (code != gui::BN_CLICKED) return;
  switch (id) {
    case gui::IDCANCEL:  // "Continue", also Esc
    case gui::IDOK:      // "Abort"
      end(id);
      break;
    case 1222:
      check_ = !controls().checked(1222);
      controls().set_checked(1222, check_);
      break;
    default:
      break;
  }
}

void wizard_error_dialogs::show_internal_error(const std::wstring& message) {
  dlg_error_ex(message).run_modal(wizard_shell::active_window());
}

void wizard_error_dialogs::show_error(const std::wstring& message) { wizard_shell::error(message); }

bool wizard_error_dialogs::ask_continue(const std::wstring& message, bool& do_not_show) {
  dlg_error_continue dlg(message);
  const int answer = dlg.run_modal(wizard_shell::active_window());
  do_not_show = dlg.get_check();
  return answer != gui::IDOK;
}

std::vector<std::string>* wizard_error_dialogs::error_list() {
  return wizard_shell::is_initialized() ? &wizard_shell::instance().errors() : nullptr;
}

void wizard_error_dialogs::display_help(int topic) {
  if (wizard_shell::is_initialized()) wizard_shell::instance().display_help(topic);
}
