#include "platform/gui/gui_clipboard.h"

#include "platform/gui/gui_app.h"

#include <wx/clipbrd.h>
#include <wx/dataobj.h>

namespace gui {

bool clipboard_set_text(const std::wstring& text) {
  if (!started()) return false;
  if (!on_ui_thread()) return call_on_ui([&] { return clipboard_set_text(text); });
  wxClipboard* clip = wxTheClipboard;
  if (!clip->Open()) return false;
  const bool ok = clip->SetData(new wxTextDataObject(wxString(text)));
  clip->Flush();  // no keeper on the desktop: the text lives while the program does
  clip->Close();
  return ok;
}

std::wstring clipboard_text() {
  if (!started()) return L"";
  if (!on_ui_thread()) return call_on_ui([] { return clipboard_text(); });
  wxClipboard* clip = wxTheClipboard;
  if (!clip->Open()) return L"";
  std::wstring text;
  if (clip->IsSupported(wxDF_UNICODETEXT)) {
    wxTextDataObject data;
    if (clip->GetData(data)) text = data.GetText().ToStdWstring();
  }
  clip->Close();
  return text;
}

}  // namespace gui
