#include "platform/dao/biff_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/dao/biff_records.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/le_bytes.h"

namespace jet {

namespace {

enum stored_kind : std::uint8_t { k_number, k_shared, k_text, k_boolean, k_error };

constexpr std::uint8_t error_num = 0x24;

double le_double(std::string_view data, std::size_t at) {
  std::uint64_t bits = le32(data, at) | std::uint64_t{le32(data, at + 4)} << 32;
  double v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// An RK value: a 30-bit integer or the high 30 bits of a double, divided by 100
// when its lowest bit says so.
double rk_number(std::uint32_t rk) {
  double v;
  if (rk & 2) {
    v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    std::uint64_t bits = std::uint64_t{rk & 0xFFFFFFFCu} << 32;
    std::memcpy(&v, &bits, sizeof v);
  }
  return rk & 1 ? v / 100 : v;
}

}  // namespace

const char* biff_error_text(std::uint8_t code) {
  switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    default: return "#N/A";
  }
}

biff_sheet_cursor::biff_sheet_cursor(std::shared_ptr<const biff_book> book, std::size_t offset, std::size_t end)
    : book_(std::move(book)) {
  read(offset, end);
}

void biff_sheet_cursor::add(std::uint16_t row, std::uint16_t col, std::uint16_t style, std::uint8_t kind,
                            double number, std::uint32_t index, std::uint8_t code) {
  if (col >= max_cols) throw_bad_format("a cell beyond the last column");
  if (kind == k_number && !std::isfinite(number)) {
    kind = k_error;  // no spreadsheet stores an infinity or NaN as a number
    code = error_num;
  }
  cells_.push_back({row, col, style, kind, code, index, number});
}

void biff_sheet_cursor::read(std::size_t offset, std::size_t end) {
  const biff_book& book = *book_;
  biff_record_reader records(book.stream, offset, end);
  cells_.reserve((end - offset) / 14);  // a cell record takes at least 14 bytes
  int depth = 0;
  // The formula whose text result the next STRING record holds.
  std::size_t pending = std::string::npos;
  while (records.next()) {
    std::uint16_t type = records.type();
    if (type == biff::bof) {
      ++depth;
      continue;
    }
    if (type == biff::eof) {
      if (--depth <= 0) break;
      continue;
    }
    if (depth != 1) continue;  // a chart embedded in the worksheet
    std::string_view data = records.data();
    auto need = [&](std::size_t size) {
      if (data.size() < size) throw_bad_format("a cell record is shorter than its contents");
    };
    switch (type) {
      case biff::number:
        need(14);
        pending = std::string::npos;
        add(le16(data, 0), le16(data, 2), le16(data, 4), k_number, le_double(data, 6));
        break;
      case biff::rk:
        need(10);
        pending = std::string::npos;
        add(le16(data, 0), le16(data, 2), le16(data, 4), k_number, rk_number(le32(data, 6)));
        break;
      case biff::mulrk: {
        need(6);
        pending = std::string::npos;
        std::size_t count = (data.size() - 6) / 6;
        if ((data.size() - 6) % 6 != 0) throw_bad_format("a MULRK record of a wrong length");
        std::uint16_t row = le16(data, 0), first = le16(data, 2);
        if (first + count > 0xFFFF) throw_bad_format("a cell beyond the last column");
        for (std::size_t i = 0; i < count; ++i)
          add(row, static_cast<std::uint16_t>(first + i), le16(data, 4 + i * 6), k_number,
              rk_number(le32(data, 6 + i * 6)));
        break;
      }
      case biff::labelsst: {
        need(10);
        pending = std::string::npos;
        std::uint32_t index = le32(data, 6);
        if (index >= book.strings.size()) throw_bad_format("a shared string index beyond the table");
        add(le16(data, 0), le16(data, 2), le16(data, 4), k_shared, 0, index);
        break;
      }
      case biff::label:
      case biff::rstring: {
        need(6);
        pending = std::string::npos;
        biff_data d = records.continued();
        d.skip(6);
        texts_.push_back(read_biff_string(d, book.text, 2));
        add(le16(data, 0), le16(data, 2), le16(data, 4), k_text, 0, static_cast<std::uint32_t>(texts_.size() - 1));
        break;
      }
      case biff::boolerr:
        need(8);
        pending = std::string::npos;
        add(le16(data, 0), le16(data, 2), le16(data, 4), data[7] ? k_error : k_boolean, 0, 0,
            static_cast<std::uint8_t>(data[6]));
        break;
      case biff::formula: {
        need(14);
        pending = std::string::npos;
        std::uint16_t row = le16(data, 0), col = le16(data, 2), style = le16(data, 4);
        if (le16(data, 12) != 0xFFFF) {
          add(row, col, style, k_number, le_double(data, 6));
          break;
        }
        std::uint8_t result = static_cast<std::uint8_t>(data[6]), value = static_cast<std::uint8_t>(data[8]);
        if (result == 0) {
          // Text: its STRING record follows, after any SHRFMLA, ARRAY or TABLE record.
          texts_.emplace_back();
          add(row, col, style, k_text, 0, static_cast<std::uint32_t>(texts_.size() - 1));
          pending = texts_.size() - 1;
        } else if (result == 1) {
          add(row, col, style, k_boolean, 0, 0, value);
        } else if (result == 2) {
          add(row, col, style, k_error, 0, 0, value);
        }
        // 3 is the empty string: an empty cell.
        break;
      }
      case biff::string:
        if (pending != std::string::npos) {
          biff_data d = records.continued();
          texts_[pending] = read_biff_string(d, book.text, 2);
          pending = std::string::npos;
        }
        break;
      case biff::blank:
      case biff::mulblank:
        pending = std::string::npos;
        break;
      default:
        break;  // SHRFMLA, ARRAY, TABLE and the records that are no cells
    }
  }
  bool ordered = std::is_sorted(cells_.begin(), cells_.end(), [](const stored_cell& a, const stored_cell& b) {
    return a.row != b.row ? a.row < b.row : a.col < b.col;
  });
  if (!ordered)
    std::stable_sort(cells_.begin(), cells_.end(), [](const stored_cell& a, const stored_cell& b) {
      return a.row != b.row ? a.row < b.row : a.col < b.col;
    });
}

void biff_sheet_cursor::fill(const stored_cell& stored, sheet_row& row) const {
  const biff_book& book = *book_;
  std::string_view text;
  if (stored.kind == k_shared) text = book.strings.at(stored.index);
  if (stored.kind == k_text) text = texts_[stored.index];
  if ((stored.kind == k_shared || stored.kind == k_text) && text.empty()) return;  // an empty cell
  if (stored.col >= row.cells.size()) row.cells.resize(stored.col + 1u);
  cell& c = row.cells[stored.col];
  c.currency = false;
  switch (stored.kind) {
    case k_number:
      set_number_cell(c, stored.number, book.formats.at(stored.style), book.date1904);
      break;
    case k_shared:
    case k_text:
      c.kind = cell_kind::text;
      c.text.assign(text);
      break;
    case k_boolean:
      c.kind = cell_kind::boolean;
      c.boolean = stored.code != 0;
      break;
    default:
      c.kind = cell_kind::error;
      c.text = biff_error_text(stored.code);
      break;
  }
}

bool biff_sheet_cursor::next(sheet_row& row) {
  while (next_ < cells_.size()) {
    std::uint16_t index = cells_[next_].row;
    for (auto& c : row.cells) c.kind = cell_kind::empty;
    for (; next_ < cells_.size() && cells_[next_].row == index; ++next_) fill(cells_[next_], row);
    // A row of empty strings only is no row.
    if (std::any_of(row.cells.begin(), row.cells.end(), [](const cell& c) { return c.kind != cell_kind::empty; })) {
      row.index = index;
      return true;
    }
  }
  return false;
}

}  // namespace jet
