// A BIFF (.xls) workbook read through libfreexl, which loads the cells of every
// worksheet when the file is opened (an .xls file holds at most 65536 rows).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dao/biff_boolerr.h"
#include "platform/dao/workbook.h"

namespace jet {

class xls_workbook : public workbook {
 public:
  // Opens the file; 3161 when it is password-protected, 3274 when freexl cannot read it.
  explicit xls_workbook(const std::string& path);

  const std::vector<std::string>& sheet_names() const override { return sheet_names_; }
  const std::vector<named_range>& named_ranges() const override { return named_ranges_; }
  std::unique_ptr<row_cursor> open_sheet(std::size_t index) const override;

 private:
  void read_boolerr(const std::string& path);

  std::shared_ptr<const void> handle_;
  std::vector<std::string> sheet_names_;
  std::vector<named_range> named_ranges_;  // freexl exposes none
  std::vector<std::shared_ptr<const boolerr_sheet>> boolerr_;  // by worksheet; null when it has none
};

}  // namespace jet
