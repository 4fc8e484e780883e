// Widens a text column of a CSV conversion into the MySQL server or dump file
// to TEXT as soon as a value longer than 255 characters arrives.
#pragma once

#include <string>

#include "common/csv_util.h"

class sql_field_upsizer : public csv_field_upsizer {
public:
  sql_field_upsizer(udb_database* db, udb_recordset* dest);

  // The statement for a column of a table: "ALTER TABLE t CHANGE c c TEXT",
  // names quoted, keeping the character set that CREATE TABLE gave the column.
  static std::wstring statement(const std::wstring& table, const std::wstring& column);

protected:
  // Failures reach the caller's record guard.
  void do_upsize(t_ftd& column) override;
};
