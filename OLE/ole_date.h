// A date, a time of day, or both, read from the many text forms that cells and
// CSV fields carry and printed in one fixed form:
//   date and time "2004-05-06 12:34:56", date "2004-05-06", time "0000-00-00 12:34:56".
#pragma once

#include <string>
#include <string_view>

#include "platform/oleaut/oleaut.h"

class ole_date {
 public:
  // What the value is; the numbers are also the date classes of type refinement.
  enum kind_t { invalid = 0, date_time = 1, date_only = 2, time_only = 3 };

  // Kind date_time, then refined by its parts.
  explicit ole_date(const SYSTEMTIME& parts);
  // A VT_DATE value's parts (kind refined by them); VT_EMPTY / VT_NULL or a
  // date that does not convert give an empty date; any other type is an
  // internal error.
  explicit ole_date(const VARIANT& value);
  // Parses the text; a text that is no date or time leaves the kind invalid.
  explicit ole_date(const std::string& text);
  // The text in the calling thread's ANSI code page, then as the narrow form.
  explicit ole_date(const std::wstring& text);

  // A real calendar date (month 1-12, a day the month has, year 100-9999) and a
  // real time of day (hour 0-23, minute and second 0-59); year, month and day
  // all 0 are a time alone.
  bool is_valid() const;
  // Year, month and day all 0: a time alone; otherwise a time of 00:00:00 with
  // a full date: a date alone.
  void refine_type();
  // Reads the seconds text ("59", "59.6"): the second and its milliseconds,
  // rounded to the nearest second with the carry into the minute, hour and day.
  // False (nothing changed) when the text is not a number of seconds below 60.
  bool process_milliseconds(const char* seconds);
  // The format search; true when a form was accepted.
  bool import_from_string(const std::string& text);

  std::string to_string() const;
  // A VT_DATE value built from the date's parts.
  class ole_variant to_variant() const;
  std::wstring to_wstring() const;

  kind_t get_kind() const { return kind_; }
  const SYSTEMTIME& get_systemtime() const { return parts_; }

 private:
  void clear();
  // Reads the text to_string makes of a real date; false (nothing changed) for
  // any other text.
  bool read_canonical(std::string_view text);
  // A day-month-year text read as year-month-day: a day above 31 with a year
  // below 32 is the year.
  void swap_day_and_year();
  // The plain validity test, accepting a day and year that swap_day_and_year
  // will still exchange.
  bool is_acceptable() const;
  void add_day();
  // The hour of a twelve-hour clock text as a day's hour (1 PM is 13, 12 AM
  // is 0), applied to the hour as written, before its seconds are rounded.
  void apply_meridiem();

  // The clock marker of the text being parsed: none, AM or PM.
  enum meridiem_t { no_meridiem, ante_meridiem, post_meridiem };

  bool date_alone_allowed_ = true;
  meridiem_t meridiem_ = no_meridiem;
  kind_t kind_ = invalid;
  SYSTEMTIME parts_{};
};
