// Dates before 1899-12-30 that carry a time, and packages whose part names are
// written with backslashes.
#include <gtest/gtest.h>

#include "platform/dao/serial_date.h"
#include "platform/dao/workbook.h"
#include "platform/dao/workbook_db.h"
#include "platform/dao/zip_package.h"
#include "workbook_fixtures.h"

using namespace jet;

namespace {

std::vector<sheet_row> read_all(const workbook& book) {
  std::vector<sheet_row> rows;
  auto cursor = book.open_sheet(0);
  sheet_row row;
  while (cursor->next(row)) rows.push_back(row);
  return rows;
}

TEST(EarlyDates, TimeCountsForwardFromADayCountedBackwards) {
  // 1899-12-29 06:00 is -1.25: one day back, then a quarter day forward.
  EXPECT_EQ(parse_iso_date("1899-12-29T06:00:00"), -1.25);
  EXPECT_EQ(parse_iso_date("1850-01-01 12:00:00"), ole_date_from_parts({1850, 1, 1, 12, 0, 0}));
  EXPECT_EQ(ole_date_text(*parse_iso_date("1850-01-01T12:00:00")), "1850-01-01 12:00:00");
  EXPECT_EQ(ole_date_text(*parse_iso_date("0101-01-01T23:59:59")), "0101-01-01 23:59:59");
  EXPECT_EQ(ole_date_text(*parse_iso_date("1899-12-30T00:00:01")), "00:00:01");
  EXPECT_EQ(ole_date_text(*parse_iso_date("1850-01-01")), "1850-01-01");

  // The same through an ISO date cell and a #date# literal of a query.
  fixtures::temp_dir dir;
  fixtures::write_package(dir.file("d.xlsx"),
                          fixtures::minimal_package("<row><c t=\"s\"><v>0</v></c></row>"
                                                    "<row><c t=\"d\"><v>1850-01-01T12:00:00</v></c></row>",
                                                    "<si><t>When</t></si>"));
  auto rows = read_all(*open_workbook(dir.file("d.xlsx")));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(ole_date_text(rows[1].cells[0].number), "1850-01-01 12:00:00");

  workbook_db db(open_workbook(dir.file("d.xlsx")), true);
  auto cursor = db.query("SELECT [When] FROM [S$] WHERE [When] = #1850-01-01 12:00:00#");
  std::vector<value> record;
  ASSERT_TRUE(cursor->next(record));
  EXPECT_EQ(ole_date_text(record[0].number), "1850-01-01 12:00:00");
}

TEST(PackageParts, BackslashSeparatedNamesAreRead) {
  // Some writers store "xl\worksheets\sheet1.xml"; the relationships still
  // use '/', or a backslash of their own.
  auto parts = fixtures::minimal_package("<row><c><v>42</v></c></row>");
  for (auto& [name, body] : parts) {
    for (char& c : name)
      if (c == '/') c = '\\';
    if (name == "xl\\_rels\\workbook.xml.rels") {
      auto at = body.find("worksheets/sheet1.xml");
      body.replace(at, 21, "worksheets\\sheet1.xml");
    }
  }
  fixtures::temp_dir dir;
  fixtures::write_package(dir.file("b.xlsx"), parts);
  auto book = open_workbook(dir.file("b.xlsx"));
  EXPECT_EQ(book->sheet_names(), std::vector<std::string>{"S"});
  auto rows = read_all(*book);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].cells[0].number, 42);

  EXPECT_EQ(resolve_part_name("xl\\workbook.xml", "worksheets\\sheet1.xml"), "xl/worksheets/sheet1.xml");
  EXPECT_EQ(resolve_part_name("xl/workbook.xml", "\\xl\\x.xml"), "xl/x.xml");
}

}  // namespace
