#include "common/csv_scanner.h"

#include "tests/common/csv_test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every logical line of the file, read to the end.
std::vector<std::string> read_all(const std::string& path) {
    csv_scanner s;
    EXPECT_TRUE(s.open(path));
    std::vector<std::string> lines;
    std::string line;
    while (s.read_line(line)) lines.push_back(line);
    EXPECT_TRUE(s.at_end());
    EXPECT_TRUE(line.empty());
    EXPECT_EQ(s.position(), s.size());
    return lines;
}

using lines = std::vector<std::string>;

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
    // A stretch still open at the end of the file ends there, without the final line feed.
    EXPECT_EQ(read_all(dir.write("c.csv", "a\n\"open\nmore\r\n")), (lines{"a", "\"open\nmore"}));
    EXPECT_EQ(read_all(dir.write("d.csv", "\"x\n\n")), (lines{"\"x\n"}));
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
