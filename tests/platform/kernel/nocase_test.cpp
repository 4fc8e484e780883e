#include "platform/kernel/nocase.h"

#include <gtest/gtest.h>

namespace {

TEST(NoCase, CaseIgnoredAccentsAndOrderKept) {
  EXPECT_EQ(kernel::compare_nocase(L"abc", L"ABC"), 0);
  EXPECT_EQ(kernel::compare_nocase(L"\u00c9t\u00e9", L"\u00e9T\u00c9"), 0);
  EXPECT_NE(kernel::compare_nocase(L"ete", L"\u00e9t\u00e9"), 0);
  EXPECT_EQ(kernel::compare_nocase(L"apple", L"Banana"), -1);
  EXPECT_EQ(kernel::compare_nocase(L"Banana", L"apple"), 1);
  EXPECT_EQ(kernel::compare_nocase(L"\u0416\u0443\u043a", L"\u0436\u0423\u041a"), 0);
  EXPECT_EQ(kernel::compare_nocase(L"", L""), 0);
  EXPECT_EQ(kernel::compare_nocase(L"a", L""), 1);
  EXPECT_EQ(kernel::compare_nocase(L"x\U0001F600", L"X\U0001F600"), 0);
}

}  // namespace
