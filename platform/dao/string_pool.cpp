#include "platform/dao/string_pool.h"

#include <cstring>

namespace jet {

void string_pool::add(std::string_view text) {
  if (text.size() > free_) {
    // A small table stays small, a large one lies in huge pages.
    blocks_.emplace_back(page_block::next_size(blocks_.empty() ? nullptr : &blocks_.back(), text.size()));
    at_ = blocks_.back().data();
    free_ = blocks_.back().size();
  }
  if (!text.empty()) std::memcpy(at_, text.data(), text.size());
  strings_.emplace_back(at_, text.size());
  at_ += text.size();
  free_ -= text.size();
}

}  // namespace jet
