// The destination table of a conversion: appends records in multi-row INSERT
// statements, updates rows by key, and reads its metadata back from the server.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "SQL/sql_engi.h"
#include "SQL/sql_recs.h"


// Matches the fields of a record to be written against the table's columns by the
// names this server accepts.
class sql_field_finder {
public:
  explicit sql_field_finder(const udb_record& record);
  // The position of the record field whose safe name equals name, or -1.
  int get_field_idx(const std::wstring& name) const;

private:
  void intialize(const udb_record& record);

  std::unique_ptr<udb_validator> m_validator;
  std::vector<std::wstring> m_names;
};

// The foreign keys of a table's CREATE TABLE text (not read back: MySQL tables
// give none to the conversion).
class sql_fk_parser {
public:
  sql_fk_parser(const std::wstring& table, const std::string& create_text);
  void do_parse(udb_relationships& foreign_keys);

private:
  std::wstring m_table;
  std::vector<std::string> m_lines;
};

class sql_table : public sql_recordset, private sql_pending_result {
public:
  // created: the run has just created the table (a lost connection while it is
  // opened is then told as what a new connection finds of it).
  sql_table(sql_database& database, const std::wstring& name, udb_relationships& foreign_keys,
            bool created = false);
  // Sends what is pending; a failure is traced, never thrown.
  ~sql_table() override;

  void append_record(const udb_record& record) override;
  void update(const udb_record& record) override;

  // Sends the rows still pending and waits for the server's answer. Rows that the
  // server refuses are reported to the error handler one by one, as errors of
  // their records; the others are kept. A lock another session holds, or a
  // refusal of every statement (a read-only server, a full disk, a denied
  // INSERT), ends the table with one tk_table_exception naming it; a lost
  // connection ends the run with a level-1 error that says what the table
  // holds. The driver calls it before it releases the table.
  void flush();

  // Characters gathered before a block is sent.
  static constexpr size_t block_limit = 200000;

private:
  struct pending_row {
    unsigned record;      // 1-based number of the record in this table's appends
    size_t begin, end;    // the bytes of the row's "(...)" in the statement text
  };
  struct block {
    std::string text;         // INSERT INTO t(cols) VALUES(...), (...) in UTF-8
    size_t chars = 0;         // its length in wide characters
    size_t head = 0;          // bytes of "INSERT INTO t(cols) VALUES"
    std::wstring columns;     // the column list the rows follow
    std::vector<pending_row> rows;
    void clear() {
      text.clear();
      chars = head = 0;
      columns.clear();
      rows.clear();
    }
  };
  // The columns and value positions of records with one set of field names.
  struct column_plan {
    std::vector<std::wstring> field_names;  // of the records it serves
    std::wstring columns;                   // `a`, `b`, ...
    std::vector<std::pair<size_t, size_t>> values;  // (record field, schema column)
  };

  void initialize();
  const column_plan& plan_for(const udb_record& record);
  void build_plan(const udb_record& record, column_plan& plan) const;
  void fast_append(const udb_record& record);
  void slow_append(const udb_record& record);
  void dispatch();
  void settle() override;
  // A statement of rows the server did not take: by the error on the
  // connection, its rows are sent again one by one, or the table ends, or the run.
  void refused(const block& failed);
  void resend_rows_one_by_one(const block& failed);
  // Sends the statement of row i alone; false when the server refuses the record
  // for itself (its error left on the connection).
  bool send_row(const std::string& statement, const std::vector<pending_row>& rows, size_t i);
  // How many rows of a refused block a non-transactional table holds all the same.
  size_t rows_kept_of(const block& failed);
  void report_row_failure(unsigned record, const tk_exception& error);
  // The table takes no further record: a tk_table_exception naming it, the cause
  // and the first record not stored (or, not certain, perhaps not stored).
  [[noreturn]] void end_table(const std::wstring& cause, unsigned first_not_stored, bool certain = true);
  // The connection is gone while rows[first, last) are unanswered: a level-1
  // error that says which records the table holds.
  [[noreturn]] void connection_lost(const std::vector<pending_row>& rows, size_t first, size_t last);
  bool fits_in_statement(const std::string& row, const std::wstring& columns);

  unsigned long long rows_on_server();

  block m_pending;
  block m_in_flight;
  column_plan m_plan;
  std::wstring m_row;  // the row being built
  std::string m_row_utf8;  // its UTF-8 text
  unsigned m_appended = 0;
  unsigned m_last_accepted = 0;  // number of the last record the server took
  // A table that keeps the rows before a failing one of a statement (MyISAM)
  // tells by its row count how much of a refused block it holds.
  bool m_transactional = false;
  unsigned long long m_rows_on_server = 0;
};
