#include "common/csv_decode.h"
#include "common/csv_splitter.h"
#include "platform/kernel/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using texts = std::vector<std::wstring>;

texts split(std::wstring_view line, wchar_t delim = L',', std::size_t max = 0) {
    texts fields;
    std::size_t n = csv_split(line, delim, max, fields);
    fields.resize(n);
    return fields;
}

TEST(csv_split, quoted_stretches) {
    EXPECT_EQ(split(L"a,\"b,c\",d"), (texts{L"a", L"b,c", L"d"}));
    EXPECT_EQ(split(L"\"\"\"hi\"\"\""), (texts{L"\"hi\""}));
    EXPECT_EQ(split(L"x,\"\",y"), (texts{L"x", L"", L"y"}));
    EXPECT_EQ(split(L"\"\""), (texts{L""}));
    // A quote inside an unquoted field opens a stretch there.
    EXPECT_EQ(split(L"a\"b,c\"d,e"), (texts{L"ab,cd", L"e"}));
    // A stretch open at the end of the line ends the field.
    EXPECT_EQ(split(L"a,\"b,c"), (texts{L"a", L"b,c"}));
    // Line breaks inside quotes are data.
    EXPECT_EQ(split(L"1,\"two\nlines\",3"), (texts{L"1", L"two\nlines", L"3"}));
    EXPECT_EQ(split(L"\"say \"\"a\"\"\",b"), (texts{L"say \"a\"", L"b"}));
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

TEST(csv_split, reuses_its_strings) {
    texts fields;
    ASSERT_EQ(csv_split(L"aaaaaaaaaaaaaaaaaaaaaaaaaaaa,b,c", L',', 0, fields), 3u);
    ASSERT_EQ(csv_split(L"x,y", L',', 0, fields), 2u);
    EXPECT_EQ(fields[0], L"x");
    EXPECT_EQ(fields[1], L"y");
}

// Sets the calling thread's ANSI code page for one test.
class thread_code_page {
public:
    explicit thread_code_page(UINT cp) { EXPECT_TRUE(kernel::set_thread_code_page(cp)); }
    ~thread_code_page() { kernel::set_thread_code_page(0); }
};

TEST(csv_decode, thread_code_page) {
    thread_code_page utf8(CP_UTF8);
    std::wstring out = L"old";
    csv_decode("plain,text\t1", out);
    EXPECT_EQ(out, L"plain,text\t1");
    csv_decode(std::string_view("a\0b", 3), out);
    EXPECT_EQ(out, std::wstring(L"a\0b", 3));
    csv_decode("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", out);
    EXPECT_EQ(out, L"\u00E9t\u00E9 \u20AC \U0001F600");
    csv_decode("a\xFF" "b\xC3", out);
    EXPECT_EQ(out, L"a\uFFFDb\uFFFD");
    {
        thread_code_page latin(1252);
        csv_decode("caf\xE9 \x80", out);
        EXPECT_EQ(out, L"caf\u00E9 \u20AC");
    }
}

}  // namespace
