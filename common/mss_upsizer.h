// Widens a text column of a CSV conversion into SQL Server to a Unicode long
// type (nvarchar(max), or ntext on servers without it) as soon as a value
// arrives that its nvarchar(n) cannot hold (n counts UTF-16 units). A column
// of another type, or one that holds long text already, is left as it is. An open bulk load of the table is ended
// first and starts again with the new column at the next record: a load keeps
// the column list it began with, and the ALTER would wait on the load's locks.
#pragma once

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
};
