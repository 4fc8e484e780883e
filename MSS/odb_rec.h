// One fetched row as a record of typed values, and the type tables between
// VARIANT types and OLE DB types.
#pragma once

#include <string>

#include "UDB/udb_rec.h"
#include "platform/oledb/oledb_types.h"

class odb_field : public udb_field {
 public:
  odb_field(const std::wstring& name, int size, const ole_variant& value) : udb_field(name, size, value) {}
  ~odb_field() override;
  // The value's text, dates included.
  std::wstring to_wstring() const override;
};

class odb_record : public udb_record {
 public:
  // Builds the fields from a row buffer laid out by odb_accessor; the buffer,
  // columns and bindings stay the caller's.
  odb_record(int count, const BYTE* buffer, const DBCOLUMNINFO* columns, const DBBINDING* bindings);

  // A field of the column's VARIANT type from its text.
  static std::unique_ptr<odb_field> get_field(const DBCOLUMNINFO& column, const std::wstring& text);
  static VARTYPE get_vartype(DBTYPE type, DBLENGTH size, DBCOLUMNFLAGS flags);
  // version_code: the server's version class; below 3 (before SQL Server
  // 2000) 64-bit and unsigned 32-bit integers become doubles.
  static DBTYPE get_oledb_type(VARTYPE vt, int size, int flags, int version_code);

  int get_count() const { return count_; }

 private:
  int count_;
};
