#include "MSS/mss_lit.h"

#include <cmath>
#include <cwctype>

#include "OLE/ole_date.h"
#include "OLE/ole_misc.h"
#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "platform/tds/tds_sql.h"

namespace {

constexpr double smallest_double = 2.23e-308;
constexpr double largest_double = 1.79e308;

std::wstring double_quotes(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + 2);
  for (wchar_t c : text) {
    out += c;
    if (c == L'\'') out += L'\'';
  }
  return out;
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" with hexadecimal digits.
bool is_canonical_guid(const std::wstring& braced) {
  if (braced.size() != 38 || braced.front() != L'{' || braced.back() != L'}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? braced[i] != L'-' : !std::iswxdigit(static_cast<wint_t>(braced[i]))) return false;
  }
  return true;
}

// The whole text is a GUID as data access writes one: "{guid {...}}" (or the
// braced GUID alone).
bool is_whole_guid(const std::wstring& text, std::wstring& braced) {
  const std::wstring trimmed = tk_trim(text);
  if (trimmed.size() == 38 && trimmed.front() == L'{') {
    ole_guid_extractor probe(L"{guid " + trimmed + L"}");
    if (probe.is_found() && probe.get_braced_guid() == trimmed && is_canonical_guid(trimmed)) {
      braced = trimmed;
      return true;
    }
    return false;
  }
  ole_guid_extractor guid(trimmed);
  if (!guid.is_found()) return false;
  braced = guid.get_braced_guid();
  if (!is_canonical_guid(braced)) return false;
  return trimmed.size() == 45 && tk_wcompare_nocase(trimmed.substr(0, 6), L"{guid ") == 0 &&
         trimmed.substr(6) == braced + L"}";
}

}  // namespace

bool mssql_whole_guid(const std::wstring& text, std::wstring& braced) { return is_whole_guid(text, braced); }

namespace {

bool is_number_text(const std::wstring& text) {
  if (text.size() < 2 || !std::iswdigit(text[0])) return false;
  const bool hex = text[1] == L'x' || text[1] == L'X';
  if (hex && text[0] != L'0') return false;
  if (!hex && !std::iswdigit(text[1])) return false;
  for (std::size_t i = 2; i < text.size(); ++i)
    if (hex ? !std::iswxdigit(text[i]) : !std::iswdigit(text[i])) return false;
  return true;
}

}  // namespace

ole_variant mssql_get_safe_variant(const ole_variant& value, bool wide_dates) {
  tk_trace(1, "mssql_get_safe_variant");
  switch (value.get_vt()) {
    case VT_DATE: {
      const ole_date date(value.get_variant());
      const int year = date.get_systemtime().wYear;
      const int lowest = wide_dates ? 1 : 1753;
      if (year < lowest || year > 9999) {
        tk_trace(1, "Skip date-out-of-range");
        throw tk_exception(wide_dates ? "The date is outside the range of the column (0001-01-01 to 9999-12-31)."
                                      : "The date is outside the range of a datetime column (1753-01-01 to "
                                        "9999-12-31).",
                           0);
      }
      return value;
    }
    case VT_R4:
    case VT_R8: {
      double x = value.to_double();
      if (!std::isfinite(x)) throw tk_exception("The value is not a finite number (NaN or infinity).", 0);
      if (value.get_vt() == VT_R4 || x == 0) return value;
      if (x > 0) {
        if (x <= smallest_double) x = smallest_double;
        if (x >= largest_double) x = largest_double;
      } else {
        if (x >= -smallest_double) x = -smallest_double;
        if (x <= -largest_double) x = -largest_double;
      }
      return ole_variant(x);
    }
    default:
      return value;
  }
}

std::wstring to_mssql_str(const std::wstring& text, VARTYPE vt) {
  tk_wtrace(1, L"to_mssql_str(%s)", text.c_str());
  if (text.empty()) return L"''";
  std::wstring work = text;
  switch (vt) {
    case VT_DATE: {
      work = ole_date(text).to_wstring();
      const std::size_t zero = work.find(L"0000-00-00");
      if (zero != std::wstring::npos) {
        tk_trace(2, "Null date has been found");
        work.replace(zero, 10, L"1899-12-30");
      }
      std::erase(work, L'-');
      break;
    }
    case VT_BSTR: {
      std::wstring braced;
      if (is_whole_guid(work, braced)) {
        tk_trace(1, "BSTR IS AN GUID");
        return L"'" + braced + L"'";
      }
      return tsql_string(work);
    }
    case VT_BLOB:
    case VT_BLOB_OBJECT:
    case VT_ARRAY | VT_UI1: {
      tk_trace(1, "GOT BLOB!!!");
      if (work.size() < 2) return L"";
      std::wstring braced;
      if (is_whole_guid(work, braced)) {
        tk_trace(1, "BLOB IS AN GUID");
        return L"0x" + ole_guid_extractor(L"{guid " + braced + L"}").get_hex();
      }
      if (!is_number_text(work)) return L"'" + double_quotes(work) + L"'";
      break;
    }
    default:
      break;
  }
  work = double_quotes(work);
  if (vt == VT_BSTR || vt == VT_DATE) work = L"'" + work + L"'";
  if (vt == VT_BSTR) work = L"N" + work;
  return work;
}
