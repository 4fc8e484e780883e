#include "platform/gui/gui_screenshot.h"

#include "platform/gui/gui_app.h"

#include <wx/window.h>

#include <string>

// The toolkit draws a window into any drawing surface: the picture does not depend on
// what the display shows (other windows on top, a screen not yet repainted).
extern "C" {
struct _GtkWidget;
struct _cairo;
struct _cairo_surface;
void gtk_widget_draw(_GtkWidget* widget, _cairo* cr);
int gtk_widget_get_allocated_width(_GtkWidget* widget);
int gtk_widget_get_allocated_height(_GtkWidget* widget);
_cairo_surface* cairo_image_surface_create(int format, int width, int height);
_cairo* cairo_create(_cairo_surface* target);
int cairo_surface_write_to_png(_cairo_surface* surface, const char* filename);
void cairo_destroy(_cairo* cr);
void cairo_surface_destroy(_cairo_surface* surface);
}

namespace gui {

bool save_screenshot(hwnd window, const std::wstring& path) {
  if (!on_ui_thread()) return call_on_ui([&] { return save_screenshot(window, path); });
  if (!window || !window->IsShown()) return false;
  pump(50);  // let pending layout and state changes arrive
  auto* widget = reinterpret_cast<_GtkWidget*>(window->GetHandle());
  const int width = gtk_widget_get_allocated_width(widget);
  const int height = gtk_widget_get_allocated_height(widget);
  if (width <= 1 || height <= 1) return false;
  constexpr int argb32 = 0;
  _cairo_surface* surface = cairo_image_surface_create(argb32, width, height);
  _cairo* cr = cairo_create(surface);
  gtk_widget_draw(widget, cr);
  cairo_destroy(cr);
  const bool ok = cairo_surface_write_to_png(surface, wxString(path).utf8_str().data()) == 0;
  cairo_surface_destroy(surface);
  return ok;
}

}  // namespace gui
