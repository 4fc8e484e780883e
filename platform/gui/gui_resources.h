// The programs' artwork: the wizard icon (501), the watermark (311) and header (312)
// bitmaps and the connecting animation (502-509), stored as PNG files in res/ and
// built into the library.
#pragma once

#include <wx/bitmap.h>

#include <span>

namespace gui {

// The PNG bytes of a resource; empty when there is none.
std::span<const unsigned char> resource_png(int id);
// The resource as a bitmap; an invalid bitmap when there is none.
wxBitmap resource_bitmap(int id);

}  // namespace gui
