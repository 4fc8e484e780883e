#include "SQL/sql_dump.h"

#include <cerrno>
#include <ctime>

#include <mysqld_error.h>

#include "SQL/sql_engi.h"
#include "SQL/sql_init.h"
#include "SQL/sql_util.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_rec.h"
#include "platform/kernel/last_error.h"
#include "platform/kernel/path.h"

namespace {

// The server versions a dump is written for. The new dialect takes the first
// server with utf8mb4, so that text outside the BMP loads.
constexpr unsigned new_dialect_version = sql_version::v5_5_3;
constexpr unsigned old_dialect_version = 0x31401;  // 3.20.1

const char* const maker_web_address = "http://www.veltrask.com";

bool is_new_dialect() { return sql_engine::instance().server_version() >= sql_version::v4_1_0; }

std::wstring quoted(const std::wstring& name) { return sql_engine::instance().quote_name(name); }

std::wstring quoted_list(const std::vector<std::wstring>& names) {
  std::wstring text;
  for (const std::wstring& name : names) {
    if (!text.empty()) text += L", ";
    text += quoted(name);
  }
  return text;
}

// The system's text for the last C library failure, without its line break.
std::wstring errno_text(int err) {
  std::string text = kernel::system_message(kernel::error_from_errno(err)).value_or("");
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return tk_from_ansi(text);
}

std::string local_date() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return tk_format("%02d/%02d/%04d", local.tm_mon + 1, local.tm_mday, local.tm_year + 1900);
}

// Text for a comment line: a line break inside would end the comment.
std::string comment_text(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\n') c = ' ';
  return text;
}

// The session a dump is loaded in, whatever the loading server's own settings:
// backslash escapes and back-quoted names read as written, a 0 stays 0 in an
// AUTO_INCREMENT column, and a value the server would change is refused rather
// than stored altered. Each setting is read only by the servers that know it.
const wchar_t* const session_head[] = {
    L"/*!40101 SET @ORV_OLD_SQL_MODE = @@SQL_MODE, SQL_MODE = 'NO_AUTO_VALUE_ON_ZERO' */",
    L"/*!50002 SET SQL_MODE = 'NO_AUTO_VALUE_ON_ZERO,STRICT_TRANS_TABLES,STRICT_ALL_TABLES' */",
    L"/*!32315 SET AUTOCOMMIT = 1 */"};
const wchar_t* const session_tail = L"/*!40101 SET SQL_MODE = @ORV_OLD_SQL_MODE */";

// The text without the blanks, line breaks and semicolons at its end.
std::wstring without_terminator(const std::wstring& text) {
  const size_t end = text.find_last_not_of(L" \t\r\n;");
  return end == std::wstring::npos ? std::wstring() : text.substr(0, end + 1);
}

// True when no value can go into the column: NULL (or an empty text in a column
// that is not text) for a NOT NULL column without a default, which the server
// would refuse and the loading client stop at.
bool lacks_value(const udb_field& field, const t_ftd& column) {
  if (!column.not_null || column.auto_increment) return false;
  const VARTYPE vt = field.get_type();
  const VARIANT& value = field.ole_variant::get_variant();
  const bool empty = vt == VT_NULL || vt == VT_EMPTY ||
                     (vt == VT_BSTR && column.vartype != VT_BSTR && SysStringLen(value.bstrVal) == 0);
  return empty && column.default_value.to_wstring().empty();
}

// Appends a value literal with the characters a MySQL client changes or refuses
// inside a statement (CR, LF, NUL, Ctrl-Z) written as escapes: a client loading
// the file turns CR LF into LF and stops at NUL.
void append_client_safe(std::wstring& out, const std::wstring& literal) {
  for (wchar_t c : literal) {
    switch (c) {
      case L'\r': out += L"\\r"; break;
      case L'\n': out += L"\\n"; break;
      case L'\0': out += L"\\0"; break;
      case L'\x1a': out += L"\\Z"; break;
      default: out += c;
    }
  }
}

}  // namespace

// ---------------------------------------------------------------- engine

std::unique_ptr<dmp_database> sql_engine::create_dump(const std::wstring& path,
                                                      const dmp_settings& settings) {
  tk_wtrace(2, L"sql_engine::create_dump (%s)", path.c_str());
  tk_wtrace(3, L"Creating MySQL dump file '%s'", path.c_str());
  return std::make_unique<dmp_database>(path, settings);
}

// ---------------------------------------------------------------- database

