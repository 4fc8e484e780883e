// Worksheets and queries as recordsets: schema, records, values and their text.
#include <gtest/gtest.h>

#include "dao/dao_db.h"
#include "dao/dao_engi.h"
#include "dao/dao_recs.h"
#include "dao/xls_reader.h"
#include "platform/dao/workbook_db.h"
#include "workbook_fixtures.h"

namespace {

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

class DaoWorkbook : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::write_sample_xlsx(dir.file("s.xlsx"));
    ASSERT_TRUE(engine.set_version_if(dao_version_ace12));
    db = xls_reader::open_xls(engine, wide(dir.file("s.xlsx")), true);
  }
  fixtures::temp_dir dir;
  dao_engine engine;
  std::unique_ptr<dao_database> db;
};

TEST_F(DaoWorkbook, TableListHoldsWorksheetsAndNamedRanges) {
  EXPECT_EQ(db->get_tables(), (std::vector<std::wstring>{L"Data$", L"'My ''Sheet$'", L"Empty$", L"Totals"}));
  EXPECT_TRUE(db->get_queries().empty());
}

TEST_F(DaoWorkbook, WorksheetReadToTheEnd) {
  auto rs = db->get_table(L"Data$", 1);
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->get_records_count(), 4u);
  const auto& schema = rs->get_schema();
  ASSERT_EQ(schema.size(), 10u);
  EXPECT_EQ(schema[0].name, L"Name");
  EXPECT_EQ(schema[0].vartype, VT_BSTR);
  EXPECT_EQ(schema[0].size, 255);
  EXPECT_EQ(schema[2].name, L"Name1");
  EXPECT_EQ(schema[3].name, L"F4");
  EXPECT_EQ(schema[4].vartype, VT_DATE);
  EXPECT_EQ(schema[5].vartype, VT_BOOL);
  EXPECT_EQ(schema[6].vartype, VT_CY);
  EXPECT_EQ(schema[7].vartype, VT_BSTR);
  EXPECT_EQ(schema[7].size, 0);  // Memo
  EXPECT_TRUE(rs->get_indexes().empty());

  std::vector<std::vector<std::wstring>> texts;
  std::vector<VARTYPE> first_types;
  for (; !rs->is_eof(); rs->next()) {
    udb_record* record = rs->get_record();
    ASSERT_EQ(record->size(), 10u);
    std::vector<std::wstring> row;
    for (std::size_t i = 0; i < record->size(); ++i) {
      row.push_back((*record)[i].to_wstring());
      if (texts.empty()) first_types.push_back((*record)[i].get_type());
    }
    texts.push_back(row);
  }
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0][0], L"Zo\u00eb");
  EXPECT_EQ(texts[1][0], L"\U0001F600 emoji");
  EXPECT_EQ(texts[0][4], L"2004-05-06 10:20:30");
  EXPECT_EQ(texts[0][7].size(), 300u);
  EXPECT_EQ(texts[0][8], L"12345678.5");
  EXPECT_EQ(texts[0][9], L"0000-00-00 12:00:00");  // a time alone on the zero date
  EXPECT_EQ(first_types[1], VT_R8);
  EXPECT_EQ(first_types[6], VT_CY);
  // The empty row is a record of nulls.
  rs.reset();
  rs = db->get_table(L"Data$", 1);
  rs->next();
  rs->next();
  udb_record* empty = rs->get_record();
  EXPECT_TRUE(empty->is_empty());
  EXPECT_EQ((*empty)[0u].get_type(), VT_NULL);
  rs->prev();
  EXPECT_EQ((*rs->get_record())[0u].to_wstring(), L"\U0001F600 emoji");
}

TEST_F(DaoWorkbook, TheRecordKeptFromRowToRowHoldsWhatAFreshOneWould) {
  // One recordset reads row after row (its record is read again for each); for
  // each row a recordset of its own, moved there, makes its record afresh.
  auto rs = db->get_table(L"Data$", 1);
  udb_record* first = rs->get_record();
  (*first)[0u].set_name(L"renamed by a holder");
  (*first)[0u].set_size(1);
  (*first)[1u].from_wstring(L"changed by a holder", VT_BSTR);
  int row = 0;
  for (rs->next(); !rs->is_eof(); rs->next()) {
    ++row;
    udb_record* kept = rs->get_record();
    EXPECT_EQ(kept, first);
    auto fresh_rs = db->get_table(L"Data$", 1);
    for (int i = 0; i < row; ++i) fresh_rs->next();
    udb_record* fresh = fresh_rs->get_record();
    ASSERT_EQ(kept->size(), fresh->size());
    for (std::size_t i = 0; i < kept->size(); ++i) {
      SCOPED_TRACE(testing::Message() << "row " << row << " field " << i);
      const auto& k = static_cast<const dao_field&>((*kept)[i]);
      const auto& f = static_cast<const dao_field&>((*fresh)[i]);
      EXPECT_EQ(k.get_name(), f.get_name());
      EXPECT_EQ(k.get_size(), f.get_size());
      EXPECT_EQ(k.get_vt(), f.get_vt());
      EXPECT_EQ(k.get_type(), f.get_type());
      EXPECT_EQ(k.to_wstring(), f.to_wstring());
      EXPECT_EQ(k.to_string(), f.to_string());
      EXPECT_EQ(k.is_not_null(), f.is_not_null());
      EXPECT_EQ(k.is_auto_increment(), f.is_auto_increment());
    }
  }
  EXPECT_EQ(row, 3);
  // Past the end there is no record; back at the start the first one reads again.
  EXPECT_THROW(rs->get_record(), dao_exception);
  rs->reset();
  EXPECT_EQ((*rs->get_record())[0u].to_wstring(), L"Zo\u00eb");
}

