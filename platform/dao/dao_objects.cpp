// The data-access objects over the engine's stores (a workbook, or a database
// file), each a reference-counted object answering its DAO interface.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <mutex>

#include "platform/com/com_runtime.h"
#include "platform/dao/dao.h"
#include "platform/dao/dao_store.h"
#include "platform/dao/dao_types.h"
#include "platform/dao/excel_names.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/jet_sql.h"
#include "platform/dao/sheet_table.h"
#include "platform/kernel/codepage.h"

namespace jet {

namespace {

// ---- plumbing ----

// An owned reference to one of our objects.
template <class T>
class ref {
 public:
  ref() = default;
  explicit ref(T* owned) : p_(owned) {}  // takes the creation reference
  ref(const ref& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ref& operator=(ref other) {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ref() {
    if (p_) p_->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Hands out a new reference.
  template <class I>
  HRESULT copy_to(I** out) const {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }

 private:
  T* p_ = nullptr;
};

template <class T, class... A>
ref<T> make_ref(A&&... args) {
  return ref<T>(new T(std::forward<A>(args)...));
}

// The engine's Errors collection, shared by every object it made.
struct error_log {
  std::mutex lock;
  std::vector<std::pair<long, std::string>> errors;

  void set(long number, const std::string& description) {
    std::lock_guard guard(lock);
    errors.assign(1, {number, description});
  }
};
using log_ptr = std::shared_ptr<error_log>;

template <class F>
HRESULT guarded(const log_ptr& log, F&& action) {
  try {
    action();
    return S_OK;
  } catch (const jet_error& e) {
    log->set(e.number(), e.what());
  } catch (const std::bad_alloc&) {
    log->set(7, "Out of memory.");
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    log->set(err_reserved, e.what());
  }
  return E_FAIL;
}

BSTR bstr_utf8(const std::string& text) { return bstr_from(kernel::utf8_to_wide(text)); }

std::string utf8_of(BSTR text) { return kernel::wide_to_utf8(bstr_text(text)); }

// A VARIANT argument as text (names, SQL); empty for VT_EMPTY and missing ones.
std::string text_arg(const VARIANT& v) {
  if (v.vt == VT_BSTR) return utf8_of(v.bstrVal);
  if (v.vt == VT_EMPTY || v.vt == VT_NULL || v.vt == VT_ERROR) return "";
  VARIANT text;
  VariantInit(&text);
  if (FAILED(VariantChangeType(&text, &v, 0, VT_BSTR))) throw_jet(err_data_type_conversion);
  std::string out = utf8_of(text.bstrVal);
  VariantClear(&text);
  return out;
}

long long integer_arg(const VARIANT& v, long long fallback) {
  switch (v.vt) {
    case VT_EMPTY: case VT_ERROR: return fallback;
    case VT_I2: return v.iVal;
    case VT_I4: return v.lVal;
    default: break;
  }
  VARIANT number;
  VariantInit(&number);
  if (FAILED(VariantChangeType(&number, &v, 0, VT_I8))) throw_jet(err_data_type_conversion);
  return number.llVal;
}

bool bool_arg(const VARIANT& v) { return integer_arg(v, 0) != 0; }

bool is_index(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8:
    case VT_INT: case VT_UINT: case VT_R8: case VT_R4:
      return true;
    default:
      return false;
  }
}

void to_variant(const value& v, VARIANT* out) {
  VariantInit(out);
  switch (v.type) {
    case value::kind::null: out->vt = VT_NULL; break;
    case value::kind::boolean: out->vt = VT_BOOL; out->boolVal = v.boolean ? VARIANT_TRUE : VARIANT_FALSE; break;
    case value::kind::integer:
      if (v.integer >= INT32_MIN && v.integer <= INT32_MAX) {
        out->vt = VT_I4;
        out->lVal = static_cast<LONG>(v.integer);
      } else {
        out->vt = VT_R8;
        out->dblVal = static_cast<double>(v.integer);
      }
      break;
    case value::kind::number: out->vt = VT_R8; out->dblVal = v.number; break;
    case value::kind::currency: out->vt = VT_CY; out->cyVal.int64 = v.integer; break;
    case value::kind::date: out->vt = VT_DATE; out->date = v.number; break;
    case value::kind::text: out->vt = VT_BSTR; out->bstrVal = bstr_utf8(v.text); break;
  }
}

value from_variant(const VARIANT& in) {
  value v;
  switch (in.vt) {
    case VT_EMPTY: case VT_NULL: break;
    case VT_BOOL: v.type = value::kind::boolean; v.boolean = in.boolVal != 0; break;
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_INT:
    case VT_UINT:
      v.type = value::kind::integer;
      v.integer = integer_arg(in, 0);
      break;
    case VT_R4: v.type = value::kind::number; v.number = in.fltVal; break;
    case VT_R8: v.type = value::kind::number; v.number = in.dblVal; break;
    case VT_CY: v.type = value::kind::currency; v.integer = in.cyVal.int64; break;
    case VT_DATE: v.type = value::kind::date; v.number = in.date; break;
    case VT_BSTR: v.type = value::kind::text; v.text = utf8_of(in.bstrVal); break;
    default: {
      VARIANT number;
      VariantInit(&number);
      if (SUCCEEDED(VariantChangeType(&number, &in, 0, VT_R8))) {
        v.type = value::kind::number;
        v.number = number.dblVal;
      } else {
        v.type = value::kind::text;
        v.text = text_arg(in);
      }
    }
  }
  return v;
}

column_info column_of(std::string name, int type = dbText, long size = 0) {
  column_info info;
  info.name = std::move(name);
  info.type = type;
  info.size = size;
  return info;
}

index_info index_named(std::string name) {
  index_info info;
  info.name = std::move(name);
  return info;
}

struct db_state {
  std::shared_ptr<dao_store> store;
  log_ptr log;
  std::string name;
  bool closed = false;

  dao_store& use() {
    if (closed) throw jet_error(3420, "Object invalid or no longer set.");
    return *store;
  }
};
using db_ptr = std::shared_ptr<db_state>;

// ---- errors ----

class error_object : public com_object<DAOError> {
 public:
  error_object(long number, std::string description) : number_(number), description_(std::move(description)) {}
  HRESULT get_Number(long* out) override { return out ? (*out = number_, S_OK) : E_POINTER; }
  HRESULT get_Description(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = bstr_utf8(description_);
    return S_OK;
  }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  long number_;
  std::string description_;
};

class errors_object : public com_object<DAOErrors> {
 public:
  explicit errors_object(log_ptr log) : log_(std::move(log)) {}
  HRESULT get_Count(short* out) override {
    if (!out) return E_POINTER;
    std::lock_guard guard(log_->lock);
    *out = static_cast<short>(log_->errors.size());
    return S_OK;
  }
  HRESULT get_Item(VARIANT item, DAOError** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    long long index = is_index(item) ? integer_arg(item, -1) : -1;
    std::lock_guard guard(log_->lock);
    if (index < 0 || index >= static_cast<long long>(log_->errors.size())) return DISP_E_BADINDEX;
    const auto& [number, description] = log_->errors[static_cast<std::size_t>(index)];
    *out = new error_object(number, description);
    return S_OK;
  }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  log_ptr log_;
};

// ---- fields ----

// The values of a recordset's current record, which its fields read.
struct record_state {
  std::vector<value> record;
  bool eof = true;
  bool bof = true;
};

class field_object : public com_object<DAOField> {
 public:
  field_object(log_ptr log, column_info info, std::shared_ptr<record_state> record = nullptr, std::size_t index = 0)
      : log_(std::move(log)), info_(std::move(info)), wide_name_(kernel::utf8_to_wide(info_.name)),
        record_(std::move(record)), index_(index) {}

  const column_info& info() const { return info_; }

  HRESULT get_Name(BSTR* out) override { return out ? (*out = bstr_from(wide_name_), S_OK) : E_POINTER; }
  HRESULT get_Type(short* out) override { return out ? (*out = static_cast<short>(info_.type), S_OK) : E_POINTER; }
  HRESULT get_Size(long* out) override { return out ? (*out = info_.size, S_OK) : E_POINTER; }
  HRESULT get_Required(VARIANT_BOOL* out) override {
    return out ? (*out = info_.required ? VARIANT_TRUE : VARIANT_FALSE, S_OK) : E_POINTER;
  }
  HRESULT put_Required(VARIANT_BOOL v) override { return info_.required = v != 0, S_OK; }
  HRESULT get_Attributes(long* out) override { return out ? (*out = info_.attributes, S_OK) : E_POINTER; }
  HRESULT put_Attributes(long v) override { return info_.attributes = v, S_OK; }
  HRESULT get_Value(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    if (!record_) return S_OK;  // a field of a definition has no value
    return guarded(log_, [&] {
      if (record_->eof || record_->bof || index_ >= record_->record.size()) throw_jet(err_no_current_record);
      to_variant(record_->record[index_], out);
    });
  }
  HRESULT get_DefaultValue(VARIANT* out) override {
    if (!out) return E_POINTER;
    VariantInit(out);
    out->vt = VT_BSTR;
    out->bstrVal = bstr_utf8(info_.default_text);
    return S_OK;
  }
  HRESULT put_DefaultValue(VARIANT v) override {
    return guarded(log_, [&] { info_.default_text = text_arg(v); });
  }
  HRESULT get_AllowZeroLength(VARIANT_BOOL* out) override {
    return out ? (*out = info_.allow_zero_length ? VARIANT_TRUE : VARIANT_FALSE, S_OK) : E_POINTER;
  }
  HRESULT put_AllowZeroLength(VARIANT_BOOL v) override { return info_.allow_zero_length = v != 0, S_OK; }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  log_ptr log_;
  column_info info_;
  std::wstring wide_name_;
  std::shared_ptr<record_state> record_;
  std::size_t index_;
};

using field_list = std::vector<ref<field_object>>;

long find_by_name(const field_list& fields, const std::string& name) {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (same_name(fields[i]->info().name, name)) return static_cast<long>(i);
  return -1;
}

class fields_object : public com_object<DAOFields> {
 public:
  fields_object(log_ptr log, std::shared_ptr<field_list> fields, bool appendable)
      : log_(std::move(log)), fields_(std::move(fields)), appendable_(appendable) {}

  HRESULT get_Count(short* out) override {
    return out ? (*out = static_cast<short>(fields_->size()), S_OK) : E_POINTER;
  }
  HRESULT get_Item(VARIANT item, DAOField** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(log_, [&] {
      long index = is_index(item) ? static_cast<long>(integer_arg(item, -1)) : find_by_name(*fields_, text_arg(item));
      if (index < 0 || index >= static_cast<long>(fields_->size())) throw_jet(err_item_not_found);
      (*fields_)[static_cast<std::size_t>(index)].copy_to(out);
    });
  }
  HRESULT Append(DAOField* field) override {
    return guarded(log_, [&] {
      auto* ours = dynamic_cast<field_object*>(field);
      if (!appendable_ || !ours) throw_jet(err_read_only);
      if (find_by_name(*fields_, ours->info().name) >= 0) throw jet_error(3191, "Cannot define field more than once.");
      ours->AddRef();
      fields_->push_back(ref<field_object>(ours));
    });
  }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  log_ptr log_;
  std::shared_ptr<field_list> fields_;
  bool appendable_;
};

// ---- indexes ----

class index_object : public com_object<DAOIndex> {
 public:
  index_object(log_ptr log, index_info info) : log_(std::move(log)), info_(std::move(info)) {
    fields_ = std::make_shared<field_list>();
    for (const auto& column : info_.columns) fields_->push_back(make_ref<field_object>(log_, column_of(column)));
  }
  index_info info() const {
    index_info out = info_;
    out.columns.clear();
    for (const auto& f : *fields_) out.columns.push_back(f->info().name);
    return out;
  }
  HRESULT get_Name(BSTR* out) override { return out ? (*out = bstr_utf8(info_.name), S_OK) : E_POINTER; }
  HRESULT get_Primary(VARIANT_BOOL* out) override {
    return out ? (*out = info_.primary ? VARIANT_TRUE : VARIANT_FALSE, S_OK) : E_POINTER;
  }
  HRESULT put_Primary(VARIANT_BOOL v) override { return info_.primary = v != 0, S_OK; }
  HRESULT get_Unique(VARIANT_BOOL* out) override {
    return out ? (*out = info_.unique ? VARIANT_TRUE : VARIANT_FALSE, S_OK) : E_POINTER;
  }
  HRESULT put_Unique(VARIANT_BOOL v) override { return info_.unique = v != 0, S_OK; }
  HRESULT get_Fields(DAOFields** out) override {
    if (!out) return E_POINTER;
    *out = new fields_object(log_, fields_, true);
    return S_OK;
  }
  HRESULT CreateField(VARIANT name, VARIANT, VARIANT, DAOField** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(log_, [&] { *out = new field_object(log_, column_of(text_arg(name))); });
  }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  log_ptr log_;
  index_info info_;
  std::shared_ptr<field_list> fields_;
};

using index_list = std::vector<ref<index_object>>;

class indexes_object : public com_object<DAOIndexes> {
 public:
  indexes_object(log_ptr log, std::shared_ptr<index_list> indexes, bool appendable)
      : log_(std::move(log)), indexes_(std::move(indexes)), appendable_(appendable) {}
  HRESULT get_Count(short* out) override {
    return out ? (*out = static_cast<short>(indexes_->size()), S_OK) : E_POINTER;
  }
  HRESULT get_Item(VARIANT item, DAOIndex** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(log_, [&] {
      long index = -1;
      if (is_index(item)) {
        index = static_cast<long>(integer_arg(item, -1));
      } else {
        std::string name = text_arg(item);
        for (std::size_t i = 0; i < indexes_->size(); ++i)
          if (same_name((*indexes_)[i]->info().name, name)) index = static_cast<long>(i);
      }
      if (index < 0 || index >= static_cast<long>(indexes_->size())) throw_jet(err_item_not_found);
      (*indexes_)[static_cast<std::size_t>(index)].copy_to(out);
    });
  }
  HRESULT Append(DAOIndex* index) override {
    return guarded(log_, [&] {
      auto* ours = dynamic_cast<index_object*>(index);
      if (!appendable_ || !ours) throw_jet(err_read_only);
      ours->AddRef();
      indexes_->push_back(ref<index_object>(ours));
    });
  }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  log_ptr log_;
  std::shared_ptr<index_list> indexes_;
  bool appendable_;
};

// ---- recordsets ----

class recordset_object : public com_object<DAORecordset> {
 public:
  recordset_object(db_ptr db, std::unique_ptr<row_stream> rows, std::string table, int options)
      : db_(std::move(db)), rows_(std::move(rows)), table_(std::move(table)), options_(options),
        state_(std::make_shared<record_state>()) {
    fields_ = std::make_shared<field_list>();
    const auto& defs = rows_->fields();
    std::vector<column_info> table_columns;
    if (!table_.empty() && !db_->store->read_only()) {
      try {
        table_columns = db_->store->columns(table_);
      } catch (const jet_error&) {
      }
    }
    for (std::size_t i = 0; i < defs.size(); ++i) {
      column_info info = column_of(defs[i].name, defs[i].type, defs[i].size);
      for (const auto& c : table_columns)
        if (same_name(c.name, info.name)) info = c;
      fields_->push_back(make_ref<field_object>(db_->log, info, state_, i));
    }
    if (!(options_ & dbAppendOnly)) fetch_first();
  }

  HRESULT get_EOF(VARIANT_BOOL* out) override {
    return out ? (*out = state_->eof ? VARIANT_TRUE : VARIANT_FALSE, S_OK) : E_POINTER;
  }
  HRESULT get_BOF(VARIANT_BOOL* out) override {
    return out ? (*out = state_->bof ? VARIANT_TRUE : VARIANT_FALSE, S_OK) : E_POINTER;
  }
  HRESULT MoveFirst() override {
    return guarded(db_->log, [&] {
      open_rows();
      fetch_first();
      if (state_->eof) throw_jet(err_no_current_record);
    });
  }
  HRESULT MoveNext() override {
    return guarded(db_->log, [&] {
      open_rows();
      if (state_->eof) throw_jet(err_no_current_record);
      state_->bof = false;
      if (rows_->next(state_->record)) {
        ++position_;
      } else {
        state_->eof = true;
        position_ = count_;
      }
    });
  }
  HRESULT MovePrevious() override {
    return guarded(db_->log, [&] {
      open_rows();
      if (state_->bof) throw_jet(err_no_current_record);
      // Streams move forward only: start again and stop one record earlier.
      long target = state_->eof ? count_ - 1 : position_ - 1;
      if (target < 0) {
        state_->bof = true;
        state_->eof = false;
        position_ = -1;
        return;
      }
      fetch_first();
      while (position_ < target && rows_->next(state_->record)) ++position_;
    });
  }
  HRESULT get_Fields(DAOFields** out) override {
    if (!out) return E_POINTER;
    *out = new fields_object(db_->log, fields_, false);
    return S_OK;
  }
  HRESULT AddNew() override {
    return guarded(db_->log, [&] {
      open_rows();
      if ((options_ & dbReadOnly) || table_.empty() || db_->use().read_only()) throw_jet(err_read_only);
      pending_.clear();
      adding_ = true;
    });
  }
  HRESULT put_Collect(VARIANT item, VARIANT v) override {
    return guarded(db_->log, [&] {
      if (!adding_) throw jet_error(3020, "Update or CancelUpdate without AddNew or Edit.");
      long index = is_index(item) ? static_cast<long>(integer_arg(item, -1)) : find_by_name(*fields_, text_arg(item));
      if (index < 0 || index >= static_cast<long>(fields_->size())) throw_jet(err_item_not_found);
      const column_info& info = (*fields_)[static_cast<std::size_t>(index)]->info();
      value stored = from_variant(v);
      if (info.type == dbText && stored.type != value::kind::null) {
        if (stored.type != value::kind::text) stored.text = text_arg(v), stored.type = value::kind::text;
        if (utf16_length(stored.text) > static_cast<std::size_t>(info.size))
          throw jet_error(3163, "The field is too small to accept the amount of data you attempted to add. "
                                "Try inserting or pasting less data.");
        // Jet keeps a record's Text fields in one page: at most 4000 bytes together.
        std::size_t bytes = 2 * utf16_length(stored.text);
        for (const auto& [name, other] : pending_)
          if (name != info.name && other.type == value::kind::text && text_fields_.count(name))
            bytes += 2 * utf16_length(other.text);
        if (bytes > max_text_bytes) throw_jet(err_record_too_large);
        text_fields_.insert(info.name);
      }
      pending_[info.name] = stored;
    });
  }
  HRESULT Update() override {
    return guarded(db_->log, [&] {
      if (!adding_) throw jet_error(3020, "Update or CancelUpdate without AddNew or Edit.");
      std::vector<std::string> names;
      std::vector<value> values;
      for (auto& [name, v] : pending_) {
        names.push_back(name);
        values.push_back(v);
      }
      db_->use().insert(table_, names, values);
      adding_ = false;
      pending_.clear();
      ++count_;
    });
  }
  HRESULT Close() override {
    return guarded(db_->log, [&] {
      if (!rows_) throw jet_error(3420, "Object invalid or no longer set.");
      rows_.reset();
      state_->eof = state_->bof = true;
    });
  }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  void open_rows() {
    if (!rows_) throw jet_error(3420, "Object invalid or no longer set.");
  }
  void fetch_first() {
    rows_->rewind();
    position_ = -1;
    bool got = rows_->next(state_->record);
    state_->eof = state_->bof = !got;
    if (got) position_ = 0;
    if (!got) count_ = 0;
  }

  db_ptr db_;
  std::unique_ptr<row_stream> rows_;
  std::string table_;
  int options_;
  std::shared_ptr<record_state> state_;
  std::shared_ptr<field_list> fields_;
  long position_ = -1;
  long count_ = 0;
  bool adding_ = false;
  std::map<std::string, value> pending_;
  std::set<std::string> text_fields_;  // pending values of Text fields
  static constexpr std::size_t max_text_bytes = 4000;
};

// ---- definitions ----

class querydef_object : public com_object<DAOQueryDef> {
 public:
  querydef_object(db_ptr db, std::string name, std::string sql)
      : db_(std::move(db)), name_(std::move(name)), sql_(std::move(sql)) {}
  HRESULT get_Name(BSTR* out) override { return out ? (*out = bstr_utf8(name_), S_OK) : E_POINTER; }
  HRESULT get_SQL(BSTR* out) override { return out ? (*out = bstr_utf8(sql_), S_OK) : E_POINTER; }
  HRESULT get_Fields(DAOFields** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] {
      auto rows = db_->use().query(sql_);
      auto fields = std::make_shared<field_list>();
      for (const auto& f : rows->fields())
        fields->push_back(make_ref<field_object>(db_->log, column_of(f.name, f.type, f.size)));
      *out = new fields_object(db_->log, fields, false);
    });
  }
  HRESULT OpenRecordset(VARIANT, VARIANT options, VARIANT, DAORecordset** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] {
      int flags = static_cast<int>(integer_arg(options, 0));
      *out = new recordset_object(db_, db_->use().query(sql_), select_all_table(sql_), flags);
    });
  }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  db_ptr db_;
  std::string name_;
  std::string sql_;
};

