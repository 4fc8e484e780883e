#include "GUI2/g_finish.h"

#include "GUI2/g_f_dlg.h"
#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "common/conv_driver.h"
#include "common/error_handler.h"

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
  // Finish, the default button, also has the focus once the page shows (not the first
  // control of the page, Save Settings), so that Enter ends the wizard.
  shell.post_focus_button(gui::ID_WIZFINISH);
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

std::wstring profile_file_filter(const std::wstring& ext) {
  std::wstring filter = tk_wformat(L"Profile Files (.%s)X*.%sXAll Files (*.*)X*.*X", ext.c_str(), ext.c_str());
  std::replace(filter.begin(), filter.end(), L'X', L'\0');
  return filter;
}

namespace {

// A profile that cannot be read or written is reported; the wizard stays on its page.
void report_profile_failure(const std::function<bool(const std::wstring&)>& act, const std::wstring& path,
                            const std::wstring& failure) {
  try {
    if (!act(path)) wizard_shell::error(failure + path);
  } catch (const tk_exception& e) {
    wizard_shell::error(tk_from_ansi(error_handler::instance().message_for(e)));
  }
}

}  // namespace

bool load_settings(gui::hwnd owner, const std::wstring& ext, const std::function<bool(const std::wstring&)>& load) {
  if (ext.size() != 3) throw tk_mail_assertion("g_finish", 253);
  const std::wstring filter = profile_file_filter(ext);
  open_file_dialog dlg(owner, {filter, L"Select Profile File"}, std::wstring());
  if (!dlg.show()) return false;
  report_profile_failure(load, dlg.get_file_name(), L"Failed to load settings from ");
  return true;
}

void load_start_profile(const std::string& cmd_line, const std::function<bool(const std::wstring&)>& load) {
  std::wstring profile;
  if (cmd_line.empty() || !tk_from_ansi(cmd_line.c_str(), profile)) return;
  try {
    load(profile);
  } catch (const profile_error& e) {
    wizard_shell::error(tk_from_ansi(error_handler::instance().message_for(e)));
  }
}

void save_settings(gui::hwnd owner, const std::wstring& ext, const std::function<bool(const std::wstring&)>& store) {
  if (ext.size() != 3) throw tk_mail_assertion("g_finish", 137);
  const std::wstring filter = profile_file_filter(ext);
  save_file_dialog dlg(owner, {filter, L"Select Profile File"}, std::wstring(), ext.c_str());
  if (dlg.show()) report_profile_failure(store, dlg.get_file_name(), L"Failed to save settings to ");
}
