#include "platform/gui/gui_sheet.h"

#include "platform/gui/gui_app.h"
#include "platform/gui/gui_resources.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/icon.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <algorithm>
#include <stdexcept>

namespace gui {
namespace {

wxString wx(std::wstring_view s) { return wxString(s.data(), s.size()); }

constexpr int kInteriorCx = 300, kInteriorCy = 140;  // dialog units
constexpr int kWatermarkWidth = 164;                 // pixels
constexpr int kHeaderHeight = 58;                    // pixels
constexpr int kMargin = 12;                          // pixels

}  // namespace

page::page(int dialog_id, resource_set set) : dialog_id_(dialog_id), set_(set) {
  if (!find_template(dialog_id, set))
    throw std::invalid_argument("no page template " + std::to_string(dialog_id));
}

page::~page() = default;

hwnd page::window() const { return panel_; }

// The toolkit window of the sheet.
class sheet_window : public wxDialog {
 public:
  sheet_window(wxWindow* owner, sheet* s) : wxDialog(owner, wxID_ANY, wx(s->caption_)), s_(s) {
    wxSize interior = ConvertDialogToPixels(wxSize(kInteriorCx, kInteriorCy));
    wxSize exterior(0, 0);
    for (page* p : s->pages_) {
      const dialog_template* t = find_template(p->dialog_id(), p->resources());
      wxSize px = ConvertDialogToPixels(wxSize(t->cx, t->cy));
      if (p->hide_header)
        exterior.IncTo(px);
      else
        interior.IncTo(px);
    }
    top_w = std::max(interior.x + 2 * kMargin * 2, kWatermarkWidth + exterior.x + 2 * kMargin);
    top_h = std::max(kHeaderHeight + 1 + 2 * kMargin + interior.y, exterior.y + 2 * kMargin);

    top = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxSize(top_w, top_h));
    header = new wxPanel(top, wxID_ANY, wxPoint(0, 0), wxSize(top_w, kHeaderHeight));
    header->SetBackgroundColour(*wxWHITE);
    title = new wxStaticText(header, wxID_ANY, "", wxPoint(kMargin * 2, 10),
                             wxSize(top_w - 110, -1), wxST_NO_AUTORESIZE);
    title->SetFont(title->GetFont().Bold());
    subtitle = new wxStaticText(header, wxID_ANY, "", wxPoint(kMargin * 4, 30),
                                wxSize(top_w - 140, -1), wxST_NO_AUTORESIZE);
    wxBitmap hb = resource_bitmap(s->header_bitmap_);
    if (hb.IsOk())
      new wxStaticBitmap(header, wxID_ANY, hb,
                         wxPoint(top_w - hb.GetWidth() - 8, (kHeaderHeight - hb.GetHeight()) / 2));
    header_line = new wxStaticLine(top, wxID_ANY, wxPoint(0, kHeaderHeight), wxSize(top_w, 1));
    wxBitmap wm = resource_bitmap(s->watermark_);
    if (wm.IsOk()) {
      wxImage img = wm.ConvertToImage();
      img.Rescale(kWatermarkWidth, top_h, wxIMAGE_QUALITY_HIGH);  // stretched
      watermark = new wxStaticBitmap(top, wxID_ANY, wxBitmap(img), wxPoint(0, 0),
                                     wxSize(kWatermarkWidth, top_h));
    }

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto add = [&](int id, const wxString& label) {
      auto* b = new wxButton(this, id, label);
      b->Bind(wxEVT_BUTTON, [this, id](wxCommandEvent&) {
        if (s_) s_->press(id);
      });
      buttons->Add(b, 0, wxLEFT, id == IDCANCEL || id == IDHELP ? 8 : 0);
      return b;
    };
    buttons->AddStretchSpacer();
    back = add(ID_PSBACK, "< &Back");
    next = add(ID_PSNEXT, "&Next >");
    finish = add(ID_WIZFINISH, "Finish");
    cancel = add(IDCANCEL, "Cancel");
    help = add(IDHELP, "&Help");

