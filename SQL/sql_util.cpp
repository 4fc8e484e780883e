#include "SQL/sql_util.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "OLE/ole_date.h"
#include "OLE/ole_misc.h"
#include "SQL/sql_engi.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "UDB/udb_rec.h"
#include "UDB/udb_sche.h"

namespace {

constexpr VARTYPE vt_binary_array = VT_ARRAY | VT_UI1;

ole_variant null_value() {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_NULL;
  return ole_variant(value);
}

bool is_binary_type(VARTYPE vt) {
  return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == vt_binary_array;
}

bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool is_hex_digit(wchar_t c) {
  return is_digit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

// The text of a number as a literal may stand without quotes: an optional sign,
// digits with at most one decimal point, an optional exponent.
bool is_number_text(const std::wstring& text) {
  size_t i = 0, n = text.size();
  if (i < n && (text[i] == L'-' || text[i] == L'+')) ++i;
  size_t digits = 0;
  while (i < n && is_digit(text[i])) ++i, ++digits;
  if (i < n && text[i] == L'.') {
    ++i;
    while (i < n && is_digit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == L'e' || text[i] == L'E')) {
    ++i;
    if (i < n && (text[i] == L'-' || text[i] == L'+')) ++i;
    size_t exp_digits = 0;
    while (i < n && is_digit(text[i])) ++i, ++exp_digits;
    if (exp_digits == 0) return false;
  }
  return i == n;
}

// Every backslash and single quote gets a backslash before it; quoted between
// single quotes when asked.
void append_escaped(std::wstring& out, std::wstring_view text, bool quoted) {
  if (quoted) out += L'\'';
  for (wchar_t c : text) {
    if (c == L'\\' || c == L'\'') out += L'\\';
    out += c;
  }
  if (quoted) out += L'\'';
}

// A binary value's text that is already a hexadecimal or decimal literal.
bool is_number_literal(const std::wstring& text) {
  if (text.size() < 2 || !is_digit(text[0])) return false;
  if (text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
    for (size_t i = 2; i < text.size(); ++i)
      if (!is_hex_digit(text[i])) return false;
    return true;
  }
  if (!is_digit(text[1])) return false;
  for (size_t i = 2; i < text.size(); ++i)
    if (!is_digit(text[i])) return false;
  return true;
}

std::wstring date_text(const std::wstring& text) { return ole_date(text).to_wstring(); }

// The literal of a binary value from its bytes, whole: X'..' (from 4.0.0 on; before,
// 0x.., and '' for no bytes). Returns false for a value that is not binary.
bool append_binary(std::wstring& out, const ole_variant& value) {
  if (!value.is_binary()) return false;
  tk_trace(1, "GOT BLOB");
  const std::vector<BYTE> bytes = value.get_binary();
  const bool x_literal = sql_engine::instance().server_version() >= sql_version::v4_0_0;
  if (bytes.empty()) {
    out += x_literal ? L"X''" : L"''";
    return true;
  }
  static const wchar_t digits[] = L"0123456789ABCDEF";
  out.reserve(out.size() + bytes.size() * 2 + 3);
  out += x_literal ? L"X'" : L"0x";
  for (BYTE b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 0x0F];
  }
  if (x_literal) out += L'\'';
  return true;
}

}  // namespace

// ---------------------------------------------------------------- types

std::wstring get_native_type(VARTYPE vt, unsigned size, int extra) {
  tk_trace(1, "get_native_type(%d,%d,%d)", vt, size, extra);
  wchar_t buffer[64];
  switch (vt) {
    case VT_I2: return L"SMALLINT";
    case VT_I4:
    case VT_INT: return L"INT";
    case VT_R4: return L"FLOAT";
    case VT_R8: return L"DOUBLE";
    case VT_CY: return L"DECIMAL(19,4)";
    case VT_DATE:
      switch (extra) {
        case 0: return L"CHAR(19)";
        case 1: return L"DATETIME";
        case 2: return L"DATE";
        case 3: return L"TIME";
        default: throw tk_mail_assertion("sql_util", 336);
      }
    case VT_BSTR:
      tk_trace(1, "process as text");
      if (size == 0 || size > 0xFFFFFF) return L"LONGTEXT";
      if (size <= 255) {
        std::swprintf(buffer, 64, L"VARCHAR(%u)", size);
        std::wstring type = buffer;
        if (sql_engine::instance().varchar_binary()) type += L" BINARY";
        return type;
      }
      if (size <= 65535) return L"TEXT";
      return L"MEDIUMTEXT";
    case VT_BOOL: return L"BIT";
    case VT_DECIMAL: {
      const int precision = (extra >> 8) & 0xFF, scale = extra & 0xFF;
      tk_trace(1, "Scale/precision for decimal column: (%d, %d)", scale, precision);
      if (precision == 0) return L"DOUBLE";
      std::swprintf(buffer, 64, L"DECIMAL(%d,%d)", precision, scale);
      return buffer;
    }
    case VT_I1: return L"TINYINT";
    case VT_UI1: return L"TINYINT UNSIGNED";
    case VT_UI2: return L"SMALLINT UNSIGNED";
    case VT_UI4:
    case VT_UINT: return L"INT UNSIGNED";
    case VT_I8: return L"BIGINT";
    case VT_UI8: return L"BIGINT UNSIGNED";
    case VT_BLOB:
      tk_trace(1, "process as blob");
      if (size == 0 || size > 0xFFFFFF) return L"LONGBLOB";
      if (size <= 255) return L"TINYBLOB";
      if (size <= 65535) return L"BLOB";
      return L"MEDIUMBLOB";
    default: throw tk_mail_assertion("sql_util", 371);
  }
}

