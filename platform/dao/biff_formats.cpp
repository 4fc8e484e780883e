#include "platform/dao/biff_formats.h"

#include "platform/dao/jet_error.h"

namespace jet {

namespace {

// A workbook holds at most 4000 cell styles in Excel; far more is damage.
constexpr std::size_t max_styles = 1 << 16;

}  // namespace

void biff_formats::add_format(std::uint16_t id, std::string_view code) { custom_[id] = custom_format_class(code); }

void biff_formats::add_style(std::uint16_t format_id) {
  if (style_formats_.size() >= max_styles) throw_bad_format("too many cell styles");
  style_formats_.push_back(format_id);
}

void biff_formats::finish() {
  classes_.clear();
  classes_.reserve(style_formats_.size());
  for (auto id : style_formats_) {
    auto found = custom_.find(id);
    classes_.push_back(found != custom_.end() ? found->second : builtin_format_class(id));
  }
}

}  // namespace jet
