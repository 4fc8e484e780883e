// One worksheet of an .xlsx package, streamed row by row: only the row being read
// is held. Cell types: shared string (s), formula string (str), inline string
// (inlineStr), boolean (b), error (e), ISO 8601 date or duration (d) and numbers,
// whose style decides whether they are dates or amounts of money.
#pragma once

#include <string>

#include "platform/dao/workbook.h"
#include "platform/dao/xlsx_shared_strings.h"
#include "platform/dao/xlsx_styles.h"
#include "platform/dao/xml_scan.h"

namespace jet {

class xlsx_sheet_cursor : public row_cursor, private xml_scan {
 public:
  xlsx_sheet_cursor(zip_package::part_stream part, const xlsx_shared_strings& strings, const xlsx_styles& styles,
                    bool date1904, xml_scan::engine engine = xml_scan::engine::automatic);
  // Reads the worksheet's XML from a feed (UTF-8).
  xlsx_sheet_cursor(xml_scan::feed& source, const xlsx_shared_strings& strings, const xlsx_styles& styles,
                    bool date1904);
  // False at the end, or when the feed paused the reader (paused()).
  bool next(sheet_row& row) override;

  // Where a reader stands between two tokens, all that decides how it reads on.
  struct position {
    xml_scan::scan_state scan;
    bool in_sheet_data = false, in_row = false, in_cell = false, in_value = false, in_inline = false,
         in_text = false;
    int phonetic = 0;
    long long last_row = -1;
    bool operator==(const position&) const = default;
  };
  using xml_scan::paused;
  position where() const;
  void move_to(const position& at);

 private:
  enum class value_type { number, shared, str, inline_str, boolean, error, date };

  void on_start(std::string_view name, const char** attributes) override;
  void on_end(std::string_view name) override;
  void on_text(std::string_view text) override;
  void finish_cell();

  const xlsx_shared_strings& strings_;
  const xlsx_styles& styles_;
  bool date1904_;
  sheet_row* row_ = nullptr;
  bool in_sheet_data_ = false;
  bool in_row_ = false;
  bool in_cell_ = false;
  bool in_value_ = false;
  bool in_inline_ = false;
  bool in_text_ = false;
  int phonetic_ = 0;
  long long last_row_ = -1;

  long long last_col_ = -1;
  std::uint32_t col_ = 0;
  std::size_t style_ = 0;
  value_type type_ = value_type::number;
  std::string value_;
};

}  // namespace jet