bool is_mysql_blob_type(unsigned type) { return type >= 249 && type <= 252; }

VARTYPE mysql_type_to_vartype(unsigned type, unsigned flags) {
  const bool is_unsigned = (flags & sql_unsigned_flag) != 0;
  switch (type) {
    case 0:
    case 246: return VT_DECIMAL;
    case 1: return is_unsigned ? VT_UI1 : VT_I1;
    case 2: return is_unsigned ? VT_UI2 : VT_I2;
    case 3: return is_unsigned ? VT_UI4 : VT_I4;
    case 4: return VT_R4;
    case 5: return VT_R8;
    case 7:
    case 10:
    case 11:
    case 12: return VT_DATE;
    case 8: return is_unsigned ? VT_UI8 : VT_I8;
    case 9: return VT_I4;
    case 13: return VT_UI2;
    case 16: return VT_BOOL;
    case 249:
    case 250:
    case 251:
    case 252: return sql_engine::instance().blob_as_text() ? VT_BSTR : VT_BLOB;
    default: return VT_BSTR;
  }
}

// ---------------------------------------------------------------- values

ole_variant get_variant(const char* text, VARTYPE vt) {
  tk_trace(1, "get_variant(char)");
  if (!text) return null_value();
  tk_trace(1, "Type=%d, src=%s", vt, text);
  if (vt == VT_BOOL) return ole_variant(text[0] != 0);
  ole_variant value;
  value.from_string(text, vt);
  return value;
}

ole_variant get_variant(const wchar_t* text, VARTYPE vt) {
  tk_trace(1, "get_variant(wchar_t)");
  if (!text) return null_value();
  tk_wtrace(1, L"Type=%d, src=%s", vt, text);
  if (vt == VT_BOOL) return ole_variant(text[0] != 0);
  ole_variant value;
  value.from_wstring(text, vt);
  return value;
}

