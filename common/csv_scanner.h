// Buffered reader of the logical lines of a delimited text file.
//
// A logical line ends at a line feed that lies outside a quoted stretch; a line
// feed inside one is part of the line (spreadsheet programs write multi-line
// cells that way). A double quote opens a quoted stretch only at the start of a
// field (at the start of the line or right after a delimiter); inside, a
// doubled double quote is data and a single one closes the stretch; anywhere
// else a double quote is an ordinary character. The line feed ending a line is
// not stored, a carriage return right before a line feed is dropped (as a
// text-mode read does), and a UTF-8 byte-order mark at the start of the file is
// passed over.
//
// Lines of any length are read whole, except that a quoted stretch holds at
// most max_quoted bytes: a stretch that grows past them, or that is still open
// at the end of the input, is cut at the end of the physical line where it
// began, and reading goes on with the next physical line, so that one stray
// quote neither swallows the rest of the file nor its memory (cut() tells).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class csv_scanner {
public:
    static constexpr std::size_t buffer_size = 64 * 1024;
    // The most bytes a quoted stretch holds between its quotes: 64 MB.
    static constexpr std::size_t default_max_quoted = 64 * 1024 * 1024;

    explicit csv_scanner(std::size_t max_quoted = default_max_quoted);
    ~csv_scanner();
    csv_scanner(const csv_scanner&) = delete;
    csv_scanner& operator=(const csv_scanner&) = delete;

    // Opens the file for reading; false (errno kept) when it cannot be opened.
    bool open(const std::string& path);
    bool is_open() const { return fd_ >= 0; }
    void close();
    // The open file, and whether it is a regular file (which can be read ahead).
    int fd() const { return fd_; }
    bool is_regular() const { return regular_; }

    // The delimiter after which a field starts (',' at first). A delimiter
    // outside 0x01 to 0x7F, or a double quote, delimits nothing.
    void set_delimiter(char delimiter);

    // The first bytes of the input (four when it has them), read ahead and
    // left for read_line. A read that fails sets read_error().
    std::string_view head();

    // Reads the next logical line into `line` (its bytes as they are in the file).
    // Returns false when the end of the input came before any byte of a line;
    // `line` is then empty. A last line without a final line feed is delivered.
    bool read_line(std::string& line);

    // The physical line (counted from 1) where the last line read began.
    std::int64_t line_number() const { return line_start_; }

    // How the last line read was cut short, when it was.
    struct cut_stretch {
        std::int64_t line;  // the physical line where the open stretch began
        bool too_long;      // the stretch held more than max_quoted bytes (else the input ended in it)
        bool truncated;     // that line itself was longer: the stretch keeps max_quoted bytes, the rest of the line is dropped
    };
    const std::optional<cut_stretch>& cut() const { return cut_; }

    // The errno of a read that failed; 0 when none did. A failed read ends the
    // input like its end does.
    int read_error() const { return read_error_; }

    // True once a read has hit the end of the input.
    bool at_end() const { return at_end_.load(std::memory_order_relaxed); }

    // The file's size in bytes, taken when it was opened.
    std::int64_t size() const { return size_; }
    // Bytes consumed so far (the lines read and their line feeds).
    // Both may be asked from another thread (the progress display) while this
    // one reads.
    std::int64_t position() const { return pos_.load(std::memory_order_relaxed); }

    // Goes back to the start of the file; the end flag is left as it is.
    void rewind();

private:
    bool fill();
    void read_head();
    bool chunk(const char*& begin, const char*& end);
    void consume(std::size_t n);
    void skip_rest_of_line();
    void cut_line(std::string& line, std::size_t open_at, std::int64_t start_pos, bool too_long);

    const std::size_t max_quoted_;
    int fd_ = -1;
    bool regular_ = false;
    int delimiter_ = ',';  // -1: none
    std::unique_ptr<char[]> buf_;
    std::size_t begin_ = 0;  // next unread byte in buf_
    std::size_t end_ = 0;    // end of the valid bytes in buf_
    // Bytes given back after a cut, read before the buffer.
    std::string replay_;
    std::size_t replay_pos_ = 0;
    bool skip_line_ = false;  // the rest of a physical line is dropped before the next line
    std::int64_t next_line_ = 1;   // the physical line of the next byte
    std::int64_t line_start_ = 1;  // the physical line where the last line read began
    std::optional<cut_stretch> cut_;
    std::int64_t size_ = 0;
    std::atomic<std::int64_t> pos_ = 0;
    std::atomic<bool> at_end_ = false;
    int read_error_ = 0;
};
