#include "SQL/sql_db.h"

#include "SQL/sql_engi.h"
#include "SQL/sql_init.h"
#include "SQL/sql_tab.h"
#include "SQL/sql_util.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"

const char* const sql_service_address = "support@orvell.example";

namespace {

std::wstring join(const std::vector<std::wstring>& items, const wchar_t* separator) {
  std::wstring text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) text += separator;
    text += items[i];
  }
  return text;
}

bool is_listed(const std::vector<std::wstring>& tables, const std::wstring& name) {
  for (const std::wstring& t : tables)
    if (tk_wcompare_nocase(t, name) == 0) return true;
  return false;
}

// Server errors that decide what a failed CREATE TABLE means.
constexpr unsigned er_table_exists = 1050;
constexpr unsigned er_no_such_table = 1146;
constexpr unsigned er_requires_primary_key = 1173;   // MariaDB's innodb_force_primary_key
constexpr unsigned er_table_without_pk = 3750;       // MySQL's sql_require_primary_key

unsigned server_error(const sql_exception& e) { return static_cast<unsigned>(e.get_code()) & 0xFFFFu; }

// The setting of a server that refused a table for having no primary key.
const char* primary_key_setting(const sql_exception& e) {
  switch (server_error(e)) {
    case er_requires_primary_key: return "innodb_force_primary_key";
    case er_table_without_pk: return "sql_require_primary_key";
    default: return nullptr;
  }
}

std::string table_text(const std::wstring& name) { return "'" + tk_to_ansi(name) + "'"; }

// Trial tables: names no table of the database had when it was opened.
constexpr int max_trial_names = 100;
std::wstring trial_name(int n) { return L"orvell_trial_" + std::to_wstring(n); }

}  // namespace

// ---------------------------------------------------------------- page statement

sql_database::sql_limited_query::sql_limited_query(sql_database& database,
                                                   const std::wstring& text, long first,
                                                   long count, bool is_query) {
  tk_trace(1, "sql_database::sql_limited_query::sql_limited_query");
  std::wstring statement = text;
  if (!is_query) {
    statement = L"SELECT * FROM " + sql_engine::instance().quote_name(text) + L" LIMIT " +
                std::to_wstring(first) + L"," + std::to_wstring(count);
  }
  m_result = database.run_query(statement);
  if (!m_result) throw sql_exception();
}

sql_database::sql_limited_query::sql_limited_query(sql_limited_query&& other) noexcept
    : m_result(other.m_result) {
  other.m_result = nullptr;
}

sql_database::sql_limited_query::~sql_limited_query() {
  if (m_result) mysql_free_result(m_result);
}

unsigned sql_database::sql_limited_query::field_count() const {
  return mysql_num_fields(m_result);
}

const MYSQL_FIELD* sql_database::sql_limited_query::fields() const {
  return mysql_fetch_fields(m_result);
}

void sql_database::sql_limited_query::store_to(sql_page& page) {
  tk_trace(1, "sql_database::sql_limited_query::store_to");
  for (auto& slot : page) slot.reset();
  const unsigned n = field_count();
  const MYSQL_FIELD* columns = fields();
  for (int i = 0; i < sql_page_size; ++i) {
    MYSQL_ROW row = mysql_fetch_row(m_result);
    if (!row) break;
    page[i] = std::make_unique<sql_record>(n, columns, mysql_fetch_lengths(m_result), row);
  }
}

// ---------------------------------------------------------------- database

sql_database::sql_database(const std::wstring& name, MYSQL* connection, unsigned mode)
    : udb_database(name, mode), m_connection(connection) {
  tk_wtrace(2, L"sql_database::sql_database(%s, mode=%d)", name.c_str(), mode);
  sql_engine::instance().settle();
  MYSQL_RES* list = mysql_list_tables(m_connection, nullptr);
  if (!list) throw sql_exception(m_connection);
  sql_tmp_recordset tables(list);
  for (size_t i = 0; i < tables.size(); ++i) tables_.push_back(tables[i][0].to_wstring());
}

sql_database::~sql_database() = default;

MYSQL_RES* sql_database::run_query(const std::wstring& statement) {
  if (!sql_engine::instance().send(statement)) return nullptr;
  return mysql_use_result(m_connection);
}

std::unique_ptr<udb_recordset> sql_database::query(const std::wstring& statement) {
  tk_wtrace(2, L"sql_database::query(%s)", statement.c_str());
  MYSQL_RES* result = run_query(statement);
  if (mysql_errno(m_connection) != 0) {
    if (result) mysql_free_result(result);
    throw sql_exception(m_connection);
  }
  if (!result) return nullptr;
  return std::make_unique<sql_tmp_recordset>(result);
}

