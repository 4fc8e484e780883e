// Reads a worksheet's rows on a thread of its own, a few batches ahead of the
// caller, so that parsing and the caller's work on the rows overlap. Memory stays
// bounded: at most a few batches of rows wait.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dao/workbook.h"

namespace jet {

class read_ahead_cursor : public row_cursor {
 public:
  explicit read_ahead_cursor(std::unique_ptr<row_cursor> source);
  ~read_ahead_cursor() override;
  bool next(sheet_row& row) override;

 private:
  using batch = std::vector<sheet_row>;
  void produce();

  std::unique_ptr<row_cursor> source_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::pair<batch, std::size_t>> ready_;  // rows and how many are filled
  std::vector<batch> spare_;
  bool finished_ = false;
  bool stopping_ = false;
  std::exception_ptr error_;
  batch current_;
  std::size_t current_size_ = 0;
  std::size_t current_pos_ = 0;
  std::thread worker_;
};

}  // namespace jet
