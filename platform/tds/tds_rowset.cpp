#include "platform/tds/tds_rowset.h"

#include <cstring>
#include <functional>

#include "platform/com/com_memory.h"
#include "platform/oledb/error_info.h"
#include "platform/tds/tds_cells.h"
#include "platform/tds/tds_error.h"
#include "platform/tds/tds_objects.h"
#include "platform/tds/tds_schema.h"

HRESULT tds_accessors::create(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING* bindings,
                              DBCOUNTITEM columns, HACCESSOR* accessor, DBBINDSTATUS* status) {
  if (!accessor) return E_INVALIDARG;
  *accessor = DB_NULL_HACCESSOR;
  if (!(flags & DBACCESSOR_ROWDATA) || (count && !bindings)) return E_INVALIDARG;
  bool bad = false;
  for (DBCOUNTITEM i = 0; i < count; ++i) {
    const bool ok = bindings[i].iOrdinal >= 1 && bindings[i].iOrdinal <= columns;
    if (status) status[i] = ok ? DBBINDSTATUS_OK : DBBINDSTATUS_BADORDINAL;
    bad = bad || !ok;
  }
  if (bad) return DB_E_ERRORSOCCURRED;
  HACCESSOR h = next_++;
  entries_[h].bindings.assign(bindings, bindings + count);
  *accessor = h;
  return S_OK;
}

HRESULT tds_accessors::release(HACCESSOR accessor, DBREFCOUNT* count) {
  auto it = entries_.find(accessor);
  if (it == entries_.end()) return DB_E_BADACCESSORHANDLE;
  DBREFCOUNT left = --it->second.refs;
  if (left == 0) entries_.erase(it);
  if (count) *count = left;
  return S_OK;
}

HRESULT tds_accessors::add_ref(HACCESSOR accessor, DBREFCOUNT* count) {
  auto it = entries_.find(accessor);
  if (it == entries_.end()) return DB_E_BADACCESSORHANDLE;
  ++it->second.refs;
  if (count) *count = it->second.refs;
  return S_OK;
}

HRESULT tds_accessors::get(HACCESSOR accessor, DBACCESSORFLAGS* flags, DBCOUNTITEM* count,
                           DBBINDING** bindings) const {
  auto* list = find(accessor);
  if (!list) return DB_E_BADACCESSORHANDLE;
  if (!count || !bindings) return E_INVALIDARG;
  if (flags) *flags = DBACCESSOR_ROWDATA;
  *count = static_cast<DBCOUNTITEM>(list->size());
  *bindings = static_cast<DBBINDING*>(CoTaskMemAlloc(list->size() * sizeof(DBBINDING)));
  if (!list->empty()) std::memcpy(*bindings, list->data(), list->size() * sizeof(DBBINDING));
  return S_OK;
}

const std::vector<DBBINDING>* tds_accessors::find(HACCESSOR accessor) const {
  auto it = entries_.find(accessor);
  return it == entries_.end() ? nullptr : &it->second.bindings;
}

HRESULT tds_column_info(const std::vector<tds_column>& columns, DBORDINAL* count, DBCOLUMNINFO** info,
                        OLECHAR** names) {
  if (!count || !info || !names) return E_INVALIDARG;
  std::size_t chars = 0;
  for (const auto& c : columns) chars += c.name.size() + 1;
  *count = static_cast<DBORDINAL>(columns.size());
  *info = static_cast<DBCOLUMNINFO*>(CoTaskMemAlloc(columns.size() * sizeof(DBCOLUMNINFO)));
  *names = static_cast<OLECHAR*>(CoTaskMemAlloc(chars * sizeof(OLECHAR)));
  if (!*info || !*names) return E_OUTOFMEMORY;
  OLECHAR* name = *names;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const tds_column& c = columns[i];
    DBCOLUMNINFO& out = (*info)[i];
    std::memset(&out, 0, sizeof out);
    std::memcpy(name, c.name.c_str(), (c.name.size() + 1) * sizeof(OLECHAR));
    out.pwszName = name;
    out.iOrdinal = static_cast<DBORDINAL>(i + 1);
    out.dwFlags = DBCOLUMNFLAGS_WRITE | (c.nullable ? DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL : 0) |
                  (c.is_long ? DBCOLUMNFLAGS_ISLONG : 0) |
                  (c.type != DBTYPE_WSTR && c.type != DBTYPE_BYTES ? DBCOLUMNFLAGS_ISFIXEDLENGTH : 0);
    out.ulColumnSize = c.size;
    out.wType = c.type;
    out.bPrecision = c.precision;
    out.bScale = c.scale;
    out.columnid.eKind = DBKIND_NAME;
    out.columnid.uName.pwszName = name;
    name += c.name.size() + 1;
  }
  return S_OK;
}

namespace {

class rowset : public com_unknown<IRowset, IColumnsInfo, IAccessor> {
 public:
  using loader = std::function<bool(tds_result&)>;
  rowset(tds_result result, loader load) : result_(std::move(result)), load_(std::move(load)) {}

