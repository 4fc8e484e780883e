#include "platform/dao/workbook_db.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <optional>

#include "platform/dao/dao_types.h"
#include "platform/dao/excel_names.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/jet_sql.h"
#include "platform/dao/number_text.h"
#include "platform/dao/serial_date.h"
#include "platform/dao/sql_shape.h"
#include "platform/dao/text_match.h"

namespace jet {

namespace {

// Declared column types of the virtual tables, read back as field types.
const char* declared_type(int type) {
  switch (type) {
    case dbDouble: return "DOUBLE";
    case dbCurrency: return "CURRENCY";
    case dbDate: return "DATETIME";
    case dbBoolean: return "BOOLEAN";
    case dbMemo: return "MEMO COLLATE JETTEXT";
    default: return "TEXT COLLATE JETTEXT";
  }
}

// ---- text comparison ----

int collate_nocase(void*, int a_size, const void* a, int b_size, const void* b) {
  return compare_text_nocase({static_cast<const char*>(a), static_cast<std::size_t>(a_size)},
                             {static_cast<const char*>(b), static_cast<std::size_t>(b_size)});
}

std::string_view text_of(sqlite3_value* v) {
  auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return {text ? text : "", static_cast<std::size_t>(sqlite3_value_bytes(v))};
}

// like(pattern, text [, escape]), as SQLite calls it for "text LIKE pattern":
// the pattern is compiled once per statement.
void like_function(sqlite3_context* context, int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(context);
  try {
    auto* pattern = static_cast<like_pattern*>(sqlite3_get_auxdata(context, 0));
    if (!pattern) {
      char32_t escape = 0;
      if (argc == 3) {
        std::string_view e = text_of(argv[2]);
        if (e.size() != 1) return sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
        escape = static_cast<unsigned char>(e[0]);
      }
      auto compiled = std::make_unique<like_pattern>(text_of(argv[0]), escape);
      pattern = compiled.get();
      sqlite3_set_auxdata(context, 0, compiled.release(), [](void* p) { delete static_cast<like_pattern*>(p); });
      // SQLite may drop it at once; then it is made again for the next row.
      if (!sqlite3_get_auxdata(context, 0)) {
        sqlite3_result_int(context, like_pattern(text_of(argv[0]), escape).matches(text_of(argv[1])));
        return;
      }
    }
    sqlite3_result_int(context, pattern->matches(text_of(argv[1])) ? 1 : 0);
  } catch (const std::exception& e) {
    sqlite3_result_error(context, e.what(), -1);
  }
}

}  // namespace

field_def field_of_declared(const char* decl) {
  std::string_view d = decl ? decl : "";
  long size = 0;
  auto open = d.find('(');
  if (open != std::string_view::npos) {
    size = std::strtol(std::string(d.substr(open + 1)).c_str(), nullptr, 10);
    d = d.substr(0, open);
  }
  while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
  if (d == "DOUBLE") return {"", dbDouble, 8};
  if (d == "CURRENCY") return {"", dbCurrency, 8};
  if (d == "DATETIME") return {"", dbDate, 8};
  if (d == "BOOLEAN") return {"", dbBoolean, 1};
  if (d == "MEMO") return {"", dbMemo, 0};
  if (d == "BYTE") return {"", dbByte, 1};
  if (d == "SHORT") return {"", dbInteger, 2};
  if (d == "LONG" || d == "COUNTER") return {"", dbLong, 4};
  if (d == "SINGLE") return {"", dbSingle, 4};
  if (d == "BINARY") return {"", dbBinary, size > 0 ? size : 255};
  if (d == "LONGBINARY") return {"", dbLongBinary, 0};
  if (d == "GUID") return {"", dbGUID, 16};
  return {"", dbText, size > 0 ? size : 255};
}

namespace {

// ---- the virtual table module ----

// A table read again and again in one statement (the inner side of a join) is
// kept in memory from its second reading on, up to this many bytes; a table read
// once is only streamed.
constexpr std::size_t max_cached_bytes = std::size_t{256} << 20;
// The rows a table's scan keeps for its first reading.
constexpr std::size_t max_kept_bytes = std::size_t{64} << 20;

using record_cache = std::vector<std::vector<value>>;

struct sheet_vtab {
  sqlite3_vtab base{};
  workbook_db* db = nullptr;
  const table_def* def = nullptr;
  int readings = 0;
  std::shared_ptr<const record_cache> cache;  // complete records, once read twice
  bool cache_failed = false;                  // too large to keep
};

struct sheet_vcursor {
  sqlite3_vtab_cursor base{};
  std::unique_ptr<table_cursor> rows;
  std::vector<value> record;
  std::shared_ptr<const record_cache> cache;  // reading from the cache
  std::shared_ptr<record_cache> filling;      // streaming and keeping
  std::size_t filled_bytes = 0;
  bool eof = true;
  sqlite3_int64 rowid = 0;

