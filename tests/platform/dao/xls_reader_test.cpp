// The .xls reader: files LibreOffice wrote, compared cell by cell with the .xlsx
// it wrote from the same document; workbooks built record by record for what it
// cannot write (Excel 5 files, chart and macro sheets, obfuscation, damage).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "biff_builder.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/serial_date.h"
#include "platform/dao/workbook.h"
#include "platform/dao/xls_workbook.h"
#include "workbook_fixtures.h"

using namespace jet;
using namespace fixtures;

namespace {

std::vector<sheet_row> read_all(const workbook& book, std::size_t sheet) {
  std::vector<sheet_row> rows;
  auto cursor = book.open_sheet(sheet);
  sheet_row row;
  while (cursor->next(row)) {
    while (!row.cells.empty() && row.cells.back().kind == cell_kind::empty) row.cells.pop_back();
    rows.push_back(row);
  }
  return rows;
}

std::string failure(const std::function<void()>& action) {
  try {
    action();
  } catch (const jet_error& e) {
    return std::to_string(e.number()) + " " + e.what();
  }
  return "";
}
int error_number(const std::function<void()>& action) { return std::atoi(failure(action).c_str()); }

std::string describe(const cell& c) {
  switch (c.kind) {
    case cell_kind::empty: return "empty";
    case cell_kind::number: return "number " + std::to_string(c.number) + (c.currency ? " currency" : "");
    case cell_kind::date: return "date " + ole_date_text(c.number);
    case cell_kind::text: return "text " + c.text.substr(0, 40) + " (" + std::to_string(c.text.size()) + ")";
    case cell_kind::boolean: return c.boolean ? "TRUE" : "FALSE";
    case cell_kind::error: return "error " + c.text;
  }
  return "";
}

// LibreOffice writes numbers into .xlsx with 15 significant digits; the .xls
// holds the whole double.
bool same_number(double a, double b) { return std::fabs(a - b) <= std::fabs(b) * 1e-14; }

bool same(const cell& a, const cell& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case cell_kind::number: return same_number(a.number, b.number) && a.currency == b.currency;
    case cell_kind::date: return same_number(a.number, b.number) && ole_date_text(a.number) == ole_date_text(b.number);
    case cell_kind::text:
    case cell_kind::error: return a.text == b.text;
    case cell_kind::boolean: return a.boolean == b.boolean;
    case cell_kind::empty: return true;
  }
  return false;
}

// Every sheet, named range, row and cell of the two workbooks alike; returns the
// cells compared.
std::size_t expect_same_workbooks(const workbook& xls, const workbook& xlsx) {
  EXPECT_EQ(xls.sheet_names(), xlsx.sheet_names());
  EXPECT_EQ(xls.named_ranges().size(), xlsx.named_ranges().size());
  for (std::size_t i = 0; i < std::min(xls.named_ranges().size(), xlsx.named_ranges().size()); ++i) {
    const auto &a = xls.named_ranges()[i], &b = xlsx.named_ranges()[i];
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.sheet, b.sheet) << a.name;
    EXPECT_EQ(a.area.first_row, b.area.first_row) << a.name;
    EXPECT_EQ(a.area.last_row, b.area.last_row) << a.name;
    EXPECT_EQ(a.area.first_col, b.area.first_col) << a.name;
    EXPECT_EQ(a.area.last_col, b.area.last_col) << a.name;
  }
  std::size_t compared = 0;
  for (std::size_t s = 0; s < std::min(xls.sheet_names().size(), xlsx.sheet_names().size()); ++s) {
    auto a = read_all(xls, s), b = read_all(xlsx, s);
    EXPECT_EQ(a.size(), b.size()) << xls.sheet_names()[s];
    for (std::size_t r = 0; r < std::min(a.size(), b.size()); ++r) {
      EXPECT_EQ(a[r].index, b[r].index);
      std::size_t cols = std::max(a[r].cells.size(), b[r].cells.size());
      for (std::size_t c = 0; c < cols; ++c) {
        cell empty;
        const cell& x = c < a[r].cells.size() ? a[r].cells[c] : empty;
        const cell& y = c < b[r].cells.size() ? b[r].cells[c] : empty;
        EXPECT_TRUE(same(x, y)) << xls.sheet_names()[s] << " row " << a[r].index << " col " << c << ": .xls "
                                << describe(x) << ", .xlsx " << describe(y);
        ++compared;
      }
    }
  }
  return compared;
}

