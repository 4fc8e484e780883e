// Text and numbers read as dates and times.
#include "tests/support/tds_server/tds_dates.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "tests/support/tds_server/tds_bytes.h"

namespace tds {

namespace {

constexpr int64_t ticks_per_day = 300LL * 86400;  // datetime's 1/300 s

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_alpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
}
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool valid_date(int64_t y, unsigned m, unsigned d) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

// A two-digit year by the default two digit year cutoff, 2049.
int64_t full_year(int64_t y, std::size_t digits) {
  if (digits > 2) return y;
  return y <= 49 ? 2000 + y : 1900 + y;
}

bool legacy(sql_type t) { return t == sql_type::datetime || t == sql_type::smalldatetime; }

struct number_part {
  int64_t value = 0;
  std::size_t digits = 0;
};

// "hh:mm[:ss[.fffffff|:fff]] [AM|PM]" or "hh AM|PM", then an optional zone.
bool parse_time(std::string_view s, sql_type to, moment& m) {
  std::size_t i = 0;
  auto digits = [&](std::size_t max, int64_t& out) {
    std::size_t n = 0;
    out = 0;
    while (i < s.size() && n < max && is_digit(s[i])) { out = out * 10 + (s[i] - '0'); ++i; ++n; }
    return n;
  };
  int64_t h = 0, mi = 0, sec = 0;
  if (digits(2, h) == 0) return false;
  bool minutes = false;
  if (i < s.size() && s[i] == ':') {
    ++i;
    if (digits(2, mi) == 0) return false;
    minutes = true;
    if (i < s.size() && s[i] == ':') {
      ++i;
      if (digits(2, sec) == 0) return false;
      if (i < s.size() && (s[i] == '.' || s[i] == ':')) {
        const bool thousandths = s[i] == ':';
        ++i;
        std::size_t n = 0;
        int64_t f = 0;
        while (i < s.size() && is_digit(s[i])) { if (n < 9) f = f * 10 + (s[i] - '0'); ++i; ++n; }
        // datetime and smalldatetime take three digits, the others seven; a
        // colon (thousandths of a second) takes at most three.
        if (n == 0 || n > (thousandths || legacy(to) ? 3u : 7u)) return false;
        m.frac = thousandths ? f * 10000 : f * pow10_i64(7 - static_cast<int>(n));
      }
    }
  }
  while (i < s.size() && is_blank(s[i])) ++i;
  bool am = false, pm = false;
  if (i + 1 < s.size() && (lower(s[i]) == 'a' || lower(s[i]) == 'p') && lower(s[i + 1]) == 'm') {
    am = lower(s[i]) == 'a';
    pm = !am;
    i += 2;
  }
  if (!minutes && !am && !pm) return false;  // a lone number is no time
  if (pm) {
    if (h == 0 || h > 23) return false;
    if (h < 12) h += 12;
  } else if (am) {
    if (h > 12) return false;
    if (h == 12) h = 0;
  }
  if (h > 23 || mi > 59 || sec > 59) return false;
  m.h = static_cast<int>(h);
  m.mi = static_cast<int>(mi);
  m.s = static_cast<int>(sec);
  m.has_time = true;
  while (i < s.size() && is_blank(s[i])) ++i;
  if (i < s.size() && (s[i] == 'Z' || s[i] == 'z')) {
    m.has_tz = true;
    ++i;
  } else if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    const bool neg = s[i++] == '-';
    int64_t th = 0, tm = 0;
    if (digits(2, th) == 0 || i >= s.size() || s[i] != ':') return false;
    ++i;
    if (digits(2, tm) != 2 || th > 14 || tm > 59) return false;
    m.tz = static_cast<int>((th * 60 + tm) * (neg ? -1 : 1));
    m.has_tz = true;
  }
  while (i < s.size() && is_blank(s[i])) ++i;
  return i == s.size();
}

// Where the time of a text begins: the first number followed by ':' or by AM/PM.
std::size_t time_start(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (!is_digit(s[i]) || (i > 0 && is_digit(s[i - 1]))) continue;
    std::size_t j = i;
    while (j < s.size() && is_digit(s[j])) ++j;
    if (j - i > 2) continue;
    if (j < s.size() && s[j] == ':') return i;
    std::size_t k = j;
    while (k < s.size() && is_blank(s[k])) ++k;
    if (k + 1 < s.size() && (lower(s[k]) == 'a' || lower(s[k]) == 'p') && lower(s[k + 1]) == 'm' &&
        (k + 2 == s.size() || !is_alpha(s[k + 2])))
      return i;
  }
  return s.size();
}

