// Feeds arbitrary bytes to the CSV reader as a file, with each delimiter and
// with and without field names in the first line. In Windows-1252 every byte
// is one character, so the records are also compared with what a plain reading
// of the rules gives: quoted fields only at the start of a field, a stretch that
// never closes cut at the end of its line, the lines after it read again.
#include "TK/tk_excep.h"
#include "TK/tk_utils.h"
#include "common/csv_util.h"
#include "common/text_code_page.h"
#include "platform/kernel/codepage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
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

using fields = std::vector<std::string>;

// The logical lines of the input by the rules, as plainly as they can be read.
std::vector<std::string> reference_lines(const std::string& in, char delimiter) {
    const bool delimits = static_cast<unsigned char>(delimiter) >= 1 && static_cast<unsigned char>(delimiter) <= 0x7F &&
                          delimiter != '"';
    std::vector<std::string> lines;
    std::size_t pos = in.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (pos < in.size()) {
        bool start = true, quoted = false, ended_at_lf = false;
        std::size_t open = 0, i = pos;
        for (; i < in.size(); ++i) {
            const char c = in[i];
            if (quoted) {
                if (c == '"') {
                    if (i + 1 < in.size() && in[i + 1] == '"') ++i;
                    else quoted = false;
                }
            } else if (c == '\n') {
                ended_at_lf = true;
                break;
            } else if (start && c == '"') {
                quoted = true;
                open = i;
                start = false;
            } else {
                start = delimits && c == delimiter;
            }
        }
        std::string line;
        if (quoted) {
            // Never closed: the record ends with the line of its opening quote.
            std::size_t lf = in.find('\n', open);
            ended_at_lf = lf != std::string::npos;
            i = ended_at_lf ? lf : in.size();
        }
        line = in.substr(pos, i - pos);
        pos = ended_at_lf ? i + 1 : in.size();
        if (ended_at_lf && !line.empty() && line.back() == '\r') line.pop_back();
        std::string kept;
        for (std::size_t k = 0; k < line.size(); ++k)
            if (!(line[k] == '\r' && k + 1 < line.size() && line[k + 1] == '\n')) kept += line[k];
        lines.push_back(kept);
    }
    return lines;
}

fields reference_split(const std::string& line, char delimiter) {
    const bool delimits = static_cast<unsigned char>(delimiter) >= 1 && static_cast<unsigned char>(delimiter) <= 0x7F &&
                          delimiter != '"';
    fields out(1);
    bool start = true, quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        const bool pair = i + 1 < line.size() && line[i + 1] == '"';
        if (quoted) {
            if (c != '"') out.back() += c;
            else if (pair) out.back() += '"', ++i;
            else quoted = false;
        } else if (start && c == '"') {
            quoted = true;
            start = false;
        } else if (delimits && c == delimiter) {
            out.emplace_back();
            start = true;
        } else {
            out.back() += c;
            if (c == '"' && pair) ++i;
            start = false;
        }
    }
    return out;
}

// Windows-1252 back to its bytes.
std::string to_1252(const std::wstring& text) {
    static const std::map<wchar_t, char> bytes = [] {
        std::map<wchar_t, char> m;
        for (int b = 0; b < 256; ++b) {
            std::wstring w;
            decode_text(std::string(1, static_cast<char>(b)), cp_windows_1252, w);
            if (w.size() != 1 || !m.emplace(w[0], static_cast<char>(b)).second) std::abort();
        }
        return m;
    }();
    std::string out;
    for (wchar_t c : text) out += bytes.at(c);
    return out;
}

void read_through(const std::wstring& path, const std::string& data, char delimiter, bool names) {
    std::vector<std::string> lines = reference_lines(data, delimiter);
    const bool compare = kernel::thread_code_page() == cp_windows_1252 && data.compare(0, 3, "\xEF\xBB\xBF") != 0;
    csv_file csv(path, delimiter, names);
    std::size_t columns = csv.get_schema().size();
    if (columns == 0) std::abort();
    if (compare && columns != std::max<std::size_t>(1, lines.empty() ? 1 : reference_split(lines[0], delimiter).size()))
        std::abort();
    for (const t_ftd* f : csv.get_schema())
        if (f->name.empty()) std::abort();
    std::size_t records = 0;
    for (const tk_exception& e : csv.take_errors())
        if (e.get_level() != 0) std::abort();
    while (!csv.is_eof()) {
        const udb_record& rec = *csv.get_record();
        if (rec.size() == 0 || rec.size() > columns) std::abort();
        for (std::size_t i = 0; i < rec.size(); ++i)
            if (rec[i].get_size() != static_cast<int>(rec[i].to_wstring().size())) std::abort();
        if (compare) {
            const std::size_t line = records + (names ? 1 : 0);
            if (line >= lines.size()) std::abort();
            fields expected = reference_split(lines[line], delimiter);
            const bool extra_text = [&] {
                for (std::size_t i = columns; i < expected.size(); ++i)
                    if (!expected[i].empty()) return true;
                return false;
            }();
            if (expected.size() > columns) expected.resize(columns);
            if (expected.size() != rec.size()) std::abort();
            for (std::size_t i = 0; i < rec.size(); ++i)
                if (to_1252(rec[i].to_wstring()) != expected[i]) std::abort();
            bool reported = false;
            for (const tk_exception& e : csv.take_errors()) {
                if (e.get_level() != 0) std::abort();
                reported |= std::string(e.what()).find(" fields, the first line has ") != std::string::npos;
            }
            if (reported != extra_text) std::abort();
        }
        int percent = csv.get_read_percent();
        if (percent < 0 || percent > 100) std::abort();
        csv.next();
        // Every record takes at least one byte of the file.
        if (++records > csv.get_schema().size() + 65536) std::abort();
    }
    if (compare && records + (names && !lines.empty() ? 1 : 0) != lines.size()) std::abort();
    if (csv.get_read_percent() != 100) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    memory_file file(data, size);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::wstring path = tk_from_narrow(file.path(), CP_THREAD_ACP);
    // UTF-16 and UTF-32 text, and a file without a first line, are refused.
    const bool refused = (byte_order_mark_of(bytes) != byte_order_mark::none &&
                          byte_order_mark_of(bytes) != byte_order_mark::utf8) ||
                         bytes.empty() || bytes == "\xEF\xBB\xBF";
    // Under UTF-8 (the file read in UTF-8 or in Windows-1252), then in Windows-1252 itself.
    for (UINT cp : {CP_UTF8, cp_windows_1252}) {
        kernel::set_thread_code_page(cp);
        for (char delimiter : {'\t', ';', ',', ' '}) {
            for (bool names : {false, true}) {
                try {
                    read_through(path, bytes, delimiter, names);
                    if (refused) std::abort();
                } catch (const tk_exception& e) {
                    if (!refused || e.get_level() != 1) std::abort();
                }
            }
        }
    }
    kernel::set_thread_code_page(0);
    return 0;
}
