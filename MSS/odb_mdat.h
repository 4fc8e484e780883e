// The provider's schema rowsets read as recordsets: primary keys, tables,
// indexes and foreign keys, restricted to one owner and table.
#pragma once

#include <array>
#include <string>

#include "MSS/odb_recs.h"

template <int N>
class odb_meta_data : public odb_recordset {
 public:
  ~odb_meta_data() override;

 protected:
  explicit odb_meta_data(IUnknown* session);
  // Restriction i (0-based) as a text to match exactly.
  void set_restriction(int i, const std::wstring& value);
  // Opens the schema rowset with the restrictions and reads its columns.
  void internal_initialize(REFGUID schema);

  std::array<VARIANT, N> restrictions_;
  ole_com_ptr<IDBSchemaRowset> schema_rowset_;
};

// DBSCHEMA_PRIMARY_KEYS of the table.
class odb_pk_meta_data : public odb_meta_data<3> {
 public:
  odb_pk_meta_data(const std::wstring& table, const std::wstring& owner, IUnknown* session);
};
// DBSCHEMA_TABLES of the owner, tables only.
class odb_tl_meta_data : public odb_meta_data<4> {
 public:
  odb_tl_meta_data(const std::wstring& owner, IUnknown* session);
};
// DBSCHEMA_INDEXES of the table.
class odb_id_meta_data : public odb_meta_data<5> {
 public:
  odb_id_meta_data(const std::wstring& table, const std::wstring& owner, IUnknown* session);
};
// DBSCHEMA_FOREIGN_KEYS that refer to the table.
class odb_fk_meta_data : public odb_meta_data<6> {
 public:
  odb_fk_meta_data(const std::wstring& table, const std::wstring& owner, IUnknown* session);
};
