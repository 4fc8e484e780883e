// Bulk loading of one table through the provider's bulk-insert rowset: one row
// buffer with a status, a length and a value per column, long columns bound
// as streams; rows committed every 1000 and at the end. The rows of the open
// batch are kept: when a commit fails, they are sent again one row per batch,
// so that only the rows the server refuses are lost, each reported with its
// record number.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "MSS/odb_exce.h"
#include "OLE/ole_ptr.h"
#include "platform/oledb/memory_stream.h"
#include "platform/oledb/oledb_interfaces.h"

class mss_fast_load {
 public:
  static constexpr int commit_rows = 1000;
  // Columns whose values may be longer than this many bytes are bound as streams.
  static constexpr DBLENGTH blob_threshold = 8000;

  // A row refused when it was sent again: its record number and the error.
  using row_failure = std::function<void(int record, const odb_exception& error)>;

  mss_fast_load();
  mss_fast_load(const mss_fast_load&) = delete;
  mss_fast_load& operator=(const mss_fast_load&) = delete;
  // Ends an open load without committing what it holds (the owner flushes first).
  ~mss_fast_load();

  HRESULT open_table(IOpenRowset* session, DBID* table);
  bool is_open() const { return open_; }

  // The rowset's columns (ordinals from 1) and how each is bound.
  int get_column_count() const { return static_cast<int>(columns_.size()); }
  const DBCOLUMNINFO& get_column(int ordinal) const { return columns_[ordinal - 1]; }
  const std::wstring& get_column_name(int ordinal) const { return names_[ordinal - 1]; }
  DBTYPE get_bound_type(int ordinal) const { return bindings_[ordinal - 1].wType; }
  // Bytes the value slot of an inline column takes.
  DBLENGTH get_max_length(int ordinal) const { return bindings_[ordinal - 1].cbMaxLen; }

  // Copies count bytes into the column's value slot and reports length; no
  // source and a count of 0 is NULL. False for an unknown column.
  bool BindData(const void* source, DBLENGTH count, DBLENGTH length, int column);
  bool BindData(const void* source, DBLENGTH length, int column);
  // Binds a stream column: the slot takes over the stream's reference.
  bool BindStream(memory_stream* stream, int column);

  // Inserts the row of the buffer (record: its number, for reports); commits
  // after every 1000th row. A row the provider refuses throws odb_exception;
  // a batch the server refuses is sent again row by row.
  HRESULT insert_data(int record = 0);
  // Commits the rows of the open batch now.
  void flush();
  // Commits what is left and ends the load; a failure that sending the rows
  // again cannot mend throws (level 0).
  void close_table();

  int get_counter() const { return counter_; }
  // Rows committed since the load was opened (refused rows not counted).
  long get_committed() const { return committed_; }
  void set_row_failure(row_failure handler) { on_failure_ = std::move(handler); }

 private:
  struct kept_row {
    int record = 0;
    std::vector<BYTE> buffer;
    std::vector<memory_stream*> streams;  // one reference each
  };

  void bind_columns();
  void keep_row(int record);
  void clear_kept();
  // Commits (done: and ends); on failure sends the kept rows again.
  void commit(bool done);
  void resend(std::vector<kept_row>& rows);
  void release_slots();

  bool open_ = false;
  std::vector<DBCOLUMNINFO> columns_;
  std::vector<std::wstring> names_;
  std::vector<DBBINDING> bindings_;
  std::vector<BYTE> buffer_;
  HACCESSOR accessor_ = DB_NULL_HACCESSOR;
  ole_com_ptr<IRowsetFastLoad> load_;
  ole_com_ptr<IAccessor> accessor_interface_;
  int counter_ = 0;
  long committed_ = 0;
  std::vector<kept_row> kept_;
  std::vector<std::vector<BYTE>> spare_;  // row buffers of committed rows, for reuse
  row_failure on_failure_;
};

// A failure of the server or of the connection rather than of one row's values.
bool mss_is_connection_failure(const odb_exception& error);
