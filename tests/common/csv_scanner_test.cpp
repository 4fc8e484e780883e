#include "common/csv_scanner.h"

#include "tests/common/csv_test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

// One logical line as read: its text, the physical line it began on and, when
// it was cut short, the line of its open stretch (negative when too long).
struct read_line_info {
    std::string text;
    std::int64_t line = 0;
    std::int64_t cut = 0;
    bool operator==(const read_line_info&) const = default;
};

std::ostream& operator<<(std::ostream& out, const read_line_info& l) {
    return out << "{\"" << l.text << "\", line " << l.line << ", cut " << l.cut << "}";
}

std::vector<read_line_info> read_infos(const std::string& path, char delimiter = ',',
                                       std::size_t max_quoted = csv_scanner::default_max_quoted) {
    csv_scanner s(max_quoted);
    EXPECT_TRUE(s.open(path));
    s.set_delimiter(delimiter);
    std::vector<read_line_info> lines;
    std::string line;
    while (s.read_line(line)) {
        std::int64_t cut = 0;
        if (s.cut()) cut = s.cut()->too_long ? -s.cut()->line : s.cut()->line;
        lines.push_back({line, s.line_number(), cut});
        EXPECT_LE(lines.size(), 1000u);
        if (lines.size() > 1000) break;
    }
    EXPECT_TRUE(s.at_end());
    EXPECT_TRUE(line.empty());
    EXPECT_EQ(s.position(), s.size());
    return lines;
}

// Every logical line of the file, read to the end.
std::vector<std::string> read_all(const std::string& path, char delimiter = ',') {
    std::vector<std::string> lines;
    for (const auto& l : read_infos(path, delimiter)) lines.push_back(l.text);
    return lines;
}

using lines = std::vector<std::string>;
using infos = std::vector<read_line_info>;

TEST(csv_scanner, line_ends_crlf_and_last_line) {
    csv_temp_dir dir;
    EXPECT_EQ(read_all(dir.write("a.csv", "a,b\r\nc,d\ne")), (lines{"a,b", "c,d", "e"}));
    // One final line feed adds no line; each further one adds an empty line.
    EXPECT_EQ(read_all(dir.write("b.csv", "a\n")), (lines{"a"}));
    EXPECT_EQ(read_all(dir.write("c.csv", "a\n\n\n")), (lines{"a", "", ""}));
    EXPECT_EQ(read_all(dir.write("d.csv", "")), lines{});
    // Only the carriage return right before a line feed is dropped.
    EXPECT_EQ(read_all(dir.write("e.csv", "a\rb\r\r\nc\r")), (lines{"a\rb\r", "c\r"}));
    // Zero bytes are data.
    EXPECT_EQ(read_all(dir.write("f.csv", std::string("a\0b\n", 4))), (lines{std::string("a\0b", 3)}));
}

TEST(csv_scanner, byte_order_mark_is_skipped_at_start_only) {
    csv_temp_dir dir;
    EXPECT_EQ(read_all(dir.write("a.csv", "\xEF\xBB\xBFid,name\n1,x\n")), (lines{"id,name", "1,x"}));
    EXPECT_EQ(read_all(dir.write("b.csv", "\xEF\xBB\xBF")), lines{});
    EXPECT_EQ(read_all(dir.write("c.csv", "\xEF\xBB")), (lines{"\xEF\xBB"}));
    EXPECT_EQ(read_all(dir.write("d.csv", "a\n\xEF\xBB\xBF" "b\n")), (lines{"a", "\xEF\xBB\xBF" "b"}));
}

TEST(csv_scanner, line_breaks_inside_quotes_are_data) {
    csv_temp_dir dir;
    EXPECT_EQ(read_all(dir.write("a.csv", "1,\"two\r\nlines\",x\r\n2,\"a \"\"q\"\"\nb\"\n3\n")),
              (lines{"1,\"two\nlines\",x", "2,\"a \"\"q\"\"\nb\"", "3"}));
    // An escaped quote keeps the stretch open; an empty quoted field closes it.
    EXPECT_EQ(read_all(dir.write("b.csv", "\"\"\"\n\"\nx,\"\",y\nz\n")), (lines{"\"\"\"\n\"", "x,\"\",y", "z"}));
}

