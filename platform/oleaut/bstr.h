// BSTR: a wide text with its length stored in front of it, so it may hold
// zero characters inside. Whoever allocates one frees it with SysFreeString
// (or hands it to a VARIANT, which then owns it). A null BSTR is the empty text.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/oleaut/types.h"

// A copy of the zero-terminated text; null for a null source.
BSTR SysAllocString(LPCOLESTR text);
// A text of len characters copied from text (zero-filled when text is null);
// null when memory runs out.
BSTR SysAllocStringLen(LPCOLESTR text, UINT len);
// Replaces *target by a new text of len characters; false when memory runs out
// (the old text is kept then).
bool SysReAllocStringLen(BSTR* target, LPCOLESTR text, UINT len);
void SysFreeString(BSTR text);
// Characters, not counting the terminating zero; 0 for a null BSTR.
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

// C++ conveniences.
BSTR bstr_from(std::wstring_view text);
std::wstring bstr_text(BSTR text);

struct bstr_deleter {
  void operator()(OLECHAR* text) const { SysFreeString(text); }
};
// An owned BSTR that frees itself.
using unique_bstr = std::unique_ptr<OLECHAR, bstr_deleter>;
