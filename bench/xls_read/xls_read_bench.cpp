// .xls reading benchmark.
//   xls_read_bench generate FILE ROWS   writes the workbook (Excel 97, built record by record)
//   xls_read_bench read FILE            lists its worksheets, reads every one to the end
//                                       (xls_reader::open_xls, dao_database::get_table)
// and prints BENCH lines: rows per second and peak memory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "biff_builder.h"
#include "bench_rows.h"
#include "read_workbook.h"

namespace {

using namespace fixtures;

// UTF-8 to UTF-16 for the few characters the benchmark's words use.
std::u16string widen(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : 3;
    char16_t cp = n == 1 ? c : n == 2 ? c & 0x1F : c & 0x0F;
    for (int k = 1; k < n; ++k) cp = static_cast<char16_t>(cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F));
    out += cp;
    i += n;
  }
  return out;
}

// The shared-string table in an SST record and as many CONTINUE records as it
// needs (each string whole in one record, 8-bit when it can be).
std::string shared_strings(const std::vector<std::string>& strings, std::uint32_t uses) {
  std::vector<std::string> records{le32(uses) + le32(static_cast<std::uint32_t>(strings.size()))};
  for (const auto& s : strings) {
    std::u16string units = widen(s);
    bool wide = false;
    for (char16_t u : units) wide = wide || u > 0xFF;
    std::string encoded = le16(static_cast<std::uint16_t>(units.size())) + (wide ? '\x01' : '\x00');
    for (char16_t u : units) encoded += wide ? le16(u) : std::string(1, static_cast<char>(u));
    if (records.back().size() + encoded.size() > 8224) records.emplace_back();
    records.back() += encoded;
  }
  std::string out = biff_record(0x00FC, records[0]);
  for (std::size_t i = 1; i < records.size(); ++i) out += biff_record(0x003C, records[i]);
  return out;
}

int generate(const char* path, long rows) {
  std::vector<std::string> strings;
  std::uint32_t uses = 0;
  auto text = [&](std::uint16_t row, std::uint16_t col, std::string s) {
    strings.push_back(std::move(s));
    ++uses;
    return biff_labelsst(row, col, static_cast<std::uint32_t>(strings.size() - 1));
  };
  std::string cells;
  for (std::uint16_t c = 0; c < 8; ++c) cells += text(0, c, bench_heads[c]);
  std::uint32_t seed = 12345;
  char buf[64];
  for (long r = 1; r <= rows; ++r) {
    auto row = static_cast<std::uint16_t>(r);
    cells += biff_rk(row, 0, static_cast<std::uint32_t>(r) << 2 | 2);
    cells += biff_number(row, 1, r * 1.25);
    cells += biff_number(row, 2, 36526 + r % 9000 + (r % 86400) / 86400.0, 17);
    std::snprintf(buf, sizeof buf, "C%05ld", r % 50000);
    cells += text(row, 3, buf);
    cells += text(row, 4, bench_comment(seed, r));
    cells += biff_boolerr(row, 5, static_cast<std::uint8_t>(r % 2), false);
    cells += biff_number(row, 6, 1.0 / static_cast<double>(r));
    std::snprintf(buf, sizeof buf, "note %ld", r % 997);
    cells += text(row, 7, buf);
  }
  std::string globals = biff_record(0x0042, le16(1200)) + biff_styles() + shared_strings(strings, uses);
  try {
    write_file(path, compound_file(biff_workbook(globals, {{"Rows", cells}})));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "generate") == 0) return generate(argv[2], std::atol(argv[3]));
  if (argc >= 3 && std::strcmp(argv[1], "read") == 0) return read_workbook(argv[2], "xls_read", 200000, 100);
  std::fprintf(stderr, "usage: xls_read_bench generate FILE ROWS | read FILE\n");
  return 2;
}