TEST(csv_scanner, quotes_open_stretches_only_at_the_start_of_a_field) {
    csv_temp_dir dir;
    // One stray quote joins no lines.
    EXPECT_EQ(read_all(dir.write("a.csv", "1,12\" ruler,3\n4,5,6\n7,\"x\ny\",8\n")),
              (lines{"1,12\" ruler,3", "4,5,6", "7,\"x\ny\",8"}));
    EXPECT_EQ(read_all(dir.write("b.csv", "x\"y\"z\n37\xC2\xB0" "36'37.8\"N\na\"\"b\n\"q\nr\"\n")),
              (lines{"x\"y\"z", "37\xC2\xB0" "36'37.8\"N", "a\"\"b", "\"q\nr\""}));
    // The field starts after the chosen delimiter only.
    const std::string text = "a,\"b\nc\"\n";
    EXPECT_EQ(read_all(dir.write("c.csv", text), ','), (lines{"a,\"b\nc\""}));
    EXPECT_EQ(read_all(dir.write("d.csv", text), ';'), (lines{"a,\"b", "c\""}));
    EXPECT_EQ(read_all(dir.write("e.csv", "a;\"b\nc\";\n"), ';'), (lines{"a;\"b\nc\";"}));
    // A stretch that closed goes on unquoted: a later quote in the field is data.
    EXPECT_EQ(read_all(dir.write("f.csv", "\"a\"b\"c\nd\n")), (lines{"\"a\"b\"c", "d"}));
    // A delimiter that can never match (a double quote, or past 0x7F) starts no field.
    EXPECT_EQ(read_all(dir.write("g.csv", "a\xA7\"b\nc\"\n"), '\xA7'), (lines{"a\xA7\"b", "c\""}));
    EXPECT_EQ(read_all(dir.write("h.csv", "\"a\"\"\nb\"\n"), '"'), (lines{"\"a\"\"\nb\""}));
}

TEST(csv_scanner, an_unterminated_stretch_ends_at_its_line_and_reading_goes_on) {
    csv_temp_dir dir;
    EXPECT_EQ(read_infos(dir.write("a.csv", "h\n1,\"ok\r\nstill\"\n2,\"open\r\n3,x\n\n4,y\"\"\n")),
              (infos{{"h", 1, 0}, {"1,\"ok\nstill\"", 2, 0}, {"2,\"open", 4, 4}, {"3,x", 5, 0}, {"", 6, 0},
                     {"4,y\"\"", 7, 0}}));
    // The stretch began on a later line of the record; the line feed ending the file is no data.
    EXPECT_EQ(read_infos(dir.write("b.csv", "\"a\nb\",\"c\nd\n")), (infos{{"\"a\nb\",\"c", 1, 2}, {"d", 3, 0}}));
    EXPECT_EQ(read_infos(dir.write("c.csv", "a\n\"open\nmore\r\n")), (infos{{"a", 1, 0}, {"\"open", 2, 2}, {"more", 3, 0}}));
    EXPECT_EQ(read_infos(dir.write("d.csv", "\"x\n\n")), (infos{{"\"x", 1, 1}, {"", 2, 0}}));
    EXPECT_EQ(read_infos(dir.write("e.csv", "1,\"abc\r")), (infos{{"1,\"abc\r", 1, 1}}));
    // Only a stretch that no later quote closes is cut (a doubled quote closes nothing).
    EXPECT_EQ(read_infos(dir.write("f.csv", "\"a\n\"\"\"b\n")), (infos{{"\"a\n\"\"\"b", 1, 0}}));
    EXPECT_EQ(read_infos(dir.write("g.csv", "x,\"a\ny,\"b\nz\n")), (infos{{"x,\"a\ny,\"b", 1, 0}, {"z", 3, 0}}));
    EXPECT_EQ(read_infos(dir.write("h.csv", "x,\"a\ny,\"\"b\nz\n")),
              (infos{{"x,\"a", 1, 1}, {"y,\"\"b", 2, 0}, {"z", 3, 0}}));
}

TEST(csv_scanner, a_stretch_longer_than_the_limit_is_cut) {
    csv_temp_dir dir;
    // Ten bytes between the quotes are allowed, eleven are not, closed or not.
    // A doubled quote counts as two bytes. A stretch too long on its own line keeps ten bytes.
    EXPECT_EQ(read_infos(dir.write("a.csv", "a,\"0123456789\"\nb,\"0123456789X\"\nc,\"0\"\"3456789\",d\n"), ',', 10),
              (infos{{"a,\"0123456789\"", 1, 0}, {"b,\"0123456789", 2, -2}, {"c,\"0\"\"3456789\",d", 3, 0}}));
    EXPECT_EQ(read_infos(dir.write("b.csv", "\"abc\ndefghijkl\nmno\",p\nz\n"), ',', 10),
              (infos{{"\"abc", 1, -1}, {"defghijkl", 2, 0}, {"mno\",p", 3, 0}, {"z", 4, 0}}));
    // The stretch's own line is longer: it keeps ten bytes, the rest of the line is dropped.
    EXPECT_EQ(read_infos(dir.write("c.csv", "x,\"0123456789ABCDEF,\"y\r\nnext\n"), ',', 10),
              (infos{{"x,\"0123456789", 1, -1}, {"next", 2, 0}}));
    std::string long_line = "\"" + std::string(3 * csv_scanner::buffer_size, 'q') + "\n";
    EXPECT_EQ(read_infos(dir.write("d.csv", "h\n" + long_line + "t\n"), ',', 10),
              (infos{{"h", 1, 0}, {"\"qqqqqqqqqq", 2, -2}, {"t", 3, 0}}));
}

