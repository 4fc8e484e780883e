// Automation dates: calendar time to and from DATE around 1899-12-30, times
// alone, rounding to seconds, and the English date reader.
#include <gtest/gtest.h>

#include "platform/oleaut/oleaut.h"

namespace {

SYSTEMTIME st(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(mo);
  t.wDay = static_cast<WORD>(d);
  t.wHour = static_cast<WORD>(h);
  t.wMinute = static_cast<WORD>(mi);
  t.wSecond = static_cast<WORD>(s);
  t.wMilliseconds = static_cast<WORD>(ms);
  return t;
}

DATE to_date(const SYSTEMTIME& t) {
  DATE d = -99999999;
  EXPECT_TRUE(SystemTimeToVariantTime(&t, &d));
  return d;
}

// The calendar time of a DATE, its day of the week left out.
SYSTEMTIME to_st(DATE d) {
  SYSTEMTIME t{};
  EXPECT_TRUE(VariantTimeToSystemTime(d, &t)) << d;
  t.wDayOfWeek = 0;
  return t;
}

int weekday(DATE d) {
  SYSTEMTIME t{};
  EXPECT_TRUE(VariantTimeToSystemTime(d, &t)) << d;
  return t.wDayOfWeek;
}

DATE parse(const wchar_t* text) {
  DATE d = -99999999;
  EXPECT_EQ(VarDateFromStr(text, LOCALE_EN_US, 0, &d), S_OK) << text;
  return d;
}

}  // namespace

TEST(DateNumbers, CountDaysFrom18991230WithTheFractionForwardFromTheDay) {
  EXPECT_EQ(to_date(st(1899, 12, 30)), 0.0);
  EXPECT_EQ(to_date(st(1899, 12, 31)), 1.0);
  EXPECT_EQ(to_date(st(1899, 12, 29)), -1.0);
  EXPECT_EQ(to_date(st(1899, 12, 29, 6)), -1.25);
  EXPECT_EQ(to_date(st(1899, 12, 28, 18)), -2.75);
  EXPECT_EQ(to_date(st(1900, 1, 1, 12)), 2.5);
  EXPECT_EQ(to_date(st(2004, 5, 6)), 38113.0);
  EXPECT_EQ(to_date(st(100, 1, 1)), -657434.0);
  EXPECT_EQ(to_date(st(9999, 12, 31)), 2958465.0);
  // Milliseconds are ignored.
  EXPECT_EQ(to_date(st(2004, 5, 6, 0, 0, 1, 999)), to_date(st(2004, 5, 6, 0, 0, 1)));

  EXPECT_EQ(to_st(-1.25), st(1899, 12, 29, 6));
  EXPECT_EQ(to_st(-2.75), st(1899, 12, 28, 18));
  EXPECT_EQ(to_st(-0.5), st(1899, 12, 30, 12));
  SYSTEMTIME t = to_st(38113.524259259259);
  EXPECT_EQ(t, (st(2004, 5, 6, 12, 34, 56)));
  EXPECT_EQ(weekday(0.0), 6);  // a Saturday
  EXPECT_EQ(weekday(38113), 4);  // a Thursday
  EXPECT_EQ(weekday(-1), 5);
  EXPECT_EQ(weekday(-657434), 5);

  // Every day of a few centuries on either side of day 0 goes there and back.
  for (long day = -80000; day <= 80000; day += 7) {
    const SYSTEMTIME s = to_st(static_cast<DATE>(day) + (day < 0 ? -0.5 : 0.5));
    EXPECT_EQ(to_date(s), static_cast<DATE>(day) + (day < 0 ? -0.5 : 0.5));
  }
}

TEST(DateNumbers, TimesAloneFallOnDayZero) {
  EXPECT_EQ(to_date(st(0, 0, 0, 12)), 0.5);
  EXPECT_EQ(to_date(st(0, 0, 0, 18, 0, 0)), 0.75);
  EXPECT_EQ(to_date(st(0, 0, 0)), 0.0);
  EXPECT_EQ(to_st(0.75), st(1899, 12, 30, 18));
}

TEST(DateNumbers, RoundToWholeSecondsCarryingIntoTheYear) {
  const DATE almost = to_date(st(2004, 12, 31, 23, 59, 59)) + 0.6 / 86400;
  EXPECT_EQ(to_st(almost), st(2005, 1, 1));
  const DATE just_under = to_date(st(2004, 5, 6, 12, 30, 59)) + 0.4 / 86400;
  EXPECT_EQ(to_st(just_under), st(2004, 5, 6, 12, 30, 59));
  // A negative date carries forward in time too.
  EXPECT_EQ(to_st(-1.9999999), st(1899, 12, 30));
}

