// Workbook date serials and OLE dates (days since 1899-12-30, the time of day as
// the fraction), and their text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace jet {

// The range of OLE dates: 0100-01-01 up to (not including) 10000-01-01.
constexpr double min_ole_date = -657434;
constexpr double max_ole_date = 2958466;

// An Excel serial in the workbook's date system to an OLE date. The 1900 system
// counts the fictitious 1900-02-29 (serial 60); serials below 61 are one day off
// the OLE count. A serial below 1 is a time alone and stays on the zero date.
double serial_to_ole_date(double serial, bool date1904);

// "YYYY-MM-DD", "YYYY-MM-DDThh:mm:ss[.fff]", "YYYY-MM-DD hh:mm:ss" or "hh:mm:ss"
// (the forms of ISO 8601 cells and of the .xls reader) to an OLE date.
std::optional<double> parse_iso_date(std::string_view text);

// An ISO 8601 duration of days and time, "PTnHnMn.nnnS" or "PnDTnHnMnS" (any
// part may be left out; Strict Open XML files hold times so), as the serial
// number of days it amounts to; nothing for any other text.
std::optional<double> parse_iso_duration(std::string_view text);

struct civil_time {
  int year, month, day, hour, minute, second;
};
// Breaks an OLE date down, rounded to the second.
civil_time ole_date_parts(double date);
double ole_date_from_parts(const civil_time& parts);

// "YYYY-MM-DD", "YYYY-MM-DD hh:mm:ss", or "hh:mm:ss" for a time alone (zero date).
std::string ole_date_text(double date);

}  // namespace jet
