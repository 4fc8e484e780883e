// Text and numbers read as dates and times, as SQL Server reads them: the
// session's date order (SET DATEFORMAT, SET LANGUAGE) for numeric dates,
// except the forms SQL Server reads alike in every order ('yyyymmdd',
// 'yyyy-mm-ddThh:mm:ss[.mmm]', and 'yyyy-mm-dd' for date, datetime2 and
// datetimeoffset); month names of the session's language; two-digit years by
// the two digit year cutoff (2049).
#pragma once

#include <cstdint>
#include <string_view>

#include "tests/support/tds_server/tds_types.h"

namespace tds {

struct moment {
  int64_t y = 1900;
  unsigned mo = 1, d = 1;
  int h = 0, mi = 0, s = 0;
  int64_t frac = 0;  // 100 ns units
  int tz = 0;        // minutes east of UTC
  bool has_date = false, has_time = false, has_tz = false;
  bool invalid = false;  // a date of the right form but no day of the calendar (2/30, month 13)
};

// Reads a text as a value of date/time type `to`; false when SQL Server
// cannot (its error 241).
bool parse_moment(std::string_view text, sql_type to, const conversion_context& cx, moment& m);

// The stored value of a moment; 242 when it is outside the type's range.
// `national` names the source type in that error (nvarchar or varchar).
cell date_cell(const moment& m, const column_type& to, bool national);

// A number (days since 1900-01-01, the fraction the time of day) as a
// datetime or smalldatetime; 8115 outside the type's range.
cell number_as_datetime(const value& number, const column_type& to);

}  // namespace tds
