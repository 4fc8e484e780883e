// A database reached through the OLE DB provider (odb_database) and its SQL
// Server form (mss_database): tables created through the definition
// interfaces, foreign keys by ALTER TABLE, statements through commands.
#pragma once

#include <memory>
#include <string>

#include "OLE/ole_ptr.h"
#include "MSS/odb_exce.h"
#include "UDB/udb_db.h"
#include "platform/oledb/oledb_interfaces.h"

class odb_database : public udb_database {
 public:
  // Keeps a reference on both.
  odb_database(const std::wstring& name, IDBInitialize* data_source, IOpenRowset* session, unsigned mode);
  ~odb_database() override;

  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  // Drops the table, then forgets its name. A lost connection (the DROP's
  // answer lost) throws tk_connection_lost saying whether the table was
  // dropped, as a new connection finds it.
  bool delete_tab(const std::wstring& name) override;
  // True when the statement ran.
  bool test_query(const std::wstring& statement) override;
  // The rows of the statement (an empty recordset when it gives none).
  std::unique_ptr<udb_recordset> query(const std::wstring& statement) override;

  IOpenRowset* get_session() const { return session_.get(); }
  IDBInitialize* get_data_source() const { return data_source_.get(); }

 protected:
  // A table as a new connection finds it.
  struct table_state {
    enum { absent, present, unknown } kind = unknown;
    long long rows = 0;
    std::wstring why;  // unknown: why it cannot be told
  };
  table_state find_table_state(const std::wstring& name);
  // "The connection to the server was lost while <doing> table 'x' (<the
  // provider's text>): " and what stands of the table now (for "dropping":
  // whether it was dropped).
  std::wstring lost_text(const std::wstring& doing, const std::wstring& name, const odb_exception& error);

  // Creates the table and (with_indexes) its indexes.
  void create_table_and_indexes(const std::wstring& name, const udb_schema& schema, const udb_indexes& indexes,
                                bool with_indexes = true);
  // DROP TABLE of the owner's table; provider failures thrown.
  void drop_table(const std::wstring& name);
  // Adds the field's default to the column's properties (none when it does not
  // convert to the field's type or the server cannot take it).
  void set_def_value(const t_ftd& field, std::vector<DBPROP>& properties);

  ole_com_ptr<IOpenRowset> session_;
  ole_com_ptr<IDBInitialize> data_source_;
};

class mss_database : public odb_database {
 public:
  // Lists the tables of the owner the engine's login names.
  mss_database(const std::wstring& name, IDBInitialize* data_source, IOpenRowset* session, unsigned mode);
  ~mss_database() override;

  // In append mode an existing table is reused. The result is an mss_table
  // that knows the indexes. A connection lost on the way throws
  // tk_connection_lost saying what stands of the table now.
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                              const udb_indexes& indexes) override;
  // An mss_table on the owner-qualified name.
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int mode) override;
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& query) override;
  // ALTER TABLE ... ADD CONSTRAINT ... FOREIGN KEY for each key; not in append mode.
  void create_relationships(const udb_relationships& relationships) override;
  // The CREATE TABLE that create_table would send, under a name no table of
  // the owner's has, dropped at once; a refusal throws tk_table_exception
  // naming the table, with the server's reason; a lost connection
  // tk_connection_lost (the trial table dropped on a new connection).
  void try_create_table(const std::wstring& name, const udb_schema& schema, const udb_indexes& indexes) override;
  // The same trial: empty when the server took the table, else why it did
  // not; a lost connection throws tk_connection_lost.
  std::wstring creation_trial(const std::wstring& name, const udb_schema& schema, const udb_indexes& indexes);

  // The name of a table's primary key, "PK_" + the table's, shortened to what
  // the server holds.
  static std::wstring primary_key_name(const std::wstring& table);
  // The source's column names the server cannot hold (too long, or with a
  // character no name carries), each with the name its column is created
  // with (shortened, '_' for such a character, unique in the table).
  static udb_names_map::name_map fitting_column_names(const udb_schema& schema);
  // The schema and indexes with those names (both left empty when none is renamed).
  static void fit_names(const udb_schema& schema, const udb_indexes& indexes, udb_names_map::name_map& renamed,
                        udb_schema& fitted, udb_indexes& fitted_indexes);

  // The text is one of the eight rule clauses (case ignored).
  static bool is_valid_fk_props(const std::wstring& rule);
  // The foreign-key statement of a key (names already mapped), with its rule
  // clause when the server of that version class takes it; both tables of the
  // owner when one is given.
  static std::wstring fk_statement(const udb_relationship& key, int version_code, const std::wstring& owner = {});
};
