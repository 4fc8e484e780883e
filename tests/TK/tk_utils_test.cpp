#include "TK/tk_utils.h"

#include <gtest/gtest.h>

#include <cstring>

#include "TK/tk_excep.h"
#include "platform/kernel/codepage.h"

namespace {

TEST(TkUtils, AnsiAndUtf8Conversions) {
  std::string narrow;
  EXPECT_FALSE(tk_to_ansi(nullptr, narrow));
  std::wstring wide;
  EXPECT_FALSE(tk_from_ansi(nullptr, wide));
  // The test locale is C or UTF-8: the ANSI code page is UTF-8.
  ASSERT_TRUE(tk_to_ansi(L"\U0001F600x", narrow));
  EXPECT_EQ(narrow, "\xf0\x9f\x98\x80x");
  ASSERT_TRUE(tk_from_ansi(narrow.c_str(), wide));
  EXPECT_EQ(wide, L"\U0001F600x");
  tk_free_buffer(narrow);
  EXPECT_TRUE(narrow.empty());

  ASSERT_TRUE(kernel::set_system_code_page(1252));
  EXPECT_EQ(tk_to_ansi(L"\u00e9\u4e2d"), "\xe9?");
  std::string exact = "kept";
  EXPECT_FALSE(tk_to_ansi_exact(L"\u00e9\u4e2d", exact));
  EXPECT_EQ(exact, "kept");
  ASSERT_TRUE(tk_to_ansi_exact(L"\u00e9?", exact));
  EXPECT_EQ(exact, "\xe9?");
  EXPECT_EQ(tk_from_ansi("\xe9"), L"\u00e9");
  kernel::set_system_code_page(CP_ACP);

  EXPECT_EQ(tk_from_utf8(tk_to_utf8(L"\u00e9\U00010348")), L"\u00e9\U00010348");
  EXPECT_EQ(tk_to_narrow(L"\u00e9", 1252), "\xe9");
  EXPECT_EQ(tk_from_narrow("\xe9", 1252), L"\u00e9");
}

TEST(TkUtils, NarrowIntoBufferIsCutAtCharacters) {
  char buf[6];
  std::memset(buf, 'Z', sizeof buf);
  // Each euro sign takes three bytes in UTF-8: only one fits before the terminator.
  ASSERT_EQ(tk_to_narrow(L"\u20ac\u20ac", buf, 6, CP_UTF8), buf);
  EXPECT_STREQ(buf, "\xe2\x82\xac");
  EXPECT_STREQ(tk_to_narrow(L"abc", buf, sizeof buf, 1252), "abc");
  EXPECT_STREQ(tk_to_narrow(L"abcdefgh", buf, sizeof buf, 1252), "abcde");
  EXPECT_EQ(tk_to_narrow(nullptr, buf, sizeof buf, 1252), nullptr);
  EXPECT_EQ(tk_to_narrow(L"a", nullptr, 4, 1252), nullptr);
  EXPECT_EQ(tk_to_narrow(L"a", buf, 0, 1252), nullptr);
  EXPECT_EQ(tk_to_narrow(L"a", buf, sizeof buf, 4242), nullptr);
}

TEST(TkUtils, HexOfBytes) {
  const unsigned char bytes[] = {0x0A, 0xFF};
  char buf[5];
  tk_bin_to_hex(bytes, 2, buf);
  EXPECT_STREQ(buf, "0AFF");
  EXPECT_EQ(tk_bin_to_hex(bytes, 0), "");
  EXPECT_THROW(tk_bin_to_hex(bytes, 2, nullptr), tk_mail_assertion);
}

TEST(TkUtils, TrimOnlyBlanks) {
  EXPECT_EQ(tk_trim(std::string("   ")), "");
  EXPECT_EQ(tk_trim(std::string(" a b ")), "a b");
  EXPECT_EQ(tk_trim(std::wstring(L" a b ")), L"a b");
  EXPECT_EQ(tk_trim_left(std::string("  \tx ")), "\tx ");
  EXPECT_EQ(tk_trim_right(std::wstring(L" x\t  ")), L" x\t");
  EXPECT_EQ(tk_trim_right(std::wstring(L"    ")), L"");
  EXPECT_EQ(tk_trim(std::wstring()), L"");
}

TEST(TkUtils, CompareWithoutCase) {
  EXPECT_EQ(tk_compare_nocase("abc", "ABC"), 0);
  EXPECT_EQ(tk_compare_nocase("Field1", "field2"), -1);
  EXPECT_EQ(tk_wcompare_nocase(L"\u00c4rger", L"\u00e4RGER"), 0);
  EXPECT_EQ(tk_wcompare_nocase(L"b", L"A"), 1);
}

TEST(TkUtils, SplitKeepsEmptyPieces) {
  EXPECT_EQ(tk_split("a,,b", ','), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(tk_split("a,", ','), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(tk_split("", ','), std::vector<std::string>{});
  EXPECT_EQ(tk_split("abc", ','), std::vector<std::string>{"abc"});
}

TEST(TkUtils, NumberTextAndModulePath) {
  EXPECT_EQ(tk_format_double_e(1.5), "1.500000000000000e+000");
  EXPECT_EQ(tk_format("%I64d;%.6e", -5LL, 1e-300), "-5;1.000000e-300");
  EXPECT_EQ(tk_wformat(L"%s=%d", L"n", 3), L"n=3");
  EXPECT_EQ(tk_strtod("1.25"), 1.25);
  std::string path = tk_get_module_path();
  EXPECT_EQ(path.substr(path.rfind('/') + 1), "test_tk");
  EXPECT_EQ(tk_get_module_folder(), path.substr(0, path.rfind('/') + 1));
  EXPECT_EQ(tk_get_module_wpath(), tk_from_ansi(path));
}

}  // namespace
