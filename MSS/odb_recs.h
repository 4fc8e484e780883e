// A rowset read as a recordset: rows fetched five at a time, every column of
// a row read with one call into one buffer.
#pragma once

#include <array>
#include <memory>

#include "MSS/odb_acc.h"
#include "MSS/odb_rec.h"
#include "OLE/ole_ptr.h"
#include "UDB/udb_recs.h"
#include "platform/oledb/oledb_interfaces.h"

class odb_recordset : public udb_recordset {
 public:
  static constexpr int block_size = 5;

  // Takes a reference on the rowset (may be null) and reads its columns;
  // reset() loads the first block.
  explicit odb_recordset(IRowset* rowset);
  ~odb_recordset() override;

  // Read only: appending is an internal error.
  void append_record(const udb_record& record) override;
  udb_record* get_record() override { return get_item(); }
  bool is_eof() override;
  void next() override;
  void prev() override {}
  void reset() override;

  // The current record (valid until the next fetch).
  odb_record* get_item();
  // How many rows have been passed.
  long get_row_number() const { return row_number_; }
  int get_column_count() const { return column_count_; }
  const DBCOLUMNINFO* get_columns() const { return columns_; }

 protected:
  odb_recordset();
  // Reads the rowset's column information into the schema and binds the accessor.
  void initialize();
  void fill_cache();
  void free_cache();

  int column_count_ = 0;
  odb_accessor accessor_;
  ole_com_ptr<IRowset> rowset_;
  DBCOLUMNINFO* columns_ = nullptr;
  OLECHAR* names_ = nullptr;
  int position_ = 0;
  int cached_ = 0;
  std::array<std::unique_ptr<odb_record>, block_size> cache_;
  long row_number_ = 0;
};
