#include <gtest/gtest.h>

#include "sql_test_env.h"
#include "SQL/sql_tab.h"

namespace {

std::unique_ptr<udb_record> make_record(
    const std::vector<std::pair<std::wstring, ole_variant>>& values) {
  auto record = std::make_unique<udb_record>();
  for (const auto& [name, value] : values)
    record->add_field(std::make_unique<udb_field>(name, 10, value));
  return record;
}

ole_variant text(const std::wstring& t) { return ole_variant(t); }

class SqlTable : public SqlServer {
protected:
  std::unique_ptr<sql_table> make_table(const std::wstring& name, bool unique_id = false,
                                        int name_size = 255) {
    udb_schema schema;
    schema.push_back(std::make_unique<t_ftd>(4, L"id", VT_I4, true, false, ole_variant(), 0));
    schema.push_back(std::make_unique<t_ftd>(name_size, L"name", VT_BSTR, false, false, ole_variant(), 0));
    udb_indexes indexes;
    if (unique_id) {
      udb_index key;
      key.name = L"pk";
      key.primary = key.unique = true;
      key.columns = {L"id"};
      indexes.push_back(key);
    }
    database->create_table(name, schema, indexes).reset();
    return database->open_table(name);
  }
  std::wstring count(const std::wstring& table) {
    return rows(L"SELECT COUNT(*) FROM `" + table + L"`").at(0);
  }
};

}  // namespace

TEST_F(SqlTable, BlocksAreSentPastTheLimitAndFlushed) {
  auto table = make_table(L"blocks", false, 0);
  // Rows of a known length: the statement reaches exactly 200000 characters.
  const std::wstring head = L"INSERT INTO `blocks`(`id`, `name`) VALUES";
  const size_t row_text = std::wstring(L"('1', '')").size();  // plus the name
  const size_t rows_n = 100;
  const size_t name_len = (sql_table::block_limit - head.size() - (rows_n - 1) * 2) / rows_n - row_text;
  size_t total = head.size() + (rows_n - 1) * 2 + rows_n * (row_text + name_len);
  std::wstring last_name(name_len + (sql_table::block_limit - total), L'y');
  for (size_t i = 0; i < rows_n; ++i) {
    const std::wstring name = i + 1 == rows_n ? last_name : std::wstring(name_len, L'x');
    table->append_record(*make_record({{L"id", ole_variant(std::wstring(L"1"))}, {L"name", text(name)}}));
  }
  EXPECT_EQ(count(L"blocks"), L"0");  // exactly 200000 characters stay pending
  table->append_record(*make_record({{L"id", text(L"1")}, {L"name", text(L"z")}}));
  table->flush();
  EXPECT_TRUE(reported.empty()) << reported[0];
  EXPECT_EQ(count(L"blocks"), L"101");
}

TEST_F(SqlTable, ABadRowCostsOnlyItself) {
  auto table = make_table(L"bad rows", true);
  for (int i = 1; i <= 10; ++i) {
    const int id = i == 6 ? 3 : i;  // record 6 repeats a key
    table->append_record(*make_record({{L"id", text(std::to_wstring(id))}, {L"name", text(L"n")}}));
  }
  table->flush();
  EXPECT_EQ(count(L"bad rows"), L"9");
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].rfind(L"bad rows, record #6: Duplicate field values", 0), 0u) << reported[0];
  // The table goes on taking rows after the failure.
  table->append_record(*make_record({{L"id", text(L"11")}, {L"name", text(L"n")}}));
  table.reset();
  EXPECT_EQ(count(L"bad rows"), L"10");
}

TEST_F(SqlTable, ARefusedBlockOfANonTransactionalTableIsNotStoredTwice) {
  make_table(L"myisam", true).reset();
  database->query(L"ALTER TABLE myisam ENGINE=MyISAM");
  auto table = database->open_table(L"myisam");
  for (int i = 1; i <= 10; ++i) {
    const int id = i == 6 ? 3 : i;
    table->append_record(*make_record({{L"id", text(std::to_wstring(id))}, {L"name", text(L"n")}}));
  }
  table->flush();
  EXPECT_EQ(count(L"myisam"), L"9");
  EXPECT_EQ(reported.size(), 1u);
  table->append_record(*make_record({{L"id", text(L"6")}, {L"name", text(L"n")}}));
  table.reset();
  EXPECT_EQ(rows(L"SELECT COUNT(*), COUNT(DISTINCT id), SUM(id) FROM myisam").at(0), L"10|10|55");
}

