#include "SQL/sql_tab.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>

#include <mysqld_error.h>

#include "SQL/sql_db.h"
#include "SQL/sql_fit.h"
#include "SQL/sql_util.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"

namespace {

const char* const structure_message =
    "The structure of data source does not conform to the destination table. For more "
    "information see Troubleshooting article of the product documentation.";

std::wstring text_of(const udb_record& record, size_t i) {
  return i < record.size() ? record[i].to_wstring() : std::wstring();
}

// The declared size of a column of the TEXT family (see SQL/sql_fit.h); a TINYTEXT
// holds 255 bytes, so as many characters as that many bytes always hold.
bool long_text_size(const std::wstring& type, int& size) {
  if (type == L"text")
    size = sql_text_size::text;
  else if (type == L"mediumtext")
    size = sql_text_size::mediumtext;
  else if (type == L"longtext")
    size = sql_text_size::longtext;
  else if (type == L"tinytext")
    size = static_cast<int>(255 / sql_table_fit().bytes_per_char());
  else
    return false;
  return true;
}

// What a refused statement of a table tells about the table.
enum class refusal {
  record,      // this record's own
  lock,        // another session holds a lock the statement waited for in vain
  deadlock,    // the statement was chosen to break a deadlock: worth one more try
  table,       // every statement of the table is refused alike
  connection,  // nothing reaches the server any more
};

refusal refusal_of(unsigned error) {
  switch (error) {
    case ER_LOCK_WAIT_TIMEOUT: return refusal::lock;
    case ER_LOCK_DEADLOCK: return refusal::deadlock;
    case ER_OPTION_PREVENTS_STATEMENT:  // read-only server
    case ER_TABLEACCESS_DENIED_ERROR:
    case ER_COLUMNACCESS_DENIED_ERROR:
    case ER_RECORD_FILE_FULL:  // table full
    case ER_OPEN_AS_READONLY:
    case ER_DISK_FULL:
    case ER_NO_SUCH_TABLE: return refusal::table;
    default: return sql_engine::is_connection_lost(error) ? refusal::connection : refusal::record;
  }
}

std::wstring server_reason(MYSQL* connection) { return tk_from_utf8(mysql_error(connection)); }

const wchar_t* const lock_cause = L"another session holds a lock on it; ";

// An error of the statements that open a table (its columns, keys and row count)
// names the table: a lock or a refusal of every statement ends the table, a lost
// connection the run (for a table the run has just created, with what a new
// connection finds of it).
[[noreturn]] void throw_opening_error(sql_database& database, const std::wstring& table, bool created,
                                      const sql_exception& error) {
  const unsigned number = static_cast<unsigned>(error.get_code()) & 0xFFFFu;
  const std::wstring reason = tk_from_utf8(error.what());
  const std::wstring head = L"Table '" + table + L"': ";
  switch (refusal_of(number)) {
    case refusal::lock:
    case refusal::deadlock:
      throw tk_table_exception(head + lock_cause + L"opening the table waited for it longer than the lock timeout (" +
                               reason + L"). No record was written to it.");
    case refusal::table:
      throw tk_table_exception(head + L"the server refuses it (" + reason + L"). No record was written to it.");
    case refusal::connection:
      if (created) database.table_lost(table, L"opening the new", error);
      throw tk_connection_lost(L"The connection to the MySQL server was lost while opening table '" + table +
                               L"' (" + reason + L"). No record was written to it.");
    case refusal::record: break;
  }
  throw sql_exception(tk_to_utf8(head) + error.what(), number);
}

bool is_zero_date(const std::wstring& text) {
  return text.empty() || text == L"0000-00-00" || text == L"0000-00-00 00:00:00" ||
         text == L"00000000000000";
}

}  // namespace

// ---------------------------------------------------------------- field finder

sql_field_finder::sql_field_finder(const udb_record& record)
    : m_validator(sql_engine::instance().create_fn_validator(record)) {
  intialize(record);
}

void sql_field_finder::intialize(const udb_record& record) {
  tk_trace(1, "sql_field_finder::intialize");
  for (size_t i = 0; i < record.size(); ++i) {
    const std::wstring& name = record[i].get_name();
    if (m_validator->is_acceptable(name)) {
      m_names.push_back(name);
      continue;
    }
    std::wstring safe = m_validator->get_safe_name(name);
    tk_wtrace(1, L"GOT SAFE NAME: %s->%s", name.c_str(), safe.c_str());
    m_validator->used_names().push_back(safe);
    m_names.push_back(std::move(safe));
  }
}