class querydefs_object : public com_object<DAOQueryDefs> {
 public:
  explicit querydefs_object(db_ptr db) : db_(std::move(db)), queries_(db_->store->saved_queries()) {}
  HRESULT get_Count(short* out) override {
    return out ? (*out = static_cast<short>(queries_.size()), S_OK) : E_POINTER;
  }
  HRESULT get_Item(VARIANT item, DAOQueryDef** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] {
      long index = -1;
      if (is_index(item)) {
        index = static_cast<long>(integer_arg(item, -1));
      } else {
        std::string name = text_arg(item);
        for (std::size_t i = 0; i < queries_.size(); ++i)
          if (same_name(queries_[i].first, name)) index = static_cast<long>(i);
      }
      if (index < 0 || index >= static_cast<long>(queries_.size())) throw_jet(err_item_not_found);
      const auto& [name, sql] = queries_[static_cast<std::size_t>(index)];
      *out = new querydef_object(db_, name, sql);
    });
  }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  db_ptr db_;
  std::vector<std::pair<std::string, std::string>> queries_;
};

class tabledef_object : public com_object<DAOTableDef> {
 public:
  // A definition of an existing table.
  tabledef_object(db_ptr db, std::string name, long attributes)
      : db_(std::move(db)), name_(std::move(name)), attributes_(attributes), existing_(true) {}
  // A new definition, to be appended.
  tabledef_object(db_ptr db, std::string name) : db_(std::move(db)), name_(std::move(name)) {
    fields_ = std::make_shared<field_list>();
    indexes_ = std::make_shared<index_list>();
  }

