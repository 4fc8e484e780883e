#include "platform/oledb/error_info.h"

#include "platform/oleaut/bstr.h"

namespace {

// The thread's error object; released when the thread ends.
struct error_slot {
  IErrorInfo* info = nullptr;
  ~error_slot() {
    if (info) info->Release();
  }
};
thread_local error_slot current;

HRESULT copy_text(const std::wstring& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = text.empty() ? nullptr : bstr_from(text);
  return S_OK;
}

// An error object whose text is one record's; Extra, answered as extra_iid,
// is the further interface of the kind.
template <class Extra, const IID& extra_iid>
class error_object : public com_unknown<IErrorInfo, Extra> {
 public:
  HRESULT GetGUID(GUID* guid) override {
    if (!guid) return E_POINTER;
    *guid = GUID_NULL;
    return S_OK;
  }
  HRESULT GetSource(BSTR* source) override { return copy_text(shown().source, source); }
  HRESULT GetDescription(BSTR* description) override { return copy_text(shown().description, description); }
  HRESULT GetHelpFile(BSTR* file) override { return copy_text(L"", file); }
  HRESULT GetHelpContext(DWORD* context) override {
    if (!context) return E_POINTER;
    *context = 0;
    return S_OK;
  }

 protected:
  // The record whose text this object shows.
  virtual const oledb_error_record& shown() const = 0;
  void* find(REFIID iid) override {
    if (iid == IID_IUnknown || iid == IID_IErrorInfo) return static_cast<IErrorInfo*>(this);
    if (iid == extra_iid) return static_cast<Extra*>(this);
    return nullptr;
  }
};

// One record's error object and its SQL details.
class record_info : public error_object<ISQLErrorInfo, IID_ISQLErrorInfo> {
 public:
  explicit record_info(const oledb_error_record& record) : record_(record) {}

  HRESULT GetSQLInfo(BSTR* state, LONG* native) override {
    if (!state || !native) return E_POINTER;
    *native = record_.native_error;
    return copy_text(record_.sql_state, state);
  }

 private:
  ~record_info() override = default;
  const oledb_error_record& shown() const override { return record_; }
  oledb_error_record record_;
};

// The error object of a failed call: the first record's text read directly,
// every record through IErrorRecords.
class record_set : public error_object<IErrorRecords, IID_IErrorRecords> {
 public:
  explicit record_set(std::vector<oledb_error_record> records) : records_(std::move(records)) {}

  HRESULT AddErrorRecord(ERRORINFO* info, DWORD, void*, IUnknown*, DWORD) override {
    if (!info) return E_INVALIDARG;
    oledb_error_record record;
    record.result = info->hrError;
    records_.push_back(record);
    return S_OK;
  }
  HRESULT GetBasicErrorInfo(ULONG index, ERRORINFO* info) override {
    if (!info) return E_INVALIDARG;
    if (index >= records_.size()) return DB_E_BADRECORDNUM_VALUE;
    *info = ERRORINFO{records_[index].result, static_cast<DWORD>(records_[index].native_error), GUID_NULL,
                      GUID_NULL, 0};
    return S_OK;
  }
  HRESULT GetCustomErrorObject(ULONG index, REFIID iid, IUnknown** object) override {
    if (!object) return E_INVALIDARG;
    *object = nullptr;
    if (index >= records_.size()) return DB_E_BADRECORDNUM_VALUE;
    if (iid != IID_ISQLErrorInfo && iid != IID_IUnknown) return S_OK;  // no such custom object
    auto* info = new record_info(records_[index]);
    HRESULT hr = info->QueryInterface(iid, reinterpret_cast<void**>(object));
    info->Release();
    return hr;
  }
  HRESULT GetErrorInfo(ULONG index, LCID, IErrorInfo** info) override {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    if (index >= records_.size()) return DB_E_BADRECORDNUM_VALUE;
    *info = new record_info(records_[index]);
    return S_OK;
  }
  HRESULT GetErrorParameters(ULONG, void*) override { return E_NOTIMPL; }
  HRESULT GetRecordCount(ULONG* count) override {
    if (!count) return E_INVALIDARG;
    *count = static_cast<ULONG>(records_.size());
    return S_OK;
  }

 private:
  static constexpr HRESULT DB_E_BADRECORDNUM_VALUE = oledb_error(0x0E42);
  ~record_set() override = default;
  const oledb_error_record& shown() const override {
    static const oledb_error_record none{};
    return records_.empty() ? none : records_.front();
  }
  std::vector<oledb_error_record> records_;
};

}  // namespace

HRESULT GetErrorInfo(DWORD, IErrorInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = current.info;
  current.info = nullptr;
  return *info ? S_OK : S_FALSE;
}

HRESULT SetErrorInfo(DWORD, IErrorInfo* info) {
  if (info) info->AddRef();
  if (current.info) current.info->Release();
  current.info = info;
  return S_OK;
}

HRESULT oledb_fail(HRESULT result, const std::vector<oledb_error_record>& records) {
  auto* set = new record_set(records);
  SetErrorInfo(0, set);
  set->Release();
  return result;
}

HRESULT oledb_fail(HRESULT result, const std::wstring& description, const std::wstring& source) {
  oledb_error_record record;
  record.result = result;
  record.description = description;
  record.source = source;
  return oledb_fail(result, std::vector<oledb_error_record>{record});
}
