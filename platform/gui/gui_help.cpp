#include "platform/gui/gui_help.h"

#include "platform/gui/gui_app.h"
#include "platform/gui/gui_dialog.h"

#include <wx/filename.h>
#include <wx/filesys.h>
#include <wx/fs_zip.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpdata.h>
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/html/htmlfilt.h>
#include <wx/html/htmlpars.h>
#include <wx/html/htmlwin.h>
#include <wx/treectrl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

// A window group of its own keeps the viewer out of the input grab of a modal window
// (the wizard, or one of its dialogs): each group has its own.
extern "C" {
struct _GtkWindow;
struct _GtkWindowGroup;
_GtkWindowGroup* gtk_window_group_new();
void gtk_window_group_add_window(_GtkWindowGroup* group, _GtkWindow* window);
void g_object_unref(void* object);
}

namespace gui {
namespace {

// The pages of a book are HTML whatever type the system's file-type database gives
// their extension: some map ".htm" to XHTML, and the viewer would show the markup.
// A page is read in the character set its <meta> names, else as UTF-8 (Latin-1 when
// it is not valid UTF-8).
class book_page_filter : public wxHtmlFilter {
 public:
  bool CanRead(const wxFSFile& file) const override {
    const wxString type = file.GetMimeType().Lower();
    if (type.StartsWith("text/html") || type.StartsWith("application/xhtml+xml")) return true;
    const wxString location = file.GetLocation().Lower();
    return location.EndsWith(".htm") || location.EndsWith(".html");
  }
  wxString ReadFile(const wxFSFile& file) const override {
    wxInputStream* in = file.GetStream();
    if (!in) return wxEmptyString;
    std::string bytes;
    char buffer[4096];
    while (in->CanRead()) {
      in->Read(buffer, sizeof buffer);
      if (in->LastRead() == 0) break;
      bytes.append(buffer, in->LastRead());
    }
    const wxString charset = wxHtmlParser::ExtractCharsetInformation(wxString(bytes.data(), wxConvISO8859_1, bytes.size()));
    if (!charset.empty() && charset.Lower() != "utf-8") {
      wxCSConv conv(charset);
      if (conv.IsOk()) return wxString(bytes.data(), conv, bytes.size());
    }
    wxString text = wxString::FromUTF8(bytes.data(), bytes.size());
    return text.empty() && !bytes.empty() ? wxString(bytes.data(), wxConvISO8859_1, bytes.size()) : text;
  }
};

// The toolkit's viewer takes the whole program's input while a modal window is open;
// this one never does, so help and the wizard can be used side by side.
class help_frame : public wxHtmlHelpFrame {
 public:
  explicit help_frame(wxHtmlHelpData* data) : wxHtmlHelpFrame(data) {}
  void AddGrab() override {}
};

class help_controller : public wxHtmlHelpController {
 public:
  help_controller() : wxHtmlHelpController(wxHF_DEFAULT_STYLE, nullptr) {}

