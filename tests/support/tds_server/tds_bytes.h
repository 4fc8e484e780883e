// Little-endian byte helpers shared by the conversions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tds {

inline std::string le_bytes(uint64_t v, int n) {
  std::string b(static_cast<std::size_t>(n), '\0');
  for (int i = 0; i < n; ++i) b[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return b;
}

inline uint64_t le_value(std::string_view b, std::size_t from, std::size_t n) {
  uint64_t v = 0;
  for (std::size_t i = n; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(b[from + i]);
  return v;
}

inline int64_t pow10_i64(int n) {
  int64_t v = 1;
  for (int i = 0; i < n; ++i) v *= 10;
  return v;
}

// Bytes of the time part of time(n), datetime2(n) and datetimeoffset(n).
inline int time_length(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

}  // namespace tds
