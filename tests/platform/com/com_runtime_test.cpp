#include "platform/com/com_runtime.h"

#include <gtest/gtest.h>

namespace {

constexpr CLSID CLSID_Probe{0x0badf00d, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
constexpr IID IID_IProbe{0x0badf00d, 9, 9, {9, 9, 9, 9, 9, 9, 9, 9}};

struct IProbe : IUnknown {};
struct probe : com_object<IProbe> {
  bool query_self(REFIID iid) const override { return iid == IID_IProbe; }
};

TEST(ComRuntime, ClassesCreatedByIdentifierUntilWithdrawn) {
  register_com_class(CLSID_Probe, [](REFIID iid, void** out) {
    auto* p = new probe;
    HRESULT hr = p->QueryInterface(iid, out);
    p->Release();
    return hr;
  });
  IProbe* made = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_Probe, nullptr, CLSCTX_ALL, IID_IProbe, reinterpret_cast<void**>(&made)), S_OK);
  EXPECT_EQ(made->Release(), 0u);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(CoGetClassObject(CLSID_Probe, 0x15, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  void* other = nullptr;
  EXPECT_EQ(factory->CreateInstance(nullptr, GUID{1, 2, 3, {}}, &other), E_NOINTERFACE);
  factory->Release();
  EXPECT_TRUE(withdraw_com_class(CLSID_Probe));
  EXPECT_EQ(CoGetClassObject(CLSID_Probe, 0x15, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(withdraw_com_class(CLSID_Probe));
}

TEST(ComRuntime, InitialisationCountsPerThread) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(co_initialize_count(), 2);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(co_initialize_count(), 0);
}

}  // namespace
