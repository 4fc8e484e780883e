// Code pages and the conversions between wide text and multibyte text.
//
// Wide strings are std::wstring; wchar_t holds one Unicode scalar value (UTF-32).
// The system's ANSI code page is the codeset of the user's locale (LC_ALL,
// LC_CTYPE or LANG from the environment), UTF-8 when that locale is C or POSIX.
// The calling thread's ANSI code page is the system's unless the thread sets one.
//
// Conversions never fail on content: a character the code page cannot hold
// becomes '?', a byte sequence that is invalid in the code page becomes U+FFFD.
// They fail (nothing) only for a code page this system does not know.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/kernel/kernel_types.h"

namespace kernel {

// The number of the system's ANSI code page (65001 for UTF-8, 1252 for
// Windows-1252, 28591 for ISO-8859-1, ...; a locale codeset without a number
// of its own gets one above 0xF000).
UINT system_code_page();
// The ANSI code page of the calling thread.
UINT thread_code_page();

// Sets the ANSI code page of the calling thread (0 returns to the system's).
// False, and nothing changed, for an unknown code page.
bool set_thread_code_page(UINT cp);
// Sets the system's ANSI code page for the rest of the process, in place of the
// locale's codeset (0 returns to the locale's). For tests and start-up code.
bool set_system_code_page(UINT cp);

// The codeset name (as iconv knows it) of a code page; CP_ACP, CP_OEMCP and
// CP_THREAD_ACP resolve to the system's and the thread's. Empty when unknown.
std::string codeset_name(UINT cp);
bool is_valid_code_page(UINT cp);

std::optional<std::string> wide_to_multibyte(UINT cp, std::wstring_view text);
std::optional<std::wstring> multibyte_to_wide(UINT cp, std::string_view text);

// File names, which are bytes: widened in the code page, a byte that is no part
// of a character of it (Latin-1 bytes under UTF-8) is kept in the wide name as
// U+DC00 plus the byte, so that the name narrows back to the very bytes given.
// Such a name shows U+FFFD where it is shown as text.
std::wstring path_to_wide(UINT cp, std::string_view bytes);
std::string wide_to_path(UINT cp, std::wstring_view name);

// UTF-8, sized exactly; characters outside the BMP take four bytes.
std::string wide_to_utf8(std::wstring_view text);
std::wstring utf8_to_wide(std::string_view text);

// Wide text as UTF-16 code units, and back (unpaired surrogates become U+FFFD).
std::u16string wide_to_utf16(std::wstring_view text);
std::wstring utf16_to_wide(std::u16string_view text);

}  // namespace kernel