dmp_database::dmp_database(const std::wstring& path, const dmp_settings& settings)
    : udb_database(path, UDB_MODE_READ_ONLY), m_settings(settings) {
  tk_wtrace(2, L"dmp_database::ctor(%s)", path.c_str());
  sql_engine& engine = sql_engine::instance();
  engine.set_server_version(m_settings.new_version ? new_dialect_version : old_dialect_version);
  // The servers that load the file include those whose InnoDB keeps COMPACT rows
  // (the default before MySQL 5.7.9 and MariaDB 10.2.2, and a setting of later
  // ones): its tables fit those, whatever server the engine spoke to before.
  engine.set_default_row_format("compact");
  tk_trace(1, "b_new_ver=%d", m_settings.new_version ? 1 : 0);

  // A path the code page cannot hold would name another file.
  std::string narrow;
  if (path.empty() || !tk_to_ansi_exact(path, narrow)) narrow.clear();
  errno = 0;
  if (!narrow.empty()) m_file.open(narrow, std::ios::out | std::ios::binary | std::ios::trunc);
  if (!m_file.is_open()) {
    const int err = narrow.empty() ? 0 : errno;
    tk_trace(2, "Failed to open file");
    m_closed = true;
    std::wstring message = L"Cannot open the dump file '" + path + L"'";
    if (err != 0) message += L": " + errno_text(err);
    throw tk_exception(message, 1);
  }
  write_header();
}

dmp_database::~dmp_database() {
  try {
    close();
  } catch (const std::exception& e) {
    tk_trace(2, "The dump file was not finished: %s", e.what());
  }
}

void dmp_database::write_header() {
  const char* eol = m_settings.get_eol();
  if (m_settings.insert_comments) {
    write("# File name: " + comment_text(tk_to_utf8(name_)) + eol);
    write("# Creation date: " + local_date() + eol);
    write("# Created by " + comment_text(m_settings.creator) + eol);
    write(std::string("# --------------------------------------------------") + eol);
    write(std::string("# More conversion tools at ") + maker_web_address + eol);
  }
  // The file is UTF-8; a client whose connection takes another character set
  // would store other characters.
  if (m_settings.new_version) write_statement(L"SET NAMES utf8mb4");
  for (const wchar_t* setting : session_head) write_statement(setting);
  if (m_settings.create_database && m_settings.create_table) {
    const std::wstring name = quoted(database_name(name_));
    write(eol);
    write_statement(L"DROP DATABASE IF EXISTS " + name);
    write_statement(L"CREATE DATABASE " + name);
    write_statement(L"USE " + name);
  }
}

std::wstring dmp_database::database_name(const std::wstring& path) {
  std::wstring name = kernel::split_path(std::wstring_view(path)).fname;
  std::unique_ptr<udb_validator> validator = sql_engine::instance().create_dn_validator();
  if (!validator->is_acceptable(name)) name = validator->get_safe_name(name);
  return name;
}

void dmp_database::write(std::string_view text) {
  if (m_closed) fail("write", 0);
  errno = 0;
  m_file.write(text.data(), static_cast<std::streamsize>(text.size()));
  check("write");
}

void dmp_database::write_line(std::string_view text) {
  write(text);
  write(m_settings.get_eol());
}

void dmp_database::write_statement(std::wstring_view statement) {
  std::string text = tk_to_utf8(statement);
  text += ';';
  text += m_settings.get_eol();
  write(text);
}

void dmp_database::check(const char* what) {
  if (!m_file.good()) fail(what, errno);
}

void dmp_database::fail(const char* what, int err) {
  tk_trace(2, "Failed to %s the dump file", what);
  std::wstring message = L"Cannot " + tk_from_ansi(what) + L" the dump file '" + name_ + L"'";
  if (err != 0) message += L": " + errno_text(err);
  throw tk_exception(message, 1);
}

void dmp_database::close_table_lock() {
  sql_engine& engine = sql_engine::instance();
  if (!engine.pending_table_lock()) return;
  engine.set_pending_table_lock(false);
  write_statement(L"UNLOCK TABLES");
}

void dmp_database::close() {
  if (m_closed) return;
  close_table_lock();
  write_statement(session_tail);
  errno = 0;
  m_file.flush();
  check("write");
  m_closed = true;
  m_file.close();
  if (m_file.fail()) fail("close", errno);
}

