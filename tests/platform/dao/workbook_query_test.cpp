// Queries over worksheets: column types from every returned row, Max and Min of
// dates, text compared without regard to case and LIKE with the Jet wildcards,
// the names of computed columns, and how often a query's rows are read.
#include <gtest/gtest.h>

#include "platform/dao/dao_types.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/serial_date.h"
#include "platform/dao/sql_shape.h"
#include "platform/dao/text_match.h"
#include "platform/dao/workbook_db.h"
#include "workbook_fixtures.h"

using namespace jet;

namespace {

std::string number_text_of(double v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", v);
  return buffer;
}
std::string text_cell(const std::string& t) { return "<c t=\"inlineStr\"><is><t>" + t + "</t></is></c>"; }
std::string cell(double v, int style = 0) {
  return "<c" + (style ? " s=\"" + std::to_string(style) + "\"" : std::string()) + "><v>" + number_text_of(v) + "</v></c>";
}
std::string row(const std::string& cells) { return "<row>" + cells + "</row>"; }

class QueryDb : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string styles =
        "<numFmts><numFmt numFmtId=\"164\" formatCode=\"[$$-409]#,##0.00\"/></numFmts>"
        "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/></cellXfs>";
    // A: n numbers, d dates, t text, p currency, f booleans.
    std::string a = row(text_cell("n") + text_cell("d") + text_cell("t") + text_cell("p") + text_cell("f"));
    a += row(cell(1.5) + cell(45292, 1) + text_cell("Apple") + cell(19.99, 2) + "<c t=\"b\"><v>1</v></c>");
    a += row(cell(2) + cell(45092, 1) + text_cell("banana") + cell(5, 2) + "<c t=\"b\"><v>0</v></c>");
    a += row(cell(10) + cell(45352.5, 1) + text_cell("Cherry pie") + cell(0.5, 2) + "<c t=\"b\"><v>1</v></c>");
    a += row(cell(-3) + cell(100.25, 1) + text_cell("\xC3\x89" "clair") + cell(1, 2) + "<c t=\"b\"><v>0</v></c>");
    // B: x text only.
    std::string b = row(text_cell("x")) + row(text_cell("text value")) + row(text_cell("2024-01-01")) +
                    row(text_cell("5 apples"));
    fixtures::write_package(dir.file("q.xlsx"), fixtures::sheets_package({{"A", a}, {"B", b}}, styles));
    db = std::make_unique<workbook_db>(open_workbook(dir.file("q.xlsx")), true);
  }
  std::vector<std::vector<value>> run(const std::string& sql) {
    auto cursor = db->query(sql);
    std::vector<std::vector<value>> out;
    std::vector<value> record;
    while (cursor->next(record)) out.push_back(record);
    return out;
  }
  // The first column of every row as text (dates as their text).
  std::vector<std::string> texts(const std::string& sql) {
    std::vector<std::string> out;
    for (const auto& r : run(sql))
      out.push_back(r[0].type == value::kind::date ? ole_date_text(r[0].number) : r[0].text);
    return out;
  }
  std::vector<int> types(const std::string& sql) {
    std::vector<int> out;
    auto cursor = db->query(sql);
    for (const auto& f : cursor->fields()) out.push_back(f.type);
    return out;
  }
  std::vector<std::string> names(const std::string& sql) {
    std::vector<std::string> out;
    auto cursor = db->query(sql);
    for (const auto& f : cursor->fields()) out.push_back(f.name);
    return out;
  }
  fixtures::temp_dir dir;
  std::unique_ptr<workbook_db> db;
};

using strings = std::vector<std::string>;

