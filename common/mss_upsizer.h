// Widens a text column of a CSV conversion into SQL Server to a Unicode long
// type (nvarchar(max), or ntext on servers without it) as soon as a value of
// more than 255 characters arrives that its nvarchar(n) cannot hold (n counts
// UTF-16 units); a shorter value that does not fit an existing table's
// narrower column costs its record (the server's truncation error). A column
// of another type, or one that holds long text already, is left as it is. A
// column that a key or an index uses cannot take a long type: the records
// whose value does not fit fail with one reason, and its ALTER is never sent.
// An open bulk load of the table is ended first and starts again with the new
// column at the next record: a load keeps the column list it began with, and
// the ALTER would wait on the load's locks. An ALTER that another session's
// lock holds up ends the table (mss_table::end_locked).
#pragma once

#include <map>
#include <string>

#include "common/csv_util.h"

class mss_field_upsizer : public csv_field_upsizer {
public:
  mss_field_upsizer(udb_database* db, udb_recordset* dest);

  // "ALTER TABLE <table> ALTER COLUMN [<column>] <type>[ NOT NULL]", the column
  // bracketed with ']' doubled; empty when the column is no text column or
  // already holds long text (a column is never narrowed).
  static std::wstring statement(const std::wstring& table, const t_ftd& column, bool has_max_types);

  // UTF-16 units of a text.
  static std::size_t utf16_units(std::wstring_view text);

protected:
  bool holds(const t_ftd& column, std::wstring_view value) const override;
  // Failures reach the caller's record guard.
  void do_upsize(t_ftd& column, std::wstring_view value) override;

private:
  // The reason of each column that cannot be widened, by its name.
  std::map<std::string, std::wstring> refused_;
};
