#include "platform/oledb/connection_string.h"

#include <gtest/gtest.h>

namespace {

TEST(ConnectionString, PairsAndQuotedValues) {
  connection_string s(L"Provider=sqloledb; Data Source = srv,1433 ;User ID=jdoe;"
                      L"Password=\"a;b=c\"\"d'\";Initial Catalog='it''s'");
  ASSERT_TRUE(s.is_valid()) << std::string(s.error().begin(), s.error().end());
  EXPECT_EQ(s.get(L"provider"), L"sqloledb");
  EXPECT_EQ(s.get(L"DATA SOURCE"), L"srv,1433");
  EXPECT_EQ(s.get(L"Password"), L"a;b=c\"d'");
  EXPECT_EQ(s.get(L"Initial Catalog"), L"it's");
  EXPECT_FALSE(s.get(L"Integrated Security"));
}

TEST(ConnectionString, LastValueWinsAndEmptyPairsPass) {
  connection_string s(L";;User ID=a;user id=b;;key==x=1;Password=");
  ASSERT_TRUE(s.is_valid());
  EXPECT_EQ(s.get(L"User ID"), L"b");
  EXPECT_EQ(s.get(L"key=x"), L"1");
  EXPECT_EQ(s.get(L"Password"), L"");
  EXPECT_EQ(s.pairs().size(), 3u);
}

TEST(ConnectionString, MalformedTextIsRefused) {
  EXPECT_FALSE(connection_string(L"Password=\"abc").is_valid());
  EXPECT_FALSE(connection_string(L"Password=\"abc\"def").is_valid());
  EXPECT_FALSE(connection_string(L"Provider").is_valid());
  EXPECT_FALSE(connection_string(L"=value").is_valid());
  EXPECT_TRUE(connection_string(L"").is_valid());
}

TEST(ConnectionString, ValuesQuoteSoTheyReadBack) {
  for (std::wstring value : {L"plain", L"a;b", L"x=y", L"\"q\"", L"it's", L" lead", L"both'\"", L"", L"'start", L"==", L"=x"}) {
    connection_string s(L"Password=" + connection_string_value(value) + L";User ID=u");
    ASSERT_TRUE(s.is_valid());
    EXPECT_EQ(s.get(L"Password"), value);
    EXPECT_EQ(s.get(L"User ID"), L"u");
  }
  EXPECT_EQ(connection_string_value(L"plain"), L"plain");
}

}  // namespace
