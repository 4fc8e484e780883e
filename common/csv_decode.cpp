#include "common/csv_decode.h"

#include "TK/tk_utils.h"

namespace {

bool is_ascii(std::string_view bytes) {
    unsigned char any = 0;
    for (unsigned char c : bytes) any |= c;
    return any < 0x80;
}

}  // namespace

void csv_decode(std::string_view bytes, std::wstring& out) {
    if (is_ascii(bytes)) {
        out.resize(bytes.size());
        for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<wchar_t>(bytes[i]);
        return;
    }
    out = tk_from_narrow(bytes, CP_THREAD_ACP);
}
