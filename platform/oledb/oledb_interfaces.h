// The OLE DB interfaces the system calls, with their identifiers. Signatures
// are plain C++; memory the provider hands out (column information, name
// buffers, error texts) is task memory the caller frees with CoTaskMemFree or
// SysFreeString, as noted at each call.
#pragma once

#include "platform/oledb/oledb_types.h"

constexpr IID IID_IColumnsInfo = oledb_0c_guid(0x0C733A11);
constexpr IID IID_IDBCreateCommand = oledb_0c_guid(0x0C733A1D);
constexpr IID IID_ICommandText = oledb_0c_guid(0x0C733A27);
constexpr IID IID_ISequentialStream = oledb_0c_guid(0x0C733A30);
constexpr IID IID_IDBCreateSession = oledb_0c_guid(0x0C733A5D);
constexpr IID IID_ICommand = oledb_0c_guid(0x0C733A63);
constexpr IID IID_IErrorRecords = oledb_0c_guid(0x0C733A67);
constexpr IID IID_IIndexDefinition = oledb_0c_guid(0x0C733A68);
constexpr IID IID_IOpenRowset = oledb_0c_guid(0x0C733A69);
constexpr IID IID_ISQLErrorInfo = oledb_0c_guid(0x0C733A74);
constexpr IID IID_IDBSchemaRowset = oledb_0c_guid(0x0C733A7B);
constexpr IID IID_IRowset = oledb_0c_guid(0x0C733A7C);
constexpr IID IID_ITableDefinition = oledb_0c_guid(0x0C733A86);
constexpr IID IID_IDBProperties = oledb_0c_guid(0x0C733A8A);
constexpr IID IID_IDBInitialize = oledb_0c_guid(0x0C733A8B);
constexpr IID IID_IAccessor = oledb_0c_guid(0x0C733A8C);
constexpr IID IID_IDataConvert = oledb_0c_guid(0x0C733A8D);
constexpr IID IID_IRowsetFastLoad{0x5CF4CA13, 0xEF21, 0x11D0, {0x97, 0xE7, 0x00, 0xC0, 0x4F, 0xC2, 0xAD, 0x98}};
constexpr IID IID_IDataInitialize{0x2206CCB1, 0x19C1, 0x11D1, {0x89, 0xE0, 0x00, 0xC0, 0x4F, 0xD7, 0xA8, 0x29}};
constexpr IID IID_IErrorInfo{0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

class ISequentialStream : public IUnknown {
 public:
  virtual HRESULT Read(void* destination, ULONG count, ULONG* read) = 0;
  virtual HRESULT Write(const void* source, ULONG count, ULONG* written) = 0;
};

// Error objects. Texts come back as BSTRs the caller frees.
class IErrorInfo : public IUnknown {
 public:
  virtual HRESULT GetGUID(GUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* file) = 0;
  virtual HRESULT GetHelpContext(DWORD* context) = 0;
};

class IErrorRecords : public IUnknown {
 public:
  virtual HRESULT AddErrorRecord(ERRORINFO* info, DWORD lookup_id, void* params, IUnknown* custom, DWORD dynamic_id) = 0;
  virtual HRESULT GetBasicErrorInfo(ULONG record, ERRORINFO* info) = 0;
  virtual HRESULT GetCustomErrorObject(ULONG record, REFIID iid, IUnknown** object) = 0;
  virtual HRESULT GetErrorInfo(ULONG record, LCID locale, IErrorInfo** info) = 0;
  virtual HRESULT GetErrorParameters(ULONG record, void* params) = 0;
  virtual HRESULT GetRecordCount(ULONG* count) = 0;
};

class ISQLErrorInfo : public IUnknown {
 public:
  // state: five-character SQL state (BSTR, caller frees); native: the server's error number.
  virtual HRESULT GetSQLInfo(BSTR* state, LONG* native) = 0;
};

// Data sources.
class IDBInitialize : public IUnknown {
 public:
  virtual HRESULT Initialize() = 0;
  virtual HRESULT Uninitialize() = 0;
};

class IDBProperties : public IUnknown {
 public:
  // Only SetProperties is used by the system; the others answer E_NOTIMPL.
  virtual HRESULT GetProperties(ULONG count, const DBPROPIDSET* ids, ULONG* set_count, DBPROPSET** sets) = 0;
  virtual HRESULT SetProperties(ULONG count, DBPROPSET* sets) = 0;
};

class IDBCreateSession : public IUnknown {
 public:
  virtual HRESULT CreateSession(IUnknown* outer, REFIID iid, IUnknown** session) = 0;
};

class IDataInitialize : public IUnknown {
 public:
  virtual HRESULT GetDataSource(IUnknown* outer, DWORD context, LPCOLESTR connection_string, REFIID iid,
                                IUnknown** data_source) = 0;
};

// Sessions.
class IOpenRowset : public IUnknown {
 public:
  virtual HRESULT OpenRowset(IUnknown* outer, DBID* table, DBID* index, REFIID iid, ULONG set_count,
                             DBPROPSET* sets, IUnknown** rowset) = 0;
};

class IDBCreateCommand : public IUnknown {
 public:
  virtual HRESULT CreateCommand(IUnknown* outer, REFIID iid, IUnknown** command) = 0;
};

class IDBSchemaRowset : public IUnknown {
 public:
  // Restrictions are VT_EMPTY (none) or VT_BSTR (an exact match).
  virtual HRESULT GetRowset(IUnknown* outer, REFGUID schema, ULONG restriction_count, const VARIANT* restrictions,
                            REFIID iid, ULONG set_count, DBPROPSET* sets, IUnknown** rowset) = 0;
  virtual HRESULT GetSchemas(ULONG* count, GUID** schemas, ULONG** restriction_support) = 0;
};

class ITableDefinition : public IUnknown {
 public:
  virtual HRESULT CreateTable(IUnknown* outer, DBID* table, DBORDINAL column_count, const DBCOLUMNDESC* columns,
                              REFIID iid, ULONG set_count, DBPROPSET* sets, DBID** new_table, IUnknown** rowset) = 0;
  virtual HRESULT DropTable(DBID* table) = 0;
  virtual HRESULT AddColumn(DBID* table, DBCOLUMNDESC* column, DBID** new_column) = 0;
  virtual HRESULT DropColumn(DBID* table, DBID* column) = 0;
};

class IIndexDefinition : public IUnknown {
 public:
  virtual HRESULT CreateIndex(DBID* table, DBID* index, DBORDINAL column_count, const DBINDEXCOLUMNDESC* columns,
                              ULONG set_count, DBPROPSET* sets, DBID** new_index) = 0;
  virtual HRESULT DropIndex(DBID* table, DBID* index) = 0;
};

// Commands.
class ICommand : public IUnknown {
 public:
  virtual HRESULT Cancel() = 0;
  virtual HRESULT Execute(IUnknown* outer, REFIID iid, DBPARAMS* params, DBROWCOUNT* rows_affected,
                          IUnknown** rowset) = 0;
  virtual HRESULT GetDBSession(REFIID iid, IUnknown** session) = 0;
};

class ICommandText : public ICommand {
 public:
  // text: the caller's; the command keeps a copy.
  virtual HRESULT GetCommandText(GUID* dialect, LPOLESTR* text) = 0;
  virtual HRESULT SetCommandText(REFGUID dialect, LPCOLESTR text) = 0;
};

// Rowsets.
class IRowset : public IUnknown {
 public:
  virtual HRESULT AddRefRows(DBCOUNTITEM count, const HROW* rows, DBREFCOUNT* ref_counts, DWORD* status) = 0;
  virtual HRESULT GetData(HROW row, HACCESSOR accessor, void* data) = 0;
  // rows: *rows null asks the rowset to allocate the handle array (CoTaskMemFree).
  virtual HRESULT GetNextRows(HCHAPTER chapter, DBROWOFFSET offset, DBROWCOUNT count, DBCOUNTITEM* obtained,
                              HROW** rows) = 0;
  virtual HRESULT ReleaseRows(DBCOUNTITEM count, const HROW* rows, DWORD* options, DBREFCOUNT* ref_counts,
                              DWORD* status) = 0;
  virtual HRESULT RestartPosition(HCHAPTER chapter) = 0;
};

class IColumnsInfo : public IUnknown {
 public:
  // columns and names: task memory the caller frees (CoTaskMemFree); the
  // names point into the names buffer.
  virtual HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** columns, OLECHAR** names) = 0;
  virtual HRESULT MapColumnIDs(DBORDINAL count, const DBID* ids, DBORDINAL* ordinals) = 0;
};