  const std::string& name() const { return name_; }
  bool existing() const { return existing_; }
  std::vector<column_info> columns() const {
    std::vector<column_info> out;
    for (const auto& f : *fields_) out.push_back(f->info());
    return out;
  }
  std::vector<index_info> indexes() const {
    std::vector<index_info> out;
    for (const auto& i : *indexes_) out.push_back(i->info());
    return out;
  }
  void mark_existing() { existing_ = true; }

  HRESULT get_Name(BSTR* out) override { return out ? (*out = bstr_utf8(name_), S_OK) : E_POINTER; }
  HRESULT get_Attributes(long* out) override { return out ? (*out = attributes_, S_OK) : E_POINTER; }
  HRESULT get_RecordCount(long* out) override {
    if (!out) return E_POINTER;
    return guarded(db_->log, [&] { *out = existing_ ? db_->use().record_count(name_) : 0; });
  }
  HRESULT get_Fields(DAOFields** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] {
      load();
      *out = new fields_object(db_->log, fields_, !existing_);
    });
  }
  HRESULT get_Indexes(DAOIndexes** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] {
      load();
      *out = new indexes_object(db_->log, indexes_, !existing_);
    });
  }
  HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, DAOField** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] {
      column_info info = column_of(text_arg(name), static_cast<int>(integer_arg(type, dbText)));
      info.size = static_cast<long>(integer_arg(size, info.type == dbText ? 255 : 0));
      *out = new field_object(db_->log, info);
    });
  }
  HRESULT CreateIndex(VARIANT name, DAOIndex** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] { *out = new index_object(db_->log, index_named(text_arg(name))); });
  }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  void load() {
    if (fields_) return;
    auto fields = std::make_shared<field_list>();
    for (const auto& c : db_->use().columns(name_)) fields->push_back(make_ref<field_object>(db_->log, c));
    auto indexes = std::make_shared<index_list>();
    for (const auto& i : db_->use().indexes(name_)) indexes->push_back(make_ref<index_object>(db_->log, i));
    fields_ = fields;
    indexes_ = indexes;
  }

  db_ptr db_;
  std::string name_;
  long attributes_ = 0;
  bool existing_ = false;
  std::shared_ptr<field_list> fields_;
  std::shared_ptr<index_list> indexes_;
};

