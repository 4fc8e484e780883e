#include "common/type_map.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// An integer printed the way the server prints it: an optional minus, no
// leading zeros, no plus; "-0" is not one.
template <class Int>
bool parse_canonical(std::string_view text, Int& value) {
  if (text.empty()) return false;
  const char* first = text.data();
  const char* last = first + text.size();
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last) return false;
  std::string_view digits = text[0] == '-' ? text.substr(1) : text;
  if (digits.empty() || (digits.size() > 1 && digits[0] == '0')) return false;
  return !(text[0] == '-' && value == 0);
}

// Decimal digits from the first non-zero digit to the last non-zero digit of
// the mantissa of a number text (exponent excluded).
int significant_digits(std::string_view text) {
  int first = -1, last = -1, n = 0;
  for (char c : text) {
    if (c == 'e' || c == 'E') break;
    if (!is_digit(c)) continue;
    if (c != '0') {
      if (first < 0) first = n;
      last = n;
    }
    ++n;
  }
  return first < 0 ? 0 : last - first + 1;
}

// Two digits at a position, or -1.
int two_digits(std::string_view text, std::size_t pos) {
  if (pos + 2 > text.size() || !is_digit(text[pos]) || !is_digit(text[pos + 1])) return -1;
  return (text[pos] - '0') * 10 + (text[pos + 1] - '0');
}

bool valid_date(int year, int month, int day) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1000 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool valid_time(int hour, int minute, int second) {
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

// Year, month and day from "YYYYMMDD" (dashes false) or "YYYY-MM-DD" (true).
bool parse_date(std::string_view text, bool dashes, int& y, int& m, int& d) {
  int hi = two_digits(text, 0), lo = two_digits(text, 2);
  if (hi < 0 || lo < 0) return false;
  y = hi * 100 + lo;
  std::size_t p = 4;
  if (dashes && text[p++] != '-') return false;
  m = two_digits(text, p);
  p += 2;
  if (dashes && text[p++] != '-') return false;
  d = two_digits(text, p);
  return m >= 0 && d >= 0 && valid_date(y, m, d);
}

// "hh:mm:ss" (or "h:mm:ss" when short_hour) or "hhmmss" (colons false).
bool parse_time(std::string_view text, bool colons, int& h, int& mi, int& s) {
  std::size_t p = 0;
  if (colons && text.size() == 7) {
    if (!is_digit(text[0])) return false;
    h = text[0] - '0';
    p = 1;
  } else {
    h = two_digits(text, 0);
    p = 2;
  }
  if (colons && (p >= text.size() || text[p++] != ':')) return false;
  mi = two_digits(text, p);
  p += 2;
  if (colons && (p >= text.size() || text[p++] != ':')) return false;
  s = two_digits(text, p);
  return h >= 0 && mi >= 0 && s >= 0 && p + 2 == text.size() && valid_time(h, mi, s);
}

}  // namespace

// ---- types_map ---------------------------------------------------------------

types_map::types_map(std::wstring table_name) : table_name_(std::move(table_name)) {
  tk_wtrace(2, L"types_map::ctor(%s)", table_name_.c_str());
}

type_map_entry& types_map::get_entry(std::size_t pos) {
  if (pos >= entries_.size()) throw tk_mail_assertion("type_map", 56);
  return entries_[pos];
}

const type_map_entry& types_map::get_entry(std::size_t pos) const {
  if (pos >= entries_.size()) throw tk_mail_assertion("type_map", 56);
  return entries_[pos];
}

// ---- num_map -----------------------------------------------------------------

int num_map::number_class(std::string_view text) {
  std::int64_t integer = 0;
  if (parse_canonical(text, integer))
    return integer >= -2147483648LL && integer <= 2147483647LL ? k_int : k_bigint;
  const std::string copy(text);
  char* end = nullptr;
  const double value = tk_strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || copy.empty() || !std::isfinite(value)) return k_varchar;
  if (value != std::trunc(value)) return k_double;
  if (value >= -2147483648.0 && value <= 2147483647.0) return k_int;
  // Below 2^63 in magnitude a BIGINT holds every integral DOUBLE exactly.
  if (value > -9223372036854775808.0 && value < 9223372036854775808.0) return k_bigint;
  return k_double;
}

int num_map::source_class_of(VARTYPE vt) {
  switch (vt) {
    case VT_I4: return k_int;
    case VT_R4:
    case VT_R8: return k_double;
    case VT_I8: return k_bigint;
    default: return k_varchar;
  }
}