int sql_field_finder::get_field_idx(const std::wstring& name) const {
  tk_wtrace(1, L"sql_field_finder::get_field_idx(%s)", name.c_str());
  for (size_t i = 0; i < m_names.size(); ++i)
    if (m_names[i] == name) return static_cast<int>(i);
  return -1;
}

// ---------------------------------------------------------------- foreign keys

sql_fk_parser::sql_fk_parser(const std::wstring& table, const std::string& create_text)
    : m_table(table), m_lines(tk_split(create_text, '\n')) {
  tk_trace(2, "sql_fk_parser::ctor(%s)", create_text.c_str());
}

void sql_fk_parser::do_parse(udb_relationships&) {
  tk_trace(2, "sql_fk_parser::do_parse");
  tk_trace(1, "Got %d chunks", static_cast<int>(m_lines.size()));
}

// ---------------------------------------------------------------- table

sql_table::sql_table(sql_database& database, const std::wstring& name,
                     udb_relationships& foreign_keys, bool created) try
    : sql_recordset(database, name, foreign_keys) {
  initialize();
} catch (const sql_exception& e) {
  throw_opening_error(database, name, created, e);
}

sql_table::~sql_table() {
  tk_trace(2, "sql_table::dtor");
  try {
    flush();
  } catch (const std::exception& e) {
    tk_trace(2, "Rows of the table could not be sent: %s", e.what());
  } catch (...) {
    tk_trace(2, "Rows of the table could not be sent");
  }
  if (sql_engine* engine = sql_engine::instance_ptr()) engine->forget(this);
}

void sql_table::initialize() {
  tk_trace(2, "sql_table::initialize");
  m_rows_on_server = records_count_;
  const sql_engine& engine = sql_engine::instance();
  const std::wstring table = engine.quote_name(name_);

  std::unique_ptr<udb_recordset> columns = m_database.query(L"SHOW COLUMNS FROM " + table);
  for (size_t n = 0; columns && !columns->is_eof() && n < schema_.size(); columns->next(), ++n) {
    const udb_record& row = *columns->get_record();
    t_ftd& column = schema_[n];
    const std::wstring type = text_of(row, 1);
    tk_wtrace(2, L"Got type: %s", type.c_str());
    int length = 0, precision = 0, scale = 0;
    if (std::swscanf(type.c_str(), L"varchar(%d)", &length) == 1 ||
        std::swscanf(type.c_str(), L"char(%d)", &length) == 1) {
      tk_trace(2, "Refining size for varchar: %d", length);
      column.size = length;
    } else if (int size = 0; long_text_size(type, size)) {
      // The metadata gives the bytes of the connection's character set; the
      // upsizer and the row-size checks read the declared type.
      tk_trace(2, "Refining size for text: %d", size);
      column.size = size;
    } else if (std::swscanf(type.c_str(), L"float(%d,%d)", &precision, &scale) == 2) {
      tk_trace(2, "Refining type for FLOAT(%d,%d)", precision, scale);
      if (precision && scale && scale < precision) column.extra = scale | precision << 8;
    }
    const udb_field& def_field = row[row.size() - 2];
    const std::wstring def = def_field.to_wstring();
    tk_wtrace(2, L"Got default value: %s", def.c_str());
    if (column.not_null || !def.empty()) {
      tk_trace(2, "Default value's type: %08X", column.vartype);
      if (column.vartype == VT_DATE && is_zero_date(def)) {
        tk_trace(2, "Skip empty def.values for date column");
        column.not_null = false;
        column.default_value = ole_variant();
      } else if (column.vartype == VT_BSTR || column.vartype == VT_DATE) {
        column.default_value = ole_variant(def);
      } else {
        column.default_value = get_variant(def.c_str(), column.vartype);
      }
    }
  }
  columns.reset();

  std::unique_ptr<udb_recordset> keys = m_database.query(L"SHOW INDEX FROM " + table);
  for (; keys && !keys->is_eof(); keys->next()) {
    const udb_record& row = *keys->get_record();
    const bool unique = text_of(row, 1) == L"0";
    const std::wstring key = text_of(row, 2);
    const bool primary = key == L"PRIMARY";
    const std::wstring column = text_of(row, 4);
    tk_wtrace(2, L"Got index '%s' (primary=%d, unique=%d)", key.c_str(), primary, unique);
    if (indexes_.is_acceptable_name(key)) {
      udb_index index;
      index.name = key;
      index.unique = unique;
      index.primary = primary;
      index.columns.push_back(column);
      add_index(index);
    } else {
      indexes_.get_index(key).columns.push_back(column);
    }
  }
  keys.reset();

  if (engine.server_version() >= sql_version::v3_23_44) {
    tk_trace(2, "Extracting foreign keys");
    std::unique_ptr<udb_recordset> create = m_database.query(L"SHOW CREATE TABLE " + table);
    for (; create && !create->is_eof(); create->next()) {
      const udb_record& row = *create->get_record();
      const std::wstring create_text = text_of(row, row.size() - 1);
      m_transactional = create_text.find(L"ENGINE=InnoDB") != std::wstring::npos;
      sql_fk_parser parser(name_, tk_to_utf8(create_text));
      parser.do_parse(m_foreign_keys);
    }
  }
}

