// The .xlsx and .xls readers over real files: structure, cell types, and damaged
// or hostile input, which must end in an engine error, never a crash.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <mutex>
#include <thread>

#include "platform/dao/jet_error.h"
#include "platform/dao/serial_date.h"
#include "platform/dao/workbook.h"
#include "workbook_fixtures.h"

using namespace jet;

namespace {

std::vector<sheet_row> read_all(const workbook& book, std::size_t sheet) {
  std::vector<sheet_row> rows;
  auto cursor = book.open_sheet(sheet);
  sheet_row row;
  while (cursor->next(row)) rows.push_back(row);
  return rows;
}

int error_number(const std::function<void()>& action) {
  try {
    action();
  } catch (const jet_error& e) {
    return e.number();
  }
  return 0;
}

std::unique_ptr<workbook> open_parts(const fixtures::temp_dir& dir,
                                     const std::vector<std::pair<std::string, std::string>>& parts) {
  auto path = dir.file("book.xlsx");
  fixtures::write_package(path, parts);
  return open_workbook(path);
}

void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(XlsxReader, ListsSheetsAndNamedRangesInWorkbookOrder) {
  fixtures::temp_dir dir;
  fixtures::write_sample_xlsx(dir.file("s.xlsx"));
  auto book = open_workbook(dir.file("s.xlsx"));
  EXPECT_EQ(book->sheet_names(), (std::vector<std::string>{"Data", "My 'Sheet", "Empty"}));
  ASSERT_EQ(book->named_ranges().size(), 1u);
  const auto& totals = book->named_ranges()[0];
  EXPECT_EQ(totals.name, "Totals");
  EXPECT_EQ(totals.sheet, 0u);
  EXPECT_EQ(totals.area.first_row, 0u);
  EXPECT_EQ(totals.area.last_row, 2u);
  EXPECT_EQ(totals.area.last_col, 1u);
}

TEST(XlsxReader, StreamsCellsWithTheirTypes) {
  for (bool inline_strings : {false, true}) {
    SCOPED_TRACE(inline_strings ? "inline strings" : "shared strings");
    fixtures::temp_dir dir;
    fixtures::write_sample_xlsx(dir.file("s.xlsx"), inline_strings);
    auto book = open_workbook(dir.file("s.xlsx"));
    auto rows = read_all(*book, 0);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2].index, 2u);
    EXPECT_EQ(rows[3].index, 4u);  // the empty row 4 is not streamed
    const auto& r = rows[1].cells;
    EXPECT_EQ(r[0].kind, cell_kind::text);
    EXPECT_EQ(r[0].text, "Zo\xC3\xAB");
    EXPECT_EQ(r[1].kind, cell_kind::number);
    EXPECT_EQ(r[1].number, 1.5);
    EXPECT_FALSE(r[1].currency);
    EXPECT_EQ(r[4].kind, cell_kind::date);
    EXPECT_EQ(ole_date_text(r[4].number), "2004-05-06 10:20:30");
    EXPECT_EQ(r[5].kind, cell_kind::boolean);
    EXPECT_TRUE(r[5].boolean);
    EXPECT_EQ(r[6].kind, cell_kind::number);
    EXPECT_TRUE(r[6].currency);
    EXPECT_EQ(r[7].text, fixtures::long_text());
    EXPECT_EQ(r[9].kind, cell_kind::date);
    EXPECT_EQ(r[9].number, 0.5);  // a time alone stays on the zero date
    EXPECT_EQ(rows[2].cells[0].text, "\xF0\x9F\x98\x80 emoji");
    EXPECT_EQ(rows[2].cells[5].boolean, false);
  }
}

