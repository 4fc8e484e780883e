#include "common/csv_decode.h"

#include <cstdint>

namespace {

bool is_ascii(std::string_view bytes) {
    unsigned char any = 0;
    for (unsigned char c : bytes) any |= c;
    return any < 0x80;
}

// Until the toolkit's code-page conversion is available: UTF-8, with U+FFFD for
// every byte that does not start a valid sequence.
void decode_utf8(std::string_view s, std::wstring& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* e = p + s.size();
    while (p < e) {
        unsigned c = *p;
        if (c < 0x80) { out.push_back(static_cast<wchar_t>(c)); ++p; continue; }
        int n = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        std::uint32_t cp = c & (0x3F >> n);
        bool ok = n > 0 && c < 0xF5 && e - p > n;
        for (int i = 1; ok && i <= n; ++i) {
            if ((p[i] & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (p[i] & 0x3F);
        }
        static constexpr std::uint32_t min[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (cp < min[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))) ok = false;
        if (!ok) { out.push_back(L'\xFFFD'); ++p; continue; }
        out.push_back(static_cast<wchar_t>(cp));
        p += n + 1;
    }
}

}  // namespace

void csv_decode(std::string_view bytes, std::wstring& out) {
    out.clear();
    if (is_ascii(bytes)) {
        out.resize(bytes.size());
        for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<wchar_t>(bytes[i]);
        return;
    }
    decode_utf8(bytes, out);
}