std::unique_ptr<udb_recordset> dmp_database::create_table(const std::wstring& name,
                                                          const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  tk_wtrace(2, L"dmp_database::create_table(%s)", name.c_str());
  if (is_table_exist(name)) throw tk_mail_assertion("sql_dump", 247);
  // The server refuses a table without columns; the file would not load.
  if (schema.empty()) throw sql_exception("A table must have at least 1 column", 1113);

  // The statement first: a failure leaves nothing of the table in the file.
  const std::wstring line = m_settings.get_weol();
  std::wstring auto_name;
  sql_schema_initializer columns(name, schema, indexes, auto_name);
  std::vector<std::wstring> chunks;
  columns.get_init_chunks(chunks);
  std::wstring statement = L"CREATE TABLE " + quoted(name) + L" (" + line;
  for (size_t i = 0; i < chunks.size(); ++i) {
    if (i) statement += L"," + line;
    statement += L"  " + chunks[i];
  }
  sql_indexes_initializer keys(columns.destination(), indexes, auto_name, columns.generated_names(),
                               columns.needs_myisam());
  chunks.clear();
  keys.get_init_chunks(chunks);
  for (const std::wstring& chunk : chunks) statement += L"," + line + L"  " + chunk;
  statement += line + L")";

  close_table_lock();
  const char* eol = m_settings.get_eol();
  const std::string comment_name = comment_text(tk_to_utf8(name));
  if (m_settings.create_table) {
    if (m_settings.insert_comments) {
      write(std::string(eol) + "#" + eol + "# Table structure for table '" + comment_name + "'" +
            eol + "#" + eol + eol);
    }
    write_statement(L"DROP TABLE IF EXISTS " + quoted(name));
  }

  if (m_settings.create_table) {
    tk_trace(1, "Right before inserting CREATE TABLE statement");
    // New dialect: InnoDB, whose keys hold a utf8mb4 VARCHAR(255) (MyISAM's stop at
    // 1000 bytes) and which keeps the foreign keys of the dump; MyISAM for a table
    // whose rows InnoDB cannot hold in COMPACT rows.
    if (is_new_dialect()) {
      tk_trace(1, "New version of dump file");
      statement += columns.needs_myisam() ? L" ENGINE=MyISAM" : L" ENGINE=InnoDB";
    } else {
      tk_trace(1, "Old version of dump file");
      statement += L" TYPE=MyISAM";
    }
    write_statement(statement);
  }

  if (m_settings.insert_comments) {
    write(std::string(eol) + "#" + eol + "# Dumping data for table '" + comment_name + "'" + eol +
          "#" + eol + eol);
  }
  if (m_settings.lock_tables) {
    write_statement(L"LOCK TABLES " + quoted(name) + L" WRITE");
    sql_engine::instance().set_pending_table_lock(true);
  }

  tables_.push_back(name);
  names_map_.add_fn_map(name, columns.generated_names().entries());
  m_indexes[name] = indexes;
  return std::make_unique<dmp_recordset>(*this, name, columns.destination());
}

std::unique_ptr<udb_recordset> dmp_database::get_table(const std::wstring&, int) {
  throw tk_mail_assertion("sql_dump", 117);
}

std::unique_ptr<udb_recordset> dmp_database::get_query(const std::wstring&, const std::wstring&) {
  return nullptr;
}

bool dmp_database::test_query(const std::wstring&) { return false; }

std::unique_ptr<udb_recordset> dmp_database::query(const std::wstring& statement) {
  tk_wtrace(2, L"dmp_database::query(%s)", statement.c_str());
  close_table_lock();
  write_statement(statement);
  return nullptr;
}

void dmp_database::create_relationships(const udb_relationships& relationships) {
  tk_trace(2, "dmp_database::create_relationships");
  const unsigned version = sql_engine::instance().server_version();
  if (version < sql_version::v4_1_0) {
    tk_trace(2, "This version of MySQL (%08X) doesn't support Foreign Keys", version);
    return;
  }
  close_table_lock();
  write(m_settings.get_eol());
  write_statement(L"SET FOREIGN_KEY_CHECKS = 0");

  // An index that starts with the columns, unless the table has one already.
  auto index_columns = [this](const std::wstring& table, const std::vector<std::wstring>& source) {
    std::vector<std::wstring> generated;
    for (const std::wstring& column : source)
      generated.push_back(names_map_.get_fn_mapped_name(table, column, false));
    tk_trace(1, "udb_indexes::has_index_on_fields");
    auto found = m_indexes.find(table);
    if (found != m_indexes.end()) {
      for (const udb_index& index : found->second) {
        if (index.starts_with_fields(source)) {
          tk_wtrace(2, L"Child index for table '%s' exists", table.c_str());
          return generated;
        }
      }
    }
    write_statement(L"ALTER TABLE " + quoted(table) + L" ADD INDEX (" + quoted_list(generated) +
                    L")");
    m_indexes[table].push_back(udb_index{L"", false, false, source});
    return generated;
  };

  for (const udb_relationship& fk : relationships) {
    const std::wstring table = names_map_.get_tn_mapped_name(fk.table, false);
    const std::wstring ref_table = names_map_.get_tn_mapped_name(fk.ref_table, false);
    tk_wtrace(2, L"Processing FK '%s'", table.c_str());
    // A key on a table this file does not create would stop the load.
    if (!is_table_exist(table) || !is_table_exist(ref_table)) {
      tk_wtrace(2, L"Table of FK '%s' is not in the dump: skipped", fk.name.c_str());
      continue;
    }
    const std::vector<std::wstring> columns = index_columns(table, fk.columns);
    // The server needs an index on the referenced columns as well.
    const std::vector<std::wstring> ref_columns = index_columns(ref_table, fk.ref_columns);
    write_statement(L"ALTER TABLE " + quoted(table) + L" ADD CONSTRAINT " + quoted(fk.name) +
                    L" FOREIGN KEY(" + quoted_list(columns) + L") REFERENCES " +
                    quoted(ref_table) + L"(" + quoted_list(ref_columns) + L")");
  }
  write_statement(L"SET FOREIGN_KEY_CHECKS = 1");
}

