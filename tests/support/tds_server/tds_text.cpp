// UTF-8, UTF-16LE and Windows-1252 conversions.
#include "tests/support/tds_server/tds_wire.h"

namespace tds {

namespace {

void put_u16(std::string& out, uint32_t u) {
  out.push_back(static_cast<char>(u & 0xFF));
  out.push_back(static_cast<char>(u >> 8));
}

void put_utf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Windows-1252 0x80-0x9F; 0 where the code page has no character.
const uint16_t cp1252_high[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

}  // namespace

std::string utf8_to_utf16(std::string_view s) {
  std::string out;
  out.reserve(s.size() * 2);
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    uint32_t c = 0xFFFD;
    std::size_t n = 1;
    if (b < 0x80) {
      c = b;
    } else {
      const int extra = b >= 0xC2 && b < 0xE0 ? 1 : b >= 0xE0 && b < 0xF0 ? 2 : b >= 0xF0 && b < 0xF5 ? 3 : 0;
      uint32_t v = b & (0x3F >> extra);
      bool ok = extra > 0 && i + static_cast<std::size_t>(extra) < s.size();
      for (int k = 1; ok && k <= extra; ++k) {
        const auto cb = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
        ok = (cb & 0xC0) == 0x80;
        v = (v << 6) | (cb & 0x3F);
      }
      const uint32_t min = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
      if (ok && v >= min && v <= 0x10FFFF && !(v >= 0xD800 && v < 0xE000)) {
        c = v;
        n = static_cast<std::size_t>(extra) + 1;
      }
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      put_u16(out, 0xD800 + (c >> 10));
      put_u16(out, 0xDC00 + (c & 0x3FF));
    } else {
      put_u16(out, c);
    }
    i += n;
  }
  return out;
}

std::string utf16_to_utf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  const std::size_t units = s.size() / 2;
  auto unit = [&](std::size_t k) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[2 * k]) | (static_cast<unsigned char>(s[2 * k + 1]) << 8));
  };
  for (std::size_t k = 0; k < units; ++k) {
    uint32_t c = unit(k);
    if (c >= 0xD800 && c < 0xDC00 && k + 1 < units) {
      const uint32_t lo = unit(k + 1);
      if (lo >= 0xDC00 && lo < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        ++k;
      }
    }
    put_utf8(out, c);
  }
  return out;
}

std::string cp1252_to_utf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    uint32_t c = b;
    if (b >= 0x80 && b < 0xA0) c = cp1252_high[b - 0x80] ? cp1252_high[b - 0x80] : b;
    put_utf8(out, c);
  }
  return out;
}

bool utf8_to_cp1252(std::string_view utf8, std::string& out) {
  const std::string u16 = utf8_to_utf16(utf8);
  out.clear();
  out.reserve(u16.size() / 2);
  bool ok = true;
  for (std::size_t k = 0; k + 1 < u16.size(); k += 2) {
    const uint32_t c = static_cast<unsigned char>(u16[k]) | (static_cast<unsigned char>(u16[k + 1]) << 8);
    if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    int found = -1;
    for (int i = 0; i < 32; ++i) {
      if (cp1252_high[i] == c) found = i;
    }
    if (found < 0) {
      out.push_back('?');
      ok = false;
    } else {
      out.push_back(static_cast<char>(0x80 + found));
    }
  }
  return ok;
}

}  // namespace tds