const wchar_t* num_map::type_text(int state) {
  switch (state) {
    case k_double: return L"DOUBLE";
    case k_bigint: return L"BIGINT";
    case k_int: return L"INT";
    default: return L"VARCHAR (255)";
  }
}

num_map::num_map(std::wstring table_name, const std::vector<type_map_column>& columns)
    : types_map(std::move(table_name)) {
  tk_trace(2, "num_map::ctor(size=%d)", static_cast<int>(columns.size()));
  entries_.reserve(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    tk_trace(1, "Field #%d has type %d", static_cast<int>(i), columns[i].vartype);
    type_map_entry e;
    e.field_index = static_cast<int>(i);
    e.field_name = columns[i].name;
    e.source_class = source_class_of(columns[i].vartype);
    entries_.push_back(std::move(e));
  }
}

bool num_map::is_double(std::string_view text) {
  tk_trace(1, "num_map::is_double(%.*s)", static_cast<int>(text.size()), text.data());
  std::size_t p = 0, n = text.size();
  if (p < n && (text[p] == '-' || text[p] == '+')) ++p;
  std::size_t int_start = p;
  while (p < n && is_digit(text[p])) ++p;
  std::size_t int_digits = p - int_start;
  // A leading zero before another digit is text the server would drop ("012").
  if (int_digits > 1 && text[int_start] == '0') return false;
  std::size_t frac_digits = 0;
  if (p < n && text[p] == '.') {
    ++p;
    std::size_t s = p;
    while (p < n && is_digit(text[p])) ++p;
    frac_digits = p - s;
  }
  if (int_digits + frac_digits == 0) return false;
  if (p < n && (text[p] == 'e' || text[p] == 'E')) {
    ++p;
    if (p < n && (text[p] == '-' || text[p] == '+')) ++p;
    std::size_t s = p;
    while (p < n && is_digit(text[p])) ++p;
    if (p == s) return false;
  }
  if (p != n || !is_digit(text[n - 1])) return false;
  if (significant_digits(text) > 15) return false;
  double value = tk_strtod(std::string(text).c_str());
  if (!std::isfinite(value)) return false;
  // An underflow to zero of a non-zero text loses the number.
  return value != 0.0 || significant_digits(text) == 0;
}

bool num_map::is_i8(std::string_view text) {
  tk_trace(1, "num_map::is_i8(%.*s)", static_cast<int>(text.size()), text.data());
  std::int64_t value = 0;
  if (!parse_canonical(text, value)) return false;
  return value > 2147483647LL || value < -2147483648LL;
}

bool num_map::is_int(std::string_view text) {
  tk_trace(1, "num_map::is_int(%.*s)", static_cast<int>(text.size()), text.data());
  std::int32_t value = 0;
  return parse_canonical(text, value);
}

void num_map::add_value(std::size_t pos, std::string_view text, bool is_null) {
  type_map_entry& e = get_entry(pos);
  if (text.empty()) {
    (is_null ? e.null_seen : e.empty_seen) = true;
    return;
  }
  if (e.seen && e.state == k_varchar) {
    tk_trace(1, "skip mapping VARCHAR");
    return;
  }
  int cls = k_varchar;
  if (e.source_class != k_varchar) {
    // A numeric column holds numbers, whatever their printed form: its change
    // is lossless when the values are integers of the narrower type.
    cls = number_class(text);
  } else if (is_i8(text)) {
    cls = k_bigint;
  } else if (is_int(text)) {
    cls = k_int;
  } else if (is_double(text)) {
    cls = k_double;
  }
  // An integer of more digits than a DOUBLE holds exactly forbids DOUBLE.
  if ((cls == k_bigint || cls == k_int) && significant_digits(text) > 15) e.wide_integer = true;

  if (!e.seen) {
    e.seen = true;
    e.state = cls;
    if (cls == k_double && e.wide_integer) e.state = k_varchar;
    tk_trace(1, cls == k_bigint ? "got VT_I8" : cls == k_int ? "got VT_I4" : cls == k_double ? "got double" : "got VARCHAR");
    return;
  }
  switch (cls) {
    case k_bigint:
      if (e.state == k_int) {
        e.state = k_bigint;
        tk_trace(1, "Switch to VT_I8");
      } else if (e.state == k_double && e.wide_integer) {
        e.state = k_varchar;
        tk_trace(1, "Switch to VARCHAR");
      }
      break;
    case k_int:
      tk_trace(1, "skip integer");
      break;
    case k_double:
      e.state = e.wide_integer ? k_varchar : k_double;
      tk_trace(1, e.wide_integer ? "Switch to VARCHAR" : "Switch to DOUBLE");
      break;
    default:
      e.state = k_varchar;
      tk_trace(1, "Switch to VARCHAR");
  }
}

