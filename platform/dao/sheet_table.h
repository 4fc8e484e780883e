// A worksheet or named range as a table: the field names and types, decided from
// every row (not a sample) so that no value is ever cut or lost, and a cursor that
// streams its records.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dao/row_store.h"
#include "platform/dao/value.h"
#include "platform/dao/workbook.h"

namespace jet {

struct field_def {
  std::string name;  // UTF-8
  int type = 0;      // dao_type
  long size = 0;     // bytes of a fixed type, characters of Text; 0 for Memo
};

// Jet tables hold at most this many fields.
constexpr std::size_t max_fields = 255;

struct table_def {
  std::string name;  // the Jet table name
  std::size_t sheet = 0;
  cell_area area;    // the data rows (after any header row) and the columns
  bool empty = true; // no data rows at all
  std::vector<field_def> fields;
  std::uint32_t record_count = 0;
};

// Reads the sheet once and decides the fields: the area is the used range of a
// worksheet (from its first to its last non-empty row and column) or the named
// range's area; with a header row its first row names the fields. Column types:
// only numbers Double (Currency when every one is in a currency format and fits
// its four decimals); only dates Date; only booleans Boolean; anything else Text
// of 255 characters, or Memo when a value is longer. 3190 beyond 255 columns.
// With keep, the rows read are added to it, and it is finished when they were
// the whole sheet.
table_def scan_table(const workbook& book, const std::string& name, std::size_t sheet,
                     const cell_area* range, bool header_row, row_store* keep = nullptr);

// Streams the records of a scanned table; an empty row inside the area is a
// record of nulls. Values take their column's type: in a Text or Memo column
// every value is delivered as text.
class table_cursor {
 public:
  table_cursor(const workbook& book, const table_def& def);
  // The rows come from rows, the sheet's rows as the table's scan read them.
  table_cursor(const table_def& def, std::unique_ptr<row_cursor> rows);
  // Fills record with the next record; false at the end.
  bool next(std::vector<value>& record);
  std::uint32_t position() const { return produced_; }

 private:
  const table_def& def_;
  std::unique_ptr<row_cursor> rows_;
  sheet_row row_;
  bool have_row_ = false;
  bool rows_done_ = false;
  std::uint32_t produced_ = 0;
};

// One cell as a value of a field type.
void cell_to_value(const cell& c, int field_type, value& out);

// The length of UTF-8 text in UTF-16 code units, as DAO counts characters.
std::size_t utf16_length(std::string_view utf8);

}  // namespace jet
