#include "platform/dao/number_format.h"

#include <string_view>

#include "platform/dao/serial_date.h"

namespace jet {

format_class builtin_format_class(int id) {
  if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47)) return format_class::time;
  if ((id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58) ||
      (id >= 71 && id <= 81))
    return format_class::date;
  if ((id >= 5 && id <= 8) || id == 42 || id == 44 || (id >= 63 && id <= 66)) return format_class::currency;
  return format_class::number;
}

namespace {

// $, €, £, ¥ (UTF-8)
bool is_currency_symbol(std::string_view text) {
  return text == "$" || text == "\xE2\x82\xAC" || text == "\xC2\xA3" || text == "\xC2\xA5";
}

constexpr std::string_view general = "general";

// The keyword General at the start of text, in any case.
bool is_general(std::string_view text) {
  if (text.size() < general.size()) return false;
  for (std::size_t i = 0; i < general.size(); ++i)
    if ((text[i] | 0x20) != general[i]) return false;
  return true;
}

}  // namespace

format_class custom_format_class(std::string_view code) {
  bool date = false;
  bool day_part = false;  // d, y or an era: the format shows a calendar date
  bool clock = false;     // h or s: the format shows a time
  bool currency = false;
  bool digits = false;    // a digit placeholder seen: E+ and E- after it are an exponent
  for (std::size_t i = 0; i < code.size(); ++i) {
    char c = code[i];
    switch (c) {
      case '"': {
        std::size_t close = code.find('"', i + 1);
        std::string_view quoted = code.substr(i + 1, close == std::string_view::npos ? std::string_view::npos
                                                                                      : close - i - 1);
        // "$"#,##0.00 is how Excel writes its own currency formats.
        if (is_currency_symbol(quoted)) currency = true;
        i = close == std::string_view::npos ? code.size() : close;
        break;
      }
      case '\\':
      case '_':
      case '*':
        ++i;  // the next character is a literal or a padding
        break;
      case '[': {
        std::size_t close = code.find(']', i + 1);
        std::string_view inside = code.substr(i + 1, close == std::string_view::npos ? std::string_view::npos
                                                                                      : close - i - 1);
        if (!inside.empty() && inside[0] == '$') {
          // [$€-407]: a currency symbol with a locale; [$-409] is a locale alone.
          if (inside.size() > 1 && inside[1] != '-') currency = true;
        } else if (!inside.empty()) {
          char first = inside[0];
          if (first == 'h' || first == 'H' || first == 'm' || first == 'M' || first == 's' || first == 'S') {
            bool elapsed = true;
            for (char x : inside) elapsed = elapsed && (x == first || x == (first ^ 0x20));
            date = date || elapsed;
            clock = clock || elapsed;
          }
        }
        i = close == std::string_view::npos ? code.size() : close;
        break;
      }
      case 'G': case 'g':
        // General, and G/ that begins its name in East Asian versions of Excel (G/標準).
        if (is_general(code.substr(i))) {
          i += general.size() - 1;
        } else if (i + 1 < code.size() && code[i + 1] == '/') {
          ++i;
        } else {
          day_part = date = true;  // the name of an era
        }
        break;
      case 'E': case 'e':
        if (digits && i + 1 < code.size() && (code[i + 1] == '+' || code[i + 1] == '-')) break;
        [[fallthrough]];
      case 'd': case 'D': case 'y': case 'Y': case 'b': case 'B':
        // e and b are the years of an era and of the Buddhist calendar.
        day_part = true;
        date = true;
        break;
      case '0': case '#': case '?':
        digits = true;
        break;
      case 'h': case 'H': case 's': case 'S':
        clock = true;
        date = true;
        break;
      case 'm': case 'M':
        date = true;
        break;
      case '$':
        currency = true;
        break;
      case ';':
        // Only the first section decides; the others repeat it for negatives and zero.
        i = code.size();
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x80) {
          std::string_view rest = code.substr(i);
          for (std::string_view symbol : {"\xE2\x82\xAC", "\xC2\xA3", "\xC2\xA5"})
            if (rest.starts_with(symbol)) currency = true;
        }
        break;
    }
  }
  if (date) return clock && !day_part ? format_class::time : format_class::date;
  if (currency) return format_class::currency;
  return format_class::number;
}

void set_number_cell(cell& c, double number, format_class cls, bool date1904) {
  c.currency = false;
  if (cls == format_class::date || cls == format_class::time) {
    // Below 1 a serial is a time alone, except in the 1904 system under a
    // format that shows the day: that is 1904-01-01.
    double date = date1904 && cls == format_class::date && number < 1 ? number + 1462
                                                                       : serial_to_ole_date(number, date1904);
    if (number >= 0 && date < max_ole_date) {
      c.kind = cell_kind::date;
      c.number = date;
      return;
    }
  }
  c.kind = cell_kind::number;
  c.number = number;
  c.currency = cls == format_class::currency;
}

}  // namespace jet
