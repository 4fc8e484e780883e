// Inflates a package part on a thread of its own, a few chunks ahead of its
// reader, so that inflating and parsing a worksheet overlap. Memory stays bounded:
// at most a few chunks wait.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/dao/zip_package.h"

namespace jet {

class part_prefetch {
 public:
  explicit part_prefetch(zip_package::part_stream part);
  part_prefetch(const part_prefetch&) = delete;
  part_prefetch& operator=(const part_prefetch&) = delete;
  ~part_prefetch();

  // As part_stream::read: up to size bytes, 0 at the end; the part's errors
  // arrive here, in order.
  std::size_t read(char* buffer, std::size_t size);

 private:
  void produce();

  zip_package::part_stream part_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::string> ready_;
  std::vector<std::string> spare_;
  bool finished_ = false;
  bool stopping_ = false;
  std::exception_ptr error_;
  std::string current_;
  std::size_t current_pos_ = 0;
  std::thread worker_;
};

}  // namespace jet
