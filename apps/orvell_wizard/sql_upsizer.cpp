#include "apps/orvell_wizard/sql_upsizer.h"

#include <cstdint>

#include "SQL/sql_engi.h"
#include "SQL/sql_fit.h"
#include "SQL/sql_util.h"
#include "TK/tk_trace.h"
#include "UDB/udb_db.h"
#include "UDB/udb_sche.h"
#include "apps/orvell_wizard/orv_mysql.h"

namespace {

constexpr std::size_t max_text_bytes = 65535;
constexpr std::size_t max_mediumtext_bytes = 0xFFFFFF;
// A VARCHAR column, or one of another type (an existing table's, in merge mode),
// is widened only for a value of more than 255 characters: a CSV column holds
// that many, and a narrower column of an existing table keeps its type.
constexpr std::size_t varchar_chars = 255;

// 0 for VARCHAR and any other type, then TEXT, MEDIUMTEXT, LONGTEXT.
int long_text_rank(int size) {
  if (size >= 1 && size <= 255) return 0;
  if (size > 255 && static_cast<std::size_t>(size) <= max_text_bytes) return 1;
  if (size > 0 && static_cast<std::size_t>(size) <= max_mediumtext_bytes) return 2;
  return 3;
}

bool before_4_1() { return sql_engine::instance().server_version() < sql_version::v4_1_0; }

}  // namespace

sql_field_upsizer::sql_field_upsizer(udb_database* db, udb_recordset* dest) : csv_field_upsizer(db, dest) {
  tk_trace(1, "sql_field_upsizer::ctor");
}

std::wstring sql_field_upsizer::statement(const std::wstring& table, const std::wstring& column,
                                          const std::wstring& type) {
  const sql_engine& engine = sql_engine::instance();
  const std::wstring quoted = engine.quote_name(column);
  return L"ALTER TABLE " + engine.quote_name(table) + L" CHANGE " + quoted + L" " + quoted + L" " + type +
         sql_text_charset_clause();
}

std::size_t sql_field_upsizer::text_bytes(std::wstring_view text) {
  std::size_t bytes = 0;
  for (wchar_t c : text) {
    const auto code = static_cast<std::uint32_t>(c);
    bytes += code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
  }
  return bytes;
}

int sql_field_upsizer::wider_size(int declared, std::size_t bytes) {
  const int needed = bytes <= max_text_bytes       ? sql_text_size::text
                     : bytes <= max_mediumtext_bytes ? sql_text_size::mediumtext
                                                     : sql_text_size::longtext;
  return long_text_rank(needed) >= long_text_rank(declared) ? needed : declared;
}

bool sql_field_upsizer::holds_text(const t_ftd& column, std::size_t chars, std::size_t bytes,
                                   bool chars_are_bytes) {
  if (column.vartype != VT_BSTR) return chars <= varchar_chars;
  switch (long_text_rank(column.size)) {
    case 0: return (chars_are_bytes ? bytes : chars) <= varchar_chars;
    case 1: return bytes <= max_text_bytes;
    case 2: return bytes <= max_mediumtext_bytes;
    default: return true;
  }
}

bool sql_field_upsizer::holds(const t_ftd& column, std::wstring_view value) const {
  const bool old_server = before_4_1();
  // A character takes at most 4 bytes: most values are settled without counting them.
  if (holds_text(column, value.size(), value.size() * 4, old_server)) return true;
  return holds_text(column, value.size(), text_bytes(value), old_server);
}

void sql_field_upsizer::do_upsize(t_ftd& column, std::wstring_view value) {
  tk_trace(1, "sql_field_upsizer::do_upsize");
  const int declared = column.vartype == VT_BSTR ? column.size : static_cast<int>(varchar_chars);
  const int size = wider_size(declared, text_bytes(value));
  dest_db_->query(statement(dest_rs_->get_name(), column.name, get_native_type(VT_BSTR, static_cast<unsigned>(size), 0)));
  column.vartype = VT_BSTR;
  column.size = size;
}
