#include "MSS/mss_floa.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "platform/com/com_memory.h"

#define ODB_SERVICE_ADDRESS "support@dunmere.example"

namespace {

constexpr DBLENGTH align8(DBLENGTH n) { return (n + 7) & ~DBLENGTH{7}; }

// The provider refuses a row's values before sending it (the open batch is
// intact): a conversion, an overflow, a value too long, a date out of range.
bool is_row_refusal(const odb_exception& e) {
  switch (e.get_native_error()) {
    case 241: case 242: case 245: case 8114: case 8115: case 8152: case 2628: return true;
    default: return false;
  }
}

}  // namespace

bool mss_is_connection_failure(const odb_exception& error) {
  // db-lib's own errors (20xxx): no server, a dead or closed connection.
  return error.get_native_error() >= 20000 && error.get_native_error() < 30000;
}

bool mss_is_lock_timeout(const odb_exception& error) { return error.get_native_error() == 1222; }

mss_lost_answer mss_rows_after_lost_answer(const std::function<long long()>& count, long long known, long rows) {
  mss_lost_answer answer;
  long long now = -1;
  try {
    if (count) now = count();
  } catch (const std::exception& e) {
    answer.why = L"its rows cannot be counted: " + tk_from_ansi(e.what());
    return answer;
  }
  if (now == known + rows) {
    answer.outcome = mss_lost_answer::stored;
  } else if (now == known) {
    answer.outcome = mss_lost_answer::not_stored;
  } else {
    answer.why = now < 0 ? std::wstring(L"its rows cannot be counted")
                         : L"the table holds " + std::to_wstring(now) + L" rows: " + std::to_wstring(known) +
                               L" if they are not stored, " + std::to_wstring(known + rows) + L" if they are";
  }
  return answer;
}

// The file of the kept long values: made in the temporary folder and
// unlinked at once. A value is appended whole or not at all (the file's size
// moves only past whole values), and read back from the offset it was
// written at.
class mss_fast_load::resend_file {
 public:
  ~resend_file() {
    if (fd_ >= 0) ::close(fd_);
  }
  // The folder's reason when the file cannot be made.
  bool open(std::wstring& reason) {
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) {
      reason = L"the temporary folder cannot be used: " + tk_from_ansi(ec.message());
      return false;
    }
    std::string name = (folder / "orv-resend-XXXXXX").string();
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
      reason = L"the temporary file cannot be made in " + tk_from_ansi(folder.string()) + L": " +
               tk_from_ansi(std::strerror(errno));
      return false;
    }
    ::unlink(name.c_str());
    folder_ = folder.string();
    return true;
  }
  // Appends the stream's bytes from its start; the offset they begin at, or
  // false with the system's reason.
  bool append(memory_stream& stream, ULONG size, long long& offset, std::wstring& reason) {
    BYTE chunk[65536];
    long long at = size_;
    stream.set_position(0);
    for (ULONG left = size; left > 0;) {
      ULONG got = 0;
      stream.Read(chunk, std::min<ULONG>(left, sizeof chunk), &got);
      if (got == 0) {
        reason = L"a long value could not be read to be kept";
        stream.set_position(0);
        return false;
      }
      for (ULONG done = 0; done < got;) {
        const ssize_t n = ::pwrite(fd_, chunk + done, got - done, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          // A write that stores nothing more: the disk is full, the file at its limit.
          reason = L"the temporary file in " + tk_from_ansi(folder_) + L": " +
                   tk_from_ansi(std::strerror(n < 0 ? errno : ENOSPC));
          stream.set_position(0);
          return false;
        }
        done += static_cast<ULONG>(n);
        at += n;
      }
      left -= got;
    }
    stream.set_position(0);
    offset = size_;
    size_ = at;
    return true;
  }
  // The value at offset, whole, into a new stream; null when it cannot be read.
  memory_stream* read(long long offset, ULONG size) const {
    auto* loaded = new memory_stream();
    BYTE chunk[65536];
    for (ULONG left = size; left > 0;) {
      const ULONG want = std::min<ULONG>(left, sizeof chunk);
      ULONG got = 0;
      while (got < want) {
        const ssize_t n = ::pread(fd_, chunk + got, want - got, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
          loaded->Release();
          return nullptr;
        }
        got += static_cast<ULONG>(n);
        offset += n;
      }
      if (loaded->Write(chunk, got, nullptr) != S_OK) {
        loaded->Release();
        return nullptr;
      }
      left -= got;
    }
    return loaded;
  }

 private:
  int fd_ = -1;
  long long size_ = 0;
  std::string folder_;
};

