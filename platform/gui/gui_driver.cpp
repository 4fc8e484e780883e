#include "platform/gui/gui_driver.h"

#include "platform/gui/gui_app.h"
#include "platform/gui/gui_help.h"
#include "platform/gui/gui_input.h"
#include "platform/gui/gui_screenshot.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/event.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/artprov.h>

#include <cstdio>

#include <stdexcept>

namespace gui {

driver::driver() : previous_(current_modal_script()) { set_modal_script(this); }

driver::~driver() { set_modal_script(previous_); }

int driver::page_id() const {
  page* p = sheet_ ? sheet_->current_page() : nullptr;
  return p ? p->dialog_id() : 0;
}

control_set& driver::page_controls() {
  page* p = sheet_ ? sheet_->current_page() : nullptr;
  if (!p) throw std::logic_error("no wizard page is showing");
  return p->controls();
}

bool driver::button_enabled(int button_id) const {
  return sheet_ && sheet_->button_enabled(button_id);
}

void driver::press(int button_id) {
  if (!sheet_ || !sheet_->is_open()) throw std::logic_error("no wizard sheet is open");
  settle();
  if (!sheet_->button_enabled(button_id))
    throw std::logic_error("sheet button " + std::to_string(button_id) + " cannot be pressed now");
  wxWindow* b = sheet_->button_window(button_id);
  wxCommandEvent ev(wxEVT_BUTTON, b->GetId());
  ev.SetEventObject(b);
  b->GetEventHandler()->ProcessEvent(ev);
  settle();
}

namespace {
void send_key(wxWindow* w, int key) {
  wxKeyEvent ev(wxEVT_CHAR_HOOK);
  ev.m_keyCode = key;
  ev.SetEventObject(w);
  w->GetEventHandler()->ProcessEvent(ev);
}
}  // namespace

void driver::key_f1() {
  send_key(sheet_->window(), WXK_F1);
  settle();
}

void driver::key_escape() {
  send_key(sheet_->window(), WXK_ESCAPE);
  settle();
}

void driver::close_box() {
  wxCloseEvent ev(wxEVT_CLOSE_WINDOW, sheet_->window()->GetId());
  ev.SetCanVeto(true);
  ev.SetEventObject(sheet_->window());
  sheet_->window()->GetEventHandler()->ProcessEvent(ev);
  settle();
}

void driver::click(int id) {
  page_controls().user_click(id);
  settle();
}

void driver::type(int id, const std::wstring& text) {
  page_controls().user_type(id, text);
  settle();
}

void driver::choose(int id, int index) {
  page_controls().user_choose(id, index);
  settle();
}

void driver::double_click(int id, int index) {
  page_controls().user_double_click(id, index);
  settle();
}

void driver::focus(int id) {
  page_controls().user_focus(id);
  settle();
}

void driver::pointer_click(int button_id) {
  if (!sheet_ || !sheet_->is_open()) throw std::logic_error("no wizard sheet is open");
  settle();
  if (!input_click(sheet_->button_window(button_id)))
    throw std::logic_error("the pointer cannot click sheet button " + std::to_string(button_id));
  settle(100);
}

void driver::keyboard(const std::string& key) {
  if (!sheet_ || !sheet_->is_open()) throw std::logic_error("no wizard sheet is open");
  settle();
  if (!input_key(sheet_->window(), key)) throw std::logic_error("the keyboard cannot press " + key);
  settle(100);
}

void driver::click_help_contents(const std::wstring& entry) {
  settle();
  hwnd list = nullptr;
  int x = 0, y = 0;
  if (!help_contents_entry(entry, list, x, y)) throw std::logic_error("the help viewer lists no such entry");
  if (!input_click(list, x, y)) throw std::logic_error("the pointer cannot reach the help entry");
  settle(100);
}

void driver::settle(int ms) { pump(ms); }

bool driver::wait_for(const std::function<bool()>& done, int timeout_ms) {
  return pump_until(done, timeout_ms);
}

void driver::answer_message(int button) {
  std::lock_guard lock(mutex_);
  answers_.push_back({"message", button, nullptr, std::nullopt});
}

void driver::answer_dialog(std::function<void(dialog&)> before, int press_id) {
  std::lock_guard lock(mutex_);
  answers_.push_back({"dialog", press_id, std::move(before), std::nullopt});
}

void driver::answer_file(std::optional<std::wstring> path) {
  std::lock_guard lock(mutex_);
  answers_.push_back({"file", 0, nullptr, std::move(path)});
}

size_t driver::answers_left() const {
  std::lock_guard lock(mutex_);
  return answers_.size();
}

std::vector<modal_record> driver::log() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::vector<modal_record> driver::unexpected() const {
  std::lock_guard lock(mutex_);
  return unexpected_;
}

void driver::clear_log() {
  std::lock_guard lock(mutex_);
  log_.clear();
  unexpected_.clear();
}

std::optional<driver::answer> driver::next(const std::string& kind) {
  std::lock_guard lock(mutex_);
  if (answers_.empty() || answers_.front().kind != kind) return std::nullopt;
  answer a = std::move(answers_.front());
  answers_.pop_front();
  return a;
}

void driver::record(modal_record r, bool fitted) {
  std::lock_guard lock(mutex_);
  log_.push_back(r);
  if (!fitted) unexpected_.push_back(std::move(r));
}

std::wstring driver::shot_path(const std::wstring& name) {
  wchar_t number[16];
  std::swprintf(number, 16, L"%02d-", ++shot_count_);
  std::wstring folder = shots_;
  if (!folder.empty() && folder.back() != L'/') folder += L'/';
  return folder + number + name + L".png";
}

bool driver::screenshot(const std::wstring& name) { return screenshot(name, sheet_ ? sheet_->window() : nullptr); }

bool driver::screenshot(const std::wstring& name, hwnd window) {
  if (shots_.empty() || !window) return false;
  settle();
  return save_screenshot(window, shot_path(name));
}

void driver::shoot_message(const std::wstring& caption, const std::wstring& text, unsigned flags) {
  // A window of the same make as the toolkit's message box, shown for the picture only.
  wxDialog box(sheet_ && sheet_->window() ? sheet_->window() : nullptr, wxID_ANY, wxString(caption));
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  wxArtID icon = wxART_INFORMATION;
  if ((flags & 0xF0) == MB_ICONERROR) icon = wxART_ERROR;
  if ((flags & 0xF0) == MB_ICONQUESTION) icon = wxART_QUESTION;
  if ((flags & 0xF0) == MB_ICONWARNING) icon = wxART_WARNING;
  row->Add(new wxStaticBitmap(&box, wxID_ANY, wxArtProvider::GetBitmap(icon, wxART_MESSAGE_BOX)), 0, wxALL, 12);
  row->Add(new wxStaticText(&box, wxID_ANY, wxString(text)), 1, wxALL | wxALIGN_CENTER_VERTICAL, 12);
  auto* all = new wxBoxSizer(wxVERTICAL);
  all->Add(row, 1, wxEXPAND);
  all->Add(box.CreateButtonSizer((flags & 0xF) == MB_YESNO ? (wxYES_NO | ((flags & MB_DEFBUTTON2) ? wxNO_DEFAULT : 0))
                                                           : wxOK),
           0, wxEXPAND | wxALL, 10);
  box.SetSizerAndFit(all);
  box.Centre();
  box.Show();
  save_screenshot(&box, shot_path(L"message"));
}

int driver::message_box(const std::wstring& caption, const std::wstring& text, unsigned flags) {
  if (!shots_.empty() && started()) shoot_message(caption, text, flags);
  std::optional<answer> a = next("message");
  int button = a ? a->button : ((flags & 0xF) == MB_YESNO ? IDNO : IDOK);
  record({"message", 0, caption, text, button}, a.has_value());
  return button;
}

void driver::run_dialog(dialog& d) {
  std::optional<answer> a = next("dialog");
  modal_record r{"dialog", d.template_id(), d.caption(),
                 d.controls().has(1320) ? d.controls().text(1320) : L"", 0};
  if (!shots_.empty() && d.window()) {
    d.window()->Show();
    save_screenshot(d.window(), shot_path(L"dialog-" + std::to_wstring(d.template_id())));
    d.window()->Hide();
  }
  if (a) {
    if (a->before) a->before(d);
    if (!d.ended()) press_in(d, a->button);
  }
  if (!d.ended()) d.end(IDCANCEL);  // nobody answered: as if closed
  r.answer = d.end_code();
  record(std::move(r), a.has_value());
}

std::optional<std::wstring> driver::file_dialog(const file_request& request) {
  std::optional<answer> a = next("file");
  std::optional<std::wstring> path = a ? a->path : std::nullopt;
  record({request.save ? "save" : "open", 0, request.title, request.folder + L"|" + request.name,
          path ? IDOK : IDCANCEL},
         a.has_value());
  return path;
}

bool driver::help(const std::wstring& book, int topic) {
  record({"help", topic, L"", book, 0}, true);
  return !show_help_;
}

void press_in(dialog& d, int id) {
  control_set& c = d.controls();
  if (c.has(id)) {
    c.user_click(id);
  } else {
    throw std::logic_error("dialog " + std::to_string(d.template_id()) + " has no control " +
                           std::to_string(id));
  }
}

}  // namespace gui
