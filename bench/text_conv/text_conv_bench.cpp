// Throughput of the text services every record passes through: decoding a
// line from UTF-8 and from Windows-1252, encoding it back, comparing names
// without regard to case, and printing doubles in the C library dialect.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "TK/tk_utils.h"

namespace {

template <class F>
double seconds_of(F&& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
  // A typical CSV line: numbers, dates, a name with accents, about 100 bytes.
  const std::wstring line =
      L"12345;2024-03-01 12:30:00;M\u00fcller-L\u00fcdenscheidt, J\u00f6rg;3.14159;"
      L"Caf\u00e9 cr\u00e8me;EUR \u20ac 1.250,00;some plain ascii text here";
  const std::string utf8 = tk_to_utf8(line);
  const std::string cp1252 = tk_to_narrow(line, 1252);
  const int lines = 1000000;

  std::size_t sink = 0;
  double t = seconds_of([&] {
    for (int i = 0; i < lines; ++i) sink += tk_from_utf8(utf8).size();
  });
  std::printf("BENCH text_utf8_decode_mb_per_s %.0f MB/s target >= 150\n", utf8.size() * lines / t / 1e6);

  t = seconds_of([&] {
    for (int i = 0; i < lines; ++i) sink += tk_from_narrow(cp1252, 1252).size();
  });
  std::printf("BENCH text_cp1252_decode_mb_per_s %.0f MB/s target >= 40\n", cp1252.size() * lines / t / 1e6);

  t = seconds_of([&] {
    for (int i = 0; i < lines; ++i) sink += tk_to_narrow(line, 1252).size();
  });
  std::printf("BENCH text_cp1252_encode_mb_per_s %.0f MB/s target >= 40\n", cp1252.size() * lines / t / 1e6);

  std::vector<std::wstring> names = {L"CustomerID", L"customerid", L"Stra\u00dfe", L"ORDER_DATE", L"order_date",
                                     L"\u00c4nderung", L"\u00e4nderung", L"Total"};
  const int compares = 1000000;
  t = seconds_of([&] {
    for (int i = 0; i < compares; ++i) sink += tk_wcompare_nocase(names[i % 8], names[(i + 1) % 8]) == 0;
  });
  std::printf("BENCH text_compare_nocase_per_s %.0f compares/s target >= 1000000\n", compares / t);

  const int doubles = 1000000;
  t = seconds_of([&] {
    for (int i = 0; i < doubles; ++i) sink += tk_format_double_e(i * 1.000001).size();
  });
  std::printf("BENCH text_format_double_per_s %.0f values/s target >= 1000000\n", doubles / t);
  return sink == 0;
}