TEST(XlsLibreOffice, EveryCellAsTheXlsxOfTheSameDocument) {
  for (std::string name : {"lo_types", "lo_1904"}) {
    SCOPED_TRACE(name);
    auto xls = open_workbook(xls_fixture(name + ".xls"));
    auto xlsx = open_workbook(xls_fixture(name + ".xlsx"));
    EXPECT_GT(expect_same_workbooks(*xls, *xlsx), 15u);
  }
}

// What the comparison cannot tell (both readers wrong alike): the values themselves.
TEST(XlsLibreOffice, FormulaResultsDatesAndLongStrings) {
  auto book = open_workbook(xls_fixture("lo_types.xls"));
  ASSERT_EQ(book->sheet_names(), (std::vector<std::string>{"Data", "Formulas", "Long"}));
  auto data = read_all(*book, 0);
  EXPECT_EQ(data[2].cells[0].text, "\xF0\x9F\x98\x80 emoji");
  EXPECT_TRUE(data[1].cells[2].currency);
  EXPECT_EQ(ole_date_text(data[1].cells[3].number), "2004-05-06 10:20:30");
  EXPECT_EQ(ole_date_text(data[1].cells[4].number), "18:00:00");
  EXPECT_EQ(ole_date_text(data[2].cells[4].number), "00:00:01");
  EXPECT_EQ(data[1].cells[6].kind, cell_kind::boolean);

  auto formulas = read_all(*book, 1);
  ASSERT_EQ(formulas.size(), 9u);
  const auto& first = formulas[1].cells;  // A2 = 1.25
  EXPECT_EQ(first[1].number, 2.5);         // shared formula
  EXPECT_EQ(first[2].text, "item 1.25");   // text result from its STRING record
  EXPECT_EQ(first[3].kind, cell_kind::boolean);
  EXPECT_EQ(first[4].text, "#DIV/0!");
  EXPECT_EQ(formulas[2].cells[4].text, "#N/A");
  EXPECT_EQ(first[5].kind, cell_kind::empty);  // =""
  EXPECT_EQ(first[6].number, 12.5);             // array formula
  EXPECT_EQ(ole_date_text(first[7].number), "2024-01-01 01:30:15");
  EXPECT_EQ(formulas[8].cells[2].text.size(), 3000u * 4);  // a STRING record with CONTINUE records

  auto longs = read_all(*book, 2);
  ASSERT_EQ(longs.size(), 400u);
  std::string wide;
  for (int i = 0; i < 3000; ++i) wide += "\xF0\x9F\x98\x80\xC3\xA9";
  EXPECT_EQ(longs[1].cells[1].text, wide);
  EXPECT_EQ(longs[2].cells[1].text, std::string(9000, 'x') + [] {
    std::string s;
    for (int i = 0; i < 10; ++i) s += "\xE4\xB8\xAD";
    return s;
  }());
  EXPECT_EQ(longs[399].cells[0].text, "string 399 with some words to fill the shared string table");

  ASSERT_EQ(book->named_ranges().size(), 2u);
  EXPECT_EQ(book->named_ranges()[1].name, "Totals");
  EXPECT_EQ(book->named_ranges()[1].area.last_col, 1u);

  auto dates = open_workbook(xls_fixture("lo_1904.xls"));
  auto rows = read_all(*dates, 0);
  EXPECT_EQ(ole_date_text(rows[1].cells[0].number), "1904-01-01");
  EXPECT_EQ(ole_date_text(rows[1].cells[1].number), "06:00:00");
  EXPECT_EQ(ole_date_text(rows[1].cells[2].number), "1904-04-10 12:00:00");
  EXPECT_EQ(rows[2].cells[3].number, -1);
}

