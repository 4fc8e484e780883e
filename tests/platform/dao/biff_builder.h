// .xls workbooks built record by record, for what no spreadsheet program on the
// build machine writes: Excel 5 files, chart sheets, the XOR obfuscation, damaged
// records, and the benchmark's large workbook.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fixtures {

std::string le16(std::uint16_t v);
std::string le32(std::uint32_t v);
std::string le64(double v);

std::string biff_record(std::uint16_t type, std::string_view data = {});
// BOF of a substream (0x0005 globals, 0x0010 worksheet, 0x0020 chart) of BIFF8 or BIFF5.
std::string biff_bof(std::uint16_t substream, bool biff8 = true);
std::string biff_eof();

// A string with its character count (count_bytes 1 or 2): BIFF8 UTF-16, BIFF5 the bytes as given.
std::string biff8_string(std::u16string_view text, int count_bytes = 2);
std::string biff5_string(std::string_view bytes, int count_bytes = 2);

// Cell records.
std::string biff_number(std::uint16_t row, std::uint16_t col, double v, std::uint16_t style = 15);
std::string biff_label(std::uint16_t row, std::uint16_t col, const std::string& encoded, std::uint16_t style = 15);
std::string biff_labelsst(std::uint16_t row, std::uint16_t col, std::uint32_t index, std::uint16_t style = 15);
std::string biff_boolerr(std::uint16_t row, std::uint16_t col, std::uint8_t value, bool error);
std::string biff_rk(std::uint16_t row, std::uint16_t col, std::uint32_t rk, std::uint16_t style = 15);
// A FORMULA record with a cached number, or with the special result kind
// (0 text, 1 boolean, 2 error, 3 empty text) and its value byte.
std::string biff_formula_number(std::uint16_t row, std::uint16_t col, double v, std::uint16_t style = 15);
std::string biff_formula_special(std::uint16_t row, std::uint16_t col, std::uint8_t kind, std::uint8_t value = 0);

// The cell styles every built workbook has: 0-14 style XFs, 15 General, 16 a
// date (yyyy-mm-dd), 17 a date-time, 18 a time, 19 money ("$"#,##0.00), in
// FORMAT and XF records.
std::string biff_styles(bool biff8 = true);

struct biff_sheet {
  std::string name;     // as encoded for the version (BIFF8: UTF-8 here, written as UTF-16)
  std::string records;  // between its BOF and EOF
  std::uint8_t type = 0;                // BOUNDSHEET type: 0 worksheet, 2 chart, ...
  std::uint16_t substream = 0x0010;     // its BOF's substream type
};

// A workbook stream: globals (BOF, the records given, the BOUNDSHEETs, EOF),
// then each sheet's substream.
std::string biff_workbook(const std::string& globals, const std::vector<biff_sheet>& sheets, bool biff8 = true);

// A compound file holding the stream under the name given.
std::string compound_file(std::string_view stream, std::u16string_view name = u"Workbook");

// A directory entry of a compound file: entry 0 is the root; left, right and
// child are indexes of other entries, as the file's directory tree links them.
struct cfb_entry {
  static constexpr std::uint32_t none = 0xFFFFFFFF;
  std::u16string name;
  std::uint8_t type = 2;  // 1 storage, 2 stream, 5 root
  std::uint32_t left = none, right = none, child = none;
  std::string stream;
};
// A compound file of these entries, as given.
std::string compound_file(const std::vector<cfb_entry>& entries);
void write_file(const std::string& path, std::string_view bytes);

}  // namespace fixtures
