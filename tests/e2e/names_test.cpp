// Headings and worksheet names that end in white space: the server refuses a
// name ending in a blank, tab, line break, vertical tab or form feed, so such a
// name arrives without them, live and through a dump, and every row with it.
#include "tests/e2e/e2e_env.h"
#include "tests/support/white_space_headings.h"

namespace {

using namespace white_space_headings;

enum class source { workbook, csv };

class NamesEndingInWhiteSpace : public converter_fixture {
protected:
  void SetUp() override {
    ORV_REQUIRE_E2E_SERVER();
    converter_fixture::SetUp();
    client = std::make_unique<check_client>();
    db = unique_name("orvn");
    client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    write_workbook((dir / "heads.xlsx").string());
    write_csv((dir / "heads.csv").string());
  }
  void TearDown() override {
    if (client) client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    converter_fixture::TearDown();
  }

  // Converts the source by the road; the table it became.
  std::string convert(source from, road by) {
    client->exec("DROP DATABASE IF EXISTS `" + db + "`");
    orvell_converter& c = make_converter(by, *client, db, dir / "out.sql");
    c.refine_types = false;
    c.x_fnames = true;
    if (from == source::workbook) {
      c.from_xls = true;
      c.set_src((dir / "heads.xlsx").wstring());
      std::vector<std::wstring> all;
      EXPECT_TRUE(c.get_all_sheets(all));
      EXPECT_EQ(all.size(), 1u);
      c.selected_table_names() = all;
      c.set_sel_sheets(all);
    } else {
      c.from_xls = false;
      c.set_src((dir / "heads.csv").wstring());
      c.csv_table_name = L"heads\t";
      c.delimiter_index = 1;
    }
    c();
    EXPECT_TRUE(dialogs->listed.empty()) << (dialogs->listed.empty() ? "" : dialogs->listed.front());
    if (by == road::dump) {
      EXPECT_EQ(load_dump(db, dir / "out.sql"), "");
    }
    const auto tables = client->tables(db);
    return tables.size() == 1 ? tables[0] : "";
  }

  std::unique_ptr<check_client> client;
  std::string db;
};

TEST_F(NamesEndingInWhiteSpace, ArriveWithoutItAndWithEveryRow) {
  for (source from : {source::workbook, source::csv}) {
    for (road by : {road::live, road::dump}) {
      SCOPED_TRACE(std::string(from == source::workbook ? "workbook" : "CSV") + (by == road::live ? " live" : " dump"));
      dialogs->listed.clear();
      const std::string table = convert(from, by);
      EXPECT_EQ(table, from == source::workbook ? "Heads" : "heads");
      std::vector<std::string> names;
      for (const sql_row& r : client->rows("SELECT COLUMN_NAME FROM information_schema.COLUMNS WHERE TABLE_SCHEMA='" +
                                           db + "' AND TABLE_NAME='" + table + "' ORDER BY ORDINAL_POSITION"))
        names.push_back(*r[0]);
      std::vector<std::string> expected;
      for (const heading& h : headings) expected.push_back(h.name);
      EXPECT_EQ(names, expected);
      const auto rows = client->rows("SELECT * FROM `" + db + "`.`" + table + "` ORDER BY 1");
      ASSERT_EQ(rows.size(), static_cast<size_t>(row_count));
      for (int r = 0; r < row_count; ++r)
        for (int c = 0; c < heading_count; ++c) EXPECT_EQ(rows[r][c].value_or("<null>"), value(r + 1, c));
    }
  }
}

}  // namespace