mss_fast_load::mss_fast_load() { tk_trace(2, "mss_fast_load::ctor"); }

mss_fast_load::~mss_fast_load() {
  tk_trace(2, "mss_fast_load::dtor");
  clear_kept();
  release_slots();
  if (accessor_ != DB_NULL_HACCESSOR && accessor_interface_) accessor_interface_->ReleaseAccessor(accessor_, nullptr);
  tk_trace(1, "mss_fast_load::dtor - at the end");
}

HRESULT mss_fast_load::open_table(IOpenRowset* session, DBID* table) {
  tk_trace(2, "mss_fast_load::open_table");
  if (open_) throw tk_mail_assertion("mss_floa", 141);
  if (!session) throw tk_mail_assertion("mss_floa", 142);
  DBPROP props[2]{};
  props[0].dwPropertyID = SSPROP_IRowsetFastLoad;
  props[1].dwPropertyID = SSPROP_FASTLOADKEEPIDENTITY;
  for (auto& p : props) {
    p.dwOptions = DBPROPOPTIONS_REQUIRED;
    p.vValue.vt = VT_BOOL;
    p.vValue.boolVal = VARIANT_TRUE;
  }
  DBPROPSET set{props, 2, DBPROPSET_SQLSERVERROWSET};
  IUnknown* rowset = nullptr;
  HRESULT hr = session->OpenRowset(nullptr, table, nullptr, IID_IRowsetFastLoad, 1, &set, &rowset);
  if (FAILED(hr)) {
    tk_trace(2, "open_rowset->OpenRowset failed: %08X", static_cast<unsigned>(hr));
    return hr;
  }
  load_.attach(static_cast<IRowsetFastLoad*>(rowset));
  counter_ = 0;
  committed_ = 0;
  hr = S_OK;
  try {
    bind_columns();
  } catch (const odb_exception& e) {
    tk_trace(2, "CDynamicAccessor::BindColumns failed: %08X", static_cast<unsigned>(e.get_code()));
    hr = FAILED(e.get_code()) ? e.get_code() : E_FAIL;
    bind_failure_ = e;
  }
  tk_trace(1, "b_open_table->true");
  open_ = true;
  return hr;
}

void mss_fast_load::bind_columns() {
  ole_com_ptr<IColumnsInfo> info;
  odb_check(load_.query_interface(IID_IColumnsInfo, info));
  DBORDINAL count = 0;
  DBCOLUMNINFO* columns = nullptr;
  OLECHAR* names = nullptr;
  odb_check(info->GetColumnInfo(&count, &columns, &names));
  columns_.assign(columns, columns + count);
  names_.clear();
  for (auto& c : columns_) {
    names_.emplace_back(c.pwszName ? c.pwszName : L"");
    c.pwszName = nullptr;
  }
  CoTaskMemFree(columns);
  CoTaskMemFree(names);

  bindings_.clear();
  DBLENGTH offset = 0;
  for (const DBCOLUMNINFO& c : columns_) {
    DBBINDING b{};
    b.iOrdinal = c.iOrdinal;
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.obStatus = offset;
    b.obLength = offset + 4;
    b.obValue = offset + 8;
    const bool text = c.wType == DBTYPE_WSTR || c.wType == DBTYPE_STR || c.wType == DBTYPE_BSTR;
    const bool bytes = c.wType == DBTYPE_BYTES;
    // Inline slots hold one unit more than the column takes, so that a value
    // too long for it reaches the provider as too long, never cut.
    const DBLENGTH inline_bytes = text ? (c.ulColumnSize + 1) * 2 : c.ulColumnSize + 1;
    if ((text || bytes) && ((c.dwFlags & DBCOLUMNFLAGS_ISLONG) || c.ulColumnSize > blob_threshold ||
                            inline_bytes > blob_threshold + 2)) {
      b.wType = DBTYPE_IUNKNOWN;
      b.cbMaxLen = sizeof(IUnknown*);
    } else if (text || bytes) {
      b.wType = text ? DBTYPE_WSTR : DBTYPE_BYTES;
      b.cbMaxLen = inline_bytes;
    } else if (c.wType == DBTYPE_DBTIMESTAMP || c.wType == DBTYPE_DBDATE || c.wType == DBTYPE_DBTIME ||
               c.wType == DBTYPE_DATE) {
      b.wType = DBTYPE_DBTIMESTAMP;
      b.cbMaxLen = sizeof(DBTIMESTAMP);
    } else if (c.wType == DBTYPE_R8 || c.wType == DBTYPE_R4) {
      b.wType = DBTYPE_R8;
      b.cbMaxLen = sizeof(double);
    } else {
      // Numbers, currency, decimals and truth values go as their exact text:
      // the provider reads it into the column's type or refuses the row.
      b.wType = DBTYPE_WSTR;
      b.cbMaxLen = 128 * 2;
    }
    offset += 8 + align8(b.cbMaxLen);
    bindings_.push_back(b);
  }
  buffer_.assign(offset, 0);
  odb_check(load_.query_interface(IID_IAccessor, accessor_interface_));
  std::vector<DBBINDSTATUS> status(bindings_.size());
  odb_check(accessor_interface_->CreateAccessor(DBACCESSOR_ROWDATA, static_cast<DBCOUNTITEM>(bindings_.size()),
                                                bindings_.data(), 0, &accessor_, status.data()));
}

