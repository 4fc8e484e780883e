// What a DAO database needs as a destination: names Jet accepts, a table built
// from a source schema and indexes, and values Jet takes.
#pragma once

#include <string>
#include <vector>

#include "OLE/ole_ptr.h"
#include "OLE/ole_var.h"
#include "UDB/udb_idx.h"
#include "UDB/udb_sche.h"
#include "UDB/udb_vali.h"
#include "platform/dao/dao.h"

// Names without the characters `![]. and without blanks at either end.
class dao_validator : public udb_validator {
 public:
  dao_validator();
  bool is_acceptable(const std::wstring& name) const override;
  std::wstring get_safe_name(const std::wstring& name) const override;
};

// Field names; the source fields' names count as used.
class dao_fn_validator : public dao_validator {
 public:
  explicit dao_fn_validator(const udb_schema& source);
};

// Index names; the source indexes' names count as used.
class dao_in_validator : public dao_validator {
 public:
  explicit dao_in_validator(const udb_indexes& source);
};

// The value as Jet takes it: unsigned and 64-bit integers become wider types.
ole_variant dao_get_valid_variant(const ole_variant& value);

class dao_schema_initializer {
 public:
  dao_schema_initializer(DAOTableDef* table, const udb_schema& source);
  // Creates the fields on the table definition.
  void initialize();
  const udb_schema& get_schema() const { return schema_; }
  const t_names_map& get_names_map() const { return validator_.mapped_names(); }
  // A default text quoted for Jet.
  static std::wstring quote_def_value(const std::wstring& text);

 private:
  udb_schema schema_;
  ole_com_ptr<DAOTableDef> table_;
  dao_fn_validator validator_;
};

class dao_indexes_initializer {
 public:
  dao_indexes_initializer(DAOTableDef* table, const udb_schema& schema, const udb_indexes& source,
                          const t_names_map& names);
  // Creates the indexes on the table definition.
  void initialize();
  const std::vector<udb_index>& get_indexes() const { return indexes_; }

 private:
  ole_com_ptr<DAOTableDef> table_;
  std::vector<udb_index> indexes_;
  dao_in_validator validator_;
  const udb_schema& schema_;
  const t_names_map& names_;
};