void dmp_database::create_views(const query_map& queries) {
  tk_trace(2, "dmp_database::create_views");
  // A view under an open table lock would not see the other tables.
  if (!queries.empty()) close_table_lock();
  for (const auto& [name, text] : queries) {
    tk_wtrace(1, L"Processing '%s'", name.c_str());
    tk_wtrace(1, L"\t'%s'", text.c_str());
    // The terminator on a line of its own: a view text may end in a "--" comment.
    write_line(tk_to_utf8(L"CREATE OR REPLACE VIEW " + quoted(name) + L" AS " +
                          to_mysql_quotes(without_terminator(text))));
    write_line(";");
  }
}

// ---------------------------------------------------------------- recordset

dmp_recordset::dmp_recordset(dmp_database& database, const std::wstring& name,
                             const udb_schema& schema)
    : udb_recordset(name, true), m_database(database) {
  tk_wtrace(2, L"dmp_recordset::dmp_recordset(%s)", name.c_str());
  const udb_names_map& names = database.get_names_map();
  std::wstring columns;
  for (const t_ftd* column : schema) {
    schema_.push_back(std::make_unique<t_ftd>(*column));
    std::wstring source = names.get_fn_orig_name(name, column->name, true);
    tk_wtrace(1, L"Name=%s, original name=%s", column->name.c_str(), source.c_str());
    m_source_names.push_back(std::move(source));
    if (!columns.empty()) columns += L", ";
    columns += quoted(column->name);
  }
  m_head = L"INSERT INTO " + quoted(name) + L"(" + columns + L") VALUES";
}

dmp_recordset::~dmp_recordset() {
  tk_trace(2, "dmp_recordset::dtor");
  try {
    flush();
  } catch (const std::exception& e) {
    tk_trace(2, "Rows of the table could not be written: %s", e.what());
  }
}

void dmp_recordset::update(const udb_record&) { tk_trace(2, "dmp_recordset::update"); }

const udb_field& dmp_recordset::find_field(const udb_record& record, size_t column) const {
  const std::wstring& source = m_source_names[column];
  // The field at the column's own position when it carries the name: two source
  // fields of one name (told apart by the generated names) keep their own values.
  if (column < record.size() && record[column].get_name() == source) return record[column];
  if (const udb_field* field = record.get_field(source)) return *field;
  tk_wtrace(1, L"Field %s not found", source.c_str());
  throw sql_exception(std::string("Generic error occurred while migrating the data.\nContact to ") +
                          tk_service_address + " for the solution.",
                      0);
}

void dmp_recordset::append_record(const udb_record& record) {
  tk_trace(1, "dmp_recordset::append_record");
  if (m_pending.empty()) tk_trace(1, "Initialize new query...");
  const size_t mark = m_pending.size();
  try {
    m_pending += m_pending.empty() ? m_head + L"(" : std::wstring(L", (");
    for (size_t i = 0; i < schema_.size(); ++i) {
      if (i) m_pending += L", ";
      m_literal.clear();
      const udb_field& field = find_field(record, i);
      if (lacks_value(field, schema_[i])) {
        tk_wtrace(2, L"No value for NOT NULL column %s: record left out", schema_[i].name.c_str());
        throw sql_exception(tk_format("Column '%s' cannot be null", tk_to_utf8(schema_[i].name).c_str()),
                            ER_BAD_NULL_ERROR);
      }
      const VARTYPE vt = field.get_type();
      if (schema_[i].auto_increment && (vt == VT_NULL || vt == VT_EMPTY)) {
        m_pending += L"NULL";  // the server numbers the row
        continue;
      }
      append_fld_str(m_literal, &field, &schema_[i]);
      append_client_safe(m_pending, m_literal);
    }
    m_pending += L")";
  } catch (...) {
    m_pending.resize(mark);  // the rows gathered so far stay whole
    throw;
  }
  ++records_count_;
  if (m_pending.size() > statement_limit) flush();
}

void dmp_recordset::flush() {
  if (m_pending.empty()) return;
  std::wstring statement;
  statement.swap(m_pending);
  tk_wtrace(2, L"Run SQL query: [%s]", statement.c_str());
  m_database.write_statement(statement);
  tk_trace(1, "Cleaning append_buffer...");
}
