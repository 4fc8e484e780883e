// The defined names of a BIFF workbook (NAME records, with EXTERNSHEET and
// SUPBOOK to find the worksheet a reference points into): the workbook-wide
// names that refer to one area of one worksheet become named ranges. Hidden,
// built-in, macro and sheet-local names are passed over, as are names over
// other workbooks, several areas or formulas.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dao/biff_records.h"
#include "platform/dao/biff_strings.h"
#include "platform/dao/workbook.h"

namespace jet {

class biff_names {
 public:
  void add_name(biff_data data, const biff_text& text);
  void add_externsheet(biff_data data);  // Excel 97 and later
  void add_supbook(std::string_view data);

  // The named ranges; worksheet_of holds, for each sheet of the workbook (in
  // BOUNDSHEET order), its index among the worksheets, or -1.
  std::vector<named_range> resolve(const std::vector<long>& worksheet_of, bool biff8) const;

 private:
  struct name_entry {
    std::string name;
    std::string formula;
  };
  struct xti {
    std::uint16_t supbook;
    std::int16_t first, last;
  };
  std::vector<name_entry> names_;
  std::vector<xti> xtis_;
  std::vector<bool> supbook_internal_;
};

}  // namespace jet
