// Rate at which records of a typical worksheet (a number, a name with accents,
// a price, a date and a note) are written into a MySQL dump file.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "SQL/sql_dump.h"
#include "SQL/sql_engi.h"
#include "TK/tk_utils.h"
#include "UDB/udb_rec.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: dump_write_bench FILE ROWS\n");
    return 2;
  }
  const std::wstring path = tk_from_utf8(argv[1]);
  const long rows = std::atol(argv[2]);

  sql_engine engine;
  udb_schema schema(true);
  schema.push_back(std::make_unique<t_ftd>(4, L"id", VT_I4, true, false, ole_variant(), 0));
  schema.push_back(std::make_unique<t_ftd>(40, L"name", VT_BSTR, false, false, ole_variant(), 0));
  schema.push_back(std::make_unique<t_ftd>(8, L"price", VT_R8, false, false, ole_variant(), 0));
  schema.push_back(std::make_unique<t_ftd>(8, L"date", VT_DATE, false, false, ole_variant(), 1));
  schema.push_back(std::make_unique<t_ftd>(100, L"note", VT_BSTR, false, false, ole_variant(), 0));
  SYSTEMTIME when{};
  when.wYear = 2024;
  when.wMonth = 3;
  when.wDay = 1;
  when.wHour = 12;
  when.wMinute = 30;

  const auto start = std::chrono::steady_clock::now();
  {
    auto dump = engine.create_dump(path, dmp_settings{});
    auto table = dump->create_table(L"sheet", schema, {});
    for (long i = 0; i < rows; ++i) {
      udb_record record;
      record.add_field(std::make_unique<udb_field>(L"id", 4, ole_variant(static_cast<int>(i))));
      record.add_field(std::make_unique<udb_field>(L"name", 40, ole_variant(L"M\u00fcller-L\u00fcdenscheidt, J\u00f6rg")));
      record.add_field(std::make_unique<udb_field>(L"price", 8, ole_variant(i * 0.25)));
      record.add_field(std::make_unique<udb_field>(L"date", 8, ole_variant(when)));
      record.add_field(std::make_unique<udb_field>(L"note", 100, ole_variant(L"Caf\u00e9 cr\u00e8me, it's \"fine\"")));
      table->append_record(record);
    }
    table.reset();
    dump->close();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double megabytes = std::filesystem::file_size(argv[1]) / 1e6;
  std::printf("BENCH dump_write_rows_per_s %.0f rows/s target >= 200000\n", rows / seconds);
  std::printf("BENCH dump_write_mb_per_s %.1f MB/s target >= 15\n", megabytes / seconds);
  return 0;
}
