// Initializers that turn a source schema and its indexes into the column and index
// chunks of a MySQL CREATE TABLE statement, with names the server accepts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "UDB/udb_idx.h"
#include "UDB/udb_sche.h"
#include "UDB/udb_vali.h"

class sql_schema_initializer {
public:
  // auto_increment_name receives the destination name of the column that gets
  // AUTO_INCREMENT (emptied when the chunks are built). A table whose row is too
  // large for the server gets TEXT columns in place of VARCHAR ones (see
  // SQL/sql_fit.h); one that cannot fit raises sql_exception naming it.
  sql_schema_initializer(const std::wstring& table, const udb_schema& source,
                         const udb_indexes& indexes, std::wstring& auto_increment_name);
  virtual ~sql_schema_initializer();

  virtual void get_init_chunks(std::vector<std::wstring>& chunks);

  static bool can_have_auto_num(const t_ftd* descriptor);
  static bool can_have_def_value(const t_ftd* descriptor);

  const udb_schema& destination() const { return m_destination; }
  const udb_validator& validator() const { return *m_validator; }
  const t_names_map& generated_names() const { return m_validator->mapped_names(); }
  // InnoDB cannot hold every row of the table in the row format it would get
  // (see SQL/sql_fit.h): it is to be created MyISAM.
  bool needs_myisam() const { return m_needs_myisam; }

private:
  std::wstring m_table;
  udb_schema m_destination;
  std::wstring& m_auto_increment_name;
  const udb_indexes& m_indexes;
  std::unique_ptr<udb_validator> m_validator;
  const udb_schema& m_source;
  bool m_needs_myisam = false;
};

class sql_indexes_initializer {
public:
  // myisam: the table is created MyISAM, whose keys hold at most 1000 bytes.
  sql_indexes_initializer(const udb_schema& destination, const udb_indexes& indexes,
                          const std::wstring& auto_increment_name, const t_names_map& field_names,
                          bool myisam = false);
  virtual ~sql_indexes_initializer() = default;

  virtual void get_init_chunks(std::vector<std::wstring>& chunks);

  const udb_indexes& destination() const { return m_destination; }

private:
  udb_indexes m_destination;
  std::wstring m_auto_increment_name;
  const udb_schema& m_schema;
  bool m_myisam;
};
