// The SQL Server pieces that need no server: version classes, table names,
// the renaming cycle, value literals, foreign-key statements and defaults.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "MSS/mss_db.h"
#include "MSS/mss_engi.h"
#include "MSS/mss_lit.h"
#include "MSS/mss_tab.h"
#include "MSS/mss_vali.h"
#include "OLE/ole_date.h"
#include "TK/tk_excep.h"
#include "TK/tk_utils.h"
#include "platform/oledb/connection_string.h"

namespace {

TEST(mss_engine_unit, VersionClassesFromTheVersionText) {
  EXPECT_EQ(mss_engine::version_class(L"Microsoft SQL Server  2000 - 8.00.2039 (Intel X86)"), 3);
  EXPECT_EQ(mss_engine::version_class(L"Microsoft SQL Server 2005 - 9.00.1399.06 (Intel X86)"), 4);
  EXPECT_EQ(mss_engine::version_class(L"Microsoft SQL Server 2008 R2 (RTM) - 10.50.1600.1"), 5);
  EXPECT_EQ(mss_engine::version_class(L"Microsoft SQL Server 2012 - 11.0.2100.60 (X64)"), 5);
  EXPECT_EQ(mss_engine::version_class(L"Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64)"), 5);
  EXPECT_EQ(mss_engine::version_class(L"Microsoft SQL Server 2022 (RTM) - 16.0.1000.6 (X64)"), 5);
  EXPECT_EQ(mss_engine::version_class(L"Microsoft SQL Server  7.00 - 7.00.623 (Intel X86)"), 2);
  EXPECT_EQ(mss_engine::version_class(L"Microsoft SQL Azure (RTM) - 12.0.2000.8\n\tMay 28 2024 21:05:26"), 5);
  // Exactly 30 characters, another product, another case: unknown.
  EXPECT_EQ(mss_engine::version_class(L"Microsoft SQL Server 2005 - 9."), 1);
  EXPECT_EQ(mss_engine::version_class(L"microsoft sql server 2005 - 9.00.1399.06"), 1);
}

TEST(mss_engine_unit, TableNamesSplitAndBracket) {
  std::wstring table = L"untouched", owner = L"untouched";
  EXPECT_FALSE(mss_split_tab_name(L"Sales", table, owner));
  EXPECT_FALSE(mss_split_tab_name(L"[]", table, owner));
  EXPECT_EQ(table, L"untouched");
  ASSERT_TRUE(mss_split_tab_name(L"[jdoe].[Sales]", table, owner));
  EXPECT_EQ(owner, L"jdoe");
  EXPECT_EQ(table, L"Sales");
  ASSERT_TRUE(mss_split_tab_name(L"[a]]b].[c]]d]", table, owner));
  EXPECT_EQ(owner, L"a]b");
  EXPECT_EQ(table, L"c]d");
  ASSERT_TRUE(mss_split_tab_name(L"[Sales]", table, owner));
  EXPECT_EQ(owner, L"");
  EXPECT_EQ(table, L"Sales");
  EXPECT_EQ(mss_bracket_name(L"a]b"), L"[a]]b]");
  EXPECT_EQ(mss_bracket_name(L"x]; DROP TABLE t; --"), L"[x]]; DROP TABLE t; --]");
}

TEST(mss_engine_unit, TheTraceLogNeverShowsThePassword) {
  const std::wstring text = L"Provider=sqloledb;Data Source=h;User ID=sa;Password=" +
                            connection_string_value(L"se;cr=et\"'") + L";";
  const std::wstring hidden = mss_engine::hide_password(text);
  EXPECT_EQ(hidden.find(L"se;cr"), std::wstring::npos);
  EXPECT_NE(hidden.find(L"Password=***"), std::wstring::npos);
  EXPECT_NE(hidden.find(L"User ID=sa"), std::wstring::npos);
}

TEST(mss_validator_unit, AcceptsLettersAndUnderscoreAndRenamesInACycle) {
  mss_tn_validator v({L"Orders", L"_Orders"}, {L"1_orders", L"_1_Orders"});
  EXPECT_TRUE(v.is_acceptable(L"_x"));
  EXPECT_TRUE(v.is_acceptable(L"Ä"));
  EXPECT_FALSE(v.is_acceptable(L"1x"));
  EXPECT_THROW(v.is_acceptable(L""), tk_mail_assertion);
  EXPECT_EQ(v.get_safe_name(L"Orders"), L"2_1_Orders");
  EXPECT_EQ(v.get_safe_name(L"Other"), L"Other");
}

// Names past the server's 128 UTF-16 units are cut (numbered when the cut
// name is used); shorter ones keep the renaming cycle while it fits.
TEST(mss_validator_unit, NamesStayWithinWhatTheServerHolds) {
  const std::wstring emoji = L"\U0001F600";
  const std::wstring long_name(200, L'x'), cut(127, L'x');
  mss_tn_validator v({cut, std::wstring(127, L'y')}, {L"_" + std::wstring(127, L'y')});
  struct name_case {
    std::wstring name, safe;
    bool acceptable;
  };
  const name_case cases[] = {
      {std::wstring(128, L'a'), std::wstring(128, L'a'), true},
      {std::wstring(129, L'a'), std::wstring(127, L'a'), false},
      {long_name, std::wstring(122, L'x') + L"00000", false},
      {std::wstring(126, L'a') + emoji, std::wstring(126, L'a') + emoji, true},  // 128 units
      {std::wstring(127, L'a') + emoji, std::wstring(127, L'a'), false},
      {std::wstring(127, L'y'), std::wstring(122, L'y') + L"00000", true},  // "_" + it is used too
      {std::wstring(L"na\0me", 5), L"na_me", false},  // no name carries NUL
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name.size());
    EXPECT_EQ(v.is_acceptable(c.name), c.acceptable);
    const std::wstring safe = v.get_safe_name(c.name);
    EXPECT_TRUE(safe == c.safe) << tk_to_utf8(safe);
    EXPECT_LE(mss_name_length(safe), 128u);
  }
}