TEST(csv_scanner, the_limit_is_64_mb) {
    csv_temp_dir dir;
    const std::size_t limit = csv_scanner::default_max_quoted;
    std::string text = "\"" + std::string(limit, 'x') + "\"\n";
    text += "\"" + std::string(limit, 'y') + "\ny\"\nend\n";
    csv_scanner s;
    ASSERT_TRUE(s.open(dir.write("a.csv", text)));
    std::string line;
    ASSERT_TRUE(s.read_line(line));
    EXPECT_EQ(line.size(), limit + 2);
    EXPECT_FALSE(s.cut());
    ASSERT_TRUE(s.read_line(line));
    EXPECT_EQ(line.size(), limit + 1);
    ASSERT_TRUE(s.cut());
    EXPECT_TRUE(s.cut()->too_long);
    EXPECT_EQ(s.cut()->line, 2);
    ASSERT_TRUE(s.read_line(line));
    EXPECT_EQ(line, "y\"");
    ASSERT_TRUE(s.read_line(line));
    EXPECT_EQ(line, "end");
    EXPECT_FALSE(s.read_line(line));
}

TEST(csv_scanner, long_lines_are_read_whole_across_buffers) {
    csv_temp_dir dir;
    const std::size_t n = csv_scanner::buffer_size;
    std::string big(3 * n + 17, 'x');
    // A carriage return as the last byte of a buffer, its line feed the first of the next.
    std::string first(n - 1, 'y');
    std::string quoted = "\"" + std::string(n, 'q') + "\r\n" + std::string(n, 'r') + "\"";
    auto got = read_all(dir.write("a.csv", first + "\r\n" + big + "\n" + quoted + "\r\nend"));
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], first);
    EXPECT_EQ(got[1], big);
    EXPECT_EQ(got[2], "\"" + std::string(n, 'q') + "\n" + std::string(n, 'r') + "\"");
    EXPECT_EQ(got[3], "end");
}

TEST(csv_scanner, head_is_read_ahead_and_kept) {
    csv_temp_dir dir;
    csv_scanner s;
    ASSERT_TRUE(s.open(dir.write("a.csv", std::string("\xFF\xFE\x00\x00x\n", 6))));
    EXPECT_EQ(s.head(), std::string_view("\xFF\xFE\x00\x00", 4));
    EXPECT_TRUE(s.is_regular());
    std::string line;
    ASSERT_TRUE(s.read_line(line));
    EXPECT_EQ(line, std::string("\xFF\xFE\x00\x00x", 5));
    ASSERT_TRUE(s.open(dir.write("b.csv", "ab")));
    EXPECT_EQ(s.head(), "ab");
    ASSERT_TRUE(s.open(dir.write("c.csv", "\xEF\xBB\xBFh\n")));
    EXPECT_EQ(s.head(), "\xEF\xBB\xBFh");
    ASSERT_TRUE(s.read_line(line));
    EXPECT_EQ(line, "h");
}

TEST(csv_scanner, position_size_and_rewind) {
    csv_temp_dir dir;
    csv_scanner s;
    ASSERT_TRUE(s.open(dir.write("a.csv", "\xEF\xBB\xBFh\r\n12\n")));
    EXPECT_EQ(s.size(), 9);
    std::string line;
    ASSERT_TRUE(s.read_line(line));
    EXPECT_EQ(s.position(), 6);
    ASSERT_TRUE(s.read_line(line));
    EXPECT_EQ(line, "12");
    EXPECT_EQ(s.position(), 9);
    EXPECT_FALSE(s.at_end());
    EXPECT_FALSE(s.read_line(line));
    EXPECT_TRUE(s.at_end());
    s.rewind();
    ASSERT_TRUE(s.read_line(line));
    EXPECT_EQ(line, "h");
}

TEST(csv_scanner, cannot_open) {
    csv_temp_dir dir;
    csv_scanner s;
    EXPECT_FALSE(s.open((dir.path() / "missing.csv").string()));
    EXPECT_FALSE(s.open(dir.path().string()));  // a folder
    EXPECT_FALSE(s.is_open());
    std::string line = "x";
    EXPECT_FALSE(s.read_line(line));
    EXPECT_TRUE(line.empty());
}

}  // namespace