// ---- dates_map ---------------------------------------------------------------

int dates_map::source_class_of(VARTYPE vt, int extra) {
  if (vt != VT_DATE) return k_char;
  return extra >= k_char && extra <= k_time ? extra : k_datetime;
}

const wchar_t* dates_map::type_text(int state) {
  switch (state) {
    case k_datetime: return L"DATETIME";
    case k_date: return L"DATE";
    case k_time: return L"TIME";
    default: return L"CHAR(19)";
  }
}

dates_map::dates_map(std::wstring table_name, const std::vector<type_map_column>& columns,
                     bool date_fields_only)
    : types_map(std::move(table_name)) {
  tk_trace(2, "dates_map::ctor(size=%d)", static_cast<int>(columns.size()));
  for (std::size_t i = 0; i < columns.size(); ++i) {
    tk_trace(1, "Field #%d has type %d", static_cast<int>(i), columns[i].vartype);
    if (date_fields_only && columns[i].vartype != VT_DATE) {
      tk_trace(1, "Field #%d has not a date type", static_cast<int>(i));
      continue;
    }
    tk_trace(1, "Add map entry for field #%d", static_cast<int>(i));
    type_map_entry e;
    e.field_index = static_cast<int>(i);
    e.field_name = columns[i].name;
    e.source_class = source_class_of(columns[i].vartype, columns[i].extra);
    entries_.push_back(std::move(e));
  }
}

int dates_map::date_kind(std::string_view text) {
  int y = 0, m = 0, d = 0, h = 0, mi = 0, s = 0;
  switch (text.size()) {
    case 14:  // YYYYMMDDhhmmss
      for (char c : text)
        if (!is_digit(c)) return 0;
      if (!parse_date(text.substr(0, 8), false, y, m, d) || !parse_time(text.substr(8), false, h, mi, s))
        return 0;
      return h == 0 && mi == 0 && s == 0 ? k_date : k_datetime;
    case 8:  // YYYYMMDD or hh:mm:ss
      if (text[2] == ':') return parse_time(text, true, h, mi, s) ? k_time : 0;
      for (char c : text)
        if (!is_digit(c)) return 0;
      return parse_date(text, false, y, m, d) ? k_date : 0;
    case 7:  // h:mm:ss
      return parse_time(text, true, h, mi, s) ? k_time : 0;
    case 10:  // YYYY-MM-DD
      return parse_date(text, true, y, m, d) ? k_date : 0;
    case 19:  // YYYY-MM-DD hh:mm:ss, or a time as a date value prints it
      if (text.substr(0, 11) == "0000-00-00 ") return parse_time(text.substr(11), true, h, mi, s) ? k_time : 0;
      if (text[10] != ' ' || !parse_date(text.substr(0, 10), true, y, m, d) ||
          !parse_time(text.substr(11), true, h, mi, s))
        return 0;
      return h == 0 && mi == 0 && s == 0 ? k_date : k_datetime;
    default:
      return 0;
  }
}

void dates_map::add_value(std::size_t pos, std::string_view text, bool is_null) {
  type_map_entry& e = get_entry(pos);
  if (text.empty()) {
    (is_null ? e.null_seen : e.empty_seen) = true;
    return;
  }
  if (e.seen && e.state == k_char) {
    tk_trace(1, "skip mapping CHAR(19)");
    return;
  }
  int k = date_kind(text);
  if (!e.seen) {
    e.seen = true;
    e.state = k;
    tk_trace(1, k == k_datetime ? "got datetime" : k == k_date ? "got date" : k == k_time ? "got time" : "got char(19)");
    return;
  }
  // Anything that is not a date, or a time among dates (and the reverse),
  // keeps the column as text.
  if (k == k_char || ((e.state == k_datetime || e.state == k_date) && k == k_time) ||
      (e.state == k_time && k != k_time)) {
    e.state = k_char;
    tk_trace(1, "switch to char(19)");
    return;
  }
  if (e.state == k_date && k == k_datetime) {
    e.state = k_datetime;
    tk_trace(1, "switch to datetime");
  }
}
