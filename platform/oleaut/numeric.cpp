#include "platform/oleaut/numeric.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "platform/oleaut/bstr.h"

namespace {

using u128 = unsigned __int128;

constexpr u128 max96 = (static_cast<u128>(1) << 96) - 1;

u128 pow10(int n) {
  u128 result = 1;
  for (int i = 0; i < n; ++i) result *= 10;
  return result;
}

u128 mantissa_of(const DECIMAL& value) { return (static_cast<u128>(value.Hi32) << 64) | value.Lo64; }

DECIMAL make_decimal(bool negative, u128 mantissa, int scale) {
  DECIMAL d{};
  d.scale = static_cast<BYTE>(scale);
  d.sign = negative ? DECIMAL_NEG : 0;
  d.Hi32 = static_cast<std::uint32_t>(mantissa >> 64);
  d.Lo64 = static_cast<ULONGLONG>(mantissa);
  return d;
}

bool is_negative(const DECIMAL& value) { return (value.sign & DECIMAL_NEG) != 0; }

// value / divisor, rounded half to even.
u128 divide_half_even(u128 value, u128 divisor) {
  u128 quotient = value / divisor;
  const u128 remainder = value % divisor;
  const u128 twice = remainder * 2;  // remainder < divisor <= 10^28, no overflow
  if (twice > divisor || (twice == divisor && (quotient & 1))) ++quotient;
  return quotient;
}

// The mantissa rescaled to a smaller or larger scale; false when it no longer fits 128 bits.
bool rescale(u128 mantissa, int from, int to, u128* out) {
  if (to >= from) {
    const u128 factor = pow10(to - from);
    if (to - from > 38 || (mantissa != 0 && mantissa > std::numeric_limits<u128>::max() / factor)) return false;
    *out = mantissa * factor;
  } else {
    *out = divide_half_even(mantissa, pow10(from - to));
  }
  return true;
}

std::wstring digits_of(u128 value) {
  if (value == 0) return L"0";
  std::wstring text;
  while (value) {
    text.insert(text.begin(), static_cast<wchar_t>(L'0' + static_cast<int>(value % 10)));
    value /= 10;
  }
  return text;
}

std::wstring exact_to_text(bool negative, u128 mantissa, int scale) {
  std::wstring text = digits_of(mantissa);
  if (scale > 0) {
    if (text.size() <= static_cast<std::size_t>(scale)) text.insert(0, scale + 1 - text.size(), L'0');
    text.insert(text.size() - scale, 1, L'.');
    while (text.back() == L'0') text.pop_back();
    if (text.back() == L'.') text.pop_back();
  }
  if (negative && mantissa != 0) text.insert(0, 1, L'-');
  return text;
}

HRESULT to_bstr(const std::wstring& text, BSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = bstr_from(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

// CY as an exact decimal of scale 4, the sign kept apart so that the smallest
// amount has a magnitude too.
u128 cy_magnitude(CY value) {
  return value.int64 < 0 ? static_cast<u128>(-(static_cast<__int128>(value.int64))) : static_cast<u128>(value.int64);
}

// An exact decimal's value rounded to a whole number, with its sign.
__int128 decimal_to_whole(const DECIMAL& value) {
  const u128 whole = divide_half_even(mantissa_of(value), pow10(value.scale));
  return is_negative(value) ? -static_cast<__int128>(whole) : static_cast<__int128>(whole);
}

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0xA0; }
bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

HRESULT parse_number(std::wstring_view text, parsed_number* out) {
  if (!out) return E_INVALIDARG;
  *out = parsed_number{};
  std::size_t i = 0, end = text.size();
  while (i < end && is_blank(text[i])) ++i;
  while (end > i && is_blank(text[end - 1])) --end;
  if (i < end && text[i] == L'(' && text[end - 1] == L')') {  // (12.50) is negative
    out->negative = true;
    ++i;
    --end;
  }
  auto skip_currency = [&] {
    if (i < end && text[i] == L'$') ++i;
  };
  skip_currency();
  if (i < end && (text[i] == L'-' || text[i] == L'+')) {
    if (out->negative) return DISP_E_TYPEMISMATCH;  // no sign inside parentheses
    out->negative = text[i] == L'-';
    ++i;
    skip_currency();
  }
  std::string digits;
  int fraction_digits = 0;
  bool any_digit = false;
  // Integer part; ',' groups exactly three digits.
  std::size_t group = 0;
  bool grouped = false;
  while (i < end && (is_digit(text[i]) || text[i] == L',')) {
    if (text[i] == L',') {
      if (!any_digit || (grouped && group != 3) || (!grouped && group > 3)) return DISP_E_TYPEMISMATCH;
      grouped = true;
      group = 0;
    } else {
      digits.push_back(static_cast<char>(text[i]));
      any_digit = true;
      ++group;
    }
    ++i;
  }
  if (grouped && group != 3) return DISP_E_TYPEMISMATCH;
  if (i < end && text[i] == L'.') {
    ++i;
    while (i < end && is_digit(text[i])) {
      digits.push_back(static_cast<char>(text[i]));
      any_digit = true;
      ++fraction_digits;
      ++i;
    }
  }
  if (!any_digit) return DISP_E_TYPEMISMATCH;
  long exponent = 0;
  if (i < end && (text[i] == L'e' || text[i] == L'E')) {
    ++i;
    bool negative_exponent = false;
    if (i < end && (text[i] == L'-' || text[i] == L'+')) negative_exponent = text[i++] == L'-';
    if (i >= end || !is_digit(text[i])) return DISP_E_TYPEMISMATCH;
    while (i < end && is_digit(text[i])) {
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - L'0');
      ++i;
    }
    if (negative_exponent) exponent = -exponent;
  }
  if (i != end) return DISP_E_TYPEMISMATCH;
  const std::size_t first = digits.find_first_not_of('0');
  out->digits = first == std::string::npos ? std::string() : digits.substr(first);
  out->exponent = static_cast<int>(exponent - fraction_digits);
  if (out->digits.empty()) out->negative = false;
  return S_OK;
}

namespace {

// The number as a decimal of at most max_scale places, rounded half to even
// from its full digits (never rounded twice).
HRESULT exact_from_parsed(const parsed_number& number, int max_scale, DECIMAL* out) {
  const std::string& digits = number.digits;
  const long n = static_cast<long>(digits.size());
  const long e = number.exponent;
  if (n == 0) {
    *out = make_decimal(false, 0, static_cast<int>(std::clamp(-e, 0L, static_cast<long>(max_scale))));
    return S_OK;
  }
  if (n + e > 29) return DISP_E_OVERFLOW;
  // Keep the first k digits: at most 29, and no more than the scale allows.
  for (long k = std::min({n, 29L, max_scale + n + e});; --k) {
    u128 mantissa = 0;
    for (long j = 0; j < k; ++j) mantissa = mantissa * 10 + static_cast<unsigned>(digits[j] - '0');
    long scale = k - n - e;
    if (scale < 0) {  // every digit kept and a positive exponent: append zeros
      mantissa *= pow10(static_cast<int>(-scale));
      scale = 0;
    } else if (k >= 0 && k < n) {
      const int dropped = digits[k] - '0';
      bool sticky = false;
      for (long j = k + 1; j < n && !sticky; ++j) sticky = digits[j] != '0';
      if (dropped > 5 || (dropped == 5 && (sticky || (mantissa & 1)))) ++mantissa;
    }
    // k < 0: the value is below half of the smallest step, so zero.
    if (mantissa <= max96) {
      *out = make_decimal(number.negative && mantissa != 0, mantissa, static_cast<int>(scale));
      return S_OK;
    }
    if (scale == 0) return DISP_E_OVERFLOW;
  }
}

}  // namespace

HRESULT decimal_from_parsed(const parsed_number& number, DECIMAL* out) {
  if (!out) return E_INVALIDARG;
  return exact_from_parsed(number, DECIMAL_MAX_SCALE, out);
}

HRESULT real_from_parsed(const parsed_number& number, DOUBLE* out) {
  if (!out) return E_INVALIDARG;
  if (number.digits.empty()) {
    *out = 0.0;
    return S_OK;
  }
  const std::string text = number.digits + "e" + std::to_string(number.exponent);
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Too small is zero; too large does not fit.
    if (static_cast<long>(number.digits.size()) + number.exponent < 0)
      value = 0.0;
    else
      return DISP_E_OVERFLOW;
  } else if (result.ec != std::errc()) {
    return DISP_E_TYPEMISMATCH;
  }
  *out = number.negative ? -value : value;
  return S_OK;
}

