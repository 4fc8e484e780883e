// The MySQL dump file: instead of a live server, the converted database is written
// as an SQL script (database, tables, rows, foreign keys, views) that a MySQL client
// loads later. dmp_database is the destination database, dmp_recordset the table
// that each created table returns; appended records become multi-row INSERTs.
//
// Two dialects: the new one for today's servers (names in back-quotes, utf8mb4 text
// columns, InnoDB tables, foreign keys) and the old one for servers before 4.1.
// While a dump is written the engine singleton reports a matching server version
// and COMPACT rows as InnoDB's default, so that the column, index, name and fit
// rules of the MySQL destination follow them: a table whose rows COMPACT records
// cannot hold is MyISAM, so that the file loads wherever its dialect does.
#pragma once

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "UDB/udb_db.h"
#include "UDB/udb_rec.h"

// The options of a dump file.
struct dmp_settings {
  unsigned line_break = 0;       // 0: Windows line breaks "\r\n"; any other value: "\n"
  bool new_version = true;       // new dialect (servers 4.1 or higher)
  bool lock_tables = true;       // "LOCK TABLES ... WRITE" around the rows of each table
  bool insert_comments = true;   // header comments and a comment block before each table
  bool create_database = false;  // DROP/CREATE/USE DATABASE (only with create_table)
  bool create_table = true;      // DROP TABLE and CREATE TABLE statements
  std::string creator;           // text of the "# Created by " line, written as stored

  const char* get_eol() const { return line_break == 0 ? "\r\n" : "\n"; }
  const wchar_t* get_weol() const { return line_break == 0 ? L"\r\n" : L"\n"; }
};

class dmp_database : public udb_database {
public:
  // Opens (truncates) the file and writes the header. A file that cannot be
  // opened raises a level-1 tk_exception naming it.
  dmp_database(const std::wstring& path, const dmp_settings& settings);
  // Finishes the file as close() does; a failure can then only be traced.
  ~dmp_database() override;

  // A new recordset that writes the table's rows; the recordset must be released
  // before the next table is created and before the database.
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) override;
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name,
                                           const std::wstring& query) override;
  bool test_query(const std::wstring& query) override;
  // Writes the statement; there is never a result.
  std::unique_ptr<udb_recordset> query(const std::wstring& statement) override;
  void create_views(const query_map& queries) override;
  void create_relationships(const udb_relationships& relationships) override;

  // Ends the file: closes an open table lock, then flushes and closes the file. A
  // failed write (a full disk) raises a level-1 tk_exception naming the file. The
  // driver calls it before it releases the database, so that the last writes are
  // checked too.
  void close();

  const dmp_settings& settings() const { return m_settings; }
  const std::wstring& path() const { return name_; }

  // Writes text (UTF-8) or a statement (UTF-8, then ";" and the line break). A
  // file that can no longer be written raises a level-1 tk_exception naming it,
  // here and at every later write.
  void write(std::string_view text);
  void write_line(std::string_view text);
  void write_statement(std::wstring_view statement);

  // The database name of a dump path: the file name without folder and extension,
  // made acceptable to the dialect in use.
  static std::wstring database_name(const std::wstring& path);

private:
  void write_header();
  void close_table_lock();
  void check(const char* what);
  [[noreturn]] void fail(const char* what, int err);

  std::ofstream m_file;
  dmp_settings m_settings;
  // Each written table's source indexes, for the foreign-key section.
  std::map<std::wstring, udb_indexes> m_indexes;
  bool m_closed = false;
};

class dmp_recordset : public udb_recordset {
public:
  // schema: the destination descriptors (final column names, in source order).
  dmp_recordset(dmp_database& database, const std::wstring& name, const udb_schema& schema);
  // Writes the rows still pending; a failure is traced, and the database reports
  // it at its next write or at close().
  ~dmp_recordset() override;

  void append_record(const udb_record& record) override;
  void update(const udb_record& record) override;

  // Writes the rows still pending as one INSERT statement.
  void flush();

  // Characters gathered before an INSERT statement is written.
  static constexpr size_t statement_limit = 200000;

private:
  const udb_field& find_field(const udb_record& record, size_t column) const;

  dmp_database& m_database;
  std::wstring m_pending;                  // the INSERT statement being gathered
  std::wstring m_head;                     // "INSERT INTO `t`(`a`, `b`) VALUES"
  std::vector<std::wstring> m_source_names;  // per column, the source field's name
  std::wstring m_literal;                  // scratch for one value
};
