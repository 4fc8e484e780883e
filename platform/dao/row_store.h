// The rows of a worksheet kept compactly in memory, up to a bound, so that the
// reading that types a table can hand its rows to the first reading of the
// records instead of the sheet being parsed a second time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/dao/page_block.h"
#include "platform/dao/workbook.h"

namespace jet {

class row_store {
 public:
  explicit row_store(std::size_t max_bytes) : max_bytes_(max_bytes) {}

  // Keeps a copy of the row; past the bound everything is dropped and later
  // rows are refused.
  void add(const sheet_row& row);
  // Every row of the sheet was added: the store stands for the whole sheet.
  void finish() { complete_ = !overflow_; }
  bool complete() const { return complete_; }
  std::size_t bytes() const { return bytes_; }

  // The rows again, as the sheet gave them, cell for cell.
  static std::unique_ptr<row_cursor> replay(std::shared_ptr<const row_store> store);

 private:
  friend class row_store_cursor;

  std::size_t max_bytes_;
  std::size_t bytes_ = 0;
  struct block {
    page_block memory;
    std::size_t used = 0;
  };
  std::vector<block> blocks_;
  std::string row_;  // the row being added
  bool overflow_ = false;
  bool complete_ = false;
};

}  // namespace jet
