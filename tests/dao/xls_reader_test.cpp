// Listing and selecting worksheets.
#include <gtest/gtest.h>

#include "dao/dao_db.h"
#include "dao/dao_engi.h"
#include "dao/dao_rec.h"
#include "dao/xls_reader.h"
#include "TK/tk_excep.h"
#include "workbook_fixtures.h"

#include <map>

namespace {

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// A driver's reader, as the converters derive from it.
struct test_reader : xls_reader {
  bool test_query(const std::wstring&) override { return true; }
};

TEST(XlsReader, WorksheetNamesAndDisplayNames) {
  EXPECT_TRUE(non_system(L"Sheet1$"));
  EXPECT_TRUE(non_system(L"'Data 2024$'"));
  EXPECT_FALSE(non_system(L"Totals"));
  EXPECT_FALSE(non_system(L"$"));
  EXPECT_FALSE(non_system(L"x"));
  EXPECT_EQ(xls_reader::simplify_name(L"Sheet1$"), L"Sheet1");
  EXPECT_EQ(xls_reader::simplify_name(L"'Data 2024$'"), L"Data 2024");
  EXPECT_EQ(xls_reader::simplify_name(L"'It''s$'"), L"It''s");
  EXPECT_EQ(xls_reader::simplify_name(L"$"), L"$");
}

TEST(XlsReader, ListsWorksheetsAndKeepsTheSelected) {
  fixtures::temp_dir dir;
  for (std::string file : {"s.xlsx", "s.xls"}) {
    SCOPED_TRACE(file);
    std::string path = dir.file(file);
    if (file == "s.xlsx")
      fixtures::write_sample_xlsx(path);
    else
      std::filesystem::copy_file(fixtures::xls_fixture("sample.xls"), path);
    test_reader reader;
    reader.set_src(wide(path));
    std::vector<std::wstring> sheets;
    ASSERT_TRUE(reader.get_all_sheets(sheets));
    if (file == "s.xlsx")
      EXPECT_EQ(sheets, (std::vector<std::wstring>{L"Data", L"My ''Sheet", L"Empty"}));
    else
      EXPECT_EQ(sheets, (std::vector<std::wstring>{L"Data", L"My ''Sheet"}));
    reader.set_sel_sheets({L"Data", L"Nowhere"});
    ASSERT_EQ(reader.get_sheets().size(), 1u);
    EXPECT_EQ(reader.get_sheets().at(L"Data"), L"Data$");
    ASSERT_EQ(reader.selected_tables().size(), 1u);
    EXPECT_EQ(reader.selected_tables().at(L"Data"), L"");
    EXPECT_EQ(reader.missing_sheets(), std::vector<std::wstring>{L"Nowhere"});
    EXPECT_NO_THROW(reader.check_selection());
    // Of which the workbook has no worksheet (names compare exactly): refused, a
    // selected query besides or not; queries alone or nothing named: not.
    reader.set_sel_sheets({L"data", L"Data "}, {{L"Q", L"SELECT 1"}});
    try {
      reader.check_selection();
      ADD_FAILURE() << "no worksheet was found";
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.get_level(), 1);
      EXPECT_NE(std::string(e.what()).find("(not found: data, Data )"), std::string::npos) << e.what();
    }
    reader.set_sel_sheets({}, {{L"Q", L"SELECT 1"}});
    EXPECT_NO_THROW(reader.check_selection());
  }
}

