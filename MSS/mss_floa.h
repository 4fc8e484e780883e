// Bulk loading of one table through the provider's bulk-insert rowset: one row
// buffer with a status, a length and a value per column, long columns bound
// as streams; rows committed every 1000 and at the end. The rows of the open
// batch are kept: when a commit fails, they are sent again one row per batch,
// so that only the rows the server refuses are lost, each reported with its
// record number. A kept row holds only the bytes its values use; its long
// values stay in memory up to kept_memory_limit bytes for the whole batch and
// go to a temporary file beyond it (in the folder TMPDIR names, else the
// system's temporary folder; unlinked as soon as it is made, so that it is
// gone however the process ends; closed at the commit). A value that cannot
// be written there whole ends the table with the system's reason.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MSS/odb_exce.h"
#include "OLE/ole_ptr.h"
#include "platform/oledb/memory_stream.h"
#include "platform/oledb/oledb_interfaces.h"

// What became of rows whose answer was lost.
struct mss_lost_answer {
  enum outcome_t { stored, not_stored, unknown };
  outcome_t outcome = unknown;
  std::wstring why;  // unknown: why it cannot be told
};

class mss_fast_load {
 public:
  static constexpr int commit_rows = 1000;
  // Columns whose values may be longer than this many bytes are bound as streams.
  static constexpr DBLENGTH blob_threshold = 8000;

  // Bytes of long values of the open batch kept in memory for a resend
  // (64 MB; the tests set less).
  static inline std::size_t kept_memory_limit = 64u << 20;

  // A row refused when it was sent again: its record number and the error.
  using row_failure = std::function<void(int record, const tk_exception& error)>;

  mss_fast_load();
  mss_fast_load(const mss_fast_load&) = delete;
  mss_fast_load& operator=(const mss_fast_load&) = delete;
  // Ends an open load without committing what it holds (the owner flushes first).
  ~mss_fast_load();

  // The failure of binding the columns is returned as the binding's own
  // result, and kept (bind_failure) with the provider's message.
  HRESULT open_table(IOpenRowset* session, DBID* table);
  bool is_open() const { return open_; }
  const std::optional<odb_exception>& bind_failure() const { return bind_failure_; }

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
  // a batch the server refuses, or that the connection lost before it was
  // stored, is sent again row by row on a new connection. A connection lost
  // then, or one that cannot be had, throws mss_load_failure (lost).
  HRESULT insert_data(int record = 0);
  // Commits the rows of the open batch now.
  void flush();
  // Rows sent in the batch that is open now (not yet committed).
  bool has_open_batch() const { return !kept_.empty(); }
  // Called after each commit of a batch (statements of the table may go then).
  void set_after_commit(std::function<void()> handler) { after_commit_ = std::move(handler); }
  // Commits what is left and ends the load; a failure that sending the rows
  // again cannot mend throws (level 0; a lost connection mss_load_failure).
  void close_table();

  int get_counter() const { return counter_; }
  // Rows committed since the load was opened (refused rows not counted).
  long get_committed() const { return committed_; }
  void set_row_failure(row_failure handler) { on_failure_ = std::move(handler); }

  // A commit whose answer is lost (the connection failed once the batch was
  // sent) is never simply sent again: the table's rows, counted anew, tell
  // whether the batch is stored (the run alone writes the table); stored, the
  // load goes on; not stored, it is sent again. count: the table's rows on the
  // server now (failures thrown). Known rows: those of the table besides the
  // open batch, its own at the start and every row stored since, by statement
  // too (add_known_rows); kept across loads.
  void set_row_count(std::function<long long()> count) { count_rows_ = std::move(count); }
  void set_known_rows(long long rows) { known_rows_ = rows; }
  // Rows stored by statement, the last of them record last_record.
  void add_known_rows(long long rows, int last_record) {
    known_rows_ += rows;
    last_confirmed_ = std::max(last_confirmed_, last_record);
  }
  long long get_known_rows() const { return known_rows_; }
  // The highest record number known to be stored (0: none).
  int get_last_confirmed() const { return last_confirmed_; }
  // The records of the open batch: sent, not committed.
  std::vector<int> open_batch() const;

