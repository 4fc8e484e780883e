// The statement that widens a CSV text column on SQL Server, and when it is due.
#include <gtest/gtest.h>

#include "UDB/udb_sche.h"
#include "common/mss_upsizer.h"

namespace {

t_ftd text_column(const wchar_t* name, int size, bool not_null = false) {
  return t_ftd(size, name, VT_BSTR, not_null, false, ole_variant(), 0);
}

// The upsizer's test of a value, without a destination.
class probe : public mss_field_upsizer {
public:
  probe() : mss_field_upsizer(nullptr, nullptr) {}
  bool fits(const t_ftd& column, std::wstring_view value) const { return holds(column, value); }
};

TEST(MssUpsizer, UnicodeLongTypeBracketedNameAndNullability) {
  EXPECT_EQ(mss_field_upsizer::statement(L"[dbo].[t]", text_column(L"a]b", 255), true),
            L"ALTER TABLE [dbo].[t] ALTER COLUMN [a]]b] nvarchar(max)");
  EXPECT_EQ(mss_field_upsizer::statement(L"[dbo].[t]", text_column(L"c", 255, true), false),
            L"ALTER TABLE [dbo].[t] ALTER COLUMN [c] ntext NOT NULL");
}

TEST(MssUpsizer, NeverNarrowsAndLeavesOtherTypesAlone) {
  EXPECT_EQ(mss_field_upsizer::statement(L"t", text_column(L"c", 0), true), L"");      // nvarchar(max)
  EXPECT_EQ(mss_field_upsizer::statement(L"t", text_column(L"c", 1 << 30), true), L"");  // ntext
  t_ftd number(8, L"n", VT_I4, false, false, ole_variant(), 0);
  EXPECT_EQ(mss_field_upsizer::statement(L"t", number, true), L"");
  probe p;
  EXPECT_TRUE(p.fits(number, std::wstring(5000, L'1')));
  EXPECT_TRUE(p.fits(text_column(L"c", 0), std::wstring(100000, L'x')));
}

TEST(MssUpsizer, LengthsCountUtf16Units) {
  probe p;
  const t_ftd c = text_column(L"c", 255);
  EXPECT_TRUE(p.fits(c, std::wstring(255, L'x')));
  EXPECT_FALSE(p.fits(c, std::wstring(256, L'x')));
  // A character outside the basic plane takes two units.
  EXPECT_TRUE(p.fits(c, std::wstring(127, L'\U0001F600') + L"x"));
  EXPECT_FALSE(p.fits(c, std::wstring(128, L'\U0001F600')));
  EXPECT_EQ(mss_field_upsizer::utf16_units(L"a\U0001F600"), 3u);
}

}  // namespace
