#include "platform/tds/tds_provider.h"

#include <cstdio>
#include <cstring>
#include <cwctype>
#include <memory>
#include <mutex>

#include "TK/tk_trace.h"
#include "platform/com/com_memory.h"
#include "platform/com/com_runtime.h"
#include "platform/oleaut/bstr.h"
#include "platform/oleaut/numeric.h"
#include "platform/oleaut/variant.h"
#include "platform/oledb/connection_string.h"
#include "platform/oledb/data_convert.h"
#include "platform/oledb/data_initialize.h"
#include "platform/oledb/error_info.h"
#include "platform/oledb/text16.h"
#include "platform/tds/tds_cells.h"
#include "platform/tds/tds_error.h"
#include "platform/tds/tds_fast_load.h"
#include "platform/tds/tds_objects.h"
#include "platform/tds/tds_rowset.h"
#include "platform/tds/tds_schema.h"
#include "platform/tds/tds_sql.h"

namespace {

const wchar_t* const source_name = L"Microsoft OLE DB Provider for SQL Server";

std::wstring dbid_name(const DBID* id) {
  return id && id->eKind == DBKIND_NAME && id->uName.pwszName ? std::wstring(id->uName.pwszName) : std::wstring();
}

// A property's boolean value (VT_BOOL), or fallback.
bool prop_bool(const DBPROP& p, bool fallback) { return p.vValue.vt == VT_BOOL ? p.vValue.boolVal != 0 : fallback; }

std::wstring prop_text(const DBPROP& p) { return p.vValue.vt == VT_BSTR ? bstr_text(p.vValue.bstrVal) : L""; }

// The default of a column as a T-SQL expression.
std::wstring default_expression(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY: case VT_NULL: return L"";
    case VT_BSTR: return bstr_text(v.bstrVal);  // already an expression: 'text', N'text', a number
    case VT_BOOL: return v.boolVal ? L"1" : L"0";
    case VT_DECIMAL: return decimal_to_text(v.decVal);
    case VT_CY: return cy_to_text(v.cyVal);
    case VT_R8: {
      char text[64];
      std::snprintf(text, sizeof text, "%.17g", v.dblVal);
      return utf8_to_wide(text);
    }
    default: {
      VARIANT text;
      VariantInit(&text);
      std::wstring out;
      if (SUCCEEDED(VariantChangeType(&text, &v, 0, VT_BSTR))) out = bstr_text(text.bstrVal);
      VariantClear(&text);
      return out;
    }
  }
}

// The T-SQL type of a column to create.
std::wstring column_type(const DBCOLUMNDESC& c) {
  if (c.pwszTypeName && *c.pwszTypeName) return c.pwszTypeName;
  auto sized = [](const wchar_t* name, DBLENGTH size, DBLENGTH max) {
    if (size == 0 || size > max) return std::wstring(name) + L"(max)";
    return std::wstring(name) + L"(" + std::to_wstring(size) + L")";
  };
  switch (c.wType) {
    case DBTYPE_I1: case DBTYPE_I2: return L"smallint";
    case DBTYPE_I4: case DBTYPE_UI2: return L"int";
    case DBTYPE_I8: case DBTYPE_UI4: return L"bigint";
    case DBTYPE_UI8: return L"decimal(20,0)";
    case DBTYPE_UI1: return L"tinyint";
    case DBTYPE_R4: return L"real";
    case DBTYPE_R8: return L"float";
    case DBTYPE_CY: return L"money";
    case DBTYPE_BOOL: return L"bit";
    case DBTYPE_DATE: case DBTYPE_DBTIMESTAMP: return L"datetime";
    case DBTYPE_DBDATE: return L"date";
    case DBTYPE_DBTIME: return L"time";
    case DBTYPE_GUID: return L"uniqueidentifier";
    case DBTYPE_NUMERIC: case DBTYPE_DECIMAL: {
      int p = c.bPrecision ? c.bPrecision : 18;
      return L"decimal(" + std::to_wstring(p) + L"," + std::to_wstring(c.bScale) + L")";
    }
    case DBTYPE_STR: return sized(L"varchar", c.ulColumnSize, 8000);
    case DBTYPE_BYTES: return sized(L"varbinary", c.ulColumnSize, 8000);
    default: return sized(L"nvarchar", c.ulColumnSize, 4000);
  }
}