TEST(XlsxReader, CellTypesOfHandMadePackages) {
  fixtures::temp_dir dir;
  std::string sst =
      "<si><t>plain</t></si>"
      "<si><r><t>rich </t></r><r><t>text</t></r><rPh><t>PHONETIC</t></rPh></si>"
      "<si><t>line_x000D_break_x005F_x</t></si>";
  std::string styles =
      "<numFmts><numFmt numFmtId=\"164\" formatCode=\"[$$-409]#,##0.00\"/></numFmts>"
      "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"164\"/></cellXfs>";
  std::string data =
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c><c r=\"C1\" t=\"s\"><v>2</v></c>"
      "<c r=\"D1\" t=\"str\"><f>A1</f><v>formula</v></c><c r=\"E1\" t=\"e\"><v>#N/A</v></c>"
      "<c r=\"F1\" t=\"d\"><v>2004-05-06T10:20:30</v></c>"
      "<c r=\"G1\" t=\"inlineStr\"><is><t>in</t><rPh><t>x</t></rPh></is></c>"
      "<c r=\"H1\" s=\"1\"><v>1</v></c><c r=\"I1\" s=\"2\"><v>3.25</v></c><c r=\"J1\" s=\"9\"><v>7</v></c>"
      "<c r=\"K1\"><f>X</f></c></row>"
      "<row><c><v>1</v></c><c t=\"b\"><v>0</v></c></row>";
  for (bool date1904 : {false, true}) {
    auto book = open_parts(dir, fixtures::minimal_package(data, sst, styles, date1904 ? "date1904=\"1\"" : ""));
    auto rows = read_all(*book, 0);
    ASSERT_EQ(rows.size(), 2u);
    const auto& c = rows[0].cells;
    EXPECT_EQ(c[0].text, "plain");
    EXPECT_EQ(c[1].text, "rich text");
    EXPECT_EQ(c[2].text, "line\rbreak_x");
    EXPECT_EQ(c[3].text, "formula");
    EXPECT_EQ(c[4].kind, cell_kind::error);
    EXPECT_EQ(ole_date_text(c[5].number), "2004-05-06 10:20:30");
    EXPECT_EQ(c[6].text, "in");
    EXPECT_EQ(ole_date_text(c[7].number), date1904 ? "1904-01-02" : "1900-01-01");
    EXPECT_TRUE(c[8].currency);
    EXPECT_EQ(c[9].kind, cell_kind::number);  // unknown style: a plain number
    EXPECT_TRUE(c.size() <= 10 || c[10].kind == cell_kind::empty);  // formula without a value
    EXPECT_EQ(rows[1].index, 1u);
    EXPECT_EQ(rows[1].cells[1].kind, cell_kind::boolean);
  }
}

// In the 1904 system serial 0 is 1904-01-01: under a date format it keeps its day;
// under a time format a serial below 1 is a time alone, as in the 1900 system.
TEST(XlsxReader, Date1904FirstDayKeptUnderADateFormat) {
  fixtures::temp_dir dir;
  std::string styles = "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"21\"/></cellXfs>";
  std::string data =
      "<row r=\"1\"><c s=\"1\"><v>0</v></c><c s=\"1\"><v>0.5</v></c><c s=\"2\"><v>0.5</v></c>"
      "<c s=\"1\"><v>1</v></c></row>";
  auto book = open_parts(dir, fixtures::minimal_package(data, "", styles, "date1904=\"1\""));
  auto rows = read_all(*book, 0);
  ASSERT_EQ(rows.size(), 1u);
  const auto& c = rows[0].cells;
  EXPECT_EQ(ole_date_text(c[0].number), "1904-01-01");
  EXPECT_EQ(ole_date_text(c[1].number), "1904-01-01 12:00:00");
  EXPECT_EQ(ole_date_text(c[2].number), "12:00:00");
  EXPECT_EQ(ole_date_text(c[3].number), "1904-01-02");
}