bool set_date(moment& m, int64_t y, int64_t mo, int64_t d) {
  m.has_date = true;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || !valid_date(y, static_cast<unsigned>(mo), static_cast<unsigned>(d))) {
    m.invalid = true;
    return true;
  }
  m.y = y;
  m.mo = static_cast<unsigned>(mo);
  m.d = static_cast<unsigned>(d);
  m.has_date = true;
  return true;
}

// A date with a month name: "May 6, 2004", "6 May 2004", "2004 May 6", ...
// The date order does not apply; a missing day is the first.
bool parse_alphabetic(std::string_view s, const language& lang, moment& m) {
  int month = 0;
  std::vector<number_part> numbers;
  std::size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (is_blank(c) || c == ',' || c == '-' || c == '/' || c == '.') { ++i; continue; }
    if (is_digit(c)) {
      number_part n;
      while (i < s.size() && is_digit(s[i])) {
        if (++n.digits > 4) return false;
        n.value = n.value * 10 + (s[i++] - '0');
      }
      numbers.push_back(n);
      continue;
    }
    std::size_t j = i;
    while (j < s.size() && is_alpha(s[j])) ++j;
    if (j == i || month) return false;
    month = month_named(lang, s.substr(i, j - i));
    if (!month) return false;
    i = j;
  }
  if (!month || numbers.empty() || numbers.size() > 2) return false;
  int64_t year, day = 1;
  if (numbers.size() == 1) {
    year = full_year(numbers[0].value, numbers[0].digits);
  } else if (numbers[0].digits == 4) {
    year = numbers[0].value;
    day = numbers[1].value;
    if (numbers[1].digits > 2) return false;
  } else {
    day = numbers[0].value;
    year = full_year(numbers[1].value, numbers[1].digits);
    if (numbers[0].digits > 2) return false;
  }
  return set_date(m, year, month, day);
}

