#include "common/csv_splitter.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The first of [p, e) that is `a` or `b`, or e.
const wchar_t* find_either(const wchar_t* p, const wchar_t* e, wchar_t a, wchar_t b) {
#if defined(__SSE2__) && __SIZEOF_WCHAR_T__ == 4
    const __m128i va = _mm_set1_epi32(static_cast<int>(a));
    const __m128i vb = _mm_set1_epi32(static_cast<int>(b));
    for (; e - p >= 4; p += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int hit = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi32(v, va), _mm_cmpeq_epi32(v, vb)));
        if (hit) return p + __builtin_ctz(static_cast<unsigned>(hit)) / 4;
    }
#endif
    while (p < e && *p != a && *p != b) ++p;
    return p;
}

}  // namespace

csv_split_result csv_split(std::wstring_view line, wchar_t delimiter, std::size_t max_fields,
                           std::vector<std::wstring>& fields) {
    csv_split_result result;
    std::size_t count = 0;  // fields closed so far
    // The fields past max_fields are read into one more entry, over and over.
    auto field = [&]() -> std::wstring& {
        const std::size_t i = max_fields != 0 ? std::min(count, max_fields) : count;
        if (fields.size() <= i) fields.resize(i + 1);
        fields[i].clear();
        return fields[i];
    };
    std::wstring* text = &field();
    bool at_start = true;  // at the start of a field
    bool quoted = false;
    const wchar_t* p = line.data();
    const wchar_t* const e = p + line.size();
    while (p < e) {
        if (quoted) {
            const wchar_t* run = p;
            p = find_either(p, e, L'"', L'"');
            text->append(run, p);
            if (p == e) break;
            if (p + 1 < e && p[1] == L'"') {
                text->push_back(L'"');
                p += 2;
            } else {
                quoted = false;
                ++p;
            }
            continue;
        }
        if (at_start && *p == L'"') {
            quoted = true;
            at_start = false;
            ++p;
            continue;
        }
        at_start = false;
        // Take the run of plain characters at once.
        const wchar_t* run = p;
        p = find_either(p, e, L'"', delimiter);
        text->append(run, p);
        if (p == e) break;
        if (*p == L'"') {
            // Data; a doubled one is one.
            text->push_back(L'"');
            p += p + 1 < e && p[1] == L'"' ? 2 : 1;
            continue;
        }
        // A delimiter closes the field.
        ++p;
        if (max_fields != 0 && count >= max_fields && !text->empty()) result.dropped_text = true;
        ++count;
        text = &field();
        at_start = true;
    }
    if (max_fields != 0 && count >= max_fields && !text->empty()) result.dropped_text = true;
    result.total = count + 1;
    result.kept = max_fields != 0 ? std::min(result.total, max_fields) : result.total;
    return result;
}
