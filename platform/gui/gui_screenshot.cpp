#include "platform/gui/gui_screenshot.h"

#include "platform/gui/gui_app.h"

#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/window.h>

namespace gui {

bool save_screenshot(hwnd window, const std::wstring& path) {
  if (!on_ui_thread()) return call_on_ui([&] { return save_screenshot(window, path); });
  if (!window || !window->IsShown()) return false;
  window->Raise();
  window->Update();
  pump(150);  // let the window draw itself
  wxRect area = window->GetScreenRect();
  wxScreenDC screen;
  wxBitmap picture(area.width, area.height);
  wxMemoryDC memory(picture);
  if (!memory.Blit(0, 0, area.width, area.height, &screen, area.x, area.y)) return false;
  memory.SelectObject(wxNullBitmap);
  return picture.SaveFile(wxString(path), wxBITMAP_TYPE_PNG);
}

}  // namespace gui
