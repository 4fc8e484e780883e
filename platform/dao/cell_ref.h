// A1-style cell references and area references of defined names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/dao/workbook.h"

namespace jet {

struct cell_pos {
  std::uint32_t row = 0, col = 0;  // 0-based
  bool has_row = false, has_col = false;
};

// "B12", "$B$12", "B" or "12" (whole column or row); nullopt when malformed or
// beyond Excel's limits.
std::optional<cell_pos> parse_cell_ref(std::string_view ref);

// The column part of "AB12" only (0-based), for cells of a row; nullopt when absent.
std::optional<std::uint32_t> parse_column_of(std::string_view ref);

// A defined name's formula when it is one area of one worksheet:
// "Sheet1!$A$1:$C$5", "'My Sheet'!A1", "Sheet1!$A:$C". Gives the sheet name
// (quotes undone) and the area.
struct area_ref {
  std::string sheet;
  cell_area area;
};
std::optional<area_ref> parse_area_ref(std::string_view formula);

}  // namespace jet
