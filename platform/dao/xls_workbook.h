// A BIFF (.xls) workbook: Excel 97 and later (BIFF8, stream "Workbook") and
// Excel 5 and 95 (BIFF5/BIFF7, stream "Book"). The workbook stream is read
// whole at open with its globals (code page, date system, formats and styles,
// sheets, defined names); the shared strings when the first worksheet is opened,
// and a worksheet's cells when it is opened.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dao/biff_sheet.h"
#include "platform/dao/workbook.h"

namespace jet {

class xls_workbook : public workbook {
 public:
  // Opens the compound file at path; 3161 when the workbook is encrypted or
  // password-protected, 3274 when it is damaged or of a version before Excel 5.
  explicit xls_workbook(const std::string& path);
  // The same over a workbook stream; book_stream when it is named "Book" (Excel 5).
  xls_workbook(std::string stream, bool book_stream);

  const std::vector<std::string>& sheet_names() const override { return sheet_names_; }
  const std::vector<named_range>& named_ranges() const override { return named_ranges_; }
  std::unique_ptr<row_cursor> open_sheet(std::size_t index) const override;
  bool date1904() const { return book_->date1904; }

 private:
  struct extent {
    std::size_t offset = 0, end = 0;
  };

  // stream: bytes that owner keeps.
  void load(std::string_view stream, std::shared_ptr<const void> owner, bool book_stream);

  std::shared_ptr<biff_book> book_;
  // The shared strings are read when the first worksheet is opened: listing the
  // worksheets does not need them.
  std::size_t sst_offset_ = std::string::npos;
  mutable std::once_flag strings_read_;
  std::vector<std::string> sheet_names_;
  std::vector<extent> extents_;
  std::vector<named_range> named_ranges_;
};

}  // namespace jet
