// The number formats of an .xlsx package's cell styles: for each style index,
// whether its numbers are dates, amounts of money or plain numbers.
#pragma once

#include <string>
#include <vector>

#include "platform/dao/number_format.h"
#include "platform/dao/zip_package.h"

namespace jet {

class xlsx_styles {
 public:
  static xlsx_styles read(const zip_package& package, const std::string& part);
  // The class of a style index; an unknown index is a plain number.
  format_class at(std::size_t style) const {
    return style < classes_.size() ? classes_[style] : format_class::number;
  }
  std::vector<format_class>& classes() { return classes_; }

 private:
  std::vector<format_class> classes_;
};

}  // namespace jet
