#include "common/csv_splitter.h"

#include <algorithm>

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
            while (p < e && *p != L'"') ++p;
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
        while (p < e && *p != L'"' && *p != delimiter) ++p;
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
