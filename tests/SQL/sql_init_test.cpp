#include "SQL/sql_init.h"

#include <gtest/gtest.h>

#include "SQL/sql_db.h"
#include "SQL/sql_engi.h"

namespace {

class SqlDefinitions : public ::testing::Test {
protected:
  void SetUp() override {
    engine.set_server_version(0x0A0B06);
    engine.set_fk_supported(1);
  }
  void add(const std::wstring& name, VARTYPE vt, int size, bool not_null = false,
           bool autonum = false, ole_variant def = ole_variant()) {
    schema.push_back(std::make_unique<t_ftd>(size, name, vt, not_null, autonum, def, 0));
  }
  void add_index(const std::wstring& name, std::vector<std::wstring> columns, bool primary = false) {
    udb_index index;
    index.name = name;
    index.primary = primary;
    index.unique = primary;
    index.columns = std::move(columns);
    indexes.push_back(index);
  }
  std::wstring statement() { return sql_database::create_table_statement(L"t", schema, indexes); }

  sql_engine engine;
  udb_schema schema;
  udb_indexes indexes;
};

}  // namespace

TEST_F(SqlDefinitions, ColumnsWithDefaultsNotNullAndAutoIncrement) {
  add(L"id", VT_I4, 4, false, true);
  add(L"name", VT_BSTR, 50, true, false, ole_variant(std::wstring(L"x")));
  add(L"memo", VT_BSTR, 1000, false, false, ole_variant(std::wstring(L"ignored")));
  add(L"two words", VT_R8, 8);
  EXPECT_EQ(statement(),
            L"CREATE TABLE `t` (`id` INT NOT NULL AUTO_INCREMENT, "
            L"`name` VARCHAR(50) CHARACTER SET utf8mb4  NOT NULL DEFAULT 'x', "
            L"`memo` TEXT CHARACTER SET utf8mb4 , `two words` DOUBLE, "
            L"INDEX `id` (`id`)) ENGINE=InnoDB");
}

TEST_F(SqlDefinitions, OlderServersAndTableTypes) {
  add(L"a", VT_BSTR, 10);
  add_index(L"ia", {L"a"});
  engine.set_server_version(0x40016);
  EXPECT_EQ(statement(), L"CREATE TABLE t (a VARCHAR(10), INDEX ia (a)) TYPE=InnoDB");
  engine.set_server_version(0x40017);
  EXPECT_EQ(statement().substr(statement().size() - 14), L" ENGINE=InnoDB");
  engine.set_server_version(0x31722);
  EXPECT_EQ(statement().substr(statement().size() - 12), L" TYPE=MyISAM");
  engine.set_server_version(0x31728);
  engine.set_fk_supported(0);
  EXPECT_EQ(statement().substr(statement().size() - 12), L" TYPE=MyISAM");
  engine.set_server_version(0x31701);  // before 3.23.2 every indexed column is NOT NULL
  EXPECT_NE(statement().find(L"a VARCHAR(10) NOT NULL"), std::wstring::npos);
}

TEST_F(SqlDefinitions, IndexLimits) {
  for (int i = 0; i < 3; ++i) add(L"c" + std::to_wstring(i), VT_BSTR, 200);
  add(L"memo", VT_BSTR, 256);
  add_index(L"two", {L"c0", L"c1"});
  add_index(L"three", {L"c0", L"c1", L"c2"});
  add_index(L"blob", {L"memo"});
  std::wstring s = statement();
  EXPECT_NE(s.find(L"INDEX `two`"), std::wstring::npos);
  EXPECT_EQ(s.find(L"INDEX `three`"), std::wstring::npos);
  EXPECT_EQ(s.find(L"INDEX `blob`"), std::wstring::npos);
  engine.set_server_version(0x40016);
  s = statement();
  EXPECT_EQ(s.find(L"INDEX two"), std::wstring::npos);  // 400 > 256

  schema = udb_schema();
  indexes.clear();
  for (int i = 0; i < 17; ++i) add(L"k" + std::to_wstring(i), VT_I4, 4);
  std::vector<std::wstring> all;
  for (int i = 0; i < 17; ++i) all.push_back(L"k" + std::to_wstring(i));
  add_index(L"wide", all);
  for (int i = 0; i < 32; ++i) add_index(L"i" + std::to_wstring(i), {L"k0"});
  engine.set_server_version(0x40100);
  s = statement();
  EXPECT_EQ(s.find(L"`wide`"), std::wstring::npos);
  EXPECT_NE(s.find(L"`i30`"), std::wstring::npos);
  EXPECT_EQ(s.find(L"`i31`"), std::wstring::npos);
}

TEST_F(SqlDefinitions, AutoIncrementGetsItsIndexEvenWhenItsOwnIndexIsDropped) {
  add(L"id", VT_I4, 4, false, true);
  add(L"memo", VT_BSTR, 0);
  add(L"r", VT_R8, 8, false, true);  // auto increment on a real: NOT NULL only
  add_index(L"both", {L"id", L"memo"});
  const std::wstring s = statement();
  EXPECT_NE(s.find(L"INDEX `id` (`id`)"), std::wstring::npos) << s;
  EXPECT_NE(s.find(L"`r` DOUBLE NOT NULL,") , std::wstring::npos) << s;
  EXPECT_EQ(s.find(L"`r` DOUBLE NOT NULL AUTO"), std::wstring::npos);
}

TEST_F(SqlDefinitions, ATableThatFitsKeepsItsDefinitionAWiderOneGetsTextColumns) {
  std::wstring columns;
  for (int i = 1; i <= 64; ++i) {
    add(L"c" + std::to_wstring(i), VT_BSTR, 255);
    columns += (i > 1 ? L", `c" : L"`c") + std::to_wstring(i) + L"` VARCHAR(255) CHARACTER SET utf8mb4 ";
  }
  EXPECT_EQ(statement(), L"CREATE TABLE `t` (" + columns + L") ENGINE=InnoDB");
  add(L"c65", VT_BSTR, 255);
  EXPECT_EQ(statement(), L"CREATE TABLE `t` (" + columns + L", `c65` TEXT CHARACTER SET utf8mb4 ) ENGINE=InnoDB");
  // A server whose InnoDB keeps 768 bytes of every long value in the record
  // cannot hold the rows.
  engine.set_server_version(0x50620);
  const std::wstring older = statement();
  EXPECT_NE(older.find(L"`c65` TEXT CHARACTER SET utf8mb4 )"), std::wstring::npos);
  EXPECT_EQ(older.substr(older.size() - 14), L" ENGINE=MyISAM");
}

TEST_F(SqlDefinitions, KeysOfAWideMyISAMTableStayWithinItsKeyLength) {
  add(L"code", VT_BSTR, 200);
  for (int i = 1; i < 255; ++i) add(L"c" + std::to_wstring(i), VT_BSTR, 255);
  add_index(L"bycode", {L"code"});  // 802 bytes
  add_index(L"byc1", {L"c1"});      // 1,022 bytes: more than MyISAM's 1,000
  const std::wstring s = statement();
  EXPECT_NE(s.find(L"`c1` VARCHAR(255)"), std::wstring::npos);  // indexed columns stay
  EXPECT_NE(s.find(L"`c254` TEXT"), std::wstring::npos);
  EXPECT_NE(s.find(L"INDEX `bycode` (`code`)"), std::wstring::npos);
  EXPECT_EQ(s.find(L"`byc1`"), std::wstring::npos);
  EXPECT_EQ(s.substr(s.size() - 14), L" ENGINE=MyISAM");
}
