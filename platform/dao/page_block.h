// Memory for the buffers of the readers, filled once and read on. A large one is
// taken straight from the system, in huge pages where it offers them on request,
// so that filling many megabytes does not fault in every 4 kB page one by one; a
// small one comes from the heap.
#pragma once

#include <cstddef>

namespace jet {

class page_block {
 public:
  page_block() = default;
  // At least size bytes (std::bad_alloc when there is no memory).
  explicit page_block(std::size_t size);
  page_block(page_block&& other) noexcept;
  page_block& operator=(page_block&& other) noexcept;
  page_block(const page_block&) = delete;
  page_block& operator=(const page_block&) = delete;
  ~page_block();

  // The size of the next block of a store that grows block by block: a small
  // one first, each after twice the last, up to a huge page; never less than
  // needed. last: the store's last block, or null for its first.
  static std::size_t next_size(const page_block* last, std::size_t needed);

  char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  void release();
  char* data_ = nullptr;
  std::size_t size_ = 0;
  bool mapped_ = false;
};

}  // namespace jet
