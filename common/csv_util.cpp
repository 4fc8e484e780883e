#include "common/csv_util.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "common/csv_splitter.h"
#include "common/text_code_page.h"

namespace {

// Declared size of every CSV column: a text of up to 255 characters; a longer
// value makes the upsizer widen the destination column.
constexpr int csv_text_size = 255;

struct nocase_less {
    bool operator()(const std::wstring& a, const std::wstring& b) const { return tk_wcompare_nocase(a, b) < 0; }
};

}  // namespace

// The names given so far while the schema is built, compared without regard to case.
struct csv_file::unique_names {
    std::set<std::wstring, nocase_less> used;
    // For each name, how many candidates made from it are known to be taken.
    std::map<std::wstring, std::size_t, nocase_less> tried;
};

namespace {

std::wstring index_name(std::size_t index) { return L"F" + std::to_wstring(index + 1); }

// The delimiter as it is compared with the characters of a line: widened with
// its sign, so only 0x01 to 0x7F can match.
wchar_t wide_delimiter(char delimiter) { return static_cast<wchar_t>(static_cast<signed char>(delimiter)); }

}  // namespace

// ---- csv_field -------------------------------------------------------------

csv_field::csv_field(const std::wstring& name, const std::wstring& text) {
    name_ = name;
    set_text(text);
}

csv_field::csv_field(int index, const std::wstring& text) : csv_field(index_name(index), text) {}

void csv_field::set_text(const std::wstring& text) {
    attach_wstring(text);
    size_ = static_cast<int>(text.size());
}

// ---- csv_record ------------------------------------------------------------

csv_record::csv_record(const std::wstring& line, const udb_schema& schema, char delimiter) {
    do_create(line, schema, delimiter);
}

csv_record::~csv_record() = default;

void csv_record::do_create(const std::wstring& line, const udb_schema& schema, char delimiter) {
    tk_wtrace(1, L"csv_record::do_create(%s)", line.c_str());
    tk_trace(1, "GOT DELIM: %02X", static_cast<unsigned char>(delimiter));
    const csv_split_result split = csv_split(line, wide_delimiter(delimiter), schema.size(), texts_);
    const std::size_t n = split.kept;
    fields_in_line_ = split.total;
    drops_text_ = split.dropped_text;
    // The field objects stay from line to line; a field keeps the name of its
    // position, so only the text changes.
    while (fields_.size() > n) {
        spare_.push_back(std::move(fields_.back()));
        fields_.pop_back();
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (i < fields_.size()) {
            static_cast<csv_field&>(*fields_[i]).set_text(texts_[i]);
        } else if (!spare_.empty()) {
            fields_.push_back(std::move(spare_.back()));
            spare_.pop_back();
            static_cast<csv_field&>(*fields_[i]).set_text(texts_[i]);
        } else if (i < schema.size()) {
            fields_.push_back(std::make_unique<csv_field>(schema[i].name, texts_[i]));
        } else {
            fields_.push_back(std::make_unique<csv_field>(static_cast<int>(i), texts_[i]));
        }
    }
}

// ---- csv_file --------------------------------------------------------------

csv_file::csv_file(const std::wstring& path, char delimiter, bool names_in_first_row)
    : udb_recordset(L"", true), delimiter_(delimiter) {
    if (!input_.open(tk_to_path(path))) throw file_error(L"Cannot open CSV file ", path, errno);
    path_ = path;
    tk_wtrace(1, L"csv_file::ctor(%s)", path.c_str());
    file_size_ = input_.size();
    tk_trace(1, "=== Got file size: %I64d ===", file_size_);
    input_.set_delimiter(delimiter);
    const std::string_view head = input_.head();
    if (input_.read_error() != 0) throw file_error(L"Error reading CSV file ", path_, input_.read_error());
    // One code page for the whole file, decided before its first line.
    code_page_ = text_code_page(head, input_.is_regular() ? input_.fd() : -1, path);
    tk_trace(1, "CSV code page: %u", code_page_);
    record_number_ = names_in_first_row ? 0 : 1;
    // A file without a first line (no byte, or a byte-order mark alone) is no
    // table: taken for one, it would replace a table with an empty one.
    if (!read_current()) throw tk_exception(L"The CSV file " + path_ + L" is empty", 1);
    init_schema(current_line_, names_in_first_row);
    if (names_in_first_row) {
        record_number_ = 1;
        read_current();
    }
}

csv_file::~csv_file() = default;

void csv_file::append_record(const udb_record& record) {
    tk_trace(1, "csv_file::append_record");
    if (!output_.is_open()) throw tk_exception("Error opening CSV file", 1);
    for (std::size_t i = 0; i < record.size(); ++i) {
        if (i != 0) output_.put(delimiter_);
        write_csv_field(record[i].to_string());
    }
    output_ << std::endl;
}

udb_record* csv_file::get_record() {
    if (current_record_) {
        current_record_->do_create(current_line_, schema_, delimiter_);
    } else {
        current_record_ = std::make_unique<csv_record>(current_line_, schema_, delimiter_);
    }
    if (current_record_->drops_text() && reported_record_ != record_number_) {
        reported_record_ = record_number_;
        const std::size_t k = current_record_->fields_in_line(), m = schema_.size();
        errors_.emplace_back(tk_wformat(L"record #%d has %d fields, the first line has %d; fields %d to %d were not "
                                        L"converted",
                                        record_number_, static_cast<int>(k), static_cast<int>(m),
                                        static_cast<int>(m + 1), static_cast<int>(k)),
                             0);
    }
    return current_record_.get();
}

std::vector<tk_exception> csv_file::take_errors() {
    std::vector<tk_exception> taken;
    taken.swap(errors_);
    return taken;
}