TEST_F(QueryDb, ColumnTypesComeFromEveryReturnedRow) {
  // A union of a number column and a text column is text: nothing turns into 0
  // or loses its date.
  const std::string mixed = "SELECT n FROM [A$] UNION ALL SELECT x FROM [B$]";
  EXPECT_EQ(types(mixed), std::vector<int>{dbText});
  EXPECT_EQ(texts(mixed), (strings{"1.5", "2", "10", "-3", "text value", "2024-01-01", "5 apples"}));
  EXPECT_EQ(texts("SELECT d FROM [A$] UNION ALL SELECT x FROM [B$] WHERE x = 'text value'"),
            (strings{"2024-01-01", "2023-06-15", "2024-03-01 12:00:00", "1900-04-09 06:00:00", "text value"}));
  // Columns of one kind keep it.
  EXPECT_EQ(types("SELECT n, d, t, p, f FROM [A$] WHERE n > 1"),
            (std::vector<int>{dbDouble, dbDate, dbText, dbCurrency, dbBoolean}));
  EXPECT_EQ(types("SELECT n FROM [A$] UNION ALL SELECT n * 2 FROM [A$]"), std::vector<int>{dbDouble});
  // A long text among them makes a Memo.
  EXPECT_EQ(types("SELECT t FROM [A$] UNION ALL SELECT '" + std::string(300, 'x') + "'"), std::vector<int>{dbMemo});
  // Expressions: whole numbers Long, other numbers Double, and no rows at all
  // keeps the table's type.
  EXPECT_EQ(types("SELECT count(*), sum(n) FROM [A$]"), (std::vector<int>{dbLong, dbDouble}));
  EXPECT_EQ(types("SELECT d FROM [A$] WHERE n > 100"), std::vector<int>{dbDate});
}

TEST_F(QueryDb, MaxAndMinOfDatesAreDates) {
  const std::string sql = "SELECT Max(d), Min([d]) AS first_day, MAX(n), max(p), Min(t) FROM [A$] AS a WHERE n > 0";
  EXPECT_EQ(types(sql), (std::vector<int>{dbDate, dbDate, dbDouble, dbCurrency, dbText}));
  auto rows = run(sql);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(ole_date_text(rows[0][0].number), "2024-03-01 12:00:00");
  EXPECT_EQ(ole_date_text(rows[0][1].number), "2023-06-15");
  EXPECT_EQ(rows[0][3].integer, 199900);
  EXPECT_EQ(rows[0][4].text, "Apple");
  EXPECT_EQ(types("SELECT f, Max(a.d) AS latest FROM [A$] a GROUP BY f ORDER BY latest"),
            (std::vector<int>{dbBoolean, dbDate}));
}

TEST_F(QueryDb, TextComparesWithoutRegardToCase) {
  EXPECT_EQ(texts("SELECT t FROM [A$] WHERE t = 'apple'"), strings{"Apple"});
  EXPECT_EQ(texts("SELECT t FROM [A$] WHERE 'BANANA' = t OR t IN ('\xC3\xA9" "CLAIR')"),
            (strings{"banana", "\xC3\x89" "clair"}));
  EXPECT_EQ(texts("SELECT t FROM [A$] WHERE t > 'b' ORDER BY t"), (strings{"banana", "Cherry pie", "\xC3\x89" "clair"}));
  EXPECT_EQ(texts("SELECT t FROM [A$] ORDER BY t DESC"),
            (strings{"\xC3\x89" "clair", "Cherry pie", "banana", "Apple"}));
  EXPECT_EQ(run("SELECT DISTINCT x FROM [B$] WHERE x = 'TEXT VALUE' UNION SELECT 'Text Value'").size(), 1u);
}

