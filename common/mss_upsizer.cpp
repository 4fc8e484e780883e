#include "common/mss_upsizer.h"

#include <algorithm>
#include <cstdint>

#include "MSS/mss_engi.h"
#include "MSS/mss_floa.h"
#include "MSS/mss_tab.h"
#include "MSS/odb_exce.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_db.h"
#include "UDB/udb_sche.h"

namespace {

// The longest nvarchar(n); a size of 0 or above it is a long type.
constexpr int max_nvarchar = 4000;
// A CSV column holds this many characters; only a longer value widens a column.
constexpr std::size_t csv_text_units = 255;

}  // namespace

mss_field_upsizer::mss_field_upsizer(udb_database* db, udb_recordset* dest) : csv_field_upsizer(db, dest) {
  tk_trace(1, "mss_field_upsizer::ctor");
}

std::wstring mss_field_upsizer::statement(const std::wstring& table, const t_ftd& column, const std::wstring& type,
                                         const std::wstring& collation, bool has_max_types) {
  if (column.vartype != VT_BSTR || column.size <= 0 || column.size > max_nvarchar) return {};
  // A column of a code page stays one: a DEFAULT or CHECK lets its length
  // change, not its type.
  const bool narrow = tk_wcompare_nocase(type, L"varchar") == 0 || tk_wcompare_nocase(type, L"char") == 0;
  const wchar_t* long_type = narrow ? (has_max_types ? L" varchar(max)" : L" text")
                                    : (has_max_types ? L" nvarchar(max)" : L" ntext");
  // Without COLLATE the column would take the database's collation.
  return L"ALTER TABLE " + table + L" ALTER COLUMN " + mss_bracket_name(column.name) + long_type +
         (collation.empty() ? L"" : L" COLLATE " + collation) + (column.not_null ? L" NOT NULL" : L" NULL");
}

std::size_t mss_field_upsizer::utf16_units(std::wstring_view text) {
  std::size_t units = text.size();
  for (wchar_t c : text)
    if (static_cast<std::uint32_t>(c) > 0xFFFF) ++units;
  return units;
}

bool mss_field_upsizer::holds(const t_ftd& column, std::wstring_view value) const {
  if (column.vartype != VT_BSTR || column.size <= 0 || column.size > max_nvarchar) return true;
  // Every character takes at most two units: most values are settled without counting.
  const std::size_t limit = std::max(static_cast<std::size_t>(column.size), csv_text_units);
  if (value.size() * 2 <= limit) return true;
  return utf16_units(value) <= limit;
}

void mss_field_upsizer::do_upsize(t_ftd& column, std::wstring_view) {
  tk_trace(1, "mss_field_upsizer::do_upsize");
  const bool has_max_types = mss_engine::instance().get_version_code() >= MSS_VERSION_2005;
  auto* table = dynamic_cast<mss_table*>(dest_rs_);
  const mss_table::text_column* known = table ? table->get_text_column(column.name) : nullptr;
  const std::wstring text = statement(dest_rs_->get_name(), column, known ? known->type : std::wstring(),
                                      known ? known->collation : std::wstring(), has_max_types);
  if (text.empty()) return;
  const std::string key = tk_wnocase_key(column.name);
  auto refused = refused_.find(key);
  if (refused == refused_.end() && table) {
    // The server refuses a long type for a key or index column (5074, 4922).
    std::wstring user;
    try {
      user = table->key_using(column.name);
    } catch (const odb_exception& e) {
      table->end_if_lost(e);
      throw;
    }
    if (!user.empty())
      refused = refused_
                    .emplace(key, L"column " + column.name + L" is part of " + user +
                                      L" and cannot hold values longer than " + std::to_wstring(column.size) +
                                      L" characters")
                    .first;
  }
  if (refused != refused_.end()) {
    // The record goes no further: the table counts it all the same.
    if (table) table->pass_record();
    throw tk_exception(refused->second, 0);
  }
  // The rows sent so far are committed and the load ends; the next record
  // opens it again on the widened column.
  if (table) table->flush();
  tk_wtrace(3, L"Run SQL query: %s\n", text.c_str());
  try {
    dest_db_->query(text);
  } catch (const odb_exception& e) {
    // The table ends at once, rather than each long value of the file asking
    // for the change again: the server keeps refusing it (an object depends
    // on the column, another session's lock).
    if (table) table->end_column_change(column.name, e);
    throw;
  }
  column.size = 0;
}
