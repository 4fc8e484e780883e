// An opened workbook as a database: its tables (worksheets, then named ranges)
// under their Jet names, each scanned for its fields on first use, and SQL over
// them through SQLite, where every table is a virtual table streaming from the
// reader (registered when a query first names it).
#pragma once

#include <cstdint>
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
  // The index of a table name (case ignored), or -1. A worksheet whose name is
  // quoted is also found by the name inside the quotes.
  long find_table(std::string_view name) const;
  // The table's definition, scanned on first use; 3011 for an unknown name.
  const table_def& table(std::string_view name);
  const table_def& table(std::size_t index);
  std::unique_ptr<table_cursor> open_table(const table_def& def) const;

  // Prepares a query (Jet syntax rewritten). Its fields are typed as table
  // fields are, from the values of every row it returns: a column of a table
  // (or the Max or Min of one) only tells which kind of number its numbers are.
  // An unaliased computed column is named Expr1000 + its position. The rows are
  // read for the types once per statement text; later queries of the same text
  // take them as they were. Text compares without regard to case, and LIKE
  // takes the Jet wildcards. Failures raise jet_error (3078 unknown table, 3061
  // unknown name, 3075 anything else SQLite refuses).
  std::unique_ptr<query_cursor> query(std::string_view sql);
  // Fails as query would, without reading any record.
  void check_query(std::string_view sql);
  // The number of records of a query (or table), from the reading that typed it.
  std::uint64_t record_count(std::string_view sql);

  // How many times, in this process, the rows of a query were read from their
  // start: once to type a query, once for each delivery.
  static std::uint64_t query_runs();

  const workbook& book() const { return *book_; }

  // For the virtual tables: the error that ended a statement inside the module.
  void set_module_error(std::exception_ptr error) { module_error_ = std::move(error); }
  std::exception_ptr take_module_error() { return std::exchange(module_error_, nullptr); }

 private:
  friend class query_cursor;

  // A query's fields, the kind of numbers each column's source holds (a dao
  // type, or 0) and its number of rows.
  struct typed_query {
    std::vector<field_def> fields;
    std::vector<int> sources;
    std::uint64_t rows = 0;
  };

  sqlite3_stmt* prepare(const std::string& sql);
  bool is_registered(std::string_view name) const;
  void register_table(std::size_t index, const std::string& name);
  const typed_query& typed(const std::string& text, sqlite3_stmt* statement);
  int source_of_call(const std::string& argument, const std::string& from_clause);

  std::unique_ptr<workbook> book_;
  bool header_row_;
  std::vector<std::string> names_;
  std::vector<std::size_t> sheet_of_;
  std::vector<const cell_area*> range_of_;
  std::vector<std::unique_ptr<table_def>> defs_;
  // The rows of the table scanned last, for its cursors, while no other table
  // is scanned.
  const table_def* kept_def_ = nullptr;
  std::shared_ptr<const row_store> kept_rows_;
  // The names the query engine knows its tables by.
  std::vector<std::string> registered_;
  sqlite3* sql_ = nullptr;
  std::exception_ptr module_error_;
  std::map<std::string, typed_query> typed_;  // by the statement's text
};

// The rows of a query, streamed from SQLite.
class query_cursor {
 public:
  // Takes the statement. Columns with a declared type (the Jet type names:
  // DOUBLE, CURRENCY, DATETIME, BOOLEAN, TEXT(n), MEMO, LONG, ...) keep it;
  // others are typed from every value. db, when given, supplies the errors of
  // the workbook's virtual tables.
  query_cursor(workbook_db* db, sqlite3_stmt* statement);
  // Takes the statement with its fields already typed; sources as typed_query's.
  query_cursor(workbook_db* db, sqlite3_stmt* statement, std::vector<field_def> fields, std::vector<int> sources);
  ~query_cursor();
  const std::vector<field_def>& fields() const { return fields_; }
  // Fills record with the next row; false at the end.
  bool next(std::vector<value>& record);
  // Starts again from the first row; when no more than the first row has been
  // read, without running the statement again.
  void rewind();

 private:
  int step();

  workbook_db* db_;
  sqlite3_stmt* statement_;
  std::vector<field_def> fields_;
  std::vector<int> sources_;
  bool started_ = false;  // the statement has been stepped since it was reset
  bool done_ = false;     // and has reached its end
  bool replay_ = false;   // the next row is the first, kept
  std::uint64_t delivered_ = 0;
  std::vector<value> first_;
};

}  // namespace jet
