#include "OLE/ole_date.h"

#include "OLE/ole_var.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads text the way the C library's scanf reads "%hd" items, literal
// characters, blanks and "%s", without its undefined overflow: a number that
// does not fit a short does not match.
class scanner {
 public:
  explicit scanner(std::string_view text) : text_(text) {}

  bool number(short* out) {
    skip_spaces();
    std::size_t i = pos_;
    bool negative = false;
    if (i < text_.size() && (text_[i] == '-' || text_[i] == '+')) negative = text_[i++] == '-';
    long value = 0;
    const std::size_t first = i;
    while (i < text_.size() && is_digit(text_[i])) {
      value = value * 10 + (text_[i++] - '0');
      if (value > 32768) return false;
    }
    if (i == first) return false;
    if (negative) value = -value;
    if (value > 32767) return false;
    *out = static_cast<short>(value);
    pos_ = i;
    return true;
  }
  bool literal(char c) {
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  void skip_spaces() {
    while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
  }
  bool word(std::string* out) {
    skip_spaces();
    const std::size_t first = pos_;
    while (pos_ < text_.size() && !is_space(text_[pos_])) ++pos_;
    *out = std::string(text_.substr(first, pos_ - first));
    return pos_ > first;
  }
  // Only blanks are left.
  bool at_end() const {
    for (std::size_t i = pos_; i < text_.size(); ++i)
      if (!is_space(text_[i])) return false;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// "%hd<sep>%hd<sep>%hd %hd:%hd:%s": the items read, in order; *complete is
// true when nothing but blanks follows the last item read.
int scan_date_time(const std::string& text, char separator, short items[5], std::string* seconds, bool* complete) {
  scanner in(text);
  int count = 0;
  auto done = [&] {
    *complete = in.at_end();
    return count;
  };
  if (!in.number(&items[0])) return done();
  ++count;
  if (!in.literal(separator) || !in.number(&items[1])) return done();
  ++count;
  if (!in.literal(separator) || !in.number(&items[2])) return done();
  ++count;
  const scanner after_date = in;
  in.skip_spaces();
  if (!in.number(&items[3])) {
    in = after_date;
    return done();
  }
  ++count;
  if (!in.literal(':') || !in.number(&items[4])) return done();
  ++count;
  if (!in.literal(':') || !in.word(seconds)) return done();
  ++count;
  return done();
}

bool all_digits(const std::string& text) {
  for (char c : text)
    if (!is_digit(c)) return false;
  return true;
}

int digits_value(const std::string& text, std::size_t first, std::size_t count) {
  int value = 0;
  for (std::size_t i = first; i < first + count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

}  // namespace

ole_date::ole_date(const SYSTEMTIME& parts) : kind_(date_time), parts_(parts) {
  tk_trace(2, "ole_date::ole_date(SYSTEMTIME)");
  refine_type();
}

ole_date::ole_date(const std::string& text) {
  tk_trace(2, "ole_date::ole_date('%s')", text.c_str());
  clear();
  if (read_canonical(text)) return;
  std::string buffer = tk_trim(text);
  tk_trace(1, "After tk_trim: %s", buffer.c_str());
  // A clock marker ends the text: words after it ("10:00 AM meeting") make
  // the text no date, so that nothing of it is dropped.
  const char* marker = nullptr;
  for (const char* candidate : {"AM", "PM", "am", "pm"}) {
    const std::size_t at = buffer.find(candidate);
    if (at != std::string::npos) {
      if (at + 2 < buffer.size()) {
        tk_trace(2, "Invalid date/time format: '%s'", buffer.c_str());
        return;
      }
      marker = candidate;
      buffer = tk_trim(std::string_view(buffer).substr(0, at));
      break;
    }
  }
  tk_trace(1, "Again buf1=%s", buffer.c_str());
  if (buffer.size() <= 4) {
    tk_trace(2, "Invalid date/time format: '%s'", buffer.c_str());
    return;
  }
  // The format search turns the hour into a day's hour as soon as it reads it,
  // so that rounding the seconds carries from the right hour.
  const bool pm = marker && (marker[0] == 'P' || marker[0] == 'p');
  meridiem_ = pm ? post_meridiem : marker ? ante_meridiem : no_meridiem;
  import_from_string(buffer);
  meridiem_ = no_meridiem;
  if (kind_ == date_time || kind_ == date_only) swap_day_and_year();
  // Only a real calendar date and time of day is a date.
  if (kind_ != invalid && !is_valid()) {
    tk_trace(2, "Invalid date/time format: '%s'", buffer.c_str());
    clear();
  }
}

ole_date::ole_date(const std::wstring& text) : ole_date(tk_to_narrow(text, CP_THREAD_ACP)) {}

namespace {

// The digits of text[at, at + count) as a number; false when one is no digit.
bool digits_at(std::string_view text, std::size_t at, std::size_t count, WORD* value) {
  unsigned result = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!is_digit(text[i])) return false;
    result = result * 10 + static_cast<unsigned>(text[i] - '0');
  }
  *value = static_cast<WORD>(result);
  return true;
}

}  // namespace

// The text this class prints, "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss", with a
// real date and time, is read straight: the format search would take it to
// the platform's date reader, whose value is made here the same way, from the
// same numbers.
bool ole_date::read_canonical(std::string_view text) {
  if (text.size() != 10 && text.size() != 19) return false;
  if (text[4] != '-' || text[7] != '-') return false;
  SYSTEMTIME t{};
  if (!digits_at(text, 0, 4, &t.wYear) || !digits_at(text, 5, 2, &t.wMonth) || !digits_at(text, 8, 2, &t.wDay))
    return false;
  if (text.size() == 19) {
    if (text[10] != ' ' || text[13] != ':' || text[16] != ':') return false;
    if (!digits_at(text, 11, 2, &t.wHour) || !digits_at(text, 14, 2, &t.wMinute) ||
        !digits_at(text, 17, 2, &t.wSecond))
      return false;
  }
  if (t.wYear < 100 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 || t.wDay > days_in_month(t.wYear, t.wMonth) ||
      t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59)
    return false;
  DATE value = 0;
  SYSTEMTIME parts{};
  if (!SystemTimeToVariantTime(&t, &value) || !VariantTimeToSystemTime(value, &parts)) return false;
  parts_ = parts;
  kind_ = date_time;
  refine_type();
  return true;
}

void ole_date::clear() {
  parts_ = SYSTEMTIME{};
  kind_ = invalid;
}

bool ole_date::is_valid() const {
  if (kind_ == invalid) return false;
  const SYSTEMTIME& t = parts_;
  if (t.wYear == 0 && t.wMonth == 0 && t.wDay == 0) {
    tk_trace(1, "DATETIME is a pute time");
  } else {
    if (t.wMonth < 1 || t.wMonth > 12) {
      tk_trace(1, "Invalid month");
      return false;
    }
    // Years below 100 are two-digit years read as written ("31.12.04" is no
    // date of the year 31), and no automation date holds them.
    if (t.wYear < 100 || t.wYear > 9999 || t.wDay < 1 || t.wDay > days_in_month(t.wYear, t.wMonth)) {
      tk_trace(1, "Invalid day and/or year");
      return false;
    }
  }
  if (t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59) {
    tk_trace(1, "Invalid time");
    return false;
  }
  return true;
}

bool ole_date::is_acceptable() const {
  ole_date swapped = *this;
  swapped.swap_day_and_year();
  return swapped.is_valid();
}

void ole_date::swap_day_and_year() {
  if (parts_.wDay > 31 && parts_.wYear < 32) std::swap(parts_.wDay, parts_.wYear);
}

void ole_date::refine_type() {
  const SYSTEMTIME& t = parts_;
  if (t.wYear == 0 && t.wMonth == 0 && t.wDay == 0)
    kind_ = time_only;
  else if (t.wHour == 0 && t.wMinute == 0 && t.wSecond == 0 && t.wYear != 0 && t.wMonth != 0 && t.wDay != 0)
    kind_ = date_only;
}

void ole_date::apply_meridiem() {
  if (meridiem_ == post_meridiem && parts_.wHour <= 11)
    parts_.wHour += 12;
  else if (meridiem_ == ante_meridiem && parts_.wHour == 12)  // 12 AM is midnight
    parts_.wHour = 0;
}

void ole_date::add_day() {
  if (++parts_.wDay <= days_in_month(parts_.wYear, parts_.wMonth)) return;
  parts_.wDay = 1;
  if (++parts_.wMonth <= 12) return;
  parts_.wMonth = 1;
  ++parts_.wYear;
}

bool ole_date::process_milliseconds(const char* seconds) {
  if (!seconds) throw tk_mail_assertion("ole_date", 356);
  tk_trace(1, "Got row sec: '%s'", seconds);
  // Digits, optionally a point and more digits: "59", "59.6", ".5".
  const std::string text(seconds);
  const std::size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  const std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
  if ((whole.empty() && fraction.empty()) || !all_digits(whole) || !all_digits(fraction)) return false;
  int second = 0;
  for (char c : whole) {
    second = second * 10 + (c - '0');
    if (second > 59) return false;
  }
  int milliseconds = 0;
  for (std::size_t i = 0; i < 3; ++i) milliseconds = milliseconds * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  tk_trace(1, "Got sec: %d", second);
  tk_trace(1, "Got msec: %d", milliseconds);
  parts_.wSecond = static_cast<WORD>(second);
  parts_.wMilliseconds = static_cast<WORD>(milliseconds);
  if (milliseconds >= 500) {
    parts_.wMilliseconds = 0;
    if (++parts_.wSecond > 59) {
      parts_.wSecond -= 60;
      if (++parts_.wMinute > 59) {
        parts_.wMinute -= 60;
        if (++parts_.wHour > 23) {
          parts_.wHour -= 24;
          // A date moves on to the next day; a time alone wraps.
          if (parts_.wYear != 0 || parts_.wMonth != 0 || parts_.wDay != 0) add_day();
        }
      }
    }
  }
  tk_trace(1, "After processing: %02d:%02d:%02d", parts_.wHour, parts_.wMinute, parts_.wSecond);
  return true;
}

bool ole_date::import_from_string(const std::string& text) {
  // 1. yyyymmddhhmmss
  if (text.size() == 14 && all_digits(text)) {
    parts_.wYear = static_cast<WORD>(digits_value(text, 0, 4));
    parts_.wMonth = static_cast<WORD>(digits_value(text, 4, 2));
    parts_.wDay = static_cast<WORD>(digits_value(text, 6, 2));
    parts_.wHour = static_cast<WORD>(digits_value(text, 8, 2));
    parts_.wMinute = static_cast<WORD>(digits_value(text, 10, 2));
    parts_.wSecond = static_cast<WORD>(digits_value(text, 12, 2));
    apply_meridiem();
    kind_ = date_time;
    if (is_acceptable()) return true;
    clear();
  }
  // 2. yyyymmdd
  if (text.size() == 8 && all_digits(text)) {
    parts_.wYear = static_cast<WORD>(digits_value(text, 0, 4));
    parts_.wMonth = static_cast<WORD>(digits_value(text, 4, 2));
    parts_.wDay = static_cast<WORD>(digits_value(text, 6, 2));
    kind_ = date_only;
    if (is_acceptable()) return true;
    clear();
  }
  // 3. A time alone: h:m:s
  {
    scanner in(text);
    short hour = 0, minute = 0;
    std::string seconds;
    if (in.number(&hour) && in.literal(':') && in.number(&minute) && in.literal(':') && in.word(&seconds) &&
        in.at_end() && hour >= 0 && minute >= 0) {
      parts_.wHour = static_cast<WORD>(hour);
      parts_.wMinute = static_cast<WORD>(minute);
      apply_meridiem();
      kind_ = time_only;
      if (is_valid() && process_milliseconds(seconds.c_str())) return true;
    }
    clear();
  }
  // 4. The platform's date reader. It rounds the seconds itself, so it reads
  // the clock marker too; a time it refuses with the marker (hour 0 or above
  // 12) is read without it and given the marker's hour afterwards.
  {
    const std::wstring wide = tk_from_narrow(text, CP_THREAD_ACP);
    DATE value = 0;
    SYSTEMTIME parts{};
    const wchar_t* clock = meridiem_ == post_meridiem ? L" PM" : meridiem_ == ante_meridiem ? L" AM" : nullptr;
    bool read = clock && SUCCEEDED(VarDateFromStr((wide + clock).c_str(), LOCALE_EN_US, 0, &value));
    const bool marker_read = read;
    if (!read) read = SUCCEEDED(VarDateFromStr(wide.c_str(), LOCALE_EN_US, 0, &value));
    if (read && VariantTimeToSystemTime(value, &parts)) {
      tk_trace(1, "Got datetime using Microsoft API");
      parts_ = parts;
      if (!marker_read) apply_meridiem();
      kind_ = date_time;
      refine_type();
      return true;
    }
  }
  // 5. Year, month and day with '-', '/' or '.', optionally a time.
  const char separators[] = {'-', '/', '.'};
  for (int format = 1; format <= 3; ++format) {
    tk_trace(1, "Trying datetime format #%d", format);
    short items[5] = {};
    std::string seconds;
    bool complete = false;
    const int count = scan_date_time(text, separators[format - 1], items, &seconds, &complete);
    if (!complete || (count != 3 && count != 6) || items[0] < 0 || items[1] < 0 || items[2] < 0) continue;
    parts_.wYear = static_cast<WORD>(items[0]);
    parts_.wMonth = static_cast<WORD>(items[1]);
    parts_.wDay = static_cast<WORD>(items[2]);
    if (count == 3) {
      kind_ = date_only;
      swap_day_and_year();
      if (is_valid()) {
        tk_trace(1, "Format #%d succeeded (3 items)", format);
        return true;
      }
    } else if (items[3] >= 0 && items[4] >= 0) {
      parts_.wHour = static_cast<WORD>(items[3]);
      parts_.wMinute = static_cast<WORD>(items[4]);
      apply_meridiem();
      kind_ = date_time;
      swap_day_and_year();
      if (is_valid() && process_milliseconds(seconds.c_str())) {
        refine_type();
        tk_trace(1, "Format #%d succeeded (6 items)", format);
        return true;
      }
    }
    clear();
  }
  clear();
  tk_trace(2, "Invalid date/time format: '%s'", text.c_str());
  return false;
}

namespace {

// Appends value with at least width digits, zeros in front, as "%0<width>d"
// prints a value from 0 on.
void append_padded(std::string& out, unsigned value, std::size_t width) {
  char digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value);
  if (count < width) out.append(width - count, '0');
  while (count) out += digits[--count];
}

// "a<sep>b<sep>c": a in first_width digits, b and c in two.
void append_three(std::string& out, unsigned a, std::size_t first_width, unsigned b, unsigned c, char sep) {
  append_padded(out, a, first_width);
  out += sep;
  append_padded(out, b, 2);
  out += sep;
  append_padded(out, c, 2);
}

void append_day(std::string& out, const SYSTEMTIME& t) { append_three(out, t.wYear, 4, t.wMonth, t.wDay, '-'); }
void append_time(std::string& out, const SYSTEMTIME& t) { append_three(out, t.wHour, 2, t.wMinute, t.wSecond, ':'); }

}  // namespace

std::string ole_date::to_string() const {
  std::string text;
  const SYSTEMTIME& t = parts_;
  switch (kind_) {
    case date_time:
      append_day(text, t);
      if (t.wHour == 0 && t.wMinute == 0 && t.wSecond == 0 && date_alone_allowed_) break;
      text += ' ';
      append_time(text, t);
      break;
    case date_only:
      append_day(text, t);
      break;
    case time_only:
      text = "0000-00-00 ";
      append_time(text, t);
      break;
    case invalid:
      break;
  }
  return text;
}

std::wstring ole_date::to_wstring() const {
  const std::string text = to_string();
  return std::wstring(text.begin(), text.end());
}

ole_date::ole_date(const VARIANT& value) {
  tk_trace(1, "ole_date::ole_date(VARIANT, vt=%d)", static_cast<int>(value.vt));
  if (value.vt == VT_EMPTY || value.vt == VT_NULL) return;
  if (value.vt != VT_DATE) throw tk_mail_assertion("ole_date", 74);
  SYSTEMTIME parts{};
  if (!VariantTimeToSystemTime(value.date, &parts)) {
    tk_trace(2, "Failed to convert VARIANT->SYSTEMTIME");
    return;
  }
  parts_ = parts;
  kind_ = date_time;
  refine_type();
}

ole_variant ole_date::to_variant() const {
  tk_trace(1, "ole_date::to_variant");
  tk_trace(1, "Construct ole_variant from SYSTEMTIME");
  return ole_variant(parts_);
}
