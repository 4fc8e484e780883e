#include "GUI2/g_wiz_pg.h"

#include "GUI2/g_wiz_sh.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"

wizard_page::wizard_page(int dialog_id, const wchar_t* header_title, const wchar_t* header_subtitle,
                         gui::resource_set set)
    : page(dialog_id, set) {
  if (header_title) this->header_title = header_title;
  if (header_subtitle) this->header_subtitle = header_subtitle;
}

wizard_page::~wizard_page() = default;

int wizard_page::on_notify(int code) {
  switch (code) {
    case gui::PSN_SETACTIVE:
      return on_set_active();
    case gui::PSN_KILLACTIVE:
      return on_kill_active() ? 0 : 1;
    case gui::PSN_HELP:
      on_help();
      return 0;
    case gui::PSN_WIZBACK:
      return on_back();
    case gui::PSN_WIZNEXT:
      return on_next();
    case gui::PSN_WIZFINISH:
      return on_finish() ? 0 : 1;
    case gui::PSN_QUERYCANCEL:
      return on_cancel() ? 0 : 1;
    default:  // apply, reset, initial focus, accelerators
      return 0;
  }
}

int wizard_page::on_set_active() {
  tk_trace(1, "wizard_page::OnSetActive");
  gui::sheet* s = parent_sheet();
  if (s) s->post_wizard_buttons(wizard_buttons());
  if (wizard_shell* shell = wizard_shell::instance_ptr()) shell->initialise_on_first_activation();
  return page_init() ? 0 : -1;
}

bool wizard_page::on_cancel() {
  tk_trace(2, "wizard_page::on_cancel");
  return wizard_shell::question(L"Are you sure you want to exit the wizard?", gui::MB_DEFBUTTON2);
}

void wizard_page::show_ctrl(int id, bool show) {
  tk_trace(1, "wizard_page::show_ctrl(%d=%d)", id, show ? 1 : 0);
  ctrls().show(id, show);
}

void wizard_page::enable_ctrl(int id, bool enable) {
  tk_trace(1, "wizard_page::enable_ctrl(%d=%d)", id, enable ? 1 : 0);
  ctrls().enable(id, enable);
  if (enable) ctrls().focus(id);
}

bool wizard_page::invert_chbox(int id) {
  tk_trace(1, "wizard_page::invert_chbox(%d)", id);
  gui::control_set& c = ctrls();
  if (!c.has(id) || (c.kind(id) != gui::ctrl_kind::check_plain && c.kind(id) != gui::ctrl_kind::check_auto))
    throw tk_mail_assertion("g_wiz_pg", 122);
  const bool state = !c.checked(id);
  c.set_checked(id, state);
  return state;
}

void wizard_page::set_title_font(int id) { ctrls().set_title_font(id); }

void wizard_page::set_saved_text(int id, const std::wstring& text, const std::wstring& source) {
  gui::control_set& c = ctrls();
  if (c.text(id) == text) return;
  c.set_text(id, text);
  suggested_.erase(id);
  saved_[id] = {text, source};
}

void wizard_page::set_source_text(int id, const std::wstring& suggestion, const std::wstring& source,
                                  bool browsed) {
  gui::control_set& c = ctrls();
  const std::wstring now = c.text(id);
  const auto last = suggested_.find(id);
  const auto saved = saved_.find(id);
  const bool suggested = last != suggested_.end() && now == last->second;
  const bool stale = saved != saved_.end() && now == saved->second.text && (browsed || source != saved->second.source);
  if (!now.empty() && !suggested && !stale) {
    tk_wtrace(1, L"wizard_page::set_source_text(%d): '%s' kept", id, now.c_str());
    return;
  }
  c.set_text(id, suggestion);
  suggested_[id] = suggestion;
  saved_.erase(id);
}