bool sql_database::test_query(const std::wstring& statement) {
  tk_wtrace(2, L"sql_database::query(%s)", statement.c_str());
  const bool ok = sql_engine::instance().send(statement);
  if (MYSQL_RES* result = mysql_store_result(m_connection)) mysql_free_result(result);
  return ok;
}

std::unique_ptr<udb_recordset> sql_database::get_table(const std::wstring& name, int) {
  return open_table(name);
}

std::unique_ptr<sql_table> sql_database::open_table(const std::wstring& name, bool created) {
  tk_wtrace(2, L"sql_database::get_table (%s)", name.c_str());
  if (!is_listed(tables_, name)) throw tk_mail_assertion("sql_db", 111);
  return std::make_unique<sql_table>(*this, name, relationships_, created);
}

unsigned long long sql_database::row_count(const std::wstring& table) {
  std::unique_ptr<udb_recordset> result = query(L"SELECT COUNT(*) FROM " + sql_engine::instance().quote_name(table));
  const udb_record* row = result ? result->get_record() : nullptr;
  return row && row->size() ? std::wcstoull((*row)[0].to_wstring().c_str(), nullptr, 10) : 0;
}

void sql_database::table_lost(const std::wstring& name, const wchar_t* doing, const sql_exception& error,
                              bool dropping) {
  const std::wstring table = L"'" + name + L"'";
  const std::wstring message = L"The connection to the MySQL server was lost while " + std::wstring(doing) +
                               L" table " + table + L" (" + tk_from_utf8(error.what()) + L"). ";
  auto unknown = [&](const std::wstring& why) {
    return tk_connection_lost(message + L"Whether table " + table + (dropping ? L" was dropped" : L" exists now") +
                              L" cannot be told: " + why + L".");
  };
  if (const std::wstring why = sql_engine::instance().replace_lost_session(); !why.empty()) throw unknown(why);
  unsigned long long rows = 0;
  try {
    rows = row_count(name);
  } catch (const sql_exception& e) {
    if (server_error(e) != er_no_such_table) throw unknown(tk_from_utf8(e.what()));
    throw tk_connection_lost(message + (dropping ? L"It was dropped: its rows are gone."
                                                 : L"No table " + table + L" exists now."));
  }
  if (dropping) throw tk_connection_lost(message + L"It was not dropped: it still exists with its " +
                                         count_text(rows, L"row") + L".");
  throw tk_connection_lost(message + L"Table " + table +
                           (rows ? L" exists and holds " + count_text(rows, L"row") + L"."
                                 : std::wstring(L" exists and is empty.")));
}

std::unique_ptr<udb_recordset> sql_database::get_query(const std::wstring& name,
                                                       const std::wstring& query) {
  return std::make_unique<sql_recordset>(*this, name, query, relationships_);
}

std::wstring sql_database::create_table_statement(const std::wstring& name,
                                                  const udb_schema& schema,
                                                  const udb_indexes& indexes,
                                                  udb_names_map::name_map* field_names) {
  const sql_engine& engine = sql_engine::instance();
  std::wstring auto_name;
  sql_schema_initializer columns(name, schema, indexes, auto_name);
  std::vector<std::wstring> chunks;
  columns.get_init_chunks(chunks);
  std::wstring statement = L"CREATE TABLE " + engine.quote_name(name) + L" (" + join(chunks, L", ");
  if (!indexes.empty() || !auto_name.empty()) {
    sql_indexes_initializer keys(columns.destination(), indexes, auto_name,
                                 columns.generated_names(), columns.needs_myisam());
    std::vector<std::wstring> index_chunks;
    keys.get_init_chunks(index_chunks);
    for (const std::wstring& chunk : index_chunks) statement += L", " + chunk;
  }
  statement += L")";
  const unsigned version = engine.server_version();
  statement += version > sql_version::v4_0_22 ? L" ENGINE=" : L" TYPE=";
  // A wide table whose rows InnoDB cannot hold is MyISAM.
  statement += version <= sql_version::v3_23_34                          ? L"MyISAM"
               : engine.fk_supported() == 1 && !columns.needs_myisam() ? L"InnoDB"
                                                                         : L"MyISAM";
  if (field_names) *field_names = columns.generated_names().entries();
  return statement;
}

