// OLE DB data types, structures, constants and result codes, with the values
// that callers rely on. Text in rowsets and bindings is UTF-16 (char16_t, two
// bytes a unit), so byte counts of text follow the platform's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/com/com_base.h"
#include "platform/oleaut/types.h"

using DBTYPE = std::uint16_t;
// Lengths, offsets and counts are 32 bits wide, as the row buffers the system
// lays out expect (a 4-byte status, then a 4-byte length, then the value).
using DBLENGTH = std::uint32_t;
using DBBYTEOFFSET = std::uint32_t;
using DBORDINAL = std::uint32_t;
using DBCOUNTITEM = std::uint32_t;
using DBROWCOUNT = std::int32_t;
using DBROWOFFSET = std::int32_t;
using DBSTATUS = std::uint32_t;
using DBPROPID = std::uint32_t;
using DBPROPOPTIONS = std::uint32_t;
using DBPROPSTATUS = std::uint32_t;
using DBPART = std::uint32_t;
using DBMEMOWNER = std::uint32_t;
using DBPARAMIO = std::uint32_t;
using DBBINDFLAG = std::uint32_t;
using DBBINDSTATUS = std::uint32_t;
using DBACCESSORFLAGS = std::uint32_t;
using DBCOLUMNFLAGS = std::uint32_t;
using DBKIND = std::uint32_t;
using DBREFCOUNT = std::uint32_t;
using HACCESSOR = std::uintptr_t;
using HROW = std::uintptr_t;
using HCHAPTER = std::uintptr_t;
using DB_UPARAMS = std::uint32_t;
using REFGUID = const GUID&;

constexpr HACCESSOR DB_NULL_HACCESSOR = 0;
constexpr HROW DB_NULL_HROW = 0;
constexpr HCHAPTER DB_NULL_HCHAPTER = 0;

// Type codes (the VARIANT's, plus OLE DB's own from 128).
constexpr DBTYPE DBTYPE_EMPTY = 0;
constexpr DBTYPE DBTYPE_NULL = 1;
constexpr DBTYPE DBTYPE_I2 = 2;
constexpr DBTYPE DBTYPE_I4 = 3;
constexpr DBTYPE DBTYPE_R4 = 4;
constexpr DBTYPE DBTYPE_R8 = 5;
constexpr DBTYPE DBTYPE_CY = 6;
constexpr DBTYPE DBTYPE_DATE = 7;
constexpr DBTYPE DBTYPE_BSTR = 8;
constexpr DBTYPE DBTYPE_IDISPATCH = 9;
constexpr DBTYPE DBTYPE_ERROR = 10;
constexpr DBTYPE DBTYPE_BOOL = 11;
constexpr DBTYPE DBTYPE_VARIANT = 12;
constexpr DBTYPE DBTYPE_IUNKNOWN = 13;
constexpr DBTYPE DBTYPE_DECIMAL = 14;
constexpr DBTYPE DBTYPE_I1 = 16;
constexpr DBTYPE DBTYPE_UI1 = 17;
constexpr DBTYPE DBTYPE_UI2 = 18;
constexpr DBTYPE DBTYPE_UI4 = 19;
constexpr DBTYPE DBTYPE_I8 = 20;
constexpr DBTYPE DBTYPE_UI8 = 21;
constexpr DBTYPE DBTYPE_GUID = 72;
constexpr DBTYPE DBTYPE_BYTES = 128;
constexpr DBTYPE DBTYPE_STR = 129;
constexpr DBTYPE DBTYPE_WSTR = 130;
constexpr DBTYPE DBTYPE_NUMERIC = 131;
constexpr DBTYPE DBTYPE_UDT = 132;
constexpr DBTYPE DBTYPE_DBDATE = 133;
constexpr DBTYPE DBTYPE_DBTIME = 134;
constexpr DBTYPE DBTYPE_DBTIMESTAMP = 135;
constexpr DBTYPE DBTYPE_BYREF = 0x4000;

// Status of one bound value.
constexpr DBSTATUS DBSTATUS_S_OK = 0;
constexpr DBSTATUS DBSTATUS_E_BADACCESSOR = 1;
constexpr DBSTATUS DBSTATUS_E_CANTCONVERTVALUE = 2;
constexpr DBSTATUS DBSTATUS_S_ISNULL = 3;
constexpr DBSTATUS DBSTATUS_S_TRUNCATED = 4;
constexpr DBSTATUS DBSTATUS_E_SIGNMISMATCH = 5;
constexpr DBSTATUS DBSTATUS_E_DATAOVERFLOW = 6;
constexpr DBSTATUS DBSTATUS_E_CANTCREATE = 7;
constexpr DBSTATUS DBSTATUS_E_UNAVAILABLE = 8;
constexpr DBSTATUS DBSTATUS_E_INTEGRITYVIOLATION = 10;
constexpr DBSTATUS DBSTATUS_E_SCHEMAVIOLATION = 11;
constexpr DBSTATUS DBSTATUS_E_BADSTATUS = 12;
constexpr DBSTATUS DBSTATUS_S_DEFAULT = 13;

