#include "platform/tds/tds_cells.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/oleaut/date.h"
#include "platform/oledb/data_convert.h"
#include "platform/oledb/memory_stream.h"
#include "platform/oledb/text16.h"

namespace {

int numeric_bytes(int precision) {
  // Bytes of the magnitude of precision digits, plus the sign byte.
  unsigned __int128 top = 1;
  for (int i = 0; i < precision; ++i) top *= 10;
  top -= 1;
  int bits = 0;
  while (top) {
    ++bits;
    top >>= 1;
  }
  return 1 + (bits + 7) / 8;
}

template <class T>
T get(const tds_cell& cell) {
  T v{};
  std::memcpy(&v, cell.bytes.data(), std::min(sizeof v, cell.bytes.size()));
  return v;
}

std::string real_text(double v, int max_digits) {
  char text[64];
  for (int digits = max_digits - 2; digits <= max_digits; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, v);
    if (max_digits == 17 ? std::strtod(text, nullptr) == v : std::strtof(text, nullptr) == static_cast<float>(v))
      break;
  }
  return text;
}

std::string timestamp_text(const DBTIMESTAMP& t, bool date, bool time) {
  char text[64] = "";
  if (date && time)
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
  else if (date)
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", t.year, t.month, t.day);
  else
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", t.hour, t.minute, t.second);
  std::string out = text;
  if (time && t.fraction) {
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%09u", static_cast<unsigned>(t.fraction));
    std::string f = fraction;
    while (f.size() > 4 && f.back() == '0') f.pop_back();
    out += f;
  }
  return out;
}

}  // namespace

void tds_numeric_from_db(const BYTE* db, DB_NUMERIC* out) {
  std::memset(out, 0, sizeof *out);
  out->precision = db[0];
  out->scale = static_cast<signed char>(db[1]);
  out->sign = db[2] ? 0 : 1;
  const int n = numeric_bytes(db[0]) - 1;
  for (int i = 0; i < n && i < 16; ++i) out->val[i] = db[2 + n - i];
}

void tds_numeric_to_db(const DB_NUMERIC& value, BYTE* db) {
  std::memset(db, 0, 35);
  db[0] = value.precision;
  db[1] = static_cast<BYTE>(value.scale);
  db[2] = value.sign ? 0 : 1;
  const int n = numeric_bytes(value.precision) - 1;
  for (int i = 0; i < n && i < 16; ++i) db[2 + n - i] = value.val[i];
}

std::u16string tds_cell_text(const tds_column& column, const tds_cell& cell) {
  std::string text;
  switch (column.type) {
    case DBTYPE_WSTR: return std::u16string(reinterpret_cast<const char16_t*>(cell.bytes.data()), cell.bytes.size() / 2);
    case DBTYPE_UI1: text = std::to_string(get<BYTE>(cell)); break;
    case DBTYPE_I2: text = std::to_string(get<SHORT>(cell)); break;
    case DBTYPE_I4: text = std::to_string(get<LONG>(cell)); break;
    case DBTYPE_I8: text = std::to_string(get<LONGLONG>(cell)); break;
    case DBTYPE_R4: text = real_text(get<float>(cell), 9); break;
    case DBTYPE_R8: text = real_text(get<double>(cell), 17); break;
    case DBTYPE_BOOL: text = get<VARIANT_BOOL>(cell) ? "1" : "0"; break;
    case DBTYPE_CY: {
      DB_NUMERIC n;
      numeric_from_text(std::to_string(get<LONGLONG>(cell)), 38, 0, &n);
      n.scale = 4;
      text = numeric_to_text(n);
      break;
    }
    case DBTYPE_NUMERIC: text = numeric_to_text(get<DB_NUMERIC>(cell)); break;
    case DBTYPE_DBTIMESTAMP: text = timestamp_text(get<DBTIMESTAMP>(cell), true, true); break;
    case DBTYPE_DBDATE: {
      DBDATE d = get<DBDATE>(cell);
      text = timestamp_text(DBTIMESTAMP{d.year, d.month, d.day, 0, 0, 0, 0}, true, false);
      break;
    }
    case DBTYPE_DBTIME: {
      DBTIME t = get<DBTIME>(cell);
      text = timestamp_text(DBTIMESTAMP{0, 0, 0, t.hour, t.minute, t.second, 0}, false, true);
      break;
    }
    case DBTYPE_GUID: {
      GUID g = get<GUID>(cell);
      text = guid_to_string(g);
      break;
    }
    case DBTYPE_BYTES: {
      static const char hex[] = "0123456789ABCDEF";
      text = "0x";
      for (BYTE b : cell.bytes) {
        text += hex[b >> 4];
        text += hex[b & 15];
      }
      break;
    }
    default: break;
  }
  return utf8_to_utf16(text);
}

