#include "MSS/odb_recs.h"

#include "MSS/odb_exce.h"
#include "TK/tk_trace.h"
#include "platform/com/com_memory.h"

odb_recordset::odb_recordset() : udb_recordset(L"", true) {}

odb_recordset::odb_recordset(IRowset* rowset) : udb_recordset(L"", true), rowset_(rowset) {
  tk_trace(2, "odb_recordset::ctor");
  initialize();
}

odb_recordset::~odb_recordset() {
  tk_trace(2, "odb_recordset::dtor");
  free_cache();
  accessor_.release();
  CoTaskMemFree(columns_);
  CoTaskMemFree(names_);
}

void odb_recordset::initialize() {
  tk_trace(2, "odb_recordset::initialize");
  if (!rowset_) {
    tk_trace(2, "Rowset isn't defined");
    return;
  }
  ole_com_ptr<IColumnsInfo> info;
  odb_check(rowset_.query_interface(IID_IColumnsInfo, info));
  DBORDINAL count = 0;
  CoTaskMemFree(columns_);
  CoTaskMemFree(names_);
  columns_ = nullptr;
  names_ = nullptr;
  odb_check(info->GetColumnInfo(&count, &columns_, &names_));
  column_count_ = static_cast<int>(count);
  tk_trace(1, "*** Got %d columns ***", column_count_);
  for (int i = 0; i < column_count_; ++i) {
    const DBCOLUMNINFO& c = columns_[i];
    tk_trace(2, "Column #%d has type=%d,size=%08X", i, static_cast<int>(c.wType), static_cast<unsigned>(c.ulColumnSize));
    const VARTYPE vt = odb_record::get_vartype(c.wType, c.ulColumnSize, c.dwFlags);
    int size = static_cast<int>(c.ulColumnSize > 0x7FFFFFFF ? 0x7FFFFFFF : c.ulColumnSize);
    if (c.wType == DBTYPE_BYTES) size = size > 0x3FFFFFFF ? 0x7FFFFFFF : size * 2;
    if (c.wType == DBTYPE_GUID) size = 38;
    const std::wstring name = c.pwszName ? c.pwszName : L"";
    tk_wtrace(2, L"Field '%s' has type %d", name.c_str(), static_cast<int>(vt));
    const bool reserved = vt == VT_DATE || c.wType == DBTYPE_GUID;
    tk_trace(2, ">>> reserved=%d", reserved ? 1 : 0);
    int extra = reserved ? 1 : 0;
    if (vt == VT_DECIMAL) {
      tk_wtrace(1, L"Scale/precision for decimal column '%s': (%d, %d)", name.c_str(), static_cast<int>(c.bScale),
                static_cast<int>(c.bPrecision));
      extra = c.bPrecision * 256 + c.bScale;
    }
    if (vt == VT_BLOB && c.wType != DBTYPE_GUID) size = 0;
    schema_.push_back(std::make_unique<t_ftd>(size, name, vt, !(c.dwFlags & DBCOLUMNFLAGS_ISNULLABLE), false,
                                              ole_variant(), extra));
  }
  free_cache();
  accessor_.bind(rowset_.get(), column_count_, columns_);
}

void odb_recordset::append_record(const udb_record&) { throw tk_mail_assertion("odb_recs", 52); }

void odb_recordset::free_cache() {
  for (auto& r : cache_) r.reset();
  cached_ = 0;
}

void odb_recordset::fill_cache() {
  tk_trace(1, "odb_recordset::fill_cache");
  if (!rowset_) throw tk_mail_assertion("odb_recs", 161);
  HROW rows[block_size];
  HROW* handles = rows;
  DBCOUNTITEM obtained = 0;
  odb_check(rowset_->GetNextRows(DB_NULL_HCHAPTER, 0, block_size, &obtained, &handles));
  tk_trace(1, "GetNextRows extracts %d records", static_cast<int>(obtained));
  free_cache();
  try {
    for (DBCOUNTITEM i = 0; i < obtained; ++i) cache_[i] = accessor_.get_record(rowset_.get(), rows[i]);
  } catch (...) {
    rowset_->ReleaseRows(obtained, rows, nullptr, nullptr, nullptr);
    free_cache();
    throw;
  }
  cached_ = static_cast<int>(obtained);
  if (obtained) odb_check(rowset_->ReleaseRows(obtained, rows, nullptr, nullptr, nullptr));
  tk_trace(1, "End of odb_recordset::fill_cache");
}

odb_record* odb_recordset::get_item() {
  tk_trace(1, "odb_recordset::get_item(local_pos=%d)", position_);
  if (position_ >= cached_) throw tk_mail_assertion("odb_recs", 99);
  return cache_[position_].get();
}

bool odb_recordset::is_eof() {
  tk_trace(1, "odb_recordset::is_eof(%d)", cached_);
  return !rowset_ || cached_ == 0;
}

void odb_recordset::next() {
  tk_trace(1, "odb_table::next(%d)", position_);
  if (!cache_[0]) throw tk_mail_assertion("odb_recs", 79);
  if (position_ < cached_ - 1) {
    ++position_;
  } else {
    free_cache();
    fill_cache();
    position_ = 0;
  }
  ++row_number_;
}

void odb_recordset::reset() {
  tk_trace(1, "odb_table::reset");
  if (!rowset_) return;
  if (row_number_ != 0 || position_ != 0) {
    odb_check(rowset_->RestartPosition(DB_NULL_HCHAPTER));
    free_cache();
  }
  row_number_ = 0;
  position_ = 0;
  fill_cache();
}
