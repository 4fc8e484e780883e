#include "platform/kernel/crt_format.h"
#include "platform/kernel/kernel_types.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <locale.h>

namespace {

TEST(CrtFormat, DialectConversions) {
  std::int64_t big = -9000000000LL;
  std::uint64_t ubig = 18000000000ULL;
  EXPECT_EQ(kernel::format("%I64d|%I64u|%I64X|%d", big, ubig, ubig, 7), "-9000000000|18000000000|430E23400|7");
  EXPECT_EQ(kernel::format("%.15e", 1.5), "1.500000000000000e+000");
  EXPECT_EQ(kernel::format("%.6e|%E|%g", -2.5e-7, 1e100, 1e20), "-2.500000e-007|1.000000E+100|1e+020");
  EXPECT_EQ(kernel::format("[%14.3e]", 1.5), "[    1.500e+000]");
  EXPECT_EQ(kernel::format("%s/%ls/%5s/%-3s|%.2s|%c", "a", L"\u00e9", "b", "c", "xyz", 'q'),
            "a/\xc3\xa9/    b/c  |xy|q");
  EXPECT_EQ(kernel::format("%s %d%%", static_cast<const char*>(nullptr), 5), "(null) 5%");
  EXPECT_EQ(kernel::format("%*d|%-*d|%.*f", 4, 1, 3, 2, 2, 3.14159), "   1|2  |3.14");
  EXPECT_EQ(kernel::format("trailing %"), "trailing %");
}

TEST(CrtFormat, LongConversionsTakeThirtyTwoBits) {
  // As in the dialect, "%ld" and "%lu" take the 32-bit LONG and DWORD values
  // that the programs print with them; a negative LONG stays negative.
  const LONG negative = -5;
  const DWORD large = 4000000000u;
  const LONG result = static_cast<LONG>(0x80004005u);
  EXPECT_EQ(kernel::format("%ld|%lu|%08lX|%li", negative, large, result, negative), "-5|4000000000|80004005|-5");
  EXPECT_EQ(kernel::format(L"%ld|%lu", negative, large), L"-5|4000000000");
  EXPECT_EQ(kernel::format("%ld", 123L), "123");  // a long in range reads the same
}

TEST(CrtFormat, WideFormatsTakeWideStrings) {
  EXPECT_EQ(kernel::format(L"%s|%S|%hs|%c|%I64d|%.15e", L"\u4e2d", "n", "h", L'\u00e9', 1LL << 40, 0.1),
            L"\u4e2d|n|h|\u00e9|1099511627776|1.000000000000000e-001");
}

TEST(CrtFormat, NumberTextIgnoresDecimalCommaLocale) {
  // Build a German locale in a private folder; the locale data sources come
  // with the C library's locales package.
  auto dir = std::filesystem::temp_directory_path() / ("orv-locale-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string cmd = "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << "localedef could not build de_DE.UTF-8";
  ::setenv("LOCPATH", dir.c_str(), 1);
  ASSERT_NE(setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
  char plain[32];
  std::snprintf(plain, sizeof plain, "%.1f", 1.5);
  EXPECT_STREQ(plain, "1,5");  // the locale is in force

  EXPECT_EQ(kernel::format("%.2f|%.15e|%g", 1.25, 1.5, 0.5), "1.25|1.500000000000000e+000|0.5");
  EXPECT_EQ(kernel::format(L"%.2f", 1.25), L"1.25");
  EXPECT_EQ(kernel::format_exponent(-1234.5), "-1.234500000000000e+003");
  char* end = nullptr;
  EXPECT_EQ(kernel::strtod_c("2.75xyz", &end), 2.75);
  EXPECT_STREQ(end, "xyz");
  wchar_t* wend = nullptr;
  EXPECT_EQ(kernel::wcstod_c(L"-0.5", &wend), -0.5);

  setlocale(LC_ALL, "C");
  ::unsetenv("LOCPATH");
  std::filesystem::remove_all(dir);
}

}  // namespace
