#include "MSS/odb_rec.h"

#include <cstring>

#include "OLE/ole_date.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "platform/oledb/text16.h"

odb_field::~odb_field() = default;

std::wstring odb_field::to_wstring() const {
  tk_trace(1, "odb_field::to_wstring");
  return ole_variant::to_wstring();
}

odb_record::odb_record(int count, const BYTE* buffer, const DBCOLUMNINFO* columns, const DBBINDING* bindings)
    : count_(count) {
  tk_trace(1, "odb_record::ctor");
  if (!buffer) throw tk_mail_assertion("odb_rec", 65);
  if (!bindings) throw tk_mail_assertion("odb_rec", 66);
  for (int i = 0; i < count; ++i) {
    const DBBINDING& b = bindings[i];
    const DBCOLUMNINFO& column = columns[i];
    const std::wstring name = column.pwszName ? column.pwszName : L"";
    DBSTATUS status;
    DBLENGTH length;
    std::memcpy(&status, buffer + b.obStatus, sizeof status);
    std::memcpy(&length, buffer + b.obLength, sizeof length);
    if (status != DBSTATUS_S_OK) {
      tk_trace(1, "Field #%d - FAILED, status code=%08X", i, static_cast<unsigned>(status));
      tk_trace(1, "\t<NULL>");
      add_field(std::make_unique<odb_field>(name, static_cast<int>(column.ulColumnSize), ole_variant()));
      continue;
    }
    tk_trace(1, "offset=%d", static_cast<int>(b.obValue));
    tk_trace(1, "type1=%d, type2=%d", static_cast<int>(column.wType), static_cast<int>(b.wType));
    tk_trace(1, "Field #%d - OK, length=%d", i, static_cast<int>(length));
    const BYTE* value = buffer + b.obValue;
    if (b.wType == DBTYPE_BYTES) {
      tk_trace(1, "Processing VT_BLOB");
      ole_variant bytes;
      bytes.attach_binary(std::min<DBLENGTH>(length, b.cbMaxLen), value);
      add_field(std::make_unique<odb_field>(name, static_cast<int>(column.ulColumnSize), bytes));
      continue;
    }
    const std::size_t units = std::min<DBLENGTH>(length, b.cbMaxLen) / 2;
    std::wstring text = utf16_to_wide(std::u16string_view(reinterpret_cast<const char16_t*>(value), units));
    auto field = get_field(column, text);
    tk_wtrace(1, L"\t%s", text.c_str());
    add_field(std::move(field));
  }
}

std::unique_ptr<odb_field> odb_record::get_field(const DBCOLUMNINFO& column, const std::wstring& text) {
  tk_wtrace(1, L"odb_record::get_field(%s)", text.c_str());
  const VARTYPE vt = get_vartype(column.wType, column.ulColumnSize, column.dwFlags);
  ole_variant value;
  if (text.empty()) {
    if (vt == VT_BSTR) value = ole_variant(std::wstring());
  } else if (vt == VT_DATE) {
    value = ole_date(text).to_variant();
  } else {
    value.from_wstring(text, vt);
  }
  return std::make_unique<odb_field>(column.pwszName ? column.pwszName : L"", static_cast<int>(column.ulColumnSize),
                                     value);
}

VARTYPE odb_record::get_vartype(DBTYPE type, DBLENGTH, DBCOLUMNFLAGS) {
  tk_trace(1, "odb_record::get_vartype(%d)", static_cast<int>(type));
  switch (type) {
    case DBTYPE_I2: return VT_I2;
    case DBTYPE_I4: return VT_I4;
    case DBTYPE_R4: return VT_R4;
    case DBTYPE_R8: return VT_R8;
    case DBTYPE_CY: return VT_CY;
    case DBTYPE_DATE: case DBTYPE_DBTIMESTAMP: return VT_DATE;
    case DBTYPE_BSTR: case DBTYPE_STR: case DBTYPE_WSTR: return VT_BSTR;
    case DBTYPE_BOOL: return VT_BOOL;
    case DBTYPE_DECIMAL: case DBTYPE_NUMERIC: return VT_DECIMAL;
    case DBTYPE_I1: return VT_I1;
    case DBTYPE_UI1: return VT_UI1;
    case DBTYPE_UI2: return VT_UI2;
    case DBTYPE_UI4: return VT_UI4;
    case DBTYPE_I8: return VT_I8;
    case DBTYPE_UI8: return VT_UI8;
    default: return VT_BLOB;
  }
}

DBTYPE odb_record::get_oledb_type(VARTYPE vt, int, int, int version_code) {
  tk_trace(1, "odb_record::get_oledb_type(%d)", static_cast<int>(vt));
  switch (vt) {
    case VT_I2: case VT_I1: return DBTYPE_I2;
    case VT_I4: case VT_UI2: case VT_INT: return DBTYPE_I4;
    case VT_R4: case VT_R8: case VT_UI8: return DBTYPE_R8;
    case VT_CY: return DBTYPE_CY;
    case VT_DATE: return DBTYPE_DBTIMESTAMP;
    case VT_BSTR: return DBTYPE_WSTR;
    case VT_BOOL: return DBTYPE_BOOL;
    case VT_DECIMAL: return DBTYPE_NUMERIC;
    case VT_UI1: return DBTYPE_UI1;
    case VT_UI4: case VT_I8: case VT_UINT: return version_code < 3 ? DBTYPE_R8 : DBTYPE_I8;
    case VT_BLOB: case VT_BLOB_OBJECT: return DBTYPE_BYTES;
    default: tk_trace(1, "Got string!"); return DBTYPE_WSTR;
  }
}
