// Help: an HTML help book (.htb, a zip of pages with its project file and topic map)
// shown in the toolkit's help viewer.
//
// The viewer is a window of its own, owned by the desktop: it never takes the input
// of the program (a wizard running modally, or one of its modal dialogs, stays usable
// while help is open), and it stays usable itself while they run.
#pragma once

#include "platform/gui/gui_types.h"

#include <string>

namespace gui {

// Opens book at a numeric topic (-1: the book's default page). Returns false when the
// book cannot be read or has no such topic. With a test script installed the request
// goes to the script first; the viewer shows it when the script leaves it.
bool help_display(const std::wstring& book, int topic = -1);
// The page (its location inside the book) a topic opens; empty when there is none.
std::wstring help_page(const std::wstring& book, int topic);
// Closes the viewer (before the toolkit stops).
void help_close();

// What the viewer shows now, as drawn.
struct help_view {
  bool open = false;       // the viewer's window is on the screen
  bool takes_input = false;  // it holds the program's input (other windows get none)
  std::wstring title;      // the page's title
  std::wstring text;       // the page's text as drawn, without markup
  std::wstring location;   // the page's location inside the book
};
help_view help_shown();
// The viewer's window; nullptr while it is closed.
hwnd help_window();
// Where the viewer's contents list draws the entry of that name: the list's window and
// the point in it. False while the viewer is closed or lists no such entry.
bool help_contents_entry(const std::wstring& name, hwnd& list, int& x, int& y);

}  // namespace gui
