// Queries that name a worksheet with a blank in each spelling the Excel driver
// takes, and a named range by its name, converted into the server and into a
// dump file that the mariadb client loads.
#include <xlsxwriter.h>

#include "tests/e2e/e2e_env.h"

namespace {

struct query_case {
  const char* table;
  const char* text;
  std::vector<std::string> items;  // ordered
};

const query_case k_queries[] = {
    {"Bracketed", "SELECT item FROM [Orders 2024$]", {"cake", "tea"}},
    {"Quoted", "SELECT item FROM ['Orders 2024$'] WHERE price > 2", {"cake"}},
    {"BackQuoted", "SELECT item FROM `Orders 2024$` WHERE price < 2", {"tea"}},
    {"Range", "SELECT * FROM [Firsts]", {"tea"}},
};

class QueryNames : public server_fixture {
protected:
  void SetUp() override {
    server_fixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    book = (dir / "spaced.xlsx").string();
    lxw_workbook* wb = workbook_new(book.c_str());
    lxw_worksheet* sheet = workbook_add_worksheet(wb, "Orders 2024");
    worksheet_write_string(sheet, 0, 0, "item", nullptr);
    worksheet_write_string(sheet, 0, 1, "price", nullptr);
    worksheet_write_string(sheet, 1, 0, "tea", nullptr);
    worksheet_write_number(sheet, 1, 1, 1, nullptr);
    worksheet_write_string(sheet, 2, 0, "cake", nullptr);
    worksheet_write_number(sheet, 2, 1, 3, nullptr);
    workbook_define_name(wb, "Firsts", "='Orders 2024'!$A$1:$A$2");
    workbook_close(wb);
  }
  // The queries alone selected, as the worksheet page selects them.
  void select_queries(orvell_converter& c) {
    c.from_xls = true;
    c.x_fnames = true;
    c.set_src(tk_from_utf8(book));
    std::vector<std::wstring> all;
    ASSERT_TRUE(c.get_all_sheets(all));
    std::map<std::wstring, std::wstring> queries;
    for (const query_case& q : k_queries) queries.emplace(tk_from_utf8(q.table), tk_from_utf8(q.text));
    c.set_sel_sheets({}, queries);
  }
  void expect_queries(const std::string& where) {
    for (const query_case& q : k_queries) {
      std::vector<std::string> items;
      for (const sql_row& r : table_rows(q.table, "item")) items.push_back(r[0].value_or("<null>"));
      std::vector<std::string> expected = q.items;
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(items, expected) << where << ": " << q.table;
    }
  }
  std::string book;
};

TEST_F(QueryNames, EverySpellingIntoTheServerAndThroughADump) {
  select_queries(*converter);
  run();
  EXPECT_TRUE(dialogs->listed.empty()) << (dialogs->listed.empty() ? "" : dialogs->listed.front());
  expect_queries("server");

  client->exec("DROP DATABASE IF EXISTS `" + db + "`");
  client->exec("CREATE DATABASE `" + db + "`");
  const std::filesystem::path dump = dir / "queries.sql";
  orvell_converter& c = make_converter();
  c.direct = false;
  c.set_dest(dump.wstring());
  select_queries(c);
  c();
  EXPECT_TRUE(dialogs->listed.empty()) << (dialogs->listed.empty() ? "" : dialogs->listed.front());
  ASSERT_EQ(load_dump(db, dump), "");
  expect_queries("dump");
}

}  // namespace
