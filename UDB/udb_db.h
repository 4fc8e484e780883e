// The universal database model that every source and destination implements:
// an engine creates, opens, deletes and tests databases; a database lists,
// creates, deletes and finds tables and queries.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "UDB/udb_idx.h"
#include "UDB/udb_nmap.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_rel.h"
#include "UDB/udb_sche.h"

class udb_database;

// Mode flags of a database, given when it is opened and kept for its life.
enum : unsigned {
  UDB_MODE_READ_ONLY = 0x01,  // no table may be created or dropped
  UDB_MODE_CREATED = 0x02,    // the engine has just created the database
  UDB_MODE_OVERWRITE = 0x04,  // the whole database is being overwritten
  UDB_MODE_APPEND = 0x08,     // creating an existing table returns it; no foreign keys
  UDB_MODE_DAO_OPTIONS = 0x10,
  UDB_MODE_DAO_NO_FKEYS = 0x20,  // DAO: foreign keys are not read (either bit)
  UDB_MODE_DAO_NO_FKEYS_2 = 0x40,
};

class udb_engine {
public:
  udb_engine() = default;
  udb_engine(const udb_engine&) = delete;
  udb_engine& operator=(const udb_engine&) = delete;
  virtual ~udb_engine() = default;

  // Back ends override these, in this order.
  virtual std::unique_ptr<udb_database> create_db(const std::wstring& name) = 0;
  virtual std::unique_ptr<udb_database> open_db(const std::wstring& name, unsigned mode,
                                                const std::wstring& password) = 0;
  // Default: deletes the file of that path; a level-1 tk_exception_ex when the
  // system refuses.
  virtual void db_delete(const std::wstring& path);
  // Default: the file exists and can be opened for reading.
  virtual bool is_db_exist(const std::wstring& path);
};

class udb_database {
public:
  using query_map = std::map<std::wstring, std::wstring>;

  udb_database(const std::wstring& name, unsigned mode);
  udb_database(const udb_database&) = delete;
  udb_database& operator=(const udb_database&) = delete;
  virtual ~udb_database();

  // Back ends override these, in this order.
  // A new recordset on the new table (in append mode, on the existing one).
  virtual std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                      const udb_indexes& indexes) = 0;
  // Removes the name from the table list (case ignored); a name not listed is an
  // internal error. Back ends drop the table first, then call this.
  virtual bool delete_tab(const std::wstring& name);
  virtual std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) = 0;
  virtual std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& query) = 0;
  virtual bool test_query(const std::wstring& query) = 0;
  // Runs a statement; its result set, if any. Default: not supported (internal error).
  virtual std::unique_ptr<udb_recordset> query(const std::wstring& statement);
  // Default: nothing.
  virtual void create_views(const query_map& queries);
  // Default: nothing.
  virtual void create_relationships(const udb_relationships& relationships);
  // The table list holds the name (case ignored).
  virtual bool is_table_exist(const std::wstring& name);
  // Before an existing table is dropped to be created anew: creates what
  // create_table would create under an unused name and drops that at once, so
  // that nothing is dropped that the server would not let the run create again.
  // A refusal throws a tk_table_exception that names the table and gives the
  // server's reason. Default: nothing to try.
  virtual void try_create_table(const std::wstring& name, const udb_schema& schema, const udb_indexes& indexes);

  const std::wstring& get_name() const { return name_; }
  unsigned get_mode() const { return mode_; }
  // Queries stored in a source database.
  const query_map& get_queries() const { return queries_; }
  // Names of the tables the database holds.
  const std::vector<std::wstring>& get_tables() const { return tables_; }
  udb_names_map& get_names_map() { return names_map_; }
  const udb_names_map& get_names_map() const { return names_map_; }
  udb_relationships& get_relationships() { return relationships_; }
  const udb_relationships& get_relationships() const { return relationships_; }

protected:
  unsigned mode_;
  std::wstring name_;
  query_map queries_;
  std::vector<std::wstring> tables_;
  udb_names_map names_map_;
  udb_relationships relationships_;
};