 protected:
  wxHtmlHelpFrame* CreateHelpFrame(wxHtmlHelpData* data) override {
    auto* frame = new help_frame(data);
    frame->SetController(this);
    frame->Create(nullptr, wxID_ANY, wxEmptyString, m_FrameStyle, m_Config, m_ConfigRoot);  // owned by the desktop
    frame->SetTitleFormat(m_titleFormat);
    frame->SetShouldPreventAppExit(false);
    _GtkWindowGroup* group = gtk_window_group_new();
    gtk_window_group_add_window(group, reinterpret_cast<_GtkWindow*>(frame->GetHandle()));
    g_object_unref(group);  // the window keeps it
    m_helpFrame = frame;
    return frame;
  }
};

struct viewer {
  std::unique_ptr<help_controller> controller;
  std::map<std::wstring, bool> books;  // added books and whether they loaded
  bool filter_added = false;
};

viewer& the_viewer() {
  static viewer v;
  return v;
}

// The controller with book added; nullptr when the book cannot be read.
wxHtmlHelpController* with_book(const std::wstring& book) {
  static bool zip_handler = false;
  if (!zip_handler) {
    wxFileSystem::AddHandler(new wxZipFSHandler);
    zip_handler = true;
  }
  viewer& v = the_viewer();
  if (!v.filter_added) {
    wxHtmlWindow::AddFilter(new book_page_filter);  // the toolkit owns and frees it
    v.filter_added = true;
  }
  if (!v.controller) v.controller = std::make_unique<help_controller>();
  auto it = v.books.find(book);
  if (it == v.books.end()) {
    bool ok = wxFileName::FileExists(book) && v.controller->AddBook(wxFileName(book), false);
    it = v.books.emplace(book, ok).first;
  }
  return it->second ? v.controller.get() : nullptr;
}

}  // namespace

bool help_display(const std::wstring& book, int topic) {
  if (!on_ui_thread()) return call_on_ui([&] { return help_display(book, topic); });
  if (modal_script* s = current_modal_script(); s && s->help(book, topic)) return true;
  wxHtmlHelpController* c = with_book(book);
  if (!c) return false;
  const bool shown = topic < 0 ? c->DisplayContents() : c->Display(topic);
  if (wxHtmlHelpFrame* frame = c->GetFrame()) frame->Raise();
  return shown;
}

std::wstring help_page(const std::wstring& book, int topic) {
  if (!on_ui_thread()) return call_on_ui([&] { return help_page(book, topic); });
  if (!with_book(book)) return L"";
  wxHtmlHelpData data;
  if (!data.AddBook(book)) return L"";
  return data.FindPageById(topic).ToStdWstring();
}

help_view help_shown() {
  if (!on_ui_thread()) return call_on_ui([] { return help_shown(); });
  help_view view;
  viewer& v = the_viewer();
  wxHtmlHelpFrame* frame = v.controller ? v.controller->GetFrame() : nullptr;
  if (!frame || !frame->IsShown()) return view;
  view.open = true;
  view.takes_input = frame->IsGrabbed();
  wxHtmlHelpWindow* window = frame->GetHelpWindow();
  if (wxHtmlWindow* page = window ? window->GetHtmlWindow() : nullptr) {
    view.title = page->GetOpenedPageTitle().ToStdWstring();
    view.text = page->ToText().ToStdWstring();
    view.location = page->GetOpenedPage().ToStdWstring();
  }
  return view;
}

hwnd help_window() {
  if (!on_ui_thread()) return call_on_ui([] { return help_window(); });
  viewer& v = the_viewer();
  return v.controller ? v.controller->GetFrame() : nullptr;
}

bool help_contents_entry(const std::wstring& name, hwnd& list, int& x, int& y) {
  if (!on_ui_thread()) return call_on_ui([&] { return help_contents_entry(name, list, x, y); });
  auto* frame = dynamic_cast<wxHtmlHelpFrame*>(help_window());
  wxTreeCtrl* tree = frame && frame->GetHelpWindow() ? frame->GetHelpWindow()->GetTreeCtrl() : nullptr;
  if (!tree) return false;
  std::vector<wxTreeItemId> open{tree->GetRootItem()};
  while (!open.empty()) {
    const wxTreeItemId item = open.back();
    open.pop_back();
    if (!item.IsOk()) continue;
    if (tree->GetItemText(item).ToStdWstring() == name) {
      tree->EnsureVisible(item);
      pump(50);
      wxRect at;
      if (!tree->GetBoundingRect(item, at, true)) return false;
      list = tree;
      x = at.GetX() + at.GetWidth() / 2;
      y = at.GetY() + at.GetHeight() / 2;
      return true;
    }
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree->GetFirstChild(item, cookie); child.IsOk(); child = tree->GetNextChild(item, cookie))
      open.push_back(child);
  }
  return false;
}

void help_close() {
  viewer& v = the_viewer();
  if (v.controller) v.controller->Quit();
  v.controller.reset();
  v.books.clear();
  // The toolkit frees the filters when it stops; a later start needs a new one.
  v.filter_added = false;
}

}  // namespace gui
