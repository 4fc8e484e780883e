// Feeds arbitrary bytes to the CSV reader as a file, with each delimiter.
#include "common/csv_decode.h"
#include "common/csv_scanner.h"
#include "common/csv_splitter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

// An in-memory file that the reader opens by path.
class memory_file {
public:
    memory_file(const std::uint8_t* data, std::size_t size) {
        fd_ = ::memfd_create("csv", MFD_CLOEXEC);
        if (fd_ < 0) std::abort();
        for (std::size_t done = 0; done < size;) {
            ssize_t n = ::write(fd_, data + done, size - done);
            if (n <= 0) std::abort();
            done += static_cast<std::size_t>(n);
        }
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~memory_file() { ::close(fd_); }
    const std::string& path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

void read_through(const std::string& path, char delimiter) {
    csv_scanner scanner;
    if (!scanner.open(path)) std::abort();
    std::string bytes;
    std::wstring line;
    std::vector<std::wstring> fields;
    std::size_t columns = 0;
    std::size_t lines = 0;
    while (scanner.read_line(bytes)) {
        csv_decode(bytes, line);
        std::size_t n = csv_split(line, static_cast<wchar_t>(static_cast<signed char>(delimiter)), columns, fields);
        if (n == 0 || (columns != 0 && n > columns)) std::abort();
        if (lines++ == 0) columns = n;
        if (scanner.position() > scanner.size()) std::abort();
    }
    if (!scanner.at_end() || scanner.position() != scanner.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    memory_file file(data, size);
    for (char delimiter : {'\t', ';', ',', ' '}) read_through(file.path(), delimiter);
    return 0;
}
