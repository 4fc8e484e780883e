// Throughput of the value conversions every field of a conversion passes
// through: reading text into numbers, currency, decimals and dates, printing
// values as text, copying them and changing their type.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "OLE/ole_var.h"

namespace {

template <class F>
double seconds_of(F&& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void report(const char* name, int count, double seconds, double target) {
  std::printf("BENCH %s %.0f values/s target >= %.0f\n", name, count / seconds, target);
}

}  // namespace

int main() {
  const int n = 300000;
  std::vector<std::string> numbers, amounts, dates;
  for (int i = 0; i < 1000; ++i) {
    numbers.push_back(std::to_string(i * 7919 - 3000000));
    amounts.push_back(std::to_string(i * 37) + "." + std::to_string(i % 100));
    dates.push_back("2004-" + std::to_string(1 + i % 12) + "-" + std::to_string(1 + i % 28) + " 12:34:56");
  }
  std::size_t sink = 0;
  ole_variant value;

  double t = seconds_of([&] {
    for (int i = 0; i < n; ++i) {
      value.from_string(numbers[i % 1000], VT_I4);
      sink += value.get_vt();
    }
  });
  report("value_int_from_text_per_s", n, t, 2000000);

  t = seconds_of([&] {
    for (int i = 0; i < n; ++i) {
      value.from_string(amounts[i % 1000], VT_DECIMAL);
      sink += value.to_string().size();
    }
  });
  report("value_decimal_text_round_trip_per_s", n, t, 500000);

  t = seconds_of([&] {
    for (int i = 0; i < n; ++i) {
      value.from_string(amounts[i % 1000], VT_R8);
      sink += value.to_string().size();
    }
  });
  report("value_double_text_round_trip_per_s", n, t, 500000);

  t = seconds_of([&] {
    for (int i = 0; i < n; ++i) {
      value.from_string(dates[i % 1000], VT_DATE);
      sink += value.to_string().size();
    }
  });
  report("value_date_text_round_trip_per_s", n, t, 200000);

  t = seconds_of([&] {
    for (int i = 0; i < n; ++i) {
      ole_variant text(numbers[i % 1000]);
      text.change_type(VT_I4);
      sink += text.get_variant().lVal;
    }
  });
  report("value_text_change_to_int_per_s", n, t, 500000);

  const ole_variant text(std::wstring(L"A typical text field of some forty characters"));
  t = seconds_of([&] {
    for (int i = 0; i < n; ++i) {
      ole_variant copy(text);
      sink += copy.to_wstring().size();
    }
  });
  report("value_text_copy_per_s", n, t, 1000000);
  return sink == 0;
}
