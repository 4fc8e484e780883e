// Names as the Excel driver gives them: tables for worksheets ("Sheet1$", or in
// single quotes "'My Sheet$'" when the name needs them) and for named ranges (the
// name alone), and field names from a header row.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace jet {

// The table name of a worksheet: "Sheet1$"; "'My Sheet$'" when the name holds
// anything but letters, digits and underscores or begins with a digit; a quote
// inside is doubled.
std::string sheet_table_name(std::string_view sheet);

// The worksheet table name inside its quotes, a doubled quote made single:
// "Orders 2024$" for "'Orders 2024$'"; empty for a name without quotes.
std::string unquoted_table_name(std::string_view table);

// Field names for a table's columns from its header texts (empty where the header
// cell is empty). An empty header becomes F and the column's 1-based position; a
// name already taken (case ignored) gets the lowest number from 1 that makes it
// unique. A NUL, which the query engine cannot take in a name, becomes '_'.
// Without a header row pass no texts: every field is F1, F2, ...
std::vector<std::string> field_names(const std::vector<std::string>& headers, std::size_t count);

// Case-insensitive comparison of names (ASCII letters; other characters exactly).
bool same_name(std::string_view a, std::string_view b);

}  // namespace jet
