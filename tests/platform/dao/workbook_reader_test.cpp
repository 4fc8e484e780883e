// The .xlsx and .xls readers over real files: structure, cell types, and damaged
// or hostile input, which must end in an engine error, never a crash; and what
// workbooks of other makings hold, as a query reads their first table.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <mutex>
#include <thread>

#include "biff_builder.h"
#include "platform/dao/dao_types.h"
#include "platform/dao/jet_error.h"
#include "platform/dao/number_text.h"
#include "platform/dao/serial_date.h"
#include "platform/dao/workbook.h"
#include "platform/dao/workbook_db.h"
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

// The first table of a workbook as a query reads it: the table names, then each
// field's name and type, then a line for each record; or the error.
std::string first_table_text(const std::string& path) {
  auto type_name = [](int type) {
    switch (type) {
      case dbDouble: return "number";
      case dbDate: return "date";
      case dbText: return "text";
      default: return "other";
    }
  };
  try {
    workbook_db db(open_workbook(path), true);
    std::string out;
    for (const auto& table : db.table_names()) out += table + " ";
    out += ":";
    auto cursor = db.query("SELECT * FROM [" + db.table_names().at(0) + "]");
    for (const auto& field : cursor->fields()) out += " " + field.name + " " + type_name(field.type);
    for (std::vector<value> record; cursor->next(record);) {
      out += "\n";
      for (std::size_t i = 0; i < record.size(); ++i) {
        const value& v = record[i];
        out += i ? "|" : "";
        out += v.type == value::kind::number ? number_text(v.number)
               : v.type == value::kind::date ? ole_date_text(v.number)
               : v.type == value::kind::text ? v.text
                                             : "";
      }
    }
    return out;
  } catch (const jet_error& e) {
    return std::to_string(e.number()) + " " + e.what();
  }
}

// A package as Strict Open XML files name their namespaces.
std::vector<std::pair<std::string, std::string>> strict(std::vector<std::pair<std::string, std::string>> parts) {
  const std::pair<std::string, std::string> names[] = {
      {"http://schemas.openxmlformats.org/spreadsheetml/2006/main", "http://purl.oclc.org/ooxml/spreadsheetml/main"},
      {"http://schemas.openxmlformats.org/officeDocument/2006/relationships",
       "http://purl.oclc.org/ooxml/officeDocument/relationships"}};
  for (auto& [part, body] : parts)
    for (const auto& [from, to] : names)
      for (auto at = body.find(from); at != std::string::npos; at = body.find(from, at + to.size()))
        body.replace(at, from.size(), to);
  return parts;
}

std::string inline_text(const std::string& text) { return "<c t=\"inlineStr\"><is><t>" + text + "</t></is></c>"; }

