// The code page of a text file written on another system, and its decoding.
//
// The text files the programs read (CSV files, the console's worksheet list)
// mostly come from spreadsheet programs on Windows: in the ANSI code page there
// (Windows-1252 for western languages), in UTF-8 with or without a byte-order
// mark, or as "Unicode text" (UTF-16). A file is read
// - in UTF-8 when it starts with a UTF-8 byte-order mark;
// - not at all when it starts with a UTF-16 or UTF-32 byte-order mark: a
//   level-1 tk_exception says what it is and how to save it instead;
// - otherwise in the ANSI code page of the calling thread; except that where
//   that code page is UTF-8 and the file, checked through once before anything
//   is read, is not valid UTF-8, it is read in Windows-1252. Input that cannot
//   be checked ahead (not a regular file) keeps the ANSI code page.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "TK/tk_excep.h"
#include "platform/kernel/kernel_types.h"

constexpr UINT cp_windows_1252 = 1252;

enum class byte_order_mark { none, utf8, utf16le, utf16be, utf32le, utf32be };

// The mark that `head`, the first bytes of a file (four when it has them),
// starts with. FF FE 00 00 is UTF-32LE, not UTF-16LE.
byte_order_mark byte_order_mark_of(std::string_view head);
std::size_t byte_order_mark_size(byte_order_mark mark);

// The number of leading bytes of `bytes` that are whole, valid UTF-8 characters
// (shortest forms, no surrogates, nothing past U+10FFFF). Sets `invalid` when
// the first byte not counted starts no valid character; otherwise the bytes not
// counted (at most three) are the start of a character cut off at the end.
std::size_t utf8_valid_prefix(std::string_view bytes, bool& invalid);

// The code page to read a text file in (see above). `head`: the file's first
// bytes, four when it has them. `regular_fd`: the open file, read through with
// pread (its offset is untouched), or -1 when it is no regular file. `name`
// names the file in the error. A file that cannot be read through keeps the ANSI
// code page: the reading itself then reports the error.
UINT text_code_page(std::string_view head, int regular_fd, const std::wstring& name);

// The same for a file given by its path (the console's worksheet list). Raises
// a level-1 tk_exception when it cannot be opened or read; input that is no
// regular file is not read here and keeps the ANSI code page.
UINT text_file_code_page(const std::wstring& path);

// A level-1 error of a file: `what` followed by the path and the system's text
// for the C library error `err`.
tk_exception file_error(const wchar_t* what, const std::wstring& path, int err);

// Decodes `bytes` from the code page `cp` (a code page number, not CP_ACP or
// CP_THREAD_ACP) into `out` (its contents replaced, its
// capacity kept). Windows-1252 maps every byte, the five it leaves undefined to
// the C1 controls of the same value, as Windows does; in other code pages bytes
// that are invalid become U+FFFD. Pure ASCII, the common case, is widened
// directly.
void decode_text(std::string_view bytes, UINT cp, std::wstring& out);