 private:
  // A long value kept for a resend: in memory (one reference) or in the
  // temporary file.
  struct kept_stream {
    memory_stream* memory = nullptr;
    long long offset = -1;
    ULONG size = 0;
  };
  // A kept row: for each column its status, length and the value bytes it
  // uses, in the arena; its long values in column order.
  struct kept_row {
    int record = 0;
    std::size_t offset = 0, size = 0;
    std::vector<kept_stream> streams;
  };
  class resend_file;

  void bind_columns();
  // The record numbers of the rows from `from` on.
  static std::vector<int> records(const std::vector<kept_row>& rows, std::size_t from);
  void keep_row(int record);
  // Throws mss_load_failure (not_kept) when the value cannot be kept.
  kept_stream keep_stream(memory_stream* stream);
  // The row as a row buffer again (in resend_buffer_); false with the reason
  // when a long value cannot be read again.
  bool restore_row(const kept_row& row, std::wstring& reason);
  void release_rows(std::vector<kept_row>& rows);
  void clear_kept();
  // After a commit: the kept values are let go, spare memory released.
  void end_batch();
  // Commits (done: and ends); on failure sends the kept rows again.
  void commit(bool done);
  void resend(std::vector<kept_row>& rows);
  // Rows committed (rows known to be stored), the last of them record last_record.
  void confirm(long rows, int last_record);
  // What the table's rows tell of `rows` rows whose commit lost its answer.
  mss_lost_answer batch_stored(long rows);
  // The long values of the current row are read from their beginning again.
  void rewind_slots();
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
  std::vector<BYTE> arena_;          // the values of the kept rows
  std::vector<BYTE> resend_buffer_;  // a kept row as a row buffer again
  std::size_t kept_memory_ = 0;      // bytes of kept long values in memory
  std::unique_ptr<resend_file> spill_;  // kept long values beyond the limit
  row_failure on_failure_;
  std::function<void()> after_commit_;
  std::function<long long()> count_rows_;
  long long known_rows_ = 0;
  int last_confirmed_ = 0;
  std::optional<odb_exception> bind_failure_;
};

// A failure of the server or of the connection rather than of one row's values.
bool mss_is_connection_failure(const odb_exception& error);
// A lock that another session holds outlasted the connection's wait (1222).
bool mss_is_lock_timeout(const odb_exception& error);

// The load cannot go on. kind: another session holds the table locked; the
// rows of the open batch cannot be kept to be sent again (reason: the
// system's); the server refuses a change the table needs (reason: what and
// why); the connection was lost (reason: the provider's). records: the
// records being written when it failed, sent and not confirmed (locked,
// not_kept: not stored); told: what a count of the table's rows said of them
// (lost; none when no count was made); unsent: records not stored besides.
// The owner ends its table with it.
class mss_load_failure : public tk_exception {
 public:
  enum kind_t { locked, not_kept, refused, lost };
  mss_load_failure(kind_t kind, const std::wstring& reason, std::vector<int> records,
                   std::optional<mss_lost_answer> told = std::nullopt, std::vector<int> unsent = {})
      : tk_exception(reason, 0),
        kind(kind),
        reason(reason),
        records(std::move(records)),
        told(std::move(told)),
        unsent(std::move(unsent)) {}
  kind_t kind;
  std::wstring reason;
  std::vector<int> records;
  std::optional<mss_lost_answer> told;
  std::vector<int> unsent;
  bool by_statement = false;  // records went by statement (else by bulk load)
};

// What the table's rows (count) tell of `rows` rows sent whose answer was
// lost: stored when they are known + rows, not stored when they are known;
// anything else, or a count that fails, cannot tell (why says so).
mss_lost_answer mss_rows_after_lost_answer(const std::function<long long()>& count, long long known, long rows);
