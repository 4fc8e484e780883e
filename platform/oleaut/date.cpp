#include "platform/oleaut/date.h"

#include <cmath>
#include <cwchar>
#include <cwctype>
#include <string>
#include <string_view>

#include "platform/oleaut/bstr.h"

namespace {

constexpr long seconds_per_day = 86400;
constexpr DATE min_date = -657434.0;  // 0100-01-01
constexpr DATE max_date = 2958466.0;  // 10000-01-01, excluded

// Days since 1970-01-01 of a Gregorian calendar date.
long days_from_civil(long year, long month, long day) {
  year -= month <= 2;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const long year_of_era = year - era * 400;
  const long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

void civil_from_days(long days, long* year, long* month, long* day) {
  days += 719468;
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const long day_of_era = days - era * 146097;
  const long year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const long mp = (5 * day_of_year + 2) / 153;
  *day = day_of_year - (153 * mp + 2) / 5 + 1;
  *month = mp < 10 ? mp + 3 : mp - 9;
  *year = year_of_era + era * 400 + (*month <= 2);
}

const long epoch = days_from_civil(1899, 12, 30);

bool valid_calendar_date(long year, long month, long day) {
  return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= days_in_month(static_cast<int>(year), static_cast<int>(month));
}

bool valid_time(long hour, long minute, long second) {
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

// The DATE of a day (counted from 1899-12-30) and a time of day in seconds.
DATE make_date(long day, double seconds) {
  const double fraction = seconds / seconds_per_day;
  return day >= 0 ? day + fraction : day - fraction;
}

// Reading of English date text.
class date_reader {
 public:
  explicit date_reader(std::wstring_view text) : text_(text) {}

  bool read(long* day_number, double* seconds) {
    long year = 0, month = 0, day = 0;
    skip_blanks();
    skip_weekday();
    bool iso = false;
    const std::size_t start = pos_;
    if (!(iso = read_year_first(&year, &month, &day))) {
      pos_ = start;
      if (!read_month_first(&year, &month, &day)) {
        pos_ = start;
        if (!read_month_name_first(&year, &month, &day)) {
          pos_ = start;
          if (!read_day_first(&year, &month, &day)) return false;
        }
      }
    }
    if (!valid_calendar_date(year, month, day)) return false;
    *day_number = days_from_civil(year, month, day) - epoch;
    *seconds = 0;
    const std::size_t before_time = pos_;
    skip_blanks();
    if (at_end()) return true;
    if (pos_ == before_time) {  // the time must be set apart by a blank, or 'T' after an ISO date
      if (!(iso && (peek() == L'T' || peek() == L't'))) return false;
      ++pos_;
    }
    return read_time(seconds) && (skip_blanks(), at_end());
  }

 private:
  bool at_end() const { return pos_ >= text_.size(); }
  wchar_t peek() const { return at_end() ? 0 : text_[pos_]; }
  void skip_blanks() {
    while (!at_end() && (text_[pos_] == L' ' || text_[pos_] == L'\t')) ++pos_;
  }
  bool take(wchar_t c) {
    if (peek() != c) return false;
    ++pos_;
    return true;
  }
  // A run of digits of length min..max; its length in *length.
  bool number(long* value, std::size_t min, std::size_t max, std::size_t* length = nullptr) {
    std::size_t n = 0;
    long result = 0;
    while (!at_end() && text_[pos_] >= L'0' && text_[pos_] <= L'9') {
      if (++n > max) return false;
      result = result * 10 + (text_[pos_++] - L'0');
    }
    if (n < min) return false;
    *value = result;
    if (length) *length = n;
    return true;
  }
  // A year of two digits (with the century window) or four.
  bool year(long* value) {
    std::size_t length = 0;
    if (!number(value, 2, 4, &length) || length == 3) return false;
    if (length == 2) *value += *value < 30 ? 2000 : 1900;
    return true;
  }
  bool month_name(long* value) {
    static const wchar_t* const names[] = {L"january", L"february", L"march",     L"april",   L"may",      L"june",
                                           L"july",    L"august",   L"september", L"october", L"november", L"december"};
    std::wstring word;
    while (!at_end() && std::iswalpha(static_cast<wint_t>(text_[pos_])))
      word.push_back(static_cast<wchar_t>(std::towlower(static_cast<wint_t>(text_[pos_++]))));
    if (word.size() < 3) return false;
    for (long m = 0; m < 12; ++m) {
      const std::wstring_view name(names[m]);
      if (word == name || word == name.substr(0, 3) || (m == 8 && word == L"sept")) {
        *value = m + 1;
        if (word != name) take(L'.');
        return true;
      }
    }
    return false;
  }
  // A leading day name ("Thursday, May 6, 2004"), which the date itself decides.
  void skip_weekday() {
    static const wchar_t* const names[] = {L"sunday",   L"monday", L"tuesday", L"wednesday",
                                           L"thursday", L"friday", L"saturday"};
    const std::size_t start = pos_;
    std::wstring word;
    while (!at_end() && std::iswalpha(static_cast<wint_t>(text_[pos_])))
      word.push_back(static_cast<wchar_t>(std::towlower(static_cast<wint_t>(text_[pos_++]))));
    for (const wchar_t* name : names) {
      if (word == name || (word.size() == 3 && std::wstring_view(name).substr(0, 3) == word)) {
        take(L'.');
        take(L',');
        skip_blanks();
        return;
      }
    }
    pos_ = start;
  }
  bool separator(wchar_t* used) {
    if (peek() != L'-' && peek() != L'/') return false;
    *used = text_[pos_++];
    return true;
  }
  // 2004-05-06, 2004/5/6
  bool read_year_first(long* y, long* m, long* d) {
    wchar_t first = 0, second = 0;
    return number(y, 4, 4) && separator(&first) && number(m, 1, 2) && separator(&second) && second == first &&
           number(d, 1, 2);
  }
  // 5/6/2004, 05-06-04
  bool read_month_first(long* y, long* m, long* d) {
    wchar_t first = 0, second = 0;
    return number(m, 1, 2) && separator(&first) && number(d, 1, 2) && separator(&second) && second == first &&
           year(y);
  }
  // May 6, 2004; May 6 2004
  bool read_month_name_first(long* y, long* m, long* d) {
    if (!month_name(m)) return false;
    skip_blanks();
    if (!number(d, 1, 2)) return false;
    const bool comma = take(L',');
    const std::size_t before = pos_;
    skip_blanks();
    return (comma || pos_ != before) && year(y);
  }
  // 6 May 2004, 6-May-04, 6 May, 2004
  bool read_day_first(long* y, long* m, long* d) {
    if (!number(d, 1, 2)) return false;
    const bool dashed = take(L'-');
    if (!dashed) {
      const std::size_t before = pos_;
      skip_blanks();
      if (pos_ == before) return false;
    }
    if (!month_name(m)) return false;
    if (dashed) return take(L'-') && year(y);
    const bool comma = take(L',');
    const std::size_t before = pos_;
    skip_blanks();
    return (comma || pos_ != before) && year(y);
  }
  // h:mm, h:mm:ss, h:mm:ss.fff, then AM or PM
  bool read_time(double* seconds) {
    long hour = 0, minute = 0, second = 0;
    double fraction = 0;
    if (!number(&hour, 1, 2) || !take(L':') || !number(&minute, 2, 2)) return false;
    if (take(L':')) {
      if (!number(&second, 2, 2)) return false;
      if (take(L'.')) {
        double scale = 0.1;
        std::size_t digits = 0;
        while (!at_end() && text_[pos_] >= L'0' && text_[pos_] <= L'9') {
          fraction += (text_[pos_++] - L'0') * scale;
          scale /= 10;
          ++digits;
        }
        if (digits == 0) return false;
      }
    }
    skip_blanks();
    if (!at_end()) {
      const wchar_t c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(text_[pos_])));
      if ((c != L'a' && c != L'p') || pos_ + 1 >= text_.size() || std::towlower(text_[pos_ + 1]) != L'm')
        return false;
      pos_ += 2;
      if (hour < 1 || hour > 12) return false;
      if (c == L'a' && hour == 12) hour = 0;
      if (c == L'p' && hour < 12) hour += 12;
    }
    if (!valid_time(hour, minute, second)) return false;
    *seconds = hour * 3600.0 + minute * 60.0 + second + fraction;
    return true;
  }

  std::wstring_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

int days_in_month(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

int SystemTimeToVariantTime(const SYSTEMTIME* time, DATE* out) {
  if (!time || !out) return 0;
  if (!valid_time(time->wHour, time->wMinute, time->wSecond)) return 0;
  long day = 0;
  if (time->wYear != 0 || time->wMonth != 0 || time->wDay != 0) {
    if (!valid_calendar_date(time->wYear, time->wMonth, time->wDay)) return 0;
    day = days_from_civil(time->wYear, time->wMonth, time->wDay) - epoch;
  }
  *out = make_date(day, time->wHour * 3600.0 + time->wMinute * 60.0 + time->wSecond);
  return 1;
}

int VariantTimeToSystemTime(DATE value, SYSTEMTIME* out) {
  if (!out) return 0;
  if (!(value >= min_date && value < max_date)) return 0;  // NaN fails too
  const double whole = std::trunc(value);
  long day = static_cast<long>(whole);
  long long seconds = std::llround(std::fabs(value - whole) * seconds_per_day);
  if (seconds >= seconds_per_day) {  // rounded up to the next midnight
    seconds -= seconds_per_day;
    ++day;
  }
  long year = 0, month = 0, day_of_month = 0;
  const long days = day + epoch;
  civil_from_days(days, &year, &month, &day_of_month);
  if (year > 9999) return 0;
  out->wYear = static_cast<WORD>(year);
  out->wMonth = static_cast<WORD>(month);
  out->wDay = static_cast<WORD>(day_of_month);
  out->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  out->wHour = static_cast<WORD>(seconds / 3600);
  out->wMinute = static_cast<WORD>(seconds / 60 % 60);
  out->wSecond = static_cast<WORD>(seconds % 60);
  out->wMilliseconds = 0;
  return 1;
}

HRESULT VarDateFromStr(LPCOLESTR text, LCID, ULONG flags, DATE* out) {
  if (!text || !out) return E_INVALIDARG;
  long day = 0;
  double seconds = 0;
  if (!date_reader(text).read(&day, &seconds)) return DISP_E_TYPEMISMATCH;
  if (flags & VAR_TIMEVALUEONLY) day = 0;
  if (flags & VAR_DATEVALUEONLY) seconds = 0;
  *out = make_date(day, seconds);
  return S_OK;
}

HRESULT VarBstrFromDate(DATE value, LCID, ULONG, BSTR* out) {
  if (!out) return E_INVALIDARG;
  SYSTEMTIME t{};
  if (!VariantTimeToSystemTime(value, &t)) return DISP_E_OVERFLOW;
  std::wstring text;
  const bool day_zero = t.wYear == 1899 && t.wMonth == 12 && t.wDay == 30;
  if (!day_zero) text = std::to_wstring(t.wMonth) + L"/" + std::to_wstring(t.wDay) + L"/" + std::to_wstring(t.wYear);
  if (day_zero || t.wHour || t.wMinute || t.wSecond) {
    const int hour12 = t.wHour % 12 == 0 ? 12 : t.wHour % 12;
    wchar_t clock[32];
    std::swprintf(clock, 32, L"%d:%02d:%02d %ls", hour12, t.wMinute, t.wSecond, t.wHour < 12 ? L"AM" : L"PM");
    if (!text.empty()) text += L' ';
    text += clock;
  }
  *out = bstr_from(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}