    auto* box = new wxBoxSizer(wxVERTICAL);
    box->Add(top, 0, wxEXPAND);
    box->Add(new wxStaticLine(this, wxID_ANY), 0, wxEXPAND);
    box->Add(buttons, 0, wxEXPAND | wxALL, 10);
    SetSizerAndFit(box);

    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& ev) {
      if (ev.CanVeto()) ev.Veto();
      if (s_) s_->close_box();
    });
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& ev) {
      if (s_ && ev.GetKeyCode() == WXK_ESCAPE) {
        s_->key_escape();
        return;
      }
      if (s_ && ev.GetKeyCode() == WXK_F1) {
        s_->key_help();
        return;
      }
      ev.Skip();
    });
  }

  void place(page* p) {
    const bool exterior = p->hide_header;
    header->Show(!exterior);
    header_line->Show(!exterior);
    if (watermark) watermark->Show(exterior);
    top->SetBackgroundColour(exterior ? *wxWHITE : GetBackgroundColour());
    top->Refresh();
    if (exterior)
      p->panel_->Move(kWatermarkWidth + kMargin, kMargin);
    else
      p->panel_->Move(kMargin * 2, kHeaderHeight + 1 + kMargin);
    title->SetLabel(wx(p->header_title));
    subtitle->SetLabel(wx(p->header_subtitle));
  }

  wxButton* button(int id) const {
    switch (id) {
      case ID_PSBACK: return back;
      case ID_PSNEXT: return next;
      case ID_WIZFINISH: return finish;
      case IDCANCEL: return cancel;
      case IDHELP: return help;
      default: return nullptr;
    }
  }

  sheet* s_;
  int top_w, top_h;
  wxPanel* top;
  wxPanel* header;
  wxStaticText* title;
  wxStaticText* subtitle;
  wxStaticLine* header_line;
  wxStaticBitmap* watermark = nullptr;
  wxButton *back, *next, *finish, *cancel, *help;
};

sheet::sheet() = default;

sheet::~sheet() { destroy_window(); }

void sheet::add_page(page* p) {
  if (!p) throw std::invalid_argument("sheet::add_page: no page");
  p->sheet_ = this;
  pages_.push_back(p);
}

void sheet::set_caption(std::wstring_view caption) {
  caption_ = caption;
  if (window_) window_->SetTitle(wx(caption_));
}

hwnd sheet::window() const { return window_; }

page* sheet::current_page() const { return current_ >= 0 ? pages_[current_] : nullptr; }

void sheet::create_window(hwnd owner) {
  if (!on_ui_thread()) throw std::logic_error("the wizard sheet runs on the user-interface thread");
  if (window_) throw std::logic_error("the wizard sheet is already open");
  if (pages_.empty()) throw std::logic_error("the wizard sheet has no pages");
  ended_ = false;
  result_ = 0;
  current_ = -1;
  ++*life_;
  window_ = new sheet_window(owner, this);
  wxBitmap ic = resource_bitmap(icon_);
  if (ic.IsOk()) {
    wxIcon icon;
    icon.CopyFromBitmap(ic);
    window_->SetIcon(icon);
  }
  set_wizard_buttons(PSWIZB_BACK | PSWIZB_NEXT);
  activate(0, +1);
}

void sheet::destroy_window() {
  for (auto& t : timers_) t.second->Stop();
  timers_.clear();
  // Pages may be gone once the sheet has closed (the program destroys them before
  // the sheet): they are only touched while the window exists.
  if (!window_) return;
  for (page* p : pages_) {
    p->controls_.clear();
    p->panel_ = nullptr;
  }
  current_ = -1;
  if (window_) {
    window_->s_ = nullptr;
    window_->Destroy();
    window_ = nullptr;
  }
}

