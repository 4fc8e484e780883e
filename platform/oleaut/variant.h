// VARIANT handling: initialise, clear (freeing what the value owns), deep copy
// and type change.
#pragma once

#include "platform/oleaut/types.h"

// Sets VT_EMPTY.
void VariantInit(VARIANT* value);
// Frees the value's text, array or interface reference and sets VT_EMPTY.
// A by-reference value owns nothing. DISP_E_BADVARTYPE for an unknown type
// (the value is left as it is then).
HRESULT VariantClear(VARIANT* value);
// Clears target, then copies source into it: texts and arrays are duplicated,
// interface references counted. Copying a value onto itself does nothing.
HRESULT VariantCopy(VARIANT* target, const VARIANT* source);

// Flags of VariantChangeType.
constexpr USHORT VARIANT_NOVALUEPROP = 0x1;
constexpr USHORT VARIANT_ALPHABOOL = 0x2;  // a boolean becomes "True" / "False"

// Changes source into type vt and stores the result in target (which may be
// source itself; on failure target is left as it was). Among the integer, real,
// currency, decimal, date, text and boolean types:
// - a real number (or date) becomes an integer rounded half to even;
// - a value outside the target's range fails with DISP_E_OVERFLOW;
// - text that is not a number (or date, or boolean) fails with DISP_E_TYPEMISMATCH;
//   text is read as English (United States) text, "True" and "False" as booleans;
// - a boolean becomes "-1" / "0" as text, a number becomes VARIANT_TRUE when not 0;
// - VT_EMPTY becomes zero, false or the empty text; VT_NULL changes only to itself.
// Arrays, interfaces and errors change to nothing else: DISP_E_TYPEMISMATCH.
HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, USHORT flags, VARTYPE vt);
HRESULT VariantChangeTypeEx(VARIANT* target, const VARIANT* source, LCID locale, USHORT flags, VARTYPE vt);