  const std::vector<value>& current() const {
    return cache ? (*cache)[static_cast<std::size_t>(rowid)] : record;
  }
};

std::size_t record_bytes(const std::vector<value>& record) {
  std::size_t bytes = sizeof(value) * record.size() + 32;
  for (const auto& v : record) bytes += v.text.capacity();
  return bytes;
}

// Streams the next record; keeps it when filling the cache.
void stream_next(sheet_vtab* vtab, sheet_vcursor* cursor) {
  cursor->eof = !cursor->rows->next(cursor->record);
  if (!cursor->filling) return;
  if (cursor->eof) {
    vtab->cache = std::move(cursor->filling);
    return;
  }
  cursor->filled_bytes += record_bytes(cursor->record);
  if (cursor->filled_bytes > max_cached_bytes) {
    cursor->filling.reset();
    vtab->cache_failed = true;
    return;
  }
  cursor->filling->push_back(cursor->record);
}

int fail(sheet_vtab* vtab, std::exception_ptr error) {
  vtab->db->set_module_error(error);
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    sqlite3_free(vtab->base.zErrMsg);
    vtab->base.zErrMsg = sqlite3_mprintf("%s", e.what());
  }
  return SQLITE_ERROR;
}

int vt_connect(sqlite3* sql, void* aux, int argc, const char* const* argv, sqlite3_vtab** out, char** error) {
  auto* db = static_cast<workbook_db*>(aux);
  try {
    if (argc < 4) throw_bad_format("a table without its index");
    std::size_t index = std::strtoul(argv[3], nullptr, 10);
    const table_def& def = db->table(index);
    std::string create = "CREATE TABLE x(";
    for (std::size_t i = 0; i < def.fields.size(); ++i) {
      if (i) create += ", ";
      create += sql_identifier(def.fields[i].name) + " " + declared_type(def.fields[i].type);
    }
    create += ")";
    int rc = sqlite3_declare_vtab(sql, create.c_str());
    if (rc != SQLITE_OK) throw_bad_format(sqlite3_errmsg(sql));
    auto vtab = std::make_unique<sheet_vtab>();
    vtab->db = db;
    vtab->def = &def;
    *out = &vtab.release()->base;
    return SQLITE_OK;
  } catch (const std::exception& e) {
    db->set_module_error(std::current_exception());
    *error = sqlite3_mprintf("%s", e.what());
    return SQLITE_ERROR;
  }
}

int vt_best_index(sqlite3_vtab* base, sqlite3_index_info* info) {
  auto* vtab = reinterpret_cast<sheet_vtab*>(base);
  info->estimatedCost = static_cast<double>(vtab->def->record_count) + 1;
  info->estimatedRows = vtab->def->record_count;
  return SQLITE_OK;
}

int vt_disconnect(sqlite3_vtab* base) {
  delete reinterpret_cast<sheet_vtab*>(base);
  return SQLITE_OK;
}

int vt_open(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  *out = &(new sheet_vcursor)->base;
  return SQLITE_OK;
}

int vt_close(sqlite3_vtab_cursor* base) {
  delete reinterpret_cast<sheet_vcursor*>(base);
  return SQLITE_OK;
}

int vt_next(sqlite3_vtab_cursor* base) {
  auto* cursor = reinterpret_cast<sheet_vcursor*>(base);
  auto* vtab = reinterpret_cast<sheet_vtab*>(base->pVtab);
  try {
    ++cursor->rowid;
    if (cursor->cache)
      cursor->eof = static_cast<std::size_t>(cursor->rowid) >= cursor->cache->size();
    else
      stream_next(vtab, cursor);
    return SQLITE_OK;
  } catch (...) {
    return fail(vtab, std::current_exception());
  }
}

int vt_filter(sqlite3_vtab_cursor* base, int, const char*, int, sqlite3_value**) {
  auto* cursor = reinterpret_cast<sheet_vcursor*>(base);
  auto* vtab = reinterpret_cast<sheet_vtab*>(base->pVtab);
  try {
    cursor->rowid = 0;
    cursor->filling.reset();
    cursor->filled_bytes = 0;
    cursor->cache = vtab->cache;
    if (cursor->cache) {
      cursor->rows.reset();
      cursor->eof = cursor->cache->empty();
      return SQLITE_OK;
    }
    if (++vtab->readings >= 2 && !vtab->cache_failed) cursor->filling = std::make_shared<record_cache>();
    cursor->rows = vtab->db->open_table(*vtab->def);
    stream_next(vtab, cursor);
    return SQLITE_OK;
  } catch (...) {
    return fail(vtab, std::current_exception());
  }
}

int vt_eof(sqlite3_vtab_cursor* base) { return reinterpret_cast<sheet_vcursor*>(base)->eof; }

int vt_column(sqlite3_vtab_cursor* base, sqlite3_context* context, int column) {
  auto* cursor = reinterpret_cast<sheet_vcursor*>(base);
  const value& v = cursor->current()[static_cast<std::size_t>(column)];
  switch (v.type) {
    case value::kind::null: sqlite3_result_null(context); break;
    case value::kind::boolean: sqlite3_result_int(context, v.boolean ? 1 : 0); break;
    case value::kind::integer: sqlite3_result_int64(context, v.integer); break;
    case value::kind::currency: sqlite3_result_double(context, static_cast<double>(v.integer) / 10000.0); break;
    case value::kind::number:
    case value::kind::date: sqlite3_result_double(context, v.number); break;
    case value::kind::text:
      sqlite3_result_text(context, v.text.data(), static_cast<int>(v.text.size()), SQLITE_TRANSIENT);
      break;
  }
  return SQLITE_OK;
}

int vt_rowid(sqlite3_vtab_cursor* base, sqlite3_int64* out) {
  *out = reinterpret_cast<sheet_vcursor*>(base)->rowid;
  return SQLITE_OK;
}

sqlite3_module sheet_module = {
    0,              // iVersion
    vt_connect,     // xCreate
    vt_connect,     // xConnect
    vt_best_index,  // xBestIndex
    vt_disconnect,  // xDisconnect
    vt_disconnect,  // xDestroy
    vt_open,        // xOpen
    vt_close,       // xClose
    vt_filter,      // xFilter
    vt_next,        // xNext
    vt_eof,         // xEof
    vt_column,      // xColumn
    vt_rowid,       // xRowid
    nullptr,        // xUpdate
    nullptr,        // xBegin
    nullptr,        // xSync
    nullptr,        // xCommit
    nullptr,        // xRollback
    nullptr,        // xFindFunction
    nullptr,        // xRename
    nullptr,        // xSavepoint
    nullptr,        // xRelease
    nullptr,        // xRollbackTo
    nullptr,        // xShadowName
};

}  // namespace

