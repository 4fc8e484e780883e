#include "common/csv_scanner.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where the scan of a line stands.
enum scan_state : unsigned char {
    field_start,  // at the start of a field: a double quote opens a stretch
    plain,        // inside an unquoted field (or after a closed stretch)
    quoted,       // inside a quoted stretch
    quote_seen,   // inside a stretch, right after a double quote: doubled, or the close
};

// Drops the carriage return before every line feed kept inside the line.
void drop_cr_before_lf(std::string& line) {
    if (line.find("\r\n") == std::string::npos) return;
    std::size_t w = 0;
    for (std::size_t r = 0; r < line.size(); ++r) {
        if (line[r] == '\r' && r + 1 < line.size() && line[r + 1] == '\n') continue;
        line[w++] = line[r];
    }
    line.resize(w);
}

}  // namespace

csv_scanner::csv_scanner(std::size_t max_quoted) : max_quoted_(max_quoted), buf_(new char[buffer_size]) {}

csv_scanner::~csv_scanner() { close(); }

bool csv_scanner::open(const std::string& path) {
    close();
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        errno = err;
        return false;
    }
    fd_ = fd;
    regular_ = S_ISREG(st.st_mode);
    size_ = regular_ ? static_cast<std::int64_t>(st.st_size) : 0;
    rewind();
    at_end_ = false;
    return true;
}

void csv_scanner::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    regular_ = false;
    rewind();
    at_end_ = true;
    read_error_ = 0;
}

void csv_scanner::set_delimiter(char delimiter) {
    const auto d = static_cast<unsigned char>(delimiter);
    delimiter_ = d >= 0x01 && d <= 0x7F && d != '"' ? d : -1;
}

void csv_scanner::rewind() {
    begin_ = end_ = 0;
    pos_ = 0;
    std::string().swap(replay_);
    replay_pos_ = 0;
    skip_line_ = false;
    next_line_ = line_start_ = 1;
    cut_.reset();
    if (fd_ >= 0) ::lseek(fd_, 0, SEEK_SET);
}

// Refills the buffer once it has been consumed; false at the end of the input
// (or when it cannot be read any further).
bool csv_scanner::fill() {
    begin_ = end_ = 0;
    if (fd_ < 0) return false;
    for (;;) {
        ssize_t n = ::read(fd_, buf_.get(), buffer_size);
        if (n > 0) {
            end_ = static_cast<std::size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) read_error_ = errno;
        return false;
    }
}

// At the start of the file: reads until the buffer holds four bytes or the input ends.
void csv_scanner::read_head() {
    while (end_ < 4 && fd_ >= 0 && read_error_ == 0) {
        ssize_t n = ::read(fd_, buf_.get() + end_, buffer_size - end_);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) read_error_ = errno;
        if (n <= 0) break;
        end_ += static_cast<std::size_t>(n);
    }
}

std::string_view csv_scanner::head() {
    if (pos_ != 0 || begin_ != 0) return {};
    read_head();
    return std::string_view(buf_.get(), std::min<std::size_t>(end_, 4));
}

// The next bytes to scan: what is left of the bytes given back after a cut,
// else the buffer, refilled when it is empty. False at the end of the input.
bool csv_scanner::chunk(const char*& begin, const char*& end) {
    if (replay_pos_ < replay_.size()) {
        begin = replay_.data() + replay_pos_;
        end = replay_.data() + replay_.size();
        return true;
    }
    if (!replay_.empty()) {
        std::string().swap(replay_);  // up to a quoted stretch's worth of memory
        replay_pos_ = 0;
    }
    if (begin_ == end_ && !fill()) return false;
    begin = buf_.get() + begin_;
    end = buf_.get() + end_;
    return true;
}

void csv_scanner::consume(std::size_t n) {
    if (replay_pos_ < replay_.size())
        replay_pos_ += n;
    else
        begin_ += n;
    pos_.store(pos_.load(std::memory_order_relaxed) + static_cast<std::int64_t>(n), std::memory_order_relaxed);
}

// Drops the bytes up to and including the next line feed.
void csv_scanner::skip_rest_of_line() {
    skip_line_ = false;
    const char* p;
    const char* e;
    while (chunk(p, e)) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(e - p)));
        consume(static_cast<std::size_t>((nl ? nl + 1 : e) - p));
        if (nl) return;
    }
}