TEST(XlsLibreOffice, EncryptedFileIsProtected) {
  auto message = failure([] { open_workbook(xls_fixture("lo_password.xls")); });
  EXPECT_EQ(error_number([] { open_workbook(xls_fixture("lo_password.xls")); }), err_encrypted) << message;
}

std::string globals(std::uint16_t codepage = 1200, bool biff8 = true) {
  return biff_record(0x0042, le16(codepage)) + biff_record(0x0022, le16(0)) + biff_styles(biff8);
}

std::unique_ptr<workbook> open_built(const temp_dir& dir, const std::string& stream, std::u16string_view name = u"Workbook") {
  write_file(dir.file("built.xls"), compound_file(stream, name));
  return open_workbook(dir.file("built.xls"));
}

// Excel 5 and 95: stream "Book", 8-bit text in the code page, the Excel 5
// forms of BOUNDSHEET, LABEL, FORMAT, STRING and NAME.
TEST(XlsBuilt, Excel5WorkbookInItsCodePage) {
  temp_dir dir;
  std::string cells = biff_label(0, 0, biff5_string("\xCF\xF0\xE8\xE2\xE5\xF2")) +  // "Привет" in 1251
                      biff_label(0, 1, biff5_string("Amount")) + biff_rk(1, 1, (123 << 2) | 2) +
                      biff_rk(2, 1, 0x405EC000u | 1) +  // 123.0 as a double, divided by 100
                      biff_number(1, 2, 38113.5, 17) + biff_number(2, 2, 19.99, 19) +
                      biff_formula_special(1, 3, 0) + biff_record(0x04BC, std::string(10, '\0')) +
                      biff_record(0x0207, biff5_string("\xE4\xE0")) +  // "да"
                      biff_formula_special(2, 3, 1, 1) + biff_formula_number(3, 3, 0.25, 18);
  // NAME "Pair" over 'Лист'!$B$2:$C$3: an Excel 5 area with its sheet numbers.
  std::string area = std::string(1, '\x3B') + le16(0xFFFF) + std::string(8, '\0') + le16(0) + le16(0) + le16(1) +
                     le16(2) + '\x01' + '\x02';
  std::string name = biff_record(0x0018, le16(0) + '\0' + '\x04' + le16(static_cast<std::uint16_t>(area.size())) +
                                             le16(0) + le16(0) + std::string(4, '\0') + "Pair" + area);
  std::string stream = biff_workbook(globals(1251, false) + name,
                                     {{"\xCB\xE8\xF1\xF2", cells}, {"Chart", "", 2, 0x0020}}, false);
  auto book = open_built(dir, stream, u"Book");
  ASSERT_EQ(book->sheet_names(), std::vector<std::string>{"\xD0\x9B\xD0\xB8\xD1\x81\xD1\x82"});  // Лист
  auto rows = read_all(*book, 0);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].cells[0].text, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(rows[1].cells[1].number, 123);
  EXPECT_EQ(rows[2].cells[1].number, 1.23);
  EXPECT_EQ(ole_date_text(rows[1].cells[2].number), "2004-05-06 12:00:00");
  EXPECT_TRUE(rows[2].cells[2].currency);
  EXPECT_EQ(rows[1].cells[3].text, "\xD0\xB4\xD0\xB0");  // after a SHRFMLA record
  EXPECT_TRUE(rows[2].cells[3].boolean);
  EXPECT_EQ(ole_date_text(rows[3].cells[3].number), "06:00:00");
  ASSERT_EQ(book->named_ranges().size(), 1u);
  EXPECT_EQ(book->named_ranges()[0].name, "Pair");
  EXPECT_EQ(book->named_ranges()[0].area.first_row, 1u);
  EXPECT_EQ(book->named_ranges()[0].area.last_col, 2u);
}

