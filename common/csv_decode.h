// Decoding of the bytes of a CSV line into wide text.
#pragma once

#include <string>
#include <string_view>

// Decodes `bytes` from the ANSI code page of the calling thread into `out`
// (replacing its contents, keeping its capacity). Bytes that are invalid in the
// code page become U+FFFD. Pure ASCII, the common case, is widened directly.
void csv_decode(std::string_view bytes, std::wstring& out);