HRESULT VarDecFromStr(LPCOLESTR text, LCID, ULONG, DECIMAL* out) {
  if (!text || !out) return E_INVALIDARG;
  parsed_number number;
  HRESULT hr = parse_number(text, &number);
  return FAILED(hr) ? hr : decimal_from_parsed(number, out);
}

HRESULT VarCyFromStr(LPCOLESTR text, LCID, ULONG, CY* out) {
  if (!out) return E_INVALIDARG;
  if (!text) return E_INVALIDARG;
  parsed_number number;
  HRESULT hr = parse_number(text, &number);
  DECIMAL value;
  if (SUCCEEDED(hr)) hr = exact_from_parsed(number, 4, &value);
  return FAILED(hr) ? hr : VarCyFromDec(&value, out);
}

HRESULT VarR8FromStr(LPCOLESTR text, LCID, ULONG, DOUBLE* out) {
  if (!text || !out) return E_INVALIDARG;
  parsed_number number;
  HRESULT hr = parse_number(text, &number);
  return FAILED(hr) ? hr : real_from_parsed(number, out);
}

std::wstring cy_to_text(CY value) { return exact_to_text(value.int64 < 0, cy_magnitude(value), 4); }

std::wstring decimal_to_text(const DECIMAL& value) {
  return exact_to_text(is_negative(value), mantissa_of(value), value.scale);
}

