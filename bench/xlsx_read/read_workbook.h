// Reading a workbook as the conversion driver does (xls_reader::open_xls,
// dao_database::get_table), timed, for the workbook benchmarks.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "UDB/udb_rec.h"
#include "dao/dao_db.h"
#include "dao/dao_engi.h"
#include "dao/xls_reader.h"

inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A conversion driver's reader, as the programs derive theirs.
struct bench_reader : xls_reader {
  bool test_query(const std::wstring&) override { return true; }
};

// Lists the workbook's worksheets and reads every one to the end, then prints
// the BENCH lines prefix_rows_per_s and prefix_peak_mb (and xlsx_list_s).
inline int read_workbook(const char* path, const char* prefix, double rows_target, double mb_target) {
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
  std::printf("BENCH %s_rows_per_s %.0f rows/s target >= %.0f\n", prefix, rows / read_seconds, rows_target);
  std::printf("BENCH %s_peak_mb %.1f MB target <= %.0f\n", prefix, usage.ru_maxrss / 1024.0, mb_target);
  if (std::strcmp(prefix, "xlsx_read") == 0) std::printf("BENCH xlsx_list_s %.3f s target <= 0.2\n", list_seconds);
  return 0;
}