std::wstring csv_file::record_name() const {
    return record_number_ == 0 ? L"the line of field names" : L"record #" + std::to_wstring(record_number_);
}

bool csv_file::is_eof() { return input_.at_end() && current_line_.empty(); }

void csv_file::next() {
    ++record_number_;
    read_current();
}

void csv_file::prev() { throw tk_mail_assertion("csv_util", 240); }

void csv_file::reset() { input_.rewind(); }

void csv_file::init_schema(const std::wstring& first_line, bool names_in_first_row) {
    tk_wtrace(1, L"csv_file::init_schema(%s)", first_line.c_str());
    std::vector<std::wstring> texts;
    const std::size_t n = csv_split(first_line, wide_delimiter(delimiter_), 0, texts).kept;
    unique_names names;
    for (const t_ftd* f : schema_) names.used.insert(f->name);
    for (std::size_t i = 0; i < n; ++i) {
        std::wstring name = names_in_first_row ? tk_trim(texts[i]) : std::wstring();
        if (name.empty()) name = index_name(i);
        schema_.push_back(std::make_unique<t_ftd>(csv_text_size, make_unique_field_name(name, names),
                                                  static_cast<VARTYPE>(VT_BSTR), false, false, ole_variant(), 0));
    }
}

// A name already used (compared without regard to case) grows by the pieces
// "_", "1", "_", "2", "_", "3", "_", "1", ... until it is free: of five columns
// named Name the second becomes Name_, the third Name_1, the fourth Name_1_.
// Past max_pieces pieces the name takes "_" and a number instead, so that a
// header of thousands of equal names neither makes names thousands of
// characters long nor takes quadratic time.
std::wstring csv_file::make_unique_field_name(const std::wstring& name, unique_names& names) const {
    static constexpr std::size_t max_pieces = 24;
    static const std::wstring cycle = L"_1_2_3_1_2_3_1_2_3_1_2_3";
    static_assert(max_pieces <= 24);
    if (names.used.insert(name).second) return name;
    // Candidates below the count kept for this name were all taken already.
    std::size_t& k = names.tried[name];
    for (k = std::max<std::size_t>(k, 1);; ++k) {
        std::wstring candidate =
            k <= max_pieces ? name + cycle.substr(0, k) : name + L"_" + std::to_wstring(k - max_pieces);
        if (names.used.insert(candidate).second) return candidate;
    }
}

std::wstring csv_file::read_line() {
    std::wstring line;
    read_into(line);
    return line;
}

bool csv_file::read_into(std::wstring& line) {
    const bool read = input_.read_line(line_bytes_);
    // A file that cannot be read to its end must not look like a shorter one.
    if (input_.read_error() != 0) throw file_error(L"Error reading CSV file ", path_, input_.read_error());
    decode_text(line_bytes_, code_page_, line);
    return read;
}

bool csv_file::read_current() {
    const bool read = read_into(current_line_);
    finished_.store(input_.at_end() && current_line_.empty(), std::memory_order_relaxed);
    if (const auto& cut = input_.cut()) {
        const long long line = cut->line;
        std::wstring what =
            cut->truncated
                ? tk_wformat(L"the quoted field that begins on line %lld is longer than 64 MB; it was cut there and "
                             L"the rest of that line was not converted",
                             line)
                : tk_wformat(L"the quoted field that begins on line %lld %s; the record ends with that line and "
                             L"the lines after it are read as records",
                             line, cut->too_long ? L"is longer than 64 MB or never closed" : L"is never closed");
        errors_.emplace_back(record_name() + L": " + what, 0);
    }
    return read;
}

int csv_file::get_read_percent() const {
    double position = static_cast<double>(input_.position());
    tk_trace(1, "file_size=%d, tellg=%lg", static_cast<int>(file_size_), position);
    if (file_size_ <= 0 || finished_.load(std::memory_order_relaxed)) return 100;
    double share = position * 100.0 / static_cast<double>(file_size_);
    return share >= 100.0 ? 100 : share <= 0.0 ? 0 : static_cast<int>(share);
}

void csv_file::write_csv_field(const std::string& text) {
    tk_trace(1, "csv_file::write_csv_field(%s)", text.c_str());
    bool quote = text.find_first_of(std::string{delimiter_, '"', '\n', '\r'}) != std::string::npos;
    std::string out;
    out.reserve(text.size() + 2);
    if (quote) out += '"';
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    if (quote) out += '"';
    output_ << out;
}

// ---- csv_field_upsizer -----------------------------------------------------

csv_field_upsizer::csv_field_upsizer(udb_database* dest_db, udb_recordset* dest_rs)
    : dest_db_(dest_db), dest_rs_(dest_rs) {}

void csv_field_upsizer::process(const udb_record& record) {
    tk_trace(1, "csv_field_upsizer::process");
    udb_schema& schema = dest_rs_->get_schema();
    // A destination table with fewer columns (an existing table in merge mode)
    // has no column to widen for the fields past its own.
    const std::size_t n = std::min(record.size(), schema.size());
    for (std::size_t f = 0; f < n; ++f) {
        const udb_field& field = record[f];
        tk_trace(1, "Field size: %d", field.get_size());
        // The text as the field holds it: a long value is not copied.
        const VARIANT& value = field.ole_variant::get_variant();
        std::wstring converted;
        std::wstring_view text;
        if (value.vt == VT_BSTR) {
            text = std::wstring_view(value.bstrVal ? value.bstrVal : L"", SysStringLen(value.bstrVal));
        } else {
            converted = field.to_wstring();
            text = converted;
        }
        if (holds(schema[f], text)) continue;
        tk_trace(1, "csv_field_upsizer::process - upsize field #%d", static_cast<int>(f));
        do_upsize(schema[f], text);
    }
}
