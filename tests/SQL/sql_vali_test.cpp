#include "SQL/sql_vali.h"

#include <gtest/gtest.h>

#include "SQL/sql_engi.h"
#include "TK/tk_utils.h"
#include "UDB/udb_idx.h"
#include "UDB/udb_sche.h"

namespace {

class SqlValidators : public ::testing::Test {
protected:
  sql_engine engine;
};

}  // namespace

TEST_F(SqlValidators, OlderServers) {
  engine.set_server_version(0x40016);
  auto tables = engine.create_tn_validator({}, {});
  EXPECT_FALSE(tables->is_acceptable(L"order"));
  EXPECT_FALSE(tables->is_acceptable(L"two words"));
  EXPECT_EQ(tables->get_safe_name(L"two words"), L"two_words");
  EXPECT_FALSE(tables->is_acceptable(L"2004"));
  EXPECT_EQ(tables->get_safe_name(L"2004"), L"_004");
  EXPECT_TRUE(tables->is_acceptable(L"a$b"));
  auto databases = engine.create_dn_validator();
  EXPECT_FALSE(databases->is_acceptable(L"1abc"));
  EXPECT_TRUE(databases->is_acceptable(L"abc1"));
  EXPECT_FALSE(tables->is_acceptable(std::wstring(65, L'a')));
}

TEST_F(SqlValidators, NewerServers) {
  engine.set_server_version(0x40100);
  udb_schema schema;
  schema.push_back(std::make_unique<t_ftd>(10, L"x", VT_I4, false, false, ole_variant(), 0));
  auto fields = engine.create_fn_validator(schema);
  EXPECT_TRUE(fields->is_acceptable(L"order"));
  EXPECT_TRUE(fields->is_acceptable(L"two words"));
  EXPECT_TRUE(fields->is_acceptable(L"a.b"));
  EXPECT_FALSE(fields->is_acceptable(L" lead"));
  EXPECT_FALSE(fields->is_acceptable(L"trail "));
  EXPECT_EQ(fields->get_safe_name(L" x "), L"x00000");  // x is taken
  EXPECT_FALSE(fields->is_acceptable(L"a`b"));
  auto tables = engine.create_tn_validator({L"t"}, {});
  EXPECT_FALSE(tables->is_acceptable(L"a.b"));
  EXPECT_FALSE(tables->is_acceptable(std::wstring(65, L'a')));
  EXPECT_TRUE(tables->is_duplicated(L"T"));
}

TEST_F(SqlValidators, WhiteSpaceTheServerRefusesAtTheEnd) {
  engine.set_server_version(0x40100);
  auto tables = engine.create_tn_validator({}, {});
  struct { const wchar_t* name; bool acceptable; const wchar_t* safe; } cases[] = {
      {L"a\n", false, L"a"},         {L"a\r\n", false, L"a"},      {L"a\t", false, L"a"},
      {L"a\v", false, L"a"},         {L"a\f", false, L"a"},         {L" a \t\n ", false, L"a"},
      {L"\na", true, L"\na"},        {L"\ta", true, L"\ta"},        {L"a\nb", true, L"a\nb"},
      {L"a\u00a0", true, L"a\u00a0"}, {L"a\u0085", true, L"a\u0085"}, {L"a\u2003", true, L"a\u2003"},
      {L"a\u3000", true, L"a\u3000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tables->is_acceptable(c.name), c.acceptable) << tk_to_utf8(c.name);
    EXPECT_EQ(tables->get_safe_name(c.name), c.safe) << tk_to_utf8(c.name);
  }
}

TEST_F(SqlValidators, QuotingAndCharacterSetFollowTheVersion) {
  engine.set_server_version(0x40016);
  EXPECT_EQ(engine.quote_name(L"a`b"), L"a`b");
  EXPECT_EQ(engine.charset(), L"");
  engine.set_server_version(0x40100);
  EXPECT_EQ(engine.quote_name(L"name"), L"`name`");
  EXPECT_EQ(engine.quote_name(L"a`b"), L"`a``b`");
  EXPECT_EQ(engine.charset(), L"utf8");
  engine.set_server_version(0x50502);
  EXPECT_EQ(engine.charset(), L"utf8");
  engine.set_server_version(0x50503);
  EXPECT_EQ(engine.charset(), L"utf8mb4");
  unsigned word = 0;
  ASSERT_TRUE(sql_engine::parse_version("5.0.45-log", word));
  EXPECT_EQ(word, 0x5002Du);
  ASSERT_TRUE(sql_engine::parse_version("10.11.6-MariaDB-0+deb12u1", word));
  EXPECT_EQ(word, 0x0A0B06u);
  EXPECT_FALSE(sql_engine::parse_version("5.1", word));
}

TEST_F(SqlValidators, CharactersNoServerNameHolds) {
  const std::wstring outside_bmp = L"Price \U0001F4B2";
  const std::wstring with_nul(L"a\0b", 3);
  engine.set_server_version(0x40100);
  udb_schema schema;
  auto fields = engine.create_fn_validator(schema);
  auto tables = engine.create_tn_validator({}, {});
  for (udb_validator* v : {fields.get(), tables.get()}) {
    EXPECT_FALSE(v->is_acceptable(outside_bmp));
    EXPECT_FALSE(v->is_acceptable(with_nul));
    EXPECT_FALSE(v->is_acceptable(std::wstring(1, static_cast<wchar_t>(0xD83D))));
    EXPECT_EQ(v->get_safe_name(outside_bmp), L"Price _");
    EXPECT_EQ(v->get_safe_name(with_nul), L"a_b");
    EXPECT_TRUE(v->is_acceptable(L"Pr\u00eex \u4e2d\uFFFD"));  // the BMP stays
  }
  engine.set_server_version(0x40016);
  auto old_fields = engine.create_fn_validator(schema);
  EXPECT_FALSE(old_fields->is_acceptable(L"x\U00020000"));  // a letter, but outside the BMP
  EXPECT_EQ(old_fields->get_safe_name(L"x\U00020000"), L"x_");
}