std::unique_ptr<udb_recordset> sql_database::create_table(const std::wstring& name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  tk_wtrace(2, L"sql_database::create_table(%s)", name.c_str());
  if (mode_ & UDB_MODE_READ_ONLY) throw tk_mail_assertion("sql_db", 306);
  if (is_listed(tables_, name)) {
    if (mode_ & UDB_MODE_APPEND) return open_table(name);
    throw tk_mail_assertion("sql_db", 312);
  }
  udb_names_map::name_map field_names;
  const std::wstring statement = create_table_statement(name, schema, indexes, &field_names);
  tk_wtrace(2, L"Run SQL query: %s\n", statement.c_str());
  try {
    sql_engine::instance().execute(statement);
  } catch (const sql_exception& e) {
    if (sql_engine::is_connection_lost(e)) table_lost(name, L"creating", e);
    throw tk_table_exception("Cannot create table " + table_text(name) + ": " + creation_refusal(e), e.get_code());
  }
  tables_.push_back(name);
  names_map_.add_fn_map(name, field_names);
  return open_table(name, true);
}

bool sql_database::delete_tab(const std::wstring& name) {
  tk_wtrace(2, L"sql_database::delete_tab (%s)", name.c_str());
  if (mode_ & UDB_MODE_READ_ONLY) throw tk_mail_assertion("sql_db", 390);
  if (!is_listed(tables_, name)) throw tk_mail_assertion("sql_db", 391);
  try {
    sql_engine::instance().execute(L"DROP TABLE " + sql_engine::instance().quote_name(name));
  } catch (const sql_exception& e) {
    // The statement may have been done: never "Cannot drop" then.
    if (sql_engine::is_connection_lost(e)) table_lost(name, L"dropping", e, true);
    throw tk_table_exception("Cannot drop table " + table_text(name) + ": " + e.what(), e.get_code());
  }
  return udb_database::delete_tab(name);
}

std::string sql_database::creation_refusal(const sql_exception& e) {
  if (const char* setting = primary_key_setting(e))
    return std::string("the server requires a primary key in every new table (") + setting +
           ") and the tables this program creates have none";
  return e.what();
}

std::string sql_database::creation_trial(const std::wstring& name, const udb_schema& schema,
                                         const udb_indexes& indexes) {
  tk_wtrace(2, L"sql_database::creation_trial(%s)", name.c_str());
  sql_engine& engine = sql_engine::instance();
  for (int n = 1; n <= max_trial_names; ++n) {
    const std::wstring trial = trial_name(n);
    if (is_listed(tables_, trial)) continue;
    const std::wstring statement = create_table_statement(trial, schema, indexes);
    tk_wtrace(2, L"Run SQL query: %s\n", statement.c_str());
    try {
      engine.execute(statement);
    } catch (const sql_exception& e) {
      // Another session has taken the name since the tables were listed.
      if (server_error(e) == er_table_exists) continue;
      if (sql_engine::is_connection_lost(e)) trial_lost(name, trial, e);
      return primary_key_setting(e) ? creation_refusal(e)
                                    : "the server refuses its CREATE TABLE: " + creation_refusal(e);
    }
    try {
      engine.execute(L"DROP TABLE " + engine.quote_name(trial));
    } catch (const sql_exception& e) {
      if (sql_engine::is_connection_lost(e)) trial_lost(name, trial, e);
      return "the trial table " + table_text(trial) +
             ", created to see whether it can be created again, cannot be dropped: " + e.what();
    }
    return {};
  }
  return "no unused name was found to try its creation under";
}

void sql_database::trial_lost(const std::wstring& name, const std::wstring& trial, const sql_exception& error) {
  sql_engine& engine = sql_engine::instance();
  std::wstring message = L"The connection to the MySQL server was lost while table '" + name +
                         L"' was tried under the name '" + trial + L"' (" + tk_from_utf8(error.what()) + L"). ";
  std::wstring why = engine.replace_lost_session();
  if (why.empty()) {
    try {
      engine.execute(L"DROP TABLE IF EXISTS " + engine.quote_name(trial));
    } catch (const sql_exception& e) {
      why = tk_from_utf8(e.what());
    }
    if (why.empty()) throw tk_connection_lost(message + L"No trial table is left.");
  }
  throw tk_connection_lost(message + L"The trial table '" + trial + L"' may be left in the database (" + why +
                           L"): drop it.");
}

void sql_database::try_create_table(const std::wstring& name, const udb_schema& schema,
                                    const udb_indexes& indexes) {
  tk_wtrace(2, L"sql_database::try_create_table(%s)", name.c_str());
  std::string refusal;
  try {
    refusal = creation_trial(name, schema, indexes);
  } catch (const tk_connection_lost& e) {
    throw tk_connection_lost(e.message() + " Table " + table_text(name) + " was not dropped and keeps its rows.");
  }
  if (!refusal.empty())
    throw tk_table_exception("Table " + table_text(name) + " was not replaced and keeps its rows: " + refusal);
}

