// Conversions between statement values and stored values, with SQL Server's
// rules and errors; rendering of stored values as text.
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/support/tds_server/tds_bytes.h"
#include "tests/support/tds_server/tds_codepage.h"
#include "tests/support/tds_server/tds_dates.h"
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

int code_page(const column_type& t) { return collation(t.collation).code_page; }

// Money text as SQL Server reads it: blanks, a sign and one currency symbol
// (of the money type's list) in either order, digits with commas between them
// in the whole part, a fraction after a period. The plain number, or false.
bool money_text(std::string_view s, std::string& plain) {
  static const char* const symbols[] = {
      "$", "\xC2\xA2", "\xC2\xA3", "\xC2\xA4", "\xC2\xA5", "\xE0\xA7\xB2", "\xE0\xA7\xB3", "\xE0\xB8\xBF",
      "\xE1\x9F\x9B", "\xEF\xB7\xBC", "\xEF\xB9\xA9", "\xEF\xBC\x84", "\xEF\xBF\xA0", "\xEF\xBF\xA1",
      "\xEF\xBF\xA5", "\xEF\xBF\xA6"};
  s = trim(s);
  std::string sign;
  bool symbol = false;
  for (int k = 0; k < 2 && !s.empty(); ++k) {
    if (sign.empty() && (s.front() == '-' || s.front() == '+')) {
      sign = std::string(1, s.front());
      s = trim(s.substr(1));
      continue;
    }
    if (symbol) break;
    // U+20A0 to U+20B1, then the others.
    if (s.size() >= 3 && s.substr(0, 2) == "\xE2\x82" && static_cast<unsigned char>(s[2]) >= 0xA0 &&
        static_cast<unsigned char>(s[2]) <= 0xB1) {
      symbol = true;
      s = trim(s.substr(3));
      continue;
    }
    for (const char* sym : symbols) {
      const std::string_view y(sym);
      if (s.substr(0, y.size()) == y) {
        symbol = true;
        s = trim(s.substr(y.size()));
        break;
      }
    }
    if (!symbol) break;
  }
  plain = sign;
  bool point = false, digit_before = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9') {
      digit_before = true;
    } else if (c == ',' && !point) {
      if (!digit_before || i + 1 >= s.size() || s[i + 1] < '0' || s[i + 1] > '9') return false;
      continue;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
    plain.push_back(c);
  }
  return true;
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
      const std::size_t tl = static_cast<std::size_t>(time_length(t.scale));
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
    case sql_type::char_: case sql_type::varchar: case sql_type::text:
      return utf16_to_utf8(decode_code_page(collation(t.collation).code_page, b));
    case sql_type::nchar: case sql_type::nvarchar: case sql_type::ntext: return utf16_to_utf8(b);
    case sql_type::binary: case sql_type::varbinary: case sql_type::image: return "0x" + hex_upper(b);
    case sql_type::sql_variant: {
      // int or nvarchar, as variant_of writes them
      if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0x38 && b.size() == 6)
        return std::to_string(static_cast<int32_t>(le_value(b, 2, 4)));
      const std::size_t props = b.size() >= 2 ? static_cast<unsigned char>(b[1]) : 0;
      return b.size() >= 2 + props ? utf16_to_utf8(std::string_view(b).substr(2 + props)) : "";
    }
    case sql_type::uniqueidentifier: {
      std::string g;
      g += hex_upper(std::string{b[3], b[2], b[1], b[0]}) + "-" + hex_upper(std::string{b[5], b[4]}) + "-" +
           hex_upper(std::string{b[7], b[6]}) + "-" + hex_upper(b.substr(8, 2)) + "-" + hex_upper(b.substr(10, 6));
      return g;
    }
  }
  return "";
}