class data_source;

// A session: one connection.
class session : public com_unknown<IOpenRowset, IDBCreateCommand, IDBSchemaRowset, ITableDefinition, IIndexDefinition> {
 public:
  session(std::shared_ptr<tds_link> link) : link_(std::move(link)) {}

  HRESULT OpenRowset(IUnknown* outer, DBID* table, DBID*, REFIID iid, ULONG set_count, DBPROPSET* sets,
                     IUnknown** rowset) override {
    if (outer) return DB_E_NOAGGREGATION;
    if (!table) return E_INVALIDARG;
    bool fast_load = iid == IID_IRowsetFastLoad;
    for (ULONG i = 0; i < set_count; ++i)
      if (sets[i].guidPropertySet == DBPROPSET_SQLSERVERROWSET)
        for (ULONG k = 0; k < sets[i].cProperties; ++k)
          if (sets[i].rgProperties[k].dwPropertyID == SSPROP_IRowsetFastLoad)
            fast_load = fast_load || prop_bool(sets[i].rgProperties[k], false);
    tsql_object_name name = tsql_parse_name(dbid_name(table));
    if (name.name.empty()) return oledb_fail(DB_E_NOTABLE, L"No table name was given.", source_name);
    if (fast_load) return tds_open_fast_load(*link_, name, iid, rowset);
    return tds_open_table(link_, name, iid, rowset);
  }

  HRESULT CreateCommand(IUnknown* outer, REFIID iid, IUnknown** command) override;

  HRESULT GetRowset(IUnknown* outer, REFGUID schema, ULONG count, const VARIANT* restrictions, REFIID iid, ULONG,
                    DBPROPSET*, IUnknown** rowset) override {
    if (outer) return DB_E_NOAGGREGATION;
    return tds_schema_rowset(*link_, schema, count, restrictions, iid, rowset);
  }
  HRESULT GetSchemas(ULONG*, GUID**, ULONG**) override { return E_NOTIMPL; }

  HRESULT CreateTable(IUnknown* outer, DBID* table, DBORDINAL count, const DBCOLUMNDESC* columns, REFIID iid,
                      ULONG, DBPROPSET*, DBID** new_table, IUnknown** rowset) override {
    if (outer) return DB_E_NOAGGREGATION;
    if (new_table) *new_table = nullptr;
    if (rowset) *rowset = nullptr;
    tsql_object_name name = tsql_parse_name(dbid_name(table));
    if (name.name.empty()) return oledb_fail(DB_E_BADTABLEID, L"Invalid table ID.", source_name);
    if (count == 0 || !columns) return oledb_fail(DB_E_BADCOLUMNID, L"A table needs a column.", source_name);
    std::vector<tsql_column> list;
    for (DBORDINAL i = 0; i < count; ++i) {
      const DBCOLUMNDESC& c = columns[i];
      tsql_column column;
      column.name = tsql_parse_name(dbid_name(&c.dbcid)).name;
      if (column.name.empty()) return oledb_fail(DB_E_BADCOLUMNID, L"Invalid column ID.", source_name);
      column.type = column_type(c);
      for (ULONG s = 0; s < c.cPropertySets; ++s) {
        const DBPROPSET& set = c.rgPropertySets[s];
        if (set.guidPropertySet != DBPROPSET_COLUMN) continue;
        for (ULONG k = 0; k < set.cProperties; ++k) {
          const DBPROP& p = set.rgProperties[k];
          if (p.dwPropertyID == DBPROP_COL_AUTOINCREMENT) column.identity = prop_bool(p, false);
          if (p.dwPropertyID == DBPROP_COL_NULLABLE) column.nullable = prop_bool(p, true);
          if (p.dwPropertyID == DBPROP_COL_DEFAULT) column.default_value = default_expression(p.vValue);
        }
      }
      if (column.identity) column.nullable = false;
      list.push_back(std::move(column));
    }
    tds_clear_messages();
    if (!link_->run(tsql_create_table(name, list))) return tds_fail();
    if (rowset) return tds_open_table(link_, name, iid == IID_NULL ? IID_IRowset : iid, rowset);
    return S_OK;
  }
  HRESULT DropTable(DBID* table) override {
    // The name as given: a bracketed name is read as such, a plain one is the name itself.
    tsql_object_name name = tsql_parse_name(dbid_name(table));
    if (name.name.empty()) return oledb_fail(DB_E_BADTABLEID, L"Invalid table ID.", source_name);
    tds_clear_messages();
    if (!link_->run(tsql_drop_table(name))) return tds_fail();
    return S_OK;
  }
  HRESULT AddColumn(DBID*, DBCOLUMNDESC*, DBID**) override { return E_NOTIMPL; }
  HRESULT DropColumn(DBID*, DBID*) override { return E_NOTIMPL; }

