// Tables reached through the provider (odb_table) and the destination table
// of a SQL Server conversion (mss_table): records go in by bulk load when the
// engine has it enabled, else one INSERT statement each.
#pragma once

#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "MSS/mss_floa.h"
#include "MSS/odb_cmd.h"
#include "MSS/odb_exce.h"
#include "MSS/odb_recs.h"
#include "OLE/ole_ptr.h"
#include "platform/oledb/oledb_interfaces.h"

class odb_database;

class odb_table : public odb_recordset {
 public:
  // A table by name (T-SQL identifier text); a table missing under that owner
  // is looked for as [dbo].[table].
  odb_table(const std::wstring& name, IOpenRowset* session, int mode, odb_database& database);
  // A query.
  odb_table(const std::wstring& name, const std::wstring& query, IOpenRowset* session, odb_database& database);
  ~odb_table() override;

  unsigned get_records_cnt();

 protected:
  void internal_initialize(int mode);
  // The primary key, the foreign keys (into the database's list) and the
  // indexes of the table.
  void init_indexes(const std::wstring& table, const std::wstring& owner);

  ole_com_ptr<IOpenRowset> session_;
  odb_database& database_;
};

class mss_table : public odb_table {
 public:
  mss_table(const std::wstring& name, IOpenRowset* session, int mode, odb_database& database);
  mss_table(const std::wstring& name, const std::wstring& query, IOpenRowset* session, odb_database& database);
  // Sends what the bulk load still holds; a failure is traced, never thrown.
  ~mss_table() override;

  // A failure of the table rather than of the record (another session holds
  // it locked, its load cannot go on) ends the table: a tk_table_exception
  // that names it and says which records are stored, thrown again by every
  // later call; the rows not yet committed are let go unsent. A connection
  // lost (the table's or the bulk load's) ends it so with a
  // tk_connection_lost, whatever it was doing. A column the record has no
  // field for gets its missing value (NULL, or the substitute of a column
  // that allows none); a field the table has no column for refuses the
  // record.
  void append_record(const udb_record& record) override;
  // Changes the row of the record's key (the primary or first unique index).
  void update(const udb_record& record) override;
  // The server refused to widen the column (another session's lock, an
  // object that depends on the column, a lost connection): the table ends as
  // append_record ends it, from the next record on, naming the column and
  // the server's reason.
  [[noreturn]] void end_column_change(const std::wstring& column, const odb_exception& error);
  // Ends the table as append_record does when the error is a lost connection.
  void end_if_lost(const odb_exception& error);
  // A record refused before it reached the table (its column cannot be
  // widened): the next one keeps the number the run gives it.
  void pass_record() { ++appended_; }
  // Commits the rows of an open bulk load and ends it; rows the server refuses
  // are reported one by one ("table, record #n"), a failure of the load is
  // thrown. The driver calls it before it releases the table.
  void flush();

  void fast_append(const udb_record& record);
  void slow_record(const udb_record& record);
  // The literal of a record field for the schema field's column.
  std::wstring get_fld_append_str(const udb_field* field, const t_ftd* schema_field) const;
  // A column default as sp_columns shows it ("((0))", "(N'x')"), as a value.
  static ole_variant get_def_value(VARTYPE vt, const std::wstring& text);

  // What uses the column as the server has it now: "primary key PK_t",
  // "foreign key FK_t_u" or "index ix_c" (a unique constraint's too); empty
  // when no key or index does.
  std::wstring key_using(const std::wstring& column);

  // A character column as the server has it: its type and collation, and
  // the code page its collation stores char, varchar and text in (0: a
  // Unicode type).
  struct text_column {
    std::wstring type;       // "varchar", "nchar", ...
    std::wstring collation;  // empty where the server does not tell (SQL Server 7)
    unsigned code_page = 0;
  };
  // The column's, or null for a column that holds no text.
  const text_column* get_text_column(const std::wstring& name) const;
  // The table's column of that name (case ignored), or null.
  const DBCOLUMNINFO* column_info(const std::wstring& name) const;

  bool has_identity() const { return identity_insert_; }
  bool has_primary_key() const { return has_primary_key_; }
  unsigned get_appended() const { return appended_; }

 private:
  void init_schema();
  // The types, collations and code pages of the character columns.
  void init_text_columns();
  // The record field of each bulk-load column (-1: none).
  const std::vector<int>& fast_plan(const udb_record& record);
  // Binds the value of the column; false when the row must go by statement
  // (an empty text or binary value: the bulk load sends none).
  bool bind_value(int ordinal, const udb_field* field);
  void run_with_identity(const std::wstring& statement);
  // The column list and the values of a record, in the schema's order.
  void record_literals(const udb_record& record, std::wstring& columns, std::wstring& values) const;
  std::wstring insert_statement(const std::wstring& columns, const std::wstring& rows) const;
  // The source's name of a column that was created under a shorter name.
  std::wstring source_field_name(const std::wstring& column) const;
  // The source's names of the schema's columns, in its order (looked up once).
  const std::vector<std::wstring>& source_names() const;
  // A row that cannot go by bulk load waits for a statement of up to
  // deferred_limit rows, sent when no batch of the bulk load is open (the
  // statement would wait on the batch's locks): after the batch's commit, or
  // at once when no batch is open. A refused statement is sent again row by
  // row.
  void defer_record(const udb_record& record);
  void send_deferred();
  void throw_first_failure();
  void report_row_failure(int record, const tk_exception& error);
  // Runs a statement that stores the rows of records (by statement). Its lost
  // answer ends the table (mss_load_failure, lost) once the table's rows told
  // whether these are stored (stored: the caller settles them first).
  void store_by_statement(const std::wstring& statement, std::span<const int> records,
                          const std::function<void()>& settled);
  // The table's rows on the server, counted on a connection of their own.
  long long stored_rows();
  // In a handler: ends the table when the failure being handled is the
  // table's; returns when it is a record's.
  void end_if_table_failure();
  // Ends the table: the error names it, says why and which of its records
  // are stored: every record up to the last one stored, but those listed;
  // none after it.
  [[noreturn]] void end_table(const mss_load_failure& failure);

  bool identity_insert_ = false;
  bool has_primary_key_ = false;
  std::unique_ptr<odb_command> command_;
  std::unique_ptr<mss_fast_load> fast_load_;
  unsigned appended_ = 0;
  std::map<std::string, text_column> text_columns_;  // by the column's name without regard to case
  mutable std::vector<std::wstring> source_names_;
  std::vector<std::wstring> plan_names_;
  std::vector<int> plan_;
  std::vector<bool> plan_not_null_;
  std::vector<const t_ftd*> plan_fields_;
  std::vector<unsigned> plan_code_pages_;  // of char, varchar and text columns (0: none)
  std::u16string text_;  // the value being bound
  struct deferred_row {
    int record;
    std::wstring values;  // "(literal, ...)"
  };
  static constexpr std::size_t deferred_limit = 100;
  std::vector<deferred_row> deferred_;
  std::wstring deferred_columns_;
  // The first row refused when no error reporter exists: thrown when the call ends.
  std::exception_ptr first_failure_;
  // What ended the table (tk_table_exception, tk_connection_lost), thrown
  // again by every later call.
  std::exception_ptr ended_;
};

// "Table 't' is locked by another session: ..." with how long the lock was
// waited for and the server's text.
std::wstring mss_lock_text(const std::wstring& table, const std::wstring& server_text);
