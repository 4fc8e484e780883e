#include "platform/dao/page_block.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

namespace jet {

namespace {
constexpr std::size_t huge_page = std::size_t{2} << 20;
}  // namespace

page_block::page_block(std::size_t size) {
  if (size == 0) return;
  if (size < huge_page) {
    data_ = new char[size];
    size_ = size;
    return;
  }
  // A large block starts on a huge-page boundary: room to find one is mapped too,
  // and what lies before and after it given back.
  std::size_t rounded = (size + huge_page - 1) / huge_page * huge_page;
  std::size_t length = rounded + huge_page;
  void* map = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) throw std::bad_alloc();
  auto* begin = static_cast<char*>(map);
  auto address = reinterpret_cast<std::uintptr_t>(begin);
  std::size_t lead = (huge_page - address % huge_page) % huge_page;
  if (lead) ::munmap(begin, lead);
  std::size_t tail = length - lead - rounded;
  if (tail) ::munmap(begin + lead + rounded, tail);
  begin += lead;
  ::madvise(begin, rounded, MADV_HUGEPAGE);  // a hint: without huge pages the block still serves
  data_ = begin;
  size_ = rounded;
  mapped_ = true;
}

std::size_t page_block::next_size(const page_block* last, std::size_t needed) {
  constexpr std::size_t first = std::size_t{64} << 10;
  std::size_t size = last ? std::min(huge_page, 2 * last->size()) : first;
  return std::max(size, needed);
}

page_block::page_block(page_block&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

page_block& page_block::operator=(page_block&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, false);
  }
  return *this;
}

page_block::~page_block() { release(); }

void page_block::release() {
  if (mapped_) ::munmap(data_, size_);
  else delete[] data_;
  data_ = nullptr;
  size_ = 0;
  mapped_ = false;
}

}  // namespace jet
