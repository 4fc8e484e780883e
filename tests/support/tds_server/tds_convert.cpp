// Conversions between statement values and stored values, with SQL Server's
// rules and errors; rendering of stored values as text.
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/support/tds_server/tds_types.h"

namespace tds {

int decimal_bytes(int precision);

namespace {

using u128 = unsigned __int128;

u128 pow10(int n) {
  u128 v = 1;
  for (int i = 0; i < n; ++i) v *= 10;
  return v;
}

// A number in text: value = digits x 10^exp.
struct number {
  bool neg = false;
  std::string digits;  // no leading zeros; empty for zero
  int exp = 0;
};

std::string_view trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool parse_number(std::string_view s, bool allow_exp, bool allow_point, number& n) {
  s = trim(s);
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) n.neg = s[i++] == '-';
  bool any = false, point = false;
  int frac = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (!(n.digits.empty() && c == '0')) n.digits.push_back(c);
      if (point) ++frac;
      if (n.digits.size() > 400 || frac > 400) return false;
    } else if (c == '.' && !point && allow_point) {
      point = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  n.exp = -frac;
  if (i < s.size() && allow_exp && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    bool eneg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) eneg = s[i++] == '-';
    int e = 0;
    bool edig = false;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      edig = true;
      if (e < 10000) e = e * 10 + (s[i] - '0');
    }
    if (!edig) return false;
    n.exp += eneg ? -e : e;
  }
  return i == s.size();
}

// The number scaled to `scale` fraction digits (rounded half away from zero,
// or cut); false when it needs more than 38 digits.
bool scaled(const number& n, int scale, bool round, u128& mag) {
  std::string d = n.digits;
  const long shift = static_cast<long>(n.exp) + scale;
  bool up = false;
  if (d.empty()) { mag = 0; return true; }
  if (shift >= 0) {
    if (static_cast<long>(d.size()) + shift > 38) return false;
    d.append(static_cast<std::size_t>(shift), '0');
  } else {
    const std::size_t drop = static_cast<std::size_t>(-shift);
    if (drop >= d.size()) {
      up = round && drop == d.size() && d[0] >= '5';
      d.clear();
    } else {
      up = round && d[d.size() - drop] >= '5';
      d.resize(d.size() - drop);
    }
  }
  if (d.size() > 38) return false;
  mag = 0;
  for (char c : d) mag = mag * 10 + static_cast<unsigned>(c - '0');
  if (up) ++mag;
  return mag < pow10(38);
}

std::string u128_text(u128 v) {
  if (v == 0) return "0";
  std::string s;
  while (v) { s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(v % 10))); v /= 10; }
  return s;
}

std::string scaled_text(bool neg, u128 mag, int scale) {
  std::string d = u128_text(mag);
  if (scale > 0) {
    if (d.size() <= static_cast<std::size_t>(scale)) d.insert(0, static_cast<std::size_t>(scale) + 1 - d.size(), '0');
    d.insert(d.size() - static_cast<std::size_t>(scale), ".");
  }
  return (neg && mag ? "-" : "") + d;
}

