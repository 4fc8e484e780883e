#include "MSS/odb_acc.h"

#include "MSS/odb_exce.h"
#include "TK/tk_trace.h"

namespace {
constexpr DBLENGTH max_binding = 2000000;
}

odb_accessor::~odb_accessor() {
  tk_trace(2, "odb_accessor::dtor");
  release();
}

void odb_accessor::release() {
  if (accessor_ && handle_ != DB_NULL_HACCESSOR) accessor_->ReleaseAccessor(handle_, nullptr);
  handle_ = DB_NULL_HACCESSOR;
  accessor_.release();
}

DBLENGTH odb_accessor::max_length(const DBCOLUMNINFO& column) {
  DBLENGTH length;
  const DBLENGTH size = column.ulColumnSize;
  switch (column.wType) {
    case DBTYPE_EMPTY: case DBTYPE_NULL: case DBTYPE_I2: case DBTYPE_I4: case DBTYPE_R4: case DBTYPE_R8:
    case DBTYPE_CY: case DBTYPE_ERROR: case DBTYPE_BOOL: case DBTYPE_I1: case DBTYPE_UI1: case DBTYPE_UI2:
    case DBTYPE_UI4: case DBTYPE_I8: case DBTYPE_UI8:
      length = 52;
      break;
    case DBTYPE_DATE: case DBTYPE_DECIMAL: case DBTYPE_GUID: case DBTYPE_NUMERIC: case DBTYPE_DBDATE:
    case DBTYPE_DBTIMESTAMP:
      length = 102;
      break;
    case DBTYPE_BSTR: case DBTYPE_STR: case DBTYPE_WSTR:
      length = (size >= max_binding ? max_binding : size + 1) * 2;
      break;
    case DBTYPE_BYTES:
      length = (size >= max_binding / 2 ? max_binding : size * 2 + 1) * 2;
      break;
    default:
      length = size ? size : max_binding;
      break;
  }
  return length > max_binding - 1 ? max_binding : length;
}

void odb_accessor::bind(IRowset* rowset, int count, const DBCOLUMNINFO* columns) {
  tk_trace(2, "odb_accessor::bind");
  if (!columns) throw tk_mail_assertion("odb_acc", 100);
  release();
  count_ = count;
  columns_ = columns;
  bindings_.assign(static_cast<std::size_t>(count), DBBINDING{});
  row_size_ = 0;
  for (int i = 0; i < count; ++i) {
    DBBINDING& b = bindings_[i];
    const DBLENGTH max = max_length(columns[i]);
    b.iOrdinal = static_cast<DBORDINAL>(i + 1);
    b.obStatus = static_cast<DBBYTEOFFSET>(row_size_);
    b.obLength = b.obStatus + 4;
    b.obValue = b.obStatus + 8;
    b.dwPart = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    b.dwMemOwner = DBMEMOWNER_CLIENTOWNED;
    b.eParamIO = DBPARAMIO_NOTPARAM;
    b.cbMaxLen = max;
    b.wType = columns[i].wType == DBTYPE_BYTES ? DBTYPE_BYTES : DBTYPE_WSTR;
    b.bPrecision = columns[i].bPrecision;
    b.bScale = columns[i].bScale;
    tk_trace(2, "Bind column #%d, type=%d, size=%d", i, static_cast<int>(b.wType), static_cast<int>(max));
    row_size_ += static_cast<int>(max) + 8;
    // Keep every status slot 4-byte aligned.
    row_size_ = (row_size_ + 3) & ~3;
  }
  tk_trace(2, "Allocating bind-bufer, %d bytes", row_size_);
  buffer_.assign(static_cast<std::size_t>(row_size_), 0);
  status_.assign(static_cast<std::size_t>(count), 0);
  ole_com_ptr<IRowset> holder(rowset);
  odb_check(holder.query_interface(IID_IAccessor, accessor_));
  odb_check(accessor_->CreateAccessor(DBACCESSOR_ROWDATA, static_cast<DBCOUNTITEM>(count), bindings_.data(), 0,
                                      &handle_, status_.data()));
}

std::unique_ptr<odb_record> odb_accessor::get_record(IRowset* rowset, HROW row) {
  tk_trace(1, "odb_accessor::get_record");
  if (handle_ == DB_NULL_HACCESSOR) throw tk_mail_assertion("odb_acc", 163);
  odb_check(rowset->GetData(row, handle_, buffer_.data()));
  return std::make_unique<odb_record>(count_, buffer_.data(), columns_, bindings_.data());
}