TEST(DateNumbers, DatesAndTimesThatDoNotExistAreRefused) {
  DATE d = 0;
  for (const SYSTEMTIME& t : {st(2004, 2, 30), st(2003, 2, 29), st(2004, 13, 1), st(2004, 0, 1), st(2004, 1, 0),
                              st(2004, 4, 31), st(2004, 1, 1, 24), st(2004, 1, 1, 0, 60), st(2004, 1, 1, 0, 0, 60),
                              st(99, 1, 1), st(10000, 1, 1), st(0, 0, 0, 24), st(0, 1, 0)})
    EXPECT_FALSE(SystemTimeToVariantTime(&t, &d)) << t.wYear << "-" << t.wMonth << "-" << t.wDay << " " << t.wHour;
  EXPECT_TRUE(SystemTimeToVariantTime(&(const SYSTEMTIME&)st(2000, 2, 29), &d));
  SYSTEMTIME t{};
  EXPECT_FALSE(VariantTimeToSystemTime(-657435, &t));
  EXPECT_FALSE(VariantTimeToSystemTime(2958466, &t));
  EXPECT_FALSE(VariantTimeToSystemTime(2958465.999999999, &t));  // rounds into year 10000
  EXPECT_FALSE(VariantTimeToSystemTime(std::numeric_limits<double>::quiet_NaN(), &t));
}

TEST(DateText, ReadsEnglishDateForms) {
  const DATE may6 = to_date(st(2004, 5, 6));
  for (const wchar_t* text : {L"2004-05-06", L"2004/5/6", L"5/6/2004", L"05-06-2004", L"5/6/04", L"May 6, 2004",
                              L"may 6 2004", L"6 May 2004", L"6-May-04", L"6-may-2004", L"May 6,2004", L"  5/6/2004  ",
                              L"6 May, 2004", L"Thursday, May 06, 2004", L"Thu 5/6/2004"})
    EXPECT_EQ(parse(text), may6) << text;
  EXPECT_EQ(parse(L"September 1, 2004"), to_date(st(2004, 9, 1)));
  EXPECT_EQ(parse(L"Sept. 1, 2004"), to_date(st(2004, 9, 1)));
  EXPECT_EQ(parse(L"1/1/30"), to_date(st(1930, 1, 1)));
  EXPECT_EQ(parse(L"1/1/29"), to_date(st(2029, 1, 1)));
  EXPECT_EQ(parse(L"12/31/99"), to_date(st(1999, 12, 31)));
  EXPECT_EQ(parse(L"2/29/00"), to_date(st(2000, 2, 29)));
}

TEST(DateText, ReadsTimesWithAmAndPm) {
  EXPECT_EQ(parse(L"2004-05-06 12:34:56"), to_date(st(2004, 5, 6, 12, 34, 56)));
  EXPECT_EQ(parse(L"2004-05-06T12:34:56"), to_date(st(2004, 5, 6, 12, 34, 56)));
  EXPECT_EQ(parse(L"5/6/2004 1:05 PM"), to_date(st(2004, 5, 6, 13, 5)));
  EXPECT_EQ(parse(L"5/6/2004 12:30:00 AM"), to_date(st(2004, 5, 6, 0, 30)));
  EXPECT_EQ(parse(L"5/6/2004 12:30:00 pm"), to_date(st(2004, 5, 6, 12, 30)));
  EXPECT_EQ(parse(L"5/6/2004 11:59:59PM"), to_date(st(2004, 5, 6, 23, 59, 59)));
  EXPECT_EQ(to_st(parse(L"2004-12-31 23:59:59.6")), st(2005, 1, 1));
  EXPECT_EQ(to_st(parse(L"2004-05-06 12:30:59.4")), st(2004, 5, 6, 12, 30, 59));
  // Before day 0 the time still counts forward.
  EXPECT_EQ(parse(L"1899-12-29 06:00"), -1.25);
}

TEST(DateText, RefusesNumbersTimesAloneDottedFormsAndImpossibleDates) {
  DATE d = 0;
  for (const wchar_t* text :
       {L"", L"2004", L"20040506", L"38113", L"12.5", L"12:30:00", L"1:05 PM", L"31.12.2004", L"31.12.2004 10:00:00",
        L"6.5.2004", L"5/6", L"May 6", L"2004-02-30", L"2/29/2003", L"13/1/2004", L"31/12/2004", L"2004-05-06 24:00",
        L"2004-05-06 12:60", L"2004-05-06 12:00:60", L"2004-05-06 13:00 PM", L"2004-05-06 0:30 AM", L"5/6/2004 garbage",
        L"2004-05-06 12:34:56 +02:00", L"5/6/204", L"5-6/2004", L"0099-01-01", L"Mayo 6, 2004", L"2004-05-0612:00",
        L"5/6/2004T12:00", L"Thursday", L"Thursday,", L"Thurs 5/6/2004"})
    EXPECT_EQ(VarDateFromStr(text, LOCALE_EN_US, 0, &d), DISP_E_TYPEMISMATCH) << text;
}

TEST(DateText, PrintsEnglishAndReadsItBack) {
  BSTR text = nullptr;
  const DATE when = to_date(st(2004, 12, 31, 0, 5, 9));
  ASSERT_EQ(VarBstrFromDate(when, LOCALE_EN_US, 0, &text), S_OK);
  EXPECT_EQ(bstr_text(text), L"12/31/2004 12:05:09 AM");
  EXPECT_EQ(parse(text), when);
  SysFreeString(text);
  ASSERT_EQ(VarBstrFromDate(0.0, LOCALE_EN_US, 0, &text), S_OK);
  EXPECT_EQ(bstr_text(text), L"12:00:00 AM");
  SysFreeString(text);
  EXPECT_EQ(VarBstrFromDate(1e7, LOCALE_EN_US, 0, &text), DISP_E_OVERFLOW);
}
