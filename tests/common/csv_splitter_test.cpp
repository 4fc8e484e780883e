#include "common/csv_splitter.h"

#include "TK/tk_utils.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

using texts = std::vector<std::wstring>;

texts split(std::wstring_view line, wchar_t delim = L',', std::size_t max = 0) {
    texts fields;
    csv_split_result r = csv_split(line, delim, max, fields);
    EXPECT_EQ(r.kept, max == 0 ? r.total : std::min(r.total, max));
    fields.resize(r.kept);
    return fields;
}

TEST(csv_split, quoted_stretches) {
    EXPECT_EQ(split(L"a,\"b,c\",d"), (texts{L"a", L"b,c", L"d"}));
    EXPECT_EQ(split(L"\"\"\"hi\"\"\""), (texts{L"\"hi\""}));
    EXPECT_EQ(split(L"x,\"\",y"), (texts{L"x", L"", L"y"}));
    EXPECT_EQ(split(L"\"\""), (texts{L""}));
    // After the stretch closes the field goes on unquoted.
    EXPECT_EQ(split(L"\"ab\"cd,\"x\" \"y\",\"q\"\"\"z"), (texts{L"abcd", L"x \"y\"", L"q\"z"}));
    // A stretch open at the end of the line ends the field.
    EXPECT_EQ(split(L"a,\"b,c"), (texts{L"a", L"b,c"}));
    // Line breaks inside quotes are data.
    EXPECT_EQ(split(L"1,\"two\nlines\",3"), (texts{L"1", L"two\nlines", L"3"}));
    EXPECT_EQ(split(L"\"say \"\"a\"\"\",b"), (texts{L"say \"a\"", L"b"}));
}

TEST(csv_split, quotes_inside_unquoted_fields_are_data) {
    EXPECT_EQ(split(L"37\u00B036'37.8\"N,x"), (texts{L"37\u00B036'37.8\"N", L"x"}));
    EXPECT_EQ(split(L"x\"y\"z,1"), (texts{L"x\"y\"z", L"1"}));
    // One stray quote opens nothing: the delimiters after it still delimit.
    EXPECT_EQ(split(L"1,12\" ruler,3"), (texts{L"1", L"12\" ruler", L"3"}));
    EXPECT_EQ(split(L"a\"b,c\"d,e"), (texts{L"a\"b", L"c\"d", L"e"}));
    // A doubled quote inside an unquoted field is one quote.
    EXPECT_EQ(split(L"a\"\"b,a\"\"\"b,end\""), (texts{L"a\"b", L"a\"\"b", L"end\""}));
    // Only right after the delimiter does a quote open a stretch.
    EXPECT_EQ(split(L"a; \"b;c\";\"d;e\"", L';'), (texts{L"a", L" \"b", L"c\"", L"d;e"}));
}

TEST(csv_split, counts_and_delimiters) {
    EXPECT_EQ(split(L""), (texts{L""}));
    EXPECT_EQ(split(L","), (texts{L"", L""}));
    EXPECT_EQ(split(L" a , b "), (texts{L" a ", L" b "}));
    EXPECT_EQ(split(L"a;b,c;d", L';'), (texts{L"a", L"b,c", L"d"}));
    EXPECT_EQ(split(L"a\tb c", L'\t'), (texts{L"a", L"b c"}));
    EXPECT_EQ(split(L"a b  c", L' '), (texts{L"a", L"b", L"", L"c"}));
    // More fields than columns are dropped, fewer are not padded.
    EXPECT_EQ(split(L"1,2,3,4,5", L',', 3), (texts{L"1", L"2", L"3"}));
    EXPECT_EQ(split(L"1,2,3,", L',', 3), (texts{L"1", L"2", L"3"}));
    EXPECT_EQ(split(L"1,2", L',', 3), (texts{L"1", L"2"}));
    EXPECT_EQ(split(L"1,\"2,\"\"x\nq\",3,\"4", L',', 2), (texts{L"1", L"2,\"x\nq"}));
}

TEST(csv_split, fields_past_the_limit_are_counted_and_checked_for_text) {
    auto check = [](std::wstring_view line, std::size_t total, bool dropped_text) {
        texts fields;
        csv_split_result r = csv_split(line, L';', 2, fields);
        EXPECT_EQ(r.kept, std::min<std::size_t>(total, 2)) << tk_to_utf8(std::wstring(line));
        EXPECT_EQ(r.total, total) << tk_to_utf8(std::wstring(line));
        EXPECT_EQ(r.dropped_text, dropped_text) << tk_to_utf8(std::wstring(line));
    };
    check(L"1;2", 2, false);
    check(L"1", 1, false);
    check(L"1;2;3;4", 4, true);
    // Empty trailing fields, quoted or not, hold no text.
    check(L"1;2;", 3, false);
    check(L"1;2;;;\"\"", 5, false);
    check(L"1;2;;x;", 5, true);
    // A delimiter inside a dropped quoted field does not count.
    check(L"1;2;\"a;b\"", 3, true);
    check(L"1;\"x;y\";\"\"", 3, false);
}

TEST(csv_split, reuses_its_strings) {
    texts fields;
    ASSERT_EQ(csv_split(L"aaaaaaaaaaaaaaaaaaaaaaaaaaaa,b,c", L',', 0, fields).kept, 3u);
    ASSERT_EQ(csv_split(L"x,y", L',', 0, fields).kept, 2u);
    EXPECT_EQ(fields[0], L"x");
    EXPECT_EQ(fields[1], L"y");
}

}  // namespace
