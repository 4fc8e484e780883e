#include "OLE/ole_ptr.h"

#include <gtest/gtest.h>

namespace {

constexpr IID IID_IProbe{0x0badf00d, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
constexpr IID IID_IOther{0x0badf00e, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

struct IProbe : IUnknown {
  virtual int value() = 0;
};

struct probe : com_object<IProbe> {
  explicit probe(int* alive) : alive_(alive) { ++*alive_; }
  ~probe() override { --*alive_; }
  bool query_self(REFIID iid) const override { return iid == IID_IProbe; }
  int value() override { return 7; }
  int* alive_;
};

TEST(OleComPtr, HoldsAndReleasesReferences) {
  int alive = 0;
  {
    ole_com_ptr<IProbe> a;
    a.attach(new probe(&alive));  // takes over the creation reference
    EXPECT_EQ(a->value(), 7);
    ole_com_ptr<IProbe> b = a;  // copies add a reference
    ole_com_ptr<IProbe> c(std::move(b));
    EXPECT_FALSE(b);
    ole_com_ptr<IUnknown> unknown;
    EXPECT_EQ(c.query_interface(IID_IUnknown, unknown), S_OK);
    ole_com_ptr<IUnknown> other;
    EXPECT_EQ(c.query_interface(IID_IOther, other), E_NOINTERFACE);
    EXPECT_FALSE(other);
    a = nullptr;
    ole_com_ptr<IProbe>& same = c;
    c = same;  // self-assignment keeps the object
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(c->value(), 7);
  }
  EXPECT_EQ(alive, 0);

  ole_com_ptr<IProbe> out;
  *out.out() = new probe(&alive);
  IProbe* raw = out.detach();
  EXPECT_FALSE(out);
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_EQ(alive, 0);
}

TEST(OleComPtr, NullUseIsAnInternalError) {
  ole_com_ptr<IProbe> none;
  try {
    none->value();
    FAIL();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(std::string(e.what()), "Internal error: \ncode=" + tk_location_code("ole_ptr", 94));
  }
}

}  // namespace