TEST(mss_literals, TextDatesNumbersAndBinary) {
  EXPECT_EQ(to_mssql_str(L"O'Neil", VT_BSTR), L"N'O''Neil'");
  EXPECT_EQ(to_mssql_str(L"", VT_I4), L"''");
  EXPECT_EQ(to_mssql_str(L"2004-05-06 12:34:56", VT_DATE), L"'20040506 12:34:56'");
  EXPECT_EQ(to_mssql_str(L"2004-05-06", VT_DATE), L"'20040506'");
  EXPECT_EQ(to_mssql_str(L"12:31:00", VT_DATE), L"'18991230 12:31:00'");
  EXPECT_EQ(to_mssql_str(L"42", VT_I4), L"42");
  EXPECT_EQ(to_mssql_str(L"12.5", VT_DECIMAL), L"12.5");
  EXPECT_EQ(to_mssql_str(L"0x0A1B", VT_ARRAY | VT_UI1), L"0x0A1B");
  EXPECT_EQ(to_mssql_str(L"0x", VT_BLOB), L"0x");
  // A binary text that is no number is quoted, its quotes doubled.
  EXPECT_EQ(to_mssql_str(L"it's", VT_BLOB), L"'it''s'");
  // Emoji and CJK stay as they are inside the Unicode literal.
  EXPECT_EQ(to_mssql_str(L"\U0001F600\u4E2D'", VT_BSTR), L"N'\U0001F600\u4E2D'''");
}

TEST(mss_literals, AGuidRuleOnlyForAWholeGuid) {
  const std::wstring guid = L"{12345678-1234-1234-1234-123456789ABC}";
  EXPECT_EQ(to_mssql_str(L"{guid " + guid + L"}", VT_BSTR), L"'" + guid + L"'");
  EXPECT_EQ(to_mssql_str(guid, VT_BSTR), L"'" + guid + L"'");
  const std::wstring longer = L"The record's guid=" + guid + L" and more text";
  EXPECT_EQ(to_mssql_str(longer, VT_BSTR), L"N'The record''s guid=" + guid + L" and more text'");
  EXPECT_EQ(to_mssql_str(L"{guid " + guid + L"}", VT_BLOB), L"0x12345678123412341234123456789ABC");
  // Separators other than '-' make no GUID: the text keeps its quotes doubled.
  EXPECT_EQ(to_mssql_str(L"{guid {12345678-1234-1234-1234'123456789ABC}}", VT_BSTR),
            L"N'{guid {12345678-1234-1234-1234''123456789ABC}}'");
}

