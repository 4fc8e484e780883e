// The real clipboard behind the kernel's clipboard seam.
#pragma once

#include <string>

namespace gui {

// Puts text on the clipboard and hands it to the desktop's clipboard keeper, so the
// text stays after the program has ended. False when the clipboard cannot be opened.
bool clipboard_set_text(const std::wstring& text);
// The clipboard's text; empty when it holds none.
std::wstring clipboard_text();

}  // namespace gui
