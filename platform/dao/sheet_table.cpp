#include "platform/dao/sheet_table.h"

#include <cmath>

#include "platform/dao/dao_types.h"
#include "platform/dao/excel_names.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/number_text.h"
#include "platform/dao/serial_date.h"

namespace jet {

namespace {

constexpr std::size_t text_size = 255;

struct column_stats {
  bool number = false, date = false, boolean = false, text = false;
  bool all_currency = true;
  std::size_t longest = 0;

  void add(const cell& c) {
    switch (c.kind) {
      case cell_kind::number:
        number = true;
        if (all_currency) {
          double scaled = c.number * 10000.0;
          all_currency = c.currency && std::fabs(scaled) < 9.2e18 &&
                         static_cast<double>(std::llround(scaled)) / 10000.0 == c.number;
        }
        break;
      case cell_kind::date: date = true; break;
      case cell_kind::boolean: boolean = true; break;
      case cell_kind::text:
        text = true;
        if (c.text.size() > longest) longest = std::max(longest, utf16_length(c.text));
        break;
      default: break;
    }
  }

  field_def decide() const {
    int kinds = number + date + boolean + text;
    if (kinds == 1 && number) return all_currency ? field_def{"", dbCurrency, 8} : field_def{"", dbDouble, 8};
    if (kinds == 1 && date) return {"", dbDate, 8};
    if (kinds == 1 && boolean) return {"", dbBoolean, 1};
    if (longest > text_size) return {"", dbMemo, 0};
    return {"", dbText, static_cast<long>(text_size)};
  }
};

std::string header_text(const cell& c) {
  switch (c.kind) {
    case cell_kind::text: return c.text;
    case cell_kind::number: return number_text(c.number);
    case cell_kind::date: return ole_date_text(c.number);
    case cell_kind::boolean: return c.boolean ? "TRUE" : "FALSE";
    default: return "";
  }
}

bool has_value(const cell& c) { return c.kind != cell_kind::empty; }

}  // namespace

std::size_t utf16_length(std::string_view utf8) {
  std::size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++units;
    if (c >= 0xF0) ++units;
  }
  return units;
}

table_def scan_table(const workbook& book, const std::string& name, std::size_t sheet, const cell_area* range,
                     bool header_row, row_store* keep) {
  table_def def;
  def.name = name;
  def.sheet = sheet;
  auto rows = book.open_sheet(sheet);
  sheet_row row;
  std::vector<column_stats> stats;
  std::vector<std::string> headers;
  bool seen = false;
  std::uint32_t first_row = 0, last_row = 0, first_col = 0, last_col = 0;
  std::uint32_t header_index = range ? range->first_row : 0;
  bool header_pending = header_row;
  for (;;) {
    if (!rows->next(row)) {
      if (keep) keep->finish();
      break;
    }
    if (keep) keep->add(row);
    if (range && row.index < range->first_row) continue;
    if (range && row.index > range->last_row) break;
    std::uint32_t lo = range ? range->first_col : 0;
    std::uint32_t hi = static_cast<std::uint32_t>(row.cells.size());
    if (range) hi = std::min<std::uint32_t>(hi, range->last_col + 1);
    bool any = false;
    for (std::uint32_t c = lo; c < hi; ++c) {
      if (!has_value(row.cells[c])) continue;
      if (!seen || c < first_col) first_col = c;
      if (!seen || c > last_col) last_col = c;
      if (!seen) first_row = row.index;
      seen = any = true;
    }
    if (!any) continue;
    last_row = row.index;
    if (!range && header_pending) header_index = row.index;
    if (header_pending && row.index == header_index) {
      headers.resize(hi);
      for (std::uint32_t c = lo; c < hi; ++c) headers[c] = header_text(row.cells[c]);
      header_pending = false;
      continue;
    }
    header_pending = false;
    if (stats.size() < hi) stats.resize(hi);
    for (std::uint32_t c = lo; c < hi; ++c) stats[c].add(row.cells[c]);
  }

  if (range) {
    // A named range keeps its columns; its rows end with the sheet's last row.
    first_col = range->first_col;
    last_col = range->last_col;
    first_row = range->first_row;
    last_row = seen ? std::min(range->last_row, last_row) : range->first_row;
    seen = true;
  }
  if (!seen) {
    def.fields.push_back({"F1", dbText, static_cast<long>(text_size)});
    return def;
  }
  std::size_t columns = last_col - first_col + 1;
  if (columns > max_fields) throw_jet(err_too_many_fields);
  std::uint32_t data_first = header_row ? first_row + 1 : first_row;
  def.area = {data_first, last_row, first_col, last_col};
  def.empty = data_first > last_row;
  def.record_count = def.empty ? 0 : last_row - data_first + 1;

  std::vector<std::string> names_in;
  if (header_row)
    for (std::uint32_t c = first_col; c <= last_col; ++c) names_in.push_back(c < headers.size() ? headers[c] : "");
  auto names = field_names(names_in, columns);
  for (std::size_t i = 0; i < columns; ++i) {
    std::size_t c = first_col + i;
    field_def f = c < stats.size() ? stats[c].decide() : column_stats{}.decide();
    f.name = names[i];
    def.fields.push_back(std::move(f));
  }
  return def;
}

void cell_to_value(const cell& c, int field_type, value& out) {
  if (c.kind == cell_kind::empty || c.kind == cell_kind::error) {
    out.type = value::kind::null;
    return;
  }
  switch (field_type) {
    case dbDouble:
      out.type = value::kind::number;
      out.number = c.number;
      return;
    case dbCurrency:
      out.type = value::kind::currency;
      out.integer = std::llround(c.number * 10000.0);
      return;
    case dbDate:
      out.type = value::kind::date;
      out.number = c.number;
      return;
    case dbBoolean:
      out.type = value::kind::boolean;
      out.boolean = c.boolean;
      return;
    default:
      out.type = value::kind::text;
      switch (c.kind) {
        case cell_kind::text: out.text.assign(c.text); return;
        case cell_kind::number: out.text = number_text(c.number); return;
        case cell_kind::date: out.text = ole_date_text(c.number); return;
        case cell_kind::boolean: out.text = c.boolean ? "TRUE" : "FALSE"; return;
        default: out.type = value::kind::null; return;
      }
  }
}

table_cursor::table_cursor(const workbook& book, const table_def& def) : def_(def) {
  if (!def.empty) rows_ = book.open_sheet(def.sheet);
}

table_cursor::table_cursor(const table_def& def, std::unique_ptr<row_cursor> rows)
    : def_(def), rows_(std::move(rows)) {}

bool table_cursor::next(std::vector<value>& record) {
  if (def_.empty || produced_ >= def_.record_count) return false;
  std::uint32_t want = def_.area.first_row + produced_;
  while (!rows_done_ && (!have_row_ || row_.index < want)) {
    have_row_ = rows_->next(row_);
    if (!have_row_) rows_done_ = true;
  }
  std::size_t columns = def_.fields.size();
  record.resize(columns);
  bool present = have_row_ && row_.index == want;
  for (std::size_t i = 0; i < columns; ++i) {
    std::size_t c = def_.area.first_col + i;
    if (present && c < row_.cells.size())
      cell_to_value(row_.cells[c], def_.fields[i].type, record[i]);
    else
      record[i].type = value::kind::null;
  }
  ++produced_;
  return true;
}

}  // namespace jet
