// A database file standing in for an Access database: a SQLite file whose
// columns are declared with the Jet type names, so that their DAO types read back.
#include <sqlite3.h>

#include <cstring>
#include <filesystem>

#include "platform/dao/dao_store.h"
#include "platform/dao/dao_types.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/jet_sql.h"
#include "platform/dao/number_text.h"

namespace jet {

namespace {

std::string declared(const column_info& c) {
  switch (c.type) {
    case dbBoolean: return "BOOLEAN";
    case dbByte: return "BYTE";
    case dbInteger: return "SHORT";
    case dbLong: return (c.attributes & dbAutoIncrField) ? "COUNTER" : "LONG";
    case dbCurrency: return "CURRENCY";
    case dbSingle: return "SINGLE";
    case dbDouble: return "DOUBLE";
    case dbDate: return "DATETIME";
    case dbBinary: return "BINARY(" + std::to_string(c.size > 0 ? c.size : 255) + ")";
    case dbLongBinary: return "LONGBINARY";
    case dbMemo: return "MEMO";
    case dbGUID: return "GUID";
    default: return "TEXT(" + std::to_string(c.size > 0 ? c.size : 255) + ")";
  }
}

// A DAO default ("abc" in quotes, 12, =Now()) as an SQL literal.
std::string default_literal(const std::string& text) {
  std::string t = text;
  if (!t.empty() && t[0] == '=') t.erase(0, 1);
  if (t.size() >= 2 && ((t.front() == '"' && t.back() == '"') || (t.front() == '\'' && t.back() == '\'')))
    return sql_text_literal(t.substr(1, t.size() - 2));
  if (parse_number(t)) return t;
  return sql_text_literal(t);
}

class statement {
 public:
  statement(sqlite3* db, const std::string& sql) {
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr) != SQLITE_OK) {
      std::string message = sqlite3_errmsg(db);
      sqlite3_finalize(stmt_);
      stmt_ = nullptr;
      throw_jet(err_query_syntax, message);
    }
  }
  ~statement() { sqlite3_finalize(stmt_); }
  bool step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    std::string message = sqlite3_errmsg(sqlite3_db_handle(stmt_));
    if (sqlite3_extended_errcode(sqlite3_db_handle(stmt_)) == SQLITE_CONSTRAINT_UNIQUE ||
        sqlite3_extended_errcode(sqlite3_db_handle(stmt_)) == SQLITE_CONSTRAINT_PRIMARYKEY)
      throw_jet(err_duplicate_key);
    throw_jet(err_reserved, message);
  }
  std::string text(int col) const {
    auto* t = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
    return t ? t : "";
  }
  long long integer(int col) const { return sqlite3_column_int64(stmt_, col); }
  bool is_null(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

class file_rows : public row_stream {
 public:
  explicit file_rows(sqlite3_stmt* stmt) : cursor_(nullptr, stmt) {}
  const std::vector<field_def>& fields() const override { return cursor_.fields(); }
  bool next(std::vector<value>& record) override { return cursor_.next(record); }
  void rewind() override { cursor_.rewind(); }

 private:
  query_cursor cursor_;
};

class file_store : public dao_store {
 public:
  file_store(const std::string& path, int flags, bool read_only) : read_only_(read_only) {
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
      sqlite3_close_v2(db_);
      db_ = nullptr;
      throw_jet(err_file_not_found, path);
    }
    sqlite3_extended_result_codes(db_, 1);
    exec("PRAGMA foreign_keys = ON");
    // Validates the file: a file that is not a database fails here.
    try {
      statement probe(db_, "SELECT count(*) FROM sqlite_master");
      probe.step();
    } catch (const jet_error&) {
      sqlite3_close_v2(db_);
      db_ = nullptr;
      throw_bad_format("not a database file");
    }
    exec("CREATE TEMP VIEW IF NOT EXISTS MSysRelationships AS "
         "SELECT m.name || '_' || p.\"table\" || '_' || p.id AS szRelationship, p.\"from\" AS szColumn, "
         "m.name AS szObject, p.\"table\" AS szReferencedObject, p.\"to\" AS szReferencedColumn, 0 AS grbit, "
         "p.seq AS icolumn FROM sqlite_master m, pragma_foreign_key_list(m.name) p WHERE m.type = 'table'");
  }
  ~file_store() override { sqlite3_close_v2(db_); }

  bool read_only() const override { return read_only_; }

  std::vector<std::string> table_names() override {
    std::vector<std::string> names;
    statement s(db_, "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                     "ORDER BY rowid");
    while (s.step()) names.push_back(s.text(0));
    return names;
  }

  long table_attributes(const std::string& table) override {
    require_table(table);
    return 0;
  }

  std::vector<column_info> columns(const std::string& table) override {
    require_table(table);
    std::vector<column_info> out;
    statement s(db_, "SELECT name, type, \"notnull\", dflt_value FROM pragma_table_info(" + sql_text_literal(table) + ")");
    while (s.step()) {
      column_info c;
      c.name = s.text(0);
      std::string decl = s.text(1);
      field_def f = field_of_declared(decl.c_str());
      c.type = f.type;
      c.size = f.size;
      c.required = s.integer(2) != 0;
      if (decl == "COUNTER") c.attributes = dbAutoIncrField;
      if (!s.is_null(3)) {
        std::string d = s.text(3);
        if (d.size() >= 2 && d.front() == '\'' && d.back() == '\'') {
          std::string inner;
          for (std::size_t i = 1; i + 1 < d.size(); ++i) {
            inner += d[i];
            if (d[i] == '\'' && d[i + 1] == '\'') ++i;
          }
          d = "\"" + inner + "\"";
        }
        c.default_text = d;
      }
      out.push_back(c);
    }
    return out;
  }

  std::vector<index_info> indexes(const std::string& table) override {
    require_table(table);
    std::vector<index_info> out;
    statement list(db_, "SELECT name, \"unique\", origin FROM pragma_index_list(" + sql_text_literal(table) + ")");
    while (list.step()) {
      index_info index;
      std::string stored = list.text(0);
      index.unique = list.integer(1) != 0;
      index.primary = list.text(2) == "pk";
      std::string prefix = table + "$";
      index.name = index.primary ? "PrimaryKey" : stored.starts_with(prefix) ? stored.substr(prefix.size()) : stored;
      statement cols(db_, "SELECT name FROM pragma_index_info(" + sql_text_literal(stored) + ") ORDER BY seqno");
      while (cols.step()) index.columns.push_back(cols.text(0));
      out.push_back(index);
    }
    return out;
  }

  long record_count(const std::string& table) override {
    require_table(table);
    statement s(db_, "SELECT count(*) FROM " + sql_identifier(table));
    s.step();
    return static_cast<long>(s.integer(0));
  }

  std::vector<std::pair<std::string, std::string>> saved_queries() override {
    std::vector<std::pair<std::string, std::string>> out;
    statement s(db_, "SELECT name, sql FROM sqlite_master WHERE type = 'view' ORDER BY rowid");
    while (s.step()) out.emplace_back(s.text(0), s.text(1));
    return out;
  }

  std::unique_ptr<row_stream> query(const std::string& sql) override {
    return std::make_unique<file_rows>(prepare_select(sql));
  }

  void check_query(const std::string& sql) override { sqlite3_finalize(prepare_select(sql)); }

  sqlite3_stmt* prepare_select(const std::string& sql) {
    std::string text = rewrite_jet_sql(sql);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, text.c_str(), -1, &stmt, nullptr) != SQLITE_OK || !stmt) {
      std::string message = sqlite3_errmsg(db_);
      sqlite3_finalize(stmt);
      if (message.starts_with("no such table: ")) throw_jet(err_input_table_not_found, message.substr(15));
      throw_jet(err_query_syntax, message);
    }
    if (!sqlite3_stmt_readonly(stmt)) {
      sqlite3_finalize(stmt);
      throw_jet(err_query_syntax, "only SELECT queries open as recordsets");
    }
    return stmt;
  }

  void create_table(const std::string& table, const std::vector<column_info>& columns,
                    const std::vector<index_info>& indexes) override {
    if (read_only_) throw_jet(err_read_only);
    if (has_table(table)) throw_jet(err_table_exists, table);
    if (columns.empty() || columns.size() > max_fields) throw_jet(err_too_many_fields);
    std::string ddl = "CREATE TABLE " + sql_identifier(table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const auto& c = columns[i];
      if (i) ddl += ", ";
      ddl += sql_identifier(c.name) + " " + declared(c);
      if (c.required) ddl += " NOT NULL";
      if (!c.default_text.empty()) ddl += " DEFAULT " + default_literal(c.default_text);
    }
    for (const auto& index : indexes) {
      if (!index.primary) continue;
      ddl += ", PRIMARY KEY (";
      for (std::size_t i = 0; i < index.columns.size(); ++i) ddl += (i ? ", " : "") + sql_identifier(index.columns[i]);
      ddl += ")";
    }
    ddl += ")";
    exec("SAVEPOINT create_table");
    try {
      exec(ddl);
      for (const auto& index : indexes) {
        if (index.primary) continue;
        std::string sql = std::string(index.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
                          sql_identifier(table + "$" + index.name) + " ON " + sql_identifier(table) + " (";
        for (std::size_t i = 0; i < index.columns.size(); ++i) sql += (i ? ", " : "") + sql_identifier(index.columns[i]);
        exec(sql + ")");
      }
      exec("RELEASE create_table");
    } catch (...) {
      exec("ROLLBACK TO create_table");
      exec("RELEASE create_table");
      throw;
    }
  }

  void drop_table(const std::string& table) override {
    if (read_only_) throw_jet(err_read_only);
    require_table(table);
    exec("DROP TABLE " + sql_identifier(table));
  }

  void insert(const std::string& table, const std::vector<std::string>& names,
              const std::vector<value>& values) override {
    if (read_only_) throw_jet(err_read_only);
    std::string sql = "INSERT INTO " + sql_identifier(table) + " (";
    std::string marks;
    for (std::size_t i = 0; i < names.size(); ++i) {
      sql += (i ? ", " : "") + sql_identifier(names[i]);
      marks += i ? ", ?" : "?";
    }
    sql = names.empty() ? "INSERT INTO " + sql_identifier(table) + " DEFAULT VALUES" : sql + ") VALUES (" + marks + ")";
    statement s(db_, sql);
    for (std::size_t i = 0; i < values.size(); ++i) {
      int at = static_cast<int>(i + 1);
      const value& v = values[i];
      switch (v.type) {
        case value::kind::null: sqlite3_bind_null(s.get(), at); break;
        case value::kind::boolean: sqlite3_bind_int(s.get(), at, v.boolean ? 1 : 0); break;
        case value::kind::integer: sqlite3_bind_int64(s.get(), at, v.integer); break;
        case value::kind::currency: sqlite3_bind_double(s.get(), at, static_cast<double>(v.integer) / 10000.0); break;
        case value::kind::number:
        case value::kind::date: sqlite3_bind_double(s.get(), at, v.number); break;
        case value::kind::text:
          sqlite3_bind_text(s.get(), at, v.text.data(), static_cast<int>(v.text.size()), SQLITE_TRANSIENT);
          break;
      }
    }
    s.step();
  }

 private:
  void exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "";
      sqlite3_free(error);
      throw_jet(err_reserved, message);
    }
  }
  bool has_table(const std::string& table) {
    for (const auto& name : table_names())
      if (sqlite3_stricmp(name.c_str(), table.c_str()) == 0) return true;
    return false;
  }
  void require_table(const std::string& table) {
    if (!has_table(table)) throw_jet(err_object_not_found, table);
  }

  sqlite3* db_ = nullptr;
  bool read_only_;
};

}  // namespace

std::unique_ptr<dao_store> open_file_store(const std::string& path, bool read_only) {
  if (!std::filesystem::exists(path)) throw_jet(err_file_not_found, path);
  return std::make_unique<file_store>(path, read_only ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, read_only);
}

std::unique_ptr<dao_store> create_file_store(const std::string& path) {
  if (std::filesystem::exists(path)) throw jet_error(3204, "Database already exists.");
  return std::make_unique<file_store>(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, false);
}

}  // namespace jet