class tabledefs_object : public com_object<DAOTableDefs> {
 public:
  explicit tabledefs_object(db_ptr db) : db_(std::move(db)) {}
  HRESULT get_Count(short* out) override {
    if (!out) return E_POINTER;
    return guarded(db_->log, [&] { *out = static_cast<short>(db_->use().table_names().size()); });
  }
  HRESULT get_Item(VARIANT item, DAOTableDef** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] {
      auto names = db_->use().table_names();
      long index = -1;
      if (is_index(item)) {
        index = static_cast<long>(integer_arg(item, -1));
      } else {
        std::string name = text_arg(item);
        for (std::size_t i = 0; i < names.size() && index < 0; ++i)
          if (same_name(names[i], name)) index = static_cast<long>(i);
      }
      if (index < 0 || index >= static_cast<long>(names.size())) throw_jet(err_item_not_found);
      const std::string& name = names[static_cast<std::size_t>(index)];
      *out = new tabledef_object(db_, name, db_->store->table_attributes(name));
    });
  }
  HRESULT Append(DAOTableDef* table) override {
    return guarded(db_->log, [&] {
      auto* ours = dynamic_cast<tabledef_object*>(table);
      if (!ours || ours->existing()) throw jet_error(3367, "Cannot append. An object with that name already exists in the collection.");
      db_->use().create_table(ours->name(), ours->columns(), ours->indexes());
      ours->mark_existing();
    });
  }
  HRESULT Delete(BSTR name) override {
    return guarded(db_->log, [&] { db_->use().drop_table(utf8_of(name)); });
  }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  db_ptr db_;
};

