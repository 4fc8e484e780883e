#include "platform/gui/gui_resources.h"

#include <wx/image.h>
#include <wx/mstream.h>

#include <cstddef>

namespace gui {
namespace art {
struct item {
  int id;
  const unsigned char* data;
  std::size_t size;
};
extern const item items[];
}  // namespace art

std::span<const unsigned char> resource_png(int id) {
  for (const art::item* i = art::items; i->data; ++i)
    if (i->id == id) return {i->data, i->size};
  return {};
}

wxBitmap resource_bitmap(int id) {
  std::span<const unsigned char> png = resource_png(id);
  if (png.empty()) return wxBitmap();
  wxMemoryInputStream in(png.data(), png.size());
  wxImage image(in, wxBITMAP_TYPE_PNG);
  return image.IsOk() ? wxBitmap(image) : wxBitmap();
}

}  // namespace gui
