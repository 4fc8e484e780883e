// VariantChangeType: every source value is first read as one of three kinds of
// number (a whole number, a real number or an exact decimal), which is then
// written in the target type with its range check and rounding.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <cwctype>
#include <limits>
#include <string>

#include "platform/oleaut/bstr.h"
#include "platform/oleaut/date.h"
#include "platform/oleaut/numeric.h"
#include "platform/oleaut/variant.h"

namespace {

struct number {
  enum kind_t { whole, real, exact } kind = whole;
  __int128 integer = 0;  // whole
  double value = 0;      // real
  DECIMAL dec{};         // exact
};

bool is_integer_type(VARTYPE vt) {
  __int128 low, high;
  return integer_type_range(vt, &low, &high);
}

bool is_scalar_type(VARTYPE vt) {
  return is_integer_type(vt) || vt == VT_R4 || vt == VT_R8 || vt == VT_CY || vt == VT_DECIMAL || vt == VT_DATE ||
         vt == VT_BSTR || vt == VT_BOOL;
}

// The whole number nearest to value, ties to even; false outside +-2^64.
bool round_half_even(double value, __int128* out) {
  if (!(std::fabs(value) <= 18446744073709551616.0)) return false;  // NaN fails too
  double lower = std::floor(value);
  const double diff = value - lower;
  if (diff > 0.5 || (diff == 0.5 && std::fmod(lower, 2.0) != 0)) lower += 1;
  *out = static_cast<__int128>(lower);
  return true;
}

HRESULT whole_of(const number& n, __int128* out) {
  switch (n.kind) {
    case number::whole:
      *out = n.integer;
      return S_OK;
    case number::real:
      return round_half_even(n.value, out) ? S_OK : DISP_E_OVERFLOW;
    case number::exact: {
      // The magnitude rounded to a whole number, then the sign.
      DECIMAL magnitude = n.dec;
      magnitude.sign = 0;
      ULONGLONG whole = 0;
      HRESULT hr = VarUI8FromDec(&magnitude, &whole);
      if (FAILED(hr)) return hr;
      *out = (n.dec.sign & DECIMAL_NEG) ? -static_cast<__int128>(whole) : static_cast<__int128>(whole);
      return S_OK;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT real_of(const number& n, double* out) {
  switch (n.kind) {
    case number::whole:
      *out = static_cast<double>(n.integer);
      return S_OK;
    case number::real:
      *out = n.value;
      return S_OK;
    case number::exact:
      return VarR8FromDec(&n.dec, out);
  }
  return DISP_E_TYPEMISMATCH;
}

HRESULT decimal_of(const number& n, DECIMAL* out) {
  switch (n.kind) {
    case number::whole:
      if (n.integer < 0) return VarDecFromI8(static_cast<LONGLONG>(n.integer), out);
      return VarDecFromUI8(static_cast<ULONGLONG>(n.integer), out);
    case number::real:
      return VarDecFromR8(n.value, out);
    case number::exact:
      *out = n.dec;
      return S_OK;
  }
  return DISP_E_TYPEMISMATCH;
}

bool is_zero(const number& n) {
  switch (n.kind) {
    case number::whole: return n.integer == 0;
    case number::real: return n.value == 0;
    case number::exact: return n.dec.Hi32 == 0 && n.dec.Lo64 == 0;
  }
  return true;
}

std::wstring trimmed(const std::wstring& text) {
  const auto first = text.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return std::wstring();
  return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

bool equals_ignoring_case(const std::wstring& text, const wchar_t* word) {
  std::size_t i = 0;
  for (; i < text.size() && word[i]; ++i)
    if (std::towlower(static_cast<wint_t>(text[i])) != static_cast<wint_t>(word[i])) return false;
  return i == text.size() && !word[i];
}

// Reads a numeric or boolean source as a number. Text is read as a number in
// the form the target needs: a real number for a real target, else exactly.
HRESULT read_number(const VARIANT& source, VARTYPE target, number* out) {
  switch (source.vt) {
    case VT_EMPTY: out->kind = number::whole; out->integer = 0; return S_OK;
    case VT_I1: out->integer = source.cVal; return S_OK;
    case VT_UI1: out->integer = source.bVal; return S_OK;
    case VT_I2: out->integer = source.iVal; return S_OK;
    case VT_UI2: out->integer = source.uiVal; return S_OK;
    case VT_I4: out->integer = source.lVal; return S_OK;
    case VT_UI4: out->integer = source.ulVal; return S_OK;
    case VT_INT: out->integer = source.intVal; return S_OK;
    case VT_UINT: out->integer = source.uintVal; return S_OK;
    case VT_I8: out->integer = source.llVal; return S_OK;
    case VT_UI8: out->integer = source.ullVal; return S_OK;
    case VT_BOOL: out->integer = source.boolVal; return S_OK;
    case VT_R4: out->kind = number::real; out->value = source.fltVal; return S_OK;
    case VT_R8: out->kind = number::real; out->value = source.dblVal; return S_OK;
    case VT_DATE: out->kind = number::real; out->value = source.date; return S_OK;
    case VT_CY: out->kind = number::exact; return VarDecFromCy(source.cyVal, &out->dec);
    case VT_DECIMAL:
      if (source.decVal.scale > DECIMAL_MAX_SCALE) return E_INVALIDARG;
      out->kind = number::exact;
      out->dec = source.decVal;
      out->dec.wReserved = 0;
      return S_OK;
    case VT_BSTR: {
      const std::wstring text = bstr_text(source.bstrVal);
      if (target == VT_BOOL) {
        const std::wstring word = trimmed(text);
        if (equals_ignoring_case(word, L"true") || equals_ignoring_case(word, L"#true#")) {
          out->integer = 1;
          return S_OK;
        }
        if (equals_ignoring_case(word, L"false") || equals_ignoring_case(word, L"#false#")) {
          out->integer = 0;
          return S_OK;
        }
      }
      parsed_number parsed;
      HRESULT hr = parse_number(text, &parsed);
      if (FAILED(hr)) return hr;
      if (target == VT_R4 || target == VT_R8) {
        out->kind = number::real;
        return real_from_parsed(parsed, &out->value);
      }
      if (target == VT_BOOL) {  // only zero or not matters: read no digits into a range
        out->integer = parsed.digits.empty() ? 0 : 1;
        return S_OK;
      }
      out->kind = number::exact;
      return decimal_from_parsed(parsed, &out->dec);
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

HRESULT text_of(const VARIANT& source, USHORT flags, std::wstring* out) {
  switch (source.vt) {
    case VT_EMPTY: out->clear(); return S_OK;
    case VT_I1: *out = std::to_wstring(source.cVal); return S_OK;
    case VT_UI1: *out = std::to_wstring(source.bVal); return S_OK;
    case VT_I2: *out = std::to_wstring(source.iVal); return S_OK;
    case VT_UI2: *out = std::to_wstring(source.uiVal); return S_OK;
    case VT_I4: *out = std::to_wstring(source.lVal); return S_OK;
    case VT_UI4: *out = std::to_wstring(source.ulVal); return S_OK;
    case VT_INT: *out = std::to_wstring(source.intVal); return S_OK;
    case VT_UINT: *out = std::to_wstring(source.uintVal); return S_OK;
    case VT_I8: *out = std::to_wstring(source.llVal); return S_OK;
    case VT_UI8: *out = std::to_wstring(source.ullVal); return S_OK;
    case VT_R4: *out = real_to_text(source.fltVal, 7); return S_OK;
    case VT_R8: *out = real_to_text(source.dblVal, 15); return S_OK;
    case VT_CY: *out = cy_to_text(source.cyVal); return S_OK;
    case VT_DECIMAL:
      if (source.decVal.scale > DECIMAL_MAX_SCALE) return E_INVALIDARG;
      *out = decimal_to_text(source.decVal);
      return S_OK;
    case VT_BOOL:
      if (flags & VARIANT_ALPHABOOL)
        *out = source.boolVal ? L"True" : L"False";
      else
        *out = source.boolVal ? L"-1" : L"0";
      return S_OK;
    case VT_DATE: {
      BSTR text = nullptr;
      HRESULT hr = VarBstrFromDate(source.date, LOCALE_EN_US, 0, &text);
      if (FAILED(hr)) return hr;
      *out = bstr_text(text);
      SysFreeString(text);
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Writes the source into result (a cleared VARIANT) as type vt.
HRESULT convert(const VARIANT& source, USHORT flags, VARTYPE vt, VARIANT* result) {
  if (vt == VT_EMPTY) return S_OK;
  if (vt == VT_NULL) {
    if (source.vt != VT_NULL && source.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
    result->vt = VT_NULL;
    return S_OK;
  }
  if (source.vt == VT_NULL) return DISP_E_TYPEMISMATCH;
  if (!is_scalar_type(vt)) return (vt & VT_ARRAY) || vt <= VT_UINT ? DISP_E_TYPEMISMATCH : DISP_E_BADVARTYPE;
  if (source.vt != VT_EMPTY && !is_scalar_type(source.vt)) return DISP_E_TYPEMISMATCH;

  if (vt == VT_BSTR) {
    std::wstring text;
    HRESULT hr = text_of(source, flags, &text);
    if (FAILED(hr)) return hr;
    result->bstrVal = bstr_from(text);
    if (!result->bstrVal) return E_OUTOFMEMORY;
    result->vt = VT_BSTR;
    return S_OK;
  }
  if (vt == VT_DATE && source.vt == VT_BSTR) {
    HRESULT hr = VarDateFromStr(source.bstrVal ? source.bstrVal : L"", LOCALE_EN_US, 0, &result->date);
    if (SUCCEEDED(hr)) result->vt = VT_DATE;
    return hr;
  }

  number n;
  HRESULT hr = read_number(source, vt, &n);
  if (FAILED(hr)) return hr;

  if (is_integer_type(vt)) {
    __int128 whole = 0, low = 0, high = 0;
    hr = whole_of(n, &whole);
    if (FAILED(hr)) return hr;
    integer_type_range(vt, &low, &high);
    if (whole < low || whole > high) return DISP_E_OVERFLOW;
    switch (vt) {
      case VT_I1: result->cVal = static_cast<CHAR>(whole); break;
      case VT_UI1: result->bVal = static_cast<BYTE>(whole); break;
      case VT_I2: result->iVal = static_cast<SHORT>(whole); break;
      case VT_UI2: result->uiVal = static_cast<USHORT>(whole); break;
      case VT_I4: result->lVal = static_cast<LONG>(whole); break;
      case VT_UI4: result->ulVal = static_cast<ULONG>(whole); break;
      case VT_INT: result->intVal = static_cast<INT>(whole); break;
      case VT_UINT: result->uintVal = static_cast<UINT>(whole); break;
      case VT_I8: result->llVal = static_cast<LONGLONG>(whole); break;
      default: result->ullVal = static_cast<ULONGLONG>(whole); break;
    }
    result->vt = vt;
    return S_OK;
  }
  switch (vt) {
    case VT_BOOL:
      result->boolVal = is_zero(n) ? VARIANT_FALSE : VARIANT_TRUE;
      break;
    case VT_R4: {
      double value = 0;
      hr = real_of(n, &value);
      if (FAILED(hr)) return hr;
      if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return DISP_E_OVERFLOW;
      result->fltVal = static_cast<float>(value);
      break;
    }
    case VT_R8:
      hr = real_of(n, &result->dblVal);
      if (FAILED(hr)) return hr;
      break;
    case VT_DATE: {
      double value = 0;
      hr = real_of(n, &value);
      if (FAILED(hr)) return hr;
      if (!(value >= -657434.0 && value < 2958466.0)) return DISP_E_OVERFLOW;
      result->date = value;
      break;
    }
    case VT_CY: {
      if (n.kind == number::real) {
        hr = VarCyFromR8(n.value, &result->cyVal);
      } else {
        DECIMAL d;
        hr = decimal_of(n, &d);
        if (SUCCEEDED(hr)) hr = VarCyFromDec(&d, &result->cyVal);
      }
      if (FAILED(hr)) return hr;
      break;
    }
    case VT_DECIMAL: {
      DECIMAL d;
      hr = decimal_of(n, &d);
      if (FAILED(hr)) return hr;
      result->decVal = d;
      break;
    }
    default:
      return DISP_E_BADVARTYPE;
  }
  result->vt = vt;
  return S_OK;
}

}  // namespace

HRESULT VariantChangeTypeEx(VARIANT* target, const VARIANT* source, LCID, USHORT flags, VARTYPE vt) {
  if (!target || !source) return E_INVALIDARG;
  if (source->vt & VT_BYREF) return DISP_E_TYPEMISMATCH;
  if (source->vt == vt) return target == source ? S_OK : VariantCopy(target, source);
  VARIANT result;
  VariantInit(&result);
  HRESULT hr = convert(*source, flags, vt, &result);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  hr = VariantClear(target);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  std::memcpy(static_cast<void*>(target), &result, sizeof(VARIANT));
  return S_OK;
}

HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, USHORT flags, VARTYPE vt) {
  return VariantChangeTypeEx(target, source, LOCALE_EN_US, flags, vt);
}
