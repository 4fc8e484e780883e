// The C library dialect of the programs' format texts, written and read in the
// C locale whatever the user's locale is.
//
// Formats follow the printf rules with the dialect's additions:
// - "%I64d", "%I64u", "%I64x" take 64-bit integers ("%I32d" 32-bit);
// - "%ld", "%lu", "%lX" take 32-bit integers (LONG, DWORD) as the dialect's
//   long is; 64-bit values go with "%I64d" or "%lld";
// - "%e", "%E", "%g", "%G" print an exponent of at least three digits
//   (1.5 with "%.15e" prints 1.500000000000000e+000);
// - in a narrow format "%s" is a narrow string and "%S" / "%ls" a wide one;
//   in a wide format "%s" is a wide string and "%S" / "%hs" a narrow one
//   (the same holds for "%c" / "%C"); text changes width through the ANSI code page;
// - a null string prints "(null)"; "%n" writes nothing.
// The decimal point is always '.', never the user's decimal comma.
#pragma once

#include <cstdarg>
#include <string>

namespace kernel {

std::string vformat(const char* format, va_list args);
std::wstring vformat(const wchar_t* format, va_list args);
std::string format(const char* format, ...);
std::wstring format(const wchar_t* format, ...);

// A double as "%.<precision>e" prints it in the dialect: "1.500000000000000e+000".
std::string format_exponent(double value, int precision = 15);

// strtod / wcstod in the C locale.
double strtod_c(const char* text, char** end);
double wcstod_c(const wchar_t* text, wchar_t** end);

}  // namespace kernel
