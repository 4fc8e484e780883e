// Mutated worksheet XML read by our own XML reader and by expat: where both read
// the sheet to its end the cells must be the same, and for input in ASCII both
// must give the same verdict (non-ASCII names are not judged alike: we take any
// non-ASCII character as a name character). Our reader also reads the sheet in
// segments on several threads, which must give exactly what it gives on one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "package.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/xlsx_workbook.h"

namespace {

struct sheet_read {
  std::vector<jet::sheet_row> rows;
  bool failed = false;
  std::string error;
};

// Segments of this many bytes (0: read on one thread).
sheet_read read(const jet::xlsx_workbook& book, jet::xml_scan::engine engine, std::size_t segment_bytes = 0) {
  sheet_read out;
  try {
    auto cursor = segment_bytes ? book.open_sheet(0, engine, segment_bytes, 2) : book.open_sheet(0, engine, 0, 0);
    jet::sheet_row row;
    while (cursor->next(row) && out.rows.size() < 10000) out.rows.push_back(row);
  } catch (const jet::jet_error& e) {
    out.failed = true;
    out.error = e.what();
  }
  return out;
}

bool same(const jet::cell& a, const jet::cell& b) {
  if (a.kind != b.kind || a.text != b.text || a.currency != b.currency || a.boolean != b.boolean) return false;
  return std::memcmp(&a.number, &b.number, sizeof a.number) == 0;
}

bool same(const jet::sheet_row& a, const jet::sheet_row& b) {
  if (a.index != b.index) return false;
  const jet::cell none;
  for (std::size_t c = 0; c < std::max(a.cells.size(), b.cells.size()); ++c)
    if (!same(c < a.cells.size() ? a.cells[c] : none, c < b.cells.size() ? b.cells[c] : none)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string sheet(reinterpret_cast<const char*>(data), size);
  std::string bytes = worksheet_package(sheet, "<sst><si><t>a</t></si><si><t>b_x0041_</t></si></sst>");
  std::unique_ptr<jet::xlsx_workbook> book;
  try {
    book = std::make_unique<jet::xlsx_workbook>(jet::zip_package::open_memory(bytes));
  } catch (const jet::jet_error&) {
    return 0;
  }
  auto ours = read(*book, jet::xml_scan::engine::automatic);
  auto theirs = read(*book, jet::xml_scan::engine::expat);
  // Read in segments on several threads: the same rows and the same error as
  // read from start to end.
  for (std::size_t segment_bytes : {std::size_t{7}, std::size_t{61}}) {
    auto split = read(*book, jet::xml_scan::engine::automatic, segment_bytes);
    if (split.failed != ours.failed || split.error != ours.error || split.rows.size() != ours.rows.size())
      std::abort();
    for (std::size_t r = 0; r < ours.rows.size(); ++r)
      if (!same(ours.rows[r], split.rows[r])) std::abort();
  }
  bool ascii = true;
  for (std::uint8_t b : sheet) ascii = ascii && b < 0x80;
  if (ascii && ours.failed != theirs.failed) std::abort();
  if (ours.failed || theirs.failed) return 0;
  if (ours.rows.size() != theirs.rows.size()) std::abort();
  for (std::size_t r = 0; r < ours.rows.size(); ++r)
    if (!same(ours.rows[r], theirs.rows[r])) std::abort();
  return 0;
}