constexpr DBPART DBPART_VALUE = 0x1;
constexpr DBPART DBPART_LENGTH = 0x2;
constexpr DBPART DBPART_STATUS = 0x4;
constexpr DBMEMOWNER DBMEMOWNER_CLIENTOWNED = 0;
constexpr DBPARAMIO DBPARAMIO_NOTPARAM = 0;
constexpr DBACCESSORFLAGS DBACCESSOR_ROWDATA = 0x2;
constexpr DBBINDSTATUS DBBINDSTATUS_OK = 0;
constexpr DBBINDSTATUS DBBINDSTATUS_BADORDINAL = 1;
constexpr DBBINDSTATUS DBBINDSTATUS_UNSUPPORTEDCONVERSION = 2;
constexpr DBBINDSTATUS DBBINDSTATUS_BADBINDINFO = 3;

constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_WRITE = 0x4;
constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISFIXEDLENGTH = 0x10;
constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISNULLABLE = 0x20;
constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_MAYBENULL = 0x40;
constexpr DBCOLUMNFLAGS DBCOLUMNFLAGS_ISLONG = 0x80;

// Kinds of a DBID.
constexpr DBKIND DBKIND_GUID_NAME = 0;
constexpr DBKIND DBKIND_GUID_PROPID = 1;
constexpr DBKIND DBKIND_NAME = 2;
constexpr DBKIND DBKIND_PGUID_NAME = 3;
constexpr DBKIND DBKIND_PGUID_PROPID = 4;
constexpr DBKIND DBKIND_PROPID = 5;
constexpr DBKIND DBKIND_GUID = 6;

// A column, table or index identifier. Only the name kind is used here: pwszName
// is a zero-terminated wide text the caller owns.
struct DBID {
  GUID uGuid;
  DBKIND eKind;
  union {
    LPOLESTR pwszName;
    ULONG ulPropid;
  } uName;
};

// A decimal number: magnitude in val (little endian), sign 1 positive, 0 negative.
struct DB_NUMERIC {
  BYTE precision;
  signed char scale;
  BYTE sign;
  BYTE val[16];
};
static_assert(sizeof(DB_NUMERIC) == 19);

struct DBDATE {
  SHORT year;
  USHORT month;
  USHORT day;
};
struct DBTIME {
  USHORT hour;
  USHORT minute;
  USHORT second;
};
// fraction: billionths of a second.
struct DBTIMESTAMP {
  SHORT year;
  USHORT month;
  USHORT day;
  USHORT hour;
  USHORT minute;
  USHORT second;
  ULONG fraction;
};

struct DBOBJECT {
  DWORD dwFlags;
  IID iid;
};

// One column bound by an accessor: where its value, length and status sit in
// the row buffer, and the type the consumer wants it in.
struct DBBINDING {
  DBORDINAL iOrdinal;
  DBBYTEOFFSET obValue;
  DBBYTEOFFSET obLength;
  DBBYTEOFFSET obStatus;
  void* pTypeInfo;
  DBOBJECT* pObject;
  void* pBindExt;
  DBPART dwPart;
  DBMEMOWNER dwMemOwner;
  DBPARAMIO eParamIO;
  DBLENGTH cbMaxLen;
  DWORD dwFlags;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
};

// A column as a rowset describes it. ulColumnSize: characters for text,
// bytes for binary, the fixed size of other types.
struct DBCOLUMNINFO {
  LPOLESTR pwszName;
  void* pTypeInfo;
  DBORDINAL iOrdinal;
  DBCOLUMNFLAGS dwFlags;
  DBLENGTH ulColumnSize;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
  DBID columnid;
};

// Properties.
struct DBPROP {
  DBPROPID dwPropertyID;
  DBPROPOPTIONS dwOptions;
  DBPROPSTATUS dwStatus;
  DBID colid;
  VARIANT vValue;
};
struct DBPROPSET {
  DBPROP* rgProperties;
  ULONG cProperties;
  GUID guidPropertySet;
};
struct DBPROPIDSET {
  DBPROPID* rgPropertyIDs;
  ULONG cPropertyIDs;
  GUID guidPropertySet;
};

