// SAFEARRAY: a one-dimensional array of fixed-size elements (bytes for the
// binary values of the system). Created, resized, copied and destroyed here;
// the data is reached between SafeArrayAccessData and SafeArrayUnaccessData.
#pragma once

#include "platform/oleaut/types.h"

// Element types with a fixed size: the integer, real, currency, date, boolean
// and decimal types. Other types (and more than one dimension) give null.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lower_bound, ULONG elements);
// Changes the element count of the (last) dimension, keeping the elements that
// remain and zero-filling new ones. DISP_E_ARRAYISLOCKED while locked.
HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* bound);
HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** copy);
// DISP_E_ARRAYISLOCKED while locked; a null array is S_OK.
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayLock(SAFEARRAY* array);
HRESULT SafeArrayUnlock(SAFEARRAY* array);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
// Dimensions count from 1. DISP_E_BADINDEX for another dimension.
HRESULT SafeArrayGetLBound(const SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(const SAFEARRAY* array, UINT dim, LONG* bound);
UINT SafeArrayGetDim(const SAFEARRAY* array);
UINT SafeArrayGetElemsize(const SAFEARRAY* array);
HRESULT SafeArrayGetVartype(const SAFEARRAY* array, VARTYPE* vt);
