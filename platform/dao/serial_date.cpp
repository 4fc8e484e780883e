#include "platform/dao/serial_date.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace jet {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long days_from_civil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civil_from_days(long long z, int& year, int& month, int& day) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

const long long ole_epoch = days_from_civil(1899, 12, 30);

// OLE dates before the epoch count the days backwards and the time forwards:
// 1899-12-29 06:00 is -1.25.
double ole_date_of(long long days, double fraction) {
  double d = static_cast<double>(days);
  return days < 0 ? d - fraction : d + fraction;
}

bool take_int(std::string_view& text, std::size_t digits, int& out) {
  if (text.size() < digits) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + digits, out);
  if (ec != std::errc() || end != text.data() + digits) return false;
  text.remove_prefix(digits);
  return true;
}

bool take_char(std::string_view& text, char c) {
  if (text.empty() || text[0] != c) return false;
  text.remove_prefix(1);
  return true;
}

// How many digits text begins with; 0 for none, and for more than 9, which no
// part of a duration holds.
std::size_t digits_at(std::string_view text) {
  std::size_t n = 0;
  while (n < text.size() && text[n] >= '0' && text[n] <= '9') ++n;
  return n <= 9 ? n : 0;
}

bool parse_time(std::string_view& text, double& fraction) {
  int h, m, s = 0;
  if (!take_int(text, 2, h) || !take_char(text, ':') || !take_int(text, 2, m)) return false;
  double frac_seconds = 0;
  if (take_char(text, ':')) {
    if (!take_int(text, 2, s)) return false;
    if (!text.empty() && text[0] == '.') {
      std::size_t n = 1;
      while (n < text.size() && text[n] >= '0' && text[n] <= '9') ++n;
      std::string digits = "0" + std::string(text.substr(0, n));
      std::from_chars(digits.data(), digits.data() + digits.size(), frac_seconds);
      text.remove_prefix(n);
    }
  }
  if (h > 24 || m > 59 || s > 59) return false;
  fraction = (h * 3600 + m * 60 + s + frac_seconds) / 86400.0;
  return true;
}

}  // namespace

double serial_to_ole_date(double serial, bool date1904) {
  if (serial < 1) return serial;
  if (date1904) return serial + 1462;
  if (serial < 60) return serial + 1;
  return serial;
}

std::optional<double> parse_iso_date(std::string_view text) {
  double fraction = 0;
  if (text.size() >= 3 && text[2] == ':') {
    if (!parse_time(text, fraction) || !text.empty()) return std::nullopt;
    return fraction;
  }
  int y, mo, d;
  if (!take_int(text, 4, y) || !take_char(text, '-') || !take_int(text, 2, mo) || !take_char(text, '-') ||
      !take_int(text, 2, d))
    return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31) return std::nullopt;
  if (!text.empty()) {
    if (text[0] != 'T' && text[0] != ' ') return std::nullopt;
    text.remove_prefix(1);
    if (!parse_time(text, fraction)) return std::nullopt;
    if (!text.empty() && text[0] == 'Z') text.remove_prefix(1);
    if (!text.empty()) return std::nullopt;
  }
  return ole_date_of(days_from_civil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) - ole_epoch, fraction);
}

std::optional<double> parse_iso_duration(std::string_view text) {
  if (!take_char(text, 'P') || text.empty()) return std::nullopt;
  // A whole number and the letter after it, when they are there.
  auto part = [&](char designator, long long& out) {
    std::size_t n = digits_at(text);
    if (n == 0 || n == text.size() || text[n] != designator) return;
    std::from_chars(text.data(), text.data() + n, out);
    text.remove_prefix(n + 1);
  };
  long long days = 0, hours = 0, minutes = 0;
  double seconds = 0;
  part('D', days);
  if (take_char(text, 'T')) {
    if (text.empty()) return std::nullopt;
    part('H', hours);
    part('M', minutes);
    if (std::size_t end = digits_at(text)) {  // seconds, with or without a fraction
      if (end < text.size() && text[end] == '.') {
        std::size_t fraction = digits_at(text.substr(end + 1));
        if (fraction == 0) return std::nullopt;
        end += 1 + fraction;
      }
      if (end == text.size() || text[end] != 'S') return std::nullopt;
      std::from_chars(text.data(), text.data() + end, seconds);
      text.remove_prefix(end + 1);
    }
  }
  if (!text.empty()) return std::nullopt;
  return (static_cast<double>(((days * 24 + hours) * 60 + minutes) * 60) + seconds) / 86400.0;
}

civil_time ole_date_parts(double date) {
  if (!(date >= min_ole_date)) date = min_ole_date;
  if (!(date < max_ole_date)) date = max_ole_date - 1.0 / 86400;
  // OLE dates before the epoch count the days backwards and the time forwards.
  double day = std::trunc(date);
  double fraction = std::fabs(date - day);
  long long seconds = std::llround(fraction * 86400.0);
  long long days = static_cast<long long>(day);
  if (seconds >= 86400) {
    seconds -= 86400;
    days += date < 0 ? -1 : 1;
  }
  civil_time t{};
  civil_from_days(ole_epoch + days, t.year, t.month, t.day);
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

double ole_date_from_parts(const civil_time& t) {
  return ole_date_of(
      days_from_civil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) - ole_epoch,
      (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0);
}

std::string ole_date_text(double date) {
  civil_time t = ole_date_parts(date);
  char buf[48];
  bool zero_date = t.year == 1899 && t.month == 12 && t.day == 30;
  bool has_time = t.hour || t.minute || t.second;
  if (zero_date && has_time)
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  else if (has_time)
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", t.year, t.month, t.day);
  return buf;
}

}  // namespace jet