int sheet::run_modal(hwnd owner) {
  create_window(owner);
  struct cleanup {
    sheet* s;
    ~cleanup() { s->destroy_window(); }
  } guard{this};
  if (!ended_) window_->ShowModal();
  return result_;
}

void sheet::open(hwnd owner) {
  create_window(owner);
  window_->Show();
}

void sheet::close() { destroy_window(); }

void sheet::finish(int result) {
  ended_ = true;
  result_ = result;
  for (auto& t : timers_) t.second->Stop();
  if (window_ && window_->IsModal())
    window_->EndModal(result);
  else if (window_)
    window_->Hide();
}

int sheet::index_of(int dialog_id) const {
  for (size_t i = 0; i < pages_.size(); ++i)
    if (pages_[i]->dialog_id() == dialog_id) return static_cast<int>(i);
  return -1;
}

bool sheet::activate(int index, int direction) {
  while (index >= 0 && index < static_cast<int>(pages_.size())) {
    page* p = pages_[index];
    if (!p->panel_) {
      const dialog_template* t = find_template(p->dialog_id(), p->resources());
      p->panel_ = new wxPanel(window_->top, wxID_ANY);
      p->panel_->Hide();
      p->panel_->SetClientSize(p->panel_->ConvertDialogToPixels(wxSize(t->cx, t->cy)));
      if (p->hide_header) p->panel_->SetBackgroundColour(*wxWHITE);
      p->controls_.build(p->panel_, *t, [p](int id, int code) { p->on_command(id, code); });
      p->on_create();
    }
    const int old = current_;
    current_ = index;  // the page being activated is the sheet's current page
    if (p->on_notify(PSN_SETACTIVE) == 0) {
      show_page(index);
      return true;
    }
    current_ = old;
    if (direction == 0) return false;
    index += direction;
  }
  return false;
}

void sheet::show_page(int index) {
  current_ = index;
  for (size_t i = 0; i < pages_.size(); ++i)
    if (pages_[i]->panel_ && static_cast<int>(i) != index) pages_[i]->panel_->Hide();
  page* p = pages_[index];
  window_->place(p);
  p->panel_->Show();
  window_->help->Enable(p->has_help);
  window_->Layout();
  // As a dialog does, the page starts with the focus in its first control.
  if (int first = p->controls_.first_tab_stop()) p->controls_.focus(first);
}

void sheet::go(int target, int direction) {
  const int old = current_;
  if (old >= 0 && pages_[old]->on_notify(PSN_KILLACTIVE) != 0) return;
  if (activate(target, direction)) return;
  // No page took the activation: the old page stays.
  if (old >= 0) {
    current_ = old;
    pages_[old]->on_notify(PSN_SETACTIVE);
    show_page(old);
  }
}

bool sheet::select_page_by_id(int dialog_id) {
  if (!window_) return false;
  const int target = index_of(dialog_id);
  if (target < 0) return false;
  go(target, target >= current_ ? +1 : -1);
  return current_ == target;
}

void sheet::press(int id) {
  if (!window_ || ended_) return;
  page* p = current_page();
  switch (id) {
    case ID_PSBACK:
    case ID_PSNEXT: {
      const bool forward = id == ID_PSNEXT;
      int r = p ? p->on_notify(forward ? PSN_WIZNEXT : PSN_WIZBACK) : 0;
      if (r == -1) return;
      int target = r == 0 ? current_ + (forward ? 1 : -1) : index_of(r);
      if (target < 0 || target >= static_cast<int>(pages_.size())) return;
      go(target, forward ? +1 : -1);
      break;
    }
    case ID_WIZFINISH:
      if (p && p->on_notify(PSN_WIZFINISH) != 0) return;
      finish(1);
      break;
    case IDCANCEL:
      if (p && p->on_notify(PSN_QUERYCANCEL) != 0) return;
      if (p) p->on_notify(PSN_RESET);
      finish(0);
      break;
    case IDHELP:
      if (p) p->on_notify(PSN_HELP);
      break;
    default:
      break;
  }
}

