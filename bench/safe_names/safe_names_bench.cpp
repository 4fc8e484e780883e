// Safe names when many long names share the prefix they are cut to: the used
// names hold that prefix with the numbers 00000 up, as a table of many such
// columns leaves them, and each call finds the next free number.
#include <chrono>
#include <cstdio>
#include <string>

#include "UDB/udb_vali.h"

namespace {

// Names per second with that many numbered names already taken.
double names_per_second(std::size_t taken) {
  udb_validator v(64);
  const std::wstring prefix(58, L'c');
  v.used_names().push_back(prefix + L"ccccc");
  wchar_t digits[8];
  for (std::size_t i = 0; i < taken; ++i) {
    std::swprintf(digits, 8, L"%05zu", i);
    v.used_names().push_back(prefix + digits);
  }
  const std::wstring name(80, L'c');
  std::size_t calls = 0, sink = 0;
  auto start = std::chrono::steady_clock::now();
  double seconds = 0;
  while (seconds < 0.5) {
    sink += v.get_safe_name(name).size();
    ++calls;
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  return sink ? calls / seconds : 0;
}

}  // namespace

int main() {
  std::printf("BENCH safe_names_100_collisions_per_s %.0f names/s target >= 10000\n", names_per_second(100));
  std::printf("BENCH safe_names_2000_collisions_per_s %.0f names/s target >= 500\n", names_per_second(2000));
  return 0;
}
