#include "platform/gui/gui_controls.h"

#include "platform/gui/gui_resources.h"
#include "platform/kernel/nocase.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dcclient.h>
#include <wx/gauge.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <stdexcept>

namespace gui {
namespace {

wxString wx(std::wstring_view s) { return wxString(s.data(), s.size()); }
std::wstring ws(const wxString& s) { return s.ToStdWstring(); }

wxBitmap art(std::wstring_view name, wxSize size) {
  if (name == L"error") return wxArtProvider::GetBitmap(wxART_ERROR, wxART_MESSAGE_BOX, size);
  if (name == L"warning") return wxArtProvider::GetBitmap(wxART_WARNING, wxART_MESSAGE_BOX, size);
  if (name == L"information")
    return wxArtProvider::GetBitmap(wxART_INFORMATION, wxART_MESSAGE_BOX, size);
  if (name == L"animation") return resource_bitmap(502);
  return resource_bitmap(501);
}

}  // namespace

int compare_no_case(std::wstring_view a, std::wstring_view b) { return kernel::compare_nocase(a, b); }

void control_set::build(wxWindow* parent, const dialog_template& t, command_fn on_command) {
  clear();
  life_ = std::make_shared<int>(0);
  parent_ = parent;
  templ_ = &t;
  on_command_ = std::move(on_command);
  int anonymous = -1000;
  for (const control_template& c : t.controls) {
    wxPoint pos = parent->ConvertDialogToPixels(wxPoint(c.x, c.y));
    wxSize size = parent->ConvertDialogToPixels(wxSize(c.cx, c.cy));
    int wid = c.id == IDC_STATIC ? wxID_ANY : c.id;
    wxWindow* w = nullptr;
    switch (c.kind) {
      case ctrl_kind::static_text:
      case ctrl_kind::title_text:
        w = new wxStaticText(parent, wid, wx(c.text), pos, size, wxST_NO_AUTORESIZE);
        break;
      case ctrl_kind::group_box:
        w = new wxStaticBox(parent, wid, wx(c.text), pos, size);
        break;
      case ctrl_kind::button:
      case ctrl_kind::default_button: {
        auto* b = new wxButton(parent, wid, wx(c.text), pos, size);
        if (c.kind == ctrl_kind::default_button) b->SetDefault();
        w = b;
        break;
      }
      case ctrl_kind::check_plain:
      case ctrl_kind::check_auto:
        w = new wxCheckBox(parent, wid, wx(c.text), pos, size);
        break;
      case ctrl_kind::radio_plain:
      case ctrl_kind::radio_auto:
        w = new wxRadioButton(parent, wid, wx(c.text), pos, size, (c.style & CS_GROUP) ? wxRB_GROUP : 0);
        if ((c.style & CS_GROUP) || groups_.empty()) groups_.push_back(nullptr);
        break;
      case ctrl_kind::edit:
        w = new wxTextCtrl(parent, wid, wx(c.text), pos, size);
        break;
      case ctrl_kind::edit_password:
        w = new wxTextCtrl(parent, wid, wx(c.text), pos, size, wxTE_PASSWORD);
        break;
      case ctrl_kind::edit_multiline:
        w = new wxTextCtrl(parent, wid, wx(c.text), pos, size, wxTE_MULTILINE | wxVSCROLL);
        break;
      case ctrl_kind::combo_list:
        w = new wxChoice(parent, wid, pos, wxSize(size.x, -1));
        break;
      case ctrl_kind::list_sorted:
        w = new wxListBox(parent, wid, pos, size, 0, nullptr,
                          wxLB_SINGLE | wxLB_NEEDED_SB | ((c.style & CS_HSCROLL) ? wxLB_HSCROLL : 0));
        break;
      case ctrl_kind::progress:
        w = new wxGauge(parent, wid, 100, pos, size, wxGA_HORIZONTAL | wxGA_SMOOTH);
        break;
      case ctrl_kind::icon: {
        wxSize px = parent->ConvertDialogToPixels(wxSize(c.cx, c.cy));
        int side = std::max(32, std::min(px.x, px.y));
        w = new wxStaticBitmap(parent, wid, art(c.text, wxSize(side, side)), pos, wxSize(side, side));
        break;
      }
    }
    if (c.style & CS_HIDDEN) w->Hide();
    if (c.style & CS_DISABLED) w->Disable();
    if (c.style & CS_READONLY) {
      if (auto* e = dynamic_cast<wxTextCtrl*>(w)) e->SetEditable(false);
    }
    int key = c.id == IDC_STATIC ? anonymous-- : c.id;
    entry& e = controls_[key] = entry{&c, w};
    if (dynamic_cast<wxRadioButton*>(w)) e.group = static_cast<int>(groups_.size()) - 1;
    bind(e);
    // A radio group ends here: give it a hidden member that holds "none checked", so
    // that every button of the group can be unchecked.
    const bool radio = c.kind == ctrl_kind::radio_plain || c.kind == ctrl_kind::radio_auto;
    const control_template* after = &c + 1 < t.controls.data() + t.controls.size() ? &c + 1 : nullptr;
    const bool next_joins = after &&
                            (after->kind == ctrl_kind::radio_plain || after->kind == ctrl_kind::radio_auto) &&
                            !(after->style & CS_GROUP);
    if (radio && !next_joins) {
      auto* none = new wxRadioButton(parent, wxID_ANY, "", pos, wxSize(0, 0));
      none->Hide();
      none->SetValue(true);
      groups_.back() = none;
    }
  }
}

void control_set::bind(entry& e) {
  const int id = e.t->id;
  if (id == IDC_STATIC) return;
  wxWindow* w = e.w;
  switch (e.t->kind) {
    case ctrl_kind::button:
    case ctrl_kind::default_button:
      w->Bind(wxEVT_BUTTON, [this, id, alive = std::weak_ptr<int>(life_)](wxCommandEvent&) {
        if (!alive.expired()) dispatch(id, BN_CLICKED);
      });
      break;
    case ctrl_kind::check_plain:
      // A plain check box keeps its state until the program changes it.
      w->Bind(wxEVT_CHECKBOX, [this, id, alive = std::weak_ptr<int>(life_)](wxCommandEvent&) {
        if (alive.expired()) return;
        entry& c = at(id);
        static_cast<wxCheckBox*>(c.w)->SetValue(c.state);
        dispatch(id, BN_CLICKED);
      });
      break;
    case ctrl_kind::check_auto:
      w->Bind(wxEVT_CHECKBOX, [this, id, alive = std::weak_ptr<int>(life_)](wxCommandEvent&) {
        if (!alive.expired()) dispatch(id, BN_CLICKED);
      });
      break;
    case ctrl_kind::radio_plain:
      // A plain radio button keeps the group as the program left it.
      w->Bind(wxEVT_RADIOBUTTON, [this, id, alive = std::weak_ptr<int>(life_)](wxCommandEvent&) {
        if (alive.expired()) return;
        restore_group(at(id).group);
        dispatch(id, BN_CLICKED);
      });
      break;
    case ctrl_kind::radio_auto:
      w->Bind(wxEVT_RADIOBUTTON, [this, id, alive = std::weak_ptr<int>(life_)](wxCommandEvent&) {
        if (alive.expired()) return;
        const int group = at(id).group;
        for (auto& [cid, e] : controls_)
          if (e.group == group) e.state = cid == id;
        dispatch(id, BN_CLICKED);
      });
      break;
    case ctrl_kind::edit:
    case ctrl_kind::edit_password:
    case ctrl_kind::edit_multiline:
      w->Bind(wxEVT_TEXT, [this, id, alive = std::weak_ptr<int>(life_)](wxCommandEvent&) {
        if (!alive.expired()) dispatch(id, EN_CHANGE);
      });
      w->Bind(wxEVT_SET_FOCUS, [this, id, alive = std::weak_ptr<int>(life_)](wxFocusEvent& ev) {
        ev.Skip();
        if (alive.expired()) return;
        if (focused_ == id) return;  // already reported by focus()
        focused_ = id;
        dispatch(id, EN_SETFOCUS);
      });
      w->Bind(wxEVT_KILL_FOCUS, [this, id, alive = std::weak_ptr<int>(life_)](wxFocusEvent& ev) {
        ev.Skip();
        if (alive.expired()) return;
        if (focused_ == id) focused_ = 0;
        dispatch(id, EN_KILLFOCUS);
      });
      break;
    case ctrl_kind::combo_list:
      w->Bind(wxEVT_CHOICE, [this, id, alive = std::weak_ptr<int>(life_)](wxCommandEvent&) {
        if (!alive.expired()) dispatch(id, CBN_SELCHANGE);
      });
      break;
    case ctrl_kind::list_sorted:
      w->Bind(wxEVT_LISTBOX, [this, id, alive = std::weak_ptr<int>(life_)](wxCommandEvent&) {
        if (!alive.expired()) dispatch(id, LBN_SELCHANGE);
      });
      w->Bind(wxEVT_LISTBOX_DCLICK, [this, id, alive = std::weak_ptr<int>(life_)](wxCommandEvent&) {
        if (!alive.expired()) dispatch(id, LBN_DBLCLK);
      });
      break;
    default:
      break;
  }
}

void control_set::restore_group(int group) {
  for (auto& [cid, e] : controls_) {
    if (e.group == group && e.state) {
      static_cast<wxRadioButton*>(e.w)->SetValue(true);
      return;
    }
  }
  if (group >= 0 && groups_[group]) groups_[group]->SetValue(true);
}

void control_set::dispatch(int id, int code) const {
  if (on_command_) on_command_(id, code);
}

void control_set::clear() {
  life_.reset();  // events still on their way to the windows find nobody
  focused_ = 0;
  controls_.clear();
  groups_.clear();
  parent_ = nullptr;
  templ_ = nullptr;
  on_command_ = nullptr;
}

control_set::entry& control_set::at(int id) {
  auto it = controls_.find(id);
  if (it == controls_.end() || id == IDC_STATIC)
    throw std::invalid_argument("no control " + std::to_string(id) + " in dialog " +
                                std::to_string(templ_ ? templ_->id : 0));
  return it->second;
}

const control_set::entry& control_set::at(int id) const {
  return const_cast<control_set*>(this)->at(id);
}

bool control_set::has(int id) const { return id != IDC_STATIC && controls_.count(id) != 0; }

wxWindow* control_set::window(int id) const { return has(id) ? at(id).w : nullptr; }

ctrl_kind control_set::kind(int id) const { return at(id).t->kind; }

void control_set::set_text(int id, std::wstring_view text) {
  entry& e = at(id);
  if (auto* t = dynamic_cast<wxTextCtrl*>(e.w)) {
    t->ChangeValue(wx(text));
  } else if (auto* s = dynamic_cast<wxStaticText*>(e.w)) {
    s->SetLabel(wx(text));
  } else {
    e.w->SetLabel(wx(text));
  }
}

std::wstring control_set::text(int id) const {
  const entry& e = at(id);
  if (auto* t = dynamic_cast<wxTextCtrl*>(e.w)) return ws(t->GetValue());
  if (auto* c = dynamic_cast<wxChoice*>(e.w)) return ws(c->GetStringSelection());
  return ws(e.w->GetLabel());
}

void control_set::show(int id, bool show) {
  at(id).w->Show(show);
}

bool control_set::visible(int id) const { return at(id).w->IsShown(); }

void control_set::enable(int id, bool enable) { at(id).w->Enable(enable); }

bool control_set::enabled(int id) const { return at(id).w->IsThisEnabled(); }

void control_set::focus(int id) {
  entry& e = at(id);
  e.w->SetFocus();
  // The edit learns of the focus at once, whether or not its window has the
  // keyboard yet (a window not yet shown gets it later).
  const ctrl_kind k = e.t->kind;
  if ((k == ctrl_kind::edit || k == ctrl_kind::edit_password || k == ctrl_kind::edit_multiline) &&
      focused_ != id) {
    focused_ = id;
    dispatch(id, EN_SETFOCUS);
  }
}

int control_set::first_tab_stop() const {
  for (const control_template& c : templ_ ? templ_->controls : std::span<const control_template>{}) {
    if (c.id == IDC_STATIC) continue;
    switch (c.kind) {
      case ctrl_kind::static_text:
      case ctrl_kind::title_text:
      case ctrl_kind::group_box:
      case ctrl_kind::progress:
      case ctrl_kind::icon:
        continue;
      default:
        break;
    }
    const entry& e = at(c.id);
    if (e.w->IsShown() && e.w->IsThisEnabled()) return c.id;
  }
  return 0;
}

void control_set::set_checked(int id, bool checked) {
  entry& e = at(id);
  if (auto* c = dynamic_cast<wxCheckBox*>(e.w)) {
    e.state = checked;
    c->SetValue(checked);
  } else if (auto* r = dynamic_cast<wxRadioButton*>(e.w)) {
    // A group shows one checked button at most: checking one clears the others.
    if (checked) {
      for (auto& [cid, other] : controls_)
        if (other.group == e.group) other.state = false;
      e.state = true;
      r->SetValue(true);
    } else if (e.state || r->GetValue()) {
      e.state = false;
      if (groups_[e.group]) groups_[e.group]->SetValue(true);
    }
  } else {
    throw std::invalid_argument("control " + std::to_string(id) + " cannot be checked");
  }
}

bool control_set::checked(int id) const {
  const entry& e = at(id);
  if (auto* c = dynamic_cast<wxCheckBox*>(e.w)) return c->GetValue();
  if (auto* r = dynamic_cast<wxRadioButton*>(e.w)) return r->GetValue();
  return false;
}

namespace {
template <class T>
T* as(wxWindow* w, int id) {
  auto* p = dynamic_cast<T*>(w);
  if (!p) throw std::invalid_argument("control " + std::to_string(id) + " is of another kind");
  return p;
}
}  // namespace

void control_set::combo_reset(int id) { as<wxChoice>(at(id).w, id)->Clear(); }

int control_set::combo_add(int id, std::wstring_view text) {
  return as<wxChoice>(at(id).w, id)->Append(wx(text));
}

void control_set::combo_select(int id, int index) {
  as<wxChoice>(at(id).w, id)->SetSelection(index);
}

int control_set::combo_selection(int id) const {
  return as<wxChoice>(at(id).w, id)->GetSelection();
}

int control_set::combo_count(int id) const {
  return static_cast<int>(as<wxChoice>(at(id).w, id)->GetCount());
}

void control_set::list_reset(int id) {
  entry& e = at(id);
  as<wxListBox>(e.w, id)->Clear();
  e.extent = 0;
}

int control_set::list_add(int id, std::wstring_view text) {
  auto* l = as<wxListBox>(at(id).w, id);
  // The place after every item that does not sort after the new one.
  unsigned lo = 0, hi = l->GetCount();
  while (lo < hi) {
    unsigned mid = (lo + hi) / 2;
    if (compare_no_case(l->GetString(mid).ToStdWstring(), text) <= 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return l->Insert(wx(text), lo);
}

void control_set::list_delete(int id, int index) {
  auto* l = as<wxListBox>(at(id).w, id);
  if (index >= 0 && static_cast<unsigned>(index) < l->GetCount()) l->Delete(index);
}

int control_set::list_count(int id) const {
  return static_cast<int>(as<wxListBox>(at(id).w, id)->GetCount());
}

std::wstring control_set::list_text(int id, int index) const {
  auto* l = as<wxListBox>(at(id).w, id);
  if (index < 0 || static_cast<unsigned>(index) >= l->GetCount())
    throw std::out_of_range("list box " + std::to_string(id) + " has no item " + std::to_string(index));
  return ws(l->GetString(index));
}

int control_set::list_selection(int id) const { return as<wxListBox>(at(id).w, id)->GetSelection(); }

void control_set::list_select(int id, int index) {
  auto* l = as<wxListBox>(at(id).w, id);
  if (index < 0)
    l->SetSelection(wxNOT_FOUND);
  else if (static_cast<unsigned>(index) < l->GetCount())
    l->SetSelection(index);
}

int control_set::list_find_exact(int id, std::wstring_view text) const {
  auto* l = as<wxListBox>(at(id).w, id);
  for (unsigned i = 0; i < l->GetCount(); ++i)
    if (compare_no_case(l->GetString(i).ToStdWstring(), text) == 0) return static_cast<int>(i);
  return -1;
}

void control_set::list_set_extent(int id, int pixels) { at(id).extent = pixels; }

int control_set::list_extent(int id) const { return at(id).extent; }

void control_set::append_text(int id, std::wstring_view text) {
  auto* t = as<wxTextCtrl>(at(id).w, id);
  t->SetInsertionPointEnd();
  t->WriteText(wx(text));
  t->ShowPosition(t->GetLastPosition());
}

void control_set::set_readonly(int id, bool readonly) {
  as<wxTextCtrl>(at(id).w, id)->SetEditable(!readonly);
}

bool control_set::readonly(int id) const { return !as<wxTextCtrl>(at(id).w, id)->IsEditable(); }

void control_set::clear_selection(int id) {
  auto* t = as<wxTextCtrl>(at(id).w, id);
  long end = t->GetLastPosition();
  t->SetSelection(end, end);
  t->ShowPosition(t->GetInsertionPoint());
}

void control_set::set_progress(int id, int position) {
  as<wxGauge>(at(id).w, id)->SetValue(std::clamp(position, 0, 100));
}

int control_set::progress(int id) const { return as<wxGauge>(at(id).w, id)->GetValue(); }

void control_set::set_image(int id, int resource_id) {
  auto* b = as<wxStaticBitmap>(at(id).w, id);
  wxBitmap bmp = resource_bitmap(resource_id);
  if (bmp.IsOk()) b->SetBitmap(bmp);
}

void control_set::set_title_font(int id) {
  wxWindow* w = at(id).w;
  w->SetFont(wxFont(wxFontInfo(10).Family(wxFONTFAMILY_SWISS).FaceName("Verdana").Bold()));
}

int control_set::text_width(int id, std::wstring_view text) const {
  return at(id).w->GetTextExtent(wx(text)).x;
}

void control_set::user_click(int id) {
  entry& e = at(id);
  if (!e.w->IsEnabled() || !e.w->IsShown()) return;  // a user cannot reach it
  switch (e.t->kind) {
    case ctrl_kind::button:
    case ctrl_kind::default_button: {
      wxCommandEvent ev(wxEVT_BUTTON, e.w->GetId());
      ev.SetEventObject(e.w);
      e.w->GetEventHandler()->ProcessEvent(ev);
      break;
    }
    case ctrl_kind::check_plain:
    case ctrl_kind::check_auto: {
      // The toolkit toggles the box before it reports the click.
      auto* c = static_cast<wxCheckBox*>(e.w);
      c->SetValue(!c->GetValue());
      wxCommandEvent ev(wxEVT_CHECKBOX, e.w->GetId());
      ev.SetEventObject(e.w);
      ev.SetInt(c->GetValue());
      e.w->GetEventHandler()->ProcessEvent(ev);
      break;
    }
    case ctrl_kind::radio_plain:
    case ctrl_kind::radio_auto: {
      auto* r = static_cast<wxRadioButton*>(e.w);
      r->SetValue(true);
      wxCommandEvent ev(wxEVT_RADIOBUTTON, e.w->GetId());
      ev.SetEventObject(e.w);
      ev.SetInt(1);
      e.w->GetEventHandler()->ProcessEvent(ev);
      break;
    }
    default:
      throw std::invalid_argument("control " + std::to_string(id) + " cannot be clicked");
  }
}

void control_set::user_type(int id, std::wstring_view text) {
  entry& e = at(id);
  auto* t = as<wxTextCtrl>(e.w, id);
  t->SetValue(wx(text));  // sends the change notification
}

void control_set::user_choose(int id, int index) {
  entry& e = at(id);
  if (auto* c = dynamic_cast<wxChoice*>(e.w)) {
    c->SetSelection(index);
    wxCommandEvent ev(wxEVT_CHOICE, e.w->GetId());
    ev.SetEventObject(e.w);
    ev.SetInt(index);
    e.w->GetEventHandler()->ProcessEvent(ev);
  } else {
    auto* l = as<wxListBox>(e.w, id);
    l->SetSelection(index);
    wxCommandEvent ev(wxEVT_LISTBOX, e.w->GetId());
    ev.SetEventObject(e.w);
    ev.SetInt(index);
    e.w->GetEventHandler()->ProcessEvent(ev);
  }
}

void control_set::user_double_click(int id, int index) {
  entry& e = at(id);
  auto* l = as<wxListBox>(e.w, id);
  l->SetSelection(index);
  wxCommandEvent ev(wxEVT_LISTBOX_DCLICK, e.w->GetId());
  ev.SetEventObject(e.w);
  ev.SetInt(index);
  e.w->GetEventHandler()->ProcessEvent(ev);
}

void control_set::user_focus(int id) {
  entry& e = at(id);
  if (focused_ == id) {  // leaving and coming back, as a user tabbing round
    wxFocusEvent out(wxEVT_KILL_FOCUS, e.w->GetId());
    out.SetEventObject(e.w);
    e.w->GetEventHandler()->ProcessEvent(out);
  }
  e.w->SetFocus();
  wxFocusEvent ev(wxEVT_SET_FOCUS, e.w->GetId());
  ev.SetEventObject(e.w);
  e.w->GetEventHandler()->ProcessEvent(ev);
}

}  // namespace gui
