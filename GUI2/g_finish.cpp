#include "GUI2/g_finish.h"

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

#include <algorithm>

gui_finish_page::gui_finish_page(const std::wstring& success_text, const std::wstring& error_text,
                                 gui::resource_set set)
    : wizard_page(116, nullptr, nullptr, set), success_text_(success_text), error_text_(error_text) {
  hide_header = true;
  tk_trace(2, "gui_finish_page::ctor");
}

bool gui_finish_page::page_init() {
  tk_trace(2, "gui_finish_page::page_init");
  set_title_font(1313);
  wizard_shell& shell = wizard_shell::instance();
  shell.enable_button(gui::IDCANCEL, false);
  shell.enable_button(gui::IDHELP, false);
  const std::vector<std::string>& errors = shell.errors();
  gui::control_set& c = ctrls();
  if (!errors.empty()) {
    tk_trace(1, "Display errors");
    c.set_text(1314, error_text_);
    show_ctrl(1016, true);
    for (std::string entry : errors) {
      std::replace(entry.begin(), entry.end(), '\n', ' ');
      c.append_text(1016, tk_from_ansi(entry));
      c.append_text(1016, L"\r\n\r\n");
    }
    c.set_readonly(1016, true);
  } else {
    tk_trace(1, "Display success-message");
    c.set_text(1314, success_text_);
  }
  return true;
}

void gui_finish_page::on_command(int id, int code) {
  if (id == 1016 && code == gui::EN_SETFOCUS) on_eb_focus();
}

void gui_finish_page::on_eb_focus() {
  if (!first_focus_) return;
  tk_trace(1, "gui_finish_page::on_eb_focus");
  ctrls().clear_selection(1016);
  wizard_shell::instance().focus_button(gui::ID_WIZFINISH);
  first_focus_ = false;
}
