// An .xlsx workbook: the package's structure (workbook part, relationships,
// worksheets in workbook order, defined names, the 1904 flag) read at open; the
// shared strings and styles on the first opened worksheet; worksheets streamed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dao/workbook.h"
#include "platform/dao/xlsx_shared_strings.h"
#include "platform/dao/xlsx_styles.h"
#include "platform/dao/xml_scan.h"
#include "platform/dao/zip_package.h"

namespace jet {

class xlsx_workbook : public workbook {
 public:
  explicit xlsx_workbook(zip_package package);

  const std::vector<std::string>& sheet_names() const override { return sheet_names_; }
  const std::vector<named_range>& named_ranges() const override { return named_ranges_; }
  std::unique_ptr<row_cursor> open_sheet(std::size_t index) const override;
  // The same through the XML reader named (expat to compare against).
  std::unique_ptr<row_cursor> open_sheet(std::size_t index, xml_scan::engine engine) const;
  // The same with segments of that many bytes read by that many helper threads.
  std::unique_ptr<row_cursor> open_sheet(std::size_t index, xml_scan::engine engine, std::size_t segment_bytes,
                                         unsigned helpers) const;
  bool date1904() const { return date1904_; }

 private:
  void load_shared_parts() const;

  zip_package package_;
  std::vector<std::string> sheet_names_;
  std::vector<std::string> sheet_parts_;
  std::vector<named_range> named_ranges_;
  std::string shared_strings_part_;
  std::string styles_part_;
  bool date1904_ = false;
  mutable bool shared_loaded_ = false;
  mutable xlsx_shared_strings shared_strings_;
  mutable xlsx_styles styles_;
};

}  // namespace jet
