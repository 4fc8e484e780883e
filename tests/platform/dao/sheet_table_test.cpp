// Worksheets and named ranges as tables: field names, types decided from every
// row, and the records with their values.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/dao/dao_types.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/row_store.h"
#include "platform/dao/serial_date.h"
#include "platform/dao/sheet_table.h"
#include "workbook_fixtures.h"

using namespace jet;

namespace {

std::vector<std::vector<value>> records(const workbook& book, const table_def& def) {
  table_cursor cursor(book, def);
  std::vector<std::vector<value>> out;
  std::vector<value> record;
  while (cursor.next(record)) out.push_back(record);
  return out;
}

class SampleTable : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::write_sample_xlsx(dir.file("s.xlsx"));
    book = open_workbook(dir.file("s.xlsx"));
  }
  fixtures::temp_dir dir;
  std::unique_ptr<workbook> book;
};

TEST_F(SampleTable, HeaderRowNamesAndTypesFromEveryRow) {
  auto def = scan_table(*book, "Data$", 0, nullptr, true);
  std::vector<std::string> names;
  std::vector<int> types;
  for (const auto& f : def.fields) {
    names.push_back(f.name);
    types.push_back(f.type);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Name", "Amount", "Name1", "F4", "When", "Flag", "Price", "Notes",
                                             "Mixed", "Time"}));
  EXPECT_EQ(types, (std::vector<int>{dbText, dbDouble, dbText, dbDouble, dbDate, dbBoolean, dbCurrency, dbMemo,
                                     dbText, dbDate}));
  EXPECT_EQ(def.fields[0].size, 255);
  EXPECT_EQ(def.record_count, 4u);

  auto rows = records(*book, def);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][0].text, "Zo\xC3\xAB");
  EXPECT_EQ(rows[0][1].number, 1.5);
  EXPECT_EQ(ole_date_text(rows[0][4].number), "2004-05-06 10:20:30");
  EXPECT_TRUE(rows[0][5].boolean);
  EXPECT_EQ(rows[0][6].type, value::kind::currency);
  EXPECT_EQ(rows[0][6].integer, 199900);
  EXPECT_EQ(rows[1][6].integer, 12345672500);
  EXPECT_EQ(rows[0][7].text, fixtures::long_text());
  // A mixed column delivers every value as text, numbers as the driver prints them.
  EXPECT_EQ(rows[0][8].text, "12345678.5");
  EXPECT_EQ(rows[1][8].text, "text");
  EXPECT_EQ(rows[3][8].text, "1E+20");
  EXPECT_EQ(rows[0][9].number, 0.5);
  // The empty row inside the range is a record of nulls.
  for (const auto& v : rows[2]) EXPECT_TRUE(v.is_null());
  EXPECT_TRUE(rows[3][2].is_null());
  EXPECT_EQ(rows[3][1].number, -0.001);
}

TEST_F(SampleTable, WithoutHeaderRowEveryRowIsData) {
  auto def = scan_table(*book, "Data$", 0, nullptr, false);
  ASSERT_EQ(def.fields.size(), 10u);
  EXPECT_EQ(def.fields[0].name, "F1");
  EXPECT_EQ(def.fields[9].name, "F10");
  EXPECT_EQ(def.fields[1].type, dbText);  // "Amount" and numbers
  EXPECT_EQ(def.record_count, 5u);
  auto rows = records(*book, def);
  EXPECT_EQ(rows[0][1].text, "Amount");
  EXPECT_EQ(rows[1][1].text, "1.5");
  EXPECT_EQ(rows[1][4].text, "2004-05-06 10:20:30");
  EXPECT_EQ(rows[1][5].text, "TRUE");
  EXPECT_EQ(rows[1][9].text, "12:00:00");
  EXPECT_TRUE(rows[0][3].is_null());
}

TEST_F(SampleTable, NamedRangeAndEmptySheet) {
  const auto& range = book->named_ranges()[0];
  auto def = scan_table(*book, "Totals", range.sheet, &range.area, true);
  ASSERT_EQ(def.fields.size(), 2u);
  EXPECT_EQ(def.fields[1].name, "Amount");
  auto rows = records(*book, def);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][0].text, "\xF0\x9F\x98\x80 emoji");
  EXPECT_EQ(rows[1][1].number, 2);

  auto empty = scan_table(*book, "Empty$", 2, nullptr, true);
  ASSERT_EQ(empty.fields.size(), 1u);
  EXPECT_EQ(empty.fields[0].name, "F1");
  EXPECT_EQ(empty.record_count, 0u);
  EXPECT_TRUE(records(*book, empty).empty());
}

