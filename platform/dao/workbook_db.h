// An opened workbook as a database: its tables (worksheets, then named ranges)
// under their Jet names, each scanned for its fields on first use, and SQL over
// them through SQLite, where every table is a virtual table streaming from the
// reader (registered when a query first names it).
#pragma once

#include <exception>
#include <map>
#include <utility>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dao/sheet_table.h"
#include "platform/dao/workbook.h"

struct sqlite3;
struct sqlite3_stmt;

namespace jet {

class query_cursor;

// A field type from a declared column type (Jet type names, "TEXT(50)").
field_def field_of_declared(const char* decl);

class workbook_db {
 public:
  workbook_db(std::unique_ptr<workbook> book, bool header_row);
  ~workbook_db();
  workbook_db(const workbook_db&) = delete;
  workbook_db& operator=(const workbook_db&) = delete;

  // Jet table names in workbook order: worksheets, then named ranges.
  const std::vector<std::string>& table_names() const { return names_; }
  // The index of a table name (case ignored), or -1.
  long find_table(std::string_view name) const;
  // The table's definition, scanned on first use; 3011 for an unknown name.
  const table_def& table(std::string_view name);
  const table_def& table(std::size_t index);
  std::unique_ptr<table_cursor> open_table(const table_def& def) const;

  // Prepares a query (Jet syntax rewritten); its fields are typed as table
  // fields are, from every row where the statement does not give a column's
  // table type. Failures raise jet_error (3078 unknown table, 3061 unknown name,
  // 3075 anything else SQLite refuses).
  std::unique_ptr<query_cursor> query(std::string_view sql);
  // Fails as query would, without reading any record.
  void check_query(std::string_view sql);

  const workbook& book() const { return *book_; }

  // For the virtual tables: the error that ended a statement inside the module.
  void set_module_error(std::exception_ptr error) { module_error_ = std::move(error); }
  std::exception_ptr take_module_error() { return std::exchange(module_error_, nullptr); }

 private:
  friend class query_cursor;

  sqlite3_stmt* prepare(const std::string& sql);
  void register_table(std::size_t index);

  std::unique_ptr<workbook> book_;
  bool header_row_;
  std::vector<std::string> names_;
  std::vector<std::size_t> sheet_of_;
  std::vector<const cell_area*> range_of_;
  std::vector<std::unique_ptr<table_def>> defs_;
  std::vector<bool> registered_;
  sqlite3* sql_ = nullptr;
  std::exception_ptr module_error_;
};

// The rows of a query, streamed from SQLite. Columns typed by the declared type
// of their table column (the Jet type names: DOUBLE, CURRENCY, DATETIME,
// BOOLEAN, TEXT(n), MEMO, LONG, ...) keep that type; others are typed from
// every value.
class query_cursor {
 public:
  // Takes the statement; db, when given, supplies the errors of the workbook's
  // virtual tables.
  query_cursor(workbook_db* db, sqlite3_stmt* statement);
  ~query_cursor();
  const std::vector<field_def>& fields() const { return fields_; }
  // Fills record with the next row; false at the end.
  bool next(std::vector<value>& record);
  // Starts again from the first row.
  void rewind();

 private:
  int step();

  workbook_db* db_;
  sqlite3_stmt* statement_;
  std::vector<field_def> fields_;
  std::vector<bool> mixed_;  // a column typed by its values rather than its table
};

}  // namespace jet
