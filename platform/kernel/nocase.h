// Comparison of texts without regard to case, by the user's locale.
#pragma once

#include <string>
#include <string_view>

namespace kernel {

// -1, 0 or 1. Letters that differ only in case compare equal; accents and
// other letters compare by the collation of the user's locale (LC_ALL,
// LC_COLLATE or LANG; the root collation for C and POSIX).
int compare_nocase(std::wstring_view a, std::wstring_view b);

// A key of the text under the same comparison: two texts compare equal exactly
// when their keys are equal, so that many names can be looked up in a set.
std::string nocase_key(std::wstring_view text);

// The simple case folding of a code point (Unicode's, the same in every locale):
// 'A' and 'a' give 'a', U+00C9 gives U+00E9.
char32_t fold_case(char32_t c);

}  // namespace kernel