TEST_F(DaoWorkbook, EmptySheetAndNamedRange) {
  auto empty = db->get_table(L"Empty$", 1);
  EXPECT_TRUE(empty->is_eof());
  EXPECT_EQ(empty->get_records_count(), 0u);
  empty->reset();  // no records: no move
  auto totals = db->get_table(L"Totals", 1);
  EXPECT_EQ(totals->get_records_count(), 2u);
  EXPECT_EQ(totals->get_schema()[1].vartype, VT_R8);
  EXPECT_THROW(db->get_table(L"Nowhere$", 1), tk_mail_assertion);
}

TEST_F(DaoWorkbook, QueriesWithJoinCountAndTest) {
  const std::wstring join =
      L"SELECT d.Name, s.label FROM [Data$] AS d INNER JOIN ['My ''Sheet$'] AS s ON d.Amount = s.id";
  EXPECT_EQ(db->get_records_count(join), 1u);
  auto rs = db->get_query(L"Joined", join);
  EXPECT_TRUE(rs->is_query());
  EXPECT_EQ(rs->get_records_count(), 1u);
  ASSERT_EQ(rs->get_schema().size(), 2u);
  EXPECT_EQ(rs->get_schema()[1].name, L"label");
  ASSERT_FALSE(rs->is_eof());
  EXPECT_EQ((*rs->get_record())[1u].to_wstring(), L"two");
  rs->next();
  EXPECT_TRUE(rs->is_eof());

  EXPECT_TRUE(db->test_query(L"SELECT * FROM [Totals] WHERE Amount > 1"));
  EXPECT_FALSE(db->test_query(L"SELECT * FROM [Missing$]"));
  EXPECT_FALSE(db->test_query(L"SELEKT nonsense"));
  EXPECT_THROW(db->get_query(L"Bad", L"SELECT * FROM [Missing$]"), dao_exception);
}

TEST_F(DaoWorkbook, AQueryRunsOnceToTypeAndOnceToDeliver) {
  // Opening a query recordset prepares it, types it, counts it and reads its
  // schema; none of those may read the rows again.
  const std::wstring sql = L"SELECT Name, Amount * 2 FROM [Data$] WHERE Amount > 0 ORDER BY Name";
  auto before = jet::workbook_db::query_runs();
  auto rs = db->get_query(L"Sorted", sql);
  EXPECT_EQ(rs->get_records_count(), 2u);
  ASSERT_EQ(rs->get_schema().size(), 2u);
  EXPECT_EQ(rs->get_schema()[1].name, L"Expr1001");
  rs->reset();
  int rows = 0;
  for (; !rs->is_eof(); rs->next()) {
    rs->get_record();
    ++rows;
  }
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(jet::workbook_db::query_runs() - before, 2u);
}

}  // namespace

// Boolean and error cells of an .xls file must arrive as the booleans and nulls
// the file holds, not as the integers that stand for them in the file.
TEST(DaoXlsWorkbook, BooleanAndErrorCells) {
  dao_engine engine;
  ASSERT_TRUE(engine.set_version_if(dao_version_ace12));
  auto db = xls_reader::open_xls(engine, wide(fixtures::xls_fixture("boolerr.xls")), true);
  auto rs = db->get_table(L"Flags$", 1);
  ASSERT_TRUE(rs);
  const auto& schema = rs->get_schema();
  ASSERT_EQ(schema.size(), 3u);
  EXPECT_EQ(schema[0].vartype, VT_BOOL);  // every value a boolean
  EXPECT_EQ(schema[1].vartype, VT_R8);    // numbers, the errors among them null
  EXPECT_EQ(schema[2].vartype, VT_BSTR);  // text, a boolean, a number and an error

  std::vector<std::vector<VARTYPE>> types;
  std::vector<std::vector<std::wstring>> texts;
  for (; !rs->is_eof(); rs->next()) {
    udb_record* record = rs->get_record();
    ASSERT_EQ(record->size(), 3u);
    types.emplace_back();
    texts.emplace_back();
    for (std::size_t i = 0; i < record->size(); ++i) {
      types.back().push_back((*record)[i].get_type());
      texts.back().push_back((*record)[i].get_type() == VT_NULL ? L"<null>" : (*record)[i].to_wstring());
    }
  }
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(types[0], (std::vector<VARTYPE>{VT_BOOL, VT_R8, VT_BSTR}));
  EXPECT_EQ(types[1], (std::vector<VARTYPE>{VT_BOOL, VT_NULL, VT_BSTR}));
  EXPECT_EQ(types[2], (std::vector<VARTYPE>{VT_BOOL, VT_NULL, VT_BSTR}));
  EXPECT_EQ(types[3], (std::vector<VARTYPE>{VT_NULL, VT_R8, VT_NULL}));
  EXPECT_EQ(texts[0], (std::vector<std::wstring>{L"1", L"1.500000000000000e+000", L"text"}));
  EXPECT_EQ(texts[1], (std::vector<std::wstring>{L"0", L"<null>", L"TRUE"}));
  EXPECT_EQ(texts[2], (std::vector<std::wstring>{L"1", L"<null>", L"3"}));
  EXPECT_EQ(texts[3], (std::vector<std::wstring>{L"<null>", L"2.000000000000000e+000", L"<null>"}));
}
