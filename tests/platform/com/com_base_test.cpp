#include "platform/com/com_base.h"

#include <gtest/gtest.h>

namespace {

constexpr IID IID_IProbe{0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};

struct IProbe : IUnknown {};

struct probe : com_object<IProbe> {
  explicit probe(bool* gone) : gone_(gone) {}
  ~probe() override { *gone_ = true; }
  bool query_self(REFIID iid) const override { return iid == IID_IProbe; }
  bool* gone_;
};

TEST(ComBase, ReferenceCountAndInterfaceQuery) {
  bool gone = false;
  auto* p = new probe(&gone);
  void* out = nullptr;
  EXPECT_EQ(p->QueryInterface(IID_IProbe, &out), S_OK);
  EXPECT_EQ(out, static_cast<IProbe*>(p));
  EXPECT_EQ(p->QueryInterface(GUID{1, 1, 1, {}}, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(p->Release(), 1u);
  EXPECT_FALSE(gone);
  EXPECT_EQ(p->Release(), 0u);
  EXPECT_TRUE(gone);
}

TEST(ComBase, GuidText) {
  EXPECT_EQ(guid_to_string(IID_IProbe), "{12345678-9ABC-DEF0-0102-030405060708}");
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
}

}  // namespace