TEST_F(QueryDb, LikeTakesTheJetWildcards) {
  EXPECT_EQ(texts("SELECT t FROM [A$] WHERE t LIKE 'A*'"), strings{"Apple"});
  EXPECT_EQ(texts("SELECT t FROM [A$] WHERE t LIKE 'b?n?na'"), strings{"banana"});
  EXPECT_EQ(texts("SELECT t FROM [A$] WHERE t LIKE '*PIE'"), strings{"Cherry pie"});
  EXPECT_EQ(texts("SELECT t FROM [A$] WHERE t LIKE '[a-c]*'"), (strings{"Apple", "banana", "Cherry pie"}));
  EXPECT_EQ(texts("SELECT t FROM [A$] WHERE t LIKE '[!ab]*'"), (strings{"Cherry pie", "\xC3\x89" "clair"}));
  EXPECT_EQ(texts("SELECT t FROM [A$] WHERE t NOT LIKE '*a*'"), strings{"Cherry pie"});
  EXPECT_EQ(texts("SELECT x FROM [B$] WHERE x LIKE '#*'"), (strings{"2024-01-01", "5 apples"}));
  EXPECT_EQ(texts("SELECT x FROM [B$] WHERE x LIKE '####-##-##'"), strings{"2024-01-01"});
  EXPECT_EQ(texts("SELECT t FROM [A$] WHERE t LIKE '\xC3\xA9" "*'"), strings{"\xC3\x89" "clair"});
  // The SQL wildcards still work, and an escape character makes one literal.
  EXPECT_EQ(texts("SELECT t FROM [A$] WHERE t LIKE 'c%'"), strings{"Cherry pie"});
  EXPECT_EQ(texts("SELECT x FROM [B$] WHERE x LIKE '5 apple!*' ESCAPE '!'"), strings{});
  EXPECT_EQ(texts("SELECT x FROM [B$] WHERE x LIKE '5 apple!s' ESCAPE '!'"), strings{"5 apples"});
  try {
    run("SELECT t FROM [A$] WHERE t LIKE '[abc'");
    ADD_FAILURE() << "no error";
  } catch (const jet_error& e) {
    EXPECT_EQ(e.number(), err_query_syntax);
  }

  like_pattern set("[*?#]x[]y");
  EXPECT_TRUE(set.matches("*xy"));
  EXPECT_TRUE(set.matches("#XY"));
  EXPECT_FALSE(set.matches("axy"));
  EXPECT_TRUE(like_pattern("a**b").matches("ab"));
  EXPECT_TRUE(like_pattern("*a*b*").matches("xxaxxbxx"));
  EXPECT_FALSE(like_pattern("*a*b").matches("xxaxxbxx"));
  EXPECT_TRUE(like_pattern("?").matches("\xF0\x9F\x98\x80"));  // one character, four bytes
  EXPECT_EQ(compare_text_nocase("STRASSE", "strasse"), 0);
  EXPECT_LT(compare_text_nocase("a", "B"), 0);
  EXPECT_GT(compare_text_nocase("ab\xFF", "ab"), 0);
}

TEST_F(QueryDb, ComputedColumnsWithoutAnAliasAreNamedByPosition) {
  EXPECT_EQ(names("SELECT t, n * 2, t & '!' AS shout, 1, a.n, [p] FROM [A$] AS a"),
            (strings{"t", "Expr1001", "shout", "Expr1003", "n", "p"}));
  EXPECT_EQ(names("SELECT count(*) FROM [A$]"), strings{"Expr1000"});
  EXPECT_EQ(names("SELECT *, n + 1 FROM [A$]"), (strings{"n", "d", "t", "p", "f", "Expr1005"}));
  EXPECT_EQ(names("SELECT x FROM (SELECT n + 1 AS x FROM [A$])"), strings{"x"});

  auto shape = select_shape_of("SELECT DISTINCT a, f(b, c) AS [x y], t.* FROM (SELECT 1) AS s WHERE a = 1");
  ASSERT_TRUE(shape);
  ASSERT_EQ(shape->items.size(), 3u);
  EXPECT_EQ(shape->items[1].expression, "f(b, c)");
  EXPECT_TRUE(shape->items[2].star);
  EXPECT_EQ(shape->from_clause, "FROM (SELECT 1) AS s");
  EXPECT_EQ(call_argument("Max( DISTINCT t.[d] )", "MAX"), "t.[d]");
  EXPECT_EQ(call_argument("Max(a) + Max(b)", "MAX"), "");
  EXPECT_EQ(counted_subquery("select count(*) from (SELECT a FROM [x(] WHERE (b))"), "SELECT a FROM [x(] WHERE (b)");
  EXPECT_EQ(counted_subquery("select count(*) from (SELECT a FROM t) AS s WHERE (b)"), "");
}

TEST_F(QueryDb, AQueryIsReadOnceToTypeAndOnceToDeliver) {
  const std::string sql = "SELECT t, n FROM [A$] WHERE n > 0 ORDER BY t";
  auto before = workbook_db::query_runs();
  auto cursor = db->query(sql);
  std::vector<value> record;
  ASSERT_TRUE(cursor->next(record));
  cursor->rewind();  // after the first row only: given again without a new run
  int rows = 0;
  while (cursor->next(record)) ++rows;
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(db->record_count(sql), 3u);
  EXPECT_EQ(db->query(sql)->fields()[0].name, "t");
  EXPECT_EQ(workbook_db::query_runs() - before, 2u);
  // Read again from its start: one more run.
  cursor->rewind();
  ASSERT_TRUE(cursor->next(record));
  EXPECT_EQ(record[0].text, "Apple");
  EXPECT_EQ(workbook_db::query_runs() - before, 3u);
}

}  // namespace