  HRESULT CreateIndex(DBID* table, DBID* index, DBORDINAL count, const DBINDEXCOLUMNDESC* columns, ULONG set_count,
                      DBPROPSET* sets, DBID** new_index) override {
    if (new_index) *new_index = nullptr;
    tsql_object_name name = tsql_parse_name(dbid_name(table));
    std::wstring index_name = tsql_parse_name(dbid_name(index)).name;
    if (name.name.empty()) return oledb_fail(DB_E_NOTABLE, L"Invalid table ID.", source_name);
    if (index_name.empty() || count == 0 || !columns)
      return oledb_fail(DB_E_BADCOLUMNID, L"Invalid index.", source_name);
    bool primary = false, unique = false, clustered = false;
    for (ULONG s = 0; s < set_count; ++s) {
      if (sets[s].guidPropertySet != DBPROPSET_INDEX) continue;
      for (ULONG k = 0; k < sets[s].cProperties; ++k) {
        const DBPROP& p = sets[s].rgProperties[k];
        if (p.dwPropertyID == DBPROP_INDEX_PRIMARYKEY) primary = prop_bool(p, false);
        if (p.dwPropertyID == DBPROP_INDEX_UNIQUE) unique = prop_bool(p, false);
        if (p.dwPropertyID == DBPROP_INDEX_CLUSTERED) clustered = prop_bool(p, false);
      }
    }
    std::vector<std::wstring> names;
    for (DBORDINAL i = 0; i < count; ++i) {
      std::wstring column = tsql_parse_name(dbid_name(columns[i].pColumnID)).name;
      if (column.empty()) return oledb_fail(DB_E_BADCOLUMNID, L"Invalid column ID.", source_name);
      names.push_back(column);
    }
    tds_clear_messages();
    if (!link_->run(tsql_create_index(name, index_name, primary, unique, clustered, names))) return tds_fail();
    return S_OK;
  }
  HRESULT DropIndex(DBID*, DBID*) override { return E_NOTIMPL; }

  std::shared_ptr<tds_link> link() const { return link_; }

 protected:
  void* find(REFIID iid) override {
    if (iid == IID_IUnknown || iid == IID_IOpenRowset) return static_cast<IOpenRowset*>(this);
    if (iid == IID_IDBCreateCommand) return static_cast<IDBCreateCommand*>(this);
    if (iid == IID_IDBSchemaRowset) return static_cast<IDBSchemaRowset*>(this);
    if (iid == IID_ITableDefinition) return static_cast<ITableDefinition*>(this);
    if (iid == IID_IIndexDefinition) return static_cast<IIndexDefinition*>(this);
    return nullptr;
  }

 private:
  std::shared_ptr<tds_link> link_;
};

class command : public com_unknown<ICommandText> {
 public:
  explicit command(session* owner) : session_(owner) { session_->AddRef(); }

