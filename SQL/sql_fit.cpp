#include "SQL/sql_fit.h"

#include <algorithm>
#include <cctype>

#include "SQL/sql_engi.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_sche.h"

namespace {

// Version words past which the servers behave differently. A version of 10 or
// more is a MariaDB server.
constexpr unsigned mariadb_10_0_0 = 0xA0000;
constexpr unsigned mariadb_10_1_2 = 0xA0102;  // DATETIME of 5 bytes
constexpr unsigned mariadb_10_2_0 = 0xA0200;  // table files without name screens
constexpr unsigned mariadb_10_2_2 = 0xA0202;  // DYNAMIC rows by default
constexpr unsigned mysql_5_0_3 = 0x50003;     // packed DECIMAL
constexpr unsigned mysql_5_6_4 = 0x50604;     // DATETIME of 5 bytes
constexpr unsigned mysql_5_7_9 = 0x50709;     // DYNAMIC rows by default
constexpr unsigned mysql_8_0_0 = 0x80000;     // no table files

bool is_mysql_from(unsigned version, unsigned from) { return version >= from && version < mariadb_10_0_0; }

// A record of InnoDB holds the hidden row id, transaction id and roll pointer
// (the tables have no primary key of their own to stand for the row id). COMPACT
// and DYNAMIC records have a 5-byte header and the null bits; REDUNDANT ones a
// 6-byte header and the end offset of every column, the hidden ones included.
constexpr std::size_t hidden_column_bytes = 6 + 6 + 7;
constexpr std::size_t compact_header = 5;
constexpr std::size_t redundant_offset = 2;
constexpr std::size_t redundant_header = 6 + 3 * redundant_offset;
// A long value that DYNAMIC rows keep in the record: up to 40 bytes, and its length.
constexpr std::size_t dynamic_long_value = 40 + 1;
// A long value that COMPACT and REDUNDANT rows keep in the record: its 768-byte
// prefix, the 20-byte pointer to the rest and its length.
constexpr std::size_t compact_long_value = 768 + 20 + 2;

// The table file: a fixed part, and per column its field entry, its name and a
// separator; older table files also keep every name on a screen of 19 columns.
constexpr std::size_t definition_overhead = 288;
constexpr std::size_t definition_per_column = 17 + 1;
constexpr std::size_t screen_per_column = 8;
constexpr std::size_t screen_columns = 19;
constexpr std::size_t screen_overhead = 48;

bool is_varchar(const t_ftd& column) {
  return column.vartype == VT_BSTR && column.size >= 1 && column.size <= 255;
}

bool is_nullable(const t_ftd& column) { return !column.not_null && !column.auto_increment; }

// The bits of the nullable columns, and one the server may keep beside them.
std::size_t null_bytes(const udb_schema& schema) {
  std::size_t bits = 1;
  for (const t_ftd* column : schema)
    if (is_nullable(*column)) ++bits;
  return (bits + 7) / 8;
}

std::size_t blob_bytes(int size) {
  if (size >= 1 && size <= 255) return 1 + 8;
  if (size >= 256 && size <= 65535) return 2 + 8;
  if (size > 65535 && size <= 0xFFFFFF) return 3 + 8;
  return 4 + 8;
}

std::string narrow(const std::wstring& text) { return tk_to_ansi(text); }

// The row format named as innodb_default_row_format names it; without a known
// name, the default of the version.
sql_table_fit::innodb_rows rows_of(unsigned v, std::string_view name) {
  using rows = sql_table_fit::innodb_rows;
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "dynamic") return rows::dynamic;
  if (lower == "compact") return rows::compact;
  if (lower == "redundant") return rows::redundant;
  return is_mysql_from(v, mysql_5_7_9) || v >= mariadb_10_2_2 ? rows::dynamic : rows::compact;
}

}  // namespace

