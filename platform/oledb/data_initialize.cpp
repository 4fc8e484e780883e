#include "platform/oledb/data_initialize.h"

#include <cwctype>
#include <map>
#include <mutex>

#include "platform/com/com_runtime.h"
#include "platform/oleaut/bstr.h"
#include "platform/oleaut/variant.h"
#include "platform/oledb/connection_string.h"
#include "platform/oledb/error_info.h"

namespace {

std::mutex providers_lock;
std::map<std::wstring, CLSID>& providers() {
  static std::map<std::wstring, CLSID> map;
  return map;
}

std::wstring lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

const wchar_t* const source_name = L"Microsoft OLE DB Service Components";

class data_initialize : public com_object<IDataInitialize> {
 public:
  HRESULT GetDataSource(IUnknown* outer, DWORD context, LPCOLESTR text, REFIID iid, IUnknown** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (outer) return DB_E_NOAGGREGATION;
    connection_string parsed(text ? text : L"");
    if (!parsed.is_valid())
      return oledb_fail(E_FAIL, L"The initialization string is not in the OLE DB connection-string format: " +
                                    parsed.error() + L".", source_name);
    auto provider = parsed.get(L"Provider");
    CLSID clsid{};
    {
      std::lock_guard lock(providers_lock);
      auto it = provider ? providers().find(lower(*provider)) : providers().end();
      if (it == providers().end())
        return oledb_fail(REGDB_E_CLASSNOTREG, L"The provider \"" + provider.value_or(L"") + L"\" is not registered.",
                          source_name);
      clsid = it->second;
    }
    IDBProperties* properties = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, context ? context : CLSCTX_INPROC_SERVER, IID_IDBProperties,
                                  reinterpret_cast<void**>(&properties));
    if (FAILED(hr)) return hr;
    // Keywords to initialisation properties.
    static const std::pair<const wchar_t*, DBPROPID> keys[] = {
        {L"Data Source", DBPROP_INIT_DATASOURCE}, {L"Server", DBPROP_INIT_DATASOURCE},
        {L"Address", DBPROP_INIT_DATASOURCE},     {L"User ID", DBPROP_AUTH_USERID},
        {L"UID", DBPROP_AUTH_USERID},             {L"Password", DBPROP_AUTH_PASSWORD},
        {L"PWD", DBPROP_AUTH_PASSWORD},           {L"Initial Catalog", DBPROP_INIT_CATALOG},
        {L"Database", DBPROP_INIT_CATALOG},       {L"Integrated Security", DBPROP_AUTH_INTEGRATED},
        {L"Trusted_Connection", DBPROP_AUTH_INTEGRATED}, {L"Connect Timeout", DBPROP_INIT_TIMEOUT}};
    std::vector<DBPROP> list;
    for (const auto& [key, id] : keys) {
      auto value = parsed.get(key);
      if (!value) continue;
      DBPROP p{};
      p.dwPropertyID = id;
      p.dwOptions = DBPROPOPTIONS_REQUIRED;
      VariantInit(&p.vValue);
      if (id == DBPROP_INIT_TIMEOUT) {
        p.vValue.vt = VT_I4;
        p.vValue.lVal = static_cast<LONG>(std::wcstol(value->c_str(), nullptr, 10));
      } else if (id == DBPROP_AUTH_INTEGRATED) {
        std::wstring v = lower(*value);
        if (v != L"sspi" && v != L"true" && v != L"yes") continue;
        p.vValue.vt = VT_BSTR;
        p.vValue.bstrVal = bstr_from(L"SSPI");
      } else {
        p.vValue.vt = VT_BSTR;
        p.vValue.bstrVal = bstr_from(*value);
      }
      list.push_back(p);
    }
    DBPROPSET set{list.data(), static_cast<ULONG>(list.size()), DBPROPSET_DBINIT};
    hr = list.empty() ? S_OK : properties->SetProperties(1, &set);
    for (auto& p : list) VariantClear(&p.vValue);
    if (SUCCEEDED(hr)) hr = properties->QueryInterface(iid, reinterpret_cast<void**>(out));
    properties->Release();
    return hr;
  }

 protected:
  bool query_self(REFIID iid) const override { return iid == IID_IDataInitialize; }
};

}  // namespace

void register_oledb_provider(const std::wstring& name, REFCLSID clsid) {
  std::lock_guard lock(providers_lock);
  providers()[lower(name)] = clsid;
}

void register_oledb_services() {
  static std::once_flag once;
  std::call_once(once, [] {
    register_com_class(CLSID_MSDAINITIALIZE, [](REFIID iid, void** out) {
      auto* object = new data_initialize;
      HRESULT hr = object->QueryInterface(iid, out);
      object->Release();
      return hr;
    });
  });
}
