// OLE Automation value types: the VARIANT with its type codes, BSTR, SAFEARRAY,
// currency, decimal, the automation date and the calendar time structure.
// The type codes and layouts keep the values that stored data and callers rely on.
#pragma once

#include <cstdint>

#include "platform/com/com_base.h"

using BYTE = std::uint8_t;
using CHAR = char;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using WORD = std::uint16_t;
using INT = int;
using UINT = unsigned int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using FLOAT = float;
using DOUBLE = double;
using SCODE = std::int32_t;
using LCID = std::uint32_t;

// Locales. Every conversion of this layer reads and writes English (United
// States) text whatever locale it is given, so number text never depends on
// the user's settings.
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_EN_US = 1033;

// Further result codes of the automation layer.
constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000B);
constexpr HRESULT DISP_E_ARRAYISLOCKED = static_cast<HRESULT>(0x8002000D);

// Type codes of a VARIANT.
using VARTYPE = std::uint16_t;
constexpr VARTYPE VT_EMPTY = 0;
constexpr VARTYPE VT_NULL = 1;
constexpr VARTYPE VT_I2 = 2;
constexpr VARTYPE VT_I4 = 3;
constexpr VARTYPE VT_R4 = 4;
constexpr VARTYPE VT_R8 = 5;
constexpr VARTYPE VT_CY = 6;
constexpr VARTYPE VT_DATE = 7;
constexpr VARTYPE VT_BSTR = 8;
constexpr VARTYPE VT_DISPATCH = 9;
constexpr VARTYPE VT_ERROR = 10;
constexpr VARTYPE VT_BOOL = 11;
constexpr VARTYPE VT_VARIANT = 12;
constexpr VARTYPE VT_UNKNOWN = 13;
constexpr VARTYPE VT_DECIMAL = 14;
constexpr VARTYPE VT_I1 = 16;
constexpr VARTYPE VT_UI1 = 17;
constexpr VARTYPE VT_UI2 = 18;
constexpr VARTYPE VT_UI4 = 19;
constexpr VARTYPE VT_I8 = 20;
constexpr VARTYPE VT_UI8 = 21;
constexpr VARTYPE VT_INT = 22;
constexpr VARTYPE VT_UINT = 23;
constexpr VARTYPE VT_VOID = 24;
constexpr VARTYPE VT_HRESULT = 25;
constexpr VARTYPE VT_PTR = 26;
constexpr VARTYPE VT_SAFEARRAY = 27;
constexpr VARTYPE VT_CARRAY = 28;
constexpr VARTYPE VT_USERDEFINED = 29;
constexpr VARTYPE VT_LPSTR = 30;
constexpr VARTYPE VT_LPWSTR = 31;
constexpr VARTYPE VT_RECORD = 36;
constexpr VARTYPE VT_FILETIME = 64;
constexpr VARTYPE VT_BLOB = 65;
constexpr VARTYPE VT_STREAM = 66;
constexpr VARTYPE VT_STORAGE = 67;
constexpr VARTYPE VT_STREAMED_OBJECT = 68;
constexpr VARTYPE VT_STORED_OBJECT = 69;
constexpr VARTYPE VT_BLOB_OBJECT = 70;
constexpr VARTYPE VT_CF = 71;
constexpr VARTYPE VT_CLSID = 72;
constexpr VARTYPE VT_VECTOR = 0x1000;
constexpr VARTYPE VT_ARRAY = 0x2000;
constexpr VARTYPE VT_BYREF = 0x4000;
constexpr VARTYPE VT_TYPEMASK = 0x0FFF;

// Boolean of a VARIANT: true is all bits set.
using VARIANT_BOOL = std::int16_t;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Text: a length-prefixed wide string owned by whoever holds it (see bstr.h).
// A null BSTR reads as the empty text.
using OLECHAR = wchar_t;
using BSTR = OLECHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

// Currency: a 64-bit integer scaled by 10000 (four decimal places).
struct CY {
  LONGLONG int64;
  friend bool operator==(const CY&, const CY&) = default;
};
constexpr LONGLONG CY_SCALE = 10000;

// Decimal: a 96-bit unsigned mantissa (Hi32:Lo64), a power-of-ten scale 0..28
// and a sign byte (DECIMAL_NEG for negative). Value = (-1)^sign * mantissa / 10^scale.
struct DECIMAL {
  USHORT wReserved;
  BYTE scale;
  BYTE sign;
  std::uint32_t Hi32;
  ULONGLONG Lo64;
};
static_assert(sizeof(DECIMAL) == 16);
constexpr BYTE DECIMAL_NEG = 0x80;
constexpr BYTE DECIMAL_MAX_SCALE = 28;

// Automation date: days since 1899-12-30 00:00; the fraction is the time of day.
// For a negative date the fraction still counts forward from its day, so -1.25
// is 1899-12-29 06:00.
using DATE = double;

// Calendar time. wDayOfWeek counts from Sunday (0).
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
  friend bool operator==(const SYSTEMTIME&, const SYSTEMTIME&) = default;
};
static_assert(sizeof(SYSTEMTIME) == 16);

// Array of fixed-size elements (see safearray.h). Only one dimension is supported.
struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];
  VARTYPE vt;  // element type
};

// The tagged value. The union member to read follows vt; VT_I8/VT_UI8 use
// llVal/ullVal, VT_DECIMAL decVal, arrays (VT_ARRAY | element type) parray.
struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    ULONGLONG ullVal;
    LONG lVal;
    ULONG ulVal;
    INT intVal;
    UINT uintVal;
    BYTE bVal;
    CHAR cVal;
    SHORT iVal;
    USHORT uiVal;
    FLOAT fltVal;
    DOUBLE dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    CY cyVal;
    DATE date;
    BSTR bstrVal;
    IUnknown* punkVal;
    SAFEARRAY* parray;
    DECIMAL decVal;
    void* byref;
  };
};
using VARIANTARG = VARIANT;
