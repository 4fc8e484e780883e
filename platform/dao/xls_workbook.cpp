#include "platform/dao/xls_workbook.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/dao/biff_names.h"
#include "platform/dao/biff_records.h"
#include "platform/dao/cfb_reader.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/le_bytes.h"
#include "platform/dao/page_block.h"

namespace jet {

namespace {

constexpr std::size_t max_sheets = 65535;

struct sheet_entry {
  std::string name;
  std::size_t offset = 0;
  std::uint8_t type = 0;  // 0 worksheet or dialog; 1 macro sheet, 2 chart, 6 VB module
};

// The bytes of a file, read without first filling the buffer with zeros.
class file_bytes {
 public:
  explicit file_bytes(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw_jet(err_file_not_found, path);
    struct stat st {};
    std::size_t capacity = ::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : 65536;
    try {
      data_ = page_block(capacity);
    } catch (...) {
      ::close(fd);
      throw;
    }
    for (;;) {
      if (size_ == data_.size()) {  // the file grew, or its size was not known
        page_block more(data_.size() * 2);
        std::memcpy(more.data(), data_.data(), size_);
        data_ = std::move(more);
      }
      ssize_t got = ::read(fd, data_.data() + size_, data_.size() - size_);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        ::close(fd);
        if (got < 0) throw_bad_format("the file cannot be read");
        return;
      }
      size_ += static_cast<std::size_t>(got);
    }
  }
  std::string_view bytes() const { return {data_.data(), size_}; }

 private:
  page_block data_;
  std::size_t size_ = 0;
};

struct substream_scan {
  std::size_t end = 0;
  bool dialog = false;  // a dialog sheet: a worksheet's records, but no table
};

// Where a worksheet's substream ends: after the EOF that closes it (charts
// embedded in it have their own BOF and EOF), or where the next sheet begins.
substream_scan scan_substream(std::string_view stream, std::size_t offset, std::size_t limit) {
  biff_record_reader records(stream, offset, limit);
  substream_scan out{limit, false};
  int depth = 0;
  while (records.next()) {
    if (records.type() == biff::bof) ++depth;
    if (records.type() == biff::wsbool && depth == 1 && !records.data().empty())
      out.dialog = (records.data()[0] & 0x10) != 0;
    if (records.type() == biff::eof && --depth <= 0) {
      out.end = records.next_offset();
      break;
    }
  }
  return out;
}

}  // namespace

xls_workbook::xls_workbook(const std::string& path) {
  auto read = std::make_shared<file_bytes>(path);
  std::string_view file = read->bytes();
  // Some writers leave the last sector short: it reads as if filled with zeros.
  std::string padded;
  if (file.size() >= 512 && (le16(file, 0x1E) == 9 || le16(file, 0x1E) == 12)) {
    std::size_t sector = std::size_t{1} << le16(file, 0x1E);
    if (file.size() % sector != 0) {
      padded.assign(file);
      padded.resize(file.size() + sector - file.size() % sector, '\0');
      file = padded;
    }
  }
  // Excel 97 and later write "Workbook", Excel 5 and 95 "Book".
  auto found = find_cfb_stream(file, {u"Workbook", u"Book"});
  auto& stream = found.stream;
  bool book_stream = found.name == 1;
  if (!stream) {
    // An encrypted .xlsx package is a compound file holding an "EncryptedPackage" stream.
    static const char name[] = "E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0";
    if (file.find(std::string_view(name, sizeof name - 1)) != std::string::npos) throw_jet(err_encrypted);
    if (found.damaged) throw_bad_format("the compound file is damaged");
    throw_bad_format("no readable workbook stream in the compound file");
  }
  // The stream read in place where it lies whole in the file; else its copy.
  if (stream->in_file && padded.empty()) {
    load(*stream->in_file, std::move(read), book_stream);
    return;
  }
  auto copy = stream->in_file ? std::make_shared<std::string>(*stream->in_file)
                              : std::make_shared<std::string>(std::move(stream->copy));
  stream.reset();
  read.reset();
  padded = std::string();
  std::string_view bytes = *copy;
  load(bytes, std::move(copy), book_stream);
}

xls_workbook::xls_workbook(std::string stream, bool book_stream) {
  auto owned = std::make_shared<std::string>(std::move(stream));
  std::string_view bytes = *owned;
  load(bytes, std::move(owned), book_stream);
}

