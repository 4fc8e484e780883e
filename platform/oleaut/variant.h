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