class database_object : public com_object<DAODatabase> {
 public:
  explicit database_object(db_ptr db) : db_(std::move(db)) {}
  ~database_object() override { db_->closed = true; }

  HRESULT get_Name(BSTR* out) override { return out ? (*out = bstr_utf8(db_->name), S_OK) : E_POINTER; }
  HRESULT get_TableDefs(DAOTableDefs** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] {
      db_->use();
      *out = new tabledefs_object(db_);
    });
  }
  HRESULT get_QueryDefs(DAOQueryDefs** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] {
      db_->use();
      *out = new querydefs_object(db_);
    });
  }
  HRESULT CreateQueryDef(VARIANT name, VARIANT sql, DAOQueryDef** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] {
      db_->use();
      std::string text = text_arg(sql);
      // A query that cannot be prepared fails here, as Jet checks the SQL.
      if (!text.empty()) db_->store->check_query(text);
      *out = new querydef_object(db_, text_arg(name), text);
    });
  }
  HRESULT CreateTableDef(VARIANT name, VARIANT, VARIANT, VARIANT, DAOTableDef** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(db_->log, [&] {
      if (db_->use().read_only()) throw_jet(err_read_only);
      *out = new tabledef_object(db_, text_arg(name));
    });
  }
  HRESULT Close() override {
    return guarded(db_->log, [&] {
      db_->use();
      db_->closed = true;
    });
  }

 protected:
  bool query_self(REFIID) const override { return false; }

 private:
  db_ptr db_;
};

