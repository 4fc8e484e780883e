// The value operations the SQL Server side binds and renders with, and the
// name and text helpers beside them.
#include <gtest/gtest.h>

#include <cmath>

#include "OLE/ole_date.h"
#include "OLE/ole_misc.h"
#include "OLE/ole_var.h"
#include "TK/tk_utils.h"
#include "tests/support/assertion.h"

namespace {

TEST(OleVariantExtractions, NumbersAndTruthByType) {
  EXPECT_EQ(ole_variant(true).to_long(), -1);
  EXPECT_EQ(ole_variant(static_cast<short>(-5)).to_long(), -5);
  EXPECT_EQ(ole_variant(2.9).to_long(), 2);
  EXPECT_EQ(ole_variant(-2.9).to_long(), -2);
  EXPECT_EQ(ole_variant(0x1'0000'0005LL).to_long(), 5);
  EXPECT_EQ(ole_variant().to_long(), 0);
  EXPECT_EQ(assertion_of([] { ole_variant(L"12").to_long(); }), assertion_text("ole_var", 478));

  EXPECT_EQ(ole_variant(0xFFFFFFFFu).to_double(), 4294967295.0);
  EXPECT_EQ(ole_variant(-7LL).to_double(), -7.0);
  CY cy{125000};
  EXPECT_EQ(ole_variant(cy).to_double(), 12.5);
  EXPECT_EQ(assertion_of([] { ole_variant(L"x").to_double(); }), assertion_text("ole_var", 519));

  EXPECT_TRUE(ole_variant(static_cast<short>(-1)).to_bool());
  VARIANT one{};
  one.vt = VT_BOOL;
  one.boolVal = 1;
  EXPECT_FALSE(ole_variant(one).to_bool());
  EXPECT_TRUE(ole_variant(std::nan("")).to_bool());
  EXPECT_FALSE(ole_variant(0.0).to_bool());
  EXPECT_EQ(assertion_of([] { ole_variant(L"x").to_bool(); }), assertion_text("ole_var", 446));
}

TEST(OleVariantExtractions, BytesAndArraySizes) {
  ole_variant v;
  const BYTE bytes[3] = {1, 2, 3};
  v.attach_binary(3, bytes);
  const BYTE* data = nullptr;
  ASSERT_EQ(v.get_bytes(&data), 3);
  EXPECT_EQ(data[2], 3);
  const BYTE* untouched = bytes;
  EXPECT_EQ(ole_variant().get_bytes(&untouched), 0);
  EXPECT_EQ(untouched, bytes);
  EXPECT_EQ(assertion_of([] { ole_variant(5).get_bytes(nullptr); }), assertion_text("ole_var", 664));
  SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
  EXPECT_EQ(get_safe_array_size(empty), 0);
  SafeArrayDestroy(empty);
  SYSTEMTIME st{};
  ole_variant(5).get_systemtime(st);
  EXPECT_EQ(st, SYSTEMTIME{});
}

TEST(OleDateVariant, BothWays) {
  ole_date d(std::string("2004-05-06 12:34:56"));
  ole_variant v = d.to_variant();
  EXPECT_EQ(v.get_vt(), VT_DATE);
  ole_date back(v.get_variant());
  EXPECT_EQ(back.to_string(), "2004-05-06 12:34:56");
  EXPECT_EQ(back.get_kind(), ole_date::date_time);
  EXPECT_EQ(ole_date(ole_date(std::string("2004-05-06")).to_variant().get_variant()).get_kind(), ole_date::date_only);
  VARIANT empty{};
  EXPECT_EQ(ole_date(empty).get_kind(), ole_date::invalid);
  EXPECT_EQ(assertion_of([] { ole_date(ole_variant(5).get_variant()); }), assertion_text("ole_date", 74));
}

TEST(TextHelpers, EndsWithAndTheBracedGuid) {
  EXPECT_TRUE(tk_ends_with(L"abc", L"BC", false));
  EXPECT_FALSE(tk_ends_with(L"abc", L"BC", true));
  EXPECT_TRUE(tk_ends_with(L"abc", L"", true));
  EXPECT_FALSE(tk_ends_with(L"c", L"bc", false));
  EXPECT_TRUE(tk_ends_with(L"int identity", L"IDENTITY", false));
  ole_guid_extractor g(L"Some record with guid={12345678-1234-1234-1234-123456789ABC} inside");
  EXPECT_EQ(g.get_braced_guid(), L"{12345678-1234-1234-1234-123456789ABC}");
  EXPECT_EQ(ole_guid_extractor(L"none").get_braced_guid(), L"");
}

}  // namespace
