// Column types of the test server and the values it stores.
//
// A stored value (`cell`) holds the bytes of the value as they travel in a row
// on the wire, without the length prefix: integers and floats little-endian,
// money as two 32-bit halves (high first), datetime as days since 1900-01-01
// and 1/300-second ticks, decimal as a sign byte (1 = positive) and the
// magnitude, nchar/nvarchar/ntext as UTF-16LE, char/varchar/text in the
// code page of the column's collation, uniqueidentifier in its wire byte
// order. So what a client sent is kept byte for byte, and the inspection API
// can hand it back exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tests/support/tds_server/tds_collation.h"
#include "tests/support/tds_server/tds_languages.h"
#include "tests/support/tds_server/tds_wire.h"

namespace tds {

enum class sql_type : uint8_t {
  tinyint, smallint, int_, bigint, bit, real, float_, smallmoney, money,
  smalldatetime, datetime, date, time, datetime2, datetimeoffset, decimal, numeric,
  char_, varchar, nchar, nvarchar, text, ntext, binary, varbinary, image, uniqueidentifier,
  sql_variant,  // results only (COLLATIONPROPERTY, DATABASEPROPERTYEX): base type, properties, data
};

// A column's declared type. `length` counts characters for n-types and bytes
// for the others; -1 means (max). `scale` is also the fraction digits of
// time/datetime2/datetimeoffset.
struct column_type {
  sql_type type = sql_type::int_;
  int length = 0;
  int precision = 0;
  int scale = 0;
  uint16_t collation = default_collation;  // of the character types (tds_collation.h)
  bool operator==(const column_type&) const = default;
};

struct cell {
  bool null = true;
  std::string bytes;
  static cell of(std::string b) { return cell{false, std::move(b)}; }
  bool operator==(const cell&) const = default;
};

// A server error as SQL Server reports it.
struct sql_error {
  int number = 0;
  int severity = 16;
  int state = 1;
  std::string text;  // UTF-8
};
[[noreturn]] void raise(int number, int severity, std::string text, int state = 1);

bool is_unicode(sql_type t);
bool is_char(sql_type t);      // char, varchar, text
bool is_binary(sql_type t);    // binary, varbinary, image
bool is_long(sql_type t);      // text, ntext, image
bool is_string_like(sql_type t);  // any of the three groups above
// Declaration text as SQL Server writes it: "nvarchar(20)", "decimal(38,10)", "varbinary(max)".
std::string type_name(const column_type& t);
// The bare name: "nvarchar".
const char* base_name(sql_type t);
// A type from its name and arguments as written in DDL ("max" is length -1);
// nullopt for an unknown name. Arguments out of range raise SQL Server's errors.
std::optional<column_type> make_type(std::string_view name, const std::optional<int>& a1,
                                     const std::optional<int>& a2);
// Bytes of a fixed-size value; 0 for variable ones.
int fixed_size(const column_type& t);
// Size in bytes the SQL Server catalog reports (sp_columns LENGTH).
int storage_length(const column_type& t);

// Writes TYPE_INFO of a result column; `table` names the table for text/ntext/image.
void write_type_info(writer& w, const column_type& t, std::string_view table_u16);
// Writes one value of a ROW token.
void write_value(writer& w, const column_type& t, const cell& v);

// A column described by a client in a bulk-load COLMETADATA.
struct wire_column {
  uint8_t token = 0;
  column_type type;
  int var_len = 0;   // 1, 2, 4 (text pointer kind), 8 (PLP) or 0 (fixed)
  int fixed = 0;     // size of a fixed type
  uint32_t flags = 0;
  std::string name;  // UTF-16LE
};
// Reads a column's TYPE_INFO as a client sends it in a bulk load (text types
// carry a table name with a 2-byte unit count). Unknown types throw.
wire_column read_type_info(reader& r, bool bulk);
// The longest single value accepted from a client (a larger one closes the connection).
constexpr std::size_t max_value = 256u << 20;
// Reads one value of a ROW token for that column.
cell read_value(reader& r, const wire_column& c);

// --- conversions --------------------------------------------------------
// A value of a statement: a literal, or a value of a known type (CONVERT,
// a column, a variable). Text is UTF-8.
struct value {
  enum kind_t { null, integer, decimal, floating, string, binary, typed } kind = null;
  std::string text;     // integer/decimal/floating/string text; binary bytes
  bool national = false;  // N'...'
  bool literal = false;   // written in the statement ('...' is then in the database's code page)
  column_type type;     // for typed
  cell data;            // for typed
  static value of_null() { return value{}; }
  static value of_string(std::string s, bool n) { value v; v.kind = string; v.text = std::move(s); v.national = n; return v; }
  static value of_typed(const column_type& t, cell c) { value v; v.kind = typed; v.type = t; v.data = std::move(c); if (v.data.null) v.kind = null; return v; }
};
// What a conversion depends on besides the value: the session's date order
// and language (text to dates).
struct conversion_context {
  date_order order = date_order::mdy;
  const language* lang = nullptr;  // us_english when null
  int literal_code_page = 1252;    // the current database's: what a '...' literal holds
};
// Converts a value into a column type's stored form, raising SQL Server's
// errors (245, 241, 242, 8114, 8115, 8152) where the server does.
cell convert(const value& v, const column_type& to, const conversion_context& cx = {});
// The value as text, the way CONVERT(nvarchar, ...) renders it (datetime as
// "yyyy-mm-dd hh:mm:ss.mmm", floats with every digit kept); UTF-8.
std::string render(const column_type& t, const cell& c);

// A sql_variant holding an int or an nvarchar(128) value.
cell variant_of(const column_type& t, const cell& c);

// Calendar helpers: days from 0001-01-01 for a civil date, and back.
int64_t days_from_civil(int64_t y, unsigned m, unsigned d);
void civil_from_days(int64_t z, int64_t& y, unsigned& m, unsigned& d);

}  // namespace tds
