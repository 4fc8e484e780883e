#include "platform/dao/biff_names.h"

#include "platform/dao/jet_error.h"
#include "platform/dao/le_bytes.h"

namespace jet {

namespace {

constexpr std::size_t max_names = 65536;
constexpr std::uint16_t name_hidden = 0x0001, name_function = 0x0002, name_macro = 0x0008, name_builtin = 0x0020;

bool is_area3d(std::uint8_t ptg) { return ptg == 0x3B || ptg == 0x5B || ptg == 0x7B; }
bool is_ref3d(std::uint8_t ptg) { return ptg == 0x3A || ptg == 0x5A || ptg == 0x7A; }

}  // namespace

void biff_names::add_name(biff_data data, const biff_text& text) {
  if (names_.size() >= max_names) throw_bad_format("too many defined names");
  std::uint16_t options = data.u16();
  data.u8();  // keyboard shortcut
  std::size_t length = data.u8();
  std::size_t formula_size = data.u16();
  data.u16();
  std::uint16_t sheet = data.u16();  // 1-based for a name local to a sheet
  data.skip(4);
  std::string name;
  if (text.biff8) {
    name = length ? read_biff8_chars(data, length) : std::string();
  } else {
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i) bytes.push_back(static_cast<char>(data.u8()));
    if (text.codepage) text.codepage->append(bytes, name);
  }
  if (options & (name_hidden | name_function | name_macro | name_builtin) || sheet != 0 || name.empty() ||
      name.starts_with("_xlnm."))
    return;
  if (formula_size > data.left()) throw_bad_format("a defined name's formula runs past its record");
  std::string formula;
  for (std::size_t i = 0; i < formula_size; ++i) formula.push_back(static_cast<char>(data.u8()));
  names_.push_back({std::move(name), std::move(formula)});
}

void biff_names::add_externsheet(biff_data data) {
  std::size_t count = data.u16();
  if (count > data.left() / 6) throw_bad_format("EXTERNSHEET holds fewer references than it counts");
  xtis_.clear();
  for (std::size_t i = 0; i < count; ++i) {
    std::uint16_t supbook = data.u16();
    auto first = static_cast<std::int16_t>(data.u16());
    auto last = static_cast<std::int16_t>(data.u16());
    xtis_.push_back({supbook, first, last});
  }
}

void biff_names::add_supbook(std::string_view data) {
  if (supbook_internal_.size() >= max_names) throw_bad_format("too many SUPBOOK records");
  // The workbook itself: a sheet count, then 0x0401 in place of a file name.
  supbook_internal_.push_back(data.size() == 4 && le16(data, 2) == 0x0401);
}

std::vector<named_range> biff_names::resolve(const std::vector<long>& worksheet_of, bool biff8) const {
  std::vector<named_range> out;
  for (const auto& entry : names_) {
    std::string_view f = entry.formula;
    if (f.empty()) continue;
    std::uint8_t ptg = static_cast<std::uint8_t>(f[0]);
    long sheet = -1;
    cell_area area;
    if (biff8) {
      bool area3d = is_area3d(ptg) && f.size() == 11, ref3d = is_ref3d(ptg) && f.size() == 7;
      if (!area3d && !ref3d) continue;
      std::size_t ixti = le16(f, 1);
      if (ixti >= xtis_.size()) continue;
      const xti& x = xtis_[ixti];
      if (x.supbook >= supbook_internal_.size() || !supbook_internal_[x.supbook] || x.first != x.last || x.first < 0)
        continue;
      sheet = x.first;
      if (area3d) {
        area = {le16(f, 3), le16(f, 5), le16(f, 7) & 0x3FFFu, le16(f, 9) & 0x3FFFu};
      } else {
        area.first_row = area.last_row = le16(f, 3);
        area.first_col = area.last_col = le16(f, 5) & 0x3FFFu;
      }
    } else {
      // Excel 5: a negative index names a sheet of this workbook, by the sheet numbers that follow.
      bool area3d = is_area3d(ptg) && f.size() == 21, ref3d = is_ref3d(ptg) && f.size() == 18;
      if (!area3d && !ref3d) continue;
      auto link = static_cast<std::int16_t>(le16(f, 1));
      auto first = static_cast<std::int16_t>(le16(f, 11)), last = static_cast<std::int16_t>(le16(f, 13));
      if (link >= 0 || first != last || first < 0) continue;
      sheet = first;
      if (area3d) {
        area = {le16(f, 15) & 0x3FFFu, le16(f, 17) & 0x3FFFu, static_cast<std::uint8_t>(f[19]),
                static_cast<std::uint8_t>(f[20])};
      } else {
        area.first_row = area.last_row = le16(f, 15) & 0x3FFFu;
        area.first_col = area.last_col = static_cast<std::uint8_t>(f[17]);
      }
    }
    if (sheet >= static_cast<long>(worksheet_of.size()) || worksheet_of[sheet] < 0) continue;
    if (area.first_row > area.last_row || area.first_col > area.last_col || area.last_col >= max_cols) continue;
    out.push_back({entry.name, static_cast<std::size_t>(worksheet_of[sheet]), area});
  }
  return out;
}

}  // namespace jet
