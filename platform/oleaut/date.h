// Automation dates (DATE) to and from calendar time and text.
//
// A DATE counts days from 1899-12-30 00:00; its fraction is the time of day,
// counted forward from the day also for negative dates (-1.25 is 1899-12-29
// 06:00). Valid dates run from 0100-01-01 to 9999-12-31. A SYSTEMTIME whose
// year, month and day are all zero is a time of day alone and falls on day 0.
#pragma once

#include "platform/oleaut/types.h"

// Flags of VarDateFromStr.
constexpr ULONG VAR_TIMEVALUEONLY = 0x1;
constexpr ULONG VAR_DATEVALUEONLY = 0x2;

// Non-zero on success. Milliseconds are ignored. Fails for a calendar date or
// time of day that does not exist (February 30, hour 24, minute 60).
int SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* out);
// Non-zero on success. Rounds to whole seconds (milliseconds 0), carrying into
// the day, month and year; fills the day of the week.
int VariantTimeToSystemTime(DATE value, SYSTEMTIME* out);

// Reads an English (United States) date: 2004-05-06 or 2004/05/06, 5/6/2004 or
// 5-6-2004 (month first), May 6, 2004, 6 May 2004 or 6-May-04, after an optional
// day name ("Thursday, "), each optionally followed by a time h:mm, h:mm:ss or
// h:mm:ss.fff with AM or PM (an ISO date may put 'T' before its time).
// Two-digit years 30-99 are 19xx, 00-29 20xx. A number alone, a time alone, a
// date without a year and the dotted day.month.year form are not read:
// DISP_E_TYPEMISMATCH, as for a date that does not exist.
HRESULT VarDateFromStr(LPCOLESTR text, LCID locale, ULONG flags, DATE* out);
// "5/6/2004", "5/6/2004 1:05:00 PM", or the time alone ("1:05:00 PM") on day 0.
HRESULT VarBstrFromDate(DATE value, LCID locale, ULONG flags, BSTR* out);

// Days in a month of the Gregorian calendar; 0 for a month outside 1..12.
int days_in_month(int year, int month);
