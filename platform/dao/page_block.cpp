#include "platform/dao/page_block.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>
#include <utility>

namespace jet {

namespace {
constexpr std::size_t huge_page = std::size_t{2} << 20;
}  // namespace

page_block::page_block(std::size_t size) {
  if (size == 0) return;
  // A large block starts on a huge-page boundary: room to find one is mapped too,
  // and what lies before and after it given back.
  bool huge = size >= huge_page;
  std::size_t rounded = huge ? (size + huge_page - 1) / huge_page * huge_page : size;
  std::size_t length = huge ? rounded + huge_page : rounded;
  void* map = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map == MAP_FAILED) throw std::bad_alloc();
  auto* begin = static_cast<char*>(map);
  if (huge) {
    auto address = reinterpret_cast<std::uintptr_t>(begin);
    std::size_t lead = (huge_page - address % huge_page) % huge_page;
    if (lead) ::munmap(begin, lead);
    std::size_t tail = length - lead - rounded;
    if (tail) ::munmap(begin + lead + rounded, tail);
    begin += lead;
    ::madvise(begin, rounded, MADV_HUGEPAGE);  // a hint: without huge pages the block still serves
  }
  data_ = begin;
  size_ = rounded;
}

page_block::page_block(page_block&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

page_block& page_block::operator=(page_block&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

page_block::~page_block() { release(); }

void page_block::release() {
  if (data_) ::munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
}

}  // namespace jet