void sheet::key_help() {
  if (window_ && !ended_) on_help_key();
}

void sheet::on_help_key() {
  if (page* p = current_page()) p->on_notify(PSN_HELP);
}

void sheet::key_escape() {
  if (button_enabled(IDCANCEL)) press(IDCANCEL);
}

void sheet::close_box() {
  if (button_enabled(IDCANCEL)) press(IDCANCEL);
}

void sheet::set_wizard_buttons(int flags) {
  buttons_ = flags;
  apply_buttons();
}

void sheet::post_wizard_buttons(int flags) {
  post_to_ui([this, alive = std::weak_ptr<int>(life_), run = *life_, flags] {
    // Dropped when the sheet, or the run of it that it was meant for, has gone.
    auto life = alive.lock();
    if (life && *life == run && window_) set_wizard_buttons(flags);
  });
}

void sheet::apply_buttons() {
  if (!window_) return;
  const bool finish_shown = buttons_ & (PSWIZB_FINISH | PSWIZB_DISABLEDFINISH);
  window_->back->Enable(buttons_ & PSWIZB_BACK);
  window_->next->Show(!finish_shown);
  window_->next->Enable(buttons_ & PSWIZB_NEXT);
  window_->finish->Show(finish_shown);
  window_->finish->Enable(buttons_ & PSWIZB_FINISH);
  if (finish_shown)
    window_->finish->SetDefault();
  else
    window_->next->SetDefault();
  window_->Layout();
}

void sheet::enable_button(int id, bool enable) {
  if (!window_) return;
  if (wxButton* b = window_->button(id)) b->Enable(enable);
}

bool sheet::button_enabled(int id) const {
  wxButton* b = window_ ? window_->button(id) : nullptr;
  return b && b->IsShown() && b->IsThisEnabled();
}

bool sheet::button_visible(int id) const {
  wxButton* b = window_ ? window_->button(id) : nullptr;
  return b && b->IsShown();
}

hwnd sheet::button_window(int id) const { return window_ ? window_->button(id) : nullptr; }

void sheet::focus_button(int id) {
  if (wxButton* b = window_ ? window_->button(id) : nullptr) b->SetFocus();
}

void sheet::post_focus_button(int id) {
  post_to_ui([this, alive = std::weak_ptr<int>(life_), run = *life_, id] {
    auto life = alive.lock();
    if (life && *life == run && window_) focus_button(id);
  });
}

bool sheet::start_timer(int id, int period_ms) {
  if (!on_ui_thread()) return call_on_ui([&] { return start_timer(id, period_ms); });
  if (!window_) return false;
  for (auto& t : timers_) {
    if (t.first == id) return t.second->Start(period_ms);
  }
  auto timer = std::make_unique<wxTimer>();
  timer->Bind(wxEVT_TIMER, [this, id](wxTimerEvent&) { timer_tick(id); });
  if (!timer->Start(period_ms)) return false;
  timers_.emplace_back(id, std::move(timer));
  return true;
}

void sheet::stop_timer(int id) {
  if (!on_ui_thread()) return call_on_ui([&] { stop_timer(id); });
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->first == id) {
      it->second->Stop();
      // The timer may be the one whose tick is running: let it go after the tick.
      post_to_ui([t = std::shared_ptr<wxTimer>(std::move(it->second))] {});
      timers_.erase(it);
      return;
    }
  }
}

bool sheet::timer_running(int id) const {
  for (auto& t : timers_)
    if (t.first == id) return t.second->IsRunning();
  return false;
}

void sheet::timer_tick(int id) {
  if (window_ && !ended_) on_timer(id);
}

void sheet::on_timer(int id) {
  if (page* p = current_page()) p->on_timer(id);
}

void sheet::centre() {
  if (!window_) return;
  if (window_->GetParent())
    window_->CentreOnParent();
  else
    window_->CentreOnScreen();
}

}  // namespace gui
