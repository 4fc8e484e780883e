#include "platform/kernel/codepage.h"

#include <gtest/gtest.h>

namespace {

// Restores the calling thread's code page after a test changed it.
struct thread_code_page_guard {
  ~thread_code_page_guard() { kernel::set_thread_code_page(0); }
};

TEST(CodePage, Windows1252RoundTripAndDefaultCharacter) {
  thread_code_page_guard guard;
  ASSERT_TRUE(kernel::set_thread_code_page(1252));
  EXPECT_EQ(kernel::thread_code_page(), 1252u);
  std::wstring text = L"Caf\u00e9 \u20ac5 \u00df";
  auto narrow = kernel::wide_to_multibyte(CP_THREAD_ACP, text);
  ASSERT_TRUE(narrow);
  EXPECT_EQ(*narrow, "Caf\xe9 \x80" "5 \xdf");
  EXPECT_EQ(kernel::multibyte_to_wide(CP_THREAD_ACP, *narrow), text);

  // Characters the code page cannot hold become '?', one each, also outside the BMP
  // and for values that are no characters at all.
  std::wstring foreign = L"a\u4e2d\U0001F600b";
  foreign += static_cast<wchar_t>(0xD800);
  foreign += static_cast<wchar_t>(0x110000);
  EXPECT_EQ(kernel::wide_to_multibyte(1252, foreign), "a??b??");
}

TEST(CodePage, InvalidBytesBecomeReplacementCharacter) {
  // 0x81 has no character in Windows-1252.
  EXPECT_EQ(kernel::multibyte_to_wide(1252, "a\x81z"), L"a\uFFFDz");
  // Truncated and overlong UTF-8, a lone continuation byte and an encoded surrogate.
  EXPECT_EQ(kernel::utf8_to_wide("a\xE2\x82"), L"a\uFFFD");
  EXPECT_EQ(kernel::utf8_to_wide("\xC0\xAF|\x80|\xED\xA0\x80|ok"), L"\uFFFD\uFFFD|\uFFFD|\uFFFD|ok");
  // A Shift-JIS lead byte at the very end.
  EXPECT_EQ(kernel::multibyte_to_wide(932, "x\x82"), L"x\uFFFD");
}

TEST(CodePage, Utf8IsSizedExactly) {
  std::wstring text = L"\U0001F600\U0001F600\u00e9a";
  std::string utf8 = kernel::wide_to_utf8(text);
  EXPECT_EQ(utf8, "\xF0\x9F\x98\x80\xF0\x9F\x98\x80\xC3\xA9" "a");
  EXPECT_EQ(kernel::utf8_to_wide(utf8), text);
  EXPECT_EQ(kernel::utf16_to_wide(kernel::wide_to_utf16(text)), text);
  EXPECT_EQ(kernel::wide_to_utf16(L"\U0001F600").size(), 2u);
}

TEST(CodePage, LargeTextAndUnknownCodePages) {
  std::wstring big(100000, L'\u00e9');
  big += L"\u4e2d";
  auto narrow = kernel::wide_to_multibyte(28591, big);
  ASSERT_TRUE(narrow);
  EXPECT_EQ(narrow->size(), big.size());
  EXPECT_EQ(narrow->back(), '?');
  EXPECT_FALSE(kernel::wide_to_multibyte(4242, L"x"));
  EXPECT_FALSE(kernel::multibyte_to_wide(4242, "x"));
  EXPECT_FALSE(kernel::set_thread_code_page(4242));
}

TEST(CodePage, SystemCodePageFollowsTheLocale) {
  // The tests run under C or a UTF-8 locale: UTF-8.
  EXPECT_EQ(kernel::system_code_page(), CP_UTF8);
  ASSERT_TRUE(kernel::set_system_code_page(1252));
  EXPECT_EQ(kernel::wide_to_multibyte(CP_ACP, L"\u00e9"), "\xe9");
  EXPECT_EQ(kernel::thread_code_page(), 1252u);
  ASSERT_TRUE(kernel::set_system_code_page(CP_ACP));
  EXPECT_EQ(kernel::wide_to_multibyte(CP_ACP, L"\u00e9"), "\xc3\xa9");
}

}  // namespace
