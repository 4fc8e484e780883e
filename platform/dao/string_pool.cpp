#include "platform/dao/string_pool.h"

#include <algorithm>
#include <cstring>

namespace jet {

namespace {
// Blocks grow from the first to the last size: a small table stays small, a
// large one lies in huge pages.
constexpr std::size_t first_block_bytes = std::size_t{64} << 10;
constexpr std::size_t last_block_bytes = std::size_t{2} << 20;
}  // namespace

void string_pool::add(std::string_view text) {
  if (text.size() > free_) {
    std::size_t next = blocks_.empty() ? first_block_bytes : std::min(last_block_bytes, 2 * blocks_.back().size());
    blocks_.emplace_back(std::max(next, text.size()));
    at_ = blocks_.back().data();
    free_ = blocks_.back().size();
  }
  if (!text.empty()) std::memcpy(at_, text.data(), text.size());
  strings_.emplace_back(at_, text.size());
  at_ += text.size();
  free_ -= text.size();
}

}  // namespace jet
