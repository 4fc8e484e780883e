#include "platform/oledb/data_convert.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/com/com_runtime.h"
#include "platform/oleaut/numeric.h"
#include "platform/oledb/text16.h"

namespace {

using u128 = unsigned __int128;

u128 pow10(int n) {
  u128 v = 1;
  while (n-- > 0) v *= 10;
  return v;
}

void store(u128 magnitude, bool negative, BYTE precision, BYTE scale, DB_NUMERIC* out) {
  out->precision = precision;
  out->scale = static_cast<signed char>(scale);
  out->sign = negative && magnitude != 0 ? 0 : 1;
  for (int i = 0; i < 16; ++i) {
    out->val[i] = static_cast<BYTE>(magnitude & 0xFF);
    magnitude >>= 8;
  }
}

u128 magnitude_of(const DB_NUMERIC& value) {
  u128 m = 0;
  for (int i = 15; i >= 0; --i) m = (m << 8) | value.val[i];
  return m;
}

class data_convert_object : public com_object<IDataConvert> {
 public:
  HRESULT DataConvert(DBTYPE source_type, DBTYPE target_type, DBLENGTH source_length, DBLENGTH* target_length,
                      const void* source, void* target, DBLENGTH target_max_length, DBSTATUS source_status,
                      DBSTATUS* target_status, BYTE precision, BYTE scale, DBDATACONVERT) override {
    auto status = [&](DBSTATUS s) {
      if (target_status) *target_status = s;
    };
    if (source_status == DBSTATUS_S_ISNULL) {
      status(DBSTATUS_S_ISNULL);
      if (target_length) *target_length = 0;
      return S_OK;
    }
    if (!source || !target) return E_INVALIDARG;
    HRESULT hr = DB_E_UNSUPPORTEDCONVERSION;
    if (target_type == DBTYPE_NUMERIC) {
      if (precision == 0) precision = 38;
      auto* out = static_cast<DB_NUMERIC*>(target);
      switch (source_type) {
        case DBTYPE_R8: hr = numeric_from_double(*static_cast<const double*>(source), precision, scale, out); break;
        case DBTYPE_R4: hr = numeric_from_double(*static_cast<const float*>(source), precision, scale, out); break;
        case DBTYPE_DECIMAL:
          hr = numeric_from_decimal(*static_cast<const DECIMAL*>(source), precision, scale, out);
          break;
        case DBTYPE_NUMERIC:
          hr = numeric_from_text(numeric_to_text(*static_cast<const DB_NUMERIC*>(source)), precision, scale, out);
          break;
        case DBTYPE_I4:
          hr = numeric_from_text(std::to_string(*static_cast<const LONG*>(source)), precision, scale, out);
          break;
        case DBTYPE_I8:
          hr = numeric_from_text(std::to_string(*static_cast<const LONGLONG*>(source)), precision, scale, out);
          break;
        case DBTYPE_WSTR: {
          auto* text = static_cast<const char16_t*>(source);
          std::u16string_view view(text, source_length / 2);
          if (source_length == 0) view = std::u16string_view(text);
          hr = numeric_from_text(utf16_to_utf8(view), precision, scale, out);
          break;
        }
        case DBTYPE_STR: {
          auto* text = static_cast<const char*>(source);
          hr = numeric_from_text(source_length ? std::string_view(text, source_length) : std::string_view(text),
                                 precision, scale, out);
          break;
        }
        default: break;
      }
      if (SUCCEEDED(hr) && target_length) *target_length = sizeof(DB_NUMERIC);
    } else if (target_type == DBTYPE_WSTR && source_type == DBTYPE_NUMERIC) {
      std::u16string text = utf8_to_utf16(numeric_to_text(*static_cast<const DB_NUMERIC*>(source)));
      DBLENGTH bytes = text.size() * 2;
      if (target_length) *target_length = bytes;
      if (target_max_length < bytes + 2) {
        status(DBSTATUS_E_DATAOVERFLOW);
        return DB_E_ERRORSOCCURRED;
      }
      std::memcpy(target, text.c_str(), bytes + 2);
      hr = S_OK;
    }
    status(hr == DB_E_DATAOVERFLOW ? DBSTATUS_E_DATAOVERFLOW
           : FAILED(hr)            ? DBSTATUS_E_CANTCONVERTVALUE
                                   : DBSTATUS_S_OK);
    return hr;
  }
  HRESULT CanConvert(DBTYPE source_type, DBTYPE target_type) override {
    if (target_type == DBTYPE_NUMERIC)
      switch (source_type) {
        case DBTYPE_R8: case DBTYPE_R4: case DBTYPE_DECIMAL: case DBTYPE_NUMERIC: case DBTYPE_I4:
        case DBTYPE_I8: case DBTYPE_WSTR: case DBTYPE_STR:
          return S_OK;
        default: return S_FALSE;
      }
    return target_type == DBTYPE_WSTR && source_type == DBTYPE_NUMERIC ? S_OK : S_FALSE;
  }
  HRESULT GetConversionSize(DBTYPE, DBTYPE target_type, DBLENGTH*, DBLENGTH* target_length, const void*) override {
    if (!target_length) return E_INVALIDARG;
    if (target_type != DBTYPE_NUMERIC) return DB_E_UNSUPPORTEDCONVERSION;
    *target_length = sizeof(DB_NUMERIC);
    return S_OK;
  }

