// The MySQL half of the conversion driver: the engine, the connection settings
// and the dump-file options; the operations that the wizard pages call on the
// destination; the statements of type refinement.
#pragma once

#include <map>
#include <set>
#include <string>

#include "SQL/sql_dump.h"
#include "SQL/sql_engi.h"

class udb_database;
class udb_profile;
class udb_schema;
class num_map;
class dates_map;
class types_map;
struct t_ftd;
struct type_map_entry;

// The options of a dump file, as the dump page sets them and the settings keep them;
// the dump writer takes them as they stand (the window title is their creator text).
using dump_options = dmp_settings;

class mysql_converter_impl {
public:
  mysql_converter_impl();
  virtual ~mysql_converter_impl();
  mysql_converter_impl(const mysql_converter_impl&) = delete;
  mysql_converter_impl& operator=(const mysql_converter_impl&) = delete;

  // Keeps the connection settings, blanks removed at both ends; an empty port is "3306".
  void store_mysql_settings(const std::string& host, const std::string& user, const std::string& password,
                            const std::string& port);
  // Connects with the settings; a port that reads as 0: level-1 "Invalid port number".
  bool connect_mysql_server();
  void del_mysql_base(const std::wstring& name);
  // A name the server refuses: level-1 tk_exception with the generation's text.
  void check_mysql_db_name(const std::wstring& name);

  // Type refinement after a table: one ALTER TABLE ... MODIFY per column whose
  // observed class differs from its source class. Dates first, numbers second.
  // Failures are logged and passed over (see run_refinement for what a
  // failure leaves). A change that would narrow a text column, or make the
  // table one the server refuses (see SQL/sql_fit.h), is left out, and so is
  // one that would set the empty texts of a column to NULL while it holds
  // NULLs as well. schema is the table's columns as they are; a change made is
  // recorded in it.
  void date_post_process(udb_database& db, udb_schema& schema, const dates_map& map);
  void num_post_process(udb_database& db, udb_schema& schema, const num_map& map);

  // The same refinement of a server table in one UPDATE and one ALTER TABLE
  // (one rebuild of the table instead of one per column). False when the
  // server refused it (schema is then as it was); the caller then refines
  // column by column.
  bool refine_table(udb_database& db, udb_schema& schema, const dates_map& dates, const num_map& numbers);

  // The refinement of one table: with one_statement refine_table, else (or
  // when the server refuses it) a statement per column. A column whose change
  // did not happen keeps its values: its empty texts, set to NULL for the
  // change, are set back. When that cannot be known or done (the connection
  // was lost, the server refuses to set them back), a level-1 error names the
  // table and those columns.
  void run_refinement(udb_database& db, udb_schema& schema, const dates_map& dates, const num_map& numbers,
                      bool one_statement);

  // "MySQL settings" of a profile.
  bool store_profile(udb_profile& profile);
  bool load_profile(udb_profile& profile);

  sql_engine& get_engine() { return engine_; }
  dump_options& get_dump_options() { return dump_; }
  const std::string& get_host() const { return host_; }
  const std::string& get_user() const { return user_; }
  const std::string& get_password() const { return password_; }
  const std::string& get_port() const { return port_; }

protected:
  struct column_change {
    const wchar_t* type = nullptr;
    bool text_type = false;
    bool empty_seen = false;
    bool null_seen = false;
    // The column's type after the change, as a descriptor has it.
    VARTYPE vartype = VT_EMPTY;
    int size = 0;
    int extra = 0;
  };
  // The change a date entry asks for, or none.
  static column_change date_change(const type_map_entry& e);
  static column_change num_change(const type_map_entry& e);
  // "MODIFY col TYPE [CHARACTER SET cs] [NOT NULL] [DEFAULT x]".
  std::wstring modify_clause(const t_ftd& field, const column_change& change) const;
  // The change keeps the column's values and the table within the server's limits.
  bool keeps_fit(const udb_schema& schema, std::size_t index, const column_change& change) const;
  // One refinement statement for the entry's column of the destination schema.
  void refine_column(udb_database& db, udb_schema& schema, const types_map& map, std::size_t pos,
                     const column_change& change);
  // The change sets the column's empty texts to NULL first.
  static bool nulls_empty_texts(const t_ftd& field, const column_change& change);
  // False for a change that would set the empty texts of a column to NULL
  // while it holds NULLs as well.
  static bool keeps_values(const t_ftd& field, const column_change& change);
  // The empty texts of the columns whose change did not happen are set back.
  void restore_empty_texts(udb_database& db, const udb_schema& schema, const std::wstring& table_name);
  // A refinement statement that failed without the server's answer (a lost
  // connection, another client error) may have been done or not. The run ends
  // there: the types of the statement's columns are read (on a new connection
  // when the connection was lost), the empty texts of those whose change was
  // not made are set back, and the error says what was found (a
  // tk_connection_lost for a lost connection). Other failures return.
  void end_if_outcome_unknown(const std::exception& failure, udb_database& db, const udb_schema& schema,
                              const std::wstring& table);
  // "column a" or "columns a, b".
  static std::wstring column_list(const udb_schema& schema, const std::set<int>& columns);
  tk_exception empty_texts_error(const udb_schema& schema, const std::wstring& table, const std::string& why) const;

  sql_engine engine_;
  dump_options dump_;
  std::string host_;
  std::string user_;
  std::string password_;
  std::string port_ = "3306";
  // Columns of the current table whose empty texts were already set to NULL.
  std::set<int> nulled_columns_;
  // Columns whose empty texts may be NULL while their type has not changed.
  std::set<int> unsettled_columns_;
  // The columns of the refinement statements being sent, with the type each is to get.
  std::map<int, const wchar_t*> changing_columns_;
};

// The character-set clause that CREATE TABLE gives a text column (empty before 4.1.0).
std::wstring sql_text_charset_clause();