// ---------------------------------------------------------------- appending

namespace {

// The UTF-8 text of a row into a buffer kept from row to row: the plain ASCII
// most rows are made of is copied as it is, whatever follows the first other
// character is converted as tk_to_utf8 does (character by character, so that
// the text is the same).
void assign_utf8(std::string& out, std::wstring_view text) {
  out.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<std::uint32_t>(text[i]);
    if (c >= 0x80) {
      out.resize(i);
      out += tk_to_utf8(text.substr(i));
      return;
    }
    out[i] = static_cast<char>(c);
  }
}

}  // namespace

void sql_table::build_plan(const udb_record& record, column_plan& plan) const {
  const sql_engine& engine = sql_engine::instance();
  for (size_t i = 0; i < record.size(); ++i) plan.field_names.push_back(record[i].get_name());
  if (record.size() >= schema_.size()) {
    tk_trace(1, "Size of schema is less or equal to the size of record");
    sql_field_finder finder(record);
    for (size_t c = 0; c < schema_.size(); ++c) {
      const int f = finder.get_field_idx(schema_[c].name);
      if (f < 0) {
        tk_wtrace(1, L"Field %s not found in appending record", schema_[c].name.c_str());
        throw tk_exception(structure_message, 0);
      }
      if (c) plan.columns += L", ";
      plan.columns += engine.quote_name(schema_[c].name);
      plan.values.emplace_back(static_cast<size_t>(f), c);
    }
    return;
  }
  tk_trace(1, "Size of record is less than size of schema");
  std::unique_ptr<udb_validator> validator = engine.create_fn_validator(record);
  for (size_t f = 0; f < record.size(); ++f) {
    std::wstring name = record[f].get_name();
    if (!validator->is_acceptable(name)) {
      name = validator->get_safe_name(name);
      validator->used_names().push_back(name);
    }
    tk_wtrace(1, L"Name=%s, mapped name=%s", record[f].get_name().c_str(), name.c_str());
    size_t c = 0;
    while (c < schema_.size() && tk_wcompare_nocase(schema_[c].name, name) != 0) ++c;
    if (c == schema_.size()) {
      tk_wtrace(1, L"Field %s not found", name.c_str());
      throw tk_exception(structure_message, 0);
    }
    if (f) plan.columns += L", ";
    plan.columns += engine.quote_name(schema_[c].name);
    plan.values.emplace_back(f, c);
  }
}

const sql_table::column_plan& sql_table::plan_for(const udb_record& record) {
  bool same = m_plan.field_names.size() == record.size() && !m_plan.values.empty();
  for (size_t i = 0; same && i < record.size(); ++i)
    same = m_plan.field_names[i] == record[i].get_name();
  if (!same) {
    column_plan plan;
    build_plan(record, plan);
    m_plan = std::move(plan);
  }
  return m_plan;
}

void sql_table::append_record(const udb_record& record) {
  tk_trace(1, "sql_table::append_record");
  ++m_appended;
  if (sql_engine::instance().fast_insert())
    fast_append(record);
  else
    slow_append(record);
  ++records_count_;
}