std::string le_bytes(uint64_t v, int n) {
  std::string b(static_cast<std::size_t>(n), '\0');
  for (int i = 0; i < n; ++i) b[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return b;
}
uint64_t le_value(std::string_view b, std::size_t from, std::size_t n) {
  uint64_t v = 0;
  for (std::size_t i = n; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(b[from + i]);
  return v;
}

std::string money_bytes(int64_t v) {  // high half first
  const auto u = static_cast<uint64_t>(v);
  return le_bytes(u >> 32, 4) + le_bytes(u & 0xFFFFFFFF, 4);
}

[[noreturn]] void overflow(const column_type& to, const char* from = "expression") {
  raise(8115, 16, std::string("Arithmetic overflow error converting ") + from + " to data type " + base_name(to.type) + ".");
}

[[noreturn]] void cant_convert(const value& v, const column_type& to) {
  const char* from = v.national ? "nvarchar" : "varchar";
  raise(245, 16, std::string("Conversion failed when converting the ") + from + " value '" + v.text +
                     "' to data type " + base_name(to.type) + ".");
}

[[noreturn]] void truncated() { raise(8152, 16, "String or binary data would be truncated."); }

// --- dates ---------------------------------------------------------------
struct moment {
  int64_t y = 1900;
  unsigned mo = 1, d = 1;
  int h = 0, mi = 0, s = 0;
  int64_t frac = 0;   // 100 ns units
  int tz = 0;          // minutes east of UTC
  bool has_date = false, has_time = false, has_tz = false;
};

bool digits(std::string_view s, std::size_t& i, int min, int max, int64_t& out) {
  int n = 0;
  out = 0;
  while (i < s.size() && n < max && s[i] >= '0' && s[i] <= '9') { out = out * 10 + (s[i] - '0'); ++i; ++n; }
  return n >= min;
}

bool valid_date(int64_t y, unsigned m, unsigned d) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

bool parse_moment(std::string_view text, moment& m) {
  std::string_view s = trim(text);
  std::size_t i = 0;
  int64_t a = 0, b = 0, c = 0;
  // The date: yyyy-mm-dd, yyyy/mm/dd, yyyymmdd or mm/dd/yyyy.
  const std::size_t start = i;
  if (digits(s, i, 1, 8, a)) {
    const std::size_t len = i - start;
    if (i < s.size() && (s[i] == '-' || s[i] == '/' || s[i] == '.') && len <= 4) {
      const char sep = s[i++];
      if (!digits(s, i, 1, 2, b) || i >= s.size() || s[i] != sep) return false;
      ++i;
      if (!digits(s, i, 1, 4, c)) return false;
      if (len == 4) { m.y = a; m.mo = static_cast<unsigned>(b); m.d = static_cast<unsigned>(c); }
      else { m.mo = static_cast<unsigned>(a); m.d = static_cast<unsigned>(b); m.y = c; }
      m.has_date = true;
    } else if (len == 8) {
      m.y = a / 10000; m.mo = static_cast<unsigned>(a / 100 % 100); m.d = static_cast<unsigned>(a % 100);
      m.has_date = true;
    } else if (i < s.size() && s[i] == ':') {
      i = start;  // a time alone
    } else {
      return false;
    }
    if (m.has_date && !valid_date(m.y, m.mo, m.d)) return false;
  }
  if (m.has_date) {
    if (i < s.size() && (s[i] == 'T' || s[i] == ' ')) {
      ++i;
      while (i < s.size() && s[i] == ' ') ++i;
    } else if (i < s.size()) {
      return false;
    }
  }
  if (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    int64_t h = 0, mi = 0, sec = 0;
    if (!digits(s, i, 1, 2, h) || i >= s.size() || s[i] != ':') return false;
    ++i;
    if (!digits(s, i, 1, 2, mi)) return false;
    if (i < s.size() && s[i] == ':') {
      ++i;
      if (!digits(s, i, 1, 2, sec)) return false;
      if (i < s.size() && s[i] == '.') {
        ++i;
        int n = 0;
        int64_t f = 0;
        bool round_up = false;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
          if (n < 7) f = f * 10 + (s[i] - '0');
          else if (n == 7) round_up = s[i] >= '5';
          ++n; ++i;
        }
        if (n == 0) return false;
        for (int k = n; k < 7; ++k) f *= 10;
        m.frac = f + (round_up ? 1 : 0);
      }
    }
    while (i < s.size() && s[i] == ' ') ++i;
    if (i + 1 < s.size() && (s.substr(i, 2) == "AM" || s.substr(i, 2) == "PM" || s.substr(i, 2) == "am" ||
                             s.substr(i, 2) == "pm")) {
      if (h < 1 || h > 12) return false;
      const bool pm = s[i] == 'P' || s[i] == 'p';
      h = h % 12 + (pm ? 12 : 0);
      i += 2;
    }
    if (h > 23 || mi > 59 || sec > 59) return false;
    m.h = static_cast<int>(h); m.mi = static_cast<int>(mi); m.s = static_cast<int>(sec);
    m.has_time = true;
    while (i < s.size() && s[i] == ' ') ++i;
    if (i < s.size() && (s[i] == 'Z' || s[i] == 'z')) { m.has_tz = true; ++i; }
    else if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      const bool neg = s[i++] == '-';
      int64_t th = 0, tm = 0;
      if (!digits(s, i, 2, 2, th) || i >= s.size() || s[i] != ':') return false;
      ++i;
      if (!digits(s, i, 2, 2, tm) || th > 14 || tm > 59) return false;
      m.tz = static_cast<int>((th * 60 + tm) * (neg ? -1 : 1));
      m.has_tz = true;
    }
  }
  return i == s.size() && (m.has_date || m.has_time);
}