TEST(XlsxReader, DamagedAndHostileFilesGiveEngineErrors) {
  fixtures::temp_dir dir;
  EXPECT_EQ(error_number([&] { open_workbook(dir.file("missing.xlsx")); }), err_file_not_found);
  write_bytes(dir.file("empty.xlsx"), "");
  EXPECT_EQ(error_number([&] { open_workbook(dir.file("empty.xlsx")); }), err_not_expected_format);
  write_bytes(dir.file("text.xlsx"), "Name,Amount\nA,1\n");
  EXPECT_EQ(error_number([&] { open_workbook(dir.file("text.xlsx")); }), err_not_expected_format);

  // A package cut in half.
  fixtures::write_sample_xlsx(dir.file("whole.xlsx"));
  std::ifstream in(dir.file("whole.xlsx"), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  write_bytes(dir.file("cut.xlsx"), bytes.substr(0, bytes.size() / 2));
  EXPECT_EQ(error_number([&] { read_all(*open_workbook(dir.file("cut.xlsx")), 0); }), err_not_expected_format);

  // An encrypted OOXML package is a compound file with an EncryptedPackage stream.
  std::string cfb("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
  cfb += std::string(504, '\0') + std::string("E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0", 32);
  write_bytes(dir.file("secret.xlsx"), cfb);
  EXPECT_EQ(error_number([&] { open_workbook(dir.file("secret.xlsx")); }), err_encrypted);

  const std::vector<std::string> bad_sheets = {
      "<row r=\"1\"><c r=\"A1\"><v>1</v></row>",                     // malformed XML
      "<row r=\"1\"><c r=\"A1\" t=\"s\"><v>5</v></c></row>",          // shared string out of range
      "<row r=\"2\"><c><v>1</v></c></row><row r=\"1\"><c><v>1</v></c></row>",  // rows out of order
      "<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>",               // beyond the last column
      "<row r=\"1048577\"><c><v>1</v></c></row>",                     // beyond the last row
      "<row r=\"x\"><c><v>1</v></c></row>",                          // a row number that is none
  };
  for (const auto& sheet : bad_sheets) {
    SCOPED_TRACE(sheet);
    auto book = open_parts(dir, fixtures::minimal_package(sheet, "<si><t>a</t></si>"));
    EXPECT_EQ(error_number([&] { read_all(*book, 0); }), err_not_expected_format);
  }

  // A document type declaration (entity expansion) is refused.
  auto parts = fixtures::minimal_package("");
  parts[3].second = "<!DOCTYPE w [<!ENTITY a \"aaaaaaaa\">]><worksheet><sheetData><row><c t=\"inlineStr\">"
                    "<is><t>&a;</t></is></c></row></sheetData></worksheet>";
  EXPECT_EQ(error_number([&] { read_all(*open_parts(dir, parts), 0); }), err_not_expected_format);

  // A worksheet part that inflates far beyond its compressed size.
  parts = fixtures::minimal_package("<row><c><v>1</v></c></row>" + std::string(std::size_t{200} << 20, ' '));
  EXPECT_EQ(error_number([&] { read_all(*open_parts(dir, parts), 0); }), err_not_expected_format);

  // No workbook part at all.
  EXPECT_EQ(error_number([&] { open_parts(dir, {{"hello.txt", "hi"}}); }), err_not_expected_format);
}

TEST(XlsReader, ReadsBiffWorkbooks) {
  auto book = open_workbook(fixtures::xls_fixture("sample.xls"));
  EXPECT_EQ(book->sheet_names(), (std::vector<std::string>{"Data", "My 'Sheet"}));
  auto rows = read_all(*book, 0);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].cells[0].text, "Name");
  EXPECT_EQ(rows[1].cells[0].text, "Zo\xC3\xAB");
  EXPECT_EQ(rows[1].cells[1].number, 1.5);
  EXPECT_EQ(rows[1].cells[2].kind, cell_kind::date);
  EXPECT_EQ(ole_date_text(rows[1].cells[2].number), "2004-05-06 10:20:30");
  EXPECT_EQ(rows[2].cells[0].text, "\xF0\x9F\x98\x80 emoji");
  EXPECT_EQ(rows[3].index, 4u);
}

TEST(XlsReader, PasswordProtectedAndCorruptFiles) {
  EXPECT_EQ(error_number([] { open_workbook(fixtures::xls_fixture("password.xls")); }), err_encrypted);
  EXPECT_EQ(error_number([] { open_workbook(fixtures::xls_fixture("corrupt.xls")); }), err_not_expected_format);
}

}  // namespace

namespace {
std::atomic<int> forks_seen{0};
}

// The wizard reads a workbook on a worker thread while its window thread runs:
// the .xls reader works in this process, with no fork and no helper process.
TEST(XlsReader, ReadsInProcessWhileOtherThreadsRun) {
  static std::once_flag hooked;
  std::call_once(hooked, [] { pthread_atfork([] { ++forks_seen; }, nullptr, nullptr); });
  std::atomic<bool> stop{false};
  std::mutex busy;
  std::thread other([&] {
    while (!stop) std::lock_guard hold(busy);
  });
  int before = forks_seen;
  auto book = open_workbook(fixtures::xls_fixture("sample.xls"));
  EXPECT_EQ(book->sheet_names().size(), 2u);
  EXPECT_EQ(error_number([] { open_workbook(fixtures::xls_fixture("password.xls")); }), err_encrypted);
  EXPECT_EQ(error_number([] { open_workbook(fixtures::xls_fixture("corrupt.xls")); }), err_not_expected_format);
  stop = true;
  other.join();
  EXPECT_EQ(forks_seen - before, 0);
  // No child process was started.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}
