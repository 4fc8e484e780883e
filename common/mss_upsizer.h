// Widens a text column of a CSV conversion into SQL Server to the long type of
// its kind (nvarchar(max) for nchar and nvarchar, varchar(max) for char and
// varchar; ntext and text on servers without max types) as soon as a value of
// more than 255 characters arrives that the column cannot hold (n counts
// UTF-16 units); a shorter value that does not fit an existing table's
// narrower column costs its record (the server's truncation error). The
// column keeps its collation and its nullability. A column of another type,
// or one that holds long text already, is left as it is. A column that a key
// or an index uses cannot take a long type: the records whose value does not
// fit fail with one reason, and its ALTER is never sent. An open bulk load of
// the table is ended first and starts again with the new column at the next
// record: a load keeps the column list it began with, and the ALTER would wait
// on the load's locks. An ALTER that the server refuses (a DEFAULT or CHECK
// constraint that allows no change of the type, another session's lock) ends
// the table (mss_table::end_column_change).
#pragma once

#include <map>
#include <string>

#include "common/csv_util.h"

class mss_field_upsizer : public csv_field_upsizer {
public:
  mss_field_upsizer(udb_database* db, udb_recordset* dest);

  // "ALTER TABLE <table> ALTER COLUMN [<column>] <type>[ COLLATE <collation>]
  // NULL|NOT NULL", the column bracketed with ']' doubled; type: the column's
  // as the server names it ("varchar"; empty when not known: a Unicode one),
  // collation its own (empty: none given). Empty when the column is no text
  // column or already holds long text (a column is never narrowed).
  static std::wstring statement(const std::wstring& table, const t_ftd& column, const std::wstring& type,
                                const std::wstring& collation, bool has_max_types);

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