// 100-ns units of the time of day, rounded to `scale` digits.
int64_t time_units(const moment& m, int scale, int64_t& carry_days) {
  const int64_t unit = static_cast<int64_t>(pow10(7 - scale));
  int64_t f = (m.frac + unit / 2) / unit;  // in 10^-scale s
  int64_t v = (static_cast<int64_t>(m.h) * 3600 + m.mi * 60 + m.s) * static_cast<int64_t>(pow10(scale)) + f;
  const int64_t day = 86400 * static_cast<int64_t>(pow10(scale));
  carry_days = v / day;
  return v % day;
}

int time_len(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

cell date_cell(const moment& in, const column_type& to, const value& v) {
  moment m = in;
  const int64_t base1900 = days_from_civil(1900, 1, 1);
  int64_t days = days_from_civil(m.y, m.mo, m.d);
  auto out_of_range = [&]() -> cell {
    raise(242, 16, std::string("The conversion of a ") + (v.national ? "nvarchar" : "varchar") + " data type to a " +
                       base_name(to.type) + " data type resulted in an out-of-range value.");
  };
  switch (to.type) {
    case sql_type::datetime: {
      int64_t ms_ticks = (static_cast<int64_t>(m.h) * 3600 + m.mi * 60 + m.s) * 300 + (m.frac * 3 + 50000) / 100000;
      if (ms_ticks >= 300 * 86400) { ms_ticks -= 300 * 86400; ++days; }
      const int64_t d = days - base1900;
      if (d < days_from_civil(1753, 1, 1) - base1900 || d > days_from_civil(9999, 12, 31) - base1900) return out_of_range();
      return cell::of(le_bytes(static_cast<uint32_t>(static_cast<int32_t>(d)), 4) + le_bytes(static_cast<uint64_t>(ms_ticks), 4));
    }
    case sql_type::smalldatetime: {
      int64_t minutes = m.h * 60 + m.mi + ((m.s * 10000000 + m.frac) >= 299980000 ? 1 : 0);
      if (minutes >= 1440) { minutes -= 1440; ++days; }
      const int64_t d = days - base1900;
      if (d < 0 || d > days_from_civil(2079, 6, 6) - base1900) return out_of_range();
      return cell::of(le_bytes(static_cast<uint64_t>(d), 2) + le_bytes(static_cast<uint64_t>(minutes), 2));
    }
    case sql_type::date:
      return cell::of(le_bytes(static_cast<uint64_t>(days - days_from_civil(1, 1, 1)), 3));
    case sql_type::time: {
      int64_t carry = 0;
      return cell::of(le_bytes(static_cast<uint64_t>(time_units(m, to.scale, carry)), time_len(to.scale)));
    }
    case sql_type::datetime2:
    case sql_type::datetimeoffset: {
      int64_t carry = 0;
      int64_t t = time_units(m, to.scale, carry);
      days += carry;
      if (to.type == sql_type::datetimeoffset && m.tz) {  // stored in UTC
        const int64_t unit_per_min = 60 * static_cast<int64_t>(pow10(to.scale));
        const int64_t day = 1440 * unit_per_min;
        t -= m.tz * unit_per_min;
        while (t < 0) { t += day; --days; }
        while (t >= day) { t -= day; ++days; }
      }
      const int64_t d = days - days_from_civil(1, 1, 1);
      if (d < 0 || days > days_from_civil(9999, 12, 31)) return out_of_range();
      std::string b = le_bytes(static_cast<uint64_t>(t), time_len(to.scale)) + le_bytes(static_cast<uint64_t>(d), 3);
      if (to.type == sql_type::datetimeoffset) b += le_bytes(static_cast<uint16_t>(static_cast<int16_t>(m.tz)), 2);
      return cell::of(b);
    }
    default:
      return cell{};
  }
}

bool is_date(sql_type t) {
  return t == sql_type::smalldatetime || t == sql_type::datetime || t == sql_type::date || t == sql_type::time ||
         t == sql_type::datetime2 || t == sql_type::datetimeoffset;
}
bool is_integer(sql_type t) {
  return t == sql_type::tinyint || t == sql_type::smallint || t == sql_type::int_ || t == sql_type::bigint;
}

std::string hex_upper(std::string_view b) {
  static const char* h = "0123456789ABCDEF";
  std::string s;
  for (char c : b) { s.push_back(h[(static_cast<unsigned char>(c) >> 4)]); s.push_back(h[c & 0xF]); }
  return s;
}

std::string pad2(int64_t v, int n = 2) {
  std::string s = std::to_string(v);
  if (s.size() < static_cast<std::size_t>(n)) s.insert(0, static_cast<std::size_t>(n) - s.size(), '0');
  return s;
}

std::string date_text(int64_t days_from_0001) {
  int64_t y; unsigned m, d;
  civil_from_days(days_from_0001 + days_from_civil(1, 1, 1), y, m, d);
  return pad2(y, 4) + "-" + pad2(m) + "-" + pad2(d);
}

std::string time_text(int64_t units, int scale) {
  const int64_t per = static_cast<int64_t>(pow10(scale));
  int64_t secs = units / per;
  std::string s = pad2(secs / 3600) + ":" + pad2(secs / 60 % 60) + ":" + pad2(secs % 60);
  if (scale > 0) s += "." + pad2(units % per, scale);
  return s;
}

std::string float_text(double d) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, r.ptr);
}

