// Splitting of one CSV line into the texts of its fields.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct csv_split_result {
    std::size_t kept = 0;       // fields stored: the first entries of `fields`
    std::size_t total = 0;      // fields the line has
    bool dropped_text = false;  // a field past max_fields is not empty
};

// Splits `line` at `delimiter` into `fields`; `fields` keeps its strings (and
// their capacity) from call to call, so only the first `kept` entries are valid.
//
// A double quote at the start of a field (at the start of the line or right
// after a delimiter) opens a quoted stretch; inside it a doubled double quote
// is one double quote and a single one closes the stretch, and a delimiter or a
// line break is data. Anywhere else a double quote is an ordinary character,
// except that a doubled one gives one (a""b is a"b). A stretch still open at the
// end of the line ends the field. Nothing is trimmed. With `max_fields` not 0,
// only that many fields are stored: the rest of the line is read for the count
// and to tell whether it holds text.
csv_split_result csv_split(std::wstring_view line, wchar_t delimiter, std::size_t max_fields,
                           std::vector<std::wstring>& fields);
