// Splitting of one CSV line into the texts of its fields.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Splits `line` at `delimiter` into `fields` and returns how many fields the
// line has; `fields` keeps its strings (and their capacity) from call to call,
// so only the first returned entries are valid.
//
// Outside a quoted stretch a double quote opens one; inside, a doubled double
// quote is one double quote and a single one closes the stretch. Quotes are
// never part of a field otherwise; a delimiter or a line break inside a stretch
// is data. A stretch still open at the end of the line ends the field. Nothing
// is trimmed. With `max_fields` not 0, the line is read up to that many fields
// and the rest is dropped.
std::size_t csv_split(std::wstring_view line, wchar_t delimiter, std::size_t max_fields,
                      std::vector<std::wstring>& fields);