workbook_db::workbook_db(std::unique_ptr<workbook> book, bool header_row)
    : book_(std::move(book)), header_row_(header_row) {
  const auto& sheets = book_->sheet_names();
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    names_.push_back(sheet_table_name(sheets[i]));
    sheet_of_.push_back(i);
    range_of_.push_back(nullptr);
  }
  for (const auto& range : book_->named_ranges()) {
    if (find_table(range.name) >= 0) continue;
    names_.push_back(range.name);
    sheet_of_.push_back(range.sheet);
    range_of_.push_back(&range.area);
  }
  defs_.resize(names_.size());
}

workbook_db::~workbook_db() {
  if (sql_) sqlite3_close_v2(sql_);
}

long workbook_db::find_table(std::string_view name) const {
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (same_name(names_[i], name)) return static_cast<long>(i);
  // A worksheet whose table name is quoted ('Orders 2024$') is also found by
  // the name inside the quotes, as a query names it in brackets or back
  // quotes: [Orders 2024$].
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (!range_of_[i] && same_name(unquoted_table_name(names_[i]), name)) return static_cast<long>(i);
  return -1;
}

const table_def& workbook_db::table(std::string_view name) {
  long index = find_table(name);
  if (index < 0) throw_jet(err_object_not_found, name);
  return table(static_cast<std::size_t>(index));
}