sql_table_fit::sql_table_fit(unsigned v, std::string_view row_format)
    : m_bytes_per_char(v >= sql_version::v5_5_3 ? 4 : v >= sql_version::v4_1_0 ? 3 : 1),
      m_rows(rows_of(v, row_format)),
      m_name_screens(v < mysql_8_0_0 || (v >= mariadb_10_0_0 && v < mariadb_10_2_0)),
      m_short_datetime(is_mysql_from(v, mysql_5_6_4) || v >= mariadb_10_1_2),
      m_packed_decimal(v >= mysql_5_0_3) {}

sql_table_fit::sql_table_fit()
    : sql_table_fit(sql_engine::instance().server_version(), sql_engine::instance().default_row_format()) {}

std::size_t sql_table_fit::decimal_bytes(int precision, int scale) const {
  if (!m_packed_decimal) return static_cast<std::size_t>(precision) + 2;
  static const std::size_t digit_bytes[] = {0, 1, 1, 2, 2, 3, 3, 4, 4, 4};
  auto part = [](int digits) { return static_cast<std::size_t>(digits / 9) * 4 + digit_bytes[digits % 9]; };
  return part(precision > scale ? precision - scale : 0) + part(scale);
}

std::size_t sql_table_fit::column_row_bytes(const t_ftd& column) const {
  switch (column.vartype) {
    case VT_BSTR:
      if (is_varchar(column)) {
        const std::size_t bytes = static_cast<std::size_t>(column.size) * m_bytes_per_char;
        return bytes + (bytes > 255 ? 2 : 1);
      }
      return blob_bytes(sql_text_size::longtext);
    case VT_BLOB: return blob_bytes(column.size);
    case VT_I1:
    case VT_UI1:
    case VT_BOOL: return 1;
    case VT_I2:
    case VT_UI2: return 2;
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT:
    case VT_R4: return 4;
    case VT_R8:
    case VT_I8:
    case VT_UI8: return 8;
    case VT_CY: return decimal_bytes(19, 4);
    case VT_DECIMAL: {
      const int precision = (column.extra >> 8) & 0xFF, scale = column.extra & 0xFF;
      return precision == 0 ? 8 : decimal_bytes(precision, scale);
    }
    case VT_DATE:
      switch (column.extra) {
        case 0: return 19u * m_bytes_per_char;
        case 1: return m_short_datetime ? 5 : 8;
        default: return 3;
      }
    default: return blob_bytes(sql_text_size::longtext);
  }
}

std::size_t sql_table_fit::column_record_bytes(const t_ftd& column) const {
  const bool redundant = m_rows == innodb_rows::redundant;
  const std::size_t fixed_offset = redundant ? redundant_offset : 0;
  const std::size_t long_value = m_rows == innodb_rows::dynamic ? dynamic_long_value : compact_long_value;
  // A value of up to that many bytes, kept with its length.
  auto varying = [&](std::size_t bytes) {
    if (bytes > 255) return std::min(bytes + 2, long_value);
    return bytes + (redundant ? redundant_offset : 1);
  };
  switch (column.vartype) {
    case VT_BSTR:
      if (is_varchar(column)) return varying(static_cast<std::size_t>(column.size) * m_bytes_per_char);
      return long_value;
    case VT_BLOB: return column.size >= 1 && column.size <= 255 ? varying(255) : long_value;
    case VT_DATE:
      // A CHAR of a multi-byte character set is kept with its length.
      if (column.extra == 0 && m_bytes_per_char > 1) return varying(19u * m_bytes_per_char);
      return column_row_bytes(column) + fixed_offset;
    default: return column_row_bytes(column) + fixed_offset;
  }
}

std::size_t sql_table_fit::row_bytes(const udb_schema& schema) const {
  std::size_t bytes = null_bytes(schema);
  for (const t_ftd* column : schema) bytes += column_row_bytes(*column);
  return bytes;
}

