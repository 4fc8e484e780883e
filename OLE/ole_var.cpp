#include "OLE/ole_var.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "OLE/ole_date.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

constexpr VARTYPE byte_array = VT_ARRAY | VT_UI1;
// Binary text shows at most this many bytes.
constexpr std::size_t max_binary_text_bytes = 0x50000;

std::string with_points(std::string text) {
  for (char& c : text)
    if (c == ',') c = '.';
  return text;
}

// Number text as the C library and the English readers take it. A decimal
// comma becomes a point ("1,5" is 1.5). A text that cannot hold a decimal
// comma, because it has several commas or a point besides, is read with its
// thousands grouping ("1,234.5" and "1.234,5" are 1234.5) rather than cut at
// its second point; anything else is left to the plain rule.
std::string number_text(const std::string& text) {
  const auto commas = std::count(text.begin(), text.end(), ',');
  const auto points = std::count(text.begin(), text.end(), '.');
  if (commas == 0 || (commas == 1 && points == 0)) return with_points(text);
  auto grouped = [](const std::string& candidate) {
    parsed_number number;
    return SUCCEEDED(parse_number(std::wstring(candidate.begin(), candidate.end()), &number));
  };
  auto without = [](std::string candidate, char grouping) {
    candidate.erase(std::remove(candidate.begin(), candidate.end(), grouping), candidate.end());
    return candidate;
  };
  if (grouped(text)) return without(text, ',');
  std::string swapped = text;  // the decimal comma with points grouping the thousands
  for (char& c : swapped) c = c == ',' ? '.' : c == '.' ? ',' : c;
  if (grouped(swapped)) return without(swapped, ',');
  return with_points(text);
}

// The integer types of 32 bits or fewer.
bool is_narrow_integer_type(VARTYPE vt) {
  __int128 low, high;
  return vt != VT_I8 && vt != VT_UI8 && integer_type_range(vt, &low, &high);
}

// Stores a whole number that fits the integer type vt.
void set_integer(VARIANT& v, VARTYPE vt, long long value) {
  switch (vt) {
    case VT_I1: v.cVal = static_cast<CHAR>(value); break;
    case VT_UI1: v.bVal = static_cast<BYTE>(value); break;
    case VT_I2: v.iVal = static_cast<SHORT>(value); break;
    case VT_UI2: v.uiVal = static_cast<USHORT>(value); break;
    case VT_I4: v.lVal = static_cast<LONG>(value); break;
    case VT_INT: v.intVal = static_cast<INT>(value); break;
    case VT_UI4: v.ulVal = static_cast<ULONG>(value); break;
    default: v.uintVal = static_cast<UINT>(value); break;
  }
  v.vt = vt;
}