// Three numbers separated by '/', '-' or '.' in the session's date order; a
// four-digit number is the year wherever it stands.
bool parse_numeric(std::string_view s, sql_type to, const conversion_context& cx, moment& m) {
  number_part p[3];
  std::size_t i = 0;
  char sep = 0;
  for (int k = 0; k < 3; ++k) {
    if (k > 0) {
      if (i >= s.size() || (s[i] != '/' && s[i] != '-' && s[i] != '.') || (sep && s[i] != sep)) return false;
      sep = s[i++];
    }
    while (i < s.size() && is_digit(s[i])) {
      if (++p[k].digits > 4) return false;
      p[k].value = p[k].value * 10 + (s[i++] - '0');
    }
    if (p[k].digits == 0 || p[k].digits == 3) return false;
  }
  if (i != s.size()) return false;
  // yyyy-mm-dd is ISO 8601 to the types of SQL Server 2008 on.
  if (!legacy(to) && sep == '-' && p[0].digits == 4) return set_date(m, p[0].value, p[1].value, p[2].value);
  date_order order = cx.order;
  if (!legacy(to) && order == date_order::ydm) order = date_order::ymd;  // not supported for the newer types
  static const char* const layouts[] = {"mdy", "dmy", "ymd", "ydm", "myd", "dym"};
  std::string layout = layouts[static_cast<int>(order)];
  int year_at = -1;
  for (int k = 0; k < 3; ++k) {
    if (p[k].digits == 4) {
      if (year_at >= 0) return false;
      year_at = k;
    }
  }
  if (year_at >= 0) {
    // The year where it stands; month and day keep their order of the setting.
    const bool month_first = layout.find('m') < layout.find('d');
    std::string l;
    for (int k = 0, md = 0; k < 3; ++k) l += k == year_at ? 'y' : ((md++ == 0) == month_first ? 'm' : 'd');
    if (!legacy(to) && year_at == 0) l = "ymd";
    layout = l;
  }
  int64_t y = 0, mo = 0, d = 0;
  for (int k = 0; k < 3; ++k) {
    switch (layout[static_cast<std::size_t>(k)]) {
      case 'y': y = full_year(p[k].value, p[k].digits); break;
      case 'm': if (p[k].digits > 2) return false; mo = p[k].value; break;
      default: if (p[k].digits > 2) return false; d = p[k].value; break;
    }
  }
  return set_date(m, y, mo, d);
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// 100-ns units of the time of day, rounded to `scale` digits.
int64_t time_units(const moment& m, int scale, int64_t& carry_days) {
  const int64_t unit = pow10_i64(7 - scale);
  const int64_t f = (m.frac + unit / 2) / unit;
  const int64_t v = (static_cast<int64_t>(m.h) * 3600 + m.mi * 60 + m.s) * pow10_i64(scale) + f;
  const int64_t day = 86400 * pow10_i64(scale);
  carry_days = v / day;
  return v % day;
}

[[noreturn]] void out_of_range(const column_type& to, bool national) {
  raise(242, 16, std::string("The conversion of a ") + (national ? "nvarchar" : "varchar") + " data type to a " +
                     base_name(to.type) + " data type resulted in an out-of-range value.");
}

// datetime's days and ticks, smalldatetime's days and minutes, from days
// since 1900-01-01 and 1/300 s ticks (rounded as SQL Server rounds them).
cell legacy_cell(int64_t days, int64_t ticks, const column_type& to, bool overflow_error, bool national) {
  if (ticks >= ticks_per_day) { ticks -= ticks_per_day; ++days; }
  auto fail = [&]() -> cell {
    if (overflow_error)
      raise(8115, 16, std::string("Arithmetic overflow error converting expression to data type ") + base_name(to.type) + ".");
    out_of_range(to, national);
  };
  const int64_t base = days_from_civil(1900, 1, 1);
  if (to.type == sql_type::datetime) {
    if (days < days_from_civil(1753, 1, 1) - base || days > days_from_civil(9999, 12, 31) - base) return fail();
    return cell::of(le_bytes(static_cast<uint32_t>(static_cast<int32_t>(days)), 4) + le_bytes(static_cast<uint64_t>(ticks), 4));
  }
  // smalldatetime: 29.998 seconds and less round down, 29.999 and more up.
  int64_t minutes = ticks / (300 * 60) + (ticks % (300 * 60) >= 300 * 30 ? 1 : 0);
  if (minutes >= 1440) { minutes -= 1440; ++days; }
  if (days < 0 || days > days_from_civil(2079, 6, 6) - base) return fail();
  return cell::of(le_bytes(static_cast<uint64_t>(days), 2) + le_bytes(static_cast<uint64_t>(minutes), 2));
}

}  // namespace

bool parse_moment(std::string_view text, sql_type to, const conversion_context& cx, moment& m) {
  const std::string_view s = trimmed(text);
  const language& lang = cx.lang ? *cx.lang : us_english();
  const std::size_t t = time_start(s);
  std::string_view date = trimmed(s.substr(0, t));
  if (t < s.size() && !parse_time(s.substr(t), to, m)) return false;
  // yyyy-mm-ddThh:mm:ss[.mmm]: ISO 8601, in every date order.
  if (!date.empty() && (date.back() == 'T' || date.back() == 't')) {
    date.remove_suffix(1);
    if (t == s.size() || date.size() != 10 || date[4] != '-' || date[7] != '-') return false;
    for (std::size_t k : {0, 1, 2, 3, 5, 6, 8, 9}) {
      if (!is_digit(date[k])) return false;
    }
    return set_date(m, std::stoll(std::string(date.substr(0, 4))), std::stoll(std::string(date.substr(5, 2))),
                    std::stoll(std::string(date.substr(8, 2))));
  }
  if (date.empty()) return m.has_time;
  bool letters = false, separated = false;
  for (char c : date) {
    letters = letters || is_alpha(c);
    separated = separated || !is_digit(c);
  }
  if (letters) return parse_alphabetic(date, lang, m);
  if (separated) return parse_numeric(date, to, cx, m);
  // Unseparated: yyyymmdd or yymmdd, in every date order; yyyy alone is a year.
  const int64_t v = std::stoll(std::string(date));
  switch (date.size()) {
    case 8: return set_date(m, v / 10000, v / 100 % 100, v % 100);
    case 6: return set_date(m, full_year(v / 10000, 2), v / 100 % 100, v % 100);
    case 4: return set_date(m, v, 1, 1);
    default: return false;
  }
}