class IAccessor : public IUnknown {
 public:
  virtual HRESULT AddRefAccessor(HACCESSOR accessor, DBREFCOUNT* count) = 0;
  virtual HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING* bindings,
                                 DBLENGTH row_size, HACCESSOR* accessor, DBBINDSTATUS* status) = 0;
  virtual HRESULT GetBindings(HACCESSOR accessor, DBACCESSORFLAGS* flags, DBCOUNTITEM* count,
                              DBBINDING** bindings) = 0;
  virtual HRESULT ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* count) = 0;
};

class IRowsetFastLoad : public IUnknown {
 public:
  virtual HRESULT InsertRow(HACCESSOR accessor, void* data) = 0;
  // done false: commits the rows so far and goes on; true: commits and ends.
  virtual HRESULT Commit(bool done) = 0;
};

// The data-conversion library.
using DBDATACONVERT = DWORD;
constexpr DBDATACONVERT DBDATACONVERT_DEFAULT = 0;
class IDataConvert : public IUnknown {
 public:
  virtual HRESULT DataConvert(DBTYPE source_type, DBTYPE target_type, DBLENGTH source_length,
                              DBLENGTH* target_length, const void* source, void* target, DBLENGTH target_max_length,
                              DBSTATUS source_status, DBSTATUS* target_status, BYTE precision, BYTE scale,
                              DBDATACONVERT flags) = 0;
  virtual HRESULT CanConvert(DBTYPE source_type, DBTYPE target_type) = 0;
  virtual HRESULT GetConversionSize(DBTYPE source_type, DBTYPE target_type, DBLENGTH* source_length,
                                    DBLENGTH* target_length, const void* source) = 0;
};
