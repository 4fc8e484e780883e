// The statements of type refinement and field upsizing, against a database
// that records what it is sent.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "SQL/sql_engi.h"
#include "UDB/udb_db.h"
#include "UDB/udb_rec.h"
#include "UDB/udb_recs.h"
#include "apps/orvell_wizard/orv_mysql.h"
#include "apps/orvell_wizard/sql_upsizer.h"
#include "common/type_map.h"

namespace {

class recording_db : public udb_database {
public:
  recording_db() : udb_database(L"db", 0) {}
  std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&, const udb_indexes&) override {
    return nullptr;
  }
  std::unique_ptr<udb_recordset> get_table(const std::wstring&, int) override { return nullptr; }
  std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&) override { return nullptr; }
  bool test_query(const std::wstring&) override { return false; }
  std::unique_ptr<udb_recordset> query(const std::wstring& statement) override {
    sent.push_back(statement);
    for (const std::wstring& part : refuse) {
      if (statement.find(part) == std::wstring::npos) continue;
      if (refuse_error) throw sql_exception("refused", refuse_error);
      throw tk_exception("refused", 0);
    }
    return nullptr;
  }
  std::vector<std::wstring> sent;
  // Statements holding one of these texts fail, with the server error given (else a tk_exception).
  std::vector<std::wstring> refuse;
  unsigned refuse_error = 0;
};

class Refinement : public ::testing::Test {
protected:
  void SetUp() override { impl.get_engine().set_server_version(0x50503); }
  void add(const wchar_t* name, VARTYPE vt, bool not_null = false, int extra = 0) {
    schema.push_back(std::make_unique<t_ftd>(50, name, vt, not_null, false, ole_variant(), extra));
    columns.push_back({name, vt, extra});
  }
  // Feeds column values: one list per column, all of the same length.
  void feed(num_map& n, dates_map& d, std::initializer_list<std::vector<const char*>> values) {
    std::size_t pos = 0;
    for (const auto& column : values) {
      for (const char* v : column) {
        n.add_value(pos, v);
        d.add_value(pos, v);
      }
      ++pos;
    }
  }

  mysql_converter_impl impl;
  udb_schema schema{true};
  std::vector<type_map_column> columns;
  recording_db db;
};

TEST_F(Refinement, OneStatementPerChangedColumnDatesFirst) {
  add(L"n", VT_BSTR);
  add(L"day", VT_BSTR);
  add(L"e", VT_BSTR);
  add(L"none", VT_BSTR);
  add(L"txt", VT_BSTR);
  add(L"when", VT_DATE, true, 1);
  add(L"kind0", VT_DATE, false, 0);
  num_map n(L"my table", columns);
  dates_map d(L"my table", columns, false);
  feed(n, d, {{"1", "2", "3"}, {"2004-05-06", "", "2004-05-07"}, {"", "7", ""}, {"", "", ""}, {"a", "b", "c"},
              {"2004-05-06", "10:00:00", "2004-05-06"}, {"2004-05-06 10:00:00", "", "2004-05-07"}});
  impl.date_post_process(db, schema, d);
  impl.num_post_process(db, schema, n);
  EXPECT_EQ(db.sent, (std::vector<std::wstring>{
                         L"UPDATE `my table` SET `day` = NULL WHERE `day` = ''",
                         L"ALTER TABLE `my table` MODIFY `day` DATE",
                         L"UPDATE `my table` SET `none` = NULL WHERE `none` = ''",
                         L"ALTER TABLE `my table` MODIFY `none` DATETIME",
                         L"ALTER TABLE `my table` MODIFY `when` CHAR(19) CHARACTER SET utf8mb4 NOT NULL",
                         L"UPDATE `my table` SET `kind0` = NULL WHERE `kind0` = ''",
                         L"ALTER TABLE `my table` MODIFY `kind0` DATETIME",
                         L"ALTER TABLE `my table` MODIFY `n` INT",
                         L"UPDATE `my table` SET `e` = NULL WHERE `e` = ''",
                         L"ALTER TABLE `my table` MODIFY `e` INT",
                     }));
}

