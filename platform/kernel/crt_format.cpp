#include "platform/kernel/crt_format.h"

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <locale.h>

#include <algorithm>
#include <string_view>

#include "platform/kernel/codepage.h"

namespace kernel {
namespace {

locale_t c_locale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

// Switches the calling thread to the C locale for its lifetime.
class c_locale_scope {
 public:
  c_locale_scope() : old_(uselocale(c_locale())) {}
  ~c_locale_scope() { uselocale(old_); }
  c_locale_scope(const c_locale_scope&) = delete;
  c_locale_scope& operator=(const c_locale_scope&) = delete;

 private:
  locale_t old_;
};

// Widens the exponent of a printed number to three digits, keeping the width.
void widen_exponent(std::string& s, int width) {
  std::size_t e = s.find_first_of("eE");
  if (e == std::string::npos || e + 1 >= s.size() || (s[e + 1] != '+' && s[e + 1] != '-')) return;
  std::size_t digits = e + 2, end = digits;
  while (end < s.size() && s[end] >= '0' && s[end] <= '9') ++end;
  if (end - digits >= 3) return;
  std::string widened = s.substr(0, digits);
  widened.append(end - digits == 1 ? 2 : 1, '0');
  widened.append(s, digits, std::string::npos);
  s.swap(widened);
  // Keep the field width by giving up one pad character when there is one.
  std::size_t grown = end - digits == 1 ? 2 : 1;
  for (std::size_t k = 0; k < grown && static_cast<int>(s.size()) > width; ++k) {
    if (s.front() == ' ')
      s.erase(0, 1);
    else if (s.back() == ' ')
      s.pop_back();
    else
      break;
  }
}

enum class length { none, hh, h, l, ll, L, z, j, t, w };

struct spec {
  std::string flags;
  int width = -1;
  int precision = -1;
  length len = length::none;
  char conv = 0;
};

std::string numeric_format(const spec& s, const char* len) {
  std::string f = "%";
  f += s.flags;
  if (s.width >= 0) f += std::to_string(s.width);
  if (s.precision >= 0) {
    f += '.';
    f += std::to_string(s.precision);
  }
  f += len;
  f += s.conv;
  return f;
}

template <class... T>
std::string print(const std::string& f, T... v) {
  int n = std::snprintf(nullptr, 0, f.c_str(), v...);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), f.c_str(), v...);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

template <class C>
std::basic_string<C> widen_ascii(const std::string& s) {
  return std::basic_string<C>(s.begin(), s.end());
}

// Text of another width, through the ANSI code page.
std::string to_width(std::wstring_view s, char) { return wide_to_multibyte(CP_ACP, s).value_or(std::string()); }
std::wstring to_width(std::string_view s, wchar_t) { return multibyte_to_wide(CP_ACP, s).value_or(std::wstring()); }
std::string to_width(std::string_view s, char) { return std::string(s); }
std::wstring to_width(std::wstring_view s, wchar_t) { return std::wstring(s); }

template <class C>
void append_padded(std::basic_string<C>& out, std::basic_string<C> text, const spec& s) {
  if (s.precision >= 0 && text.size() > static_cast<std::size_t>(s.precision)) text.resize(static_cast<std::size_t>(s.precision));
  std::size_t pad = s.width > 0 && text.size() < static_cast<std::size_t>(s.width) ? s.width - text.size() : 0;
  bool left = s.flags.find('-') != std::string::npos;
  if (!left) out.append(pad, C(' '));
  out += text;
  if (left) out.append(pad, C(' '));
}

template <class C>
int read_int(const C*& p) {
  int v = 0;
  while (*p >= C('0') && *p <= C('9')) {
    if (v < 100000) v = v * 10 + (*p - C('0'));
    ++p;
  }
  return v;
}

template <class C>
std::basic_string<C> format_impl(const C* f, va_list ap) {
  std::basic_string<C> out;
  if (!f) return out;
  c_locale_scope in_c;
  constexpr bool wide_format = sizeof(C) == sizeof(wchar_t);
  while (*f) {
    if (*f != C('%')) {
      out += *f++;
      continue;
    }
    const C* start = f++;
    if (*f == C('%')) {
      out += *f++;
      continue;
    }
    spec s;
    while (*f == C('-') || *f == C('+') || *f == C(' ') || *f == C('#') || *f == C('0')) s.flags += static_cast<char>(*f++);
    if (*f == C('*')) {
      ++f;
      s.width = va_arg(ap, int);
      if (s.width < 0) {
        s.flags += '-';
        s.width = -s.width;
      }
    } else if (*f >= C('0') && *f <= C('9')) {
      s.width = read_int(f);
    }
    if (*f == C('.')) {
      ++f;
      if (*f == C('*')) {
        ++f;
        s.precision = va_arg(ap, int);
        if (s.precision < 0) s.precision = -1;
      } else {
        s.precision = read_int(f);
      }
    }
    if (f[0] == C('I') && f[1] == C('6') && f[2] == C('4')) {
      s.len = length::ll, f += 3;
    } else if (f[0] == C('I') && f[1] == C('3') && f[2] == C('2')) {
      s.len = length::none, f += 3;
    } else if (f[0] == C('I')) {
      s.len = length::z, f += 1;
    } else if (f[0] == C('h') && f[1] == C('h')) {
      s.len = length::hh, f += 2;
    } else if (f[0] == C('h')) {
      s.len = length::h, f += 1;
    } else if (f[0] == C('l') && f[1] == C('l')) {
      s.len = length::ll, f += 2;
    } else if (f[0] == C('l')) {
      s.len = length::l, f += 1;
    } else if (f[0] == C('L') || f[0] == C('q')) {
      s.len = length::L, f += 1;
    } else if (f[0] == C('z')) {
      s.len = length::z, f += 1;
    } else if (f[0] == C('j')) {
      s.len = length::j, f += 1;
    } else if (f[0] == C('t')) {
      s.len = length::t, f += 1;
    } else if (f[0] == C('w')) {
      s.len = length::w, f += 1;
    }
    if (!*f) {
      out.append(start, f);
      break;
    }
    C conv = *f++;
    s.conv = static_cast<char>(conv);
    switch (conv) {
      case C('d'):
      case C('i'): {
        long long v;
        switch (s.len) {
          case length::hh: v = static_cast<signed char>(va_arg(ap, int)); break;
          case length::h: v = static_cast<short>(va_arg(ap, int)); break;
          case length::l: v = va_arg(ap, int); break;  // the dialect's long is 32 bits
          case length::ll: case length::L: v = va_arg(ap, long long); break;
          case length::z: v = va_arg(ap, std::ptrdiff_t); break;
          case length::j: v = va_arg(ap, std::intmax_t); break;
          case length::t: v = va_arg(ap, std::ptrdiff_t); break;
          default: v = va_arg(ap, int); break;
        }
        out += widen_ascii<C>(print(numeric_format(s, "ll"), v));
        break;
      }
      case C('o'):
      case C('u'):
      case C('x'):
      case C('X'): {
        unsigned long long v;
        switch (s.len) {
          case length::hh: v = static_cast<unsigned char>(va_arg(ap, unsigned)); break;
          case length::h: v = static_cast<unsigned short>(va_arg(ap, unsigned)); break;
          case length::l: v = va_arg(ap, unsigned); break;
          case length::ll: case length::L: v = va_arg(ap, unsigned long long); break;
          case length::z: v = va_arg(ap, std::size_t); break;
          case length::j: v = va_arg(ap, std::uintmax_t); break;
          case length::t: v = static_cast<unsigned long long>(va_arg(ap, std::ptrdiff_t)); break;
          default: v = va_arg(ap, unsigned); break;
        }
        out += widen_ascii<C>(print(numeric_format(s, "ll"), v));
        break;
      }
      case C('e'): case C('E'): case C('f'): case C('F'):
      case C('g'): case C('G'): case C('a'): case C('A'): {
        std::string text;
        if (s.len == length::L)
          text = print(numeric_format(s, "L"), va_arg(ap, long double));
        else
          text = print(numeric_format(s, ""), va_arg(ap, double));
        if (conv == C('e') || conv == C('E') || conv == C('g') || conv == C('G')) widen_exponent(text, s.width);
        out += widen_ascii<C>(text);
        break;
      }
      case C('p'):
        out += widen_ascii<C>(print(numeric_format(s, ""), va_arg(ap, void*)));
        break;
      case C('n'):
        (void)va_arg(ap, void*);
        break;
      case C('c'):
      case C('C'): {
        // The character's own width: the format's for %c, the other for %C.
        bool wide_arg = s.len == length::l || s.len == length::w ||
                        (s.len != length::h && (conv == C('c')) == wide_format);
        if (wide_arg) {
          wchar_t ch = static_cast<wchar_t>(va_arg(ap, wint_t));
          append_padded(out, to_width(std::wstring_view(&ch, 1), C()), s);
        } else {
          char ch = static_cast<char>(va_arg(ap, int));
          append_padded(out, to_width(std::string_view(&ch, 1), C()), s);
        }
        break;
      }
      case C('s'):
      case C('S'): {
        bool wide_arg = s.len == length::l || s.len == length::w ||
                        (s.len != length::h && (conv == C('s')) == wide_format);
        if (wide_arg) {
          const wchar_t* p = va_arg(ap, const wchar_t*);
          append_padded(out, to_width(std::wstring_view(p ? p : L"(null)"), C()), s);
        } else {
          const char* p = va_arg(ap, const char*);
          append_padded(out, to_width(std::string_view(p ? p : "(null)"), C()), s);
        }
        break;
      }
      default:
        // Not a conversion: printed as written.
        out.append(start, f);
        break;
    }
  }
  return out;
}

}  // namespace

