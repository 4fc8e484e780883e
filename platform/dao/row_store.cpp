#include "platform/dao/row_store.h"

#include <algorithm>
#include <cstring>

namespace jet {

namespace {

// The kind byte of a cell carries its flags above the kind.
constexpr std::uint8_t kind_mask = 0x0F, currency_flag = 0x10, boolean_flag = 0x20;

template <class T>
void put(std::string& out, const T& v) {
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

template <class T>
T get(const char*& p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  p += sizeof v;
  return v;
}

// What a cell of each kind carries; its other members are left as they were.
bool has_number(cell_kind kind) { return kind == cell_kind::number || kind == cell_kind::date; }
bool has_text(cell_kind kind) { return kind == cell_kind::text || kind == cell_kind::error; }

}  // namespace

// A row: its index and cell count; a cell: its kind and flags, then for a number
// or date its number, for a text or error its text.
// Rows are written whole into blocks (a larger row into a block of its own), so
// that keeping them never copies what was kept; a small sheet keeps little, a
// large one lies in huge pages.
void row_store::add(const sheet_row& row) {
  if (overflow_) return;
  row_.clear();
  put(row_, row.index);
  put(row_, static_cast<std::uint32_t>(row.cells.size()));
  for (const cell& c : row.cells) {
    if (c.kind == cell_kind::empty) {
      put(row_, static_cast<std::uint8_t>(c.kind));
      continue;
    }
    put(row_, static_cast<std::uint8_t>(static_cast<std::uint8_t>(c.kind) | (c.currency ? currency_flag : 0) |
                                        (c.boolean ? boolean_flag : 0)));
    if (has_number(c.kind)) put(row_, c.number);
    if (has_text(c.kind)) {
      put(row_, static_cast<std::uint32_t>(c.text.size()));
      row_ += c.text;
    }
  }
  bytes_ += row_.size();
  if (bytes_ > max_bytes_) {
    overflow_ = true;
    std::vector<block>().swap(blocks_);
    std::string().swap(row_);
    return;
  }
  if (blocks_.empty() || blocks_.back().used + row_.size() > blocks_.back().memory.size()) {
    const page_block* last = blocks_.empty() ? nullptr : &blocks_.back().memory;
    blocks_.push_back({page_block(page_block::next_size(last, row_.size())), 0});
  }
  block& last = blocks_.back();
  std::memcpy(last.memory.data() + last.used, row_.data(), row_.size());
  last.used += row_.size();
}

class row_store_cursor : public row_cursor {
 public:
  explicit row_store_cursor(std::shared_ptr<const row_store> store) : store_(std::move(store)) {}

  bool next(sheet_row& row) override {
    while (p_ == end_) {
      if (block_ == store_->blocks_.size()) return false;
      const auto& block = store_->blocks_[block_++];
      p_ = block.memory.data();
      end_ = p_ + block.used;
    }
    row.index = get<std::uint32_t>(p_);
    row.cells.resize(get<std::uint32_t>(p_));
    for (cell& c : row.cells) {
      const auto kind = get<std::uint8_t>(p_);
      c.kind = static_cast<cell_kind>(kind & kind_mask);
      if (c.kind == cell_kind::empty) continue;
      c.currency = kind & currency_flag;
      c.boolean = kind & boolean_flag;
      if (has_number(c.kind)) c.number = get<double>(p_);
      if (has_text(c.kind)) {
        const auto length = get<std::uint32_t>(p_);
        c.text.assign(p_, length);
        p_ += length;
      }
    }
    return true;
  }

 private:
  std::shared_ptr<const row_store> store_;
  std::size_t block_ = 0;
  const char* p_ = nullptr;
  const char* end_ = nullptr;
};

std::unique_ptr<row_cursor> row_store::replay(std::shared_ptr<const row_store> store) {
  return std::make_unique<row_store_cursor>(std::move(store));
}

}  // namespace jet