// A column to create.
struct DBCOLUMNDESC {
  LPOLESTR pwszTypeName;
  void* pTypeInfo;
  DBPROPSET* rgPropertySets;
  CLSID* pclsid;
  ULONG cPropertySets;
  DBLENGTH ulColumnSize;
  DBID dbcid;
  DBTYPE wType;
  BYTE bPrecision;
  BYTE bScale;
};

constexpr DWORD DBINDEX_COL_ORDER_ASC = 0;
constexpr DWORD DBINDEX_COL_ORDER_DESC = 1;
struct DBINDEXCOLUMNDESC {
  DBID* pColumnID;
  DWORD eIndexColOrder;
};

struct DBPARAMS {
  void* pData;
  DB_UPARAMS cParamSets;
  HACCESSOR hAccessor;
};

// One error record's basic information.
struct ERRORINFO {
  HRESULT hrError;
  DWORD dwMinor;
  CLSID clsid;
  IID iid;
  LONG dispid;
};

constexpr DBPROPOPTIONS DBPROPOPTIONS_REQUIRED = 0;
constexpr DBPROPOPTIONS DBPROPOPTIONS_OPTIONAL = 1;
constexpr DBPROPSTATUS DBPROPSTATUS_OK = 0;
constexpr DBPROPSTATUS DBPROPSTATUS_NOTSUPPORTED = 1;
constexpr DBPROPSTATUS DBPROPSTATUS_BADVALUE = 2;

// Property identifiers.
constexpr DBPROPID DBPROP_AUTH_INTEGRATED = 0x07;
constexpr DBPROPID DBPROP_AUTH_PASSWORD = 0x09;
constexpr DBPROPID DBPROP_AUTH_USERID = 0x0C;
constexpr DBPROPID DBPROP_COL_AUTOINCREMENT = 0x1A;
constexpr DBPROPID DBPROP_COL_DEFAULT = 0x1B;
constexpr DBPROPID DBPROP_COL_NULLABLE = 0x1D;
constexpr DBPROPID DBPROP_COL_UNIQUE = 0x1F;
constexpr DBPROPID DBPROP_COL_PRIMARYKEY = 0x1E;
constexpr DBPROPID DBPROP_INDEX_CLUSTERED = 0x31;
constexpr DBPROPID DBPROP_INDEX_PRIMARYKEY = 0x36;
constexpr DBPROPID DBPROP_INDEX_UNIQUE = 0x39;
constexpr DBPROPID DBPROP_INIT_DATASOURCE = 0x3B;
constexpr DBPROPID DBPROP_INIT_TIMEOUT = 0x42;
constexpr DBPROPID DBPROP_UPDATABILITY = 0x77;
constexpr DBPROPID DBPROP_IRowsetChange = 0x7D;
constexpr DBPROPID DBPROP_INIT_CATALOG = 0xE9;
constexpr DBPROPID SSPROP_ENABLEFASTLOAD = 2;
constexpr DBPROPID SSPROP_FASTLOADKEEPIDENTITY = 11;
constexpr DBPROPID SSPROP_IRowsetFastLoad = 14;
constexpr LONG DBPROPVAL_UP_CHANGE = 0x1;
constexpr LONG DBPROPVAL_UP_DELETE = 0x2;
constexpr LONG DBPROPVAL_UP_INSERT = 0x4;