TEST_F(Refinement, OneTableStatementWhereTheServerTakesIt) {
  add(L"n", VT_BSTR);
  add(L"day", VT_BSTR);
  add(L"stamp", VT_BSTR);
  num_map n(L"t", columns);
  dates_map d(L"t", columns, false);
  feed(n, d, {{"20040506", "", "20040507"}, {"2004-05-06", "", "2004-05-07"}, {"2004-05-06 10:00:00", "x", ""}});
  ASSERT_TRUE(impl.refine_table(db, schema, d, n));
  // The numeric change of a column decides over its date change.
  EXPECT_EQ(db.sent, (std::vector<std::wstring>{
                         L"UPDATE `t` SET `n` = NULLIF(`n`, ''), `day` = NULLIF(`day`, '')",
                         L"ALTER TABLE `t` MODIFY `n` INT, MODIFY `day` DATE",
                     }));
  db.sent.clear();
  db.refuse = {L"ALTER"};
  EXPECT_FALSE(impl.refine_table(db, schema, d, n));
}

TEST_F(Refinement, AChangeThatDoesNotHappenLeavesTheValuesOrEndsTheRunNamingThem) {
  add(L"n", VT_BSTR);
  add(L"b", VT_BSTR);
  num_map n(L"t", columns);
  dates_map d(L"t", columns, false);
  // n: numbers and an empty text; b: a number, an empty text and a NULL (never changed).
  feed(n, d, {{"1", "", "3"}, {"5", "", "7"}});
  n.add_value(1, "", true);
  d.add_value(1, "", true);
  const std::wstring nulls = L"UPDATE `t` SET `n` = NULLIF(`n`, '')", alter = L"ALTER TABLE `t` MODIFY `n` INT";
  struct refusal {
    std::vector<std::wstring> refused;
    unsigned error;
    std::vector<std::wstring> sent;
    const char* ends_run;  // a part of the level-1 error, or none
  };
  const refusal cases[] = {
      {{L"ALTER"}, 1142, {nulls, alter, alter, L"UPDATE `t` SET `n` = '' WHERE `n` IS NULL"}, nullptr},
      {{L"ALTER"}, 2013, {nulls, alter}, "Whether the change was made cannot be told"},
      {{L"ALTER", L"IS NULL"}, 1205, {nulls, alter, alter, L"UPDATE `t` SET `n` = '' WHERE `n` IS NULL"},
       "they could not be set back"},
  };
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.error);
    db.sent.clear();
    db.refuse = c.refused;
    db.refuse_error = c.error;
    udb_schema copy(true);
    for (const t_ftd* f : schema) copy.push_back(std::make_unique<t_ftd>(*f));
    try {
      impl.run_refinement(db, copy, d, n, true);
      EXPECT_EQ(c.ends_run, nullptr);
    } catch (const tk_exception& e) {
      ASSERT_NE(c.ends_run, nullptr) << e.what();
      EXPECT_EQ(e.get_level(), 1);
      EXPECT_NE(std::string(e.what()).find("the empty texts of the column n may now be NULL"),
                std::string::npos)
          << e.what();
      EXPECT_NE(std::string(e.what()).find(c.ends_run), std::string::npos) << e.what();
    }
    EXPECT_EQ(db.sent, c.sent);
    EXPECT_EQ(copy[0].vartype, VT_BSTR);
  }
}

TEST_F(Refinement, FailuresArePassedOverAndOldServersGetNoQuotes) {
  impl.get_engine().set_server_version(0x40000);
  add(L"a", VT_BSTR);
  add(L"b", VT_R8);
  num_map n(L"t", columns);
  dates_map d(L"t", columns, false);
  feed(n, d, {{"1", "2"}, {"1", "x"}});
  db.refuse = {L"MODIFY a"};
  impl.date_post_process(db, schema, d);
  impl.num_post_process(db, schema, n);
  EXPECT_EQ(db.sent, (std::vector<std::wstring>{L"ALTER TABLE t MODIFY a INT", L"ALTER TABLE t MODIFY b VARCHAR (255)"}));
}

TEST_F(Refinement, UpsizerKeepsTheCharacterSetAndQuotesTheColumn) {
  EXPECT_EQ(sql_field_upsizer::statement(L"t", L"Product Description"),
            L"ALTER TABLE `t` CHANGE `Product Description` `Product Description` TEXT CHARACTER SET utf8mb4");
  impl.get_engine().set_server_version(0x40000);
  EXPECT_EQ(sql_field_upsizer::statement(L"t", L"c"), L"ALTER TABLE t CHANGE c c TEXT");
}

