// A workbook as the engine sees it: worksheets in workbook order, the named ranges,
// and each worksheet's cells streamed row by row. The .xlsx and .xls readers
// implement it; open_workbook picks one by the file's content.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace jet {

enum class cell_kind : std::uint8_t { empty, number, date, text, boolean, error };

// One cell. A number carries whether its format is a currency format; a date is
// already an OLE date (days since 1899-12-30, the time as the fraction).
struct cell {
  cell_kind kind = cell_kind::empty;
  bool currency = false;
  bool boolean = false;
  double number = 0;  // number or OLE date
  std::string text;   // UTF-8
};

// A row of a worksheet: its 0-based index and its cells by 0-based column; a
// column beyond cells.size() is empty.
struct sheet_row {
  std::uint32_t index = 0;
  std::vector<cell> cells;
};

// Worksheets stream rows in increasing row order, skipping rows without cells.
class row_cursor {
 public:
  virtual ~row_cursor() = default;
  // Fills row with the next row that has cells; false at the end.
  virtual bool next(sheet_row& row) = 0;
};

// A rectangular area of one worksheet, 0-based and inclusive.
struct cell_area {
  std::uint32_t first_row = 0, last_row = 0;
  std::uint32_t first_col = 0, last_col = 0;
};

// A workbook-wide defined name that refers to one area of one worksheet.
struct named_range {
  std::string name;  // UTF-8
  std::size_t sheet = 0;
  cell_area area;
};

// Excel's limits; a reference beyond them is a damaged file.
constexpr std::uint32_t max_rows = 1048576;
constexpr std::uint32_t max_cols = 16384;

class workbook {
 public:
  virtual ~workbook() = default;
  // Worksheet names in workbook order (UTF-8).
  virtual const std::vector<std::string>& sheet_names() const = 0;
  virtual const std::vector<named_range>& named_ranges() const = 0;
  // Streams one worksheet's rows.
  virtual std::unique_ptr<row_cursor> open_sheet(std::size_t index) const = 0;
};

// Opens a workbook by its content (.xlsx package or BIFF .xls), reading only what
// listing its worksheets needs. Throws jet_error: 3024 no such file, 3161 encrypted
// or password-protected, 3274 not a workbook or damaged.
std::unique_ptr<workbook> open_workbook(const std::string& path);

// The same over a workbook held in memory (an .xlsx package only).
std::unique_ptr<workbook> open_xlsx_memory(std::string bytes);

}  // namespace jet
