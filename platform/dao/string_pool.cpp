#include "platform/dao/string_pool.h"

#include <algorithm>
#include <cstring>

namespace jet {

namespace {
constexpr std::size_t block_bytes = std::size_t{2} << 20;
}  // namespace

void string_pool::add(std::string_view text) {
  if (text.size() > free_) {
    blocks_.emplace_back(std::max(block_bytes, text.size()));
    at_ = blocks_.back().data();
    free_ = blocks_.back().size();
  }
  if (!text.empty()) std::memcpy(at_, text.data(), text.size());
  strings_.emplace_back(at_, text.size());
  at_ += text.size();
  free_ -= text.size();
}

}  // namespace jet