std::wstring real_to_text(double value, int significant_digits) {
  if (std::isnan(value)) return L"NaN";
  if (std::isinf(value)) return value < 0 ? L"-Infinity" : L"Infinity";
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, significant_digits);
  std::wstring text;
  for (const char* p = buffer; p != result.ptr; ++p) text.push_back(*p == 'e' ? L'E' : static_cast<wchar_t>(*p));
  return text;
}

HRESULT VarBstrFromCy(CY value, LCID, ULONG, BSTR* out) { return to_bstr(cy_to_text(value), out); }

HRESULT VarBstrFromDec(const DECIMAL* value, LCID, ULONG, BSTR* out) {
  if (!value) return E_INVALIDARG;
  if (value->scale > DECIMAL_MAX_SCALE) return E_INVALIDARG;
  return to_bstr(decimal_to_text(*value), out);
}

HRESULT VarBstrFromR8(DOUBLE value, LCID, ULONG, BSTR* out) { return to_bstr(real_to_text(value, 15), out); }

HRESULT VarBstrFromR4(FLOAT value, LCID, ULONG, BSTR* out) { return to_bstr(real_to_text(value, 7), out); }

HRESULT VarDecFromCy(CY value, DECIMAL* out) {
  if (!out) return E_INVALIDARG;
  *out = make_decimal(value.int64 < 0, cy_magnitude(value), 4);
  return S_OK;
}

HRESULT VarCyFromDec(const DECIMAL* value, CY* out) {
  if (!value || !out) return E_INVALIDARG;
  if (value->scale > DECIMAL_MAX_SCALE) return E_INVALIDARG;
  u128 units = 0;
  if (!rescale(mantissa_of(*value), value->scale, 4, &units)) return DISP_E_OVERFLOW;
  const bool negative = is_negative(*value);
  const u128 limit = negative ? static_cast<u128>(1) << 63 : (static_cast<u128>(1) << 63) - 1;
  if (units > limit) return DISP_E_OVERFLOW;
  out->int64 = negative ? static_cast<LONGLONG>(-static_cast<__int128>(units)) : static_cast<LONGLONG>(units);
  return S_OK;
}

HRESULT VarDecFromR8(DOUBLE value, DECIMAL* out) {
  if (!out) return E_INVALIDARG;
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  parsed_number number;
  HRESULT hr = parse_number(std::wstring(buffer, result.ptr), &number);
  if (FAILED(hr)) return hr;
  // The displayed value: drop the zeros that only pad the fifteen digits.
  while (!number.digits.empty() && number.digits.back() == '0') {
    number.digits.pop_back();
    ++number.exponent;
  }
  return decimal_from_parsed(number, out);
}

HRESULT VarCyFromR8(DOUBLE value, CY* out) {
  if (!out) return E_INVALIDARG;
  DECIMAL d;
  HRESULT hr = VarDecFromR8(value, &d);
  return FAILED(hr) ? hr : VarCyFromDec(&d, out);
}

HRESULT VarDecFromI8(LONGLONG value, DECIMAL* out) {
  if (!out) return E_INVALIDARG;
  const u128 magnitude = value < 0 ? static_cast<u128>(-static_cast<__int128>(value)) : static_cast<u128>(value);
  *out = make_decimal(value < 0, magnitude, 0);
  return S_OK;
}