// Ends `line` at the end of the physical line where its open stretch (the
// quote at open_at) began, and gives the bytes after that line back to be
// read again.
void csv_scanner::cut_line(std::string& line, std::size_t open_at, std::int64_t start_pos, bool too_long) {
    const std::int64_t open_line =
        line_start_ + std::count(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(open_at), '\n');
    const std::size_t nl = line.find('\n', open_at);
    cut_ = cut_stretch{open_line, too_long, too_long && nl == std::string::npos};
    next_line_ = open_line + 1;
    if (nl != std::string::npos) {
        std::string rest(line, nl + 1);
        rest.append(replay_, std::min(replay_pos_, replay_.size()));
        replay_ = std::move(rest);
        replay_pos_ = 0;
        pos_.store(start_pos + static_cast<std::int64_t>(nl) + 1, std::memory_order_relaxed);
        line.resize(nl);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!replay_.empty()) at_end_ = false;
    } else if (too_long) {
        // The stretch's own line is longer than a stretch may be.
        line.resize(open_at + 1 + max_quoted_);
        skip_line_ = true;
    }
    drop_cr_before_lf(line);
}

bool csv_scanner::read_line(std::string& line) {
    line.clear();
    cut_.reset();
    if (pos_ == 0 && begin_ == 0 && replay_.empty()) {
        // At the start of the file: pass over a UTF-8 byte-order mark.
        read_head();
        if (end_ >= 3 && std::memcmp(buf_.get(), "\xEF\xBB\xBF", 3) == 0) {
            begin_ = 3;
            pos_ = 3;
        }
    }
    if (skip_line_) skip_rest_of_line();
    const std::int64_t start_pos = pos_.load(std::memory_order_relaxed);
    line_start_ = next_line_;
    scan_state state = field_start;
    std::size_t open_at = 0;  // index in `line` of the quote that opened the last stretch
    bool got_any = false;
    std::int64_t breaks = 0;  // line feeds of quoted stretches in the line
    const bool delimits = delimiter_ >= 0;
    const char delimiter = static_cast<char>(delimiter_);
    for (;;) {
        const char* p;
        const char* e;
        if (!chunk(p, e)) {
            at_end_ = true;
            if (!got_any) return false;
            if (state == quoted) cut_line(line, open_at, start_pos, false);
            else if (breaks) drop_cr_before_lf(line);
            return true;
        }
        got_any = true;
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(e - p)));
        const char* const stop = nl ? nl : e;
        const std::size_t base = line.size();  // the index in `line` of p
        const char* q = p;
        while (q < stop) {
            switch (state) {
                case field_start:
                case plain: {
                    // Outside a stretch only quotes matter: one opens a stretch
                    // when it starts a field, that is when the byte before it is
                    // a delimiter (or it is the first of the field).
                    const char* dq = static_cast<const char*>(std::memchr(q, '"', static_cast<std::size_t>(stop - q)));
                    if (!dq) {
                        if (q < stop) state = delimits && stop[-1] == delimiter ? field_start : plain;
                        q = stop;
                        break;
                    }
                    const bool starts_field = dq == q ? state == field_start : delimits && dq[-1] == delimiter;
                    if (starts_field) {
                        open_at = base + static_cast<std::size_t>(dq - p);
                        state = quoted;
                    } else {
                        state = plain;
                    }
                    q = dq + 1;
                    break;
                }
                case quoted:
                    q = static_cast<const char*>(std::memchr(q, '"', static_cast<std::size_t>(stop - q)));
                    if (!q) {
                        q = stop;
                    } else {
                        ++q;
                        state = quote_seen;
                    }
                    break;
                case quote_seen:
                    if (*q == '"') {
                        ++q;
                        state = quoted;
                    } else if (base + static_cast<std::size_t>(q - p) - open_at - 2 > max_quoted_) {
                        // The stretch closes, but holds more than a stretch may:
                        // it is cut below.
                        goto scanned;
                    } else {
                        state = plain;
                    }
                    break;
            }
        }
    scanned:
        line.append(p, q);
        consume(static_cast<std::size_t>(q - p));
        if (state == quoted || state == quote_seen) {
            // The bytes of the stretch so far, without a quote that may close it.
            const std::size_t held = line.size() - open_at - 1 - (state == quote_seen ? 1 : 0);
            if (held > max_quoted_) {
                cut_line(line, open_at, start_pos, true);
                return true;
            }
        }
        if (!nl) continue;
        consume(1);
        if (state != quoted) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (breaks) drop_cr_before_lf(line);
            next_line_ = line_start_ + breaks + 1;
            return true;
        }
        line.push_back('\n');
        ++breaks;
    }
}