bool mss_fast_load::BindData(const void* source, DBLENGTH count, DBLENGTH length, int column) {
  tk_trace(2, "mss_fast_load::BindData(%d,%d,%d)", static_cast<int>(count), static_cast<int>(length), column);
  if (!open_) throw tk_mail_assertion("mss_floa", 67);
  if (column < 1 || column > static_cast<int>(bindings_.size())) return false;
  const DBBINDING& b = bindings_[column - 1];
  if (count > b.cbMaxLen || length > b.cbMaxLen) return false;
  const DBSTATUS status = count == 0 && !source ? DBSTATUS_S_ISNULL : DBSTATUS_S_OK;
  std::memcpy(&buffer_[b.obStatus], &status, 4);
  const auto reported = static_cast<std::uint32_t>(length);
  std::memcpy(&buffer_[b.obLength], &reported, 4);
  if (b.wType == DBTYPE_IUNKNOWN) {
    IUnknown* previous = nullptr;
    std::memcpy(&previous, &buffer_[b.obValue], sizeof previous);
    if (previous) previous->Release();
    std::memset(&buffer_[b.obValue], 0, sizeof previous);
  }
  if (count && source) std::memcpy(&buffer_[b.obValue], source, count);
  return true;
}

bool mss_fast_load::BindData(const void* source, DBLENGTH length, int column) {
  return BindData(source, length, length, column);
}

bool mss_fast_load::BindStream(memory_stream* stream, int column) {
  if (column < 1 || column > static_cast<int>(bindings_.size()) || bindings_[column - 1].wType != DBTYPE_IUNKNOWN) {
    if (stream) stream->Release();
    return false;
  }
  IUnknown* object = stream;
  // The length a stream column reports is that of the pointer: the bytes are in the stream.
  return BindData(&object, sizeof object, sizeof object, column);
}

void mss_fast_load::release_slots() {
  for (const DBBINDING& b : bindings_) {
    if (b.wType != DBTYPE_IUNKNOWN) continue;
    IUnknown* object = nullptr;
    std::memcpy(&object, &buffer_[b.obValue], sizeof object);
    if (object) object->Release();
    std::memset(&buffer_[b.obValue], 0, sizeof object);
  }
}

namespace {

// The bytes of a kept column value: what its length says for text and
// binary data, the whole slot for the other types.
DBLENGTH kept_value_bytes(const DBBINDING& b, std::uint32_t length) {
  if (b.wType == DBTYPE_WSTR || b.wType == DBTYPE_BYTES) return std::min<DBLENGTH>(length, b.cbMaxLen);
  return b.cbMaxLen;
}

memory_stream* stream_at(const BYTE* slot) {
  IUnknown* object = nullptr;
  std::memcpy(&object, slot, sizeof object);
  return object ? static_cast<memory_stream*>(static_cast<ISequentialStream*>(object)) : nullptr;
}

}  // namespace