void xls_workbook::load(std::string_view stream, std::shared_ptr<const void> owner, bool book_stream) {
  book_ = std::make_shared<biff_book>();
  book_->stream = stream;
  book_->stream_owner = std::move(owner);
  std::string_view s = book_->stream;
  if (s.size() < 4) throw_bad_format("the workbook stream is empty");
  switch (le16(s, 0)) {
    case biff::bof_biff2: throw_bad_format("an Excel 2.x workbook (BIFF2); only Excel 5.0 and later are read");
    case biff::bof_biff3: throw_bad_format("an Excel 3.0 workbook (BIFF3); only Excel 5.0 and later are read");
    case biff::bof_biff4: throw_bad_format("an Excel 4.0 workbook (BIFF4); only Excel 5.0 and later are read");
    case biff::bof: break;
    default: throw_bad_format("the workbook stream does not begin with BOF");
  }
  if (s.size() < 8) throw_bad_format("the workbook stream is cut short");
  std::uint16_t version = le16(s, 4), substream = le16(s, 6);
  bool biff8 = version == 0x0600 ? true : version == 0x0500 ? false : !book_stream;
  if (version != 0 && version != 0x0500 && version != 0x0600)
    throw_bad_format("an unknown BIFF version " + std::to_string(version >> 8) + "." + std::to_string(version & 0xFF));
  if (substream != biff::substream_globals) throw_bad_format("the workbook stream does not begin with its globals");

  book_->text.biff8 = biff8;
  book_->codepage = std::make_unique<codepage_decoder>(1252);
  book_->text.codepage = book_->codepage.get();
  std::vector<sheet_entry> sheets;
  biff_names names;
  biff_record_reader records(s, 0);
  int depth = 0;
  bool ended = false;
  while (!ended && records.next()) {
    std::string_view data = records.data();
    switch (records.type()) {
      case biff::bof:
        ++depth;
        break;
      case biff::eof:
        ended = --depth <= 0;
        break;
      case biff::filepass:
        throw_jet(err_encrypted);
      case biff::codepage:
        if (data.size() >= 2) {
          book_->codepage = std::make_unique<codepage_decoder>(le16(data, 0));
          book_->text.codepage = book_->codepage.get();
        }
        break;
      case biff::datemode:
        book_->date1904 = data.size() >= 2 && le16(data, 0) == 1;
        break;
      case biff::format: {
        biff_data d = records.continued();
        std::uint16_t id = d.u16();
        book_->formats.add_format(id, read_biff_string(d, book_->text, biff8 ? 2 : 1));
        break;
      }
      case biff::xf:
        if (data.size() < 4) throw_bad_format("an XF record is cut short");
        book_->formats.add_style(le16(data, 2));
        break;
      case biff::boundsheet: {
        if (sheets.size() >= max_sheets) throw_bad_format("too many sheets");
        biff_data d = records.continued();
        sheet_entry entry;
        entry.offset = d.u32();
        d.u8();  // visible, hidden or very hidden: all are listed
        entry.type = d.u8();
        entry.name = read_biff_string(d, book_->text, 1);
        sheets.push_back(std::move(entry));
        break;
      }
      case biff::sst:
        if (biff8) sst_offset_ = records.offset();
        break;
      case biff::name:
        names.add_name(records.continued(), book_->text);
        break;
      case biff::externsheet:
        if (biff8) names.add_externsheet(records.continued());
        break;
      case biff::supbook:
        names.add_supbook(data);
        break;
      default:
        break;
    }
  }
  if (!ended) throw_bad_format("the workbook globals do not end");
  book_->formats.finish();

  // Some writers get the sheets' offsets wrong; when the substreams follow the
  // globals one after the other, one for each sheet, they are taken in order.
  auto begins_substream = [&](std::size_t offset) {
    return offset <= s.size() && s.size() - offset >= 8 && le16(s, offset) == biff::bof;
  };
  bool offsets_sound = std::all_of(sheets.begin(), sheets.end(), [&](const sheet_entry& e) {
    return e.type != 0 || begins_substream(e.offset);
  });
  if (!offsets_sound) {
    std::vector<std::size_t> starts;
    for (std::size_t at = records.next_offset(); starts.size() < sheets.size() && begins_substream(at);) {
      starts.push_back(at);
      at = scan_substream(s, at, s.size()).end;
    }
    if (starts.size() != sheets.size()) throw_bad_format("the sheets do not begin where the workbook says");
    for (std::size_t i = 0; i < sheets.size(); ++i) sheets[i].offset = starts[i];
  }

  // The worksheets: BOUNDSHEET says so and the substream it points to is one.
  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < sheets.size(); ++i)
    if (sheets[i].type == 0 && le16(s, sheets[i].offset + 6) == biff::substream_worksheet) candidates.push_back(i);
  // Each worksheet is read up to its EOF or the next worksheet, whichever comes
  // first, so that no record is read for two of them.
  std::vector<std::size_t> sorted;
  for (auto i : candidates) sorted.push_back(sheets[i].offset);
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end())
    throw_bad_format("two worksheets begin at the same record");
  std::vector<long> worksheet_of(sheets.size(), -1);
  for (auto i : candidates) {
    std::size_t offset = sheets[i].offset;
    auto next = std::upper_bound(sorted.begin(), sorted.end(), offset);
    substream_scan sub = scan_substream(s, offset, next == sorted.end() ? s.size() : *next);
    if (sub.dialog) continue;
    worksheet_of[i] = static_cast<long>(sheet_names_.size());
    sheet_names_.push_back(sheets[i].name);
    extents_.push_back({offset, sub.end});
  }
  named_ranges_ = names.resolve(worksheet_of, biff8);
}

std::unique_ptr<row_cursor> xls_workbook::open_sheet(std::size_t index) const {
  if (index >= sheet_names_.size()) throw_jet(err_object_not_found, std::to_string(index));
  std::call_once(strings_read_, [&] {
    if (sst_offset_ == std::string::npos) return;
    biff_record_reader records(book_->stream, sst_offset_);
    records.next();
    book_->strings = biff_shared_strings::read(records.continued());
  });
  return std::make_unique<biff_sheet_cursor>(book_, extents_[index].offset, extents_[index].end);
}

}  // namespace jet
