// Text in the code pages of the collations (1250, 1251, 1252, 1253, 932,
// ...): what char, varchar and text columns hold. Encoding uses the code
// page's own character where it has one, else a near one (the letter
// without its accent, as Windows's best-fit mappings that SQL Server uses),
// else '?'.
#pragma once

#include <string>
#include <string_view>

namespace tds {

// UTF-16LE bytes into the code page's bytes. `exact`, when given, is set false
// when a character had to be replaced.
std::string encode_code_page(int code_page, std::string_view utf16, bool* exact = nullptr);
// The code page's bytes as UTF-16LE bytes.
std::string decode_code_page(int code_page, std::string_view bytes);

}  // namespace tds
