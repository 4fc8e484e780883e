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

#include "bench_rows.h"
#include "read_workbook.h"

namespace {

int generate(const char* path, long rows) {
  lxw_workbook* book = workbook_new(path);
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Rows");
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd hh:mm:ss");
  for (int c = 0; c < 8; ++c) worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), bench_heads[c], nullptr);
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
    worksheet_write_string(sheet, row, 4, bench_comment(seed, r).c_str(), nullptr);
    worksheet_write_boolean(sheet, row, 5, static_cast<int>(r % 2), nullptr);
    worksheet_write_number(sheet, row, 6, 1.0 / static_cast<double>(r), nullptr);
    std::snprintf(buf, sizeof buf, "note %ld", r % 997);
    worksheet_write_string(sheet, row, 7, buf, nullptr);
  }
  return workbook_close(book) == LXW_NO_ERROR ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "generate") == 0) return generate(argv[2], std::atol(argv[3]));
  if (argc >= 3 && std::strcmp(argv[1], "read") == 0) return read_workbook(argv[2], "xlsx_read", 300000, 200);
  std::fprintf(stderr, "usage: xlsx_read_bench generate FILE ROWS | read FILE\n");
  return 2;
}
