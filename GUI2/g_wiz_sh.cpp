#include "GUI2/g_wiz_sh.h"

#include "TK/tk_excep.h"
#include "TK/tk_fname.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "platform/gui/gui_dialog.h"
#include "platform/gui/gui_help.h"

#include <cstdint>

namespace {

// Caption and owner of the program's message boxes.
std::wstring box_caption(const wchar_t* kind, gui::hwnd& owner) {
  owner = nullptr;
  if (wizard_shell::is_initialized()) {
    wizard_shell& shell = wizard_shell::instance();
    owner = shell.window();
    return shell.title() + L" " + kind;
  }
  return kind;
}

}  // namespace

wizard_shell::wizard_shell(const std::wstring& title, int icon_id, int watermark_id, int header_id)
    : title_(title) {
  set_caption(title);
  set_icon(icon_id);
  set_watermark(watermark_id);
  set_header_bitmap(header_id);
  tk_file_wname help(tk_get_module_wpath());
  help.set_ext(L".htb");
  help_file_ = help.get_path();
}

wizard_shell::~wizard_shell() {
  tk_trace(2, "wizard_shell::dtor");
  timer_running_ = false;
  initialized_ = false;
  close();
  errors_.clear();
}

bool wizard_shell::is_initialized() {
  tk_trace(1, "wizard_shell::is_initialized");
  wizard_shell* shell = instance_ptr();
  if (shell && shell->initialized_) {
    tk_trace(1, "Singleton has been initialized");
    return true;
  }
  tk_trace(1, "Before return false");
  return false;
}

void wizard_shell::initialise_on_first_activation() {
  if (initialized_) return;
  set_caption(title_);
  centre();
  initialized_ = true;
}

void wizard_shell::start_timer(unsigned period_ms) {
  if (timer_running_) throw tk_mail_assertion("g_wiz_sh", 223);
  if (!sheet::start_timer(timer_id, static_cast<int>(period_ms))) throw tk_mail_assertion("g_wiz_sh", 231);
  timer_running_ = true;
}

void wizard_shell::stop_timer() {
  if (!timer_running_) return;
  sheet::stop_timer(timer_id);
  timer_running_ = false;
}

void wizard_shell::on_timer(int id) {
  // Only the progress timer reaches the page.
  if (id == timer_id) sheet::on_timer(id);
}

void wizard_shell::on_help_key() {
  if (gui::page* p = current_page()) p->on_notify(gui::PSN_HELP);
}

void wizard_shell::error(const std::wstring& text) {
  tk_wtrace(1, L"wizard_shell::error(%s)", text.c_str());
  gui::hwnd owner;
  std::wstring caption = box_caption(L"Error", owner);
  gui::message_box(owner, text, caption, gui::MB_OK | gui::MB_ICONERROR);
  tk_wtrace(3, L"%s", text.c_str());
}

void wizard_shell::error(const std::string& text) { error(tk_from_ansi(text)); }

void wizard_shell::message(const std::wstring& text) {
  tk_wtrace(1, L"wizard_shell::message(%s)", text.c_str());
  gui::hwnd owner;
  std::wstring caption = box_caption(L"Message", owner);
  gui::message_box(owner, text, caption, gui::MB_OK | gui::MB_ICONINFORMATION);
  tk_wtrace(3, L"%s", text.c_str());
}

bool wizard_shell::question(const std::wstring& text, unsigned extra_flags) {
  gui::hwnd owner;
  std::wstring caption = box_caption(L"Question", owner);
  return gui::message_box(owner, text, caption, gui::MB_YESNO | gui::MB_ICONQUESTION | extra_flags) ==
         gui::IDYES;
}

void wizard_shell::enable_button(int id, bool enable) {
  tk_trace(2, "wizard_shell::enable_button(%08X)",
           static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(button_window(id))));
  sheet::enable_button(id, enable);
}

void wizard_shell::display_help() {
  tk_trace(2, "wizard_shell::display_help");
  open_help(-1);
}

void wizard_shell::display_help(int topic) {
  tk_trace(2, "wizard_shell::display_help(%d)", topic);
  open_help(topic);
}

void wizard_shell::open_help(int topic) {
  if (!tk_is_file_exist(help_file_.c_str())) {
    error(std::wstring(L"Help file does not exist. Reinstall the program."));
    return;
  }
  gui::help_display(help_file_, topic);
}

gui::hwnd wizard_shell::active_window() {
  wizard_shell* shell = instance_ptr();
  return shell ? shell->window() : nullptr;
}

int wizard_shell::run(gui::hwnd owner) { return run_modal(owner); }
