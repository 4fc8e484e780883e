#include "platform/dao/cell_ref.h"

namespace jet {

std::optional<cell_pos> parse_cell_ref(std::string_view ref) {
  cell_pos pos;
  std::size_t i = 0;
  if (i < ref.size() && ref[i] == '$') ++i;
  std::uint32_t col = 0;
  std::size_t letters = 0;
  while (i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
    if (++letters > 3) return std::nullopt;
    col = col * 26 + static_cast<std::uint32_t>((ref[i] & ~0x20) - 'A' + 1);
    ++i;
  }
  if (letters) {
    if (col > max_cols) return std::nullopt;
    pos.col = col - 1;
    pos.has_col = true;
  }
  if (i < ref.size() && ref[i] == '$') ++i;
  std::uint32_t row = 0;
  std::size_t digits = 0;
  while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9') {
    if (++digits > 7) return std::nullopt;
    row = row * 10 + static_cast<std::uint32_t>(ref[i] - '0');
    ++i;
  }
  if (digits) {
    if (row == 0 || row > max_rows) return std::nullopt;
    pos.row = row - 1;
    pos.has_row = true;
  }
  if (i != ref.size() || (!letters && !digits)) return std::nullopt;
  return pos;
}

std::optional<std::uint32_t> parse_column_of(std::string_view ref) {
  std::uint32_t col = 0;
  std::size_t letters = 0;
  for (char c : ref) {
    if (c >= 'A' && c <= 'Z') {
      if (++letters > 3) return std::nullopt;
      col = col * 26 + static_cast<std::uint32_t>(c - 'A' + 1);
    } else {
      break;
    }
  }
  if (!letters || col > max_cols) return std::nullopt;
  return col - 1;
}

std::optional<area_ref> parse_area_ref(std::string_view formula) {
  if (!formula.empty() && formula[0] == '=') formula.remove_prefix(1);
  area_ref out;
  std::size_t bang;
  if (!formula.empty() && formula[0] == '\'') {
    std::size_t i = 1;
    for (;;) {
      if (i >= formula.size()) return std::nullopt;
      if (formula[i] == '\'') {
        if (i + 1 < formula.size() && formula[i + 1] == '\'') {
          out.sheet += '\'';
          i += 2;
          continue;
        }
        break;
      }
      out.sheet += formula[i++];
    }
    bang = i + 1;
    if (bang >= formula.size() || formula[bang] != '!') return std::nullopt;
  } else {
    bang = formula.find('!');
    if (bang == std::string_view::npos || bang == 0) return std::nullopt;
    out.sheet = std::string(formula.substr(0, bang));
    if (out.sheet.find_first_of(" ,()[]") != std::string::npos) return std::nullopt;
  }
  std::string_view rest = formula.substr(bang + 1);
  std::size_t colon = rest.find(':');
  auto first = parse_cell_ref(rest.substr(0, colon));
  auto last = colon == std::string_view::npos ? first : parse_cell_ref(rest.substr(colon + 1));
  if (!first || !last || first->has_col != last->has_col || first->has_row != last->has_row) return std::nullopt;
  out.area.first_col = first->has_col ? first->col : 0;
  out.area.last_col = first->has_col ? last->col : max_cols - 1;
  out.area.first_row = first->has_row ? first->row : 0;
  out.area.last_row = first->has_row ? last->row : max_rows - 1;
  if (out.area.first_col > out.area.last_col) std::swap(out.area.first_col, out.area.last_col);
  if (out.area.first_row > out.area.last_row) std::swap(out.area.first_row, out.area.last_row);
  return out;
}

}  // namespace jet