// Chart sheets, macro sheets, VB modules and dialog sheets are no tables; hidden names,
// built-in names, sheet-local names and names over other workbooks are no
// named ranges.
TEST(XlsBuilt, OnlyWorksheetsAndWorkbookNames) {
  temp_dir dir;
  auto name = [](std::string_view text, std::uint16_t options, std::uint16_t local, std::uint16_t ixti) {
    std::string f = std::string(1, '\x3B') + le16(ixti) + le16(0) + le16(4) + le16(0) + le16(1);
    std::string chars = biff8_string(std::u16string(text.begin(), text.end())).substr(2);
    return biff_record(0x0018, le16(options) + '\0' + static_cast<char>(text.size()) + le16(11) + le16(0) +
                                   le16(local) + std::string(4, '\0') + chars + f);
  };
  std::string links = biff_record(0x01AE, le16(3) + le16(0x0401)) + biff_record(0x01AE, le16(1) + le16(1) + "\x00x") +
                      biff_record(0x0017, le16(3) + le16(0) + le16(3) + le16(3) + le16(1) + le16(0) + le16(0) +
                                              le16(0) + le16(0) + le16(0));
  std::string names = name("Good", 0, 0, 0) + name("Hidden", 1, 0, 0) + name("Print_Area", 0x20, 0, 0) +
                      name("Local", 0, 1, 0) + name("Other", 0, 0, 1) + name("OnChart", 0, 0, 2);
  std::string cells = biff_number(0, 0, 1);
  auto book = open_built(dir, biff_workbook(globals() + links + names,
                                            {{"Chart1", "", 2, 0x0020},
                                             {"Macro", "", 1, 0x0040},
                                             {"Module", "", 6, 0x0006},
                                             {"Data", cells},
                                             {"Dialog", biff_record(0x0081, le16(0x0011))}}));
  EXPECT_EQ(book->sheet_names(), std::vector<std::string>{"Data"});
  ASSERT_EQ(book->named_ranges().size(), 1u);
  EXPECT_EQ(book->named_ranges()[0].name, "Good");
  EXPECT_EQ(book->named_ranges()[0].sheet, 0u);
  EXPECT_EQ(book->named_ranges()[0].area.last_row, 4u);
}

// Shared strings across CONTINUE records: a string whose characters go on in
// the next record with a new flags byte (8-bit, then UTF-16), rich-text runs
// and a phonetic block that cross a boundary too.
TEST(XlsBuilt, SharedStringsAcrossContinueRecords) {
  temp_dir dir;
  std::string first = le16(6) + '\x00' + "abc";                             // 8-bit, split after 3 characters
  std::string second = std::string(1, '\x01') + le16(u'd') + le16(0x4E2D) + le16(u'f');  // flags: UTF-16 from here
  std::string rich = le16(2) + '\x08' + le16(2) + "gh" + le32(0) + le32(0);  // 2 runs of 4 bytes
  std::string phonetic = le16(1) + '\x05' + le32(6) + le16(0x0416) + "\x01\x02\x03\x04\x05\x06";
  std::string sst = biff_record(0x00FC, le32(4) + le32(4) + first) + biff_record(0x003C, second + rich.substr(0, 9)) +
                    biff_record(0x003C, rich.substr(9) + phonetic.substr(0, 4)) +
                    biff_record(0x003C, phonetic.substr(4) + le16(2) + '\x01' + le16(0xD83D)) +
                    biff_record(0x003C, '\x01' + le16(0xDE00));  // a 4-byte character split between records
  std::string cells = biff_labelsst(0, 0, 0) + biff_labelsst(0, 1, 1) + biff_labelsst(0, 2, 2) + biff_labelsst(0, 3, 3);
  auto book = open_built(dir, biff_workbook(globals() + sst, {{"S", cells}}));
  auto rows = read_all(*book, 0);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].cells[0].text, "abcd\xE4\xB8\xAD" "f");
  EXPECT_EQ(rows[0].cells[1].text, "gh");
  EXPECT_EQ(rows[0].cells[2].text, "\xD0\x96");  // the character after the block's header bytes
  EXPECT_EQ(rows[0].cells[3].text, "\xF0\x9F\x98\x80");
}

