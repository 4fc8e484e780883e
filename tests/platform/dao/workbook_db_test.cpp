// SQL over a workbook: tables under their Jet names, queries with joins and
// counts, the Jet syntax that is rewritten, and clear errors for the rest.
#include <gtest/gtest.h>

#include "platform/dao/dao_types.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/jet_sql.h"
#include "platform/dao/workbook_db.h"
#include "workbook_fixtures.h"

using namespace jet;

namespace {

class SampleDb : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::write_sample_xlsx(dir.file("s.xlsx"));
    db = std::make_unique<workbook_db>(open_workbook(dir.file("s.xlsx")), true);
  }
  std::vector<std::vector<value>> run(const std::string& sql) {
    auto cursor = db->query(sql);
    std::vector<std::vector<value>> out;
    std::vector<value> record;
    while (cursor->next(record)) out.push_back(record);
    return out;
  }
  int error_of(const std::string& sql) {
    try {
      run(sql);
    } catch (const jet_error& e) {
      return e.number();
    }
    return 0;
  }
  fixtures::temp_dir dir;
  std::unique_ptr<workbook_db> db;
};

TEST_F(SampleDb, TablesUnderTheirJetNames) {
  EXPECT_EQ(db->table_names(), (std::vector<std::string>{"Data$", "'My ''Sheet$'", "Empty$", "Totals"}));
  EXPECT_EQ(db->find_table("data$"), 0);
  EXPECT_EQ(db->table("'My ''Sheet$'").record_count, 3u);
  try {
    db->table("Nowhere$");
    ADD_FAILURE();
  } catch (const jet_error& e) {
    EXPECT_EQ(e.number(), err_object_not_found);
  }
}

TEST_F(SampleDb, SelectKeepsTableTypesAndValues) {
  auto cursor = db->query("SELECT * FROM [Data$]");
  ASSERT_EQ(cursor->fields().size(), 10u);
  EXPECT_EQ(cursor->fields()[2].name, "Name1");
  EXPECT_EQ(cursor->fields()[4].type, dbDate);
  EXPECT_EQ(cursor->fields()[6].type, dbCurrency);
  EXPECT_EQ(cursor->fields()[7].type, dbMemo);
  auto rows = run("SELECT * FROM [Data$]");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][6].integer, 199900);
  EXPECT_EQ(rows[0][7].text, fixtures::long_text());
  EXPECT_TRUE(rows[2][0].is_null());
}

TEST_F(SampleDb, JoinOverTwoSheetsAndItsCount) {
  const std::string join =
      "SELECT d.Name, s.label FROM [Data$] AS d INNER JOIN ['My ''Sheet$'] AS s ON d.Amount = s.id";
  auto rows = run(join);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].text, "\xF0\x9F\x98\x80 emoji");
  EXPECT_EQ(rows[0][1].text, "two");
  auto count = db->query("select count(*) from (" + join + ")");
  EXPECT_EQ(count->fields()[0].type, dbLong);
  std::vector<value> record;
  ASSERT_TRUE(count->next(record));
  EXPECT_EQ(record[0].integer, 1);
  EXPECT_EQ(run("select count(*) from (SELECT * FROM [Totals])")[0][0].integer, 2);
  // The inner side of a join is read once per outer record (kept in memory from
  // its second reading on).
  EXPECT_EQ(run("SELECT count(*) FROM [Data$] a, [Data$] b, [Totals] c WHERE c.Amount > 1.5")[0][0].integer, 16);
  EXPECT_EQ(run("SELECT count(*) FROM [Data$] a, [Data$] b WHERE a.Name = b.Name")[0][0].integer, 3);
}

TEST_F(SampleDb, JetSyntaxRewritten) {
  auto rows = run("SELECT Name FROM [Data$] WHERE [When] = #2004-05-06 10:20:30#;");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].text, "Zo\xC3\xAB");
  EXPECT_EQ(run("SELECT Name FROM [Data$] WHERE [When] < #1/1/2000#")[0][0].text, "\xF0\x9F\x98\x80 emoji");
  auto top = db->query("SELECT TOP 2 Name & \"!\" AS x, Amount * 2 AS y FROM [Data$]");
  EXPECT_EQ(top->fields()[0].type, dbText);
  EXPECT_EQ(top->fields()[1].type, dbDouble);
  std::vector<value> record;
  ASSERT_TRUE(top->next(record));
  EXPECT_EQ(record[0].text, "Zo\xC3\xAB!");
  EXPECT_EQ(record[1].number, 3);
  ASSERT_TRUE(top->next(record));
  EXPECT_FALSE(top->next(record));
  EXPECT_EQ(rewrite_jet_sql("SELECT DISTINCT TOP 5 a FROM [x] WHERE b = 'it''s & #'"),
            "SELECT DISTINCT a FROM [x] WHERE b = 'it''s & #' LIMIT 5");
  // A TOP query is counted inside "select count(*) from (...)", and may be a subquery.
  EXPECT_EQ(run("select count(*) from (SELECT TOP 2 Name FROM [Data$])")[0][0].integer, 2);
  EXPECT_EQ(run("SELECT Name FROM [Data$] WHERE Amount IN (SELECT TOP 1 Amount FROM [Data$] ORDER BY Amount DESC)")
                .size(),
            1u);
  EXPECT_EQ(rewrite_jet_sql("SELECT TOP 3 a FROM (SELECT TOP 1 b FROM [x]) ORDER BY (a)"),
            "SELECT  a FROM (SELECT  b FROM [x] LIMIT 1) ORDER BY (a) LIMIT 3");
}

TEST_F(SampleDb, UnsupportedQueriesFailClearly) {
  EXPECT_EQ(error_of("SELECT * FROM [Nowhere$]"), err_input_table_not_found);
  EXPECT_EQ(error_of("SELECT Missing FROM [Data$]"), err_too_few_parameters);
  EXPECT_EQ(error_of("SELEC * FROM [Data$]"), err_query_syntax);
  EXPECT_EQ(error_of("SELECT * FROM [Data$] WHERE [When] = #not a date#"), err_query_syntax);
  EXPECT_EQ(error_of("DELETE FROM [Data$]"), err_query_syntax);
  EXPECT_EQ(error_of(""), err_query_syntax);
}

}  // namespace
