#include "platform/gui/gui_dialog.h"

#include "platform/gui/gui_app.h"

#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/timer.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwctype>
#include <stdexcept>

namespace gui {
namespace {

std::atomic<modal_script*> g_script{nullptr};

wxString wx(std::wstring_view s) { return wxString(s.data(), s.size()); }

}  // namespace

void set_modal_script(modal_script* script) { g_script = script; }
modal_script* current_modal_script() { return g_script; }

// The toolkit window of a dialog: turns the toolkit's events into commands.
class dialog_window : public wxDialog {
 public:
  dialog_window(wxWindow* owner, dialog* d, const dialog_template& t)
      : wxDialog(owner, wxID_ANY, wx(t.caption)), d_(d) {
    SetClientSize(ConvertDialogToPixels(wxSize(t.cx, t.cy)));
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& ev) {
      if (ev.CanVeto()) ev.Veto();
      if (d_) d_->command(IDCANCEL, BN_CLICKED);
    });
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& ev) {
      if (ev.GetKeyCode() == WXK_ESCAPE && d_) {
        d_->command(IDCANCEL, BN_CLICKED);
        return;
      }
      ev.Skip();
    });
  }
  void forget() { d_ = nullptr; }
  dialog* owner_dialog() const { return d_; }

 private:
  dialog* d_;
};

dialog::dialog(int template_id, resource_set set) : template_id_(template_id), set_(set) {
  if (!find_template(template_id, set))
    throw std::invalid_argument("no dialog template " + std::to_string(template_id));
}

dialog::~dialog() {
  for (auto& t : timers_) t.second->Stop();
  if (window_) {
    window_->forget();
    window_->Destroy();
  }
}

hwnd dialog::window() const { return window_; }

int dialog::run_modal(hwnd owner) {
  if (!on_ui_thread()) return call_on_ui([&] { return run_here(owner); });
  return run_here(owner);
}

int dialog::run_here(hwnd owner) {
  const dialog_template& t = *find_template(template_id_, set_);
  window_ = new dialog_window(owner, this, t);
  struct cleanup {
    dialog* d;
    ~cleanup() {
      for (auto& tm : d->timers_) tm.second->Stop();
      d->timers_.clear();
      d->controls_.clear();
      d->window_->forget();
      d->window_->Destroy();
      d->window_ = nullptr;
    }
  } guard{this};
  controls_.build(window_, t, [this](int id, int code) { command(id, code); });
  on_init();
  if (ended_) return end_code_;
  if (modal_script* s = g_script) {
    s->run_dialog(*this);
    if (!ended_)
      throw std::logic_error("the script left dialog " + std::to_string(template_id_) + " open");
    return end_code_;
  }
  window_->ShowModal();
  return end_code_;
}

void dialog::command(int id, int code) { on_command(id, code); }

void dialog::on_command(int id, int code) {
  if (code == BN_CLICKED && (id == IDOK || id == IDCANCEL)) end(id);
}

void dialog::end(int code) {
  end_code_ = code;
  ended_ = true;
  auto close = [this, alive = std::weak_ptr<int>(life_)] {
    if (alive.expired()) return;  // the dialog object has gone meanwhile
    if (window_ && window_->IsModal()) window_->EndModal(end_code_);
  };
  if (on_ui_thread())
    close();
  else if (started())
    post_to_ui(close);
}

bool dialog::ended() const { return ended_; }

void dialog::set_caption(std::wstring_view caption) {
  if (window_) window_->SetTitle(wx(caption));
}

std::wstring dialog::caption() const { return window_ ? window_->GetTitle().ToStdWstring() : L""; }

void dialog::centre() {
  if (window_) window_->CentreOnParent();
}

void dialog::raise() {
  if (window_) window_->Raise();
}

bool dialog::start_timer(int id, int period_ms) {
  if (!window_) return false;
  stop_timer(id);
  auto timer = std::make_unique<wxTimer>();
  timer->Bind(wxEVT_TIMER, [this, id](wxTimerEvent&) { on_timer(id); });
  if (!timer->Start(period_ms)) return false;
  timers_.emplace_back(id, std::move(timer));
  return true;
}

