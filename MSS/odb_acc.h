// Binds every column of a rowset into one row buffer: a 4-byte status, a
// 4-byte length and the value per column; binary columns as bytes, all
// others as UTF-16 text.
#pragma once

#include <memory>
#include <vector>

#include "MSS/odb_rec.h"
#include "OLE/ole_ptr.h"
#include "platform/oledb/oledb_interfaces.h"

class odb_accessor {
 public:
  odb_accessor() = default;
  odb_accessor(const odb_accessor&) = delete;
  odb_accessor& operator=(const odb_accessor&) = delete;
  ~odb_accessor();

  // columns stay the caller's and must outlive the accessor's records.
  void bind(IRowset* rowset, int count, const DBCOLUMNINFO* columns);
  // Reads the row into the buffer; the record is the caller's.
  std::unique_ptr<odb_record> get_record(IRowset* rowset, HROW row);

  // The value length bound for a column (bytes).
  static DBLENGTH max_length(const DBCOLUMNINFO& column);
  int get_row_size() const { return row_size_; }
  const std::vector<DBBINDING>& get_bindings() const { return bindings_; }
  void release();

 private:
  int count_ = 0;
  int row_size_ = 0;
  HACCESSOR handle_ = DB_NULL_HACCESSOR;
  const DBCOLUMNINFO* columns_ = nullptr;
  std::vector<BYTE> buffer_;
  std::vector<DBBINDING> bindings_;
  std::vector<DBBINDSTATUS> status_;
  ole_com_ptr<IAccessor> accessor_;
};
