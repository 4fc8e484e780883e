// The shared strings of a workbook: kept one after another in large blocks that
// never move once filled (a large table is copied once, never again as a single
// buffer would be when it grows), each found by its number.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/dao/page_block.h"

namespace jet {

class string_pool {
 public:
  void add(std::string_view text);
  std::size_t size() const { return strings_.size(); }
  // index < size().
  std::string_view operator[](std::size_t index) const { return strings_[index]; }
  void reserve(std::size_t count) { strings_.reserve(count); }

 private:
  std::vector<page_block> blocks_;
  char* at_ = nullptr;
  std::size_t free_ = 0;
  std::vector<std::string_view> strings_;
};

}  // namespace jet