HRESULT VarDecFromUI8(ULONGLONG value, DECIMAL* out) {
  if (!out) return E_INVALIDARG;
  *out = make_decimal(false, value, 0);
  return S_OK;
}

HRESULT VarR8FromDec(const DECIMAL* value, DOUBLE* out) {
  if (!value || !out) return E_INVALIDARG;
  if (value->scale > DECIMAL_MAX_SCALE) return E_INVALIDARG;
  std::wstring digits = digits_of(mantissa_of(*value));
  parsed_number number;
  number.negative = is_negative(*value);
  number.digits.assign(digits.begin(), digits.end());
  if (number.digits == "0") number.digits.clear();
  number.exponent = -value->scale;
  return real_from_parsed(number, out);
}

HRESULT VarR8FromCy(CY value, DOUBLE* out) {
  DECIMAL d;
  VarDecFromCy(value, &d);
  return VarR8FromDec(&d, out);
}

HRESULT VarI8FromDec(const DECIMAL* value, LONGLONG* out) {
  if (!value || !out) return E_INVALIDARG;
  if (value->scale > DECIMAL_MAX_SCALE) return E_INVALIDARG;
  const __int128 whole = decimal_to_whole(*value);
  if (whole < std::numeric_limits<LONGLONG>::min() || whole > std::numeric_limits<LONGLONG>::max())
    return DISP_E_OVERFLOW;
  *out = static_cast<LONGLONG>(whole);
  return S_OK;
}

HRESULT VarUI8FromDec(const DECIMAL* value, ULONGLONG* out) {
  if (!value || !out) return E_INVALIDARG;
  if (value->scale > DECIMAL_MAX_SCALE) return E_INVALIDARG;
  const __int128 whole = decimal_to_whole(*value);
  if (whole < 0 || whole > static_cast<__int128>(std::numeric_limits<ULONGLONG>::max())) return DISP_E_OVERFLOW;
  *out = static_cast<ULONGLONG>(whole);
  return S_OK;
}

HRESULT VarI4FromDec(const DECIMAL* value, LONG* out) {
  if (!out) return E_INVALIDARG;
  LONGLONG whole = 0;
  HRESULT hr = VarI8FromDec(value, &whole);
  if (FAILED(hr)) return hr;
  if (whole < std::numeric_limits<LONG>::min() || whole > std::numeric_limits<LONG>::max()) return DISP_E_OVERFLOW;
  *out = static_cast<LONG>(whole);
  return S_OK;
}

int decimal_compare(const DECIMAL& left, const DECIMAL& right) {
  const u128 lm = mantissa_of(left), rm = mantissa_of(right);
  const int ls = lm == 0 ? 0 : (is_negative(left) ? -1 : 1);
  const int rs = rm == 0 ? 0 : (is_negative(right) ? -1 : 1);
  if (ls != rs) return ls < rs ? -1 : 1;
  if (ls == 0) return 0;
  // Bring both to the larger scale; a 96-bit mantissa times 10^28 fits 192 bits,
  // so compare the integer parts first and the fractions after.
  const u128 lp = pow10(left.scale), rp = pow10(right.scale);
  const u128 lw = lm / lp, rw = rm / rp;
  int order = 0;
  if (lw != rw) {
    order = lw < rw ? -1 : 1;
  } else {
    const int scale = std::max(left.scale, right.scale);
    const u128 lf = (lm % lp) * pow10(scale - left.scale);
    const u128 rf = (rm % rp) * pow10(scale - right.scale);
    order = lf == rf ? 0 : (lf < rf ? -1 : 1);
  }
  return ls < 0 ? -order : order;
}

bool integer_type_range(VARTYPE vt, __int128* low, __int128* high) {
  switch (vt) {
    case VT_I1: *low = INT8_MIN; *high = INT8_MAX; return true;
    case VT_UI1: *low = 0; *high = UINT8_MAX; return true;
    case VT_I2: *low = INT16_MIN; *high = INT16_MAX; return true;
    case VT_UI2: *low = 0; *high = UINT16_MAX; return true;
    case VT_I4: case VT_INT: *low = INT32_MIN; *high = INT32_MAX; return true;
    case VT_UI4: case VT_UINT: *low = 0; *high = UINT32_MAX; return true;
    case VT_I8: *low = INT64_MIN; *high = INT64_MAX; return true;
    case VT_UI8: *low = 0; *high = UINT64_MAX; return true;
    default: return false;
  }
}
