// Numbers as text the way the Excel driver prints them into a text column: up to
// 15 significant digits, no exponent for ordinary magnitudes, no trailing zeros
// or decimal point. Independent of the locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace jet {

std::string number_text(double value);

// The shortest text that reads back as exactly the same double ("38113.5").
std::string number_text_exact(double value);

// Parses a number as the workbook formats store it ("1.5", "-2E-3"); locale-proof.
std::optional<double> parse_number(std::string_view text);

}  // namespace jet
