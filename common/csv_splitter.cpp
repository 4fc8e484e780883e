#include "common/csv_splitter.h"

std::size_t csv_split(std::wstring_view line, wchar_t delimiter, std::size_t max_fields,
                      std::vector<std::wstring>& fields) {
    std::size_t count = 0;
    auto field = [&]() -> std::wstring& {
        if (fields.size() <= count) fields.emplace_back();
        return fields[count];
    };
    field().clear();
    bool quoted = false;
    const wchar_t* p = line.data();
    const wchar_t* const e = p + line.size();
    while (p < e) {
        // Take the run of plain characters at once.
        const wchar_t* run = p;
        if (quoted) {
            while (p < e && *p != L'"') ++p;
        } else {
            while (p < e && *p != L'"' && *p != delimiter) ++p;
        }
        if (p != run) fields[count].append(run, p);
        if (p == e) break;
        if (*p == L'"') {
            if (quoted && p + 1 < e && p[1] == L'"') {
                fields[count].push_back(L'"');
                p += 2;
            } else {
                quoted = !quoted;
                ++p;
            }
            continue;
        }
        // A delimiter outside quotes closes the field.
        ++p;
        ++count;
        if (max_fields != 0 && count == max_fields) return count;
        field().clear();
    }
    return count + 1;
}