TEST(XlsReader, SelectedQueriesAreConvertedAsTablesOfTheirName) {
  fixtures::temp_dir dir;
  std::string path = dir.file("s.xls");
  std::filesystem::copy_file(fixtures::xls_fixture("sample.xls"), path);
  test_reader reader;
  reader.set_src(wide(path));
  std::vector<std::wstring> sheets;
  ASSERT_TRUE(reader.get_all_sheets(sheets));
  const std::wstring big = L"SELECT Name FROM [Data$] WHERE Amount > 1";
  reader.set_sel_sheets({L"Data"}, {{L"Big", big}, {L"Data", L"SELECT 1"}, {L"Blank", L""}});
  // The worksheet and the query, each a table of its own name; a query named like a
  // selected worksheet, and one without text, are not.
  ASSERT_EQ(reader.get_sheets().size(), 2u);
  EXPECT_EQ(reader.get_sheets().at(L"Data"), L"Data$");
  EXPECT_EQ(reader.selected_tables().at(L"Data"), L"");
  EXPECT_EQ(reader.selected_tables().at(L"Big"), big);
  EXPECT_EQ(reader.selected_queries(), (std::map<std::wstring, std::wstring>{{L"Big", big}}));
  dao_engine engine;
  ASSERT_TRUE(engine.set_version_if(dao_version_ace12));
  auto workbook = xls_reader::open_xls(engine, wide(path), true);
  auto query = reader.open_sheet(*workbook, L"Big");
  EXPECT_TRUE(query->is_query());
  EXPECT_EQ(query->get_name(), L"Big");
  ASSERT_EQ(query->get_schema().size(), 1u);
  EXPECT_EQ(query->get_schema()[0].name, L"Name");
  auto data = reader.open_sheet(*workbook, L"Data");
  EXPECT_FALSE(data->is_query());
  EXPECT_GT(data->get_records_count(), query->get_records_count());
  // A reselection keeps no query it is not given.
  reader.set_sel_sheets({L"Data"});
  EXPECT_EQ(reader.get_sheets().size(), 1u);
  EXPECT_TRUE(reader.selected_queries().empty());
}

TEST(XlsReader, HeaderRowDecidesFieldNames) {
  fixtures::temp_dir dir;
  fixtures::write_sample_xlsx(dir.file("s.xlsx"));
  dao_engine engine;
  ASSERT_TRUE(engine.set_version_if(dao_version_ace12));
  auto with_names = xls_reader::open_xls(engine, wide(dir.file("s.xlsx")), true);
  EXPECT_EQ(with_names->get_table(L"'My ''Sheet$'", 1)->get_schema()[0].name, L"id");
  with_names.reset();
  auto without = xls_reader::open_xls(engine, wide(dir.file("s.xlsx")), false);
  auto rs = without->get_table(L"'My ''Sheet$'", 1);
  EXPECT_EQ(rs->get_schema()[0].name, L"F1");
  EXPECT_EQ(rs->get_records_count(), 4u);
  EXPECT_EQ((*rs->get_record())[0u].to_wstring(), L"id");
}

// A workbook of sheets whose names differ only in their trailing blanks, and one
// already named as the generated name would be; each holds its own name in A1.
void write_colliding_sheets(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> sheets;
  for (std::string name : {"Data", "Data ", "Data (2)"})
    sheets.push_back({name, "<row><c t=\"inlineStr\"><is><t>" + name + "</t></is></c></row>"});
  fixtures::write_package(path, fixtures::sheets_package(sheets));
}

TEST(XlsReader, SheetsWhoseDisplayNamesCollideAreBothListedAndRead) {
  fixtures::temp_dir dir;
  write_colliding_sheets(dir.file("c.xlsx"));
  test_reader reader;
  reader.set_src(wide(dir.file("c.xlsx")));
  std::vector<std::wstring> sheets;
  ASSERT_TRUE(reader.get_all_sheets(sheets));
  // The first keeps its name, so that a saved selection still picks it.
  EXPECT_EQ(sheets, (std::vector<std::wstring>{L"Data", L"Data (3)", L"Data (2)"}));
  reader.set_sel_sheets(sheets);
  ASSERT_EQ(reader.get_sheets().size(), 3u);
  EXPECT_EQ(reader.selected_tables().size(), 3u);

  dao_engine engine;
  ASSERT_TRUE(engine.set_version_if(dao_version_ace12));
  auto db = xls_reader::open_xls(engine, wide(dir.file("c.xlsx")), false);
  std::map<std::wstring, std::wstring> first_cells;
  for (const auto& [display, table] : reader.get_sheets())
    first_cells[display] = (*db->get_table(table, 1)->get_record())[0u].to_wstring();
  EXPECT_EQ(first_cells, (std::map<std::wstring, std::wstring>{
                             {L"Data", L"Data"}, {L"Data (3)", L"Data "}, {L"Data (2)", L"Data (2)"}}));
}

}  // namespace
