// Pictures of windows, for reviewing the look of the wizard.
#pragma once

#include "platform/gui/gui_types.h"

#include <string>

namespace gui {

// Saves a PNG of window (with its frame's client area) to path; false when the
// picture cannot be taken or written.
bool save_screenshot(hwnd window, const std::wstring& path);

}  // namespace gui
