#include "platform/gui/gui_help.h"

#include "platform/gui/gui_app.h"
#include "platform/gui/gui_dialog.h"

#include <wx/filename.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpdata.h>
#include <wx/fs_zip.h>
#include <wx/filesys.h>

#include <map>
#include <memory>

namespace gui {
namespace {

struct viewer {
  std::unique_ptr<wxHtmlHelpController> controller;
  std::map<std::wstring, bool> books;  // added books and whether they loaded
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
  if (!v.controller)
    v.controller = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE, nullptr);
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
  if (modal_script* s = current_modal_script()) return s->help(book, topic);
  wxHtmlHelpController* c = with_book(book);
  if (!c) return false;
  if (topic < 0) return c->DisplayContents();
  return c->Display(topic);
}

std::wstring help_page(const std::wstring& book, int topic) {
  if (!on_ui_thread()) return call_on_ui([&] { return help_page(book, topic); });
  if (!with_book(book)) return L"";
  wxHtmlHelpData data;
  if (!data.AddBook(book)) return L"";
  return data.FindPageById(topic).ToStdWstring();
}

void help_close() {
  viewer& v = the_viewer();
  if (v.controller) v.controller->Quit();
  v.controller.reset();
  v.books.clear();
}

}  // namespace gui