const table_def& workbook_db::table(std::size_t index) {
  if (index >= names_.size()) throw_jet(err_object_not_found, std::to_string(index));
  if (!defs_[index]) {
    kept_def_ = nullptr;
    kept_rows_.reset();
    auto rows = std::make_shared<row_store>(max_kept_bytes);
    defs_[index] = std::make_unique<table_def>(
        scan_table(*book_, names_[index], sheet_of_[index], range_of_[index], header_row_, rows.get()));
    if (rows->complete() && !defs_[index]->empty) {
      kept_def_ = defs_[index].get();
      kept_rows_ = std::move(rows);
    }
  }
  return *defs_[index];
}

// The cursors of the table scanned last read the rows its scan kept; those of
// any other table read the sheet.
std::unique_ptr<table_cursor> workbook_db::open_table(const table_def& def) const {
  if (kept_def_ == &def && kept_rows_) return std::make_unique<table_cursor>(def, row_store::replay(kept_rows_));
  return std::make_unique<table_cursor>(*book_, def);
}

bool workbook_db::is_registered(std::string_view name) const {
  for (const std::string& registered : registered_)
    if (same_name(registered, name)) return true;
  return false;
}

void workbook_db::register_table(std::size_t index, const std::string& name) {
  std::string create =
      "CREATE VIRTUAL TABLE " + sql_identifier(name) + " USING workbook_table(" + std::to_string(index) + ")";
  char* error = nullptr;
  int rc = sqlite3_exec(sql_, create.c_str(), nullptr, nullptr, &error);
  std::string message = error ? error : "";
  sqlite3_free(error);
  if (auto module_error = take_module_error()) std::rethrow_exception(module_error);
  if (rc != SQLITE_OK) throw_jet(err_query_syntax, message);
  registered_.push_back(name);
}