mss_fast_load::kept_stream mss_fast_load::keep_stream(memory_stream* stream) {
  kept_stream kept;
  kept.size = stream->size();
  if (kept_memory_ + kept.size <= kept_memory_limit) {
    stream->AddRef();
    kept.memory = stream;
    kept_memory_ += kept.size;
    return kept;
  }
  // Beyond the limit the value waits in the temporary file.
  std::wstring reason;
  if (!spill_) {
    auto file = std::make_unique<resend_file>();
    if (file->open(reason)) spill_ = std::move(file);
  }
  if (!spill_ || !spill_->append(*stream, kept.size, kept.offset, reason)) {
    tk_wtrace(2, L"A long value of %u bytes cannot be kept: %s", kept.size, reason.c_str());
    throw mss_load_failure(mss_load_failure::not_kept, reason, {});
  }
  return kept;
}

void mss_fast_load::keep_row(int record) {
  kept_row row;
  row.record = record;
  row.offset = arena_.size();
  for (const DBBINDING& b : bindings_) {
    const BYTE* slot = &buffer_[b.obStatus];
    DBSTATUS status;
    std::uint32_t length;
    std::memcpy(&status, slot, 4);
    std::memcpy(&length, &buffer_[b.obLength], 4);
    arena_.insert(arena_.end(), slot, slot + 8);
    if (status != DBSTATUS_S_OK) continue;
    if (b.wType == DBTYPE_IUNKNOWN) {
      memory_stream* stream = stream_at(&buffer_[b.obValue]);
      try {
        row.streams.push_back(stream ? keep_stream(stream) : kept_stream{});
      } catch (const mss_load_failure& failure) {
        // The row went into the batch but cannot be kept for a resend: the
        // batch is not to be committed, nothing of it is stored.
        for (kept_stream& s : row.streams)
          if (s.memory) s.memory->Release();
        std::vector<int> batch = open_batch();
        batch.push_back(record);
        clear_kept();
        throw mss_load_failure(failure.kind, failure.reason, std::move(batch));
      }
      continue;
    }
    const BYTE* value = &buffer_[b.obValue];
    arena_.insert(arena_.end(), value, value + kept_value_bytes(b, length));
  }
  row.size = arena_.size() - row.offset;
  kept_.push_back(std::move(row));
}

bool mss_fast_load::restore_row(const kept_row& row, std::wstring& reason) {
  resend_buffer_.assign(buffer_.size(), 0);
  const BYTE* at = arena_.data() + row.offset;
  std::size_t stream = 0;
  for (std::size_t i = 0; i < bindings_.size(); ++i) {
    const DBBINDING& b = bindings_[i];
    DBSTATUS status;
    std::uint32_t length;
    std::memcpy(&status, at, 4);
    std::memcpy(&length, at + 4, 4);
    std::memcpy(&resend_buffer_[b.obStatus], at, 4);
    std::memcpy(&resend_buffer_[b.obLength], at + 4, 4);
    at += 8;
    if (status != DBSTATUS_S_OK) continue;
    if (b.wType != DBTYPE_IUNKNOWN) {
      const DBLENGTH n = kept_value_bytes(b, length);
      std::memcpy(&resend_buffer_[b.obValue], at, n);
      at += n;
      continue;
    }
    const kept_stream& kept = row.streams[stream++];
    memory_stream* object = kept.memory;
    if (object) {
      object->set_position(0);
    } else if (kept.offset >= 0) {
      // From the temporary file into a stream of its own, which the kept row
      // takes over.
      memory_stream* loaded = spill_ ? spill_->read(kept.offset, kept.size) : nullptr;
      if (!loaded) {
        reason = L"The value of column '" + names_[i] +
                 L"' could not be read again from the temporary file to send the record again.";
        return false;
      }
      const_cast<kept_stream&>(kept).memory = loaded;
      object = loaded;
    } else {
      reason = L"The value of column '" + names_[i] + L"' could not be read again to send the record again.";
      return false;
    }
    IUnknown* pointer = object;
    std::memcpy(&resend_buffer_[b.obValue], &pointer, sizeof pointer);
  }
  return true;
}

void mss_fast_load::release_rows(std::vector<kept_row>& rows) {
  for (auto& row : rows)
    for (kept_stream& s : row.streams)
      if (s.memory) s.memory->Release();
  rows.clear();
}

void mss_fast_load::clear_kept() {
  release_rows(kept_);
  end_batch();
}

void mss_fast_load::end_batch() {
  kept_memory_ = 0;
  spill_.reset();  // unlinked already: the file is gone as it closes
  arena_.clear();
  // A batch of unusually wide rows leaves no large buffer behind.
  if (arena_.capacity() > (4u << 20)) arena_.shrink_to_fit();
  resend_buffer_.clear();
  resend_buffer_.shrink_to_fit();
}