TEST_F(SqlTable, RowsWithOtherColumnsStartTheirOwnStatement) {
  auto table = make_table(L"columns");
  table->append_record(*make_record({{L"id", text(L"1")}, {L"name", text(L"a")}}));
  table->append_record(*make_record({{L"id", text(L"2")}}));  // fewer fields
  table->append_record(*make_record({{L"name", text(L"c")}, {L"id", text(L"3")}}));  // other order
  EXPECT_THROW(table->append_record(*make_record({{L"id", text(L"4")}, {L"other", text(L"d")}})),
               tk_exception);
  table->flush();
  EXPECT_EQ(rows(L"SELECT id, name FROM `columns` ORDER BY id"),
            (std::vector<std::wstring>{L"1|a", L"2|NULL", L"3|c"}));
  EXPECT_TRUE(reported.empty()) << reported[0];
}

TEST_F(SqlTable, LiteralsAndCharactersRoundTrip) {
  auto table = make_table(L"texts");
  const std::vector<std::wstring> names = {L"O'Brien", L"C:\\dir", L"", L"\U0001F600 \u4E2D\u6587",
                                           L"\"quoted\" `back`"};
  int id = 0;
  for (const std::wstring& n : names)
    table->append_record(*make_record({{L"id", text(std::to_wstring(++id))}, {L"name", text(n)}}));
  table->append_record(*make_record({{L"id", text(L"9")}, {L"name", ole_variant()}}));
  table.reset();
  const auto back = rows(L"SELECT name FROM texts ORDER BY id");
  ASSERT_EQ(back.size(), names.size() + 1);
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(back[i], names[i]);
  EXPECT_EQ(back.back(), L"NULL");
}

TEST_F(SqlTable, NumbersKeepEveryDigit) {
  udb_schema schema;
  schema.push_back(std::make_unique<t_ftd>(8, L"d", VT_R8, false, false, ole_variant(), 0));
  schema.push_back(std::make_unique<t_ftd>(4, L"f", VT_R4, false, false, ole_variant(), 0));
  schema.push_back(std::make_unique<t_ftd>(8, L"b", VT_I8, false, false, ole_variant(), 0));
  database->create_table(L"numbers", schema, udb_indexes()).reset();
  auto table = database->open_table(L"numbers");
  const double d = 0.1 + 0.2;  // 0.30000000000000004: 17 significant digits
  const float f = 16777217.0f / 3.0f;
  table->append_record(*make_record(
      {{L"d", ole_variant(d)}, {L"f", ole_variant(f)}, {L"b", ole_variant(-9007199254740993LL)}}));
  table.reset();
  ASSERT_EQ(f, 5592405.5f);
  EXPECT_EQ(rows(L"SELECT d = 0.30000000000000004, d = 0.3, f = 5592405.5, b FROM numbers").at(0),
            L"1|0|1|-9007199254740993");
  auto back = database->open_table(L"numbers");
  back->reset();
  EXPECT_EQ((*back->get_record())[0].get_variant().dblVal, d);
}

TEST_F(SqlTable, ReadingPagesRefiningAndUpdatingByKey) {
  {
    auto table = make_table(L"pages", true);
    for (int i = 0; i < 600; ++i)
      table->append_record(*make_record({{L"id", text(std::to_wstring(i))}, {L"name", text(L"r")}}));
  }
  database->query(L"ALTER TABLE pages ADD COLUMN f FLOAT(7,2), ADD COLUMN v VARCHAR(37), "
                  L"ADD COLUMN d DATE NOT NULL DEFAULT '0000-00-00'");
  auto table = database->open_table(L"pages");
  EXPECT_EQ(table->get_records_count(), 600u);
  const udb_schema& schema = table->get_schema();
  EXPECT_EQ(schema.get_field(L"f").extra, 0x0702);
  EXPECT_EQ(schema.get_field(L"v").size, 37);
  EXPECT_FALSE(schema.get_field(L"d").not_null);
  ASSERT_EQ(table->get_indexes().size(), 1u);
  EXPECT_TRUE(table->get_indexes()[0].primary);
  EXPECT_EQ(table->get_key_index(), 0);

  int seen = 0;
  for (table->reset(); !table->is_eof(); table->next()) {
    const udb_record* r = table->get_record();
    ASSERT_NE(r, nullptr) << "row " << seen;
    EXPECT_EQ((*r)[0].to_wstring(), std::to_wstring(seen));
    ++seen;
  }
  EXPECT_EQ(seen, 600);

  table->update(*make_record({{L"id", text(L"256")}, {L"name", text(L"updated")}}));
  EXPECT_EQ(rows(L"SELECT name FROM pages WHERE id = 256").at(0), L"updated");
}