sqlite3_stmt* workbook_db::prepare(const std::string& sql) {
  if (!sql_) {
    if (sqlite3_open_v2(":memory:", &sql_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
      throw std::bad_alloc();
    sqlite3_create_module(sql_, "workbook_table", &sheet_module, this);
    sqlite3_create_collation_v2(sql_, "JETTEXT", SQLITE_UTF8, nullptr, collate_nocase, nullptr);
    for (int args : {2, 3})
      sqlite3_create_function_v2(sql_, "like", args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, like_function,
                                 nullptr, nullptr, nullptr);
  }
  for (;;) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(sql_, sql.c_str(), static_cast<int>(sql.size()), &statement, nullptr);
    if (auto module_error = take_module_error()) {
      sqlite3_finalize(statement);
      std::rethrow_exception(module_error);
    }
    if (rc == SQLITE_OK && statement) return statement;
    sqlite3_finalize(statement);
    std::string message = sqlite3_errmsg(sql_);
    static constexpr std::string_view no_table = "no such table: ";
    static constexpr std::string_view no_column = "no such column: ";
    if (message.starts_with(no_table)) {
      std::string name = message.substr(no_table.size());
      if (name.starts_with("main.")) name.erase(0, 5);
      long index = find_table(name);
      // Registered by the name the query gives it: one table may go by two.
      if (index < 0 || is_registered(name)) throw_jet(err_input_table_not_found, name);
      register_table(static_cast<std::size_t>(index), name);
      continue;
    }
    if (message.starts_with(no_column)) throw_jet(err_too_few_parameters, message.substr(no_column.size()));
    if (!statement && rc == SQLITE_OK) throw_jet(err_query_syntax, "an empty query");
    throw_jet(err_query_syntax, message);
  }
}

namespace {
sqlite3_stmt* select_only(sqlite3_stmt* statement) {
  if (!sqlite3_stmt_readonly(statement) || sqlite3_column_count(statement) == 0) {
    sqlite3_finalize(statement);
    throw_jet(err_query_syntax, "only SELECT queries can be run on a workbook");
  }
  return statement;
}
}  // namespace

namespace {

std::atomic<std::uint64_t> runs{0};

// Steps a statement; the error of a virtual table, or SQLite's, is raised.
int step_statement(workbook_db* db, sqlite3_stmt* statement) {
  int rc = sqlite3_step(statement);
  if (db)
    if (auto error = db->take_module_error()) std::rethrow_exception(error);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) throw_jet(err_query_syntax, sqlite3_errmsg(sqlite3_db_handle(statement)));
  return rc;
}

// Finalizes a statement unless it is released.
struct statement_guard {
  sqlite3_stmt* statement;
  ~statement_guard() {
    if (statement) sqlite3_finalize(statement);
  }
  sqlite3_stmt* release() { return std::exchange(statement, nullptr); }
};

constexpr long text_size = 255;

// What a column's values were, over every row.
struct column_seen {
  bool integer = false, real = false, text = false, wide = false;
  bool all_bool = true, all_currency = true, all_dates = true;
  std::size_t longest = 0;

  void add(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
      case SQLITE_NULL: return;
      case SQLITE_INTEGER: {
        integer = true;
        auto v = sqlite3_column_int64(statement, column);
        wide = wide || v < INT32_MIN || v > INT32_MAX;
        all_bool = all_bool && (v == 0 || v == 1);
        number(static_cast<double>(v));
        return;
      }
      case SQLITE_FLOAT:
        real = true;
        all_bool = false;
        number(sqlite3_column_double(statement, column));
        return;
      default: {
        text = true;
        auto* t = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        longest = std::max(longest, utf16_length(t ? t : ""));
      }
    }
  }
  void number(double v) {
    all_dates = all_dates && v >= min_ole_date && v < max_ole_date;
    double scaled = v * 10000.0;
    all_currency = all_currency && std::fabs(scaled) < 9.2e18 &&
                   static_cast<double>(std::llround(scaled)) / 10000.0 == v;
  }

  // Text when any value is text (Memo when one is longer than a Text field
  // holds); else the kind of numbers of the column's source when every number
  // is one; else Long for whole numbers of an expression, Double for the rest.
  field_def decide(const std::optional<field_def>& source) const {
    if (text) return longest > static_cast<std::size_t>(text_size) ? field_def{"", dbMemo, 0} : field_def{"", dbText, text_size};
    if (!integer && !real) return source ? *source : field_def{"", dbText, text_size};
    int kind = source ? source->type : 0;
    if (kind == dbDate && all_dates) return {"", dbDate, 8};
    if (kind == dbCurrency && all_currency) return {"", dbCurrency, 8};
    if (kind == dbBoolean && all_bool) return {"", dbBoolean, 1};
    if (kind == 0 && !real && !wide) return {"", dbLong, 4};
    return {"", dbDouble, 8};
  }
};

}  // namespace

