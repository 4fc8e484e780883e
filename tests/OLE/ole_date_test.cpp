// ole_date: the format search, the kinds, seconds with milliseconds, and the
// printed form; impossible dates and times are not dates.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <tuple>

#include "OLE/ole_date.h"
#include "TK/tk_excep.h"

namespace {

std::string printed(const std::string& text) { return ole_date(text).to_string(); }

}  // namespace

TEST(OleDate, ReadsTheCompactAndPlatformForms) {
  ole_date full("20040506123456");
  EXPECT_EQ(full.get_kind(), ole_date::date_time);
  EXPECT_EQ(full.to_string(), "2004-05-06 12:34:56");
  ole_date day("20040506");
  EXPECT_EQ(day.get_kind(), ole_date::date_only);
  EXPECT_EQ(day.to_string(), "2004-05-06");

  EXPECT_EQ(printed("2004-05-06 12:34:56"), "2004-05-06 12:34:56");
  EXPECT_EQ(printed("5/6/2004 1:05 PM"), "2004-05-06 13:05:00");
  EXPECT_EQ(printed("May 6, 2004"), "2004-05-06");
  EXPECT_EQ(printed("6-May-04 10:00"), "2004-05-06 10:00:00");
  EXPECT_EQ(printed("2004-05-06T12:34:56"), "2004-05-06 12:34:56");
  EXPECT_EQ(ole_date(std::wstring(L"2004/05/06")).to_wstring(), L"2004-05-06");
}

// The printed form of a date is read straight, to the very parts the platform's
// date reader gives that text, day of the week included; impossible dates and
// times (month 13, 2100-02-29, 24:00:00) are left to the format search.
TEST(OleDate, PrintedFormReadsAsThePlatformReaderReadsIt) {
  int checked = 0;
  for (int year : {100, 999, 1000, 1899, 1900, 1970, 2000, 2024, 2100, 9999})
    for (int month = 0; month <= 13; ++month)
      for (int day : {0, 1, 28, 29, 30, 31, 32})
        for (const char* time : {"", " 00:00:00", " 00:00:01", " 12:34:56", " 23:59:59", " 24:00:00", " 12:60:00"}) {
          char text[40];
          std::snprintf(text, sizeof text, "%04d-%02d-%02d%s", year, month, day, time);
          const ole_date date{std::string(text)};
          DATE value = 0;
          SYSTEMTIME expected{};
          const std::wstring wide(text, text + std::strlen(text));
          if (FAILED(VarDateFromStr(wide.c_str(), LOCALE_EN_US, 0, &value)) ||
              !VariantTimeToSystemTime(value, &expected))
            continue;  // not for the platform's reader: the format search reads it
          ++checked;
          const SYSTEMTIME& got = date.get_systemtime();
          EXPECT_EQ(date.get_kind(), expected.wHour || expected.wMinute || expected.wSecond ? ole_date::date_time
                                                                                            : ole_date::date_only)
              << text;
          EXPECT_EQ(std::make_tuple(got.wYear, got.wMonth, got.wDay, got.wDayOfWeek, got.wHour, got.wMinute,
                                    got.wSecond, got.wMilliseconds),
                    std::make_tuple(expected.wYear, expected.wMonth, expected.wDay, expected.wDayOfWeek,
                                    expected.wHour, expected.wMinute, expected.wSecond, expected.wMilliseconds))
              << text;
          EXPECT_EQ(date.to_string(), std::string(text).substr(0, expected.wHour || expected.wMinute ||
                                                                          expected.wSecond ? 19 : 10))
              << text;
        }
  EXPECT_GT(checked, 1000);
}

TEST(OleDate, DateAloneAndTimeAloneKinds) {
  ole_date midnight("2004-05-06 00:00:00");
  EXPECT_EQ(midnight.get_kind(), ole_date::date_only);
  EXPECT_EQ(midnight.to_string(), "2004-05-06");

  ole_date time("  12:30:59.6  ");
  EXPECT_EQ(time.get_kind(), ole_date::time_only);
  EXPECT_EQ(time.to_string(), "0000-00-00 12:31:00");
  EXPECT_EQ(printed("12:30:59.4"), "0000-00-00 12:30:59");
  EXPECT_EQ(printed("23:59:59.5"), "0000-00-00 00:00:00");  // a time alone wraps

  SYSTEMTIME parts{};
  parts.wHour = 7;
  EXPECT_EQ(ole_date(parts).get_kind(), ole_date::time_only);
  parts = SYSTEMTIME{2004, 5, 0, 6, 0, 0, 0, 0};
  EXPECT_EQ(ole_date(parts).get_kind(), ole_date::date_only);
  parts.wSecond = 1;
  EXPECT_EQ(ole_date(parts).to_string(), "2004-05-06 00:00:01");
  // Every field printed in its width, with zeros in front, and wider when it must be.
  parts = SYSTEMTIME{7, 1, 0, 2, 3, 4, 5, 0};
  EXPECT_EQ(ole_date(parts).to_string(), "0007-01-02 03:04:05");
  parts = SYSTEMTIME{65535, 12, 0, 31, 23, 59, 59, 0};
  EXPECT_EQ(ole_date(parts).to_string(), "65535-12-31 23:59:59");
  parts = SYSTEMTIME{0, 0, 0, 0, 100, 0, 0, 0};
  EXPECT_EQ(ole_date(parts).to_string(), "0000-00-00 100:00:00");
}

