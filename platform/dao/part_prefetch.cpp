#include "platform/dao/part_prefetch.h"

#include <cstring>

namespace jet {

namespace {
constexpr std::size_t chunk_size = 256 * 1024;
constexpr std::size_t max_ready = 4;
}  // namespace

part_prefetch::part_prefetch(zip_package::part_stream part) : part_(std::move(part)) {
  worker_ = std::thread([this] { produce(); });
}

part_prefetch::~part_prefetch() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void part_prefetch::produce() {
  try {
    for (;;) {
      std::string chunk;
      {
        std::unique_lock guard(lock_);
        changed_.wait(guard, [this] { return stopping_ || ready_.size() < max_ready; });
        if (stopping_) return;
        if (!spare_.empty()) {
          chunk = std::move(spare_.back());
          spare_.pop_back();
        }
      }
      chunk.resize(chunk_size);
      chunk.resize(part_.read(chunk.data(), chunk.size()));
      bool end = chunk.empty();
      {
        std::lock_guard guard(lock_);
        if (end) finished_ = true;
        else ready_.push_back(std::move(chunk));
      }
      changed_.notify_all();
      if (end) return;
    }
  } catch (...) {
    {
      std::lock_guard guard(lock_);
      error_ = std::current_exception();
      finished_ = true;
    }
    changed_.notify_all();
  }
}

std::size_t part_prefetch::read(char* buffer, std::size_t size) {
  if (current_pos_ >= current_.size()) {
    std::unique_lock guard(lock_);
    if (!current_.empty()) spare_.push_back(std::move(current_));
    current_.clear();
    current_pos_ = 0;
    changed_.wait(guard, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty()) {
      if (error_) std::rethrow_exception(error_);
      return 0;
    }
    current_ = std::move(ready_.front());
    ready_.pop_front();
    guard.unlock();
    changed_.notify_all();
  }
  std::size_t count = std::min(size, current_.size() - current_pos_);
  std::memcpy(buffer, current_.data() + current_pos_, count);
  current_pos_ += count;
  return count;
}

}  // namespace jet