void mss_fast_load::rewind_slots() {
  for (const DBBINDING& b : bindings_)
    if (b.wType == DBTYPE_IUNKNOWN)
      if (memory_stream* stream = stream_at(&buffer_[b.obValue])) stream->set_position(0);
}

std::vector<int> mss_fast_load::open_batch() const { return records(kept_, 0); }

std::vector<int> mss_fast_load::records(const std::vector<kept_row>& rows, std::size_t from) {
  std::vector<int> numbers;
  for (std::size_t i = from; i < rows.size(); ++i) numbers.push_back(rows[i].record);
  return numbers;
}

HRESULT mss_fast_load::insert_data(int record) {
  tk_trace(1, "mss_fast_load::insert_data");
  if (!open_) throw tk_mail_assertion("mss_floa", 97);
  if (!load_) throw tk_mail_assertion("mss_floa", 98);
  HRESULT hr = load_->InsertRow(accessor_, buffer_.data());
  if (FAILED(hr)) {
    tk_trace(2, "m_spFastLoad->InsertRow failed: %08X", static_cast<unsigned>(hr));
    odb_exception error(hr);
    if (is_row_refusal(error)) throw error;
    if (mss_is_lock_timeout(error)) {
      // Another session's lock: nothing of the batch is stored, and nothing
      // is sent again to wait once more.
      std::vector<int> batch = open_batch();
      clear_kept();
      throw mss_load_failure(mss_load_failure::locked, tk_from_ansi(error.what()), std::move(batch));
    }
    // The provider lost the open batch with the failure, before its end was
    // sent (nothing of it is stored), and opened its connection again where
    // it could: its rows go again, then this one, whose long values are read
    // from their beginning again. A connection that cannot be had says which
    // records it cost.
    std::vector<kept_row> rows = std::move(kept_);
    kept_.clear();
    resend(rows);
    rewind_slots();
    hr = load_->InsertRow(accessor_, buffer_.data());
    if (FAILED(hr)) {
      odb_exception again(hr);
      if (mss_is_connection_failure(again)) throw mss_load_failure(mss_load_failure::lost, tk_from_ansi(again.what()), {});
      throw again;
    }
  }
  keep_row(record);
  counter_ = (counter_ + 1) % commit_rows;
  if (counter_ == 0) commit(false);
  return hr;
}

void mss_fast_load::confirm(long rows, int last_record) {
  committed_ += rows;
  known_rows_ += rows;
  last_confirmed_ = std::max(last_confirmed_, last_record);
}

mss_lost_answer mss_fast_load::batch_stored(long rows) {
  tk_trace(2, "The answer to the commit of %ld rows was lost: the table's rows are counted", rows);
  return mss_rows_after_lost_answer(count_rows_, known_rows_, rows);
}

void mss_fast_load::commit(bool done) {
  std::vector<kept_row> rows = std::move(kept_);
  kept_.clear();
  HRESULT hr = load_->Commit(done);
  if (SUCCEEDED(hr)) {
    if (!rows.empty()) confirm(static_cast<long>(rows.size()), rows.back().record);
    release_rows(rows);
    end_batch();
    if (after_commit_) after_commit_();
    return;
  }
  tk_trace(2, "m_spFastLoad->Commit failed: %08X", static_cast<unsigned>(hr));
  auto final_failure = [](const odb_exception& error) {
    return tk_exception("Generic error occurred while migrating the data.\nContact to " ODB_SERVICE_ADDRESS
                        " for the solution.\n" + std::string(error.what()),
                        0);
  };
  {
    odb_exception error(hr);
    tk_trace(2, "Batch of %d rows refused: %s", static_cast<int>(rows.size()), error.what());
    const std::wstring reason = tk_from_ansi(error.what());
    std::vector<int> batch = records(rows, 0);
    if (mss_is_lock_timeout(error) || (rows.empty() && mss_is_connection_failure(error))) {
      release_rows(rows);
      end_batch();
      throw mss_load_failure(mss_is_lock_timeout(error) ? mss_load_failure::locked : mss_load_failure::lost, reason,
                             std::move(batch));
    }
    if (rows.empty()) {
      end_batch();
      if (done) throw final_failure(error);
      throw error;
    }
    if (mss_is_connection_failure(error)) {
      // The batch went, its answer did not come: sent again only when the
      // table's rows say it is not stored.
      const mss_lost_answer answer = batch_stored(static_cast<long>(rows.size()));
      if (answer.outcome != mss_lost_answer::not_stored) {
        release_rows(rows);
        end_batch();
        if (answer.outcome == mss_lost_answer::unknown)
          throw mss_load_failure(mss_load_failure::lost, reason, std::move(batch), answer);
        confirm(static_cast<long>(batch.size()), batch.back());
        // The provider opened its connection again: it ends with nothing sent.
        if (done && FAILED(load_->Commit(true))) tk_trace(2, "The bulk connection opened again could not be closed");
        if (after_commit_) after_commit_();
        return;
      }
    }
  }
  resend(rows);
  if (done) {
    hr = load_->Commit(true);
    if (FAILED(hr)) {
      const odb_exception error(hr);
      if (mss_is_connection_failure(error)) throw mss_load_failure(mss_load_failure::lost, tk_from_ansi(error.what()), {});
      throw final_failure(error);
    }
  }
  if (after_commit_) after_commit_();
}

