// Widens a text column of a CSV conversion into the MySQL server or dump file
// when a value arrives that its declared type cannot hold: to TEXT, MEDIUMTEXT
// or LONGTEXT, the narrowest that holds the value's bytes, and again when a
// later value needs more. A column is never narrowed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/csv_util.h"

class sql_field_upsizer : public csv_field_upsizer {
public:
  sql_field_upsizer(udb_database* db, udb_recordset* dest);

  // The statement for a column of a table: "ALTER TABLE t CHANGE c c TYPE", names
  // quoted, keeping the character set that CREATE TABLE gave the column.
  static std::wstring statement(const std::wstring& table, const std::wstring& column,
                                const std::wstring& type = L"TEXT");
  // The bytes of a text in the column's character set (UTF-8, which the
  // connection and dump files use).
  static std::size_t text_bytes(std::wstring_view text);
  // The declared size of the narrowest long text type that holds that many
  // bytes and is no narrower than the column's declared size (see
  // SQL/sql_fit.h): TEXT, MEDIUMTEXT or LONGTEXT.
  static int wider_size(int declared, std::size_t bytes);
  // Whether a column of the declared size holds a text of that many characters
  // and bytes: a VARCHAR 255 characters (bytes before 4.1), TEXT 65,535 bytes,
  // MEDIUMTEXT 16,777,215. A column of another type is taken as a VARCHAR.
  static bool holds_text(const t_ftd& column, std::size_t chars, std::size_t bytes, bool chars_are_bytes);

protected:
  bool holds(const t_ftd& column, std::wstring_view value) const override;
  // Failures reach the caller's record guard.
  void do_upsize(t_ftd& column, std::wstring_view value) override;
};
