#include "platform/dao/read_ahead.h"

namespace jet {

namespace {
constexpr std::size_t batch_rows = 128;
constexpr std::size_t max_ready = 4;
}  // namespace

read_ahead_cursor::read_ahead_cursor(std::unique_ptr<row_cursor> source) : source_(std::move(source)) {
  worker_ = std::thread([this] { produce(); });
}

read_ahead_cursor::~read_ahead_cursor() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void read_ahead_cursor::produce() {
  try {
    for (;;) {
      batch rows;
      {
        std::unique_lock guard(lock_);
        changed_.wait(guard, [this] { return stopping_ || ready_.size() < max_ready; });
        if (stopping_) return;
        if (!spare_.empty()) {
          rows = std::move(spare_.back());
          spare_.pop_back();
        }
      }
      rows.resize(batch_rows);
      std::size_t filled = 0;
      bool more = true;
      while (filled < batch_rows && (more = source_->next(rows[filled]))) ++filled;
      {
        std::lock_guard guard(lock_);
        if (filled) ready_.emplace_back(std::move(rows), filled);
        if (!more) finished_ = true;
      }
      changed_.notify_all();
      if (!more) return;
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

bool read_ahead_cursor::next(sheet_row& row) {
  if (current_pos_ >= current_size_) {
    std::unique_lock guard(lock_);
    if (!current_.empty()) spare_.push_back(std::move(current_));
    current_.clear();
    current_size_ = current_pos_ = 0;
    changed_.notify_all();
    changed_.wait(guard, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty()) {
      if (error_) std::rethrow_exception(error_);
      return false;
    }
    current_ = std::move(ready_.front().first);
    current_size_ = ready_.front().second;
    ready_.pop_front();
    changed_.notify_all();
  }
  std::swap(row, current_[current_pos_++]);
  return true;
}

}  // namespace jet
