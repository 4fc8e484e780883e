// Number text, number-format classes, date serials and Excel names.
#include <gtest/gtest.h>

#include "platform/dao/cell_ref.h"
#include "platform/dao/excel_names.h"
#include "platform/dao/number_format.h"
#include "platform/dao/number_text.h"
#include "platform/dao/serial_date.h"

using namespace jet;

TEST(NumberText, PrintedAsTheDriverPrintsThem) {
  EXPECT_EQ(number_text(1.5), "1.5");
  EXPECT_EQ(number_text(100), "100");
  EXPECT_EQ(number_text(0.1 + 0.2), "0.3");
  EXPECT_EQ(number_text(-0.001), "-0.001");
  EXPECT_EQ(number_text(123456789012345.0), "123456789012345");
  EXPECT_EQ(number_text(1e15), "1E+15");
  EXPECT_EQ(number_text(1e20), "1E+20");
  EXPECT_EQ(number_text(1.5e-16), "1.5E-16");
  EXPECT_EQ(number_text(0), "0");
  EXPECT_EQ(parse_number(" 2.5E3 "), 2500);
  EXPECT_FALSE(parse_number("1,5"));
  EXPECT_FALSE(parse_number(""));
}

TEST(NumberFormat, DatesAndCurrencyRecognised) {
  EXPECT_EQ(builtin_format_class(14), format_class::date);
  EXPECT_EQ(builtin_format_class(21), format_class::time);
  EXPECT_EQ(builtin_format_class(22), format_class::date);
  EXPECT_EQ(builtin_format_class(7), format_class::currency);
  EXPECT_EQ(builtin_format_class(0), format_class::number);
  EXPECT_EQ(builtin_format_class(49), format_class::number);
  EXPECT_EQ(custom_format_class("yyyy-mm-dd"), format_class::date);
  EXPECT_EQ(custom_format_class("[h]:mm"), format_class::time);
  EXPECT_EQ(custom_format_class("h:mm AM/PM"), format_class::time);
  EXPECT_EQ(custom_format_class("yyyy-mm-dd hh:mm"), format_class::date);
  EXPECT_EQ(custom_format_class("mmm"), format_class::date);
  EXPECT_EQ(custom_format_class("[$-409]d-mmm-yy"), format_class::date);
  EXPECT_EQ(custom_format_class("\"Days: \"0"), format_class::number);
  EXPECT_EQ(custom_format_class("[Red]0.00"), format_class::number);
  EXPECT_EQ(custom_format_class("#,##0.00_);(#,##0.00)"), format_class::number);
  EXPECT_EQ(custom_format_class("0.00\\s"), format_class::number);
  EXPECT_EQ(custom_format_class("[$\xE2\x82\xAC-407] #,##0.00"), format_class::currency);
  EXPECT_EQ(custom_format_class("\xC2\xA3#,##0"), format_class::currency);
  EXPECT_EQ(custom_format_class("\"$\"#,##0.00"), format_class::currency);
  EXPECT_EQ(custom_format_class("0.00\" USD$\""), format_class::number);
  EXPECT_EQ(custom_format_class("$#,##0.00"), format_class::currency);
}

TEST(SerialDate, LeapYearQuirkAnd1904System) {
  EXPECT_EQ(ole_date_text(serial_to_ole_date(1, false)), "1900-01-01");
  EXPECT_EQ(ole_date_text(serial_to_ole_date(59, false)), "1900-02-28");
  EXPECT_EQ(ole_date_text(serial_to_ole_date(61, false)), "1900-03-01");
  EXPECT_EQ(ole_date_text(serial_to_ole_date(38113.5, false)), "2004-05-06 12:00:00");
  EXPECT_EQ(ole_date_text(serial_to_ole_date(0, true)), "1899-12-30");
  EXPECT_EQ(ole_date_text(serial_to_ole_date(1, true)), "1904-01-02");
  EXPECT_EQ(ole_date_text(serial_to_ole_date(0.25, false)), "06:00:00");
  EXPECT_EQ(parse_iso_date("1899-12-30T08:30:00"), 8.5 / 24);
  EXPECT_FALSE(parse_iso_date("2004-13-01"));
  EXPECT_EQ(ole_date_text(1e300), "9999-12-31 23:59:59");
}

TEST(ExcelNames, TablesFieldsAndReferences) {
  EXPECT_EQ(sheet_table_name("Sheet1"), "Sheet1$");
  EXPECT_EQ(sheet_table_name("My Sheet"), "'My Sheet$'");
  EXPECT_EQ(sheet_table_name("It's"), "'It''s$'");
  EXPECT_EQ(sheet_table_name("2024"), "'2024$'");
  EXPECT_EQ(sheet_table_name("Donn\xC3\xA9" "es"), "Donn\xC3\xA9" "es$");
  EXPECT_EQ(field_names({"A", "a", "", "F3", "A1"}, 6),
            (std::vector<std::string>{"A", "a2", "F31", "F3", "A1", "F6"}));
  EXPECT_EQ(field_names({}, 2), (std::vector<std::string>{"F1", "F2"}));
  auto area = parse_area_ref("'My ''Sheet'!$B$2:$C$9");
  ASSERT_TRUE(area);
  EXPECT_EQ(area->sheet, "My 'Sheet");
  EXPECT_EQ(area->area.first_col, 1u);
  EXPECT_EQ(area->area.last_row, 8u);
  EXPECT_TRUE(parse_area_ref("Sheet1!$A:$C"));
  EXPECT_FALSE(parse_area_ref("Sheet1!$A$1:$B$2,Sheet1!$D$1"));
  EXPECT_FALSE(parse_area_ref("#REF!"));
  EXPECT_FALSE(parse_cell_ref("XFE1"));
}