DBSTATUS tds_cell_to_binding(const tds_column& column, const tds_cell& cell, const DBBINDING& binding, BYTE* row) {
  DBSTATUS status = DBSTATUS_S_OK;
  DBLENGTH length = 0;
  BYTE* value = row + binding.obValue;
  const bool want_value = binding.dwPart & DBPART_VALUE;
  if (cell.null) {
    status = DBSTATUS_S_ISNULL;
  } else {
    const DBTYPE type = binding.wType & ~DBTYPE_BYREF;
    if (type == DBTYPE_WSTR) {
      std::u16string text = tds_cell_text(column, cell);
      length = text.size() * 2;
      if (want_value && binding.cbMaxLen >= 2) {
        DBLENGTH room = (binding.cbMaxLen / 2 - 1) * 2;
        DBLENGTH n = std::min(room, length);
        std::memcpy(value, text.data(), n);
        std::memset(value + n, 0, 2);
        if (n < length) status = DBSTATUS_S_TRUNCATED;
      }
    } else if (type == DBTYPE_BYTES) {
      length = cell.bytes.size();
      if (column.type == DBTYPE_WSTR || column.type == DBTYPE_BYTES || column.type == DBTYPE_GUID) {
        DBLENGTH n = std::min<DBLENGTH>(binding.cbMaxLen, length);
        if (want_value) std::memcpy(value, cell.bytes.data(), n);
        if (n < length) status = DBSTATUS_S_TRUNCATED;
      } else {
        status = DBSTATUS_E_CANTCONVERTVALUE;
      }
    } else if (type == DBTYPE_IUNKNOWN) {
      auto* stream = new memory_stream;
      std::u16string text;
      const void* data = cell.bytes.data();
      std::size_t n = cell.bytes.size();
      if (column.type != DBTYPE_WSTR && column.type != DBTYPE_BYTES) {
        text = tds_cell_text(column, cell);
        data = text.data();
        n = text.size() * 2;
      }
      if (n) stream->Write(data, static_cast<ULONG>(n), nullptr);
      length = n;
      ISequentialStream* p = stream;
      if (want_value) std::memcpy(value, &p, sizeof p);
      else stream->Release();
    } else if (type == column.type) {
      length = cell.bytes.size();
      if (want_value) std::memcpy(value, cell.bytes.data(), cell.bytes.size());
    } else if (type == DBTYPE_NUMERIC && (column.type == DBTYPE_I4 || column.type == DBTYPE_I8 ||
                                          column.type == DBTYPE_I2 || column.type == DBTYPE_UI1 ||
                                          column.type == DBTYPE_CY)) {
      DB_NUMERIC n;
      std::string text = utf16_to_utf8(tds_cell_text(column, cell));
      if (FAILED(numeric_from_text(text, binding.bPrecision ? binding.bPrecision : 38, binding.bScale, &n)))
        status = DBSTATUS_E_DATAOVERFLOW;
      else if (want_value)
        std::memcpy(value, &n, sizeof n);
      length = sizeof n;
    } else if ((type == DBTYPE_I4 || type == DBTYPE_I8 || type == DBTYPE_R8) &&
               (column.type == DBTYPE_I2 || column.type == DBTYPE_I4 || column.type == DBTYPE_UI1 ||
                column.type == DBTYPE_I8)) {
      long long v = std::strtoll(utf16_to_utf8(tds_cell_text(column, cell)).c_str(), nullptr, 10);
      if (type == DBTYPE_I4) {
        if (v < INT32_MIN || v > INT32_MAX) status = DBSTATUS_E_DATAOVERFLOW;
        LONG l = static_cast<LONG>(v);
        if (want_value) std::memcpy(value, &l, sizeof l);
        length = 4;
      } else if (type == DBTYPE_I8) {
        if (want_value) std::memcpy(value, &v, sizeof v);
        length = 8;
      } else {
        double d = static_cast<double>(v);
        if (want_value) std::memcpy(value, &d, sizeof d);
        length = 8;
      }
    } else {
      status = DBSTATUS_E_CANTCONVERTVALUE;
    }
  }
  if (binding.dwPart & DBPART_LENGTH) std::memcpy(row + binding.obLength, &length, sizeof(DBLENGTH));
  if (binding.dwPart & DBPART_STATUS) std::memcpy(row + binding.obStatus, &status, sizeof status);
  return status;
}