// ---- the engine ----

bool connect_has(const std::string& connect, std::string_view option) {
  std::string upper;
  for (char c : connect)
    if (c != ' ') upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper.find(option) != std::string::npos;
}

class engine_object : public com_object<DAODBEngine> {
 public:
  engine_object() : log_(std::make_shared<error_log>()) {}

  HRESULT OpenDatabase(BSTR name, VARIANT, VARIANT read_only, VARIANT connect, DAODatabase** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(log_, [&] {
      auto state = std::make_shared<db_state>();
      state->log = log_;
      // The file by the bytes of its name: one given in bytes that are no
      // UTF-8 keeps them (kernel::path_to_wide).
      state->name = kernel::wide_to_path(CP_UTF8, bstr_text(name));
      std::string options = text_arg(connect);
      if (connect_has(options, "EXCEL"))
        state->store = open_workbook_store(state->name, !connect_has(options, "HDR=NO"));
      else
        state->store = open_file_store(state->name, bool_arg(read_only));
      *out = new database_object(state);
    });
  }
  HRESULT CreateDatabase(BSTR name, BSTR, VARIANT, DAODatabase** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    return guarded(log_, [&] {
      auto state = std::make_shared<db_state>();
      state->log = log_;
      state->name = utf8_of(name);
      state->store = create_file_store(state->name);
      *out = new database_object(state);
    });
  }
  HRESULT get_Errors(DAOErrors** out) override {
    if (!out) return E_POINTER;
    *out = new errors_object(log_);
    return S_OK;
  }

 protected:
  bool query_self(REFIID iid) const override { return iid == IID_DBEngine || iid == IID_DBEngine30; }

 private:
  log_ptr log_;
};

HRESULT make_engine(REFIID iid, void** out) {
  auto* engine = new engine_object;
  HRESULT hr = engine->QueryInterface(iid, out);
  engine->Release();
  return hr;
}

}  // namespace

}  // namespace jet

void register_dao_engine() {
  register_com_class(CLSID_DBEngine120, &jet::make_engine);
  register_com_class(CLSID_DBEngine36, &jet::make_engine);
}
