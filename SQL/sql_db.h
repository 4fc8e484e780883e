// One database on the MySQL server: its tables, creating and dropping them, running
// statements, opening tables and queries, foreign keys and views.
#pragma once

#include <mysql.h>

#include <memory>
#include <string>
#include <vector>

#include "SQL/sql_recs.h"
#include "UDB/udb_db.h"

class sql_exception;
class sql_table;

class sql_database : public udb_database {
public:
  // One page-sized SELECT whose rows stream from the server.
  class sql_limited_query {
  public:
    // is_query: text is a statement; else text is a table name and the statement
    // takes rows first .. first + count - 1.
    sql_limited_query(sql_database& database, const std::wstring& text, long first, long count,
                      bool is_query);
    sql_limited_query(sql_limited_query&& other) noexcept;
    sql_limited_query& operator=(sql_limited_query&&) = delete;
    ~sql_limited_query();

    // Fills the page with up to 256 rows; the slots after the last row are empty.
    void store_to(sql_page& page);
    unsigned field_count() const;
    const MYSQL_FIELD* fields() const;

  private:
    MYSQL_RES* m_result = nullptr;
  };

  sql_database(const std::wstring& name, MYSQL* connection, unsigned mode);
  ~sql_database() override;

  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  bool delete_tab(const std::wstring& name) override;
  // The CREATE TABLE of create_table under an unused name, dropped at once (see
  // udb_database::try_create_table).
  void try_create_table(const std::wstring& name, const udb_schema& schema,
                        const udb_indexes& indexes) override;
  // The same trial: empty when the server took the table, else why it did not.
  std::string creation_trial(const std::wstring& name, const udb_schema& schema,
                             const udb_indexes& indexes);
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) override;
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name,
                                           const std::wstring& query) override;
  bool test_query(const std::wstring& query) override;
  std::unique_ptr<udb_recordset> query(const std::wstring& statement) override;
  void create_views(const query_map& queries) override;
  void create_relationships(const udb_relationships& relationships) override;

  // The table as the MySQL table type, for writing rows; created: the run has
  // just created it.
  std::unique_ptr<sql_table> open_table(const std::wstring& name, bool created = false);
  // The rows of a table as the server counts them; sql_exception when it cannot
  // (1146: there is no such table).
  unsigned long long row_count(const std::wstring& table);
  // The connection was lost while the run dropped table name (dropping), or
  // created it or opened the table it created: once the lost session has
  // ended, a new connection looks at what stands, and a tk_connection_lost
  // says it (doing is "dropping", "creating", ...).
  [[noreturn]] void table_lost(const std::wstring& name, const wchar_t* doing, const sql_exception& error,
                               bool dropping = false);
  void create_fk_index_if(const std::wstring& table, const std::vector<std::wstring>& columns);
  // Sends a statement; its streamed result set, or null (failure or no rows).
  MYSQL_RES* run_query(const std::wstring& statement);

  // The CREATE TABLE statement for a source schema and its indexes; auto_name
  // receives the column that gets AUTO_INCREMENT, field_names the renamed columns.
  static std::wstring create_table_statement(const std::wstring& name, const udb_schema& schema,
                                             const udb_indexes& indexes,
                                             udb_names_map::name_map* field_names = nullptr);
  // Why the server refused to create a table: a rule that every table have a
  // primary key by the name of its setting, else the server's own text.
  static std::string creation_refusal(const sql_exception& e);

private:
  // The connection was lost while the trial table of table name was created or
  // dropped: a new connection drops it (else the error names it).
  [[noreturn]] void trial_lost(const std::wstring& name, const std::wstring& trial, const sql_exception& error);

  MYSQL* m_connection;
};

// The address that the messages of failed foreign keys and views point to.
extern const char* const sql_service_address;