TEST(mss_literals, TheGuardKeepsRangesAndRefusesWhatCannotBeStored) {
  EXPECT_EQ(mssql_get_safe_variant(ole_variant(1e-310)).to_double(), 2.23e-308);
  EXPECT_EQ(mssql_get_safe_variant(ole_variant(-1e-310)).to_double(), -2.23e-308);
  EXPECT_EQ(mssql_get_safe_variant(ole_variant(1.7976931348623157e308)).to_double(), 1.79e308);
  EXPECT_EQ(mssql_get_safe_variant(ole_variant(0.1)).to_double(), 0.1);
  EXPECT_EQ(mssql_get_safe_variant(ole_variant(0.0)).to_double(), 0.0);
  EXPECT_THROW(mssql_get_safe_variant(ole_variant(std::numeric_limits<double>::quiet_NaN())), tk_exception);
  EXPECT_THROW(mssql_get_safe_variant(ole_variant(std::numeric_limits<double>::infinity())), tk_exception);
  const ole_variant old_date = ole_date(std::string("1600-01-02")).to_variant();
  try {
    mssql_get_safe_variant(old_date);
    ADD_FAILURE() << "a date of 1600 passed";
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 0);
    EXPECT_NE(std::string(e.what()).find("1753"), std::string::npos);
  }
  EXPECT_EQ(mssql_get_safe_variant(old_date, true).get_systemtime().wYear, 1600);
  const ole_variant date = ole_date(std::string("2004-05-06")).to_variant();
  EXPECT_EQ(mssql_get_safe_variant(date).get_systemtime().wYear, 2004);
}

TEST(mss_database_unit, ForeignKeyRulesWhereTheServerTakesThem) {
  udb_relationship key(L"FK a]", L"", L"Orders", L"Cust'omers", {L"cust id"}, {L"id"}, L"on delete cascade ");
  const std::wstring base =
      L"ALTER TABLE [Orders] ADD CONSTRAINT [FK a]]] FOREIGN KEY ([cust id]) REFERENCES [Cust'omers]([id])";
  EXPECT_EQ(mss_database::fk_statement(key, 2), base);
  EXPECT_EQ(mss_database::fk_statement(key, 3), base + L" on delete cascade");
  EXPECT_EQ(mss_database::fk_statement(key, 5), base + L" on delete cascade");
  key.rule = L"ON UPDATE SET NULL";
  EXPECT_EQ(mss_database::fk_statement(key, 3), base);
  EXPECT_EQ(mss_database::fk_statement(key, 4), base + L" ON UPDATE SET NULL");
  key.rule = L"ON DELETE EXPLODE";
  EXPECT_EQ(mss_database::fk_statement(key, 5), base);
  EXPECT_TRUE(mss_database::is_valid_fk_props(L"on update no action"));
  EXPECT_FALSE(mss_database::is_valid_fk_props(L"ON UPDATE"));
}

TEST(mss_table_unit, DefaultsAsTheCatalogShowsThem) {
  EXPECT_EQ(mss_table::get_def_value(VT_I4, L"((0))").to_wstring(), L"0");
  EXPECT_EQ(mss_table::get_def_value(VT_BSTR, L"(N'it''s')").to_wstring(), L"it's");
  EXPECT_EQ(mss_table::get_def_value(VT_BSTR, L"('x')").to_wstring(), L"x");
  EXPECT_EQ(mss_table::get_def_value(VT_DATE, L"('2004-05-06')").get_systemtime().wYear, 2004);
}

}  // namespace