TEST(WorkbookMakings, FirstTableAsAQueryReadsIt) {
  using fixtures::cfb_entry;
  constexpr auto none = cfb_entry::none;
  std::string excel5 = fixtures::biff_workbook(
      fixtures::biff_record(0x0042, fixtures::le16(1252)) + fixtures::biff_styles(false),
      {{"Sheet1", fixtures::biff_label(0, 0, fixtures::biff5_string("Name")) +
                      fixtures::biff_label(0, 1, fixtures::biff5_string("Amount")) +
                      fixtures::biff_label(1, 0, fixtures::biff5_string("x")) + fixtures::biff_number(1, 1, 1.5) +
                      fixtures::biff_label(2, 0, fixtures::biff5_string("y")) + fixtures::biff_number(2, 1, 2)}},
      false);
  std::string embedded = fixtures::biff_workbook(fixtures::biff_record(0x0042, fixtures::le16(1200)) + fixtures::biff_styles(),
                                                 {{"Sheet1", ""}, {"Sheet2", ""}, {"Sheet3", ""}});
  // The root holds "Book" and an embedded object's storage holding "Workbook";
  // book_right and object_left link the two as siblings.
  auto container = [&](std::uint32_t book_right, std::uint32_t object_left, bool with_book = true) {
    return [=](const std::string& path) {
      std::vector<cfb_entry> entries = {{u"Root Entry", 5, none, none, with_book ? 1u : 2u, ""},
                                        {u"Book", 2, none, book_right, none, excel5},
                                        {u"MBD00002B54", 1, object_left, none, 3, ""},
                                        {u"Workbook", 2, none, none, none, embedded}};
      fixtures::write_file(path, fixtures::compound_file(entries));
    };
  };
  auto package = [](std::string sheet_data, std::string shared_strings = "", std::string styles = "",
                    std::string workbook_pr = "", bool strict_names = false) {
    return [=](const std::string& path) {
      auto parts = fixtures::minimal_package(sheet_data, shared_strings, styles, workbook_pr);
      fixtures::write_package(path, strict_names ? strict(parts) : parts);
    };
  };
  const std::string time_style = "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"21\"/></cellXfs>";
  auto times = [&](std::vector<std::string> values, bool date1904, bool strict_file) {
    std::string rows = "<row>" + inline_text("T") + "</row>";
    for (const auto& v : values)
      rows += std::string("<row><c s=\"1\"") + (strict_file ? " t=\"d\"" : "") + "><v>" + v + "</v></c></row>";
    return package(rows, "", time_style, date1904 ? "date1904=\"1\"" : "", strict_file);
  };
  const std::vector<std::string> durations = {"PT24H0M0.000S", "PT0H11M0.000S", "P1DT12H30M15.250S"};
  const std::vector<std::string> serials = {"1", "7.6388888888888886E-3", "1.521009837962963"};
  const std::string formats[] = {"[$-411]e", "[$-411]ggg", "bbbb", "General", "0.00E+00", "0.0e-0",
                                 "G/\xE6\xA8\x99\xE6\xBA\x96"};
  std::string num_fmts = "<numFmts>", xfs = "<cellXfs><xf numFmtId=\"0\"/>", heads, cells;
  for (std::size_t i = 0; i < std::size(formats); ++i) {
    std::string id = std::to_string(164 + i);
    num_fmts += "<numFmt numFmtId=\"" + id + "\" formatCode=\"" + formats[i] + "\"/>";
    xfs += "<xf numFmtId=\"" + id + "\"/>";
    heads += inline_text(std::string(1, static_cast<char>('A' + i)));
    cells += "<c s=\"" + std::to_string(i + 1) + "\"><v>42095</v></c>";
  }
  const std::string format_styles = num_fmts + "</numFmts>" + xfs + "</cellXfs>";

  const std::string damaged = "3274 External table is not in the expected format. (the compound file is damaged)";
  const std::string times_1900 = "S$ : T date\n1900-01-01\n00:11:00\n1900-01-01 12:30:15";
  const std::string times_1904 = "S$ : T date\n1904-01-02\n00:11:00\n1904-01-02 12:30:15";
  struct read_case {
    const char* name;
    std::function<void(const std::string&)> write;
    std::string expected;
  };
  const read_case cases[] = {
      {"the root's Book, not an embedded object's Workbook", container(2, none),
       "Sheet1$ : Name text Amount number\nx|1.5\ny|2"},
      {"an embedded Workbook alone is no workbook", container(none, none, false),
       "3274 External table is not in the expected format. (no readable workbook stream in the compound file)"},
      {"a directory tree with a cycle", container(2, 1), damaged},
      {"a directory tree with an index out of range", container(1000, none), damaged},
      {"a NUL in a header cell", package("<row><c t=\"s\"><v>0</v></c><c t=\"s\"><v>1</v></c></row>"
                                         "<row><c t=\"s\"><v>2</v></c><c><v>1</v></c></row>"
                                         "<row><c t=\"s\"><v>3</v></c><c><v>2</v></c></row>",
                                         "<si><t>a_x0000_b</t></si><si><t>c</t></si><si><t>x</t></si><si><t>y</t></si>"),
       "S$ : a_b text c number\nx|1\ny|2"},
      {"Strict times", times(durations, false, true), times_1900},
      {"their ordinary twin", times(serials, false, false), times_1900},
      {"Strict times, 1904", times(durations, true, true), times_1904},
      {"their ordinary twin, 1904", times(serials, true, false), times_1904},
      {"a malformed duration", times({"PT1H30X"}, false, true), "S$ : T text\nPT1H30X"},
      {"era years, General and exponents", package("<row>" + heads + "</row><row>" + cells + "</row>", "", format_styles),
       "S$ : A date B date C date D number E number F number G number\n"
       "2015-04-01|2015-04-01|2015-04-01|42095|42095|42095|42095"},
  };
  fixtures::temp_dir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.file("book");
    c.write(path);
    EXPECT_EQ(first_table_text(path), c.expected);
  }
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
