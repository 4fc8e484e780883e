// The number formats of a BIFF workbook's cell styles: FORMAT records (format
// codes by id) and XF records (each style's format id), so that each style index
// says whether its numbers are dates, times, amounts of money or plain numbers,
// decided as for .xlsx packages.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "platform/dao/number_format.h"

namespace jet {

class biff_formats {
 public:
  void add_format(std::uint16_t id, std::string_view code);
  void add_style(std::uint16_t format_id);
  // Decides every style's class once all records are read.
  void finish();
  // The class of a style index; an unknown index is a plain number.
  format_class at(std::size_t style) const {
    return style < classes_.size() ? classes_[style] : format_class::number;
  }

 private:
  std::map<std::uint16_t, format_class> custom_;
  std::vector<std::uint16_t> style_formats_;
  std::vector<format_class> classes_;
};

}  // namespace jet
