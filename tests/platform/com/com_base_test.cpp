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

constexpr IID IID_IOther{0x12345679, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};

struct IOther : IUnknown {};

struct pair_probe : com_unknown<IProbe, IOther> {
  explicit pair_probe(bool* gone) : gone_(gone) {}
  ~pair_probe() override { *gone_ = true; }
  void* find(REFIID iid) override {
    if (iid == IID_IUnknown || iid == IID_IProbe) return static_cast<IProbe*>(this);
    if (iid == IID_IOther) return static_cast<IOther*>(this);
    return nullptr;
  }
  bool* gone_;
};

TEST(ComBase, SeveralInterfacesShareOneCount) {
  bool gone = false;
  auto* p = new pair_probe(&gone);
  void* other = nullptr;
  ASSERT_EQ(p->QueryInterface(IID_IOther, &other), S_OK);
  EXPECT_EQ(other, static_cast<IOther*>(p));
  void* unknown = nullptr;
  ASSERT_EQ(static_cast<IOther*>(other)->QueryInterface(IID_IUnknown, &unknown), S_OK);
  EXPECT_EQ(unknown, static_cast<IProbe*>(p));  // one identity whichever interface is asked
  EXPECT_EQ(p->QueryInterface(GUID{1, 1, 1, {}}, &unknown), E_NOINTERFACE);
  EXPECT_EQ(unknown, nullptr);
  EXPECT_EQ(static_cast<IOther*>(other)->Release(), 2u);
  EXPECT_EQ(p->Release(), 1u);
  EXPECT_FALSE(gone);
  EXPECT_EQ(static_cast<IOther*>(other)->Release(), 0u);
  EXPECT_TRUE(gone);
}

TEST(ComBase, GuidText) {
  EXPECT_EQ(guid_to_string(IID_IProbe), "{12345678-9ABC-DEF0-0102-030405060708}");
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
}

}  // namespace
