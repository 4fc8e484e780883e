#include "platform/gui/gui_input.h"

#include "platform/gui/gui_app.h"

#include <wx/window.h>

// The display's server of the toolkit (X11) and its test extension.
extern "C" {
struct _XDisplay;
_XDisplay* gdk_x11_get_default_xdisplay();
int XTestQueryExtension(_XDisplay* display, int* event_base, int* error_base, int* major, int* minor);
int XTestFakeMotionEvent(_XDisplay* display, int screen, int x, int y, unsigned long delay);
int XTestFakeButtonEvent(_XDisplay* display, unsigned button, int is_press, unsigned long delay);
int XTestFakeKeyEvent(_XDisplay* display, unsigned keycode, int is_press, unsigned long delay);
unsigned long XStringToKeysym(const char* name);
unsigned char XKeysymToKeycode(_XDisplay* display, unsigned long keysym);
int XSync(_XDisplay* display, int discard);
}

namespace gui {
namespace {

_XDisplay* test_display() {
  if (!on_ui_thread()) return nullptr;
  _XDisplay* display = gdk_x11_get_default_xdisplay();
  int event_base, error_base, major, minor;
  if (!display || !XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) return nullptr;
  return display;
}

// Rests the pointer on the point (x, y) of window, its middle when x is negative;
// false when the window is not on the screen.
bool point_at(_XDisplay* display, hwnd window, int x = -1, int y = -1) {
  if (!window || !window->IsShownOnScreen()) return false;
  const wxSize size = window->GetClientSize();
  const wxPoint at = window->ClientToScreen(x < 0 ? wxPoint(size.x / 2, size.y / 2) : wxPoint(x, y));
  XTestFakeMotionEvent(display, -1, at.x, at.y, 0);
  XSync(display, 0);
  pump(30);  // the toolkit learns where the pointer is before anything is pressed
  return true;
}

}  // namespace

bool input_click(hwnd window, int x, int y) {
  _XDisplay* display = test_display();
  if (!display || !point_at(display, window, x, y)) return false;
  XTestFakeButtonEvent(display, 1, 1, 0);
  XTestFakeButtonEvent(display, 1, 0, 0);
  XSync(display, 0);
  return true;
}

bool input_key(hwnd window, const std::string& key) {
  _XDisplay* display = test_display();
  const unsigned long keysym = XStringToKeysym(key.c_str());
  if (!display || keysym == 0 || !point_at(display, window)) return false;
  const unsigned keycode = XKeysymToKeycode(display, keysym);
  if (keycode == 0) return false;
  XTestFakeKeyEvent(display, keycode, 1, 0);
  XTestFakeKeyEvent(display, keycode, 0, 0);
  XSync(display, 0);
  return true;
}

}  // namespace gui
