#include "common/text_code_page.h"

#include "TK/tk_excep.h"
#include "TK/tk_utils.h"
#include "platform/kernel/codepage.h"
#include "tests/common/csv_test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// Sets the calling thread's ANSI code page for one test.
class thread_code_page {
public:
    explicit thread_code_page(UINT cp) { EXPECT_TRUE(kernel::set_thread_code_page(cp)); }
    ~thread_code_page() { kernel::set_thread_code_page(0); }
};

std::wstring decode(std::string_view bytes, UINT cp) {
    std::wstring out = L"old";
    decode_text(bytes, cp, out);
    return out;
}

// What Windows makes of the bytes 0x80 to 0xFF in Windows-1252.
std::wstring cp1252_high() {
    std::wstring text =
        L"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u008D\u017D\u008F"
        L"\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D\u017E\u0178";
    for (wchar_t c = 0xA0; c <= 0xFF; ++c) text += c;
    return text;
}

TEST(text_code_page, byte_order_marks) {
    using namespace std::string_view_literals;
    EXPECT_EQ(byte_order_mark_of("\xEF\xBB\xBFid"sv), byte_order_mark::utf8);
    EXPECT_EQ(byte_order_mark_of("\xFF\xFE\x00\x00"sv), byte_order_mark::utf32le);
    EXPECT_EQ(byte_order_mark_of("\xFF\xFEi\x00"sv), byte_order_mark::utf16le);
    EXPECT_EQ(byte_order_mark_of("\xFF\xFE"sv), byte_order_mark::utf16le);
    EXPECT_EQ(byte_order_mark_of("\xFE\xFF\x00i"sv), byte_order_mark::utf16be);
    EXPECT_EQ(byte_order_mark_of("\x00\x00\xFE\xFF"sv), byte_order_mark::utf32be);
    EXPECT_EQ(byte_order_mark_of("\xEF\xBB"sv), byte_order_mark::none);
    EXPECT_EQ(byte_order_mark_of("\x00\x00\xFE"sv), byte_order_mark::none);
    EXPECT_EQ(byte_order_mark_of(""sv), byte_order_mark::none);
    EXPECT_EQ(byte_order_mark_size(byte_order_mark::utf32le), 4u);
    EXPECT_EQ(byte_order_mark_size(byte_order_mark::utf8), 3u);
}

TEST(text_code_page, utf8_validity) {
    auto prefix = [](std::string_view bytes, bool expect_invalid) {
        bool invalid = !expect_invalid;
        std::size_t n = utf8_valid_prefix(bytes, invalid);
        EXPECT_EQ(invalid, expect_invalid) << testing::PrintToString(std::string(bytes));
        return n;
    };
    EXPECT_EQ(prefix("plain ascii text, longer than eight bytes", false), std::strlen("plain ascii text, longer than eight bytes"));
    EXPECT_EQ(prefix("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBF \xF4\x8F\xBF\xBF", false), 23u);
    // Cut off at the end: the start of the character is not counted, and not invalid.
    EXPECT_EQ(prefix("abcdefgh\xF0\x9F\x98", false), 8u);
    EXPECT_EQ(prefix("\xE2\x82", false), 0u);
    // Overlong forms, surrogates, past U+10FFFF, stray continuation bytes, 0xFF.
    EXPECT_EQ(prefix("ab\xC0\x80", true), 2u);
    EXPECT_EQ(prefix("\xE0\x80\xAF", true), 0u);
    EXPECT_EQ(prefix("\xED\xA0\x80", true), 0u);
    EXPECT_EQ(prefix("\xF4\x90\x80\x80", true), 0u);
    EXPECT_EQ(prefix("\xF5\x80\x80\x80", true), 0u);
    EXPECT_EQ(prefix("0123456789\x80", true), 10u);
    EXPECT_EQ(prefix("M\xFCller", true), 1u);
    EXPECT_EQ(prefix("\xE2\x82" "A", true), 0u);
}

