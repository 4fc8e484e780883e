#include "platform/dao/xlsx_sheet.h"

#include <charconv>
#include <cstring>

#include "platform/dao/cell_ref.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/number_text.h"
#include "platform/dao/serial_date.h"

namespace jet {

namespace {

// Excel holds at most 32767 characters in a cell; other writers may hold more,
// but nothing sound holds this much.
constexpr std::size_t max_cell_bytes = 16u << 20;

bool is(const char* value, std::string_view text) { return value && text == value; }

// An attribute value as a view; values in a worksheet are short, so a loop does
// better than a call to strlen.
std::string_view view_of(const char* value) {
  const char* end = value;
  while (*end) ++end;
  return std::string_view(value, static_cast<std::size_t>(end - value));
}

// An attribute's local name as a single letter, or 0 for a longer name.
char single_letter_name(const char* name) {
  if (name[0] && !name[1]) return name[0];
  std::string_view local = xml_scan::local_name(name);
  return local.size() == 1 ? local[0] : 0;
}

}  // namespace

xlsx_sheet_cursor::xlsx_sheet_cursor(zip_package::part_stream part, const xlsx_shared_strings& strings,
                                     const xlsx_styles& styles, bool date1904, xml_scan::engine engine)
    : xml_scan(std::move(part), engine), strings_(strings), styles_(styles), date1904_(date1904) {}

xlsx_sheet_cursor::xlsx_sheet_cursor(xml_scan::feed& source, const xlsx_shared_strings& strings,
                                     const xlsx_styles& styles, bool date1904)
    : xml_scan(source), strings_(strings), styles_(styles), date1904_(date1904) {}

xlsx_sheet_cursor::position xlsx_sheet_cursor::where() const {
  return {state(), in_sheet_data_, in_row_, in_cell_, in_value_, in_inline_, in_text_, phonetic_, last_row_};
}

void xlsx_sheet_cursor::move_to(const position& at) {
  set_state(at.scan);
  in_sheet_data_ = at.in_sheet_data;
  in_row_ = at.in_row;
  in_cell_ = at.in_cell;
  in_value_ = at.in_value;
  in_inline_ = at.in_inline;
  in_text_ = at.in_text;
  phonetic_ = at.phonetic;
  last_row_ = at.last_row;
}

bool xlsx_sheet_cursor::next(sheet_row& row) {
  row_ = &row;
  bool got = pump();
  row_ = nullptr;
  return got;
}

void xlsx_sheet_cursor::on_start(std::string_view name, const char** attributes) {
  if (!in_sheet_data_) {
    if (name == "sheetData") in_sheet_data_ = true;
    return;
  }
  if (name == "row") {
    const char* r = nullptr;
    for (const char** a = attributes; a && a[0]; a += 2)
      if (single_letter_name(a[0]) == 'r') r = a[1];
    long long index = last_row_ + 1;
    if (r) {
      long long given = 0;
      std::string_view text = view_of(r);
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), given);
      if (ec != std::errc() || *end || given < 1 || given > max_rows) throw_bad_format("bad row number");
      index = given - 1;
    }
    if (index <= last_row_) throw_bad_format("rows out of order");
    if (index >= max_rows) throw_bad_format("too many rows");
    last_row_ = index;
    last_col_ = -1;
    in_row_ = true;
    if (row_) {
      row_->index = static_cast<std::uint32_t>(index);
      for (auto& c : row_->cells) c.kind = cell_kind::empty;
    }
  } else if (name == "c" && in_row_) {
    // One pass over the attributes: r (reference), t (type), s (style).
    const char* r = nullptr;
    const char* t = nullptr;
    const char* s = nullptr;
    for (const char** a = attributes; a && a[0]; a += 2) {
      char letter = single_letter_name(a[0]);
      if (letter == 'r') r = a[1];
      else if (letter == 't') t = a[1];
      else if (letter == 's') s = a[1];
    }
    long long col = last_col_ + 1;
    if (r) {
      auto given = parse_column_of(view_of(r));
      if (!given) throw_bad_format("bad cell reference");
      col = *given;
    }
    if (col >= max_cols) throw_bad_format("too many columns");
    last_col_ = col;
    col_ = static_cast<std::uint32_t>(col);
    type_ = !t || is(t, "n")   ? value_type::number
            : is(t, "s")         ? value_type::shared
            : is(t, "str")       ? value_type::str
            : is(t, "inlineStr") ? value_type::inline_str
            : is(t, "b")         ? value_type::boolean
            : is(t, "e")         ? value_type::error
            : is(t, "d")         ? value_type::date
                                 : value_type::str;
    style_ = 0;
    if (s) {
      std::size_t style = 0;
      std::string_view text = view_of(s);
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), style);
      if (ec == std::errc()) style_ = style;
    }
    value_.clear();
    in_cell_ = true;
  } else if (in_cell_) {
    if (name == "v") {
      in_value_ = true;
    } else if (name == "is") {
      in_inline_ = true;
    } else if (name == "rPh") {
      ++phonetic_;
    } else if (name == "t" && in_inline_ && !phonetic_) {
      in_text_ = true;
    }
  }
}

