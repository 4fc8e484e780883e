#include "OLE/ole_misc.h"

#include <gtest/gtest.h>

#include "TK/tk_excep.h"

namespace {

struct counted : com_object<IUnknown> {
  bool query_self(REFIID) const override { return false; }
};

TEST(OleMisc, InterfaceProbeAndTextOrDate) {
  auto* p = new counted;
  ole_check_interface(p);
  EXPECT_EQ(p->Release(), 0u);
  EXPECT_THROW(ole_check_interface(nullptr), tk_mail_assertion);
  EXPECT_TRUE(ole_is_text_or_date(VT_BSTR));
  EXPECT_TRUE(ole_is_text_or_date(VT_DATE));
  EXPECT_FALSE(ole_is_text_or_date(VT_I4));
  EXPECT_FALSE(ole_is_text_or_date(VT_BSTR | VT_ARRAY));
}

TEST(OleGuidExtractor, FindsTheGuidAfterTheWord) {
  ole_guid_extractor lower(L"Some record with guid={12345678-1234-1234-1234-123456789ABC} inside");
  EXPECT_TRUE(lower.is_found());
  EXPECT_EQ(lower.get_position(), 22);
  EXPECT_EQ(lower.get_hex(), L"12345678123412341234123456789ABC");
  ole_guid_extractor upper(L"{00000000-0000-0000-0000-000000000000} GUID= {ABCDEF01-2345-6789-abcd-ef0123456789}");
  EXPECT_EQ(upper.get_hex(), L"ABCDEF0123456789abcdef0123456789");

  ole_guid_extractor short_text(L"guid={12345678-1234-1234-1234-123456789ABC}");
  EXPECT_FALSE(short_text.is_found());  // 43 characters: too short to hold one
  ole_guid_extractor no_word(L"no word here {12345678-1234-1234-1234-123456789ABC}");
  EXPECT_FALSE(no_word.is_found());
  EXPECT_EQ(no_word.get_hex(), L"");
}

TEST(OleGuidExtractor, NeverReadsPastTheText) {
  // The text ends inside the last group.
  std::wstring cut = L"xxxxxxxxxxxxxxxxxxxxxxxxxxxx guid={12345678-1234-1234-1234-1234";
  ole_guid_extractor e(cut);
  EXPECT_FALSE(e.is_found());
  EXPECT_EQ(e.get_position(), static_cast<int>(cut.find(L'{')));
  EXPECT_EQ(e.get_hex(), L"");
  // Something that is no GUID after the brace.
  ole_guid_extractor words(L"the guid is {not a guid at all, only some words}....");
  EXPECT_FALSE(words.is_found());
  EXPECT_EQ(words.get_hex(), L"");
}

}  // namespace