TEST(SheetTable, ColumnTypeRulesOnHandMadeSheets) {
  fixtures::temp_dir dir;
  std::string styles =
      "<numFmts><numFmt numFmtId=\"164\" formatCode=\"&quot;$&quot;#,##0.00\"/></numFmts>"
      "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"14\"/></cellXfs>";
  // A: currency with more than four decimals (Double, nothing cut); B: errors only;
  // C: a date and a number (mixed: Text); D: starts in the third column of the sheet.
  std::string data =
      "<row r=\"2\"><c r=\"B2\" s=\"1\"><v>1.23456</v></c><c r=\"C2\" t=\"e\"><v>#DIV/0!</v></c>"
      "<c r=\"D2\" s=\"2\"><v>38000</v></c></row>"
      "<row r=\"3\"><c r=\"B3\" s=\"1\"><v>2</v></c><c r=\"D3\"><v>5</v></c></row>";
  auto path = dir.file("t.xlsx");
  fixtures::write_package(path, fixtures::minimal_package(data, "", styles));
  auto book = open_workbook(path);
  auto def = scan_table(*book, "S$", 0, nullptr, false);
  ASSERT_EQ(def.fields.size(), 3u);  // the used range starts at column B, row 2
  EXPECT_EQ(def.area.first_col, 1u);
  EXPECT_EQ(def.fields[0].type, dbDouble);
  EXPECT_EQ(def.fields[1].type, dbText);
  EXPECT_EQ(def.fields[2].type, dbText);
  auto rows = records(*book, def);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0].number, 1.23456);
  EXPECT_TRUE(rows[0][1].is_null());
  EXPECT_EQ(rows[0][2].text, "2004-01-14");
  EXPECT_EQ(rows[1][2].text, "5");

  // More than 255 columns.
  fixtures::write_package(path, fixtures::minimal_package("<row><c r=\"A1\"><v>1</v></c><c r=\"IW1\"><v>1</v></c></row>"));
  book = open_workbook(path);
  try {
    scan_table(*book, "S$", 0, nullptr, true);
    ADD_FAILURE() << "no error";
  } catch (const jet_error& e) {
    EXPECT_EQ(e.number(), err_too_many_fields);
  }
}

}  // namespace

namespace {

// A row as its cells' kinds and what each kind carries.
std::vector<std::string> row_items(const sheet_row& row) {
  std::vector<std::string> out{std::to_string(row.index) + "/" + std::to_string(row.cells.size())};
  for (const cell& c : row.cells) {
    std::string item = std::to_string(static_cast<int>(c.kind));
    switch (c.kind) {
      case cell_kind::number:
      case cell_kind::date: item += ":" + std::to_string(c.number) + (c.currency ? "$" : ""); break;
      case cell_kind::boolean: item += c.boolean ? ":1" : ":0"; break;
      case cell_kind::text:
      case cell_kind::error: item += ":" + c.text; break;
      default: break;
    }
    out.push_back(item);
  }
  return out;
}

std::vector<std::vector<std::string>> all_rows(row_cursor& rows) {
  std::vector<std::vector<std::string>> out;
  sheet_row row;
  while (rows.next(row)) out.push_back(row_items(row));
  return out;
}

bool same_values(const std::vector<std::vector<value>>& a, const std::vector<std::vector<value>>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t r = 0; r < a.size(); ++r) {
    if (a[r].size() != b[r].size()) return false;
    for (std::size_t i = 0; i < a[r].size(); ++i) {
      const value& x = a[r][i];
      const value& y = b[r][i];
      if (x.type != y.type || x.boolean != y.boolean || x.integer != y.integer || x.text != y.text) return false;
      if (std::memcmp(&x.number, &y.number, sizeof x.number) != 0) return false;
    }
  }
  return true;
}

}  // namespace

// The rows a scan keeps read back as the sheet gives them, and the records of a
// table read from them are those read from the sheet.
TEST_F(SampleTable, KeptRowsReadBackAsTheSheetGivesThem) {
  for (std::size_t sheet = 0; sheet < book->sheet_names().size(); ++sheet) {
    for (bool header : {true, false}) {
      auto kept = std::make_shared<row_store>(std::size_t{1} << 20);
      auto def = scan_table(*book, "T", sheet, nullptr, header, kept.get());
      ASSERT_TRUE(kept->complete()) << sheet;
      auto from_sheet = book->open_sheet(sheet);
      auto from_store = row_store::replay(kept);
      EXPECT_EQ(all_rows(*from_store), all_rows(*from_sheet)) << sheet;

      std::vector<std::vector<value>> replayed;
      table_cursor cursor(def, row_store::replay(kept));
      std::vector<value> record;
      while (cursor.next(record)) replayed.push_back(record);
      EXPECT_TRUE(same_values(replayed, records(*book, def))) << sheet;
    }
  }
}

// A store past its bound keeps nothing, and a named range that ends before the
// sheet does leaves its store unfinished: both tables are read from the sheet.
TEST_F(SampleTable, KeptRowsOnlyForAWholeSheetWithinTheBound) {
  auto small = std::make_shared<row_store>(16);
  scan_table(*book, "Data$", 0, nullptr, true, small.get());
  EXPECT_FALSE(small->complete());
  sheet_row row;
  EXPECT_FALSE(row_store::replay(small)->next(row));

  const auto& range = book->named_ranges()[0];
  auto kept = std::make_shared<row_store>(std::size_t{1} << 20);
  scan_table(*book, "Totals", range.sheet, &range.area, true, kept.get());
  sheet_row last;
  for (auto rows = book->open_sheet(range.sheet); rows->next(row);) last = row;
  EXPECT_EQ(kept->complete(), last.index <= range.area.last_row);
}
