#include "apps/orvell_wizard/sql_upsizer.h"

#include "SQL/sql_engi.h"
#include "TK/tk_trace.h"
#include "UDB/udb_db.h"
#include "UDB/udb_sche.h"
#include "apps/orvell_wizard/orv_mysql.h"

sql_field_upsizer::sql_field_upsizer(udb_database* db, udb_recordset* dest) : csv_field_upsizer(db, dest) {
  tk_trace(1, "sql_field_upsizer::ctor");
}

std::wstring sql_field_upsizer::statement(const std::wstring& table, const std::wstring& column) {
  const sql_engine& engine = sql_engine::instance();
  const std::wstring quoted = engine.quote_name(column);
  return L"ALTER TABLE " + engine.quote_name(table) + L" CHANGE " + quoted + L" " + quoted + L" TEXT" +
         sql_text_charset_clause();
}

void sql_field_upsizer::do_upsize(t_ftd& column) {
  tk_trace(1, "sql_field_upsizer::do_upsize");
  dest_db_->query(statement(dest_rs_->get_name(), column.name));
}