// The C library's reading of a leading whole number (0 when there is none).
long long leading_integer(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

// The leading whole number of a text for the integer type vt (0 when there is
// none). A number beyond the type's range is not wrapped into it: it throws, as
// change_type does on overflow.
__int128 leading_integer_of_type(const std::string& text, VARTYPE vt) {
  const char* start = text.c_str();
  while (*start == ' ' || (*start >= '\t' && *start <= '\r')) ++start;
  errno = 0;
  __int128 value = *start == '-' ? static_cast<__int128>(std::strtoll(start, nullptr, 10))
                                 : static_cast<__int128>(std::strtoull(start, nullptr, 10));
  __int128 low = 0, high = 0;
  integer_type_range(vt, &low, &high);
  if (errno == ERANGE || value < low || value > high) throw ole_cast_exception();
  return value;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ole_is_binary_type(VARTYPE vt) { return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == byte_array; }

// ---- construction ------------------------------------------------------------

ole_variant::ole_variant() {
  tk_trace(1, "ole_variant::ctor");
  VariantInit(&value_);
}

ole_variant::ole_variant(const SYSTEMTIME& parts) {
  tk_trace(1, "Construct ole_variant from SYSTEMTIME");
  VariantInit(&value_);
  set_date(parts);
}

ole_variant::ole_variant(const CY& value) {
  tk_trace(1, "Construct ole_variant from CY");
  VariantInit(&value_);
  value_.cyVal = value;
  value_.vt = VT_CY;
}

ole_variant::ole_variant(const DECIMAL& value) {
  tk_trace(1, "Construct ole_variant from DECIMAL");
  VariantInit(&value_);
  value_.decVal = value;
  value_.vt = VT_DECIMAL;
}

ole_variant::ole_variant(BSTR text) {
  tk_trace(1, "Construct ole_variant from BSTR");
  VariantInit(&value_);
  attach_wstring(bstr_text(text));
}

ole_variant::ole_variant(bool value) {
  tk_trace(1, "ole_variant::ctor from bool(%d)", value ? 1 : 0);
  VariantInit(&value_);
  value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  value_.vt = VT_BOOL;
}

ole_variant::ole_variant(char value) : ole_variant(static_cast<signed char>(value)) {}

ole_variant::ole_variant(signed char value) {
  tk_trace(1, "ole_variant::ctor from char(%d)", value);
  VariantInit(&value_);
  value_.cVal = static_cast<CHAR>(value);
  value_.vt = VT_I1;
}

ole_variant::ole_variant(unsigned char value) {
  tk_trace(1, "ole_variant::ctor from byte(%u)", value);
  VariantInit(&value_);
  value_.bVal = value;
  value_.vt = VT_UI1;
}

ole_variant::ole_variant(short value) {
  tk_trace(1, "ole_variant::ctor from short(%d)", value);
  VariantInit(&value_);
  value_.iVal = value;
  value_.vt = VT_I2;
}

ole_variant::ole_variant(unsigned short value) {
  tk_trace(1, "ole_variant::ctor from unsigned short(%u)", value);
  VariantInit(&value_);
  value_.uiVal = value;
  value_.vt = VT_UI2;
}

ole_variant::ole_variant(int value) {
  tk_trace(1, "ole_variant::ctor from int(%d)", value);
  VariantInit(&value_);
  value_.lVal = value;
  value_.vt = VT_I4;
}

ole_variant::ole_variant(unsigned int value) {
  tk_trace(1, "ole_variant::ctor from unsigned int(%u)", value);
  VariantInit(&value_);
  value_.ulVal = value;
  value_.vt = VT_UI4;
}

ole_variant::ole_variant(long value) : ole_variant(static_cast<long long>(value)) {}
ole_variant::ole_variant(unsigned long value) : ole_variant(static_cast<unsigned long long>(value)) {}

ole_variant::ole_variant(long long value) {
  tk_trace(1, "ole_variant::ctor from __int64(%I64d)", static_cast<std::int64_t>(value));
  VariantInit(&value_);
  set_i8(value);
}

ole_variant::ole_variant(unsigned long long value) {
  tk_trace(1, "ole_variant::ctor from unsigned __int64(%I64u)", static_cast<std::uint64_t>(value));
  VariantInit(&value_);
  set_ui8(value);
}

ole_variant::ole_variant(float value) {
  tk_trace(1, "ole_variant::ctor from float");
  VariantInit(&value_);
  value_.fltVal = value;
  value_.vt = VT_R4;
}

ole_variant::ole_variant(double value) {
  tk_trace(1, "ole_variant::ctor from double");
  VariantInit(&value_);
  value_.dblVal = value;
  value_.vt = VT_R8;
}

ole_variant::ole_variant(const std::string& text) {
  tk_trace(1, "ole_variant::ctor from string");
  VariantInit(&value_);
  attach_string(text);
}

ole_variant::ole_variant(const char* text) : ole_variant(std::string(text ? text : "")) {}

ole_variant::ole_variant(const std::wstring& text) {
  tk_trace(1, "ole_variant::ctor from wstring");
  VariantInit(&value_);
  attach_wstring(text);
}

ole_variant::ole_variant(const wchar_t* text) : ole_variant(std::wstring(text ? text : L"")) {}

ole_variant::ole_variant(const std::vector<BYTE>& bytes) {
  tk_trace(1, "ole_variant::ctor from binary(%d)", static_cast<int>(bytes.size()));
  VariantInit(&value_);
  attach_binary(bytes);
}

ole_variant::ole_variant(const VARIANT& value) {
  tk_trace(1, "Construct ole_variant from VARIANT");
  VariantInit(&value_);
  attach_variant(value);
}

ole_variant::ole_variant(const ole_variant& other) {
  tk_trace(1, "ole_variant::ctor from ole_variant");
  VariantInit(&value_);
  copy_from(other);
}

ole_variant::ole_variant(ole_variant&& other) noexcept
    : i8_(other.i8_), ui8_(other.ui8_), date_(other.date_), value_(other.value_) {
  VariantInit(&other.value_);
}

ole_variant::~ole_variant() { clear(); }

ole_variant& ole_variant::operator=(const ole_variant& other) {
  if (this != &other) {
    clear();
    copy_from(other);
  }
  return *this;
}

ole_variant& ole_variant::operator=(ole_variant&& other) noexcept {
  if (this != &other) {
    clear();
    i8_ = other.i8_;
    ui8_ = other.ui8_;
    date_ = other.date_;
    value_ = other.value_;
    VariantInit(&other.value_);
  }
  return *this;
}

void ole_variant::copy_from(const ole_variant& other) {
  i8_ = other.i8_;
  ui8_ = other.ui8_;
  date_ = other.date_;
  if ((other.value_.vt & VT_ARRAY) && !(other.value_.vt & VT_BYREF)) {
    // A byte array is duplicated; a missing one leaves the value empty. An
    // array held by reference stays its owner's: the copy refers to it too.
    if (!other.value_.parray) return;
    SAFEARRAY* copy = nullptr;
    if (FAILED(SafeArrayCopy(other.value_.parray, &copy)) || !copy) {
      value_.vt = VT_ERROR;
      return;
    }
    value_.parray = copy;
    value_.vt = byte_array;
    return;
  }
  if (FAILED(VariantCopy(&value_, &other.value_))) value_.vt = VT_ERROR;
}

void ole_variant::clear() {
  // Arrays are ours to destroy even while someone forgot to unlock them.
  if (((value_.vt & VT_ARRAY) || value_.vt == VT_SAFEARRAY) && !(value_.vt & VT_BYREF)) {
    if (value_.parray) {
      while (value_.parray->cLocks) SafeArrayUnlock(value_.parray);
      SafeArrayDestroy(value_.parray);
    }
    VariantInit(&value_);
  }
  if (FAILED(VariantClear(&value_))) VariantInit(&value_);
  i8_ = 0;
  ui8_ = 0;
  date_ = SYSTEMTIME{};
}

void ole_variant::set_i8(std::int64_t value) {
  clear();
  i8_ = value;
  value_.llVal = value;
  value_.vt = VT_I8;
}

void ole_variant::set_ui8(std::uint64_t value) {
  clear();
  ui8_ = value;
  value_.ullVal = value;
  value_.vt = VT_UI8;
}

void ole_variant::set_date(const SYSTEMTIME& parts) {
  clear();
  date_ = parts;
  value_.vt = VT_DATE;
  if (!SystemTimeToVariantTime(&parts, &value_.date)) {
    value_.date = 0;
    tk_trace(2, "Failed to convert SYSTEMTIME->VARIANT");
  }
}

void ole_variant::sync_caches() {
  if (value_.vt == VT_I8) {
    i8_ = value_.llVal;
  } else if (value_.vt == VT_UI8) {
    ui8_ = value_.ullVal;
  } else if (value_.vt == VT_DATE) {
    date_ = SYSTEMTIME{};
    if (!VariantTimeToSystemTime(value_.date, &date_)) tk_trace(2, "Failed to convert VARIANT->SYSTEMTIME");
  }
}

void ole_variant::attach_variant(const VARIANT& value) {
  clear();
  if (FAILED(VariantCopy(&value_, &value))) {
    value_.vt = VT_ERROR;
    return;
  }
  sync_caches();
}

void ole_variant::attach_string(const std::string& text) {
  attach_text(tk_from_narrow(text, CP_THREAD_ACP), 807);
}

void ole_variant::attach_wstring(const std::wstring& text) { attach_text(text, 826); }

void ole_variant::attach_text(const std::wstring& text, int check_line) {
  BSTR fresh = bstr_from(text);
  if (!fresh) throw tk_mail_assertion("ole_var", check_line);
  clear();
  value_.bstrVal = fresh;
  value_.vt = VT_BSTR;
}

void ole_variant::attach_binary(const std::vector<BYTE>& bytes) { attach_binary(bytes.size(), bytes.data()); }

void ole_variant::attach_binary(std::size_t length, const BYTE* bytes) {
  tk_trace(1, "ole_variant::attach_binary(2)");
  if (!bytes && length) throw tk_mail_assertion("ole_var", 730);
  if (length > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw tk_mail_assertion("ole_var", 759);
  allocate_safe_array(static_cast<int>(length));
  if (length) std::memcpy(value_.parray->pvData, bytes, length);
}

void ole_variant::allocate_safe_array(int size) {
  tk_trace(1, "ole_variant::allocate_safe_array (size=%d)", size);
  if (value_.vt == byte_array && value_.parray && SafeArrayGetDim(value_.parray) == 1) {
    if (size < 0) throw tk_mail_assertion("ole_var", 771);
    if (value_.parray->rgsabound[0].cElements == static_cast<ULONG>(size)) return;
    tk_trace(1, "Redimension array");
    SAFEARRAYBOUND bound{static_cast<ULONG>(size), 0};
    if (FAILED(SafeArrayRedim(value_.parray, &bound))) throw tk_mail_assertion("ole_var", 771);
    return;
  }
  clear();
  SAFEARRAY* array = size < 0 ? nullptr : SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(size));
  if (!array) throw tk_mail_assertion("ole_var", 759);
  value_.parray = array;
  value_.vt = byte_array;
}

bool ole_variant::is_binary() const { return value_.vt == byte_array && value_.parray; }

std::vector<BYTE> ole_variant::get_binary() const {
  if (!is_binary()) return {};
  const auto* data = static_cast<const BYTE*>(value_.parray->pvData);
  return std::vector<BYTE>(data, data + value_.parray->rgsabound[0].cElements);
}

// ---- text ----------------------------------------------------------------------

std::string ole_variant::to_string() const {
  tk_trace(1, "ole_variant::to_string (vt=%08X)", static_cast<unsigned>(value_.vt));
  const VARIANT& v = value_;
  switch (v.vt) {
    case VT_I1: return tk_format("%d", v.cVal);
    case VT_I2: return tk_format("%d", v.iVal);
    case VT_I4: return tk_format("%ld", v.lVal);
    case VT_INT: return tk_format("%d", v.intVal);
    case VT_UI1: return tk_format("%u", v.bVal);
    case VT_UI2: return tk_format("%u", v.uiVal);
    case VT_UI4: return tk_format("%lu", v.ulVal);
    case VT_UINT: return tk_format("%u", v.uintVal);
    case VT_I8: return tk_format("%I64d", i8_);
    case VT_UI8: return tk_format("%I64u", ui8_);
    case VT_R4: return tk_format("%.6e", static_cast<double>(v.fltVal));
    case VT_R8: return tk_format_double_e(v.dblVal, 15);
    case VT_CY: {
      VARIANT text;
      VariantInit(&text);
      if (FAILED(VariantChangeType(&text, &v, 0, VT_BSTR))) return std::string();
      std::string result = with_points(tk_to_narrow(bstr_text(text.bstrVal), CP_THREAD_ACP));
      VariantClear(&text);
      return result;
    }
    case VT_DECIMAL: {
      BSTR text = nullptr;
      if (FAILED(VarBstrFromDec(&v.decVal, LOCALE_USER_DEFAULT, 0, &text))) return std::string();
      std::string result = with_points(tk_to_narrow(bstr_text(text), CP_THREAD_ACP));
      SysFreeString(text);
      return result;
    }
    case VT_DATE: return ole_date(date_).to_string();
    case VT_BSTR: return tk_to_narrow(bstr_text(v.bstrVal), CP_THREAD_ACP);
    case VT_BOOL:
      if (ole_bool_mapping::exists() && ole_bool_mapping::instance().get_mode() == 1) {
        tk_trace(1, "Mapping BOOL like MS!");
        return v.boolVal == VARIANT_TRUE ? "-1" : "0";
      }
      tk_trace(1, "Mapping BOOL like ANSI!");
      return v.boolVal == VARIANT_TRUE ? "1" : "0";
    case byte_array: {
      if (!v.parray || SafeArrayGetDim(v.parray) != 1) return std::string();
      const std::size_t count = std::min<std::size_t>(v.parray->rgsabound[0].cElements, max_binary_text_bytes);
      if (count == 0) return std::string();
      return "0x" + tk_bin_to_hex(v.parray->pvData, count);
    }
    default:
      return std::string();
  }
}

std::wstring ole_variant::to_wstring() const {
  if (value_.vt == VT_BSTR) return bstr_text(value_.bstrVal);
  return tk_from_narrow(to_string(), CP_THREAD_ACP);
}

void ole_variant::from_wstring(const std::wstring& text, VARTYPE vt) {
  if (vt == VT_BSTR) {
    attach_wstring(text);
    return;
  }
  from_string(tk_to_narrow(text, CP_THREAD_ACP), vt);
}

void ole_variant::from_string(const std::string& text, VARTYPE vt) {
  tk_trace(1, "ole_variant::from_string('%s', 0x%08X)", text.c_str(), static_cast<unsigned>(vt));
  if (text.empty() && vt != VT_BSTR) {
    clear();
    return;
  }
  switch (vt) {
    case VT_I1: case VT_I2: case VT_I4: case VT_UI1: case VT_UI2: case VT_UI4: {
      const auto value = static_cast<long long>(leading_integer_of_type(text, vt));
      clear();
      set_integer(value_, vt, value);
      return;
    }
    case VT_I8:
      set_i8(static_cast<std::int64_t>(leading_integer_of_type(text, vt)));
      return;
    case VT_UI8:
      set_ui8(static_cast<std::uint64_t>(leading_integer_of_type(text, vt)));
      return;
    case VT_R4:
    case VT_R8: {
      const double value = tk_strtod(number_text(text).c_str());
      clear();
      if (vt == VT_R4)
        value_.fltVal = static_cast<float>(value);
      else
        value_.dblVal = value;
      value_.vt = vt;
      return;
    }
    case VT_CY:
    case VT_DECIMAL: {
      const std::wstring wide = tk_from_narrow(number_text(text), CP_THREAD_ACP);
      VARIANT result;
      VariantInit(&result);
      HRESULT hr = vt == VT_CY ? VarCyFromStr(wide.c_str(), LOCALE_EN_US, 0, &result.cyVal)
                               : VarDecFromStr(wide.c_str(), LOCALE_EN_US, 0, &result.decVal);
      clear();
      if (FAILED(hr)) {
        tk_trace(3, vt == VT_CY ? "VarCyFromStr failed: %08X" : "VarDecFromStr failed: %08X",
                 static_cast<unsigned>(hr));
        return;
      }
      value_ = result;
      value_.vt = vt;
      return;
    }
    case VT_DATE: {
      const ole_date date(text);
      if (date.is_valid())
        set_date(date.get_systemtime());
      else
        clear();
      return;
    }
    case VT_BOOL: {
      bool value;
      if (tk_compare_nocase(text, "yes") == 0 || tk_compare_nocase(text, "true") == 0)
        value = true;
      else if (tk_compare_nocase(text, "no") == 0 || tk_compare_nocase(text, "false") == 0)
        value = false;
      else
        value = leading_integer(text) != 0;
      clear();
      value_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
      value_.vt = VT_BOOL;
      return;
    }
    case VT_BLOB:
    case byte_array: {
      if (text.size() % 2) {
        tk_trace(2, "Incorrect BLOB (size is odd)");
        clear();
        return;
      }
      std::size_t first = 0;
      if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) first = 2;
      std::vector<BYTE> bytes;
      bytes.reserve((text.size() - first) / 2);
      for (std::size_t i = first; i < text.size(); i += 2) {
        const int high = hex_digit(text[i]), low = hex_digit(text[i + 1]);
        if (high < 0 || low < 0) {
          tk_trace(2, "Incorrect BLOB (not hexadecimal)");
          clear();
          return;
        }
        bytes.push_back(static_cast<BYTE>(high * 16 + low));
      }
      attach_binary(bytes);
      return;
    }
    default: {
      attach_string(text);
      if (FAILED(VariantChangeType(&value_, &value_, 0, vt))) throw ole_type_exception();
      sync_caches();
      return;
    }
  }
}

// ---- type change ---------------------------------------------------------------

std::vector<BYTE> ole_variant::own_bytes() const {
  const VARIANT& v = value_;
  auto bytes_of = [](const void* data, std::size_t size) {
    const auto* p = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(p, p + size);
  };
  switch (v.vt) {
    case VT_I1: case VT_UI1: return bytes_of(&v.bVal, 1);
    case VT_I2: case VT_UI2: case VT_BOOL: return bytes_of(&v.iVal, 2);
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return bytes_of(&v.lVal, 4);
    case VT_I8: return bytes_of(&i8_, 8);
    case VT_UI8: return bytes_of(&ui8_, 8);
    case VT_R8: case VT_CY: case VT_DATE: return bytes_of(&v.dblVal, 8);
    case VT_DECIMAL: return bytes_of(&v.decVal, 16);
    case VT_BSTR: {
      const std::string text = tk_to_narrow(bstr_text(v.bstrVal), CP_THREAD_ACP);
      return std::vector<BYTE>(text.begin(), text.end());
    }
    default:
      throw ole_cast_exception();
  }
}

void ole_variant::change_type(VARTYPE vt) {
  const VARTYPE old = value_.vt;
  tk_trace(1, "ole_variant::change_type(old=%d,new=%d)", old, vt);
  if (old == vt || old == VT_EMPTY || old == VT_NULL) return;
  if (ole_is_binary_type(vt) && ole_is_binary_type(old)) return;

  // From the 64-bit cache.
  if (old == VT_I8 || old == VT_UI8) {
    const bool is_signed = old == VT_I8;
    const __int128 value = is_signed ? static_cast<__int128>(i8_) : static_cast<__int128>(ui8_);
    if (is_narrow_integer_type(vt)) {
      __int128 low = 0, high = 0;
      integer_type_range(vt, &low, &high);
      if (value < low || value > high) throw ole_cast_exception();
      clear();
      set_integer(value_, vt, static_cast<long long>(value));
      return;
    }
    switch (vt) {
      case VT_BOOL:
        clear();
        value_.boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        value_.vt = VT_BOOL;
        return;
      case VT_R4:
      case VT_R8: {
        const double real = static_cast<double>(value);
        clear();
        if (vt == VT_R4)
          value_.fltVal = static_cast<float>(real);
        else
          value_.dblVal = real;
        value_.vt = vt;
        return;
      }
      case VT_I8:
        if (value > std::numeric_limits<std::int64_t>::max()) throw ole_cast_exception();
        set_i8(static_cast<std::int64_t>(value));
        return;
      case VT_UI8:
        if (value < 0) throw ole_cast_exception();
        set_ui8(static_cast<std::uint64_t>(value));
        return;
      case VT_BSTR:
        attach_string(is_signed ? tk_format("%I64d", i8_) : tk_format("%I64u", ui8_));
        return;
      case VT_CY: {
        const __int128 units = value * 10000;
        if (units < std::numeric_limits<std::int64_t>::min() || units > std::numeric_limits<std::int64_t>::max())
          throw ole_cast_exception();
        clear();
        value_.cyVal.int64 = static_cast<std::int64_t>(units);
        value_.vt = VT_CY;
        return;
      }
      case VT_DECIMAL: {
        DECIMAL d{};
        if (is_signed)
          VarDecFromI8(i8_, &d);
        else
          VarDecFromUI8(ui8_, &d);
        clear();
        value_.decVal = d;
        value_.vt = VT_DECIMAL;
        return;
      }
      default:
        break;  // the platform's change below
    }
  }

  // To the 64-bit cache.
  if ((vt == VT_I8 || vt == VT_UI8) && old != VT_BSTR && old != VT_DATE) {
    __int128 value = 0;
    bool done = true;
    switch (old) {
      case VT_I1: value = value_.cVal; break;
      case VT_UI1: value = value_.bVal; break;
      case VT_I2: value = value_.iVal; break;
      case VT_UI2: value = value_.uiVal; break;
      case VT_I4: value = value_.lVal; break;
      case VT_INT: value = value_.intVal; break;
      case VT_UI4: value = value_.ulVal; break;
      case VT_UINT: value = value_.uintVal; break;
      case VT_BOOL: value = value_.boolVal; break;
      case VT_R4:
      case VT_R8: {
        const double real = std::trunc(old == VT_R4 ? value_.fltVal : value_.dblVal);
        if (!(std::fabs(real) < 18446744073709551616.0)) throw ole_cast_exception();
        value = static_cast<__int128>(real);
        break;
      }
      case VT_CY:
      case VT_DECIMAL: {
        // Currency (a decimal first becomes currency) in whole units, rounded
        // half away from zero.
        CY currency = value_.cyVal;
        if (old == VT_DECIMAL && FAILED(VarCyFromDec(&value_.decVal, &currency))) {
          done = false;  // the platform's change below
          break;
        }
        value = currency.int64 / 10000;
        const std::int64_t rest = currency.int64 % 10000;
        if (rest >= 5000) ++value;
        if (rest <= -5000) --value;
        break;
      }
      default:
        done = false;
        break;
    }
    if (done) {
      if (vt == VT_I8) {
        if (value < std::numeric_limits<std::int64_t>::min() || value > std::numeric_limits<std::int64_t>::max())
          throw ole_cast_exception();
        set_i8(static_cast<std::int64_t>(value));
      } else {
        if (value < 0 || value > static_cast<__int128>(std::numeric_limits<std::uint64_t>::max()))
          throw ole_cast_exception();
        set_ui8(static_cast<std::uint64_t>(value));
      }
      return;
    }
  }

  if (old == VT_BSTR && vt == VT_DATE && SysStringLen(value_.bstrVal) == 19) {
    ole_variant date;
    date.from_wstring(bstr_text(value_.bstrVal), VT_DATE);
    *this = std::move(date);
    return;
  }
  if (old == VT_DATE && vt == VT_BSTR) {
    attach_string(ole_date(date_).to_string());
    return;
  }
  if (ole_is_binary_type(vt)) {
    attach_binary(own_bytes());
    return;
  }
  if (FAILED(VariantChangeType(&value_, &value_, 0, vt))) throw ole_cast_exception();
  sync_caches();
}

long ole_variant::to_long() const {
  tk_trace(1, "ole_variant::to_long(vt=%08X)", static_cast<unsigned>(value_.vt));
  switch (value_.vt) {
    case VT_EMPTY: case VT_NULL: return 0;
    case VT_I2: return value_.iVal;
    case VT_BOOL: return value_.boolVal;
    case VT_I4: return value_.lVal;
    case VT_UI4: return static_cast<LONG>(value_.ulVal);
    case VT_R4: return static_cast<long>(std::trunc(value_.fltVal));
    case VT_R8: return static_cast<long>(std::trunc(value_.dblVal));
    case VT_DECIMAL: {
      LONG result = 0;
      HRESULT hr = VarI4FromDec(&value_.decVal, &result);
      tk_trace(1, "from DECIMAL, hr=%08X", static_cast<unsigned>(hr));
      return FAILED(hr) ? 0 : result;
    }
    case VT_I1: return value_.cVal;
    case VT_UI1: return value_.bVal;
    case VT_UI2: return value_.uiVal;
    case VT_I8: return static_cast<LONG>(static_cast<std::uint32_t>(i8_));
    case VT_UI8: return static_cast<LONG>(static_cast<std::uint32_t>(ui8_));
    default: throw tk_mail_assertion("ole_var", 478);
  }
}

double ole_variant::to_double() const {
  tk_trace(1, "ole_variant::to_double(%08X)", static_cast<unsigned>(value_.vt));
  switch (value_.vt) {
    case VT_EMPTY: case VT_NULL: return 0.0;
    case VT_I2: return value_.iVal;
    case VT_BOOL: return value_.boolVal;
    case VT_I1: return value_.cVal;
    case VT_I4: return value_.lVal;
    case VT_R4: return value_.fltVal;
    case VT_R8: return value_.dblVal;
    case VT_CY: {
      double result = 0;
      HRESULT hr = VarR8FromCy(value_.cyVal, &result);
      tk_trace(1, "from CURRECY: res=%lg, hr=%08X", result, static_cast<unsigned>(hr));
      return result;
    }
    case VT_DECIMAL: {
      double result = 0;
      HRESULT hr = VarR8FromDec(&value_.decVal, &result);
      tk_trace(1, "from DECIMAL: res=%lg, hr=%08X", result, static_cast<unsigned>(hr));
      return result;
    }
    case VT_UI1: return value_.bVal;
    case VT_UI2: return value_.uiVal;
    case VT_UI4: return static_cast<double>(value_.ulVal);
    case VT_I8: return static_cast<double>(i8_);
    case VT_UI8: return static_cast<double>(ui8_);
    default: throw tk_mail_assertion("ole_var", 519);
  }
}

bool ole_variant::to_bool() const {
  tk_trace(1, "ole_variant::to_bool(vt=%08X)", static_cast<unsigned>(value_.vt));
  switch (value_.vt) {
    case VT_EMPTY: case VT_NULL: return false;
    case VT_I2: return value_.iVal != 0;
    case VT_UI2: return value_.uiVal != 0;
    case VT_I4: return value_.lVal != 0;
    case VT_UI4: return value_.ulVal != 0;
    case VT_I1: return value_.cVal != 0;
    case VT_UI1: return value_.bVal != 0;
    case VT_I8: return i8_ != 0;
    case VT_UI8: return ui8_ != 0;
    case VT_R4: return !(value_.fltVal == 0);
    case VT_R8: return !(value_.dblVal == 0);
    case VT_BOOL: return value_.boolVal == VARIANT_TRUE;
    case VT_DECIMAL: return to_long() != 0;
    default: throw tk_mail_assertion("ole_var", 446);
  }
}

int ole_variant::get_bytes(const BYTE** data) const {
  tk_trace(1, "ole_variant::get_bytes(%d)", static_cast<int>(value_.vt));
  if (value_.vt == VT_EMPTY || value_.vt == VT_NULL) return 0;
  if (value_.vt != byte_array || !value_.parray || !data) throw tk_mail_assertion("ole_var", 664);
  void* bytes = nullptr;
  SafeArrayAccessData(value_.parray, &bytes);
  SafeArrayUnaccessData(value_.parray);
  *data = static_cast<const BYTE*>(bytes);
  return get_safe_array_size(value_.parray);
}

int get_safe_array_size(const SAFEARRAY* array) {
  tk_trace(1, "get_safe_array_size");
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  tk_trace(1, "lower=%d, upper=%d", static_cast<int>(lower), static_cast<int>(upper));
  return upper < lower ? 0 : static_cast<int>(upper - lower + 1);
}