cell convert(const value& v, const column_type& to, const conversion_context& cx) {
  if (v.kind == value::null) return cell{};
  if (v.kind == value::typed) {
    const sql_type from = v.type.type;
    const sql_type t = to.type;
    // The bytes as they are: within characters of one code page, within
    // Unicode, within binary, and any of them into binary.
    const bool bytes_kept = (is_char(from) && is_char(t) && code_page(v.type) == code_page(to)) ||
                            (is_unicode(from) && is_unicode(t)) || (is_string_like(from) && is_binary(t));
    if (bytes_kept) {
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
      if (is_unicode(t) && c.bytes.size() % 2) c.bytes.push_back('\0');
      return c;
    }
    if (from == t && fixed_size(v.type) == fixed_size(to) && v.type == to) return v.data;
    // A date or time goes through its own text, which reads alike in every date order.
    return convert(as_literal(v), to, is_date(from) ? conversion_context{} : cx);
  }
  if (v.kind == value::string && v.literal && !v.national) {
    // '...' holds what the database's code page holds of the text.
    bool ascii = true;
    for (char ch : v.text) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
    if (!ascii) {
      value narrowed = v;
      narrowed.literal = false;
      narrowed.text = utf16_to_utf8(decode_code_page(cx.literal_code_page,
                                                     encode_code_page(cx.literal_code_page, utf8_to_utf16(v.text))));
      return convert(narrowed, to, cx);
    }
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
    if (is_date(t)) return date_cell(moment{}, to, v.national);
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
    std::string money_plain;
    const bool money_string = money && v.kind == value::string;
    if (money_string && !money_text(s, money_plain)) raise(235, 16, "Cannot convert a char value to money. The char value has incorrect syntax.", 0);
    if (!parse_number(money_string ? money_plain : s, v.kind == value::floating, true, n) || v.kind == value::binary) {
      if (money) raise(235, 16, "Cannot convert a char value to money. The char value has incorrect syntax.", 0);
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
    // Digits only: 'NaN', 'inf' and 'Infinity' are no floats to SQL Server.
    const std::size_t first = !w.empty() && w.front() == '-' ? 1 : 0;
    const bool numeral = first < w.size() && ((w[first] >= '0' && w[first] <= '9') || w[first] == '.');
    auto r = numeral ? std::from_chars(w.data(), w.data() + w.size(), d) : std::from_chars_result{w.data(), std::errc::invalid_argument};
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
        raise(206, 16, std::string("Operand type clash: ") + (v.kind == value::integer ? "int" : v.kind == value::decimal ? "numeric" : "float") +
                           " is incompatible with " + base_name(t));
      return number_as_datetime(v, to);
    }
    if (v.kind != value::string || !parse_moment(s, t, cx, m)) {
      if (v.kind == value::binary) raise(206, 16, std::string("Operand type clash: varbinary is incompatible with ") + base_name(t));
      raise(241, 16, "Conversion failed when converting date and/or time from character string.");
    }
    return date_cell(m, to, v.national);
  }
  if (t == sql_type::uniqueidentifier) {
    if (v.kind == value::binary) {
      std::string b = s.substr(0, 16);
      b.resize(16, '\0');
      return cell::of(b);
    }
    std::string_view w = trim(s);
    // A longer text is cut to the 36 characters of a GUID (38 in braces), as a character type is cut.
    w = w.substr(0, !w.empty() && w.front() == '{' ? 38 : 36);
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
    else if (v.kind == value::string) bytes = v.national ? utf8_to_utf16(s) : encode_code_page(cx.literal_code_page, utf8_to_utf16(s));
    else raise(257, 16, std::string("Implicit conversion from data type ") + (v.kind == value::integer ? "int" : "numeric") +
                          " to " + base_name(t) + " is not allowed. Use the CONVERT function to run this query.");
  } else if (v.kind == value::binary) {
    bytes = s;
    if (is_unicode(t) && bytes.size() % 2) bytes.push_back('\0');
  } else if (is_unicode(t)) {
    bytes = utf8_to_utf16(s);
  } else {
    bytes = encode_code_page(code_page(to), utf8_to_utf16(s));
  }
  // Same type now: the length check and the padding of fixed-length columns.
  return convert(value::of_typed(to, cell::of(std::move(bytes))), to);
}

}  // namespace tds