void sql_table::fast_append(const udb_record& record) {
  tk_trace(1, "sql_table::fast_append");
  const column_plan& plan = plan_for(record);
  // Rows go into one statement only when they name the same columns.
  if (!m_pending.text.empty() && m_pending.columns != plan.columns) dispatch();
  // The row is built whole before it joins the statement, so that a value that
  // cannot be written leaves the statement as it was.
  m_row.assign(1, L'(');
  for (size_t k = 0; k < plan.values.size(); ++k) {
    if (k) m_row += L", ";
    append_fld_str(m_row, &record[plan.values[k].first], &schema_[plan.values[k].second]);
  }
  m_row += L')';
  assign_utf8(m_row_utf8, m_row);
  const std::string& row = m_row_utf8;
  block& pending = m_pending;
  if (!fits_in_statement(row, plan.columns)) return;
  if (pending.text.empty()) {
    tk_trace(1, "Initialize new query...");
    const std::wstring head =
        L"INSERT INTO " + sql_engine::instance().quote_name(name_) + L"(" + plan.columns + L") VALUES";
    pending.text = tk_to_utf8(head);
    pending.head = pending.text.size();
    pending.chars = head.size();
    pending.columns = plan.columns;
  } else {
    pending.text += ", ";
    pending.chars += 2;
  }
  const size_t begin = pending.text.size();
  pending.text += row;
  pending.chars += m_row.size();
  pending.rows.push_back({m_appended, begin, pending.text.size()});
  tk_trace(1, "*** FAST INSERT MODE ***");
  if (pending.chars > block_limit) dispatch();
}

// A row that would take the block past the largest statement the server takes sends
// the block first; a row too large for any statement is refused alone (false).
bool sql_table::fits_in_statement(const std::string& row, const std::wstring& columns) {
  const size_t limit = sql_engine::instance().max_statement();
  if (limit == 0) return true;
  // The command byte of the packet counts as well.
  if (!m_pending.text.empty() && m_pending.text.size() + 2 + row.size() + 1 > limit) dispatch();
  if (!m_pending.text.empty()) return true;
  const size_t head = tk_to_utf8(L"INSERT INTO " + sql_engine::instance().quote_name(name_) + L"(" +
                                 columns + L") VALUES")
                          .size();
  const size_t needed = head + row.size() + 1;
  if (needed <= limit) return true;
  const sql_exception error(
      tk_format("The record is too large for the server: its INSERT statement takes %zu bytes, "
                "and the server accepts statements of at most %zu bytes (max_allowed_packet).",
                needed, limit),
      ER_NET_PACKET_TOO_LARGE);
  tk_trace(2, "Record #%u: %s", m_appended, error.what());
  if (!error_handler::exists()) throw error;
  report_row_failure(m_appended, error);
  return false;
}

void sql_table::slow_append(const udb_record& record) {
  tk_trace(1, "sql_table::slow_append");
  const column_plan& plan = plan_for(record);
  std::wstring statement = L"INSERT INTO " + sql_engine::instance().quote_name(name_) + L"(" +
                           plan.columns + L") VALUES (";
  for (size_t k = 0; k < plan.values.size(); ++k) {
    if (k) statement += L", ";
    append_fld_str(statement, &record[plan.values[k].first], &schema_[plan.values[k].second]);
  }
  statement += L")";
  tk_wtrace(2, L"Run SQL query: %s", statement.c_str());
  const std::vector<pending_row> row{{m_appended, 0, 0}};
  if (!send_row(tk_to_utf8(statement), row, 0)) throw sql_exception(sql_engine::instance().connection());
}

void sql_table::dispatch() {
  if (m_pending.text.empty()) return;
  sql_engine& engine = sql_engine::instance();
  engine.settle();  // the block before this one is answered first
  m_in_flight = std::move(m_pending);
  m_pending.clear();
  tk_trace(2, "Run SQL query: [%s]", m_in_flight.text.c_str());
  if (!engine.send_deferred(m_in_flight.text, this)) {
    block failed = std::move(m_in_flight);
    m_in_flight.clear();
    refused(failed);
  }
}

void sql_table::settle() {
  const bool ok = sql_engine::instance().read_result();
  block sent = std::move(m_in_flight);
  m_in_flight.clear();
  if (ok) {
    tk_trace(1, "Cleaning append_buffer...");
    m_rows_on_server += sent.rows.size();
    if (!sent.rows.empty()) m_last_accepted = sent.rows.back().record;
    return;
  }
  refused(sent);
}

void sql_table::flush() {
  dispatch();
  sql_engine::instance().settle();
}