  HRESULT AddRefRows(DBCOUNTITEM, const HROW*, DBREFCOUNT*, DWORD*) override { return S_OK; }
  HRESULT GetData(HROW row, HACCESSOR accessor, void* data) override {
    auto* bindings = accessors_.find(accessor);
    if (!bindings) return DB_E_BADACCESSORHANDLE;
    if (row == DB_NULL_HROW || row > result_.rows.size()) return DB_E_BADROWHANDLE;
    if (!data) return E_INVALIDARG;
    const tds_row& values = result_.rows[row - 1];
    bool failed = false;
    for (const DBBINDING& b : *bindings) {
      DBSTATUS s = tds_cell_to_binding(result_.columns[b.iOrdinal - 1], values[b.iOrdinal - 1], b,
                                       static_cast<BYTE*>(data));
      failed = failed || (s != DBSTATUS_S_OK && s != DBSTATUS_S_ISNULL && s != DBSTATUS_S_TRUNCATED);
    }
    return failed ? DB_S_ERRORSOCCURRED : S_OK;
  }
  HRESULT GetNextRows(HCHAPTER, DBROWOFFSET offset, DBROWCOUNT count, DBCOUNTITEM* obtained, HROW** rows) override {
    if (!obtained || !rows) return E_INVALIDARG;
    *obtained = 0;
    if (load_) {
      loader load = std::move(load_);
      load_ = nullptr;
      tds_clear_messages();
      if (!load(result_)) return tds_fail();
    }
    if (count < 0) return DB_E_NOTSUPPORTED;
    std::size_t at = position_ + static_cast<std::size_t>(offset < 0 ? 0 : offset);
    std::size_t n = at >= result_.rows.size() ? 0 : std::min<std::size_t>(count, result_.rows.size() - at);
    if (n == 0) return DB_S_ENDOFROWSET;
    if (!*rows) *rows = static_cast<HROW*>(CoTaskMemAlloc(n * sizeof(HROW)));
    for (std::size_t i = 0; i < n; ++i) (*rows)[i] = at + i + 1;
    position_ = at + n;
    *obtained = static_cast<DBCOUNTITEM>(n);
    return n < static_cast<std::size_t>(count) ? DB_S_ENDOFROWSET : S_OK;
  }
  HRESULT ReleaseRows(DBCOUNTITEM, const HROW*, DWORD*, DBREFCOUNT*, DWORD*) override { return S_OK; }
  HRESULT RestartPosition(HCHAPTER) override {
    position_ = 0;
    return S_OK;
  }

  HRESULT GetColumnInfo(DBORDINAL* count, DBCOLUMNINFO** info, OLECHAR** names) override {
    return tds_column_info(result_.columns, count, info, names);
  }
  HRESULT MapColumnIDs(DBORDINAL, const DBID*, DBORDINAL*) override { return E_NOTIMPL; }

  HRESULT AddRefAccessor(HACCESSOR accessor, DBREFCOUNT* count) override { return accessors_.add_ref(accessor, count); }
  HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM count, const DBBINDING* bindings, DBLENGTH,
                         HACCESSOR* accessor, DBBINDSTATUS* status) override {
    return accessors_.create(flags, count, bindings, static_cast<DBCOUNTITEM>(result_.columns.size()), accessor,
                             status);
  }
  HRESULT GetBindings(HACCESSOR accessor, DBACCESSORFLAGS* flags, DBCOUNTITEM* count, DBBINDING** bindings) override {
    return accessors_.get(accessor, flags, count, bindings);
  }
  HRESULT ReleaseAccessor(HACCESSOR accessor, DBREFCOUNT* count) override { return accessors_.release(accessor, count); }

 protected:
  void* find(REFIID iid) override {
    if (iid == IID_IUnknown || iid == IID_IRowset) return static_cast<IRowset*>(this);
    if (iid == IID_IColumnsInfo) return static_cast<IColumnsInfo*>(this);
    if (iid == IID_IAccessor) return static_cast<IAccessor*>(this);
    return nullptr;
  }

 private:
  tds_result result_;
  loader load_;
  std::size_t position_ = 0;
  tds_accessors accessors_;
};

HRESULT hand_out(rowset* r, REFIID iid, IUnknown** out) {
  HRESULT hr = r->QueryInterface(iid == IID_NULL ? IID_IRowset : iid, reinterpret_cast<void**>(out));
  r->Release();
  return hr;
}

}  // namespace

HRESULT tds_make_rowset(tds_result result, REFIID iid, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  return hand_out(new rowset(std::move(result), nullptr), iid, out);
}

HRESULT tds_open_table(std::shared_ptr<tds_link> link, const tsql_object_name& table, REFIID iid, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  std::vector<tds_result> results;
  tds_clear_messages();
  if (!link->run(tsql_select_all(table, true), &results) || results.empty()) return tds_fail();
  tds_result shape = std::move(results.front());
  shape.rows.clear();
  if (!tds_table_columns(*link, table, shape.columns)) return tds_fail();
  auto load = [link, table](tds_result& result) {
    std::vector<tds_result> all;
    if (!link->run(tsql_select_all(table, false), &all) || all.empty()) return false;
    result.rows = std::move(all.front().rows);
    return true;
  };
  return hand_out(new rowset(std::move(shape), load), iid, out);
}
