#include "common/text_code_page.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "TK/tk_excep.h"
#include "TK/tk_utils.h"
#include "platform/kernel/codepage.h"
#include "platform/kernel/last_error.h"

namespace {

// Windows-1252 from 0x80 to 0x9F; the bytes above are ISO-8859-1. 0x81, 0x8D,
// 0x8F, 0x90 and 0x9D are undefined and map to the C1 controls, as on Windows.
constexpr wchar_t cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool is_ascii(std::string_view bytes) {
    unsigned char any = 0;
    for (unsigned char c : bytes) any |= c;
    return any < 0x80;
}

// Reads the whole regular file with pread and tells whether it is valid UTF-8.
// A read that fails ends the check as "valid": the reader keeps the ANSI code
// page and meets the same failure itself.
bool file_is_utf8(int fd) {
    constexpr std::size_t chunk = 256 * 1024;
    std::unique_ptr<char[]> buf(new char[chunk + 4]);
    std::size_t kept = 0;  // bytes of a character cut off at the end of the last chunk
    off_t offset = 0;
    for (;;) {
        ssize_t n = ::pread(fd, buf.get() + kept, chunk, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return true;
        if (n == 0) return kept == 0;
        offset += n;
        std::size_t size = kept + static_cast<std::size_t>(n);
        bool invalid = false;
        std::size_t valid = utf8_valid_prefix(std::string_view(buf.get(), size), invalid);
        if (invalid) return false;
        kept = size - valid;
        std::memmove(buf.get(), buf.get() + valid, kept);
    }
}

std::wstring wide_text_kind(byte_order_mark mark) {
    return mark == byte_order_mark::utf16le || mark == byte_order_mark::utf16be ? L"UTF-16" : L"UTF-32";
}

}  // namespace

byte_order_mark byte_order_mark_of(std::string_view head) {
    auto starts = [&](std::string_view mark) { return head.substr(0, mark.size()) == mark; };
    using namespace std::string_view_literals;
    if (starts("\xEF\xBB\xBF"sv)) return byte_order_mark::utf8;
    if (starts("\xFF\xFE\x00\x00"sv)) return byte_order_mark::utf32le;
    if (starts("\x00\x00\xFE\xFF"sv)) return byte_order_mark::utf32be;
    if (starts("\xFF\xFE"sv)) return byte_order_mark::utf16le;
    if (starts("\xFE\xFF"sv)) return byte_order_mark::utf16be;
    return byte_order_mark::none;
}

std::size_t byte_order_mark_size(byte_order_mark mark) {
    switch (mark) {
        case byte_order_mark::none: return 0;
        case byte_order_mark::utf8: return 3;
        case byte_order_mark::utf16le:
        case byte_order_mark::utf16be: return 2;
        case byte_order_mark::utf32le:
        case byte_order_mark::utf32be: return 4;
    }
    return 0;
}

std::size_t utf8_valid_prefix(std::string_view bytes, bool& invalid) {
    invalid = false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // ASCII 32 bytes at a time, then eight.
        constexpr std::uint64_t high_bits = 0x8080808080808080ull;
        while (i + 32 <= n) {
            std::uint64_t w[4];
            std::memcpy(w, p + i, 32);
            if ((w[0] | w[1] | w[2] | w[3]) & high_bits) break;
            i += 32;
        }
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            if (word & high_bits) break;
            i += 8;
        }
        while (i < n && p[i] < 0x80) ++i;
        if (i == n) break;
        const unsigned char c = p[i];
        std::size_t len;
        unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) low = 0xA0;   // no overlong forms
            if (c == 0xED) high = 0x9F;  // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;  // nothing past U+10FFFF
        } else {
            invalid = true;
            return i;
        }
        for (std::size_t k = 1; k < len; ++k) {
            if (i + k == n) return i;  // cut off at the end
            const unsigned char b = p[i + k];
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) {
                invalid = true;
                return i;
            }
        }
        i += len;
    }
    return i;
}

UINT text_code_page(std::string_view head, int regular_fd, const std::wstring& name) {
    const byte_order_mark mark = byte_order_mark_of(head);
    if (mark == byte_order_mark::utf8) return CP_UTF8;
    if (mark != byte_order_mark::none) {
        const std::wstring kind = wide_text_kind(mark);
        throw tk_exception(L"The file " + name + L" is " + kind + L" text (it starts with a " + kind +
                               L" byte-order mark) and cannot be read. Save it again as UTF-8 text (\"CSV UTF-8\" "
                               L"for a CSV file) or as text in the ANSI code page (\"CSV\"), then try again.",
                           1);
    }
    const UINT ansi = kernel::thread_code_page();
    if (ansi != CP_UTF8 || regular_fd < 0) return ansi;
    return file_is_utf8(regular_fd) ? CP_UTF8 : cp_windows_1252;
}

tk_exception file_error(const wchar_t* what, const std::wstring& path, int err) {
    std::wstring message = what + path;
    if (auto reason = kernel::system_message(kernel::error_from_errno(err))) {
        while (!reason->empty() && (reason->back() == '\n' || reason->back() == '\r')) reason->pop_back();
        message += L": " + tk_from_narrow(*reason, CP_THREAD_ACP);
    }
    return tk_exception(message, 1);
}

UINT text_file_code_page(const std::wstring& path) {
    const std::string narrow = tk_to_path(path);
    int fd;
    do {
        fd = ::open(narrow.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw file_error(L"Cannot open file ", path, errno);
    struct closer {
        int fd;
        ~closer() { ::close(fd); }
    } close_it{fd};
    struct stat st {};
    // Input that is no regular file cannot be looked at ahead without taking
    // bytes away from the reading itself.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return kernel::thread_code_page();
    char head[4];
    std::size_t got = 0;
    while (got < sizeof head) {
        ssize_t n = ::pread(fd, head + got, sizeof head - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw file_error(L"Error reading file ", path, errno);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return text_code_page(std::string_view(head, got), fd, path);
}

namespace {

// Decodes valid UTF-8 into `out`, keeping its capacity; false (and `out`
// undefined) at the first byte that starts no valid character.
bool decode_valid_utf8(std::string_view bytes, std::wstring& out) {
    bool invalid = false;
    if (utf8_valid_prefix(bytes, invalid) != bytes.size()) return false;
    out.resize(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const e = p + bytes.size();
    std::size_t n = 0;
    while (p < e) {
        const unsigned char c = *p;
        if (c < 0x80) {
            out[n++] = static_cast<wchar_t>(c);
            ++p;
        } else if (c < 0xE0) {
            out[n++] = static_cast<wchar_t>(((c & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
        } else if (c < 0xF0) {
            out[n++] = static_cast<wchar_t>(((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            p += 3;
        } else {
            out[n++] = static_cast<wchar_t>(((c & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) |
                                            (p[3] & 0x3F));
            p += 4;
        }
    }
    out.resize(n);
    return true;
}

}  // namespace

void decode_text(std::string_view bytes, UINT cp, std::wstring& out) {
    if (is_ascii(bytes)) {
        out.resize(bytes.size());
        for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<wchar_t>(bytes[i]);
        return;
    }
    if (cp == cp_windows_1252) {
        out.resize(bytes.size());
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const auto c = static_cast<unsigned char>(bytes[i]);
            out[i] = c >= 0x80 && c < 0xA0 ? cp1252_high[c - 0x80] : static_cast<wchar_t>(c);
        }
        return;
    }
    if (cp == CP_UTF8 && decode_valid_utf8(bytes, out)) return;
    out = tk_from_narrow(bytes, cp);
}