void sql_table::refused(const block& failed) {
  MYSQL* connection = sql_engine::instance().connection();
  const unsigned error = mysql_errno(connection);
  tk_trace(2, "Block of %d rows refused: %s", static_cast<int>(failed.rows.size()), mysql_error(connection));
  switch (refusal_of(error)) {
    case refusal::connection: connection_lost(failed.rows, 0, failed.rows.size());
    case refusal::table: {
      const std::wstring cause = L"the server refuses every record of it (" + server_reason(connection) + L")";
      const size_t kept = rows_kept_of(failed);
      end_table(cause, kept < failed.rows.size() ? failed.rows[kept].record : m_appended + 1);
    }
    default:
      // A lock on one key, a deadlock, a record the server refuses: each row on
      // its own, so that only the rows the server refuses are lost.
      resend_rows_one_by_one(failed);
  }
}

size_t sql_table::rows_kept_of(const block& failed) {
  if (m_transactional) return 0;  // a refused statement keeps nothing
  // The rows before the one that failed may have been stored.
  unsigned long long now = 0;
  try {
    now = rows_on_server();
  } catch (const sql_exception& e) {
    const unsigned error = static_cast<unsigned>(e.get_code()) & 0xFFFFu;
    const std::wstring reason = tk_from_utf8(e.what());
    const refusal kind = refusal_of(error);
    if (kind == refusal::connection) connection_lost(failed.rows, 0, failed.rows.size());
    // Without the count the rows cannot be sent again: some may be stored.
    const unsigned first = failed.rows.empty() ? m_appended + 1 : failed.rows.front().record;
    end_table((kind == refusal::lock || kind == refusal::deadlock
                   ? std::wstring(lock_cause) + L"counting its rows waited for it longer than the lock timeout ("
                   : std::wstring(L"its rows cannot be counted (")) +
                  reason + L")",
              first, false);
  }
  size_t kept = 0;
  if (now > m_rows_on_server)
    kept = static_cast<size_t>(std::min<unsigned long long>(now - m_rows_on_server, failed.rows.size()));
  m_rows_on_server += kept;
  if (kept) m_last_accepted = failed.rows[kept - 1].record;
  return kept;
}

// The server refused the block as a whole: each row is sent again on its own.
void sql_table::resend_rows_one_by_one(const block& failed) {
  std::unique_ptr<sql_exception> first_failure;
  std::string statement;
  for (size_t i = rows_kept_of(failed); i < failed.rows.size(); ++i) {
    const pending_row& row = failed.rows[i];
    statement.assign(failed.text, 0, failed.head);
    statement.append(failed.text, row.begin, row.end - row.begin);
    if (send_row(statement, failed.rows, i)) continue;
    sql_exception error(sql_engine::instance().connection());
    tk_trace(2, "Record #%u refused: %s", row.record, error.what());
    if (!error_handler::exists()) {
      if (!first_failure) first_failure = std::make_unique<sql_exception>(error);
      continue;
    }
    report_row_failure(row.record, error);
  }
  if (first_failure) throw sql_exception(*first_failure);
}

// A lock costs one record, not one for each: the first that waits in vain ends
// the table. A record the server refuses for itself is false, its error left on
// the connection.
bool sql_table::send_row(const std::string& statement, const std::vector<pending_row>& rows, size_t i) {
  sql_engine& engine = sql_engine::instance();
  MYSQL* connection = engine.connection();
  const unsigned record = rows[i].record;
  for (bool retried = false;; retried = true) {
    if (engine.send_utf8(statement)) {
      ++m_rows_on_server;
      m_last_accepted = record;
      return true;
    }
    switch (refusal_of(mysql_errno(connection))) {
      case refusal::deadlock:
        if (!retried) {
          tk_trace(2, "Record #%u was chosen to break a deadlock: sent once more", record);
          continue;
        }
        [[fallthrough]];
      case refusal::lock:
        end_table(std::wstring(lock_cause) + L"record #" + std::to_wstring(record) +
                      L" waited for it longer than the lock timeout (" + server_reason(connection) + L")",
                  record);
      case refusal::table:
        end_table(L"the server refuses every record of it (" + server_reason(connection) + L")", record);
      case refusal::connection: connection_lost(rows, i, i + 1);
      case refusal::record: return false;
    }
  }
}

unsigned long long sql_table::rows_on_server() { return m_database.row_count(name_); }

void sql_table::report_row_failure(unsigned record, const tk_exception& error) {
  error_handler& reporter = error_handler::instance();
  reporter.set_record_context(name_, static_cast<int>(record));
  reporter.handle(error, false);
}