void dialog::stop_timer(int id) {
  auto stop = [this, id] {
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->first == id) {
        it->second->Stop();
        timers_.erase(it);
        return;
      }
    }
  };
  if (on_ui_thread())
    stop();
  else
    gui::run_on_ui(stop);
}

int message_box(hwnd owner, std::wstring_view text, std::wstring_view caption, unsigned flags) {
  if (modal_script* s = g_script; s && !started())
    return s->message_box(std::wstring(caption), std::wstring(text), flags);
  if (!started()) {
    // No display: the message goes to stderr, answered with the default button.
    std::fprintf(stderr, "%s: %s\n", wx(caption).utf8_str().data(), wx(text).utf8_str().data());
    return (flags & 0xF) == MB_YESNO ? ((flags & MB_DEFBUTTON2) ? IDNO : IDYES) : IDOK;
  }
  if (!on_ui_thread()) return call_on_ui([&] { return message_box(owner, text, caption, flags); });
  if (modal_script* s = g_script) return s->message_box(std::wstring(caption), std::wstring(text), flags);
  long style = wxCENTRE;
  const bool yes_no = (flags & 0xF) == MB_YESNO;
  if (yes_no) {
    style |= wxYES_NO;
    if (flags & MB_DEFBUTTON2) style |= wxNO_DEFAULT;
  } else if ((flags & 0xF) == MB_OKCANCEL) {
    style |= wxOK | wxCANCEL;
  } else {
    style |= wxOK;
  }
  switch (flags & 0xF0) {
    case MB_ICONERROR: style |= wxICON_ERROR; break;
    case MB_ICONQUESTION: style |= wxICON_QUESTION; break;
    case MB_ICONWARNING: style |= wxICON_WARNING; break;
    case MB_ICONINFORMATION: style |= wxICON_INFORMATION; break;
    default: break;
  }
  wxMessageDialog box(owner, wx(text), wx(caption), style);
  switch (box.ShowModal()) {
    case wxID_YES: return IDYES;
    case wxID_NO: return IDNO;
    case wxID_CANCEL: return yes_no ? IDNO : IDCANCEL;
    default: return IDOK;
  }
}

std::wstring file_wildcard(const std::vector<file_filter>& filters) {
  std::wstring out;
  for (const file_filter& f : filters) {
    std::wstring patterns;
    size_t start = 0;
    while (start <= f.pattern.size()) {
      size_t end = f.pattern.find(L';', start);
      if (end == std::wstring::npos) end = f.pattern.size();
      std::wstring p = f.pattern.substr(start, end - start);
      if (!p.empty()) {
        std::wstring lower = p, upper = p;
        std::transform(lower.begin(), lower.end(), lower.begin(), [](wchar_t c) { return std::towlower(c); });
        std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) { return std::towupper(c); });
        for (const std::wstring* v : {&lower, &upper}) {
          if (!patterns.empty() && (v == &lower || upper != lower)) patterns += L';';
          if (v == &lower || upper != lower) patterns += *v;
        }
      }
      start = end + 1;
    }
    if (!out.empty()) out += L'|';
    out += f.description + L'|' + patterns;
  }
  return out;
}

std::optional<std::wstring> file_dialog(const file_request& request) {
  if (!on_ui_thread()) return call_on_ui([&] { return file_dialog(request); });
  if (modal_script* s = g_script) return s->file_dialog(request);
  long style = request.save ? wxFD_SAVE : (wxFD_OPEN | (request.must_exist ? wxFD_FILE_MUST_EXIST : 0));
  wxFileDialog dlg(request.owner, wx(request.title), wx(request.folder), wx(request.name),
                   wx(file_wildcard(request.filters)), style);
  if (dlg.ShowModal() != wxID_OK) return std::nullopt;
  return dlg.GetPath().ToStdWstring();
}

}  // namespace gui