cell date_cell(const moment& m, const column_type& to, bool national) {
  // No day of the calendar: out of range to datetime and smalldatetime, no date to the others.
  if (m.invalid && legacy(to.type)) out_of_range(to, national);
  if (m.invalid) raise(241, 16, "Conversion failed when converting date and/or time from character string.");
  int64_t days = days_from_civil(m.y, m.mo, m.d);
  switch (to.type) {
    case sql_type::datetime:
    case sql_type::smalldatetime: {
      const int64_t ticks = (static_cast<int64_t>(m.h) * 3600 + m.mi * 60 + m.s) * 300 + (m.frac * 3 + 50000) / 100000;
      return legacy_cell(days - days_from_civil(1900, 1, 1), ticks, to, false, national);
    }
    case sql_type::date:
      return cell::of(le_bytes(static_cast<uint64_t>(days - days_from_civil(1, 1, 1)), 3));
    case sql_type::time: {
      int64_t carry = 0;
      return cell::of(le_bytes(static_cast<uint64_t>(time_units(m, to.scale, carry)), time_length(to.scale)));
    }
    case sql_type::datetime2:
    case sql_type::datetimeoffset: {
      int64_t carry = 0;
      int64_t t = time_units(m, to.scale, carry);
      days += carry;
      if (to.type == sql_type::datetimeoffset && m.tz) {  // stored in UTC
        const int64_t unit_per_min = 60 * pow10_i64(to.scale);
        const int64_t day = 1440 * unit_per_min;
        t -= m.tz * unit_per_min;
        while (t < 0) { t += day; --days; }
        while (t >= day) { t -= day; ++days; }
      }
      const int64_t d = days - days_from_civil(1, 1, 1);
      if (d < 0 || days > days_from_civil(9999, 12, 31)) out_of_range(to, national);
      std::string b = le_bytes(static_cast<uint64_t>(t), time_length(to.scale)) + le_bytes(static_cast<uint64_t>(d), 3);
      if (to.type == sql_type::datetimeoffset) b += le_bytes(static_cast<uint16_t>(static_cast<int16_t>(m.tz)), 2);
      return cell::of(b);
    }
    default:
      return cell{};
  }
}

cell number_as_datetime(const value& v, const column_type& to) {
  auto overflow = [&]() -> cell {
    raise(8115, 16, std::string("Arithmetic overflow error converting expression to data type ") + base_name(to.type) + ".");
  };
  int64_t days = 0, ticks = 0;
  if (v.kind == value::floating) {
    double d = 0;
    const std::string& s = v.text;
    const auto r = std::from_chars(s.data() + (s.size() && s[0] == '+'), s.data() + s.size(), d);
    if (r.ec != std::errc() || !std::isfinite(d) || std::fabs(d) > 3e6) return overflow();
    const double whole = std::floor(d);
    days = static_cast<int64_t>(whole);
    ticks = std::llround((d - whole) * static_cast<double>(ticks_per_day));
  } else {
    // An exact number: the whole days and the fraction, rounded to a tick.
    std::string s = v.text;
    const bool neg = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) s.erase(0, 1);
    const auto dot = s.find('.');
    std::string whole = s.substr(0, dot), frac = dot == std::string::npos ? "" : s.substr(dot + 1);
    while (whole.size() > 1 && whole[0] == '0') whole.erase(0, 1);
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    if (whole.size() > 8 || frac.size() > 18) {
      if (whole.size() > 8) return overflow();
      frac.resize(18);
    }
    days = whole.empty() ? 0 : std::stoll(whole);
    const int64_t scale = pow10_i64(static_cast<int>(frac.size()));
    const unsigned __int128 f = frac.empty() ? 0 : static_cast<unsigned __int128>(std::stoll(frac));
    int64_t part = static_cast<int64_t>((f * ticks_per_day * 2 + static_cast<unsigned __int128>(scale)) /
                                        (static_cast<unsigned __int128>(scale) * 2));
    if (neg) {
      days = -days;
      if (part > 0) { --days; part = ticks_per_day - part; }
    }
    ticks = part;
  }
  if (days < -3000000 || days > 3000000) return overflow();
  return legacy_cell(days, ticks, to, true, false);
}

}  // namespace tds
