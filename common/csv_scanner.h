// Buffered reader of the logical lines of a delimited text file.
//
// A logical line ends at a line feed that lies outside a quoted stretch; a line
// feed inside one is part of the line (spreadsheet programs write multi-line
// cells that way). The line feed itself is not stored, a carriage return right
// before a line feed is dropped (as a text-mode read does), and a UTF-8
// byte-order mark at the start of the file is passed over. Lines of any length
// are read whole; the reader keeps one buffer of fixed size plus the line.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class csv_scanner {
public:
    static constexpr std::size_t buffer_size = 64 * 1024;

    csv_scanner();
    ~csv_scanner();
    csv_scanner(const csv_scanner&) = delete;
    csv_scanner& operator=(const csv_scanner&) = delete;

    // Opens the file for reading; false (errno kept) when it cannot be opened.
    bool open(const std::string& path);
    bool is_open() const { return fd_ >= 0; }
    void close();

    // Reads the next logical line into `line` (its bytes as they are in the file).
    // Returns false when the end of the input came before any byte of a line;
    // `line` is then empty. A last line without a final line feed is delivered.
    bool read_line(std::string& line);

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
    void skip_bom();

    int fd_ = -1;
    std::unique_ptr<char[]> buf_;
    std::size_t begin_ = 0;  // next unread byte in buf_
    std::size_t end_ = 0;    // end of the valid bytes in buf_
    std::int64_t size_ = 0;
    std::atomic<std::int64_t> pos_ = 0;
    std::atomic<bool> at_end_ = false;
    int read_error_ = 0;
};