void sql_database::create_fk_index_if(const std::wstring& table,
                                      const std::vector<std::wstring>& columns) {
  tk_wtrace(2, L"sql_database::create_fk_index_if(%s)", table.c_str());
  std::unique_ptr<sql_table> opened = open_table(table);
  if (!opened) throw tk_mail_assertion("sql_db", 266);
  tk_trace(1, "udb_indexes::has_index_on_fields");
  for (const udb_index& index : opened->get_indexes()) {
    if (index.starts_with_fields(columns)) {
      tk_wtrace(2, L"Child index for table '%s' exists", table.c_str());
      return;
    }
  }
  opened.reset();
  const sql_engine& engine = sql_engine::instance();
  std::vector<std::wstring> quoted;
  for (const std::wstring& column : columns)
    quoted.push_back(engine.quote_name(names_map_.get_fn_mapped_name(table, column, false)));
  try {
    query(L"ALTER TABLE " + engine.quote_name(table) + L" ADD INDEX (" + join(quoted, L", ") +
          L")");
  } catch (const sql_exception& e) {
    tk_trace(2, "Error while creating index for FK:\n%s\n", e.what());
  }
}

void sql_database::create_relationships(const udb_relationships& relationships) {
  tk_trace(2, "sql_database::create_relationships");
  tk_trace(3, "Converting foreign keys");
  sql_engine& engine = sql_engine::instance();
  if (engine.server_version() < sql_version::v3_23_44) {
    tk_trace(3, "This version of MySQL doesn't support Foreign Keys");
    return;
  }
  if (mode_ == UDB_MODE_APPEND) {
    tk_trace(3, "Foreign keys are not converted in append mode");
    return;
  }
  if (!engine.send(L"SET FOREIGN_KEY_CHECKS = 0"))
    tk_trace(2, "Cannot turn OFF foreign key check: %s", mysql_error(m_connection));
  for (const udb_relationship& fk : relationships) {
    try {
      tk_wtrace(3, L"Processing '%s'", fk.name.c_str());
      const std::wstring table = names_map_.get_tn_mapped_name(fk.table, false);
      if (!is_listed(tables_, table))
        throw tk_exception("Table '" + tk_to_utf8(table) + "' not exists", 0);
      const std::wstring ref_table = names_map_.get_tn_mapped_name(fk.ref_table, false);
      if (!is_listed(tables_, ref_table))
        throw tk_exception("Table '" + tk_to_utf8(ref_table) + "' not exists", 0);
      create_fk_index_if(table, fk.columns);
      create_fk_index_if(ref_table, fk.ref_columns);
      std::vector<std::wstring> columns, ref_columns;
      for (const std::wstring& c : fk.columns)
        columns.push_back(engine.quote_name(names_map_.get_fn_mapped_name(table, c, false)));
      for (const std::wstring& c : fk.ref_columns)
        ref_columns.push_back(engine.quote_name(names_map_.get_fn_mapped_name(ref_table, c, false)));
      query(L"ALTER TABLE " + engine.quote_name(table) + L" ADD CONSTRAINT " +
            engine.quote_name(fk.name) + L" FOREIGN KEY(" + join(columns, L", ") +
            L") REFERENCES " + engine.quote_name(ref_table) + L"(" + join(ref_columns, L", ") +
            L")");
    } catch (const tk_exception& e) {
      tk_trace(2, "Error while creating FK:\n%s\n", e.what());
      error_handler& reporter = error_handler::instance();
      reporter.set_context(fk.name.empty() ? fk.table : L"Foreign key '" + fk.name + L"'");
      tk_exception report(std::string("Can't create foreign key. Contact to ") +
                              sql_service_address + " for the solution.",
                          0);
      reporter.handle(report, false);
    }
  }
  if (!engine.send(L"SET FOREIGN_KEY_CHECKS = 1"))
    tk_trace(2, "Cannot turn ON foreign key check: %s", mysql_error(m_connection));
}

void sql_database::create_views(const query_map& queries) {
  tk_trace(2, "sql_database::create_views");
  const sql_engine& engine = sql_engine::instance();
  for (const auto& [name, text] : queries) {
    try {
      tk_wtrace(1, L"Processing '%s'", name.c_str());
      tk_wtrace(1, L"\t'%s'", text.c_str());
      query(L"CREATE OR REPLACE VIEW " + engine.quote_name(name) + L" AS " + to_mysql_quotes(text));
    } catch (const tk_exception& e) {
      tk_trace(2, "Error while creating view:\n%s\n", e.what());
      error_handler& reporter = error_handler::instance();
      reporter.set_context(L"View '" + name + L"'");
      tk_exception report(std::string("Can't create view. Contact to ") + sql_service_address +
                              " for the solution.",
                          0);
      reporter.handle(report, false);
    }
  }
}
