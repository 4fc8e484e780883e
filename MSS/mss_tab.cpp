#include "MSS/mss_tab.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cwctype>
#include <iterator>
#include <utility>

#include "MSS/mss_db.h"
#include "MSS/mss_engi.h"
#include "MSS/mss_lit.h"
#include "MSS/odb_exce.h"
#include "MSS/odb_mdat.h"
#include "OLE/ole_date.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "common/error_handler.h"
#include "platform/oleaut/bstr.h"
#include "platform/oleaut/numeric.h"
#include "platform/oledb/data_convert.h"
#include "platform/oledb/text16.h"
#include "platform/tds/tds_cells.h"
#include "platform/tds/tds_settings.h"
#include "platform/tds/tds_sql.h"

namespace {

const char* const structure_message = "The structure of data source does not conform to the destination table.";

bool is_null(const ole_variant& v) { return v.get_vt() == VT_EMPTY || v.get_vt() == VT_NULL; }

// The shortest text that reads back as the same double, in any locale.
std::wstring double_text(double value) {
  if (!std::isfinite(value)) throw tk_exception("The value is not a finite number (NaN or infinity).", 0);
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::wstring(buffer, result.ptr);
}

std::wstring hex_text(const std::vector<BYTE>& bytes) {
  static const wchar_t digits[] = L"0123456789ABCDEF";
  std::wstring out = L"0x";
  out.reserve(2 + bytes.size() * 2);
  for (BYTE b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// The exact text of a value: doubles in their shortest exact form, binary
// values in full.
std::wstring value_text(const ole_variant& value) {
  switch (value.get_vt()) {
    case VT_R8: case VT_R4: return double_text(mssql_get_safe_variant(value).to_double());
    case VT_BOOL: return value.to_bool() ? L"1" : L"0";
    default: break;
  }
  if (value.is_binary()) return hex_text(value.get_binary());
  return value.to_wstring();
}

void put_ascii(std::u16string& out, const char* begin, const char* end) {
  for (const char* c = begin; c != end; ++c) out += static_cast<char16_t>(*c);
}

template <class T>
void put_integer(std::u16string& out, T value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  put_ascii(out, buffer, result.ptr);
}

// value_text as UTF-16, without the steps through other text forms for the
// common types.
void value_text16(const ole_variant& value, std::u16string& out) {
  out.clear();
  const VARIANT& v = value.get_variant();
  switch (value.get_vt()) {
    case VT_BSTR: {
      const UINT n = v.bstrVal ? SysStringLen(v.bstrVal) : 0;
      out.reserve(n);
      for (UINT i = 0; i < n; ++i) {
        const auto c = static_cast<char32_t>(v.bstrVal[i]);
        if (c < 0x10000) {
          out += static_cast<char16_t>(c);
        } else {
          out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
          out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
      }
      return;
    }
    case VT_I1: put_integer(out, static_cast<int>(v.cVal)); return;
    case VT_I2: put_integer(out, v.iVal); return;
    case VT_I4: put_integer(out, v.lVal); return;
    case VT_INT: put_integer(out, v.intVal); return;
    case VT_UI1: put_integer(out, static_cast<unsigned>(v.bVal)); return;
    case VT_UI2: put_integer(out, v.uiVal); return;
    case VT_UI4: put_integer(out, v.ulVal); return;
    case VT_UINT: put_integer(out, v.uintVal); return;
    case VT_I8: put_integer(out, value.get_i8()); return;
    case VT_UI8: put_integer(out, value.get_ui8()); return;
    case VT_DECIMAL: case VT_CY: {
      const std::wstring text = value.get_vt() == VT_DECIMAL ? decimal_to_text(v.decVal) : cy_to_text(v.cyVal);
      for (wchar_t c : text) out += static_cast<char16_t>(c);  // digits, sign and point
      return;
    }
    default: out = wide_to_utf16(value_text(value)); return;
  }
}

bool is_number(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_I2: case VT_I4: case VT_INT: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UINT:
    case VT_UI8: case VT_R4: case VT_R8: case VT_DECIMAL: case VT_CY: case VT_BOOL:
      return true;
    default:
      return false;
  }
}

// A character that shows as blank space: the C locale's white space and the
// no-break space that spreadsheets write.
bool is_blank_char(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r') || c == 0xA0; }

// No value for the column: NULL, or a text that is empty or blank space alone
// where the column is not a text column (the server would read it as 0 or
// 1900-01-01).
bool is_missing(const ole_variant& value, bool text_column) {
  if (is_null(value)) return true;
  if (text_column || value.get_vt() != VT_BSTR) return false;
  const BSTR text = value.get_variant().bstrVal;
  const UINT length = text ? SysStringLen(text) : 0;
  for (UINT i = 0; i < length; ++i)
    if (!is_blank_char(text[i])) return false;
  return true;
}

// The value a column that allows no NULL takes for a missing one, on both
// paths: its default, an empty text in a text column, else 0 as the column's
// type (a date: 1899-12-30); NULL where 0 is no value of that type.
ole_variant null_substitute(const t_ftd* schema_field, bool text_column) {
  if (schema_field && !is_null(schema_field->default_value)) return schema_field->default_value;
  if (text_column) return ole_variant(std::wstring());
  try {
    ole_variant zero(0);
    zero.change_type(schema_field ? schema_field->vartype : VT_I4);
    if (zero.is_binary()) return ole_variant();
    return zero;
  } catch (const tk_exception&) {
    return ole_variant();
  }
}

// 'yyyymmdd hh:mm:ss.mmm' (the fraction where there is one; a date alone
// without the time): a form every language and date order of a session reads
// alike.
std::wstring timestamp_literal(const SYSTEMTIME& st, bool date_only) {
  wchar_t text[64];
  if (date_only)
    std::swprintf(text, 64, L"'%04u%02u%02u'", st.wYear, st.wMonth, st.wDay);
  else if (st.wMilliseconds)
    std::swprintf(text, 64, L"'%04u%02u%02u %02u:%02u:%02u.%03u'", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                  st.wSecond, st.wMilliseconds);
  else
    std::swprintf(text, 64, L"'%04u%02u%02u %02u:%02u:%02u'", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                  st.wSecond);
  return text;
}

// The literal of a date value (a time alone on 1899-12-30).
std::wstring date_literal(const ole_variant& value) {
  SYSTEMTIME st = value.get_systemtime();
  const ole_date date(value.get_variant());
  if (st.wYear == 0 || date.get_kind() == ole_date::time_only) st.wYear = 1899, st.wMonth = 12, st.wDay = 30;
  return timestamp_literal(st, date.get_kind() == ole_date::date_only);
}

// A text for a date column, read as the client reads it on either path (the
// session's language and date order play no part): false when it is no date.
// A time alone is a time of 1900-01-01, as the server reads such a text.
bool text_date(const std::wstring& text, SYSTEMTIME& st) {
  const ole_date date(text);
  if (date.get_kind() == ole_date::invalid) return false;
  st = date.get_systemtime();
  if (date.get_kind() == ole_date::time_only) st.wYear = 1900, st.wMonth = 1, st.wDay = 1;
  return true;
}

// A text for a char, varchar or text column whose code page (0: none) lacks
// one of its characters fails its record: the server would store a near
// character or '?' for it without a word.
void hold_in_code_page(std::u16string_view text, unsigned code_page, const std::wstring& column) {
  if (!code_page) return;
  std::string bytes;
  std::u16string unheld;
  if (!tds_narrow(text, code_page, bytes, &unheld))
    throw tk_exception(tds_unheld_text(utf16_to_wide(text), column, code_page, unheld), 0);
}

// The reason a record's value cannot go into its column, as both paths give it.
tk_exception value_failure(const std::wstring& text, const std::wstring& column, const wchar_t* what) {
  return tk_exception(L"The value '" + text + L"' of column '" + column + L"' " + what, 0);
}

// A text for a float or real column, read as both paths read it: decimal
// digits with a sign, a point and an exponent, blanks around; no hexadecimal
// form, NaN or infinity, which the server does not read either.
bool text_double(const std::wstring& text, double& d) {
  const std::wstring t = tk_trim(text);
  if (t.empty() || t.find_first_not_of(L"0123456789+-.eE") != std::wstring::npos) return false;
  wchar_t* end = nullptr;
  d = tk_wcstod(t.c_str(), &end);
  return end && !*end;
}

// A text for a number or GUID column read as both paths read it (the server
// would take currency signs and thousands separators for money, and cut a
// longer GUID text): the literal of its value, a bare number or a quoted GUID,
// or a failure naming the column. Empty for a column of another type.
std::wstring typed_text_literal(const std::wstring& text, const DBCOLUMNINFO& column, const std::wstring& name) {
  switch (column.wType) {
    case DBTYPE_R4: case DBTYPE_R8: {
      double d = 0;
      if (!text_double(text, d)) throw value_failure(text, name, L"is not a number.");
      return double_text(mssql_get_safe_variant(ole_variant(d)).to_double());
    }
    case DBTYPE_GUID: {
      std::wstring braced;
      const std::wstring guid = mssql_whole_guid(text, braced) ? braced : text;
      GUID g;
      if (!tds_guid_from_text(wide_to_utf16(guid), g)) throw value_failure(text, name, L"is not a GUID.");
      return L"'" + (guid.size() == 38 ? guid.substr(1, 36) : guid) + L"'";
    }
    case DBTYPE_I1: case DBTYPE_I2: case DBTYPE_I4: case DBTYPE_I8: case DBTYPE_UI1: case DBTYPE_UI2:
    case DBTYPE_UI4: case DBTYPE_UI8: case DBTYPE_BOOL: case DBTYPE_CY: case DBTYPE_NUMERIC: {
      DB_NUMERIC n{};
      const HRESULT hr = tds_number_from_text(tk_to_utf8(text), column.wType, column.bPrecision, column.bScale, n);
      if (hr == DB_E_DATAOVERFLOW) throw value_failure(text, name, L"is too large for the column.");
      if (FAILED(hr)) throw value_failure(text, name, L"is not a number.");
      if (column.wType != DBTYPE_BOOL) return tk_from_utf8(numeric_to_text(n));
      bool zero = true;
      for (BYTE b : n.val) zero = zero && b == 0;
      return zero ? L"0" : L"1";
    }
    default:
      return {};
  }
}

bool is_integer_column(DBTYPE type) {
  switch (type) {
    case DBTYPE_I1: case DBTYPE_I2: case DBTYPE_I4: case DBTYPE_I8: case DBTYPE_UI1: case DBTYPE_UI2: case DBTYPE_UI4:
    case DBTYPE_UI8:
      return true;
    default:
      return false;
  }
}

// A number as the server converts it into an integer column (the fraction
// cut toward zero) or into a bit column (1 for any value but 0). Truth values
// are 1 and 0.
void number_for_column(const ole_variant& value, DBTYPE column, std::u16string& out) {
  const VARTYPE vt = value.get_vt();
  if (vt == VT_BOOL) {
    out = value.to_bool() ? u"1" : u"0";
    return;
  }
  value_text16(value, out);
  if (vt != VT_R4 && vt != VT_R8 && vt != VT_DECIMAL && vt != VT_CY) return;
  if (vt == VT_R4 || vt == VT_R8) {
    const double d = value.to_double();
    if (!std::isfinite(d)) throw tk_exception("The value is not a finite number (NaN or infinity).", 0);
    if (column == DBTYPE_BOOL) {
      out = d != 0 ? u"1" : u"0";
      return;
    }
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, std::trunc(d), std::chars_format::fixed, 0);
    out.clear();
    put_ascii(out, buffer, result.ptr);
    if (out == u"-0") out = u"0";
    return;
  }
  // Decimal and currency text: digits, a sign and a point.
  const std::size_t point = out.find(u'.');
  std::u16string whole = out.substr(0, point);
  bool zero = true;
  for (char16_t c : out) zero = zero && (c == u'0' || c == u'.' || c == u'-');
  if (column == DBTYPE_BOOL) {
    out = zero ? u"0" : u"1";
    return;
  }
  if (whole.empty() || whole == u"-") whole += u'0';
  out = whole == u"-0" ? u"0" : whole;
}

// The field of the recordset's current row by column name (empty text when
// the column is missing).
std::wstring text_at(odb_recordset& r, const wchar_t* column) {
  const DBCOLUMNINFO* columns = r.get_columns();
  for (int i = 0; i < r.get_column_count(); ++i) {
    if (!columns[i].pwszName || std::wstring(columns[i].pwszName) != column) continue;
    const udb_record* row = r.get_record();
    if (!row || static_cast<std::size_t>(i) >= row->size()) return L"";
    const udb_field& f = (*row)[static_cast<std::size_t>(i)];
    if (is_null(f)) return L"";
    if (f.get_vt() == VT_BOOL) return f.to_bool() ? L"1" : L"0";
    return f.to_wstring();
  }
  return L"";
}

// Runs a statement and gives each row of its result to f.
template <class F>
void each_row(odb_command& command, const std::wstring& statement, F&& f) {
  IRowset* rowset = nullptr;
  command.execute(statement, &rowset);
  ole_com_ptr<IRowset> holder;
  holder.attach(rowset);
  if (!rowset) return;
  odb_recordset rows(rowset);
  for (rows.reset(); !rows.is_eof(); rows.next()) f(*rows.get_record());
}

bool flag_at(odb_recordset& r, const wchar_t* column) {
  const std::wstring t = text_at(r, column);
  return t == L"1" || t == L"-1" || tk_wcompare_nocase(t, L"true") == 0;
}

std::wstring plain_table_name(const std::wstring& name) {
  std::wstring table = name, owner;
  mss_split_tab_name(name, table, owner);
  return table;
}

}  // namespace

// ---------------------------------------------------------------- odb_table

odb_table::odb_table(const std::wstring& name, IOpenRowset* session, int mode, odb_database& database)
    : session_(session), database_(database) {
  tk_wtrace(2, L"odb_table::odb_table(%s)", name.c_str());
  name_ = name;
  try {
    internal_initialize(mode);
  } catch (const odb_exception& e) {
    if ((e.get_code() & 0xFFFF) != 0x0E37) throw;
    tk_trace(2, "Got table_not_exists error");
    std::wstring table, owner;
    // A name that names no owner cannot be looked for elsewhere.
    if (!mss_split_tab_name(name, table, owner)) throw;
    name_ = L"[dbo]." + mss_bracket_name(table);
    internal_initialize(mode);
    tk_wtrace(2, L"Creating %s", name_.c_str());
  }
  records_count_ = get_records_cnt();
  tk_trace(2, "Got %d records", static_cast<int>(records_count_));
}

odb_table::odb_table(const std::wstring& name, const std::wstring& query, IOpenRowset* session,
                     odb_database& database)
    : session_(session), database_(database) {
  tk_wtrace(2, L"odb_table::odb_table(%s)", name.c_str());
  name_ = name;
  query_ = query;
  internal_initialize(1);
  records_count_ = get_records_cnt();
  tk_trace(2, "Got %d records", static_cast<int>(records_count_));
}

odb_table::~odb_table() = default;

void odb_table::internal_initialize(int mode) {
  tk_trace(2, "odb_table::internal_initialize");
  if (!query_.empty()) {
    odb_command command(session_.get());
    IRowset* rowset = nullptr;
    command.execute(query_, &rowset);
    rowset_.attach(rowset);
    initialize();
    return;
  }
  std::wstring text = name_;
  DBID id{};
  id.eKind = DBKIND_NAME;
  id.uName.pwszName = text.data();
  IUnknown* rowset = nullptr;
  HRESULT hr;
  if (mode & UDB_MODE_READ_ONLY) {
    tk_trace(2, "Open rowset in read_only mode");
    hr = session_->OpenRowset(nullptr, &id, nullptr, IID_IRowset, 0, nullptr, &rowset);
  } else {
    tk_trace(2, "Open rowset in create/append mode");
    DBPROP props[2]{};
    props[0].dwPropertyID = DBPROP_IRowsetChange;
    props[0].vValue.vt = VT_BOOL;
    props[0].vValue.boolVal = VARIANT_TRUE;
    props[1].dwPropertyID = DBPROP_UPDATABILITY;
    props[1].vValue.vt = VT_I4;
    props[1].vValue.lVal = DBPROPVAL_UP_INSERT;
    DBPROPSET set{props, 2, DBPROPSET_ROWSET};
    hr = session_->OpenRowset(nullptr, &id, nullptr, IID_IRowset, 1, &set, &rowset);
  }
  if (FAILED(hr)) {
    tk_trace(2, "Error code: %08X", static_cast<unsigned>(hr));
    throw odb_exception(hr);
  }
  rowset_.attach(static_cast<IRowset*>(rowset));
  initialize();
}

unsigned odb_table::get_records_cnt() {
  tk_trace(2, "odb_table::get_records_cnt");
  const std::wstring statement = query_.empty() ? L"SELECT COUNT(*) FROM " + name_
                                                : L"SELECT COUNT(*) FROM (" + query_ + L") as query";
  std::unique_ptr<udb_recordset> result = database_.query(statement);
  const udb_record* row = result && !result->is_eof() ? result->get_record() : nullptr;
  if (!row || row->size() < 1) return 0;
  return static_cast<unsigned>(std::wcstoul((*row)[0].to_wstring().c_str(), nullptr, 10));
}

void odb_table::init_indexes(const std::wstring& table, const std::wstring& owner) {
  tk_wtrace(2, L"odb_table::init_indexes(%s,%s)", table.c_str(), owner.c_str());
  std::wstring primary_name;
  {
    odb_pk_meta_data keys(table, owner, session_.get());
    udb_index primary;
    primary.primary = primary.unique = true;
    for (keys.reset(); !keys.is_eof(); keys.next()) {
      const std::wstring key = text_at(keys, L"PK_NAME");
      if (primary_name.empty()) {
        primary_name = key;
        tk_wtrace(2, L"Got pr.key: %s", key.c_str());
      }
      if (key != primary_name) continue;  // one primary key a table
      primary.columns.push_back(text_at(keys, L"COLUMN_NAME"));
    }
    primary.name = primary_name;
    if (!primary.columns.empty()) add_index(primary);
  }
  {
    odb_fk_meta_data keys(table, owner, session_.get());
    udb_relationships& relationships = database_.get_relationships();
    for (keys.reset(); !keys.is_eof(); keys.next()) {
      const std::wstring name = text_at(keys, L"FK_NAME");
      if (relationships.is_acceptable_name(name)) {
        tk_wtrace(2, L"GOT FOREIGN KEY: %s", name.c_str());
        relationships.push_back(udb_relationship(name, text_at(keys, L"PK_NAME"), text_at(keys, L"FK_TABLE_NAME"),
                                                 text_at(keys, L"PK_TABLE_NAME"), {text_at(keys, L"FK_COLUMN_NAME")},
                                                 {text_at(keys, L"PK_COLUMN_NAME")}, L""));
      } else {
        udb_relationship& key = relationships.get_index(name);
        key.columns.push_back(text_at(keys, L"FK_COLUMN_NAME"));
        key.ref_columns.push_back(text_at(keys, L"PK_COLUMN_NAME"));
      }
    }
  }
  odb_id_meta_data list(table, owner, session_.get());
  for (list.reset(); !list.is_eof(); list.next()) {
    const std::wstring name = text_at(list, L"INDEX_NAME");
    if (indexes_.is_acceptable_name(name)) {
      tk_wtrace(2, L"Got index: %s", name.c_str());
      udb_index index;
      index.name = name;
      index.unique = flag_at(list, L"UNIQUE");
      index.primary = flag_at(list, L"PRIMARY_KEY");
      index.columns.push_back(text_at(list, L"COLUMN_NAME"));
      add_index(index);
    } else if (tk_wcompare_nocase(name, primary_name) == 0) {
      tk_trace(1, "Skip Primary Key DoubleInitialization");
    } else {
      indexes_.get_index(name).columns.push_back(text_at(list, L"COLUMN_NAME"));
    }
  }
}

namespace {

// DBSCHEMA_FOREIGN_KEYS of the keys the table holds (its columns refer to
// another table).
class held_fk_meta_data : public odb_meta_data<6> {
 public:
  held_fk_meta_data(const std::wstring& table, const std::wstring& owner, IUnknown* session)
      : odb_meta_data<6>(session) {
    if (!owner.empty()) set_restriction(4, owner);
    set_restriction(5, table);
    internal_initialize(DBSCHEMA_FOREIGN_KEYS);
  }
};

}  // namespace

std::wstring mss_table::key_using(const std::wstring& column) {
  std::wstring table = name_, owner;
  mss_split_tab_name(name_, table, owner);
  auto same = [&](odb_recordset& r, const wchar_t* name) { return tk_wcompare_nocase(text_at(r, name), column) == 0; };
  {
    odb_pk_meta_data keys(table, owner, session_.get());
    for (keys.reset(); !keys.is_eof(); keys.next())
      if (same(keys, L"COLUMN_NAME")) return L"primary key " + text_at(keys, L"PK_NAME");
  }
  {
    held_fk_meta_data keys(table, owner, session_.get());
    for (keys.reset(); !keys.is_eof(); keys.next())
      if (same(keys, L"FK_COLUMN_NAME") && tk_wcompare_nocase(text_at(keys, L"FK_TABLE_NAME"), table) == 0)
        return L"foreign key " + text_at(keys, L"FK_NAME");
  }
  odb_id_meta_data list(table, owner, session_.get());
  for (list.reset(); !list.is_eof(); list.next())
    if (!text_at(list, L"INDEX_NAME").empty() && same(list, L"COLUMN_NAME"))
      return L"index " + text_at(list, L"INDEX_NAME");
  return L"";
}

// ---------------------------------------------------------------- mss_table

mss_table::mss_table(const std::wstring& name, IOpenRowset* session, int mode, odb_database& database)
    : odb_table(name, session, mode, database),
      command_(std::make_unique<odb_command>(session)),
      fast_load_(std::make_unique<mss_fast_load>()) {
  tk_wtrace(2, L"mss_table::mss_table(%s)", name.c_str());
  init_schema();
  init_text_columns();
  tk_trace(1, "mss_table::split_tab_name");
  std::wstring table = name_, owner;
  mss_split_tab_name(name_, table, owner);
  if (!((mode & UDB_MODE_DAO_NO_FKEYS) && (mode & UDB_MODE_DAO_NO_FKEYS_2))) init_indexes(table, owner);
  if (!(mode & UDB_MODE_READ_ONLY))
    for (const t_ftd* f : schema_) identity_insert_ = identity_insert_ || f->auto_increment;
  for (const udb_index& index : indexes_) has_primary_key_ = has_primary_key_ || index.primary;
  // What a lost answer is judged by: the rows the table held when it was opened.
  fast_load_->set_known_rows(records_count_);
  fast_load_->set_row_count([this] { return stored_rows(); });
}

mss_table::mss_table(const std::wstring& name, const std::wstring& query, IOpenRowset* session,
                     odb_database& database)
    : odb_table(name, query, session, database),
      command_(std::make_unique<odb_command>(session)),
      fast_load_(std::make_unique<mss_fast_load>()) {
  tk_wtrace(2, L"mss_table::ctor(%s)", name.c_str());
}

mss_table::~mss_table() {
  tk_trace(2, "mss_table::dtor");
  if (ended_) return;
  try {
    flush();
  } catch (const std::exception& e) {
    tk_trace(2, "Rows of the table could not be sent: %s", e.what());
  } catch (...) {
    tk_trace(2, "Rows of the table could not be sent");
  }
}

void mss_table::init_schema() {
  tk_trace(2, "mss_table::init_schema");
  std::wstring table = name_, owner;
  mss_split_tab_name(name_, table, owner);
  // The catalog procedure takes LIKE patterns: the names are escaped to match only themselves.
  std::wstring statement = L"EXEC sp_columns @table_name=" + tsql_string(tsql_like_exact(table));
  if (!owner.empty()) statement += L", @table_owner=" + tsql_string(tsql_like_exact(owner));
  each_row(*command_, statement, [&](const udb_record& row) {
    if (row.size() < 6) return;
    const std::wstring name = row[3].to_wstring();
    const std::wstring type = row[5].to_wstring();
    tk_wtrace(1, L"Got field name/type: %s/%s", name.c_str(), type.c_str());
    if (!schema_.find_field(name)) return;
    t_ftd& field = schema_.get_field(name);
    const std::wstring def = row.size() > 12 && !is_null(row[12]) ? row[12].to_wstring() : std::wstring();
    if (!def.empty()) {
      tk_wtrace(1, L"Got default string: %s", def.c_str());
      ole_variant value = get_def_value(field.vartype, def);
      tk_wtrace(1, L"Got default variant: %s", value.to_wstring().c_str());
      if (field.vartype == VT_BSTR && field.size > 0 && static_cast<int>(value.to_wstring().size()) > field.size)
        tk_wtrace(2, L"Def.value '%s' is out of range", value.to_wstring().c_str());
      else
        field.default_value = value;
    }
    field.auto_increment = tk_ends_with(type, L"identity", false);
    // date and time columns reach the rowset as types of their own: their
    // values and substitutes are dates.
    if (field.vartype == VT_BLOB && (tk_wcompare_nocase(type, L"date") == 0 || tk_wcompare_nocase(type, L"time") == 0))
      field.vartype = VT_DATE;
  });
}

void mss_table::init_text_columns() {
  bool text = false;
  for (const t_ftd* f : schema_) text = text || f->vartype == VT_BSTR;
  // SQL Server 7 has no collations: its code page is the server's.
  if (!text || mss_engine::instance().get_version_code() < MSS_VERSION_2000) return;
  try {
    each_row(*command_, tsql_column_collations(tsql_parse_name(name_)), [this](const udb_record& row) {
      if (row.size() < 4 || is_null(row[0]) || is_null(row[1]) || is_null(row[2])) return;
      text_column c;
      c.type = row[1].to_wstring();
      c.collation = row[2].to_wstring();
      const bool narrow = tk_wcompare_nocase(c.type, L"char") == 0 || tk_wcompare_nocase(c.type, L"varchar") == 0 ||
                          tk_wcompare_nocase(c.type, L"text") == 0;
      if (narrow)
        c.code_page = is_null(row[3]) ? tds_default_code_page
                                      : static_cast<unsigned>(std::wcstoul(row[3].to_wstring().c_str(), nullptr, 10));
      text_columns_[tk_wnocase_key(row[0].to_wstring())] = c;
    });
  } catch (const odb_exception& e) {
    tk_trace(2, "The collations of the columns are not known: %s", e.what());
  }
}

const DBCOLUMNINFO* mss_table::column_info(const std::wstring& name) const {
  for (int i = 0; i < get_column_count(); ++i)
    if (columns_[i].pwszName && tk_wcompare_nocase(columns_[i].pwszName, name) == 0) return &columns_[i];
  return nullptr;
}

const mss_table::text_column* mss_table::get_text_column(const std::wstring& name) const {
  const auto found = text_columns_.find(tk_wnocase_key(name));
  return found == text_columns_.end() ? nullptr : &found->second;
}

ole_variant mss_table::get_def_value(VARTYPE vt, const std::wstring& source) {
  tk_wtrace(1, L"mss_table::get_def_value(type=0x%08X, src='%s')", static_cast<unsigned>(vt), source.c_str());
  std::size_t open = 0;
  while (open < source.size() && source[open] == L'(') ++open;
  tk_trace(1, "Before removing round brackets, pos0=%d, size=%d", static_cast<int>(open),
           static_cast<int>(source.size()));
  std::wstring text = source.size() >= 2 * open ? source.substr(open, source.size() - 2 * open) : std::wstring();
  tk_wtrace(1, L"mss_table::get_def_value - buf=[%s]", text.c_str());
  if (text.size() > 2 && (text[0] == L'N' || text[0] == L'n') && text[1] == L'\'') text.erase(0, 1);
  const bool quoted = text.size() >= 2 && text.front() == L'\'' && text.back() == L'\'';
  if (quoted) text = text.substr(1, text.size() - 2);
  ole_variant value;
  if (vt == VT_DATE) {
    const ole_date date(text);
    if (date.get_kind() != ole_date::invalid) value = date.to_variant();
    return value;
  }
  if (quoted) {
    std::wstring unquoted;
    for (std::size_t i = 0; i < text.size(); ++i) {
      unquoted += text[i];
      if (text[i] == L'\'' && i + 1 < text.size() && text[i + 1] == L'\'') ++i;
    }
    text = unquoted;
  }
  try {
    value.from_wstring(text, vt);
  } catch (const tk_exception&) {
    value = ole_variant();
  }
  return value;
}

void mss_table::append_record(const udb_record& record) {
  tk_trace(1, "mss_table::append_record(schema size=%d, record size=%d", static_cast<int>(schema_.size()),
           static_cast<int>(record.size()));
  if (ended_) std::rethrow_exception(ended_);
  // Every record the table is given has its number, the refused ones too.
  ++appended_;
  try {
    if (mss_engine::instance().is_fast_load())
      fast_append(record);
    else
      slow_record(record);
  } catch (...) {
    end_if_table_failure();
    throw;
  }
  ++records_count_;
}

void mss_table::end_if_table_failure() {
  try {
    throw;
  } catch (const mss_load_failure& failure) {
    end_table(failure);
  } catch (const odb_exception& e) {
    if (mss_is_lock_timeout(e)) end_table(mss_load_failure(mss_load_failure::locked, tk_from_ansi(e.what()), {}));
    end_if_lost(e);
  } catch (...) {
  }
}

void mss_table::end_if_lost(const odb_exception& error) {
  if (mss_is_connection_failure(error))
    end_table(mss_load_failure(mss_load_failure::lost, tk_from_ansi(error.what()), {}));
}

void mss_table::end_column_change(const std::wstring& column, const odb_exception& error) {
  const std::wstring reason = tk_from_ansi(error.what());
  if (mss_is_lock_timeout(error)) end_table(mss_load_failure(mss_load_failure::locked, reason, {}));
  end_if_lost(error);
  end_table(mss_load_failure(mss_load_failure::refused,
                             L"the server refused to widen column '" + column + L"' for a longer value (" + reason + L").",
                             {}));
}

void mss_table::store_by_statement(const std::wstring& statement, std::span<const int> records,
                                   const std::function<void()>& settled) {
  const long rows = static_cast<long>(records.size());
  try {
    run_with_identity(statement);
  } catch (const odb_exception& e) {
    if (!mss_is_connection_failure(e)) throw;
    // The answer went with the table's connection, and no statement can
    // follow: the table's rows tell whether these are stored.
    const mss_lost_answer answer =
        mss_rows_after_lost_answer([this] { return stored_rows(); }, fast_load_->get_known_rows(), rows);
    if (answer.outcome == mss_lost_answer::stored) {
      fast_load_->add_known_rows(rows, records.back());
      settled();
    }
    mss_load_failure failure(mss_load_failure::lost, tk_from_ansi(e.what()), {records.begin(), records.end()}, answer);
    failure.by_statement = true;
    throw failure;
  }
  fast_load_->add_known_rows(rows, records.back());
  settled();
}

long long mss_table::stored_rows() {
  // A connection of its own: the table's may be the one lost. Its count waits
  // for a batch still being committed, whatever the database's row versioning.
  odb_command command(database_.get_data_source());
  IRowset* rowset = nullptr;
  command.execute(L"SET TRANSACTION ISOLATION LEVEL REPEATABLE READ; SELECT COUNT(*) FROM " + name_, &rowset);
  ole_com_ptr<IRowset> holder;
  holder.attach(rowset);
  if (!rowset) throw tk_exception("the count gave no rows", 0);
  odb_recordset result(rowset);
  holder = nullptr;
  result.reset();
  const udb_record* row = result.get_record();
  if (result.is_eof() || !row || row->size() < 1) throw tk_exception("the count gave no rows", 0);
  return std::wcstoll((*row)[0].to_wstring().c_str(), nullptr, 10);
}

namespace {

// A list of records: "record #7", "records #7 to #9", "records #7, #14 and
// #21", or, for many apart, "the 66 records that go by statement from #707
// to #1162" (road: how they go to the server). Sorted, without repeats.
std::wstring records_text(const std::vector<int>& records, const wchar_t* road) {
  const auto number = [](int record) { return L"#" + std::to_wstring(record); };
  const std::size_t n = records.size();
  if (n == 1) return L"record " + number(records.front());
  if (static_cast<std::size_t>(records.back() - records.front()) + 1 == n)
    return L"records " + number(records.front()) + L" to " + number(records.back());
  if (n <= 10) {
    std::wstring text = L"records ";
    for (std::size_t i = 0; i < n; ++i) text += (i == 0 ? L"" : i + 1 == n ? L" and " : L", ") + number(records[i]);
    return text;
  }
  return L"the " + std::to_wstring(n) + L" records that go by " + road + L" from " + number(records.front()) +
         L" to " + number(records.back());
}

void sort_unique(std::vector<int>& records) {
  std::sort(records.begin(), records.end());
  records.erase(std::unique(records.begin(), records.end()), records.end());
}

}  // namespace

void mss_table::end_table(const mss_load_failure& failure) {
  const std::wstring table = plain_table_name(name_);
  const bool lost = failure.kind == mss_load_failure::lost;
  std::wstring text;
  switch (failure.kind) {
    case mss_load_failure::locked: text = mss_lock_text(table, failure.reason); break;
    case mss_load_failure::not_kept:
      text = L"Table '" + table + L"': the records of the open batch cannot be kept to be sent again (" +
             failure.reason + L").";
      break;
    case mss_load_failure::refused: text = L"Table '" + table + L"': " + failure.reason; break;
    case mss_load_failure::lost:
      text = L"Table '" + table + L"': the connection to the server was lost (" + failure.reason + L").";
      break;
  }
  // The records being written: not stored, unless the connection was lost
  // after they went (then the table's rows tell).
  std::vector<int> group = failure.records;
  sort_unique(group);
  mss_lost_answer told{mss_lost_answer::not_stored, {}};
  if (lost && !group.empty()) {
    told = failure.told ? *failure.told
                        : mss_rows_after_lost_answer([this] { return stored_rows(); }, fast_load_->get_known_rows(),
                                                     static_cast<long>(group.size()));
    const wchar_t* road = failure.by_statement ? L"statement" : L"bulk load";
    const bool one = group.size() == 1;
    text += L" When it was lost, " + records_text(group, road) + L" had been sent";
    switch (told.outcome) {
      case mss_lost_answer::stored: text += one ? L": it is stored." : L": they are stored."; break;
      case mss_lost_answer::not_stored: text += one ? L": it is not stored." : L": they are not stored."; break;
      case mss_lost_answer::unknown:
        text += (one ? L"; whether it is stored cannot be told (" : L"; whether they are stored cannot be told (") +
                told.why + L").";
        break;
    }
  }
  // Every record up to the last one stored is stored but those still waiting
  // to go (by statement, or in a batch of the load that is not stored).
  int last = fast_load_->get_last_confirmed();
  if (told.outcome == mss_lost_answer::stored && !group.empty()) last = std::max(last, group.back());
  std::vector<int> statement_rows, bulk_rows = failure.unsent;
  for (const deferred_row& row : deferred_) statement_rows.push_back(row.record);
  for (int record : fast_load_->open_batch()) bulk_rows.push_back(record);
  if (told.outcome == mss_lost_answer::not_stored) {
    std::vector<int>& same_road = failure.by_statement ? statement_rows : bulk_rows;
    same_road.insert(same_road.end(), group.begin(), group.end());
  }
  auto before_last = [&](std::vector<int>& records) {
    sort_unique(records);
    std::vector<int> kept;
    for (int record : records)
      if (record <= last && (told.outcome != mss_lost_answer::unknown ||
                             !std::binary_search(group.begin(), group.end(), record)))
        kept.push_back(record);
    records.swap(kept);
  };
  before_last(statement_rows);
  before_last(bulk_rows);
  text += told.outcome == mss_lost_answer::unknown ? L" Of the other records, those from #" : L" Records from #";
  text += std::to_wstring(last + 1) + L" on are not stored";
  if (!statement_rows.empty() || !bulk_rows.empty()) {
    std::wstring earlier = statement_rows.empty() ? std::wstring() : records_text(statement_rows, L"statement");
    if (!bulk_rows.empty()) earlier += (earlier.empty() ? L"" : L" and ") + records_text(bulk_rows, L"bulk load");
    const bool one = statement_rows.size() + bulk_rows.size() == 1;
    text += L", and before them " + earlier + (one ? L" is" : L" are") + L" not stored either";
  }
  text += lost ? L"." : L"; nothing more is written to the table.";
  tk_wtrace(2, L"%s", text.c_str());
  // What is not committed yet is let go: the rows waiting for a statement
  // now, the open batch when the table is released (the load ends without a
  // commit).
  deferred_.clear();
  ended_ = lost ? std::make_exception_ptr(tk_connection_lost(text)) : std::make_exception_ptr(tk_table_exception(text));
  std::rethrow_exception(ended_);
}

std::wstring mss_lock_text(const std::wstring& table, const std::wstring& server_text) {
  const long seconds = tds_lock_timeout_ms() / 1000;
  return L"Table '" + table + L"' is locked by another session: the lock was waited for " + std::to_wstring(seconds) +
         (seconds == 1 ? L" second" : L" seconds") + L" (ORV_MSS_LOCK_TIMEOUT) in vain (" + server_text + L").";
}

// ---------------------------------------------------------------- statements

std::wstring mss_table::get_fld_append_str(const udb_field* field, const t_ftd* schema_field) const {
  tk_trace(1, "mss_table::get_fld_append_str");
  if (!field) throw tk_mail_assertion("mss_tab", 675);
  if (!schema_field) throw tk_mail_assertion("mss_tab", 676);
  const VARTYPE vt = field->get_vt();
  const bool text_column = schema_field->vartype == VT_BSTR;
  if (!is_missing(*field, text_column)) {
    // Into a text column a date or a number goes as the text bulk loading
    // stores, not as the server's own rendering of a typed literal.
    if (text_column && vt != VT_BSTR && !field->is_binary()) return tsql_string(value_text(*field));
    // The server would store a near character or '?' for one the column's
    // code page lacks, without a word.
    if (text_column && vt == VT_BSTR)
      if (const mss_table::text_column* column = get_text_column(schema_field->name))
        hold_in_code_page(wide_to_utf16(field->to_wstring()), column->code_page, schema_field->name);
    // A text for a date column is read here, as bulk loading reads it: the
    // server would read it by the session's language.
    if (vt == VT_BSTR && schema_field->vartype == VT_DATE) {
      const std::wstring text = field->to_wstring();
      SYSTEMTIME st{};
      if (!text_date(text, st)) throw value_failure(text, schema_field->name, L"is not a date.");
      return timestamp_literal(st, !st.wHour && !st.wMinute && !st.wSecond && !st.wMilliseconds);
    }
    if (vt == VT_BSTR && !text_column)
      if (const DBCOLUMNINFO* column = column_info(schema_field->name)) {
        const std::wstring literal = typed_text_literal(field->to_wstring(), *column, schema_field->name);
        if (!literal.empty()) return literal;
      }
    // Dates: the server judges the column's own range (datetime from 1753,
    // date and datetime2 from 0001) and refuses a value outside it.
    const ole_variant safe = mssql_get_safe_variant(*field, true);
    if (vt == VT_DATE) return date_literal(safe);
    const std::wstring text = value_text(safe);
    tk_wtrace(2, L"Got initial string: %s", text.c_str());
    const std::wstring literal = to_mssql_str(text, ole_is_binary_type(vt) ? VT_BLOB : vt);
    tk_wtrace(1, L"Got string: %s", literal.c_str());
    if (vt == VT_BSTR || (!literal.empty() && literal != L"''")) return literal;
  }
  tk_trace(1, "Put NULL-field");
  if (!schema_field->not_null) return L"NULL";
  // The value bulk loading stores for it.
  const ole_variant substitute = null_substitute(schema_field, text_column);
  if (is_null(substitute)) return L"NULL";
  if (substitute.get_vt() == VT_DATE) return date_literal(substitute);
  return to_mssql_str(value_text(substitute), substitute.get_vt());
}

void mss_table::run_with_identity(const std::wstring& statement) {
  if (!identity_insert_) {
    command_->execute(statement);
    return;
  }
  const tsql_object_name table = tsql_parse_name(name_);
  try {
    command_->execute(tsql_identity_insert(table, true) + L"; " + statement + L"; " +
                      tsql_identity_insert(table, false));
  } catch (...) {
    // A statement that failed may have left the switch on for this session:
    // another identity table of the session would be refused (8107).
    try {
      command_->execute(tsql_identity_insert(table, false));
    } catch (...) {
    }
    throw;
  }
}

void mss_table::record_literals(const udb_record& record, std::wstring& columns, std::wstring& values) const {
  columns.clear();
  values.clear();
  static const udb_field missing(L"", 0, ole_variant());
  const std::vector<std::wstring>& sources = source_names();
  std::size_t found = 0;
  for (std::size_t i = 0; i < schema_.size(); ++i) {
    const t_ftd* f = &schema_[i];
    const udb_field* field = record.get_field(sources[i]);
    if (field) ++found;
    if (!columns.empty()) {
      columns += L", ";
      values += L", ";
    }
    columns += mss_bracket_name(f->name);
    values += get_fld_append_str(field ? field : &missing, f);
  }
  if (found != record.size()) throw tk_exception(structure_message, 0);
}

std::wstring mss_table::source_field_name(const std::wstring& column) const {
  const udb_names_map& names = database_.get_names_map();
  if (names.fields().empty()) return column;
  return names.get_fn_orig_name(plain_table_name(name_), column, false);
}

const std::vector<std::wstring>& mss_table::source_names() const {
  if (source_names_.size() != schema_.size()) {
    source_names_.clear();
    for (const t_ftd* f : schema_) source_names_.push_back(source_field_name(f->name));
  }
  return source_names_;
}

std::wstring mss_table::insert_statement(const std::wstring& columns, const std::wstring& rows) const {
  return L"INSERT INTO " + name_ + L"(" + columns + L") VALUES" + rows;
}

void mss_table::slow_record(const udb_record& record) {
  tk_trace(1, "mss_table::slow_record(schema size=%d, record size=%d", static_cast<int>(schema_.size()),
           static_cast<int>(record.size()));
  std::wstring columns, values;
  record_literals(record, columns, values);
  if (schema_.empty()) return;
  const std::wstring statement = insert_statement(columns, L"( " + values + L")");
  tk_wtrace(3, L"Run SQL query: %s\n", statement.c_str());
  const int number = static_cast<int>(appended_);
  store_by_statement(statement, {&number, 1}, [] {});
}

void mss_table::defer_record(const udb_record& record) {
  std::wstring columns, values;
  record_literals(record, columns, values);
  if (schema_.empty()) return;
  deferred_columns_ = columns;
  deferred_.push_back({static_cast<int>(appended_), L"(" + values + L")"});
  if (fast_load_->has_open_batch()) {
    // The row goes after the batch's commit; so many rows waiting commit it
    // early.
    if (deferred_.size() >= static_cast<std::size_t>(mss_fast_load::commit_rows)) fast_load_->flush();
  } else if (deferred_.size() >= deferred_limit) {
    send_deferred();
  }
}

void mss_table::send_deferred() {
  // Several rows after VALUES came with SQL Server 2008; older servers get a
  // statement for each row.
  const std::size_t rows_per_statement =
      mss_engine::instance().get_version_code() >= MSS_VERSION_2008 ? deferred_limit : 1;
  while (!deferred_.empty()) {
    // The rows leave the list once they are settled: a failure of the table
    // finds those not stored still in it.
    const auto end =
        deferred_.begin() + static_cast<std::ptrdiff_t>(std::min(deferred_.size(), rows_per_statement));
    std::wstring list;
    std::vector<int> records;
    for (auto row = deferred_.begin(); row != end; ++row) {
      if (!list.empty()) list += L", ";
      list += row->values;
      records.push_back(row->record);
    }
    const long count = static_cast<long>(records.size());
    try {
      store_by_statement(insert_statement(deferred_columns_, list), records,
                         [&] { deferred_.erase(deferred_.begin(), end); });
      continue;
    } catch (const odb_exception& e) {
      if (mss_is_lock_timeout(e)) throw;
      tk_trace(2, "Statement of %ld rows refused: %s", count, e.what());
      if (count == 1) {
        const int record = deferred_.front().record;
        deferred_.erase(deferred_.begin());
        report_row_failure(record, e);
        continue;
      }
    }
    // Refused as a whole (nothing of it was stored): each row on its own, so
    // that only the refused rows are lost.
    for (long i = 0; i < count; ++i) {
      const int record = deferred_.front().record;
      try {
        store_by_statement(insert_statement(deferred_columns_, deferred_.front().values), {&record, 1},
                           [this] { deferred_.erase(deferred_.begin()); });
      } catch (const odb_exception& e) {
        if (mss_is_lock_timeout(e)) throw;
        deferred_.erase(deferred_.begin());
        report_row_failure(record, e);
      }
    }
  }
}

void mss_table::update(const udb_record& record) {
  tk_trace(1, "mss_table::update");
  if (key_index_ < 0) {
    tk_trace(1, "There's no primary/unique key");
    return;
  }
  const udb_index& key = indexes_[static_cast<std::size_t>(key_index_)];
  std::wstring set_list, where_list;
  for (std::size_t i = 0; i < record.size(); ++i) {
    const std::wstring& name = record[i].get_name();
    if (!schema_.find_field(name)) continue;
    const t_ftd& f = schema_.get_field(name);
    bool in_key = false;
    for (const std::wstring& column : key.columns) in_key = in_key || tk_wcompare_nocase(column, name) == 0;
    std::wstring& list = in_key ? where_list : set_list;
    if (!list.empty()) list += in_key ? L" AND " : L", ";
    list += mss_bracket_name(f.name) + L"=" + get_fld_append_str(&record[i], &f);
  }
  if (where_list.empty() || set_list.empty()) return;
  if (ended_) std::rethrow_exception(ended_);
  try {
    // The statement would wait on the locks of our own open batch.
    if (fast_load_ && fast_load_->is_open() && fast_load_->has_open_batch()) fast_load_->flush();
    command_->execute(L"UPDATE " + name_ + L" SET " + set_list + L" WHERE " + where_list);
  } catch (...) {
    end_if_table_failure();
    throw;
  }
}

// ---------------------------------------------------------------- bulk loading

const std::vector<int>& mss_table::fast_plan(const udb_record& record) {
  bool same = plan_names_.size() == record.size() && !plan_.empty();
  for (std::size_t i = 0; same && i < record.size(); ++i) same = plan_names_[i] == record[i].get_name();
  if (same) return plan_;
  plan_names_.clear();
  for (std::size_t i = 0; i < record.size(); ++i) plan_names_.push_back(record[i].get_name());
  const int count = fast_load_->get_column_count();
  plan_.assign(static_cast<std::size_t>(count), -1);
  plan_not_null_.assign(static_cast<std::size_t>(count), false);
  plan_fields_.assign(static_cast<std::size_t>(count), nullptr);
  plan_code_pages_.assign(static_cast<std::size_t>(count), 0);
  std::size_t matched = 0;
  for (int c = 1; c <= count; ++c) {
    const std::wstring& column = fast_load_->get_column_name(c);
    const std::wstring source = source_field_name(column);
    int found = -1;
    for (std::size_t i = 0; i < record.size() && found < 0; ++i)
      if (tk_wcompare_nocase(record[i].get_name(), source) == 0) found = static_cast<int>(i);
    // A column the record has no field for (a short CSV line) takes its missing value.
    if (found < 0) tk_wtrace(1, L"Field %s not found", column.c_str());
    else ++matched;
    plan_[c - 1] = found;
    plan_not_null_[c - 1] = !(fast_load_->get_column(c).dwFlags & DBCOLUMNFLAGS_ISNULLABLE);
    plan_fields_[c - 1] = schema_.find_field(column) ? &schema_.get_field(column) : nullptr;
    const text_column* text = get_text_column(column);
    plan_code_pages_[c - 1] = text ? text->code_page : 0;
  }
  if (matched != record.size()) {
    // A field of the record that the table has no column for.
    plan_names_.clear();
    throw tk_exception(structure_message, 0);
  }
  return plan_;
}

bool mss_table::bind_value(int ordinal, const udb_field* field) {
  const std::size_t at = static_cast<std::size_t>(ordinal - 1);
  const t_ftd* schema_field = plan_fields_[at];
  const DBTYPE bound = fast_load_->get_bound_type(ordinal);
  const DBTYPE column_type = fast_load_->get_column(ordinal).wType;
  const bool text_column = column_type == DBTYPE_WSTR || column_type == DBTYPE_STR || column_type == DBTYPE_BSTR;
  tk_trace(1, "Field %d has type=%d", ordinal, field ? static_cast<int>(field->get_vt()) : 0);
  static const ole_variant none;
  const ole_variant* given = field ? static_cast<const ole_variant*>(field) : &none;
  ole_variant substitute;
  if (is_missing(*given, text_column)) {
    if (!plan_not_null_[at]) return fast_load_->BindData(nullptr, 0, 0, ordinal);
    substitute = null_substitute(schema_field, text_column);
    if (is_null(substitute)) return fast_load_->BindData(nullptr, 0, 0, ordinal);
    given = &substitute;
  }
  const ole_variant& value = *given;
  auto failure = [&](const wchar_t* what) {
    return value_failure(value.to_wstring(), fast_load_->get_column_name(ordinal), what);
  };
  switch (bound) {
    case DBTYPE_DBTIMESTAMP: {
      SYSTEMTIME st{};
      if (value.get_vt() == VT_DATE) {
        // A time of day alone is a time of 1899-12-30, as its literal says.
        const ole_date date(value.get_variant());
        st = value.get_systemtime();
        if (date.get_kind() == ole_date::time_only || st.wYear == 0) st.wYear = 1899, st.wMonth = 12, st.wDay = 30;
      } else if (value.get_vt() == VT_BSTR) {
        if (!text_date(value.to_wstring(), st)) throw failure(L"is not a date.");
      } else if (is_number(value.get_vt()) && column_type == DBTYPE_DBTIMESTAMP) {
        // A number of days into datetime: the server's own conversion, by statement.
        return false;
      } else {
        throw failure(L"is not a date.");
      }
      DBTIMESTAMP ts{static_cast<SHORT>(st.wYear), st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond,
                     static_cast<ULONG>(st.wMilliseconds) * 1000000u};
      return fast_load_->BindData(&ts, sizeof ts, ordinal);
    }
    case DBTYPE_R8: {
      double d;
      if (value.get_vt() == VT_BSTR) {
        if (!text_double(value.to_wstring(), d)) throw failure(L"is not a number.");
      } else if (value.get_vt() == VT_DATE || value.is_binary()) {
        throw failure(L"is not a number.");
      } else if (value.get_vt() == VT_BOOL) {
        d = value.to_bool() ? 1 : 0;
      } else {
        d = value.to_double();
      }
      d = mssql_get_safe_variant(ole_variant(d)).to_double();
      return fast_load_->BindData(&d, sizeof d, ordinal);
    }
    case DBTYPE_WSTR: {
      if (is_number(value.get_vt()) && (is_integer_column(column_type) || column_type == DBTYPE_BOOL))
        number_for_column(value, column_type, text_);
      else if (value.get_vt() == VT_BOOL && !text_column)
        text_ = value.to_bool() ? u"1" : u"0";
      else
        value_text16(value, text_);
      // A GUID as data access writes one goes as the GUID, as by statement.
      if (value.get_vt() == VT_BSTR && !text_.empty() && text_[0] == u'{') {
        std::wstring braced;
        if (mssql_whole_guid(value.to_wstring(), braced)) text_ = wide_to_utf16(braced);
      }
      if (text_.empty() && text_column) return false;
      if (value.get_vt() == VT_BSTR) {
        // The provider reads it as a statement would be sent it.
        const std::wstring& name = fast_load_->get_column_name(ordinal);
        if (!text_column) typed_text_literal(value.to_wstring(), fast_load_->get_column(ordinal), name);
        hold_in_code_page(text_, plan_code_pages_[at], name);
      }
      const DBLENGTH units = std::min<DBLENGTH>(text_.size(), fast_load_->get_max_length(ordinal) / 2);
      return fast_load_->BindData(text_.data(), units * 2, ordinal);
    }
    case DBTYPE_BYTES: {
      if (!value.is_binary()) throw failure(L"is not binary data.");
      const std::vector<BYTE> bytes = value.get_binary();
      if (bytes.empty()) return false;
      const DBLENGTH count = std::min<DBLENGTH>(bytes.size(), fast_load_->get_max_length(ordinal));
      return fast_load_->BindData(bytes.data(), count, ordinal);
    }
    case DBTYPE_IUNKNOWN: {
      std::vector<BYTE> bytes;
      if (column_type == DBTYPE_BYTES) {
        if (!value.is_binary()) throw failure(L"is not binary data.");
        bytes = value.get_binary();
      } else {
        std::wstring wide = value_text(value);
        std::wstring braced;
        if (value.get_vt() == VT_BSTR && !wide.empty() && wide[0] == L'{' && mssql_whole_guid(wide, braced))
          wide = braced;
        const std::u16string text = wide_to_utf16(wide);
        if (value.get_vt() == VT_BSTR)
          hold_in_code_page(text, plan_code_pages_[at], fast_load_->get_column_name(ordinal));
        bytes.assign(reinterpret_cast<const BYTE*>(text.data()), reinterpret_cast<const BYTE*>(text.data()) + text.size() * 2);
      }
      if (bytes.empty()) return false;
      if (bytes.size() > ~ULONG{0}) throw failure(L"is too long for a stream.");
      auto* stream = new memory_stream();
      ULONG written = 0;
      if (stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written) != S_OK || written != bytes.size()) {
        stream->Release();
        throw failure(L"cannot be written into its stream.");
      }
      return fast_load_->BindStream(stream, ordinal);
    }
    default:
      throw failure(L"cannot be bound.");
  }
}

void mss_table::fast_append(const udb_record& record) {
  tk_trace(1, "mss_table::fast_append");
  if (!fast_load_->is_open()) {
    std::wstring text = name_;
    DBID id{};
    id.eKind = DBKIND_NAME;
    id.uName.pwszName = text.data();
    const HRESULT hr = fast_load_->open_table(session_.get(), &id);
    if (FAILED(hr)) {
      if (fast_load_->bind_failure()) throw *fast_load_->bind_failure();
      throw odb_exception(hr);
    }
    fast_load_->set_row_failure([this](int number, const tk_exception& error) { report_row_failure(number, error); });
    fast_load_->set_after_commit([this] { send_deferred(); });
    plan_names_.clear();
  }
  const std::vector<int>& plan = fast_plan(record);
  bool bulk = true;
  for (int c = 1; c <= static_cast<int>(plan.size()); ++c) {
    const int at = plan[static_cast<std::size_t>(c - 1)];
    if (!bind_value(c, at < 0 ? nullptr : &record[static_cast<std::size_t>(at)])) bulk = false;
  }
  if (!bulk) {
    // Bulk loading sends an empty value as NULL: the row goes by statement,
    // with others of its kind.
    defer_record(record);
    throw_first_failure();
    return;
  }
  // Rows waiting for a statement while no batch is open go first.
  if (!fast_load_->has_open_batch()) send_deferred();
  fast_load_->insert_data(static_cast<int>(appended_));
  throw_first_failure();
}

void mss_table::flush() {
  if (ended_) std::rethrow_exception(ended_);
  try {
    // The batch commits first: the statements would wait on its locks.
    if (fast_load_ && fast_load_->is_open()) fast_load_->close_table();
    send_deferred();
  } catch (...) {
    end_if_table_failure();
    throw;
  }
  throw_first_failure();
}

void mss_table::throw_first_failure() {
  if (!first_failure_) return;
  std::exception_ptr failure = std::exchange(first_failure_, nullptr);
  std::rethrow_exception(failure);
}

void mss_table::report_row_failure(int record, const tk_exception& error) {
  if (!error_handler::exists()) {
    if (!first_failure_) {
      const auto* provider = dynamic_cast<const odb_exception*>(&error);
      first_failure_ = provider ? std::make_exception_ptr(*provider) : std::make_exception_ptr(error);
    }
    return;
  }
  error_handler& reporter = error_handler::instance();
  reporter.set_record_context(plain_table_name(name_), record);
  reporter.handle(error, false);
}
