// The boolean and error cells of a BIFF workbook stream. libfreexl hands both on
// as plain integers (TRUE as 1, #N/A as 42), so the .xls reader finds them itself
// in the records of each worksheet and puts them right.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace jet {

struct boolerr_cell {
  std::uint16_t row = 0, col = 0;
  bool error = false;        // an error cell (#N/A, #DIV/0!, ...)
  std::uint8_t value = 0;    // the boolean (0 or 1), or the error code
};

struct boolerr_sheet {
  std::uint8_t type = 0;             // 0 a worksheet; charts and macro sheets otherwise
  std::vector<boolerr_cell> cells;   // by row, then column
};

// One entry per sheet the workbook globals list, in their order; nothing when the
// stream is encrypted or its records cannot be followed. Reads each record once
// at most a few times over, whatever the offsets in the stream claim.
std::vector<boolerr_sheet> read_boolerr_cells(std::string_view stream);

}  // namespace jet