std::size_t sql_table_fit::innodb_record_bytes(const udb_schema& schema) const {
  std::size_t bytes = hidden_column_bytes;
  bytes += m_rows == innodb_rows::redundant ? redundant_header : compact_header + null_bytes(schema);
  for (const t_ftd* column : schema) bytes += column_record_bytes(*column);
  return bytes;
}

std::size_t sql_table_fit::definition_bytes(const udb_schema& schema) const {
  std::size_t bytes = definition_overhead;
  for (const t_ftd* column : schema) {
    const std::size_t name = tk_to_utf8(column->name).size();
    bytes += definition_per_column + name;
    if (m_name_screens) bytes += name + screen_per_column;
  }
  if (m_name_screens) bytes += (schema.size() + screen_columns - 1) / screen_columns * screen_overhead;
  return bytes;
}

bool sql_table_fit::is_taken(const udb_schema& schema) const {
  return schema.size() <= max_columns && row_bytes(schema) <= max_row_bytes &&
         definition_bytes(schema) <= max_definition_bytes;
}

bool sql_table_fit::innodb_holds(const udb_schema& schema) const {
  return schema.size() <= max_innodb_columns && innodb_record_bytes(schema) <= max_innodb_record_bytes;
}

bool sql_table_fit::keeps_fit(const udb_schema& schema, std::size_t index, const t_ftd& after) const {
  const t_ftd& before = schema[index];
  const std::size_t row_before = column_row_bytes(before), row_after = column_row_bytes(after);
  const std::size_t record_before = column_record_bytes(before), record_after = column_record_bytes(after);
  if (row_after <= row_before && record_after <= record_before) return true;
  // The not-null flag stays, so the null bits do too.
  if (row_bytes(schema) - row_before + row_after > max_row_bytes) return false;
  const std::size_t record = innodb_record_bytes(schema);
  return record > max_innodb_record_bytes || schema.size() > max_innodb_columns ||
         record - record_before + record_after <= max_innodb_record_bytes;
}

bool sql_table_fit::fit(const std::wstring& table, udb_schema& schema, const std::vector<bool>& indexed) const {
  tk_wtrace(2, L"sql_table_fit::fit(%s)", table.c_str());
  const std::string name = narrow(table);
  const std::string columns = std::to_string(schema.size());
  if (schema.size() > max_columns || definition_bytes(schema) > max_definition_bytes) {
    tk_trace(2, "Too many columns: %d, definition of %d bytes", static_cast<int>(schema.size()),
             static_cast<int>(definition_bytes(schema)));
    throw sql_exception("Table '" + name + "' has " + columns +
                            " columns: more than a MySQL table can have (at most 4096, fewer with "
                            "long column names).",
                        1117);
  }
  std::size_t bytes = row_bytes(schema);
  if (bytes <= max_row_bytes) return false;
  tk_trace(2, "Row of %d bytes: text columns become TEXT", static_cast<int>(bytes));

  // Columns outside the indexes first, so that the indexes stay; the last first.
  std::vector<std::size_t> order;
  for (bool in_index : {false, true})
    for (std::size_t i = schema.size(); i-- > 0;)
      if (is_varchar(schema[i]) && (i < indexed.size() && indexed[i]) == in_index) order.push_back(i);
  for (std::size_t i : order) {
    t_ftd& column = schema[i];
    bytes -= column_row_bytes(column);
    column.size = sql_text_size::text;
    bytes += column_row_bytes(column);
    tk_wtrace(1, L"Column '%s' becomes TEXT", column.name.c_str());
    if (bytes <= max_row_bytes) return true;
  }
  tk_trace(2, "Row of %d bytes with every text column as TEXT", static_cast<int>(bytes));
  throw sql_exception("Table '" + name + "' has " + columns +
                          " columns: more than a MySQL table can have (its row would need " +
                          std::to_string(bytes) + " bytes even with every text column as TEXT, " +
                          "and a row holds at most 65535).",
                      1118);
}
