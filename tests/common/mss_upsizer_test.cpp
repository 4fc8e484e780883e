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

TEST(MssUpsizer, TheLongTypeOfTheColumnsKindWithItsCollationAndNullability) {
  const struct {
    const wchar_t* type;
    const wchar_t* collation;
    bool not_null, has_max_types;
    const wchar_t* statement;
  } cases[] = {
      {L"nvarchar", L"", false, true, L"ALTER TABLE [dbo].[t] ALTER COLUMN [a]]b] nvarchar(max) NULL"},
      {L"", L"", true, false, L"ALTER TABLE [dbo].[t] ALTER COLUMN [a]]b] ntext NOT NULL"},
      {L"nchar", L"Latin1_General_CS_AS", false, true,
       L"ALTER TABLE [dbo].[t] ALTER COLUMN [a]]b] nvarchar(max) COLLATE Latin1_General_CS_AS NULL"},
      {L"VARCHAR", L"Cyrillic_General_CI_AS", true, true,
       L"ALTER TABLE [dbo].[t] ALTER COLUMN [a]]b] varchar(max) COLLATE Cyrillic_General_CI_AS NOT NULL"},
      {L"char", L"Greek_CI_AS", false, false,
       L"ALTER TABLE [dbo].[t] ALTER COLUMN [a]]b] text COLLATE Greek_CI_AS NULL"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(mss_field_upsizer::statement(L"[dbo].[t]", text_column(L"a]b", 255, c.not_null), c.type, c.collation,
                                           c.has_max_types),
              c.statement);
}

TEST(MssUpsizer, NeverNarrowsAndLeavesOtherTypesAlone) {
  EXPECT_EQ(mss_field_upsizer::statement(L"t", text_column(L"c", 0), L"", L"", true), L"");      // nvarchar(max)
  EXPECT_EQ(mss_field_upsizer::statement(L"t", text_column(L"c", 1 << 30), L"", L"", true), L"");  // ntext
  t_ftd number(8, L"n", VT_I4, false, false, ole_variant(), 0);
  EXPECT_EQ(mss_field_upsizer::statement(L"t", number, L"int", L"", true), L"");
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
