// Feeds arbitrary bytes to the CSV reader as a file, with each delimiter and
// with and without field names in the first line.
#include "TK/tk_utils.h"
#include "common/csv_util.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

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

void read_through(const std::wstring& path, char delimiter, bool names) {
    csv_file csv(path, delimiter, names);
    std::size_t columns = csv.get_schema().size();
    if (columns == 0) std::abort();
    for (const t_ftd* f : csv.get_schema())
        if (f->name.empty()) std::abort();
    std::size_t records = 0;
    while (!csv.is_eof()) {
        const udb_record& rec = *csv.get_record();
        if (rec.size() == 0 || rec.size() > columns) std::abort();
        for (std::size_t i = 0; i < rec.size(); ++i)
            if (rec[i].get_size() != static_cast<int>(rec[i].to_wstring().size())) std::abort();
        int percent = csv.get_read_percent();
        if (percent < 0 || percent > 100) std::abort();
        csv.next();
        // Every record takes at least one byte of the file.
        if (++records > csv.get_schema().size() + 65536) std::abort();
    }
    if (csv.get_read_percent() != 100) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    memory_file file(data, size);
    std::wstring path = tk_from_narrow(file.path(), CP_THREAD_ACP);
    for (char delimiter : {'\t', ';', ',', ' '}) {
        read_through(path, delimiter, false);
        read_through(path, delimiter, true);
    }
    return 0;
}
