// Real input for the test driver: pointer clicks and key presses made by the display's
// server (XTest), so that they travel the toolkit's whole way (input grabs of modal
// windows, keyboard focus, default buttons) as a person's would.
#pragma once

#include "platform/gui/gui_types.h"

#include <string>

namespace gui {

// Moves the pointer to the point (x, y) of window (its middle when x is negative) and
// clicks the left button there. False when the display offers no such input or the
// window is not on the screen.
bool input_click(hwnd window, int x = -1, int y = -1);
// Rests the pointer on window and presses and releases key (a key name of the
// display's server: "Return", "F1", "Escape").
bool input_key(hwnd window, const std::string& key);

}  // namespace gui
