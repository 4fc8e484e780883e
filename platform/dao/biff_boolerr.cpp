#include "platform/dao/biff_boolerr.h"

#include <algorithm>

#include "platform/dao/le_bytes.h"

namespace jet {

namespace {

constexpr std::uint16_t rec_bof = 0x0809, rec_eof = 0x000A, rec_filepass = 0x002F, rec_boundsheet = 0x0085,
                        rec_boolerr = 0x0205;
constexpr std::size_t max_sheets = 65535;


// Walks the records from offset to the EOF that closes the substream begun there
// (substreams nested inside, such as embedded charts, are passed over); false
// when the records run off the stream or the budget of bytes is spent.
template <class Visit>
bool walk(std::string_view stream, std::size_t offset, std::size_t& budget, Visit visit) {
  int depth = 0;
  for (std::size_t at = offset; at + 4 <= stream.size();) {
    std::uint16_t type = le16(stream, at);
    std::size_t length = le16(stream, at + 2);
    if (at + 4 + length > stream.size() || budget < 4 + length) return false;
    budget -= 4 + length;
    std::string_view data = stream.substr(at + 4, length);
    at += 4 + length;
    if (type == rec_bof) {
      ++depth;
    } else if (type == rec_eof) {
      if (--depth <= 0) return true;
    } else if (depth == 1 && !visit(type, data)) {
      return false;
    }
    if (depth == 0) return false;  // the substream does not start with BOF
  }
  return false;
}

}  // namespace

std::vector<boolerr_sheet> read_boolerr_cells(std::string_view stream) {
  // A sound file is read a little more than once; a file whose sheets all claim
  // the same records cannot make this quadratic.
  std::size_t budget = stream.size() * 2 + 4096;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> sheets;  // offset of the sheet's BOF, type
  bool ok = walk(stream, 0, budget, [&](std::uint16_t type, std::string_view data) {
    if (type == rec_filepass) return false;
    if (type == rec_boundsheet && data.size() >= 6) {
      if (sheets.size() >= max_sheets) return false;
      sheets.emplace_back(le32(data, 0), static_cast<std::uint8_t>(data[5]));
    }
    return true;
  });
  if (!ok) return {};

  std::vector<boolerr_sheet> out(sheets.size());
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    out[i].type = sheets[i].second;
    if (out[i].type != 0) continue;  // only worksheets hold cells
    auto& cells = out[i].cells;
    ok = walk(stream, sheets[i].first, budget, [&](std::uint16_t type, std::string_view data) {
      if (type == rec_boolerr && data.size() >= 8)
        cells.push_back({le16(data, 0), le16(data, 2), data[7] != 0, static_cast<std::uint8_t>(data[6])});
      return true;
    });
    if (!ok) return {};
    std::stable_sort(cells.begin(), cells.end(), [](const boolerr_cell& a, const boolerr_cell& b) {
      return a.row != b.row ? a.row < b.row : a.col < b.col;
    });
  }
  return out;
}

}  // namespace jet
