// A record of a DAO recordset and its fields, with the map between DAO field
// types and VARIANT types.
#pragma once

#include <memory>
#include <string>

#include "OLE/ole_ptr.h"
#include "UDB/udb_rec.h"
#include "UDB/udb_sche.h"
#include "platform/dao/dao.h"

class dao_field : public udb_field {
 public:
  explicit dao_field(DAOField* field);
  ~dao_field() override;

  std::string to_string() const override;
  std::wstring to_wstring() const override;
  // The value's type; for an empty value, the VARTYPE of the DAO type.
  VARTYPE get_type() const override;

  bool is_not_null() const { return not_null_; }
  bool is_auto_increment() const { return auto_increment_; }

  // Reads the field's value again, for the recordset's next record; the name,
  // size and flags are the column's and stay as they were read.
  void refresh();

  // DAO type to VARTYPE.
  static VARTYPE get_vartype(int dao_type);
  // VARTYPE and size of a descriptor to DAO type; ole_type_exception for others.
  static int get_native_type(const t_ftd& descriptor);

 private:
  void read_value();

  ole_com_ptr<DAOField> field_;
  std::wstring column_name_;
  int column_size_ = 0;
  bool not_null_ = false;
  bool auto_increment_ = false;
};

class dao_record : public udb_record {
 public:
  explicit dao_record(DAOFields* fields);
  ~dao_record() override;

  // Reads every field's value again, for the recordset's next record.
  void refresh();

 private:
  ole_com_ptr<DAOFields> fields_;
};