std::string vformat(const char* format, va_list args) {
  va_list ap;
  va_copy(ap, args);
  std::string out = format_impl(format, ap);
  va_end(ap);
  return out;
}

std::wstring vformat(const wchar_t* format, va_list args) {
  va_list ap;
  va_copy(ap, args);
  std::wstring out = format_impl(format, ap);
  va_end(ap);
  return out;
}

std::string format(const char* f, ...) {
  va_list ap;
  va_start(ap, f);
  std::string out = vformat(f, ap);
  va_end(ap);
  return out;
}

std::wstring format(const wchar_t* f, ...) {
  va_list ap;
  va_start(ap, f);
  std::wstring out = vformat(f, ap);
  va_end(ap);
  return out;
}

std::string format_exponent(double value, int precision) {
  if (precision < 0) precision = 6;
  char buf[512];
  {
    c_locale_scope in_c;
    std::snprintf(buf, sizeof buf, "%.*e", std::min(precision, 400), value);
  }
  std::string text(buf);
  widen_exponent(text, 0);
  return text;
}

double strtod_c(const char* text, char** end) { return strtod_l(text, end, c_locale()); }
double wcstod_c(const wchar_t* text, wchar_t** end) { return wcstod_l(text, end, c_locale()); }

}  // namespace kernel