TEST(XlsBuilt, EveryKindOfEncryptionIsProtected) {
  temp_dir dir;
  std::string sheet = biff_number(0, 0, 1);
  std::vector<std::string> filepass = {
      le16(0) + le16(0x1234) + le16(0x5678),     // XOR obfuscation
      le16(1) + le16(1) + le16(1) + std::string(48, '\0'),  // RC4
      le16(1) + le16(2) + le16(2) + std::string(64, '\0'),  // RC4 with CryptoAPI
  };
  for (const auto& f : filepass)
    EXPECT_EQ(error_number([&] { open_built(dir, biff_workbook(biff_record(0x002F, f) + globals(), {{"S", sheet}})); }),
              err_encrypted);
  // Excel 5: a key and a hash.
  EXPECT_EQ(error_number([&] {
              open_built(dir, biff_workbook(biff_record(0x002F, le16(1) + le16(2)) + globals(1252, false), {{"S", sheet}}, false),
                         u"Book");
            }),
            err_encrypted);
}

TEST(XlsBuilt, VersionsBeforeExcel5AreRefusedByName) {
  temp_dir dir;
  auto biff4 = biff_record(0x0409, le16(0) + le16(0x0010) + le16(0)) + biff_number(0, 0, 1) + biff_eof();
  auto message = failure([&] { open_built(dir, biff4); });
  EXPECT_EQ(message.substr(0, 4), "3274");
  EXPECT_NE(message.find("BIFF4"), std::string::npos) << message;
  write_file(dir.file("raw.xls"), biff_record(0x0209, le16(0) + le16(0x0010)) + biff_eof());
  message = failure([&] { open_workbook(dir.file("raw.xls")); });
  EXPECT_EQ(message.substr(0, 4), "3274");
  EXPECT_NE(message.find("BIFF3"), std::string::npos) << message;
}

// The boolean and error cells, and a chart embedded in a worksheet, which ends
// with its own EOF while the worksheet goes on; cells out of order are put in order.
TEST(XlsBuilt, BooleansErrorsEmbeddedChartsAndCellOrder) {
  temp_dir dir;
  std::string cells = biff_boolerr(3, 1, 0x07, true) + biff_boolerr(2, 4, 0, false) + biff_bof(0x0020) +
                      biff_number(9, 9, 9) + biff_eof() + biff_boolerr(5, 0, 1, false) +
                      biff_record(0x00BD, le16(4) + le16(2) + le16(15) + le32((7 << 2) | 2) + le16(15) +
                                              le32((8 << 2) | 2) + le16(3)) +
                      biff_record(0x0201, le16(6) + le16(0) + le16(15));
  auto book = open_built(dir, biff_workbook(globals(), {{"S", cells}}));
  auto rows = read_all(*book, 0);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].index, 2u);
  EXPECT_EQ(rows[0].cells[4].kind, cell_kind::boolean);
  EXPECT_FALSE(rows[0].cells[4].boolean);
  EXPECT_EQ(rows[1].cells[1].text, "#DIV/0!");
  EXPECT_EQ(rows[2].index, 4u);  // MULRK
  EXPECT_EQ(rows[2].cells[3].number, 8);
  EXPECT_EQ(rows[3].index, 5u);
  EXPECT_TRUE(rows[3].cells[0].boolean);
}

