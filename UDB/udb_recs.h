// A recordset: one table or query of a database, with its schema and indexes;
// a source delivers records from it, a destination receives them.
#pragma once

#include <string>

#include "UDB/udb_idx.h"
#include "UDB/udb_sche.h"

class udb_record;

class udb_recordset {
public:
  // A table; owns_schema: the schema deletes its descriptors.
  udb_recordset(const std::wstring& name, bool owns_schema);
  // A query.
  udb_recordset(const std::wstring& name, const std::wstring& query, bool owns_schema);
  udb_recordset(const udb_recordset&) = delete;
  udb_recordset& operator=(const udb_recordset&) = delete;
  virtual ~udb_recordset();

  // Back ends override these, in this order.
  virtual void append_record(const udb_record& record) = 0;
  virtual void update(const udb_record& record);  // default: logs only
  // The current record, owned by the recordset (valid until the next move or
  // get_record); null when the recordset delivers none.
  virtual udb_record* get_record();
  virtual bool is_eof();  // default: true
  virtual bool is_query() const;
  virtual void next();
  virtual void prev();
  virtual void reset();

  // Appends the index unless one of that name exists (case ignored); the first
  // primary or unique index becomes the key index.
  void add_index(const udb_index& index);
  // Empties the index list (and forgets the key index).
  void clean_indexes();
  // Changes each field of the record to the type of the schema's descriptor at
  // the same position.
  void convert_record(udb_record& record) const;

  const std::wstring& get_name() const { return name_; }
  const std::wstring& get_query() const { return query_; }
  udb_schema& get_schema() { return schema_; }
  const udb_schema& get_schema() const { return schema_; }
  const udb_indexes& get_indexes() const { return indexes_; }
  unsigned get_records_count() const { return records_count_; }
  // Position of the key index in the index list; -1 when there is none.
  int get_key_index() const { return key_index_; }

protected:
  std::wstring query_;
  std::wstring name_;
  udb_schema schema_;
  udb_indexes indexes_;
  unsigned records_count_ = 0;
  int key_index_ = -1;
};
