// Generates the data of the conversion benchmark.
//   orvell_gen csv FILE RECORDS    CSV, ';' delimited, a header row, 8 fields
//   orvell_gen xlsx FILE ROWS      the same columns as a workbook (one sheet "Data")
// The values are the same for a row number in both forms, so the CSV form of the
// workbook's rows (for LOAD DATA) is "csv FILE ROWS".
#include <xlsxwriter.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const k_header[] = {"id", "code", "amount", "qty", "day", "stamp", "name", "big"};
const char* const k_names[] = {"Müller", "Ødegård", "Łukasz", "Zoë", "Smith", "Иванов", "O'Brien", "Gómez"};

struct row {
  long id;
  char code[16];
  char amount[24];
  long qty;
  int year, month, day, hour, minute, second;
  std::string name;
  std::int64_t big;
};

row make_row(long i) {
  row r;
  r.id = i + 1;
  std::snprintf(r.code, sizeof r.code, "C%07ld", i % 10000000);
  std::snprintf(r.amount, sizeof r.amount, "%ld.%02ld", (i * 37) % 100000, i % 100);
  r.qty = (i * 7) % 1000;
  r.year = 2000 + static_cast<int>(i % 25);
  r.month = 1 + static_cast<int>(i % 12);
  r.day = 1 + static_cast<int>(i % 28);
  r.hour = static_cast<int>(i % 24);
  r.minute = static_cast<int>((i / 24) % 60);
  r.second = static_cast<int>(i % 60);
  r.name = std::string(k_names[i % 8]) + " " + std::to_string(i % 1000);
  r.big = 3000000000LL + i;
  return r;
}

int write_csv(const char* file, long count) {
  FILE* f = std::fopen(file, "wb");
  if (!f) return 1;
  std::setvbuf(f, nullptr, _IOFBF, 1 << 20);
  for (int c = 0; c < 8; ++c) std::fprintf(f, "%s%s", c ? ";" : "", k_header[c]);
  std::fputc('\n', f);
  for (long i = 0; i < count; ++i) {
    row r = make_row(i);
    std::fprintf(f, "%ld;%s;%s;%ld;%04d-%02d-%02d;%04d-%02d-%02d %02d:%02d:%02d;%s;%" PRId64 "\n", r.id, r.code,
                 r.amount, r.qty, r.year, r.month, r.day, r.year, r.month, r.day, r.hour, r.minute, r.second,
                 r.name.c_str(), r.big);
  }
  return std::fclose(f) == 0 ? 0 : 1;
}

int write_xlsx(const char* file, long count) {
  lxw_workbook_options options = {};
  options.constant_memory = LXW_TRUE;
  lxw_workbook* book = workbook_new_opt(file, &options);
  if (!book) return 1;
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Data");
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd");
  lxw_format* stamp = workbook_add_format(book);
  format_set_num_format(stamp, "yyyy-mm-dd hh:mm:ss");
  for (int c = 0; c < 8; ++c) worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), k_header[c], nullptr);
  for (long i = 0; i < count; ++i) {
    row r = make_row(i);
    lxw_row_t y = static_cast<lxw_row_t>(i + 1);
    worksheet_write_number(sheet, y, 0, static_cast<double>(r.id), nullptr);
    worksheet_write_string(sheet, y, 1, r.code, nullptr);
    worksheet_write_number(sheet, y, 2, std::strtod(r.amount, nullptr), nullptr);
    worksheet_write_number(sheet, y, 3, static_cast<double>(r.qty), nullptr);
    lxw_datetime d = {r.year, r.month, r.day, 0, 0, 0};
    worksheet_write_datetime(sheet, y, 4, &d, date);
    lxw_datetime t = {r.year, r.month, r.day, r.hour, r.minute, static_cast<double>(r.second)};
    worksheet_write_datetime(sheet, y, 5, &t, stamp);
    worksheet_write_string(sheet, y, 6, r.name.c_str(), nullptr);
    worksheet_write_number(sheet, y, 7, static_cast<double>(r.big), nullptr);
  }
  return workbook_close(book) == LXW_NO_ERROR ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: orvell_gen csv|xlsx FILE COUNT\n");
    return 2;
  }
  long count = std::atol(argv[3]);
  if (!std::strcmp(argv[1], "csv")) return write_csv(argv[2], count);
  if (!std::strcmp(argv[1], "xlsx")) return write_xlsx(argv[2], count);
  return 2;
}