// A typed value as a literal of the right kind, for converting it further.
value as_literal(const value& v) {
  value out;
  const sql_type t = v.type.type;
  out.text = render(v.type, v.data);
  if (is_integer(t) || t == sql_type::bit) out.kind = value::integer;
  else if (t == sql_type::decimal || t == sql_type::numeric || t == sql_type::money || t == sql_type::smallmoney) out.kind = value::decimal;
  else if (t == sql_type::real || t == sql_type::float_) out.kind = value::floating;
  else if (is_binary(t)) { out.kind = value::binary; out.text = v.data.bytes; }
  else { out.kind = value::string; out.national = is_unicode(t); }
  return out;
}

}  // namespace

int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

std::string render(const column_type& t, const cell& c) {
  if (c.null) return "NULL";
  const std::string& b = c.bytes;
  auto sign_int = [&](int n) {
    const uint64_t u = le_value(b, 0, static_cast<std::size_t>(n));
    const int64_t v = n == 8 ? static_cast<int64_t>(u) : static_cast<int64_t>(u << (64 - 8 * n)) >> (64 - 8 * n);
    return std::to_string(v);
  };
  switch (t.type) {
    case sql_type::tinyint: return std::to_string(static_cast<unsigned char>(b[0]));
    case sql_type::smallint: return sign_int(2);
    case sql_type::int_: return sign_int(4);
    case sql_type::bigint: return sign_int(8);
    case sql_type::bit: return b[0] ? "1" : "0";
    case sql_type::real: { float f; std::memcpy(&f, b.data(), 4); char buf[64]; auto r = std::to_chars(buf, buf + 64, f); return std::string(buf, r.ptr); }
    case sql_type::float_: { double d; std::memcpy(&d, b.data(), 8); return float_text(d); }
    case sql_type::smallmoney: {
      const auto v = static_cast<int32_t>(le_value(b, 0, 4));
      return scaled_text(v < 0, static_cast<u128>(v < 0 ? -static_cast<int64_t>(v) : v), 4);
    }
    case sql_type::money: {
      const auto v = static_cast<int64_t>((le_value(b, 0, 4) << 32) | le_value(b, 4, 4));
      const u128 mag = v < 0 ? static_cast<u128>(-(v + 1)) + 1 : static_cast<u128>(v);
      return scaled_text(v < 0, mag, 4);
    }
    case sql_type::decimal:
    case sql_type::numeric: {
      u128 mag = 0;
      for (std::size_t i = b.size(); i-- > 1;) mag = (mag << 8) | static_cast<unsigned char>(b[i]);
      return scaled_text(b[0] == 0, mag, t.scale);
    }
    case sql_type::datetime: {
      const auto days = static_cast<int32_t>(le_value(b, 0, 4));
      const auto ticks = static_cast<int64_t>(le_value(b, 4, 4));
      int64_t ms = (ticks * 10 + 1) / 3;
      const std::string day = date_text(days + days_from_civil(1900, 1, 1) - days_from_civil(1, 1, 1));
      return day + " " + pad2(ms / 3600000) + ":" + pad2(ms / 60000 % 60) + ":" + pad2(ms / 1000 % 60) + "." + pad2(ms % 1000, 3);
    }
    case sql_type::smalldatetime: {
      const auto days = static_cast<int64_t>(le_value(b, 0, 2));
      const auto mins = static_cast<int64_t>(le_value(b, 2, 2));
      return date_text(days + days_from_civil(1900, 1, 1) - days_from_civil(1, 1, 1)) + " " + pad2(mins / 60) + ":" +
             pad2(mins % 60) + ":00";
    }
    case sql_type::date: return date_text(static_cast<int64_t>(le_value(b, 0, 3)));
    case sql_type::time: return time_text(static_cast<int64_t>(le_value(b, 0, b.size())), t.scale);
    case sql_type::datetime2:
    case sql_type::datetimeoffset: {
      const std::size_t tl = static_cast<std::size_t>(time_len(t.scale));
      int64_t units = static_cast<int64_t>(le_value(b, 0, tl));
      int64_t days = static_cast<int64_t>(le_value(b, tl, 3));
      if (t.type == sql_type::datetime2) return date_text(days) + " " + time_text(units, t.scale);
      const auto tz = static_cast<int16_t>(le_value(b, tl + 3, 2));
      const int64_t per_min = 60 * static_cast<int64_t>(pow10(t.scale));
      const int64_t day = 1440 * per_min;
      units += tz * per_min;
      while (units < 0) { units += day; --days; }
      while (units >= day) { units -= day; ++days; }
      const int a = tz < 0 ? -tz : tz;
      return date_text(days) + " " + time_text(units, t.scale) + " " + (tz < 0 ? "-" : "+") + pad2(a / 60) + ":" + pad2(a % 60);
    }
    case sql_type::char_: case sql_type::varchar: case sql_type::text: return cp1252_to_utf8(b);
    case sql_type::nchar: case sql_type::nvarchar: case sql_type::ntext: return utf16_to_utf8(b);
    case sql_type::binary: case sql_type::varbinary: case sql_type::image: return "0x" + hex_upper(b);
    case sql_type::uniqueidentifier: {
      std::string g;
      g += hex_upper(std::string{b[3], b[2], b[1], b[0]}) + "-" + hex_upper(std::string{b[5], b[4]}) + "-" +
           hex_upper(std::string{b[7], b[6]}) + "-" + hex_upper(b.substr(8, 2)) + "-" + hex_upper(b.substr(10, 6));
      return g;
    }
  }
  return "";
}

