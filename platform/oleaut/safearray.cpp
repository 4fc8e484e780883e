#include "platform/oleaut/safearray.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

ULONG element_size(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
      return 8;
    case VT_DECIMAL:
      return 16;
    default:
      return 0;
  }
}

// Arrays are bounded well below the address space so that sizes never wrap.
constexpr std::size_t max_bytes = std::numeric_limits<std::int32_t>::max();

bool data_bytes(ULONG elements, ULONG size, std::size_t* bytes) {
  const std::size_t total = static_cast<std::size_t>(elements) * size;
  if (size == 0 || total / size != elements || total > max_bytes) return false;
  *bytes = total;
  return true;
}

std::size_t bytes_of(const SAFEARRAY* array) {
  return static_cast<std::size_t>(array->rgsabound[0].cElements) * array->cbElements;
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds) {
  if (dims != 1 || !bounds) return nullptr;
  return SafeArrayCreateVector(vt, bounds[0].lLbound, bounds[0].cElements);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lower_bound, ULONG elements) {
  const ULONG size = element_size(vt);
  std::size_t bytes = 0;
  if (!data_bytes(elements, size, &bytes)) return nullptr;
  auto* array = new (std::nothrow) SAFEARRAY{};
  if (!array) return nullptr;
  // calloc of zero bytes may give null; keep one byte so data is never null.
  array->pvData = std::calloc(bytes ? bytes : 1, 1);
  if (!array->pvData) {
    delete array;
    return nullptr;
  }
  array->cDims = 1;
  array->cbElements = size;
  array->rgsabound[0] = {elements, lower_bound};
  array->vt = vt;
  return array;
}

HRESULT SafeArrayRedim(SAFEARRAY* array, const SAFEARRAYBOUND* bound) {
  if (!array || !bound) return E_INVALIDARG;
  if (array->cLocks) return DISP_E_ARRAYISLOCKED;
  std::size_t bytes = 0;
  if (!data_bytes(bound->cElements, array->cbElements, &bytes)) return E_OUTOFMEMORY;
  const std::size_t old_bytes = bytes_of(array);
  void* data = std::realloc(array->pvData, bytes ? bytes : 1);
  if (!data) return E_OUTOFMEMORY;
  if (bytes > old_bytes) std::memset(static_cast<char*>(data) + old_bytes, 0, bytes - old_bytes);
  array->pvData = data;
  array->rgsabound[0] = *bound;
  return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** copy) {
  if (!copy) return E_INVALIDARG;
  *copy = nullptr;
  if (!array) return S_OK;
  SAFEARRAY* fresh = SafeArrayCreateVector(array->vt, array->rgsabound[0].lLbound, array->rgsabound[0].cElements);
  if (!fresh) return E_OUTOFMEMORY;
  std::memcpy(fresh->pvData, array->pvData, bytes_of(array));
  *copy = fresh;
  return S_OK;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (!array) return S_OK;
  if (array->cLocks) return DISP_E_ARRAYISLOCKED;
  std::free(array->pvData);
  delete array;
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* array) {
  if (!array) return E_INVALIDARG;
  if (array->cLocks == std::numeric_limits<ULONG>::max()) return E_UNEXPECTED;
  ++array->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* array) {
  if (!array) return E_INVALIDARG;
  if (array->cLocks == 0) return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (!array || !data) return E_INVALIDARG;
  HRESULT hr = SafeArrayLock(array);
  *data = SUCCEEDED(hr) ? array->pvData : nullptr;
  return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) { return SafeArrayUnlock(array); }

HRESULT SafeArrayGetLBound(const SAFEARRAY* array, UINT dim, LONG* bound) {
  if (!array || !bound) return E_INVALIDARG;
  if (dim != 1) return DISP_E_BADINDEX;
  *bound = array->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* array, UINT dim, LONG* bound) {
  if (!array || !bound) return E_INVALIDARG;
  if (dim != 1) return DISP_E_BADINDEX;
  *bound = static_cast<LONG>(static_cast<std::int64_t>(array->rgsabound[0].lLbound) +
                             static_cast<std::int64_t>(array->rgsabound[0].cElements) - 1);
  return S_OK;
}

UINT SafeArrayGetDim(const SAFEARRAY* array) { return array ? array->cDims : 0; }

UINT SafeArrayGetElemsize(const SAFEARRAY* array) { return array ? array->cbElements : 0; }

HRESULT SafeArrayGetVartype(const SAFEARRAY* array, VARTYPE* vt) {
  if (!array || !vt) return E_INVALIDARG;
  *vt = array->vt;
  return S_OK;
}
