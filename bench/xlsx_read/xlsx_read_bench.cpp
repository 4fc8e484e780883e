// Workbook reading benchmark.
//   xlsx_read_bench generate FILE ROWS   writes the workbook
//   xlsx_read_bench read FILE            lists its worksheets, reads every one to the end
//                                        (xls_reader::open_xls, dao_database::get_table)
// and prints BENCH lines: rows per second, peak memory, listing time.
#include <sys/resource.h>
#include <xlsxwriter.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "UDB/udb_rec.h"
#include "dao/dao_db.h"
#include "dao/dao_engi.h"
#include "dao/xls_reader.h"

namespace {

int generate(const char* path, long rows) {
  lxw_workbook* book = workbook_new(path);
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Rows");
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd hh:mm:ss");
  const char* heads[] = {"Id", "Amount", "When", "Code", "Comment", "Active", "Ratio", "Note"};
  for (int c = 0; c < 8; ++c) worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), heads[c], nullptr);
  static const char* const words[] = {"invoice", "shipment", "Zürich", "delivery", "returned", "pending",
                                     "customer", "warehouse", "quarterly", "adjustment", "€", "approved",
                                     "backorder", "discount", "regional", "manager", "note", "urgent"};
  std::uint32_t seed = 12345;
  char buf[64];
  for (long r = 1; r <= rows; ++r) {
    lxw_row_t row = static_cast<lxw_row_t>(r);
    worksheet_write_number(sheet, row, 0, static_cast<double>(r), nullptr);
    worksheet_write_number(sheet, row, 1, r * 1.25, nullptr);
    lxw_datetime when{2000 + static_cast<int>(r % 25), 1 + static_cast<int>(r % 12), 1 + static_cast<int>(r % 28),
                      static_cast<int>(r % 24), static_cast<int>(r % 60), static_cast<double>(r % 60)};
    worksheet_write_datetime(sheet, row, 2, &when, date);
    std::snprintf(buf, sizeof buf, "C%05ld", r % 50000);
    worksheet_write_string(sheet, row, 3, buf, nullptr);
    std::string comment;
    while (comment.size() < 160) {
      seed = seed * 1103515245u + 12345u;
      comment += words[(seed >> 16) % (sizeof words / sizeof *words)];
      comment += ' ';
    }
    std::snprintf(buf, sizeof buf, "row %ld", r);
    worksheet_write_string(sheet, row, 4, (comment + buf).c_str(), nullptr);
    worksheet_write_boolean(sheet, row, 5, static_cast<int>(r % 2), nullptr);
    worksheet_write_number(sheet, row, 6, 1.0 / static_cast<double>(r), nullptr);
    std::snprintf(buf, sizeof buf, "note %ld", r % 997);
    worksheet_write_string(sheet, row, 7, buf, nullptr);
  }
  return workbook_close(book) == LXW_NO_ERROR ? 0 : 1;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A conversion driver's reader, as the programs derive theirs.
struct bench_reader : xls_reader {
  bool test_query(const std::wstring&) override { return true; }
};

int read(const char* path) {
  std::string narrow = path;
  std::wstring wide(narrow.begin(), narrow.end());

  // Listing, as the worksheet page does it: an engine of its own, the table list.
  auto start = std::chrono::steady_clock::now();
  bench_reader reader;
  reader.set_src(wide);
  std::vector<std::wstring> sheets;
  if (!reader.get_all_sheets(sheets)) return 1;
  double list_seconds = seconds_since(start);

  // The run: every worksheet read to the end, every field's value taken.
  start = std::chrono::steady_clock::now();
  long rows = 0;
  std::size_t checksum = 0;
  {
    dao_engine engine;
    if (!engine.set_version_if(dao_version_ace12) && !engine.set_version_if(dao_version_36)) return 1;
    auto db = xls_reader::open_xls(engine, wide, true);
    for (const auto& [display, table] : reader.get_sheets()) {
      auto rs = db->get_table(table, 1);
      for (; !rs->is_eof(); rs->next()) {
        udb_record* record = rs->get_record();
        for (std::size_t i = 0; i < record->size(); ++i) checksum += (*record)[i].get_type();
        ++rows;
      }
    }
  }
  double read_seconds = seconds_since(start);

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("read %ld rows in %.3f s (checksum %zu)\n", rows, read_seconds, checksum);
  std::printf("BENCH xlsx_read_rows_per_s %.0f rows/s target >= 300000\n", rows / read_seconds);
  std::printf("BENCH xlsx_read_peak_mb %.1f MB target <= 200\n", usage.ru_maxrss / 1024.0);
  std::printf("BENCH xlsx_list_s %.3f s target <= 0.2\n", list_seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "generate") == 0) return generate(argv[2], std::atol(argv[3]));
  if (argc >= 3 && std::strcmp(argv[1], "read") == 0) return read(argv[2]);
  std::fprintf(stderr, "usage: xlsx_read_bench generate FILE ROWS | read FILE\n");
  return 2;
}