int workbook_db::source_of_call(const std::string& argument, const std::string& from_clause) {
  // The argument's own column type, from the statement that reads it alone.
  try {
    statement_guard probe{prepare("SELECT " + argument + " " + from_clause)};
    const char* decl = sqlite3_column_decltype(probe.statement, 0);
    return decl ? field_of_declared(decl).type : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

const workbook_db::typed_query& workbook_db::typed(const std::string& text, sqlite3_stmt* statement) {
  if (auto known = typed_.find(text); known != typed_.end()) return known->second;
  int columns = sqlite3_column_count(statement);
  if (columns > static_cast<int>(max_fields)) throw_jet(err_too_many_fields);
  auto count = static_cast<std::size_t>(columns);

  // Each column's source: the table column it reads, or the one whose Max or
  // Min it is.
  std::vector<std::optional<field_def>> sources(count);
  for (int i = 0; i < columns; ++i)
    if (const char* decl = sqlite3_column_decltype(statement, i)) sources[static_cast<std::size_t>(i)] = field_of_declared(decl);
  std::vector<const select_item*> items(count, nullptr);
  auto shape = select_shape_of(text);
  if (shape) {
    std::size_t stars = 0;
    for (const auto& item : shape->items) stars += item.star;
    if (stars == 0 && shape->items.size() == count) {
      for (std::size_t i = 0; i < count; ++i) items[i] = &shape->items[i];
    } else if (stars == 1 && shape->items.size() - 1 <= count) {
      // The columns before and after the one star stand for their items.
      std::size_t star = 0;
      while (!shape->items[star].star) ++star;
      for (std::size_t i = 0; i < star; ++i) items[i] = &shape->items[i];
      std::size_t after = shape->items.size() - star - 1;
      for (std::size_t k = 0; k < after; ++k) items[count - after + k] = &shape->items[star + 1 + k];
    }
  }
  std::vector<field_def> fields(count);
  for (std::size_t i = 0; i < count; ++i) {
    const char* name = sqlite3_column_name(statement, static_cast<int>(i));
    fields[i].name = name ? name : "";
    const select_item* item = items[i];
    if (!item) continue;
    // Jet names a computed column without an alias by its position.
    if (!is_column_reference(item->expression) && item->expression == item->text && fields[i].name == item->text)
      fields[i].name = "Expr" + std::to_string(1000 + i);
    if (sources[i] || shape->from_clause.empty()) continue;
    for (const char* function : {"MAX", "MIN"}) {
      std::string argument = call_argument(item->expression, function);
      if (argument.empty()) continue;
      if (int type = source_of_call(argument, shape->from_clause)) sources[i] = field_def{"", type, 0};
    }
  }

  std::vector<column_seen> seen(count);
  std::uint64_t rows = 0;
  ++runs;
  while (step_statement(this, statement) == SQLITE_ROW) {
    ++rows;
    for (std::size_t i = 0; i < count; ++i) seen[i].add(statement, static_cast<int>(i));
  }
  sqlite3_reset(statement);

  typed_query result;
  result.rows = rows;
  for (std::size_t i = 0; i < count; ++i) {
    field_def f = seen[i].decide(sources[i]);
    f.name = fields[i].name;
    result.fields.push_back(std::move(f));
    result.sources.push_back(sources[i] ? sources[i]->type : 0);
  }
  return typed_.emplace(text, std::move(result)).first->second;
}

std::unique_ptr<query_cursor> workbook_db::query(std::string_view sql) {
  std::string text = rewrite_jet_sql(sql);
  statement_guard statement{select_only(prepare(text))};
  const typed_query& t = typed(text, statement.statement);
  return std::make_unique<query_cursor>(this, statement.release(), t.fields, t.sources);
}

void workbook_db::check_query(std::string_view sql) {
  sqlite3_finalize(select_only(prepare(rewrite_jet_sql(sql))));
}

std::uint64_t workbook_db::record_count(std::string_view sql) {
  std::string table = select_all_table(std::string(sql));
  if (!table.empty() && find_table(table) >= 0) return this->table(table).record_count;
  std::string text = rewrite_jet_sql(sql);
  statement_guard statement{select_only(prepare(text))};
  return typed(text, statement.statement).rows;
}

std::uint64_t workbook_db::query_runs() { return runs.load(); }

// ---- query cursor ----

query_cursor::query_cursor(workbook_db* db, sqlite3_stmt* statement) : db_(db), statement_(statement) {
  statement_guard guard{statement};
  int columns = sqlite3_column_count(statement_);
  if (columns > static_cast<int>(max_fields)) throw_jet(err_too_many_fields);
  std::vector<bool> declared;
  for (int i = 0; i < columns; ++i) {
    const char* decl = sqlite3_column_decltype(statement_, i);
    field_def f = decl ? field_of_declared(decl) : field_def{"", dbText, text_size};
    const char* name = sqlite3_column_name(statement_, i);
    f.name = name ? name : "Expr" + std::to_string(1000 + i);
    fields_.push_back(f);
    declared.push_back(decl != nullptr);
  }
  if (std::find(declared.begin(), declared.end(), false) != declared.end()) {
    // Columns of expressions: typed from all their values.
    std::vector<column_seen> seen(static_cast<std::size_t>(columns));
    ++runs;
    while (step_statement(db_, statement_) == SQLITE_ROW)
      for (int i = 0; i < columns; ++i) seen[static_cast<std::size_t>(i)].add(statement_, i);
    sqlite3_reset(statement_);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      if (declared[i]) continue;
      field_def f = seen[i].decide(std::nullopt);
      f.name = fields_[i].name;
      fields_[i] = f;
    }
  }
  guard.release();
}

query_cursor::query_cursor(workbook_db* db, sqlite3_stmt* statement, std::vector<field_def> fields,
                           std::vector<int> sources)
    : db_(db), statement_(statement), fields_(std::move(fields)), sources_(std::move(sources)) {}

query_cursor::~query_cursor() {
  if (statement_) sqlite3_finalize(statement_);
}

int query_cursor::step() {
  if (!started_) {
    started_ = true;
    ++runs;
  }
  return step_statement(db_, statement_);
}

void query_cursor::rewind() {
  if (delivered_ <= 1) {
    // Nothing read beyond the first row: it is given again, and the statement
    // goes on from where it is.
    replay_ = delivered_ == 1;
    delivered_ = 0;
    return;
  }
  sqlite3_reset(statement_);
  started_ = done_ = replay_ = false;
  delivered_ = 0;
}

bool query_cursor::next(std::vector<value>& record) {
  if (replay_) {
    replay_ = false;
    record = first_;
    delivered_ = 1;
    return true;
  }
  if (done_) return false;
  if (step() != SQLITE_ROW) {
    done_ = true;
    return false;
  }
  record.resize(fields_.size());
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    int col = static_cast<int>(i);
    value& v = record[i];
    int storage = sqlite3_column_type(statement_, col);
    if (storage == SQLITE_NULL) {
      v.type = value::kind::null;
      continue;
    }
    switch (fields_[i].type) {
      case dbDouble:
      case dbSingle:
        v.type = value::kind::number;
        v.number = sqlite3_column_double(statement_, col);
        break;
      case dbCurrency:
        v.type = value::kind::currency;
        v.integer = std::llround(sqlite3_column_double(statement_, col) * 10000.0);
        break;
      case dbDate:
        v.type = value::kind::date;
        v.number = sqlite3_column_double(statement_, col);
        break;
      case dbBoolean:
        v.type = value::kind::boolean;
        v.boolean = sqlite3_column_int64(statement_, col) != 0;
        break;
      case dbByte:
      case dbInteger:
      case dbLong:
        v.type = value::kind::integer;
        v.integer = sqlite3_column_int64(statement_, col);
        break;
      default: {
        v.type = value::kind::text;
        // A number among text: as the worksheet shows its kind as text.
        int source = i < sources_.size() ? sources_[i] : 0;
        if (storage != SQLITE_TEXT && storage != SQLITE_BLOB && source == dbDate) {
          v.text = ole_date_text(sqlite3_column_double(statement_, col));
        } else if (storage == SQLITE_INTEGER && source == dbBoolean && sqlite3_column_int64(statement_, col) >= 0 &&
                   sqlite3_column_int64(statement_, col) <= 1) {
          v.text = sqlite3_column_int64(statement_, col) ? "TRUE" : "FALSE";
        } else if (storage == SQLITE_FLOAT) {
          v.text = number_text(sqlite3_column_double(statement_, col));
        } else {
          auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, col));
          v.text.assign(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(statement_, col)));
        }
        break;
      }
    }
  }
  if (delivered_++ == 0) first_ = record;
  return true;
}

}  // namespace jet