// {C8B5xxxx-5CF3-11CE-ADE5-00AA0044773D}
constexpr GUID oledb_c8_guid(std::uint32_t data1) {
  return GUID{data1, 0x5CF3, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
}
// {0C733Axx-2A1C-11CE-ADE5-00AA0044773D}
constexpr GUID oledb_0c_guid(std::uint32_t data1) {
  return GUID{data1, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
}

constexpr IID IID_NULL = GUID_NULL;
constexpr GUID DB_NULLGUID = GUID_NULL;
constexpr GUID DBGUID_DBSQL = oledb_c8_guid(0xC8B521FB);
constexpr GUID DBGUID_DEFAULT = oledb_c8_guid(0xC8B521FB);
constexpr GUID DBSCHEMA_TABLES = oledb_c8_guid(0xC8B52229);
constexpr GUID DBSCHEMA_INDEXES = oledb_c8_guid(0xC8B5221E);
constexpr GUID DBSCHEMA_PRIMARY_KEYS = oledb_c8_guid(0xC8B522C5);
constexpr GUID DBSCHEMA_FOREIGN_KEYS = oledb_c8_guid(0xC8B522C4);
constexpr GUID DBPROPSET_COLUMN = oledb_c8_guid(0xC8B522B9);
constexpr GUID DBPROPSET_DBINIT = oledb_c8_guid(0xC8B522BC);
constexpr GUID DBPROPSET_INDEX = oledb_c8_guid(0xC8B522BD);
constexpr GUID DBPROPSET_ROWSET = oledb_c8_guid(0xC8B522BE);
constexpr GUID DBPROPSET_SQLSERVERDATASOURCE{0x28EFAEE4, 0x2D2C, 0x11D1, {0x98, 0x07, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};
constexpr GUID DBPROPSET_SQLSERVERROWSET{0x5CF4CA11, 0xEF21, 0x11D0, {0x97, 0xE7, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};

// The data-conversion library and the service component that builds data
// sources from connection strings.
constexpr CLSID CLSID_OLEDB_CONVERSIONLIBRARY = oledb_c8_guid(0xC8B522D1);
constexpr CLSID CLSID_MSDAINITIALIZE{0x2206CDB0, 0x19C1, 0x11D1, {0x89, 0xE0, 0x00, 0xC0, 0x4F, 0xD7, 0xA8, 0x29}};
// The SQL Server provider ("sqloledb").
constexpr CLSID CLSID_SQLOLEDB{0x0C7FF16C, 0x38E3, 0x11D0, {0x97, 0xAB, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};

// Result codes.
constexpr HRESULT oledb_error(std::uint32_t low) { return static_cast<HRESULT>(0x80040000u | low); }
constexpr HRESULT DB_E_BADACCESSORHANDLE = oledb_error(0x0E00);
constexpr HRESULT DB_E_BADCHAPTER = oledb_error(0x0E97);
constexpr HRESULT DB_E_SCHEMAVIOLATION = oledb_error(0x0E03);
constexpr HRESULT DB_E_BADROWHANDLE = oledb_error(0x0E04);
constexpr HRESULT DB_E_CANTCONVERTVALUE = oledb_error(0x0E07);
constexpr HRESULT DB_E_BADBINDINFO = oledb_error(0x0E08);
constexpr HRESULT DB_SEC_E_PERMISSIONDENIED = oledb_error(0x0E09);
constexpr HRESULT DB_E_NOCOMMAND = oledb_error(0x0E0C);
constexpr HRESULT DB_E_BADCOLUMNID = oledb_error(0x0E11);
constexpr HRESULT DB_E_ERRORSINCOMMAND = oledb_error(0x0E14);
constexpr HRESULT DB_E_UNSUPPORTEDCONVERSION = oledb_error(0x0E1D);
constexpr HRESULT DB_E_ERRORSOCCURRED = oledb_error(0x0E21);
constexpr HRESULT DB_E_NOAGGREGATION = oledb_error(0x0E22);
constexpr HRESULT DB_E_INTEGRITYVIOLATION = oledb_error(0x0E2F);
constexpr HRESULT DB_E_BADTYPENAME = oledb_error(0x0E30);
constexpr HRESULT DB_E_DUPLICATEINDEXID = oledb_error(0x0E34);
constexpr HRESULT DB_E_NOINDEX = oledb_error(0x0E35);
constexpr HRESULT DB_E_NOTABLE = oledb_error(0x0E37);
constexpr HRESULT DB_E_BADPRECISION = oledb_error(0x0E3A);
constexpr HRESULT DB_E_BADSCALE = oledb_error(0x0E3B);
constexpr HRESULT DB_E_BADTABLEID = oledb_error(0x0E3C);
constexpr HRESULT DB_E_BADTYPE = oledb_error(0x0E3D);
constexpr HRESULT DB_E_DUPLICATECOLUMNID = oledb_error(0x0E3E);
constexpr HRESULT DB_E_DUPLICATETABLEID = oledb_error(0x0E3F);
constexpr HRESULT DB_SEC_E_AUTH_FAILED = oledb_error(0x0E4D);
constexpr HRESULT DB_E_ALREADYINITIALIZED = oledb_error(0x0E52);
constexpr HRESULT DB_E_NOTSUPPORTED = oledb_error(0x0E53);
constexpr HRESULT DB_E_DATAOVERFLOW = oledb_error(0x0E57);
constexpr HRESULT DB_E_BADORDINAL = oledb_error(0x0E55);
constexpr HRESULT DB_E_NOTFOUND = oledb_error(0x0E19);
constexpr HRESULT DB_S_ENDOFROWSET = static_cast<HRESULT>(0x00040EC6);
constexpr HRESULT DB_S_ERRORSOCCURRED = static_cast<HRESULT>(0x00040EDA);
constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009);
