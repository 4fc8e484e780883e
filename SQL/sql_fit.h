// How a table fits the limits of a MySQL server.
//
// Every table's row is at most 65,535 bytes, counting a VARCHAR(255) column of
// utf8mb4 as 1,022 bytes and a TEXT column as a few (its value is kept apart), so
// about 64 such text columns fill it. The table file holds the column names in
// 64 KB, and a table has at most 4,096 columns. InnoDB also keeps every record
// within half of a 16 KB page, and how much of a long value (a VARCHAR or TEXT
// value of more than 255 bytes) stays in the record depends on the row format the
// table gets: the server's innodb_default_row_format, or where the server has no
// such setting the default of its version. With DYNAMIC rows (the default from
// MySQL 5.7.9 and MariaDB 10.2.2) a long value leaves a 20-byte pointer behind,
// but a value of up to 40 bytes stays in the record, so about 196 text columns
// fill it; with COMPACT rows (the default before) and REDUNDANT ones a long value
// keeps a 768-byte prefix and the pointer in the record, so about 10 do. The
// count of a record is its largest size: with COMPACT and REDUNDANT rows it is
// what InnoDB checks at CREATE TABLE when innodb_strict_mode is on; with DYNAMIC
// ones InnoDB checks less and refuses the row that does not fit when it comes.
// MyISAM has no record limit of its own.
//
// A new table whose row is too large gets TEXT columns (in the same character
// set) in place of VARCHAR ones until it fits; a table whose rows InnoDB cannot
// hold, wide or not, is created MyISAM. One that fits keeps its definition; one
// that cannot be made to fit is refused with an error that names it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "OLE/ole_var.h"

class udb_schema;
struct t_ftd;

class sql_table_fit {
public:
  static constexpr std::size_t max_row_bytes = 65535;
  static constexpr std::size_t max_definition_bytes = 65535;
  static constexpr std::size_t max_columns = 4096;
  static constexpr std::size_t max_innodb_record_bytes = 8125;
  static constexpr std::size_t max_innodb_columns = 1000;

  // How InnoDB keeps the records of a table.
  enum class innodb_rows { dynamic, compact, redundant };

  // The limits of a server of the version word (the one connected to, or the
  // one a dump file is written for) whose InnoDB gives a new table the row format
  // named as innodb_default_row_format names it ("dynamic", "compact",
  // "redundant", in any case); empty or unknown: the default of the version.
  explicit sql_table_fit(unsigned server_version, std::string_view row_format = {});
  // The limits of the server the engine singleton speaks to (or writes a dump
  // for), with the row format it gives new tables.
  sql_table_fit();

  // Bytes of the table's row in the server's row-size check. A column of the
  // TEXT family counts as LONGTEXT, which widening may make it.
  std::size_t row_bytes(const udb_schema& schema) const;
  // Bytes of the largest record InnoDB may have to keep in a page for the table.
  std::size_t innodb_record_bytes(const udb_schema& schema) const;
  // Bytes of the table file's part that holds the columns and their names.
  std::size_t definition_bytes(const udb_schema& schema) const;

  // The server creates the table (as MyISAM at least).
  bool is_taken(const udb_schema& schema) const;
  // InnoDB stores every row the table can have.
  bool innodb_holds(const udb_schema& schema) const;

  // Whether the table stays one the server takes when the column at index
  // becomes after: its row still fits, and where InnoDB held every row of the
  // table, InnoDB still does.
  bool keeps_fit(const udb_schema& schema, std::size_t index, const t_ftd& after) const;

  // Makes a new table's columns fit: when its row is too large, text columns of
  // VARCHAR type become TEXT (size 65535), columns outside any index first, the
  // last ones first, until the row fits. True when a column was changed. A
  // table that cannot fit raises sql_exception with a message naming it.
  // indexed: per column of the schema, whether an index uses it (may be empty).
  bool fit(const std::wstring& table, udb_schema& schema, const std::vector<bool>& indexed) const;

  unsigned bytes_per_char() const { return m_bytes_per_char; }
  innodb_rows rows() const { return m_rows; }
  bool dynamic_rows() const { return m_rows == innodb_rows::dynamic; }

private:
  std::size_t column_row_bytes(const t_ftd& column) const;
  std::size_t column_record_bytes(const t_ftd& column) const;
  std::size_t decimal_bytes(int precision, int scale) const;

  unsigned m_bytes_per_char;  // of text columns: utf8mb4 4, utf8 3, before 4.1 1
  innodb_rows m_rows;         // the row format of a new InnoDB table
  bool m_name_screens;        // the table file keeps the names a second time
  bool m_short_datetime;      // DATETIME takes 5 bytes (else 8)
  bool m_packed_decimal;      // DECIMAL is packed (else one byte a digit)
};

// The declared size of a text column of a type: VARCHAR(n) has n (1 to 255),
// TEXT 65535, MEDIUMTEXT 0xFFFFFF and LONGTEXT 0, as get_native_type reads them.
namespace sql_text_size {
constexpr int text = 65535;
constexpr int mediumtext = 0xFFFFFF;
constexpr int longtext = 0;
}  // namespace sql_text_size
