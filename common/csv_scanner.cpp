#include "common/csv_scanner.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

csv_scanner::csv_scanner() : buf_(new char[buffer_size]) {}

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
    size_ = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
    rewind();
    at_end_ = false;
    return true;
}

void csv_scanner::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    begin_ = end_ = 0;
    pos_ = 0;
    at_end_ = true;
    read_error_ = 0;
}

void csv_scanner::rewind() {
    begin_ = end_ = 0;
    pos_ = 0;
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

// At the start of the file: passes over a UTF-8 byte-order mark. The bytes
// that are no mark stay in the buffer.
void csv_scanner::skip_bom() {
    static constexpr char bom[] = "\xEF\xBB\xBF";
    while (end_ < 3 && fd_ >= 0) {
        ssize_t n = ::read(fd_, buf_.get() + end_, buffer_size - end_);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) read_error_ = errno;
        if (n <= 0) break;
        end_ += static_cast<std::size_t>(n);
    }
    if (end_ >= 3 && std::memcmp(buf_.get(), bom, 3) == 0) {
        begin_ = 3;
        pos_ = 3;
    }
}

bool csv_scanner::read_line(std::string& line) {
    line.clear();
    if (pos_ == 0 && begin_ == 0) skip_bom();
    bool quoted = false;
    bool got_any = false;
    bool ends_in_break = false;  // the line's last byte is a line break kept as data
    for (;;) {
        if (begin_ == end_ && !fill()) {
            at_end_ = true;
            // A stretch still open at the end of the file ends there; the
            // file's final line feed terminates the line, it is no data.
            if (ends_in_break) line.pop_back();
            return got_any;
        }
        got_any = true;
        const char* p = buf_.get() + begin_;
        const char* e = buf_.get() + end_;
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(e - p)));
        const char* stop = nl ? nl : e;
        // Every double quote flips the quoted state: an escaped quote inside a
        // stretch is two of them, so the parity tells whether a stretch is open.
        if (std::count(p, stop, '"') & 1) quoted = !quoted;
        line.append(p, stop);
        std::size_t taken = static_cast<std::size_t>(stop - p) + (nl ? 1 : 0);
        begin_ += taken;
        pos_.store(pos_.load(std::memory_order_relaxed) + static_cast<std::int64_t>(taken),
                   std::memory_order_relaxed);
        if (stop != p) ends_in_break = false;
        if (!nl) continue;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!quoted) return true;
        line.push_back('\n');
        ends_in_break = true;
    }
}
