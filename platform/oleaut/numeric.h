// Number conversions of the automation layer: currency (CY), decimal (DECIMAL)
// and real numbers to and from each other and to and from text.
//
// Text is read and written in English (United States) form whatever locale is
// passed: '.' is the decimal point and ',' groups thousands on reading (in
// groups of three digits only); written text never has grouping. Results follow
// the platform: S_OK, DISP_E_TYPEMISMATCH for text that is not a number,
// DISP_E_OVERFLOW for a value outside the target's range. Rounding is half to
// even throughout.
#pragma once

#include <string>
#include <string_view>

#include "platform/oleaut/types.h"

HRESULT VarCyFromStr(LPCOLESTR text, LCID locale, ULONG flags, CY* out);
HRESULT VarDecFromStr(LPCOLESTR text, LCID locale, ULONG flags, DECIMAL* out);
HRESULT VarR8FromStr(LPCOLESTR text, LCID locale, ULONG flags, DOUBLE* out);

// The shortest decimal text: "-1234.5", "0.0001", "0".
HRESULT VarBstrFromCy(CY value, LCID locale, ULONG flags, BSTR* out);
HRESULT VarBstrFromDec(const DECIMAL* value, LCID locale, ULONG flags, BSTR* out);
// Fifteen significant digits (seven for a single) with an exponent only where
// needed, as "%G" prints them: "1.5", "1E+20", "1.23456789012346E-05".
HRESULT VarBstrFromR8(DOUBLE value, LCID locale, ULONG flags, BSTR* out);
HRESULT VarBstrFromR4(FLOAT value, LCID locale, ULONG flags, BSTR* out);

HRESULT VarDecFromCy(CY value, DECIMAL* out);
HRESULT VarCyFromDec(const DECIMAL* value, CY* out);
// A real number takes its fifteen significant digits, as it is displayed.
HRESULT VarDecFromR8(DOUBLE value, DECIMAL* out);
HRESULT VarCyFromR8(DOUBLE value, CY* out);
HRESULT VarDecFromI8(LONGLONG value, DECIMAL* out);
HRESULT VarDecFromUI8(ULONGLONG value, DECIMAL* out);
HRESULT VarR8FromCy(CY value, DOUBLE* out);
HRESULT VarR8FromDec(const DECIMAL* value, DOUBLE* out);
HRESULT VarI4FromDec(const DECIMAL* value, LONG* out);
HRESULT VarI8FromDec(const DECIMAL* value, LONGLONG* out);
HRESULT VarUI8FromDec(const DECIMAL* value, ULONGLONG* out);
// -1, 0 or 1 as left is below, equal to or above right; trailing zeros and the
// sign of zero do not matter.
int decimal_compare(const DECIMAL& left, const DECIMAL& right);

// The range of an integer type (VT_I1 to VT_UI8, VT_INT, VT_UINT); false for
// any other type.
bool integer_type_range(VARTYPE vt, __int128* low, __int128* high);

// Text forms as std::wstring, for callers that do not need a BSTR.
std::wstring cy_to_text(CY value);
std::wstring decimal_to_text(const DECIMAL& value);
std::wstring real_to_text(double value, int significant_digits);

// A number read from English text: value = (-1)^negative * digits * 10^exponent,
// digits without leading zeros (empty for zero).
struct parsed_number {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};
// Reads optional blanks, a sign or parentheses, an optional '$', digits with
// thousands grouping, a decimal point and an exponent. DISP_E_TYPEMISMATCH when
// the whole text is not one number.
HRESULT parse_number(std::wstring_view text, parsed_number* out);
HRESULT decimal_from_parsed(const parsed_number& number, DECIMAL* out);
HRESULT real_from_parsed(const parsed_number& number, DOUBLE* out);
