// One worksheet of a BIFF workbook: its cell records read into a compact list
// (an .xls worksheet holds at most 65536 rows by 256 columns, and the stream is
// in memory already), then streamed row by row. Numbers take their style's class
// (date, time, currency), formulas their cached results, text the shared
// strings or the cell's own string.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dao/biff_formats.h"
#include "platform/dao/biff_strings.h"
#include "platform/dao/workbook.h"

namespace jet {

// What the worksheets of a workbook need from its globals.
struct biff_book {
  std::string_view stream;
  std::shared_ptr<const void> stream_owner;  // holds the bytes stream views
  bool date1904 = false;
  std::unique_ptr<codepage_decoder> codepage;
  biff_text text;
  biff_shared_strings strings;
  biff_formats formats;
};

class biff_sheet_cursor : public row_cursor {
 public:
  // Reads the records of the worksheet substream from offset up to end.
  biff_sheet_cursor(std::shared_ptr<const biff_book> book, std::size_t offset, std::size_t end);
  bool next(sheet_row& row) override;

 private:
  struct stored_cell {
    std::uint16_t row = 0, col = 0;
    std::uint16_t style = 0;
    std::uint8_t kind = 0;  // a stored_kind
    std::uint8_t code = 0;  // the boolean or the error code
    std::uint32_t index = 0;  // shared string or own text
    double number = 0;
  };

  void read(std::size_t offset, std::size_t end);
  void add(std::uint16_t row, std::uint16_t col, std::uint16_t style, std::uint8_t kind, double number = 0,
           std::uint32_t index = 0, std::uint8_t code = 0);
  void fill(const stored_cell& stored, sheet_row& row) const;

  std::shared_ptr<const biff_book> book_;
  std::vector<stored_cell> cells_;
  std::vector<std::string> texts_;
  std::size_t next_ = 0;
};

// The text Excel shows for a BIFF error code (#N/A for 0x2A, ...).
const char* biff_error_text(std::uint8_t code);

}  // namespace jet