void xlsx_sheet_cursor::on_end(std::string_view name) {
  if (!in_sheet_data_) return;
  if (name == "sheetData") {
    in_sheet_data_ = false;
  } else if (name == "row" && in_row_) {
    in_row_ = false;
    suspend();
  } else if (name == "c" && in_cell_) {
    finish_cell();
    in_cell_ = in_value_ = in_inline_ = in_text_ = false;
    phonetic_ = 0;
  } else if (name == "v") {
    in_value_ = false;
  } else if (name == "is") {
    in_inline_ = false;
  } else if (name == "rPh") {
    if (phonetic_) --phonetic_;
  } else if (name == "t") {
    in_text_ = false;
  }
}

void xlsx_sheet_cursor::on_text(std::string_view text) {
  bool wanted = type_ == value_type::inline_str ? in_text_ : in_value_;
  if (!wanted) return;
  if (value_.size() + text.size() > max_cell_bytes) throw_bad_format("cell text beyond its bound");
  value_.append(text);
}

void xlsx_sheet_cursor::finish_cell() {
  if (!row_) return;
  if (value_.empty() && type_ != value_type::inline_str) return;  // no value: an empty cell
  auto& cells = row_->cells;
  if (col_ >= cells.size()) cells.resize(col_ + 1);
  cell& c = cells[col_];
  c.currency = false;
  switch (type_) {
    case value_type::shared: {
      std::size_t index = 0;
      auto [end, ec] = std::from_chars(value_.data(), value_.data() + value_.size(), index);
      if (ec != std::errc() || end != value_.data() + value_.size())
        throw_bad_format("bad shared string index");
      auto text = strings_.at(index);
      if (text.empty()) return;
      c.kind = cell_kind::text;
      c.text.assign(text);
      return;
    }
    case value_type::str:
    case value_type::inline_str:
      decode_ooxml_escapes(value_);
      if (value_.empty()) return;
      c.kind = cell_kind::text;
      c.text.swap(value_);
      return;
    case value_type::boolean:
      c.kind = cell_kind::boolean;
      c.boolean = value_ == "1" || value_ == "true" || value_ == "TRUE";
      return;
    case value_type::error:
      c.kind = cell_kind::error;
      c.text.swap(value_);
      return;
    case value_type::date:
      if (auto date = parse_iso_date(value_)) {
        c.kind = cell_kind::date;
        c.number = *date;
      } else if (auto serial = parse_iso_duration(value_)) {
        // A time of a Strict file: its serial number, read as in any other file.
        set_number_cell(c, *serial, styles_.at(style_), date1904_);
      } else {
        c.kind = cell_kind::text;
        c.text.swap(value_);
      }
      return;
    case value_type::number: {
      auto number = parse_number(value_);
      if (!number) {
        c.kind = cell_kind::text;
        c.text.swap(value_);
        return;
      }
      set_number_cell(c, *number, styles_.at(style_), date1904_);
      return;
    }
  }
}

}  // namespace jet