TEST(text_code_page, decoding) {
    EXPECT_EQ(decode("plain,text\t1", CP_UTF8), L"plain,text\t1");
    EXPECT_EQ(decode(std::string_view("a\0b", 3), CP_UTF8), std::wstring(L"a\0b", 3));
    EXPECT_EQ(decode("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", CP_UTF8), L"\u00E9t\u00E9 \u20AC \U0001F600");
    EXPECT_EQ(decode("a\xFF" "b\xC3", CP_UTF8), L"a\uFFFDb\uFFFD");
    // Every byte maps in Windows-1252, the undefined ones to C1 controls.
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
    EXPECT_EQ(decode("x" + high, cp_windows_1252), L"x" + cp1252_high());
    EXPECT_EQ(decode("M\xFCller Caf\xE9 \x80", cp_windows_1252), L"M\u00FCller Caf\u00E9 \u20AC");
    EXPECT_EQ(decode("\xCF\xF0\xE8\xE2\xE5\xF2", 1251), L"\u041F\u0440\u0438\u0432\u0435\u0442");
}

TEST(text_code_page, the_code_page_of_a_file) {
    csv_temp_dir dir;
    auto page = [&](const std::string& bytes) {
        return text_file_code_page(tk_from_narrow(dir.write("t.txt", bytes), CP_THREAD_ACP));
    };
    {
        thread_code_page utf8(CP_UTF8);
        EXPECT_EQ(page("id;name\n1;M\xC3\xBCller\n"), CP_UTF8);
        EXPECT_EQ(page(""), CP_UTF8);
        EXPECT_EQ(page("id;name\n1;M\xFCller\n"), cp_windows_1252);
        // Invalid far into the file, or a character cut off by its end.
        std::string big(1000000, 'x');
        EXPECT_EQ(page(big + "\x80"), cp_windows_1252);
        EXPECT_EQ(page(big + "\xC3"), cp_windows_1252);
        EXPECT_EQ(page(big + "\xE2\x82\xAC"), CP_UTF8);
        // A UTF-8 byte-order mark decides, even before bytes that are not UTF-8.
        EXPECT_EQ(page("\xEF\xBB\xBFM\xFCller"), CP_UTF8);
    }
    {
        // Another codeset is the ANSI code page, UTF-8 or not; a mark still means UTF-8.
        thread_code_page cyrillic(1251);
        EXPECT_EQ(page("\xCF\xF0\xE8\xE2\xE5\xF2"), 1251u);
        EXPECT_EQ(page("\xD0\x9F\xD1\x80"), 1251u);
        EXPECT_EQ(page("\xEF\xBB\xBF\xD0\x9F\xD1\x80"), CP_UTF8);
    }
    {
        // A pipe cannot be checked ahead: the ANSI code page.
        thread_code_page utf8(CP_UTF8);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        ASSERT_EQ(::write(fds[1], "M\xFCller", 7), 7);
        EXPECT_EQ(text_code_page("M\xFCll", -1, L"pipe"), CP_UTF8);
        EXPECT_EQ(text_file_code_page(L"/proc/self/fd/" + std::to_wstring(fds[0])), CP_UTF8);
        ::close(fds[0]);
        ::close(fds[1]);
    }
}

TEST(text_code_page, wide_text_is_refused) {
    csv_temp_dir dir;
    const std::pair<std::string, const char*> files[] = {
        {std::string("\xFF\xFEi\x00" "d\x00", 6), "UTF-16"},
        {std::string("\xFE\xFF\x00i\x00" "d", 6), "UTF-16"},
        {std::string("\xFF\xFE\x00\x00i\x00\x00\x00", 8), "UTF-32"},
        {std::string("\x00\x00\xFE\xFF\x00\x00\x00i", 8), "UTF-32"},
    };
    for (UINT cp : {CP_UTF8, 1251u}) {
        thread_code_page code_page(cp);
        for (const auto& [bytes, kind] : files) {
            const std::string path = dir.write("wide.csv", bytes);
            try {
                text_file_code_page(tk_from_narrow(path, CP_THREAD_ACP));
                ADD_FAILURE() << kind << " text was not refused";
            } catch (const tk_exception& e) {
                EXPECT_EQ(e.get_level(), 1);
                const std::string message = e.what();
                EXPECT_NE(message.find(path), std::string::npos) << message;
                EXPECT_NE(message.find(std::string(" is ") + kind + " text"), std::string::npos) << message;
                EXPECT_NE(message.find("UTF-8"), std::string::npos) << message;
                EXPECT_NE(message.find("ANSI code page"), std::string::npos) << message;
            }
        }
    }
    try {
        text_file_code_page(tk_from_narrow((dir.path() / "missing.txt").string(), CP_THREAD_ACP));
        ADD_FAILURE() << "a missing file";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_NE(std::string(e.what()).find("missing.txt"), std::string::npos) << e.what();
    }
}

}  // namespace