cell convert(const value& v, const column_type& to) {
  if (v.kind == value::null) return cell{};
  if (v.kind == value::typed) {
    if (v.type.type == to.type) {
      const sql_type t = to.type;
      if (is_string_like(t)) {
        const std::size_t limit = to.length < 0 || is_long(t) ? SIZE_MAX : static_cast<std::size_t>(to.length) * (is_unicode(t) ? 2 : 1);
        if (v.data.bytes.size() > limit) truncated();
        cell c = v.data;
        if (t == sql_type::char_ || t == sql_type::binary || t == sql_type::nchar) {
          const char pad = t == sql_type::binary ? '\0' : ' ';
          while (c.bytes.size() < limit) {
            c.bytes.push_back(pad);
            if (t == sql_type::nchar) c.bytes.push_back('\0');
          }
        }
        return c;
      }
      if (fixed_size(v.type) == fixed_size(to) && v.type == to) return v.data;
    }
    return convert(as_literal(v), to);
  }
  const std::string& s = v.text;
  const sql_type t = to.type;
  const bool numeric_literal = v.kind == value::integer || v.kind == value::decimal || v.kind == value::floating;
  // '' and text of blanks only: 0 for numbers, 1900-01-01 00:00:00 for dates
  // and times; decimal and uniqueidentifier refuse it below.
  if (v.kind == value::string && s.find_first_not_of(' ') == std::string::npos) {
    if (is_integer(t) || t == sql_type::bit || t == sql_type::real || t == sql_type::float_ || t == sql_type::money ||
        t == sql_type::smallmoney) {
      value zero;
      zero.kind = value::integer;
      zero.text = "0";
      return convert(zero, to);
    }
    if (is_date(t)) return date_cell(moment{}, to, v);
  }

  if (is_integer(t) || t == sql_type::bit) {
    number n;
    if (v.kind == value::binary) {
      uint64_t u = 0;
      const std::size_t size = static_cast<std::size_t>(fixed_size(to));
      const std::size_t from = s.size() > size ? s.size() - size : 0;
      for (std::size_t i = from; i < s.size(); ++i) u = (u << 8) | static_cast<unsigned char>(s[i]);
      return cell::of(le_bytes(u, static_cast<int>(size)));
    }
    if (v.kind == value::floating) {
      double d = 0;
      std::from_chars(s.data(), s.data() + s.size(), d);
      char buf[400];
      std::snprintf(buf, sizeof buf, "%.0f", std::trunc(d));
      parse_number(buf, false, false, n);
    } else if (v.kind == value::string && t == sql_type::bit) {
      std::string_view w = trim(s);
      std::string low;
      for (char c : w) low.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
      if (low == "true") return cell::of(std::string(1, '\1'));
      if (low == "false") return cell::of(std::string(1, '\0'));
      if (!parse_number(w, false, true, n)) cant_convert(v, to);
    } else if (!parse_number(s, false, v.kind != value::string, n)) {
      cant_convert(v, to);
    }
    u128 mag = 0;
    if (!scaled(n, 0, false, mag)) overflow(to);
    if (t == sql_type::bit) return cell::of(std::string(1, mag ? '\1' : '\0'));
    const int size = fixed_size(to);
    const u128 max = t == sql_type::tinyint ? 255 : (u128{1} << (8 * size - 1)) - (n.neg ? 0 : 1);
    if (mag > max || (t == sql_type::tinyint && n.neg && mag)) overflow(to);
    const int64_t val = n.neg ? -static_cast<int64_t>(static_cast<uint64_t>(mag - 1)) - 1 : static_cast<int64_t>(mag);
    return cell::of(le_bytes(static_cast<uint64_t>(val), size));
  }
  if (t == sql_type::decimal || t == sql_type::numeric || t == sql_type::money || t == sql_type::smallmoney) {
    number n;
    const bool money = t == sql_type::money || t == sql_type::smallmoney;
    const int scale = money ? 4 : to.scale;
    if (!parse_number(s, v.kind == value::floating, true, n) || v.kind == value::binary) {
      if (money) raise(235, 16, "Cannot convert a char value to money. The char value has incorrect syntax.");
      raise(8114, 16, std::string("Error converting data type ") + (v.national ? "nvarchar" : "varchar") + " to numeric.");
    }
    if (v.kind == value::floating) {  // a float goes through its own 17 digits
      double d = 0;
      std::from_chars(s.data(), s.data() + s.size(), d);
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.17g", d);
      n = number{};
      parse_number(buf, true, true, n);
    }
    u128 mag = 0;
    if (!scaled(n, scale, true, mag)) overflow(to, numeric_literal ? "numeric" : "varchar");
    if (money) {
      const u128 max = t == sql_type::money ? (u128{1} << 63) : (u128{1} << 31);
      if (mag > max || (!n.neg && mag == max)) overflow(to);
      const int64_t val = n.neg ? -static_cast<int64_t>(static_cast<uint64_t>(mag - 1)) - 1 : static_cast<int64_t>(mag);
      return cell::of(t == sql_type::money ? money_bytes(val) : le_bytes(static_cast<uint32_t>(static_cast<int32_t>(val)), 4));
    }
    if (mag >= pow10(to.precision)) overflow(to, numeric_literal ? "numeric" : "varchar");
    std::string b(1, n.neg && mag ? '\0' : '\1');
    for (int i = 0; i < decimal_bytes(to.precision); ++i) b.push_back(static_cast<char>(static_cast<unsigned>(mag >> (8 * i)) & 0xFF));
    return cell::of(b);
  }
  if (t == sql_type::real || t == sql_type::float_) {
    if (v.kind == value::binary) raise(206, 16, "Operand type clash: varbinary is incompatible with float");
    std::string_view w = trim(s);
    double d = 0;
    if (!w.empty() && w.front() == '+') w.remove_prefix(1);
    auto r = std::from_chars(w.data(), w.data() + w.size(), d);
    if (w.empty() || r.ec != std::errc() || r.ptr != w.data() + w.size()) {
      if (r.ec == std::errc::result_out_of_range) overflow(to);
      raise(8114, 16, std::string("Error converting data type ") + (v.national ? "nvarchar" : "varchar") + " to float.");
    }
    if (t == sql_type::real) {
      const auto f = static_cast<float>(d);
      if (std::isinf(f)) overflow(to);
      std::string b(4, '\0');
      std::memcpy(b.data(), &f, 4);
      return cell::of(b);
    }
    std::string b(8, '\0');
    std::memcpy(b.data(), &d, 8);
    return cell::of(b);
  }
  if (is_date(t)) {
    moment m;
    if (numeric_literal) {
      if (t != sql_type::datetime && t != sql_type::smalldatetime)
        raise(206, 16, std::string("Operand type clash: int is incompatible with ") + base_name(t));
      number n;
      u128 mag = 0;
      if (!parse_number(s, v.kind == value::floating, true, n) || !scaled(n, 0, false, mag) || mag > 3000000) overflow(to);
      int64_t y; unsigned mo, d;
      civil_from_days(days_from_civil(1900, 1, 1) + (n.neg ? -1 : 1) * static_cast<int64_t>(mag), y, mo, d);
      m.y = y; m.mo = mo; m.d = d;
      return date_cell(m, to, v);
    }
    if (v.kind != value::string || !parse_moment(s, m)) {
      if (v.kind == value::binary) raise(206, 16, std::string("Operand type clash: varbinary is incompatible with ") + base_name(t));
      raise(241, 16, "Conversion failed when converting date and/or time from character string.");
    }
    return date_cell(m, to, v);
  }
  if (t == sql_type::uniqueidentifier) {
    if (v.kind == value::binary) {
      std::string b = s.substr(0, 16);
      b.resize(16, '\0');
      return cell::of(b);
    }
    std::string_view w = trim(s);
    if (w.size() == 38 && w.front() == '{' && w.back() == '}') w = w.substr(1, 36);
    auto fail = [] { raise(8169, 16, "Conversion failed when converting from a character string to uniqueidentifier."); };
    if (w.size() != 36 || w[8] != '-' || w[13] != '-' || w[18] != '-' || w[23] != '-') fail();
    std::string hex;
    for (char c : w) if (c != '-') hex.push_back(c);
    std::string raw;
    for (std::size_t i = 0; i + 1 < hex.size() + 1 && i < hex.size(); i += 2) {
      auto nib = [&](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
      };
      const int hi = nib(hex[i]), lo = nib(hex[i + 1]);
      if (hi < 0 || lo < 0) fail();
      raw.push_back(static_cast<char>(hi * 16 + lo));
    }
    if (raw.size() != 16) fail();
    std::string b{raw[3], raw[2], raw[1], raw[0], raw[5], raw[4], raw[7], raw[6]};
    b += raw.substr(8);
    return cell::of(b);
  }
  // Character and binary columns.
  std::string bytes;
  if (is_binary(t)) {
    if (v.kind == value::binary) bytes = s;
    else if (v.kind == value::string) bytes = v.national ? utf8_to_utf16(s) : [&] { std::string o; utf8_to_cp1252(s, o); return o; }();
    else raise(257, 16, std::string("Implicit conversion from data type ") + (v.kind == value::integer ? "int" : "numeric") +
                          " to " + base_name(t) + " is not allowed. Use the CONVERT function to run this query.");
  } else if (v.kind == value::binary) {
    bytes = s;
    if (is_unicode(t) && bytes.size() % 2) bytes.push_back('\0');
  } else if (is_unicode(t)) {
    bytes = utf8_to_utf16(s);
  } else {
    utf8_to_cp1252(s, bytes);
  }
  // Same type now: the length check and the padding of fixed-length columns.
  return convert(value::of_typed(to, cell::of(std::move(bytes))), to);
}

}  // namespace tds
