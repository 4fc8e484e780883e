// The data-access objects: the engine, databases, table and query definitions,
// recordsets, fields, indexes and errors, as reference-counted interfaces whose
// operations return HRESULTs. A failing operation records its error in the
// engine's Errors collection (item 0 is the latest) and returns E_FAIL.
// Out-parameters: a BSTR or VARIANT belongs to the caller, an interface carries a
// reference the caller releases. Collections take an item by index (VT_I2/VT_I4)
// or by name (VT_BSTR, case ignored).
#pragma once

#include "platform/com/com_base.h"
#include "platform/oleaut/oleaut.h"

// Class identifiers of the engine versions, and the engine interfaces.
// {00000100-0000-0010-8000-00AA006D2EA4} DAO 3.6
constexpr CLSID CLSID_DBEngine36{0x00000100, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
// {00000010-0000-0010-8000-00AA006D2EA4} DAO 3.5
constexpr CLSID CLSID_DBEngine35{0x00000010, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
// {00025E15-0000-0000-C000-000000000046} DAO 3.0
constexpr CLSID CLSID_DBEngine30{0x00025E15, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {CD7791B9-43FD-42C5-AE42-8DD2811F0419} ACE DAO 12.0
constexpr CLSID CLSID_DBEngine120{0xCD7791B9, 0x43FD, 0x42C5, {0xAE, 0x42, 0x8D, 0xD2, 0x81, 0x1F, 0x04, 0x19}};
// {00000021-0000-0010-8000-00AA006D2EA4}
constexpr IID IID_DBEngine{0x00000021, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
// {00025E17-0000-0000-C000-000000000046} (DAO 3.0)
constexpr IID IID_DBEngine30{0x00025E17, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class DAOError;
class DAOErrors;
class DAODatabase;
class DAOTableDefs;
class DAOTableDef;
class DAOQueryDefs;
class DAOQueryDef;
class DAORecordset;
class DAOFields;
class DAOField;
class DAOIndexes;
class DAOIndex;

class DAOError : public IUnknown {
 public:
  virtual HRESULT get_Number(long* out) = 0;
  virtual HRESULT get_Description(BSTR* out) = 0;
};

class DAOErrors : public IUnknown {
 public:
  virtual HRESULT get_Count(short* out) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOError** out) = 0;
};

class DAODBEngine : public IUnknown {
 public:
  // Options: exclusive; ReadOnly; Connect: "Excel 5.0;[ HDR=No;][ IMEX=1;]" opens
  // a workbook (recognised by its content), anything else (";pwd=..." or empty)
  // an Access-style database file.
  virtual HRESULT OpenDatabase(BSTR name, VARIANT options, VARIANT read_only, VARIANT connect,
                               DAODatabase** out) = 0;
  virtual HRESULT CreateDatabase(BSTR name, BSTR locale, VARIANT option, DAODatabase** out) = 0;
  virtual HRESULT get_Errors(DAOErrors** out) = 0;
};

class DAODatabase : public IUnknown {
 public:
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_TableDefs(DAOTableDefs** out) = 0;
  virtual HRESULT get_QueryDefs(DAOQueryDefs** out) = 0;
  // An empty name makes a temporary query definition.
  virtual HRESULT CreateQueryDef(VARIANT name, VARIANT sql, DAOQueryDef** out) = 0;
  virtual HRESULT CreateTableDef(VARIANT name, VARIANT attributes, VARIANT source_table, VARIANT connect,
                                 DAOTableDef** out) = 0;
  virtual HRESULT Close() = 0;
};

class DAOTableDefs : public IUnknown {
 public:
  virtual HRESULT get_Count(short* out) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOTableDef** out) = 0;
  // Creates the table of a new definition in the database.
  virtual HRESULT Append(DAOTableDef* table) = 0;
  virtual HRESULT Delete(BSTR name) = 0;
};

class DAOTableDef : public IUnknown {
 public:
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_Attributes(long* out) = 0;
  virtual HRESULT get_RecordCount(long* out) = 0;
  virtual HRESULT get_Fields(DAOFields** out) = 0;
  virtual HRESULT get_Indexes(DAOIndexes** out) = 0;
  virtual HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, DAOField** out) = 0;
  virtual HRESULT CreateIndex(VARIANT name, DAOIndex** out) = 0;
};

class DAOQueryDefs : public IUnknown {
 public:
  virtual HRESULT get_Count(short* out) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOQueryDef** out) = 0;
};

class DAOQueryDef : public IUnknown {
 public:
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_SQL(BSTR* out) = 0;
  virtual HRESULT get_Fields(DAOFields** out) = 0;
  // type: dbOpenDynaset (2) and the others; options: dbReadOnly (4),
  // dbAppendOnly (8) or dbDenyWrite (1).
  virtual HRESULT OpenRecordset(VARIANT type, VARIANT options, VARIANT lock_edit, DAORecordset** out) = 0;
};

class DAORecordset : public IUnknown {
 public:
  virtual HRESULT get_EOF(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_BOF(VARIANT_BOOL* out) = 0;
  virtual HRESULT MoveFirst() = 0;
  virtual HRESULT MoveNext() = 0;
  virtual HRESULT MovePrevious() = 0;
  // The fields of the current record (their values taken when asked).
  virtual HRESULT get_Fields(DAOFields** out) = 0;
  virtual HRESULT AddNew() = 0;
  virtual HRESULT put_Collect(VARIANT item, VARIANT value) = 0;
  virtual HRESULT Update() = 0;
  virtual HRESULT Close() = 0;
};

class DAOFields : public IUnknown {
 public:
  virtual HRESULT get_Count(short* out) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOField** out) = 0;
  virtual HRESULT Append(DAOField* field) = 0;
};

class DAOField : public IUnknown {
 public:
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_Type(short* out) = 0;
  virtual HRESULT get_Size(long* out) = 0;
  virtual HRESULT get_Required(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_Required(VARIANT_BOOL value) = 0;
  virtual HRESULT get_Attributes(long* out) = 0;
  virtual HRESULT put_Attributes(long value) = 0;
  // A field of a table or query definition gives VT_EMPTY.
  virtual HRESULT get_Value(VARIANT* out) = 0;
  virtual HRESULT get_DefaultValue(VARIANT* out) = 0;
  virtual HRESULT put_DefaultValue(VARIANT value) = 0;
  virtual HRESULT get_AllowZeroLength(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_AllowZeroLength(VARIANT_BOOL value) = 0;
};

class DAOIndexes : public IUnknown {
 public:
  virtual HRESULT get_Count(short* out) = 0;
  virtual HRESULT get_Item(VARIANT item, DAOIndex** out) = 0;
  virtual HRESULT Append(DAOIndex* index) = 0;
};

class DAOIndex : public IUnknown {
 public:
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_Primary(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_Primary(VARIANT_BOOL value) = 0;
  virtual HRESULT get_Unique(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_Unique(VARIANT_BOOL value) = 0;
  virtual HRESULT get_Fields(DAOFields** out) = 0;
  virtual HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, DAOField** out) = 0;
};

// Registers our engine under the class identifiers of ACE DAO 12.0 and DAO 3.6
// (the versions callers try); tests may withdraw them with withdraw_com_class.
void register_dao_engine();
