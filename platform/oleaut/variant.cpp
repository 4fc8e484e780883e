#include "platform/oleaut/variant.h"

#include <cstring>

#include "platform/oleaut/bstr.h"
#include "platform/oleaut/safearray.h"

namespace {

bool is_known_type(VARTYPE vt) {
  if (vt & VT_ARRAY) return true;
  switch (vt & VT_TYPEMASK) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
    case VT_DATE: case VT_BSTR: case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_VARIANT:
    case VT_UNKNOWN: case VT_DECIMAL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4:
    case VT_I8: case VT_UI8: case VT_INT: case VT_UINT: case VT_RECORD:
      return true;
    default:
      return false;
  }
}

void set_empty(VARIANT* value) {
  std::memset(static_cast<void*>(value), 0, sizeof(VARIANT));
  value->vt = VT_EMPTY;
}

}  // namespace

void VariantInit(VARIANT* value) {
  if (value) set_empty(value);
}

HRESULT VariantClear(VARIANT* value) {
  if (!value) return E_INVALIDARG;
  const VARTYPE vt = value->vt;
  if (!is_known_type(vt)) return DISP_E_BADVARTYPE;
  if (!(vt & VT_BYREF)) {
    if (vt & VT_ARRAY) {
      HRESULT hr = SafeArrayDestroy(value->parray);
      if (FAILED(hr)) return hr;
    } else if (vt == VT_BSTR) {
      SysFreeString(value->bstrVal);
    } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && value->punkVal) {
      value->punkVal->Release();
    }
  }
  set_empty(value);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* target, const VARIANT* source) {
  if (!target || !source) return E_INVALIDARG;
  if (target == source) return S_OK;
  if (!is_known_type(source->vt)) return DISP_E_BADVARTYPE;
  VARIANT copy;
  std::memcpy(static_cast<void*>(&copy), source, sizeof(VARIANT));
  if (!(source->vt & VT_BYREF)) {
    if (source->vt & VT_ARRAY) {
      HRESULT hr = SafeArrayCopy(source->parray, &copy.parray);
      if (FAILED(hr)) return hr;
    } else if (source->vt == VT_BSTR) {
      copy.bstrVal = source->bstrVal ? SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal)) : nullptr;
      if (source->bstrVal && !copy.bstrVal) return E_OUTOFMEMORY;
    } else if ((source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) && source->punkVal) {
      source->punkVal->AddRef();
    }
  }
  HRESULT hr = VariantClear(target);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  std::memcpy(static_cast<void*>(target), &copy, sizeof(VARIANT));
  return S_OK;
}