TEST(OleDate, DayMonthYearTextsAreSwapped) {
  EXPECT_EQ(printed("31.12.2004 10:00:00"), "2004-12-31 10:00:00");
  EXPECT_EQ(printed("31.12.2004"), "2004-12-31");
  EXPECT_EQ(printed("31/12/2004"), "2004-12-31");
  EXPECT_EQ(printed("2004.12.31"), "2004-12-31");
}

TEST(OleDate, AmAndPm) {
  EXPECT_EQ(printed("1:05:00 PM"), "0000-00-00 13:05:00");
  EXPECT_EQ(printed("12:00:00 PM"), "0000-00-00 12:00:00");
  EXPECT_EQ(printed("11:59:59 pm"), "0000-00-00 23:59:59");
  EXPECT_EQ(printed("1:05:00 AM"), "0000-00-00 01:05:00");
  // Twelve in the morning is midnight.
  EXPECT_EQ(printed("12:30:00 AM"), "0000-00-00 00:30:00");
  EXPECT_EQ(printed("2004-05-06 12:30:00 am"), "2004-05-06 00:30:00");
  // The twelve-hour clock applies to the time as written, before its seconds
  // are rounded: a second before noon rounds to noon, not to midnight.
  EXPECT_EQ(printed("11:59:59.6 AM"), "0000-00-00 12:00:00");
  EXPECT_EQ(printed("11:59:59.6 PM"), "0000-00-00 00:00:00");
  EXPECT_EQ(printed("12:59:59.6 AM"), "0000-00-00 01:00:00");
  EXPECT_EQ(printed("2004-12-31 11:59:59.6 AM"), "2004-12-31 12:00:00");
  EXPECT_EQ(printed("2004-12-31 11:59:59.6 PM"), "2005-01-01");
  EXPECT_EQ(printed("31.12.2004 11:59:59.6 PM"), "2005-01-01");
  EXPECT_EQ(printed("2004.12.31 11:59:59.6 AM"), "2004-12-31 12:00:00");
  EXPECT_EQ(printed("20041231115959 PM"), "2004-12-31 23:59:59");
  // Words after the marker make the text no date: nothing of it is dropped.
  for (const char* text : {"10:00:00 AM meeting", "2004-05-06 pm2", "2004-05-06 12:00:00 AM PM", "12:00 PMx"})
    EXPECT_FALSE(ole_date(std::string(text)).is_valid()) << text;
  EXPECT_EQ(printed(" 1:05:00 PM  "), "0000-00-00 13:05:00");
}

TEST(OleDate, RoundedSecondsCarryIntoTheDate) {
  EXPECT_EQ(printed("31.12.2004 23:59:59.6"), "2005-01-01");
  EXPECT_EQ(printed("2004.12.31 23:59:59.6"), "2005-01-01");
  EXPECT_EQ(printed("2004-12-31 23:59:59.6"), "2005-01-01");
  EXPECT_EQ(printed("28.02.2004 23:59:59.5"), "2004-02-29");
  EXPECT_EQ(printed("2003.02.28 23:59:59.5"), "2003-03-01");
  EXPECT_EQ(printed("2004.05.06 10:59:59.5"), "2004-05-06 11:00:00");

  ole_date date("12:00:00");
  EXPECT_TRUE(date.process_milliseconds("07.250"));
  EXPECT_EQ(date.get_systemtime().wSecond, 7);
  EXPECT_EQ(date.get_systemtime().wMilliseconds, 250);
  EXPECT_FALSE(date.process_milliseconds("60"));
  EXPECT_FALSE(date.process_milliseconds("7s"));
  EXPECT_FALSE(date.process_milliseconds(""));
  EXPECT_THROW(date.process_milliseconds(nullptr), tk_mail_assertion);
}

TEST(OleDate, TextsThatAreNoRealDateOrTimeAreNotValid) {
  for (const char* text :
       {"2004", "", "abc", "2004-13-01", "20041301", "2004-02-30", "30.02.2004", "20040230", "2003-02-29 10:00:00",
        "24:00:00", "12:60:00", "12:30:60", "2004-05-06 24:00:00", "2004.05.06 23:60:00", "20040506246000",
        "12:30:abc", "2004-05-06 garbage", "12:30:00 2004-05-06", "-5.3.2004", "99999.1.1"}) {
    ole_date date{std::string(text)};
    EXPECT_FALSE(date.is_valid()) << text;
    EXPECT_EQ(date.get_kind(), ole_date::invalid) << text;
    EXPECT_EQ(date.to_string(), "") << text;
  }
  EXPECT_TRUE(ole_date(std::string("2004-02-29")).is_valid());
  // The zero date of database dumps stays readable.
  EXPECT_EQ(printed("0000-00-00"), "0000-00-00");
  EXPECT_EQ(printed("0000-00-00 00:00:00"), "0000-00-00 00:00:00");
  EXPECT_TRUE(ole_date(std::string("29.02.2004")).is_valid());
  // A year below 100 is no date an automation date can hold: a day.month.year
  // text with a two-digit year is not read as the year 31 or 1.
  for (const char* text : {"31.12.04", "01.02.03", "31.12.04 10:00:00", "0001-01-01", "00991231"}) {
    ole_date date{std::string(text)};
    EXPECT_FALSE(date.is_valid()) << text << " read as " << date.to_string();
  }
  EXPECT_EQ(printed("0100-01-01"), "0100-01-01");
  EXPECT_EQ(printed("01.02.2003"), "2003-02-01");
}