TEST_F(Refinement, ChangesThatWouldBreakTheRowLimitOrNarrowATextAreLeftOut) {
  // 63 text columns of 255 characters: one more VARCHAR(255) fits the row, a
  // second does not.
  for (int i = 0; i < 63; ++i) {
    schema.push_back(std::make_unique<t_ftd>(255, L"c" + std::to_wstring(i), VT_BSTR, false, false, ole_variant(), 0));
    columns.push_back({L"c" + std::to_wstring(i), VT_BSTR, 0});
  }
  add(L"x", VT_R8);
  add(L"y", VT_R8);
  // A column created DATETIME, long text by now (widened), whose values are no dates.
  add(L"w", VT_DATE, false, 1);
  schema[65].vartype = VT_BSTR;
  schema[65].size = 65535;
  for (bool one_statement : {true, false}) {
    SCOPED_TRACE(one_statement ? "one statement" : "a statement per column");
    num_map n(L"t", columns);
    dates_map d(L"t", columns, false);
    for (std::size_t pos = 0; pos < 63; ++pos) d.add_value(pos, "text");  // no dates
    for (std::size_t pos : {63, 64}) {
      n.add_value(pos, "a");
      d.add_value(pos, "a");
    }
    d.add_value(65, "not a date");
    udb_schema copy(true);
    for (const t_ftd* f : schema) copy.push_back(std::make_unique<t_ftd>(*f));
    db.sent.clear();
    if (one_statement) {
      ASSERT_TRUE(impl.refine_table(db, copy, d, n));
    } else {
      impl.date_post_process(db, copy, d);
      impl.num_post_process(db, copy, n);
    }
    EXPECT_EQ(db.sent, (std::vector<std::wstring>{L"ALTER TABLE `t` MODIFY `x` VARCHAR (255) CHARACTER SET utf8mb4"}));
    EXPECT_EQ(copy[63].vartype, VT_BSTR);  // the change made is recorded
    EXPECT_EQ(copy[64].vartype, VT_R8);
    EXPECT_EQ(copy[65].size, 65535);
  }
}

// A destination table that only has a schema: one text column of 255 characters.
class text_table : public udb_recordset {
public:
  text_table() : udb_recordset(L"t", true) {
    schema_.push_back(std::make_unique<t_ftd>(255, L"c", VT_BSTR, false, false, ole_variant(), 0));
  }
  void append_record(const udb_record&) override {}
};

class upsizing : public sql_field_upsizer {
public:
  using sql_field_upsizer::sql_field_upsizer;
  void widen(const std::wstring& value) {
    udb_record record;
    record.add_field(std::make_unique<udb_field>(L"c", 0, ole_variant(value)));
    process(record);
  }
};

TEST_F(Refinement, UpsizerPicksTheNarrowestLongTypeByBytesAndWidensAgain) {
  text_table table;
  upsizing upsizer(&db, &table);
  upsizer.widen(std::wstring(255, L'\U0001F600'));  // 255 characters: VARCHAR(255) holds them
  upsizer.widen(std::wstring(300, L'a'));
  upsizer.widen(std::wstring(20000, L'\U0001F600'));  // 80,000 bytes
  upsizer.widen(std::wstring(70000, L'b'));             // MEDIUMTEXT holds it
  upsizer.widen(std::wstring(300, L'a'));               // never narrower
  const std::wstring change = L"ALTER TABLE `t` CHANGE `c` `c` ";
  EXPECT_EQ(db.sent, (std::vector<std::wstring>{change + L"TEXT CHARACTER SET utf8mb4",
                                                change + L"MEDIUMTEXT CHARACTER SET utf8mb4"}));
  EXPECT_EQ(table.get_schema()[0].size, 0xFFFFFF);

  EXPECT_EQ(sql_field_upsizer::wider_size(255, 65535), 65535);
  EXPECT_EQ(sql_field_upsizer::wider_size(255, 65536), 0xFFFFFF);
  EXPECT_EQ(sql_field_upsizer::wider_size(65535, 0xFFFFFF), 0xFFFFFF);
  EXPECT_EQ(sql_field_upsizer::wider_size(65535, 0x1000000), 0);  // LONGTEXT
  EXPECT_EQ(sql_field_upsizer::wider_size(0, 10), 0);
  EXPECT_EQ(sql_field_upsizer::text_bytes(L"a\u00e9\u65e5\U0001F600"), 10u);

  // Before 4.1 a VARCHAR holds bytes, and the statement has no quotes and no
  // character set.
  impl.get_engine().set_server_version(0x40000);
  text_table old_table;
  upsizing old_upsizer(&db, &old_table);
  db.sent.clear();
  old_upsizer.widen(std::wstring(200, L'\u00e9'));  // 400 bytes
  old_upsizer.widen(std::wstring(70000, L'b'));
  EXPECT_EQ(db.sent, (std::vector<std::wstring>{L"ALTER TABLE t CHANGE c c TEXT", L"ALTER TABLE t CHANGE c c MEDIUMTEXT"}));
}

}  // namespace
