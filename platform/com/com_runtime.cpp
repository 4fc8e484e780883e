#include "platform/com/com_runtime.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <tuple>

namespace {

thread_local int init_count = 0;

struct guid_less {
  bool operator()(const GUID& a, const GUID& b) const {
    return std::tie(a.Data1, a.Data2, a.Data3) < std::tie(b.Data1, b.Data2, b.Data3) ||
           (std::tie(a.Data1, a.Data2, a.Data3) == std::tie(b.Data1, b.Data2, b.Data3) &&
            std::lexicographical_compare(a.Data4, a.Data4 + 8, b.Data4, b.Data4 + 8));
  }
};

std::mutex registry_lock;
std::map<CLSID, com_class_maker, guid_less>& registry() {
  static std::map<CLSID, com_class_maker, guid_less> classes;
  return classes;
}

class class_factory : public com_object<IClassFactory> {
 public:
  explicit class_factory(com_class_maker make) : make_(std::move(make)) {}
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return make_(iid, out);
  }
  HRESULT LockServer(bool) override { return S_OK; }

 protected:
  bool query_self(REFIID iid) const override { return iid == IID_IClassFactory; }

 private:
  com_class_maker make_;
};

}  // namespace

HRESULT CoInitialize(void*) { return init_count++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (init_count > 0) --init_count;
}

int co_initialize_count() { return init_count; }

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void*, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!(context & CLSCTX_ALL)) return E_INVALIDARG;
  com_class_maker make;
  {
    std::lock_guard lock(registry_lock);
    auto found = registry().find(clsid);
    if (found == registry().end()) return REGDB_E_CLASSNOTREG;
    make = found->second;
  }
  auto* factory = new class_factory(std::move(make));
  HRESULT hr = factory->QueryInterface(iid, out);
  factory->Release();
  return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out) {
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, iid, out);
  factory->Release();
  return hr;
}

void register_com_class(REFCLSID clsid, com_class_maker make) {
  std::lock_guard lock(registry_lock);
  registry()[clsid] = std::move(make);
}

bool withdraw_com_class(REFCLSID clsid) {
  std::lock_guard lock(registry_lock);
  return registry().erase(clsid) > 0;
}