void mss_fast_load::resend(std::vector<kept_row>& rows) {
  struct release {
    mss_fast_load& self;
    std::vector<kept_row>& rows;
    ~release() {
      self.release_rows(rows);
      self.end_batch();
    }
  } guard{*this, rows};
  tk_trace(2, "Sending %d rows again, one by one", static_cast<int>(rows.size()));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    kept_row& row = rows[i];
    // A row's long values are let go once it has gone: values read back from
    // the temporary file never pile up in memory.
    struct row_done {
      kept_row& row;
      ~row_done() {
        for (kept_stream& s : row.streams)
          if (s.memory) s.memory->Release(), s.memory = nullptr;
      }
    } done{row};
    std::wstring reason;
    if (!restore_row(row, reason)) {
      tk_wtrace(2, L"Record #%d cannot be sent again: %s", row.record, reason.c_str());
      tk_exception error(reason, 0);
      if (!on_failure_) throw error;
      on_failure_(row.record, error);
      continue;
    }
    HRESULT hr = load_->InsertRow(accessor_, resend_buffer_.data());
    const bool sent = SUCCEEDED(hr);
    if (sent) hr = load_->Commit(false);
    if (SUCCEEDED(hr)) {
      confirm(1, row.record);
      continue;
    }
    odb_exception error(hr);
    tk_trace(2, "Record #%d refused: %s", row.record, error.what());
    if (mss_is_lock_timeout(error))
      throw mss_load_failure(mss_load_failure::locked, tk_from_ansi(error.what()), records(rows, i));
    if (mss_is_connection_failure(error)) {
      // No row can go any more: the rest of the batch is not stored; the
      // row whose commit lost its answer is what the table's rows say.
      const mss_lost_answer answer = sent ? batch_stored(1) : mss_lost_answer{mss_lost_answer::not_stored, {}};
      if (answer.outcome == mss_lost_answer::stored) {
        confirm(1, row.record);
        continue;
      }
      if (answer.outcome == mss_lost_answer::unknown)
        throw mss_load_failure(mss_load_failure::lost, tk_from_ansi(error.what()), {row.record}, answer,
                               records(rows, i + 1));
      throw mss_load_failure(mss_load_failure::lost, tk_from_ansi(error.what()), records(rows, i), answer);
    }
    if (!on_failure_) throw error;
    on_failure_(row.record, error);
  }
}

void mss_fast_load::flush() {
  if (!open_ || kept_.empty()) return;
  commit(false);
  counter_ = 0;
}

void mss_fast_load::close_table() {
  tk_trace(2, "mss_fast_load::close_table");
  if (!open_) throw tk_mail_assertion("mss_floa", 190);
  tk_trace(1, "Right before m_spFastLoad->Commit");
  struct closer {
    mss_fast_load& self;
    ~closer() {
      self.clear_kept();
      self.release_slots();
      if (self.accessor_ != DB_NULL_HACCESSOR && self.accessor_interface_)
        self.accessor_interface_->ReleaseAccessor(self.accessor_, nullptr);
      self.accessor_ = DB_NULL_HACCESSOR;
      self.accessor_interface_ = nullptr;
      self.load_ = nullptr;
      self.open_ = false;
      tk_trace(1, "mss_fast_load::close_table - at the end");
    }
  } end{*this};
  commit(true);
  tk_trace(1, "Right after m_spFastLoad->Commit");
}