namespace {
// Windows-1252 bytes 0x80..0x9F (0 where the code page has no character).
constexpr char16_t cp1252_high[32] = {0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                      0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
}  // namespace

bool tds_narrow(std::u16string_view text, unsigned code_page, std::string& out, std::u16string* unheld) {
  out.clear();
  out.reserve(text.size());
  bool ascii = true;
  for (char16_t u : text) ascii = ascii && u < 0x80;
  if (ascii) {
    for (char16_t u : text) out += static_cast<char>(u);
    return true;
  }
  if (code_page == 1252) {
    for (std::size_t at = 0; at < text.size(); ++at) {
      const char16_t u = text[at];
      if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
        out += static_cast<char>(u);
        continue;
      }
      int found = -1;
      for (int i = 0; i < 32 && found < 0; ++i)
        if (cp1252_high[i] == u) found = i;
      if (found < 0) {
        if (unheld) *unheld = text.substr(at, u >= 0xD800 && u < 0xDC00 && at + 1 < text.size() ? 2 : 1);
        return false;
      }
      out += static_cast<char>(0x80 + found);
    }
    return true;
  }
  // Bytes that read back as the text: a character that becomes '?' or a near
  // one on the way does not.
  const std::wstring wide = utf16_to_wide(text);
  const std::optional<std::string> bytes = kernel::wide_to_multibyte(code_page, wide);
  if (bytes && kernel::multibyte_to_wide(code_page, *bytes) == wide) {
    out = *bytes;
    return true;
  }
  if (unheld) {
    unheld->clear();
    for (wchar_t c : wide) {
      const std::wstring one(1, c);
      const std::optional<std::string> b = kernel::wide_to_multibyte(code_page, one);
      if (!b || kernel::multibyte_to_wide(code_page, *b) != one) {
        *unheld = wide_to_utf16(one);
        break;
      }
    }
  }
  return false;
}

std::u16string tds_widen(std::string_view bytes, unsigned code_page) {
  std::u16string out;
  out.reserve(bytes.size());
  if (code_page == 1252) {
    for (char c : bytes) {
      auto b = static_cast<unsigned char>(c);
      out += b >= 0x80 && b < 0xA0 ? (cp1252_high[b - 0x80] ? cp1252_high[b - 0x80] : u'\uFFFD')
                                   : static_cast<char16_t>(b);
    }
    return out;
  }
  return wide_to_utf16(kernel::multibyte_to_wide(code_page, bytes).value_or(std::wstring()));
}

std::wstring tds_unheld_text(std::wstring_view value, std::wstring_view column, unsigned code_page,
                             std::u16string_view unheld) {
  return L"The value '" + std::wstring(value) + L"' of column '" + std::wstring(column) +
         L"' has a character that the column's code page (" + std::to_wstring(code_page) + L") cannot hold: '" +
         utf16_to_wide(unheld) + L"'.";
}

