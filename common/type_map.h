// Column statistics for type refinement.
//
// While the records of a table are copied, num_map and dates_map watch the text
// of every value of every column. num_map finds the narrowest numeric type that
// holds every value seen (INT, BIGINT, DOUBLE, else text); dates_map finds
// whether every value is a date with time, a date or a time. Afterwards the
// destination changes each column whose observed class differs from its source
// class.
//
// Only text that the server reads back as the same value counts: a column is
// refined only when converting its stored text loses nothing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/oleaut/oleaut.h"

class udb_schema;
class udb_record;

// One tracked column.
struct type_map_entry {
  int field_index = 0;
  std::wstring field_name;
  int state = 0;         // observed class
  int source_class = 0;  // class of the column's type in the source schema
  bool seen = false;     // a non-empty value has been classified
  bool empty_seen = false;  // an empty text (not a null) was stored in the column
  bool null_seen = false;   // a null (or no value at all) was stored in the column
  bool wide_integer = false;  // an integer that a DOUBLE would not hold exactly
};

// A column as the maps see it: name, VARTYPE and extra (for VT_DATE the date
// kind the column was created with) of the source schema.
struct type_map_column {
  std::wstring name;
  VARTYPE vartype = VT_EMPTY;
  int extra = 0;
};

class types_map {
 public:
  explicit types_map(std::wstring table_name);

  const std::wstring& get_table_name() const { return table_name_; }
  std::size_t size() const { return entries_.size(); }
  // The entry at a position; outside the map: tk_mail_assertion.
  type_map_entry& get_entry(std::size_t pos);
  const type_map_entry& get_entry(std::size_t pos) const;

 protected:
  // The column list of a schema.
  static std::vector<type_map_column> columns_of(const udb_schema& schema);
  // Feeds the text of each tracked column of a record to classify().
  // Feeds the narrow text of each tracked column of a record to add(pos, text,
  // is_null); a column that the record lacks counts as a null.
  template <class Add>
  void for_each_value(const udb_record& record, Add&& add);

  std::wstring table_name_;
  std::vector<type_map_entry> entries_;
};

// Numeric classes: 0 VARCHAR, 1 DOUBLE, 2 BIGINT, 3 INT.
class num_map : public types_map {
 public:
  enum { k_varchar = 0, k_double = 1, k_bigint = 2, k_int = 3 };

  num_map(std::wstring table_name, const udb_schema& schema);
  num_map(std::wstring table_name, const std::vector<type_map_column>& columns);

  void add_rec_stat(const udb_record& record);
  // Classifies one value of the entry at a position; an empty text changes
  // nothing. is_null tells a missing value from an empty text.
  void add_value(std::size_t pos, std::string_view text, bool is_null = false);

  // A decimal number that a DOUBLE column holds and prints back as the same
  // number: optional sign, digits with an optional point and fraction, an
  // optional exponent; no leading zero before another digit; finite; at most 15
  // significant digits unless it is an integer of at most 2^53.
  static bool is_double(std::string_view text);
  // An integer printed exactly as a BIGINT prints it, outside the INT range.
  static bool is_i8(std::string_view text);
  // An integer printed exactly as an INT prints it.
  static bool is_int(std::string_view text);

  // The class of a value of a numeric column (any printed form of a number).
  static int number_class(std::string_view text);

  static int source_class_of(VARTYPE vt);
  static const wchar_t* type_text(int state);
};

// Feeds one record to both maps (dates first), reading each value's text once.
void add_rec_stat(const udb_record& record, class dates_map& dates, num_map& numbers);

// Date classes: 0 CHAR(19) (not a date), 1 DATETIME, 2 DATE, 3 TIME.
class dates_map : public types_map {
 public:
  enum { k_char = 0, k_datetime = 1, k_date = 2, k_time = 3 };

  dates_map(std::wstring table_name, const udb_schema& schema, bool date_fields_only);
  dates_map(std::wstring table_name, const std::vector<type_map_column>& columns, bool date_fields_only);

  void add_rec_stat(const udb_record& record);
  void add_value(std::size_t pos, std::string_view text, bool is_null = false);

  // The kind of a text that the server reads as the same date or time:
  // "YYYY-MM-DD", "YYYY-MM-DD hh:mm:ss", "YYYYMMDD", "YYYYMMDDhhmmss", "hh:mm:ss"
  // and "0000-00-00 hh:mm:ss" (how a time value prints), with a valid calendar
  // date (years 1000 to 9999) and time of day.
  // 1 date with time, 2 date (or a date with time 00:00:00), 3 time, 0 anything else.
  static int date_kind(std::string_view text);

  // The class of the column as created: a VT_DATE column by its date kind (0
  // is created as CHAR(19)), anything else CHAR(19).
  static int source_class_of(VARTYPE vt, int extra);
  static const wchar_t* type_text(int state);
};