// Damaged records give 3274 with what was wrong, never a crash, and every cut
// of a sound workbook is read or refused.
TEST(XlsBuilt, DamagedRecordsAreRefused) {
  temp_dir dir;
  std::string sst = biff_record(0x00FC, le32(1) + le32(1) + le16(3) + '\0' + "abc");
  std::string cells = biff_labelsst(0, 0, 0) + biff_number(1, 0, 2) + biff_formula_special(1, 1, 0) +
                      biff_record(0x0207, biff8_string(u"result"));
  std::string sound = biff_workbook(globals() + sst, {{"S", cells}, {"T", cells}});
  auto book = open_built(dir, sound);
  EXPECT_EQ(read_all(*book, 1)[1].cells[1].text, "result");

  auto refused = [&](const std::string& stream, std::string_view why) {
    auto message = failure([&] {
      auto b = open_built(dir, stream);
      for (std::size_t i = 0; i < b->sheet_names().size(); ++i) read_all(*b, i);
    });
    EXPECT_EQ(message.substr(0, 4), "3274") << why << ": " << message;
    EXPECT_NE(message.find(why), std::string::npos) << message;
  };
  refused(biff_workbook(globals() + sst, {{"S", biff_labelsst(0, 0, 5)}}), "shared string index");
  refused(biff_workbook(globals() + biff_record(0x00FC, le32(1) + le32(1) + le16(30) + '\0' + "abc"), {{"S", ""}}),
          "string runs past");
  refused(biff_workbook(globals(), {{"S", biff_record(0x00BD, le16(0) + le16(0) + le16(15) + le32(2) + le16(0) + "x")}}),
          "MULRK");
  refused(biff_workbook(globals(), {{"S", biff_number(0, 20000, 1)}}), "last column");
  refused(biff_workbook(globals(), {{"S", biff_record(0x0203, le16(0) + le16(0))}}), "shorter than its contents");
  refused(biff_bof(0x0005) + globals(), "globals do not end");
  std::string past = sound;
  past[past.size() - 3] = '\x7F';  // the last record's length runs past the stream
  past[past.size() - 2] = '\x7F';
  refused(past, "past the end");
  // Two sheets claiming the same records.
  std::size_t first = sound.find(std::string("\x85\x00", 2));
  std::size_t second = sound.find(std::string("\x85\x00", 2), first + 1);
  std::size_t second_offset = static_cast<unsigned char>(sound[second + 4]) | static_cast<unsigned char>(sound[second + 5]) << 8;
  std::string twice = sound;
  twice.replace(second + 4, 4, sound.substr(first + 4, 4));
  refused(twice, "same record");
  // An offset that misses, and the substreams do not follow one for each sheet.
  std::string outside = sound;
  outside.replace(second + 4, 4, le32(1u << 30));
  outside[second_offset] = '\x08';
  refused(outside, "do not begin where");
  // Offsets that miss, over substreams that follow the globals in order: read in that order.
  std::string missed = sound;
  missed.replace(first + 4, 4, le32(3));
  missed.replace(second + 4, 4, le32(1u << 30));
  auto in_order = open_built(dir, missed);
  EXPECT_EQ(in_order->sheet_names(), (std::vector<std::string>{"S", "T"}));
  EXPECT_EQ(read_all(*in_order, 1)[1].cells[1].text, "result");

  for (std::size_t cut = 0; cut < sound.size(); ++cut) {
    try {
      auto b = open_built(dir, sound.substr(0, cut));
      for (std::size_t i = 0; i < b->sheet_names().size(); ++i) read_all(*b, i);
    } catch (const jet_error& e) {
      EXPECT_EQ(e.number(), err_not_expected_format);
    }
  }
}

// What other writers leave in the container: a last sector cut short, and a
// directory that gives the stream a larger size than its sectors hold.
TEST(XlsBuilt, ContainerSlipsOfOtherWriters) {
  temp_dir dir;
  std::string file = compound_file(biff_workbook(globals(), {{"S", biff_number(0, 0, 7)}}));
  auto read_file_as = [&](const std::string& bytes) {
    write_file(dir.file("slip.xls"), bytes);
    auto book = open_workbook(dir.file("slip.xls"));
    return read_all(*book, 0).at(0).cells.at(0).number;
  };
  EXPECT_EQ(read_file_as(file.substr(0, file.size() - 3000)), 7);  // the free end of the allocation table
  std::string larger = file;
  std::size_t entry = file.size() - 4096 * 2 + 128;  // the stream's directory entry
  larger.replace(entry + 0x78, 4, le32(4096 * 3));
  EXPECT_EQ(read_file_as(larger), 7);
}

}  // namespace