void sql_table::end_table(const std::wstring& cause, unsigned first_not_stored, bool certain) {
  // Nothing more goes to the table: the rows held here are not sent.
  m_pending.clear();
  m_in_flight.clear();
  const std::wstring from = std::to_wstring(first_not_stored);
  const std::wstring message =
      L"Table '" + name_ + L"': " + cause + L". The table ends here: " +
      (certain ? L"record #" + from + L" and the records after it were not stored."
               : L"of record #" + from + L" and the records after it, some may be stored.");
  tk_wtrace(2, L"%s", message.c_str());
  throw tk_table_exception(message);
}

// The server may have stored the rows whose answer was lost: the run learns how
// many on a new connection, once the old session is over, from the table's row
// count (nobody else writes the table while the run loads it).
void sql_table::connection_lost(const std::vector<pending_row>& rows, size_t first, size_t last) {
  sql_engine& engine = sql_engine::instance();
  const std::wstring reason = server_reason(engine.connection());
  tk_wtrace(2, L"Connection lost: %s", reason.c_str());
  m_pending.clear();
  m_in_flight.clear();
  last = std::min(last, rows.size());
  first = std::min(first, last);
  const unsigned confirmed = m_last_accepted;
  std::wstring message =
      L"The connection to the MySQL server was lost while writing table '" + name_ + L"' (" + reason + L"). ";
  std::wstring unknown = engine.replace_lost_session();
  if (unknown.empty()) {
    unsigned long long now = 0;
    try {
      now = rows_on_server();
    } catch (const sql_exception& e) {
      unknown = L"its rows cannot be counted: " + tk_from_utf8(e.what());
    }
    if (unknown.empty()) {
      size_t stored = 0;
      if (now > m_rows_on_server)
        stored = static_cast<size_t>(std::min<unsigned long long>(now - m_rows_on_server, last - first));
      const unsigned stored_last = stored ? rows[first + stored - 1].record : confirmed;
      message += stored_last ? L"The last record stored is #" + std::to_wstring(stored_last) +
                                   L"; no record after it was stored."
                             : std::wstring(L"No record of this table was stored.");
      throw tk_connection_lost(message);
    }
  }
  message += L"What the table holds cannot be told, " + unknown + L". ";
  message += confirmed ? L"The last record the server confirmed is #" + std::to_wstring(confirmed)
                       : std::wstring(L"The server confirmed no record of this table");
  if (first < last)
    message += L"; records #" + std::to_wstring(rows[first].record) + L" to #" +
               std::to_wstring(rows[last - 1].record) + L" were sent after it and may be stored.";
  else
    message += L", and no record after it was sent.";
  throw tk_connection_lost(message);
}

// ---------------------------------------------------------------- updating

void sql_table::update(const udb_record& record) {
  tk_trace(1, "sql_table::update");
  sql_engine& engine = sql_engine::instance();
  std::unique_ptr<udb_validator> validator = engine.create_fn_validator(record);
  if (key_index_ < 0) {
    tk_trace(1, "There's no primary/unique key");
    return;
  }
  if (static_cast<size_t>(key_index_) >= indexes_.size()) throw tk_mail_assertion("sql_tab", 379);
  const udb_index& key = indexes_[key_index_];
  std::wstring set_list, where_list;
  for (size_t i = 0; i < record.size(); ++i) {
    std::wstring name = record[i].get_name();
    if (!validator->is_acceptable(name)) name = validator->get_safe_name(name);
    tk_wtrace(1, L"Got mappend fn: %s", name.c_str());
    if (!schema_.find_field(name)) {
      tk_wtrace(1, L"Field '%s' is not found in schema", name.c_str());
      continue;
    }
    bool in_key = false;
    for (const std::wstring& column : key.columns)
      if (tk_wcompare_nocase(column, name) == 0) in_key = true;
    std::wstring& list = in_key ? where_list : set_list;
    if (!list.empty()) list += in_key ? L" AND " : L", ";
    list += engine.quote_name(name) + L"=" + field_to_mysql_str(&record[i]);
    tk_wtrace(1, in_key ? L"Field %s is a part of UKey" : L"Field %s is NOT a part of UKey",
              name.c_str());
  }
  const std::wstring statement =
      L"UPDATE " + engine.quote_name(name_) + L" SET " + set_list + L" WHERE " + where_list;
  tk_wtrace(2, L"UPDATE QUERY: %s", statement.c_str());
  if (where_list.empty()) {
    tk_trace(1, "Missing primary/unique key");
    return;
  }
  if (set_list.empty()) return;  // only key columns: nothing to change
  m_database.query(statement);
}