  HRESULT Cancel() override { return S_OK; }
  HRESULT Execute(IUnknown* outer, REFIID iid, DBPARAMS*, DBROWCOUNT* affected, IUnknown** rowset) override {
    if (outer) return DB_E_NOAGGREGATION;
    if (rowset) *rowset = nullptr;
    if (text_.empty()) return oledb_fail(DB_E_NOCOMMAND, L"No command text was set.", source_name);
    std::vector<tds_result> results;
    tds_clear_messages();
    if (!session_->link()->run(text_, &results)) return tds_fail();
    tds_clear_messages();
    if (affected) *affected = results.empty() ? -1 : static_cast<DBROWCOUNT>(results.back().rows_affected);
    if (iid == IID_NULL || !rowset) return S_OK;
    for (auto& r : results)
      if (!r.columns.empty()) return tds_make_rowset(std::move(r), iid, rowset);
    return S_OK;  // no rows: no rowset
  }
  HRESULT GetDBSession(REFIID iid, IUnknown** out) override {
    return session_->QueryInterface(iid, reinterpret_cast<void**>(out));
  }
  HRESULT GetCommandText(GUID* dialect, LPOLESTR* text) override {
    if (dialect) *dialect = DBGUID_DBSQL;
    if (!text) return E_INVALIDARG;
    *text = static_cast<LPOLESTR>(CoTaskMemAlloc((text_.size() + 1) * sizeof(OLECHAR)));
    std::memcpy(*text, text_.c_str(), (text_.size() + 1) * sizeof(OLECHAR));
    return S_OK;
  }
  HRESULT SetCommandText(REFGUID, LPCOLESTR text) override {
    text_ = text ? text : L"";
    return S_OK;
  }

 protected:
  ~command() override { session_->Release(); }
  void* find(REFIID iid) override {
    if (iid == IID_IUnknown || iid == IID_ICommand || iid == IID_ICommandText) return static_cast<ICommandText*>(this);
    return nullptr;
  }

 private:
  session* session_;
  std::wstring text_;
};

HRESULT session::CreateCommand(IUnknown* outer, REFIID iid, IUnknown** out) {
  if (outer) return DB_E_NOAGGREGATION;
  if (!out) return E_INVALIDARG;
  auto* c = new command(this);
  HRESULT hr = c->QueryInterface(iid, reinterpret_cast<void**>(out));
  c->Release();
  return hr;
}

class data_source : public com_unknown<IDBInitialize, IDBProperties, IDBCreateSession> {
 public:
  HRESULT Initialize() override {
    if (initialized_) return DB_E_ALREADYINITIALIZED;
    tds_login login;
    if (!tds_server_address(data_source_, login.server))
      return oledb_fail(E_FAIL, L"Invalid connection string attribute: Data Source=" + data_source_, source_name);
    login.user = wide_to_utf8(user_);
    login.password = wide_to_utf8(password_);
    login.database = wide_to_utf8(catalog_);
    login.integrated = integrated_;
    if (timeout_ > 0) login.login_timeout = timeout_;
    tds_clear_messages();
    auto link = std::make_shared<tds_link>(login);
    if (!link->is_open()) return tds_fail(E_FAIL);
    login_ = login;
    spare_ = std::move(link);
    initialized_ = true;
    tds_clear_messages();
    return S_OK;
  }
  HRESULT Uninitialize() override {
    spare_.reset();
    initialized_ = false;
    return S_OK;
  }

  HRESULT GetProperties(ULONG, const DBPROPIDSET*, ULONG*, DBPROPSET**) override { return E_NOTIMPL; }
  HRESULT SetProperties(ULONG count, DBPROPSET* sets) override {
    bool all = true;
    for (ULONG s = 0; s < count; ++s) {
      DBPROPSET& set = sets[s];
      for (ULONG k = 0; k < set.cProperties; ++k) {
        DBPROP& p = set.rgProperties[k];
        p.dwStatus = DBPROPSTATUS_OK;
        if (set.guidPropertySet == DBPROPSET_DBINIT && !initialized_) {
          switch (p.dwPropertyID) {
            case DBPROP_INIT_DATASOURCE: data_source_ = prop_text(p); continue;
            case DBPROP_AUTH_USERID: user_ = prop_text(p); continue;
            case DBPROP_AUTH_PASSWORD: password_ = prop_text(p); continue;
            case DBPROP_INIT_CATALOG: catalog_ = prop_text(p); continue;
            case DBPROP_AUTH_INTEGRATED: integrated_ = !prop_text(p).empty(); continue;
            case DBPROP_INIT_TIMEOUT: timeout_ = p.vValue.vt == VT_I4 ? p.vValue.lVal : 0; continue;
            default: break;
          }
        }
        // Every session can bulk-load: the switch is accepted as it is.
        if (set.guidPropertySet == DBPROPSET_SQLSERVERDATASOURCE && p.dwPropertyID == SSPROP_ENABLEFASTLOAD) continue;
        p.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
        all = false;
      }
    }
    return all ? S_OK : DB_E_ERRORSOCCURRED;
  }