namespace {

template <typename Char>
ole_variant column_variant(unsigned type, unsigned flags, unsigned long length, const Char* text) {
  tk_trace(1, "get_variant(2), type=%d, lenght=%d", type, static_cast<int>(length));
  if (!text) {
    tk_trace(1, "process NULL-values");
    return null_value();
  }
  if (!is_mysql_blob_type(type)) return get_variant(text, mysql_type_to_vartype(type, flags));
  if (!sql_engine::instance().blob_as_text() && (flags & sql_binary_flag)) {
    tk_trace(1, "Extract BINARY value");
    std::vector<unsigned char> bytes(length);
    for (unsigned long i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(text[i]);
    return ole_variant(bytes);
  }
  tk_trace(1, "Extract TEXT value");
  return get_variant(text, VT_BSTR);
}

}  // namespace

ole_variant get_variant(unsigned type, unsigned flags, unsigned long length, const char* text) {
  return column_variant(type, flags, length, text);
}

ole_variant get_variant(unsigned type, unsigned flags, unsigned long length,
                        const wchar_t* text) {
  return column_variant(type, flags, length, text);
}

// ---------------------------------------------------------------- literals

void append_mysql_str(std::wstring& out, const std::wstring& text, VARTYPE vt) {
  if (vt == VT_NULL || vt == VT_EMPTY) {
    tk_trace(1, "******* NULL VALUE ******");
    out += L"NULL";
    return;
  }
  if (text.empty()) {
    out += L"\"\"";
    return;
  }
  if (vt == VT_DATE) {
    append_escaped(out, date_text(text), true);
    return;
  }
  if (is_binary_type(vt)) {
    tk_trace(1, "GOT BLOB");
    if (text.size() >= 2) {
      ole_guid_extractor guid(text);
      std::wstring hex = guid.get_hex();
      if (!hex.empty()) {
        tk_trace(1, "BLOB IS AN GUID");
        out += L"0x";
        out += hex;
        return;
      }
      if (is_number_literal(text)) {
        tk_trace(1, "BLOB IS VALID");
        out += text;
        return;
      }
    }
    append_escaped(out, text, true);
    return;
  }
  // Text and dates are quoted; a number stands as it is, but only a text that is
  // a number can stand unquoted.
  const bool quoted = vt == VT_BSTR || !is_number_text(text);
  append_escaped(out, text, quoted);
}

std::wstring to_mysql_str(const std::wstring& text, VARTYPE vt) {
  tk_wtrace(1, L"to_mysql_str(%s)", text.c_str());
  std::wstring out;
  append_mysql_str(out, text, vt);
  return out;
}

std::wstring field_to_mysql_str(const udb_field* field) {
  if (!field) throw tk_mail_assertion("sql_util", 537);
  std::wstring binary;
  if (append_binary(binary, *field)) return binary;
  return to_mysql_str(field->to_wstring(), field->get_type());
}

std::wstring make_mysql_def_val(const t_ftd* descriptor) {
  if (!descriptor) throw tk_mail_assertion("sql_util", 54);
  const std::wstring text = descriptor->default_value.to_wstring();
  tk_wtrace(1, L"make_mysql_def_val(%d,%s)", descriptor->vartype, text.c_str());
  if (text.empty()) {
    tk_trace(1, "Got empty def value");
    return {};
  }
  switch (descriptor->vartype) {
    case VT_BSTR:
      tk_wtrace(1, L"Got BSTR def value: %s", text.c_str());
      return to_mysql_str(text, VT_BSTR);
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_BOOL: {
      const long value = std::wcstol(text.c_str(), nullptr, 10);
      if (std::to_wstring(value) != text) return {};
      tk_trace(1, "Int/long default value is correct");
      return text;
    }
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DECIMAL: {
      // A text that is no number would break the statement: no default.
      if (!is_number_text(text)) return {};
      return text;
    }
    case VT_DATE: {
      tk_trace(1, "Got DATE def value");
      const std::wstring canonical = date_text(text);
      tk_wtrace(1, L"After canonization: %s", canonical.c_str());
      if (canonical.empty()) return {};
      return L"\"" + canonical + L"\"";
    }
    default: return {};
  }
}

namespace {

template <typename Number>
void append_number(std::wstring& out, Number value) {
  char buffer[32];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

// The literal of a value whose text needs no conversion through the code page:
// integers print as they are, text is escaped straight from the value. False for
// every other type.
bool append_direct(std::wstring& out, const udb_field& field, VARTYPE vt) {
  const VARIANT& v = field.ole_variant::get_variant();
  switch (vt) {
    case VT_I1: append_number(out, static_cast<int>(v.cVal)); return true;
    case VT_I2: append_number(out, static_cast<int>(v.iVal)); return true;
    case VT_I4: append_number(out, static_cast<long>(v.lVal)); return true;
    case VT_INT: append_number(out, v.intVal); return true;
    case VT_UI1: append_number(out, static_cast<unsigned>(v.bVal)); return true;
    case VT_UI2: append_number(out, static_cast<unsigned>(v.uiVal)); return true;
    case VT_UI4: append_number(out, static_cast<unsigned long>(v.ulVal)); return true;
    case VT_UINT: append_number(out, v.uintVal); return true;
    case VT_I8: append_number(out, field.get_i8()); return true;
    case VT_UI8: append_number(out, field.get_ui8()); return true;
    // The shortest text that reads back as the same number: the value's own text
    // keeps 16 significant digits of a double (7 of a float), which is not
    // always enough to give the same number back.
    case VT_R8:
      if (!std::isfinite(v.dblVal)) return false;
      append_number(out, v.dblVal);
      return true;
    case VT_R4:
      if (!std::isfinite(v.fltVal)) return false;
      append_number(out, v.fltVal);
      return true;
    case VT_BSTR: {
      const std::wstring_view text(v.bstrVal ? v.bstrVal : L"", v.bstrVal ? SysStringLen(v.bstrVal) : 0);
      if (text.empty()) {
        out += L"\"\"";
        return true;
      }
      append_escaped(out, text, true);
      return true;
    }
    default: return false;
  }
}

}  // namespace

void append_fld_str(std::wstring& out, const udb_field* field, const t_ftd* column) {
  tk_trace(1, "get_fld_append_str");
  if (!field) throw tk_mail_assertion("sql_util", 654);
  if (!column) throw tk_mail_assertion("sql_util", 655);
  const VARTYPE vt = field->get_type();
  if (append_direct(out, *field, vt)) return;
  if (append_binary(out, *field)) return;
  const size_t start = out.size();
  append_mysql_str(out, field->to_wstring(), vt);
  if (vt == VT_BLOB) return;
  const bool empty_literal = out.compare(start, std::wstring::npos, L"\"\"") == 0;
  if (vt == VT_EMPTY || vt == VT_NULL || empty_literal) {
    tk_trace(1, "Put NULL-field");
    out.resize(start);
    if (column->not_null)
      append_mysql_str(out, column->default_value.to_wstring(), column->vartype);
    else
      out += L"NULL";
  }
}

std::wstring get_fld_append_str(const udb_field* field, const t_ftd* column) {
  std::wstring out;
  append_fld_str(out, field, column);
  return out;
}

std::wstring to_mysql_quotes(std::wstring text) {
  for (wchar_t& c : text)
    if (c == L'[' || c == L']') c = L'`';
  return text;
}

std::wstring count_text(unsigned long long count, const wchar_t* noun) {
  return std::to_wstring(count) + L" " + noun + (count == 1 ? L"" : L"s");
}
