#include "SQL/sql_recs.h"

#include <cstdlib>

#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"
#include "SQL/sql_util.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

// ---------------------------------------------------------------- paged recordset

sql_recordset::sql_recordset(sql_database& database, const std::wstring& table,
                             udb_relationships& foreign_keys)
    : udb_recordset(table, true), m_database(database), m_foreign_keys(foreign_keys) {
  tk_trace(2, "sql_recordset::sql_recordset");
  initialize();
}

sql_recordset::sql_recordset(sql_database& database, const std::wstring& name,
                             const std::wstring& query, udb_relationships& foreign_keys)
    : udb_recordset(name, query, true), m_database(database), m_foreign_keys(foreign_keys) {
  tk_trace(2, "sql_recordset::sql_recordset");
  initialize();
}

sql_recordset::~sql_recordset() = default;

void sql_recordset::clean() {
  tk_trace(2, "sql_recordset::clean");
  for (auto& slot : m_page) slot.reset();
}

void sql_recordset::initialize() {
  tk_trace(2, "sql_recordset::initialize");
  clean();
  records_count_ = get_rec_count();
  tk_trace(1, "get_rec_count returns %d", static_cast<int>(records_count_));
  load_first_page(true);
}

void sql_recordset::load_first_page(bool build_schema) {
  sql_database::sql_limited_query page =
      is_query() ? sql_database::sql_limited_query(m_database, query_, 0, sql_page_size, true)
                 : sql_database::sql_limited_query(m_database, name_, 0, sql_page_size, false);
  page.store_to(m_page);
  if (!build_schema) return;

  const sql_engine& engine = sql_engine::instance();
  const unsigned n = page.field_count();
  const MYSQL_FIELD* fields = page.fields();
  for (unsigned i = 0; i < n; ++i) {
    const MYSQL_FIELD& column = fields[i];
    tk_trace(1, "Processing field #%d", i + 1);
    const std::wstring name = tk_from_utf8(std::string(column.name, column.name_length));
    VARTYPE vt = mysql_type_to_vartype(column.type, column.flags);
    tk_wtrace(2, L"GOT FIELD: name=%s, type=%d, size=%d", name.c_str(), column.type,
              static_cast<int>(column.length));
    int extra = 0;
    switch (column.type) {
      case MYSQL_TYPE_DATETIME: extra = 1; break;
      case MYSQL_TYPE_DATE: extra = 2; break;
      case MYSQL_TYPE_TIME: extra = 3; break;
      case MYSQL_TYPE_LONGLONG: extra = (column.flags & sql_unsigned_flag) ? 2 : 1; break;
      default: break;
    }
    if (vt == VT_BLOB && (engine.blob_as_text() || !(column.flags & sql_binary_flag))) {
      tk_trace(2, "Change type from BLOB to TEXT");
      vt = VT_BSTR;
    } else if (column.type == MYSQL_TYPE_DECIMAL || column.type == MYSQL_TYPE_NEWDECIMAL) {
      const int decimals = static_cast<int>(column.decimals);
      const int length = static_cast<int>(column.length);
      tk_trace(1, "Scale/precision: (%d,%d)", decimals, length);
      extra = decimals | (length - 2 + (decimals == 0 ? 1 : 0)) << 8;
    }
    schema_.push_back(std::make_unique<t_ftd>(
        static_cast<int>(column.length), name, vt, (column.flags & sql_not_null_flag) != 0,
        (column.flags & sql_auto_increment_flag) != 0, ole_variant(), extra));
  }
}

unsigned sql_recordset::get_rec_count() {
  tk_trace(2, "sql_recordset::get_rec_count");
  const std::wstring statement =
      is_query() ? L"SELECT COUNT(*) FROM (" + query_ + L") as query"
                 : L"SELECT COUNT(*) FROM " + sql_engine::instance().quote_name(name_);
  std::unique_ptr<udb_recordset> result = m_database.query(statement);
  unsigned count = 0;
  if (result) {
    if (udb_record* record = result->get_record(); record && record->size() > 0)
      count = static_cast<unsigned>(std::wcstoul((*record)[0].to_wstring().c_str(), nullptr, 10));
  }
  return count;
}

void sql_recordset::append_record(const udb_record&) {
  tk_trace(2, "sql_recordset::append_record");
  throw tk_mail_assertion("sql_recs", 170);
}

udb_record* sql_recordset::get_record() { return m_page[m_page_position].get(); }

bool sql_recordset::is_eof() { return m_current_row >= static_cast<long>(records_count_); }

void sql_recordset::next() {
  tk_trace(1, "sql_recordset::next");
  if (m_page_position < sql_page_size - 1) {
    ++m_page_position;
  } else {
    clean();
    sql_database::sql_limited_query page(m_database, name_, m_current_row + 1, sql_page_size,
                                         false);
    page.store_to(m_page);
    m_page_position = 0;
  }
  ++m_current_row;
}

void sql_recordset::prev() {
  tk_trace(1, "sql_recordset::prev");
  if (m_current_row > 0) {
    if (m_page_position > 0) --m_page_position;
    --m_current_row;
  }
}

void sql_recordset::reset() {
  tk_trace(1, "sql_recordset::reset");
  m_current_row = 0;
  m_page_position = 0;
  load_first_page(false);
}

// ---------------------------------------------------------------- whole result

sql_tmp_recordset::sql_tmp_recordset(MYSQL_RES* result) : udb_recordset(L"", true) {
  tk_trace(1, "sql_tmp_recordset::sql_tmp_recordset");
  tk_trace(1, "sql_tmp_recordset::initialize");
  if (!result) throw tk_mail_assertion("sql_recs", 287);
  const unsigned n = mysql_num_fields(result);
  const MYSQL_FIELD* fields = mysql_fetch_fields(result);
  try {
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
      m_records.push_back(std::make_unique<sql_record>(n, fields, mysql_fetch_lengths(result), row));
      ++records_count_;
    }
  } catch (...) {
    mysql_free_result(result);
    throw;
  }
  mysql_free_result(result);
}

sql_tmp_recordset::~sql_tmp_recordset() = default;

void sql_tmp_recordset::append_record(const udb_record&) {
  throw tk_mail_assertion("sql_recs", 280);
}

udb_record* sql_tmp_recordset::get_record() {
  return m_position < m_records.size() ? m_records[m_position].get() : nullptr;
}

bool sql_tmp_recordset::is_eof() { return m_position >= records_count_; }
void sql_tmp_recordset::next() { ++m_position; }
void sql_tmp_recordset::prev() {}
void sql_tmp_recordset::reset() { m_position = 0; }