namespace {

// Reads exactly n digits at i.
bool digits(std::u16string_view t, std::size_t& i, int n, int& out) {
  out = 0;
  for (int k = 0; k < n; ++k, ++i) {
    if (i >= t.size() || t[i] < u'0' || t[i] > u'9') return false;
    out = out * 10 + (t[i] - u'0');
  }
  return true;
}

bool read_time(std::u16string_view t, std::size_t& i, DBTIMESTAMP& out) {
  int h, m, sec;
  if (!digits(t, i, 2, h) || i >= t.size() || t[i++] != u':' || !digits(t, i, 2, m) || i >= t.size() ||
      t[i++] != u':' || !digits(t, i, 2, sec))
    return false;
  if (h > 23 || m > 59 || sec > 59) return false;
  unsigned long fraction = 0;
  if (i < t.size() && t[i] == u'.') {
    ++i;
    int n = 0;
    for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i, ++n)
      if (n < 9) fraction = fraction * 10 + (t[i] - u'0');
    if (n == 0) return false;
    for (; n < 9; ++n) fraction *= 10;
  }
  out.hour = static_cast<USHORT>(h);
  out.minute = static_cast<USHORT>(m);
  out.second = static_cast<USHORT>(sec);
  out.fraction = static_cast<ULONG>(fraction);
  return true;
}

int hex_digit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

}  // namespace

bool tds_timestamp_from_text(std::u16string_view t, DBTIMESTAMP& out) {
  while (!t.empty() && t.front() == u' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == u' ') t.remove_suffix(1);
  out = DBTIMESTAMP{1900, 1, 1, 0, 0, 0, 0};
  std::size_t i = 0;
  if (t.size() >= 3 && t[2] == u':') return read_time(t, i, out) && i == t.size();
  int y, m, d;
  if (!digits(t, i, 4, y) || i >= t.size() || t[i++] != u'-' || !digits(t, i, 2, m) || i >= t.size() ||
      t[i++] != u'-' || !digits(t, i, 2, d))
    return false;
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > days_in_month(y, m)) return false;
  out.year = static_cast<SHORT>(y);
  out.month = static_cast<USHORT>(m);
  out.day = static_cast<USHORT>(d);
  if (i == t.size()) return true;
  if (t[i] != u' ' && t[i] != u'T') return false;
  ++i;
  return read_time(t, i, out) && i == t.size();
}

HRESULT tds_number_from_text(std::string_view text, DBTYPE type, BYTE precision, BYTE scale, DB_NUMERIC& out) {
  switch (type) {
    case DBTYPE_NUMERIC: return numeric_from_text(text, precision, scale, &out);
    case DBTYPE_CY: return numeric_from_text(text, 19, 4, &out);
    case DBTYPE_BOOL: {
      const HRESULT hr = numeric_from_text(text, 38, 0, &out);
      if (hr != DB_E_CANTCONVERTVALUE) return hr;
      std::string word;
      for (char c : text)
        if (c != ' ') word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (word != "true" && word != "false") return hr;
      return numeric_from_text(word == "true" ? "1" : "0", 38, 0, &out);
    }
    default:
      if (text.find_first_of(".eE") != std::string_view::npos) return DB_E_CANTCONVERTVALUE;
      return numeric_from_text(text, 38, 0, &out);
  }
}

bool tds_guid_from_text(std::u16string_view t, GUID& out) {
  if (t.size() == 38 && t.front() == u'{' && t.back() == u'}') t = t.substr(1, 36);
  if (t.size() != 36) return false;
  BYTE b[16];
  int n = 0;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (t[i] != u'-') return false;
      continue;
    }
    int hi = hex_digit(t[i]), lo = i + 1 < t.size() ? hex_digit(t[i + 1]) : -1;
    if (hi < 0 || lo < 0) return false;
    b[n++] = static_cast<BYTE>(hi * 16 + lo);
    ++i;
  }
  out.Data1 = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
  out.Data2 = static_cast<std::uint16_t>((b[4] << 8) | b[5]);
  out.Data3 = static_cast<std::uint16_t>((b[6] << 8) | b[7]);
  for (int k = 0; k < 8; ++k) out.Data4[k] = b[8 + k];
  return true;
}