  HRESULT CreateSession(IUnknown* outer, REFIID iid, IUnknown** out) override {
    if (outer) return DB_E_NOAGGREGATION;
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!initialized_) return E_UNEXPECTED;
    std::shared_ptr<tds_link> link = std::move(spare_);
    if (!link || link->is_dead()) {
      tds_clear_messages();
      link = std::make_shared<tds_link>(login_);
      if (!link->is_open()) return tds_fail(E_FAIL);
    }
    auto* s = new session(std::move(link));
    HRESULT hr = s->QueryInterface(iid, reinterpret_cast<void**>(out));
    s->Release();
    return hr;
  }

 protected:
  void* find(REFIID iid) override {
    if (iid == IID_IUnknown || iid == IID_IDBInitialize) return static_cast<IDBInitialize*>(this);
    if (iid == IID_IDBProperties) return static_cast<IDBProperties*>(this);
    if (iid == IID_IDBCreateSession) return static_cast<IDBCreateSession*>(this);
    return nullptr;
  }

 private:
  std::wstring data_source_, user_, password_, catalog_;
  bool integrated_ = false;
  int timeout_ = 0;
  bool initialized_ = false;
  tds_login login_;
  std::shared_ptr<tds_link> spare_;
};

}  // namespace

bool tds_server_address(const std::wstring& data_source, std::string& server) {
  std::wstring text = data_source;
  while (!text.empty() && text.front() == L' ') text.erase(0, 1);
  while (!text.empty() && text.back() == L' ') text.pop_back();
  if (text.size() > 4 && (text.compare(0, 4, L"tcp:") == 0 || text.compare(0, 4, L"TCP:") == 0)) text.erase(0, 4);
  std::wstring port;
  if (auto comma = text.find(L','); comma != std::wstring::npos) {
    port = text.substr(comma + 1);
    text.erase(comma);
    while (!port.empty() && port.front() == L' ') port.erase(0, 1);
    while (!text.empty() && text.back() == L' ') text.pop_back();
    if (port.empty() || port.size() > 5 || port.find_first_not_of(L"0123456789") != std::wstring::npos) return false;
    long n = std::wcstol(port.c_str(), nullptr, 10);
    if (n < 1 || n > 65535) return false;
    port = std::to_wstring(n);
  }
  std::wstring instance;
  if (auto slash = text.find(L'\\'); slash != std::wstring::npos) {
    instance = text.substr(slash + 1);
    text.erase(slash);
  }
  std::wstring lower;
  for (wchar_t c : text) lower += static_cast<wchar_t>(std::towlower(c));
  if (lower.empty() || lower == L"(local)" || lower == L"." || lower == L"(localdb)") text = L"localhost";
  std::wstring result = text;
  if (!port.empty())
    result += L":" + port;
  else if (!instance.empty())
    result += L"\\" + instance;
  server = wide_to_utf8(result);
  return true;
}

void register_sqloledb() {
  static std::once_flag once;
  std::call_once(once, [] {
    register_oledb_data_convert();
    register_oledb_services();
    register_oledb_provider(L"sqloledb", CLSID_SQLOLEDB);
    register_com_class(CLSID_SQLOLEDB, [](REFIID iid, void** out) {
      auto* source = new data_source;
      HRESULT hr = source->QueryInterface(iid, out);
      source->Release();
      return hr;
    });
  });
}