 protected:
  bool query_self(REFIID iid) const override { return iid == IID_IDataConvert; }
};

}  // namespace

HRESULT numeric_from_text(std::string_view text, BYTE precision, BYTE scale, DB_NUMERIC* out) {
  if (!out) return E_INVALIDARG;
  if (precision < 1 || precision > 38 || scale > precision) return DB_E_DATAOVERFLOW;
  std::size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string digits;
  int places = 0;  // digits after the point
  bool point = false, any = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      any = true;
      digits += c;
      if (point) ++places;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any) return DB_E_CANTCONVERTVALUE;
  int exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) exp_negative = text[i++] == '-';
    if (i >= n || text[i] < '0' || text[i] > '9') return DB_E_CANTCONVERTVALUE;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
      if (exponent < 10000) exponent = exponent * 10 + (text[i] - '0');
    if (exp_negative) exponent = -exponent;
  }
  if (i != n) return DB_E_CANTCONVERTVALUE;
  // value = digits * 10^(exponent - places); wanted: an integer of scale places.
  int shift = exponent - places + scale;
  bool round_up = false;
  if (shift < 0) {
    std::size_t drop = static_cast<std::size_t>(-shift);
    if (drop > digits.size()) {
      digits.clear();
    } else {
      round_up = digits[digits.size() - drop] >= '5';
      digits.resize(digits.size() - drop);
    }
    shift = 0;
  }
  std::size_t lead = digits.find_first_not_of('0');
  digits = lead == std::string::npos ? std::string() : digits.substr(lead);
  if (!digits.empty() && digits.size() + static_cast<std::size_t>(shift) > precision) return DB_E_DATAOVERFLOW;
  if (digits.empty()) shift = 0;
  u128 m = 0;
  for (char c : digits) m = m * 10 + static_cast<unsigned>(c - '0');
  m *= pow10(shift);
  if (round_up) ++m;
  if (m >= pow10(precision)) return DB_E_DATAOVERFLOW;
  store(m, negative, precision, scale, out);
  return S_OK;
}

HRESULT numeric_from_decimal(const DECIMAL& value, BYTE precision, BYTE scale, DB_NUMERIC* out) {
  std::wstring text = decimal_to_text(value);
  return numeric_from_text(std::string(text.begin(), text.end()), precision, scale, out);
}

HRESULT numeric_from_double(double value, BYTE precision, BYTE scale, DB_NUMERIC* out) {
  if (!std::isfinite(value)) return DB_E_DATAOVERFLOW;
  char text[64];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  return numeric_from_text(text, precision, scale, out);
}

std::string numeric_to_text(const DB_NUMERIC& value) {
  u128 m = magnitude_of(value);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  int scale = value.scale < 0 ? 0 : value.scale;
  while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
  if (scale > 0) digits.insert(digits.end() - scale, '.');
  if (value.sign == 0 && magnitude_of(value) != 0) digits.insert(digits.begin(), '-');
  return digits;
}

BYTE numeric_digits(const DB_NUMERIC& value) {
  u128 m = magnitude_of(value);
  int n = 0;
  while (m != 0) {
    ++n;
    m /= 10;
  }
  int scale = value.scale < 0 ? 0 : value.scale;
  return static_cast<BYTE>(std::max({n, scale, 1}));
}

void register_oledb_data_convert() {
  static std::once_flag once;
  std::call_once(once, [] {
    register_com_class(CLSID_OLEDB_CONVERSIONLIBRARY, [](REFIID iid, void** out) {
      auto* object = new data_convert_object;
      HRESULT hr = object->QueryInterface(iid, out);
      object->Release();
      return hr;
    });
  });
}
