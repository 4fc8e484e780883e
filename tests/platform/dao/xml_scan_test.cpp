// Our own worksheet XML reader against expat: the same cells from every workbook,
// the same verdict on malformed and hostile worksheets.
#include <gtest/gtest.h>

#include <xlsxwriter.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/dao/jet_error.h"
#include "platform/dao/xlsx_workbook.h"
#include "workbook_fixtures.h"

using namespace jet;

namespace {

struct sheet_read {
  std::vector<sheet_row> rows;
  bool failed = false;
  std::string error;
};

// segment_bytes: read in segments of that size by three helper threads; 0: on
// one thread.
sheet_read read_sheet(const xlsx_workbook& book, std::size_t sheet, xml_scan::engine engine,
                      std::size_t segment_bytes = 0) {
  sheet_read out;
  try {
    auto cursor = book.open_sheet(sheet, engine, segment_bytes, segment_bytes ? 3 : 0);
    sheet_row row;
    while (cursor->next(row)) out.rows.push_back(row);
  } catch (const jet_error& e) {
    EXPECT_EQ(e.number(), err_not_expected_format);
    out.failed = true;
    out.error = e.what();
  }
  return out;
}

bool same_cell(const cell& a, const cell& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case cell_kind::empty:
      return true;
    case cell_kind::number:
    case cell_kind::date:
      return std::memcmp(&a.number, &b.number, sizeof a.number) == 0 && a.currency == b.currency;
    case cell_kind::boolean:
      return a.boolean == b.boolean;
    case cell_kind::text:
    case cell_kind::error:
      return a.text == b.text;
  }
  return false;
}

void expect_same_rows(const sheet_read& ours, const sheet_read& theirs) {
  EXPECT_EQ(ours.rows.size(), theirs.rows.size());
  for (std::size_t r = 0; r < std::min(ours.rows.size(), theirs.rows.size()); ++r) {
    const auto& a = ours.rows[r];
    const auto& b = theirs.rows[r];
    EXPECT_EQ(a.index, b.index);
    std::size_t width = std::max(a.cells.size(), b.cells.size());
    for (std::size_t c = 0; c < width; ++c) {
      const cell none;
      const cell& x = c < a.cells.size() ? a.cells[c] : none;
      const cell& y = c < b.cells.size() ? b.cells[c] : none;
      EXPECT_TRUE(same_cell(x, y)) << "row " << a.index << " column " << c << ": '" << x.text << "' / '" << y.text
                                   << "' " << x.number << " / " << y.number;
    }
  }
}

// Every worksheet read both ways; the rows must agree cell for cell. Ours is
// also read in segments of several sizes on several threads, which must give
// the very rows and error it gives on one. Returns whether the workbook's
// worksheets were all read without error.
bool expect_same_both_ways(const std::string& path,
                           std::initializer_list<std::size_t> segment_sizes = {1, 8, 9, 150, 4000, 100000}) {
  SCOPED_TRACE(path);
  xlsx_workbook book(zip_package::open_file(path));
  bool whole = true;
  for (std::size_t s = 0; s < book.sheet_names().size(); ++s) {
    auto ours = read_sheet(book, s, xml_scan::engine::automatic);
    auto theirs = read_sheet(book, s, xml_scan::engine::expat);
    EXPECT_EQ(ours.failed, theirs.failed) << "sheet " << s;
    whole = whole && !ours.failed;
    for (std::size_t segment_bytes : segment_sizes) {
      SCOPED_TRACE("segments of " + std::to_string(segment_bytes) + " bytes");
      auto split = read_sheet(book, s, xml_scan::engine::automatic, segment_bytes);
      EXPECT_EQ(split.failed, ours.failed);
      EXPECT_EQ(split.error, ours.error);
      expect_same_rows(split, ours);
    }
    if (ours.failed || theirs.failed) continue;
    expect_same_rows(ours, theirs);
  }
  return whole;
}

std::string worksheet(const std::string& body) {
  return "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" + body +
         "</sheetData></worksheet>";
}

// A package whose worksheet part is exactly the given document.
std::string package_with(const fixtures::temp_dir& dir, const std::string& document, const std::string& name) {
  auto parts = fixtures::minimal_package("", "<si><t>zero</t></si><si><t>one</t></si>",
                                         "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"14\"/><xf numFmtId=\"7\"/></cellXfs>");
  for (auto& [part, content] : parts)
    if (part == "xl/worksheets/sheet1.xml") content = document;
  auto path = dir.file(name);
  fixtures::write_package(path, parts);
  return path;
}

}  // namespace

TEST(XmlScan, SameCellsAsExpatFromEveryWorkbook) {
  fixtures::temp_dir dir;
  fixtures::write_sample_xlsx(dir.file("shared.xlsx"));
  fixtures::write_sample_xlsx(dir.file("inline.xlsx"), true);
  std::vector<std::string> books = {dir.file("shared.xlsx"), dir.file("inline.xlsx")};
  for (const char* folder : {"/examples", "/fuzz/corpus/fuzz_xlsx_reader", "/tests/fixtures"}) {
    std::filesystem::path root = std::string(ORV_SOURCE_DIR) + folder;
    if (!std::filesystem::exists(root)) continue;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
      if (entry.path().extension() == ".xlsx") books.push_back(entry.path().string());
  }
  for (const auto& book : books) EXPECT_TRUE(expect_same_both_ways(book));
}

// What XML allows and worksheets rarely hold: every form must read as expat reads it.
TEST(XmlScan, SameCellsAsExpatFromEveryWellFormedSpelling) {
  fixtures::temp_dir dir;
  const std::string ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
  const std::vector<std::string> documents = {
      // Declarations, byte-order mark, comments and instructions around the root.
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n" + worksheet("<row><c><v>1</v></c></row>"),
      "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?>" + worksheet("<row><c><v>2</v></c></row>"),
      "<?xml version=\"1.0\"?><!-- before --><?pi data?>\n" + worksheet("<row><c><v>3</v></c></row>") +
          "<!-- after --> <?pi?>\n",
      // Prefixed names, namespaces, single quotes, attribute order, white space in tags.
      "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><x:sheetData>"
      "<x:row x:r='2'><x:c t = 's'\tr='B2' ><x:v>1</x:v></x:c><x:c s=\"1\" r=\"C2\"><x:v>40000</x:v></x:c></x:row>"
      "</x:sheetData></x:worksheet >",
      // References, CDATA, line ends, comments and instructions inside cells.
      worksheet("<row><c t=\"inlineStr\"><is><t>&lt;a&gt; &amp; &quot;b&apos; &#65;&#x42;&#x20AC;&#128512;</t></is></c>"
                "<c t=\"str\"><v><![CDATA[<not markup> & ]] ]>]]>tail</v></c>"
                "<c t=\"inlineStr\"><is><t>one\r\ntwo\rthree\nfour</t></is></c>"
                "<c t=\"str\"><v>a<!-- gone -->b<?pi x?>c</v></c>"
                "<c t=\"inlineStr\"><is><t xml:space=\"preserve\">  spaced\t</t></is></c></row>"),
      // Escapes, rich and phonetic runs, empty and self-closing elements.
      worksheet("<row r=\"3\"><c t=\"inlineStr\"><is><r><t>rich</t></r><r><t>_x000D__x005F_x_xD83D__xDE00_</t></r>"
                "<rPh><t>PH</t></rPh></is></c><c/><c t=\"s\"/><c><v/></c><c t=\"s\"><v>0</v></c></row><row r=\"5\"/>"
                "<row r=\"7\"><c r=\"XFD7\" t=\"b\"><v>1</v></c></row>"),
      // Attribute values with references and white space to normalise.
      worksheet("<row r=\"&#49;\"><c r=\"&#x41;1\" t=\"&#x73;\"><v>1</v></c><c r=\"B1\" t=\"e\"><v>#N/A</v></c></row>"
                "<row spans=\"1:2&#10;\r\n\tx\"><c t=\"d\"><v>2020-01-02T03:04:05</v></c><c s=\"2\"><v>-1.5e3</v></c></row>"),
      // Numbers of every form, text where a number was expected, non-ASCII text and names.
      worksheet("<row><c><v>0.1</v></c><c><v>1E308</v></c><c><v>4.9406564584124654E-324</v></c><c><v> 7</v></c>"
                "<c><v>abc</v></c><c><v>Zürich € 𝄞</v></c><c é=\"1\"><v>5</v></c></row>"),
      // Other elements around sheetData, which the reader passes over.
      "<worksheet " + ns + "><dimension ref=\"A1\"/><cols><col min=\"1\" max=\"1\" width=\"9\"/></cols><sheetData>"
          "<row><c><v>1</v><f>A2</f></c></row></sheetData><mergeCells count=\"1\"><mergeCell ref=\"A1:B1\"/></mergeCells>"
          "<extLst><ext><x14:thing xmlns:x14=\"urn:x\"><sheetData><row><c><v>9</v></c></row></sheetData></x14:thing>"
          "</ext></extLst></worksheet>",
  };
  for (std::size_t i = 0; i < documents.size(); ++i) {
    SCOPED_TRACE(documents[i]);
    EXPECT_TRUE(expect_same_both_ways(package_with(dir, documents[i], "ok" + std::to_string(i) + ".xlsx")));
  }
}

// Malformed and hostile worksheets: whatever expat refuses, we refuse.
TEST(XmlScan, RefusesWhatExpatRefuses) {
  fixtures::temp_dir dir;
  const std::string row = "<row><c><v>1</v></c></row>";
  const std::vector<std::string> documents = {
      "",
      "   ",
      "<?xml version=\"1.0\"?>",
      worksheet(row).substr(0, 80),                                           // cut short
      worksheet(row) + "<worksheet/>",                                         // two roots
      worksheet(row) + "junk",                                                 // text after the root
      "junk" + worksheet(row),                                                 // text before it
      " <?xml version=\"1.0\"?>" + worksheet(row),                             // declaration not first
      "<?xml encoding=\"UTF-8\"?>" + worksheet(row),                           // no version
      "<?xml version=\"1.0\" standalone=\"maybe\"?>" + worksheet(row),
      "<?xml version=\"1.0\" standalone=\"yes\" encoding=\"UTF-8\"?>" + worksheet(row),
      worksheet("<row><c><v>1</v></c></rov>"),                                 // mismatched tag
      worksheet("<row><c><v>1</c></v></row>"),
      worksheet("<row><c r=\"A1\" r=\"B1\"><v>1</v></c></row>"),               // duplicate attribute
      worksheet("<row><c r=A1><v>1</v></c></row>"),                            // unquoted value
      worksheet("<row><c r=\"A1\"t=\"n\"><v>1</v></c></row>"),                 // no space between attributes
      worksheet("<row><c r=\"A1'><v>1</v></c></row>"),                         // quotes that do not pair
      worksheet("<row><c r=\"A<1\"><v>1</v></c></row>"),                       // '<' in a value
      worksheet("<row><c r=\"A1\" / ><v>1</v></c></row>"),
      worksheet("<row><c><v>1 &nbsp; 2</v></c></row>"),                        // undefined entity
      worksheet("<row><c><v>1 & 2</v></c></row>"),
      worksheet("<row><c><v>&#0;</v></c></row>"),                              // characters XML forbids
      worksheet("<row><c><v>&#xD800;</v></c></row>"),
      worksheet("<row><c><v>&#x110000;</v></c></row>"),
      worksheet("<row><c><v>&#99999999999999999999;</v></c></row>"),
      worksheet("<row><c><v>\x01</v></c></row>"),
      worksheet("<row><c><v>\xC3</v></c></row>"),                              // broken UTF-8
      worksheet("<row><c><v>\xC0\x80</v></c></row>"),                          // overlong
      worksheet("<row><c><v>\xED\xA0\x80</v></c></row>"),                      // surrogate
      worksheet("<row><c><v>\xEF\xBF\xBE</v></c></row>"),                      // U+FFFE
      worksheet("<row><c><v>\xF4\x90\x80\x80</v></c></row>"),                  // beyond U+10FFFF
      worksheet("<row><c r=\"A1\x01\"><v>1</v></c></row>"),
      worksheet("<row><c><v>a]]>b</v></c></row>"),                             // ']]>' in text
      worksheet("<row><c><v><![CDATA[open</v></c></row>"),
      worksheet("<row><c><v>a<!-- x -- y -->b</v></c></row>"),                 // '--' in a comment
      worksheet("<row><c><v><?xml version=\"1.0\"?></v></c></row>"),           // a reserved instruction
      worksheet("<row><1c><v>1</v></1c></row>"),                               // a name that is none
      worksheet("<row><c><v>1</v></c></row><!DOCTYPE x>"),
      "<!DOCTYPE w [<!ENTITY a \"aaaaaaaa\">]>" + worksheet("<row><c t=\"inlineStr\"><is><t>&a;</t></is></c></row>"),
      "<worksheet><sheetData>" + std::string(100000, '<'),
      "<worksheet a=\"" + std::string(1 << 20, 'x'),                           // a tag that never ends
  };
  for (std::size_t i = 0; i < documents.size(); ++i) {
    SCOPED_TRACE(documents[i].substr(0, 200));
    EXPECT_FALSE(expect_same_both_ways(package_with(dir, documents[i], "bad" + std::to_string(i) + ".xlsx")));
  }
}

// A sheet read in segments on several threads is cut after every "</row>" in its
// text, also where that is no end of a row: the rows and the error must still be
// those of one reading from start to end.
TEST(XmlScan, SegmentsCutAnywhereReadAsOneReading) {
  fixtures::temp_dir dir;
  std::vector<std::string> documents = {
      worksheet("<row r=\"1\"><c><v>1</v></c></row><row><c><v>2</v></c></row><row r=\"5\"><c><v>3</v></c></row>"
                "<row><c><v>4</v></c></row>"),
      worksheet("<row r=\"1\"><c><v>1</v></c><!-- </row> --><c><v>2</v></c></row><row r=\"2\"><c><v>3</v></c></row>"),
      worksheet("<row><c t=\"str\"><v><![CDATA[</row>]]></v></c></row><row><c><v>1</v></c></row>"),
      worksheet("<row><?pi </row>?><c><v>1</v></c></row>\n<row><c><v>2</v></c></row>\n"),
      worksheet("<row r=\"1\"><c><v>1</v></c></row><x:ext xmlns:x=\"urn:x\"><row r=\"9\"><c><v>9</v></c></row>"
                "</x:ext><row r=\"12\"><c><v>2</v></c></row>"),
      worksheet("<row r=\"3\"><c><v>1</v></c></row><row r=\"2\"><c><v>2</v></c></row>"),
      worksheet("<row r=\"1\"><c t=\"s\"><v>0</v></c></row><row r=\"2\"><c t=\"s\"><v>99</v></c></row>"),
      worksheet("<row><c><v>1</v></c></row><row><c><v>2</v></c></row>").substr(0, 120) + "</wrong>",
      "<worksheet><sheetData><row><c><v>1</v></c></row><row><c r=\"</row>\"><v>1</v></c></row></sheetData></worksheet>",
      "<worksheet><sheetData><row><c><v>1</v></c></row></sheetData><sheetData><row><c><v>2</v></c></row>"
      "</sheetData></worksheet>",
      "<worksheet><sheetData><row><c><v>1</v></c></row></sheetData></worksheet><!-- </row> --><row/>",
  };
  // Long rows: with no "</row>" near, segments are cut anywhere. Row tags and
  // cells of 16 bytes each, so that segments of 8 (cut at 32 bytes) end
  // between two cells too.
  std::string wide;
  for (int r = 1; r <= 4; ++r) {
    wide += "<row r=\"00000" + std::to_string(r) + "\">";
    for (int c = 10; c < 50; ++c) wide += "<c><v>" + std::to_string(c) + "</v></c>";
    wide += "</row>";
  }
  documents.push_back(worksheet(wide));
  // Segments of white space alone between rows: the row numbers go on from the
  // row before them.
  const std::string gap(100, ' ');
  documents.push_back(worksheet("<row r=\"3\"><c><v>1</v></c></row>" + gap + "<row><c><v>2</v></c></row>" + gap +
                                "<row r=\"9\"><c><v>3</v></c></row>"));
  documents.push_back(worksheet("<row r=\"3\"><c><v>1</v></c></row>" + gap + "<row r=\"2\"><c><v>2</v></c></row>"));
  for (std::size_t i = 0; i < documents.size(); ++i) {
    SCOPED_TRACE(documents[i]);
    expect_same_both_ways(package_with(dir, documents[i], "cut" + std::to_string(i) + ".xlsx"));
  }
}

// Worksheets in another encoding go to expat whole.
TEST(XmlScan, OtherEncodingsReadThroughExpat) {
  fixtures::temp_dir dir;
  std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" +
                       worksheet("<row><c t=\"inlineStr\"><is><t>Z\xFCrich</t></is></c></row>");
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("<?xml version=\"1.0\" encoding=\"UTF-16\"?>") +
                    worksheet("<row><c t=\"str\"><v>wide</v></c></row>")) {
    utf16 += c;
    utf16 += '\0';
  }
  for (const auto& [document, text] : {std::pair{latin1, std::string("Zürich")}, std::pair{utf16, std::string("wide")}}) {
    auto path = package_with(dir, document, "enc.xlsx");
    EXPECT_TRUE(expect_same_both_ways(path));
    xlsx_workbook book(zip_package::open_file(path));
    auto read = read_sheet(book, 0, xml_scan::engine::automatic);
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0].cells[0].text, text);
  }
}

// Large generated worksheets: tags, values and text cross the reader's chunks at
// every point.
TEST(XmlScan, SameCellsAsExpatFromGeneratedSheets) {
  fixtures::temp_dir dir;
  std::mt19937 random(7);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const char* const texts[] = {"plain", "a &amp; b", "&#x20AC;uro", "line\r\nend", "<![CDATA[x<y]]>", "Zürich",
                               "_x0009_tab", "", "  ", "😀"};
  std::string body;
  for (int r = 1; r <= 20000; ++r) {
    body += pick(3) ? "<row r=\"" + std::to_string(r) + "\">" : "<row>";
    int cols = 1 + pick(9);
    for (int c = 0; c < cols; ++c) {
      std::string ref = pick(2) ? std::string(" r=\"") + static_cast<char>('A' + c) + std::to_string(r) + "\"" : "";
      switch (pick(6)) {
        case 0: body += "<c" + ref + "><v>" + std::to_string(random() / 7.0) + "</v></c>"; break;
        case 1: body += "<c" + ref + " t=\"s\"><v>" + std::to_string(pick(2)) + "</v></c>"; break;
        case 2: body += "<c" + ref + " t=\"inlineStr\"><is><t>" + texts[pick(10)] + "</t></is></c>"; break;
        case 3: body += "<c" + ref + " s=\"" + std::to_string(pick(3)) + "\"><v>" + std::to_string(pick(60000)) +
                        "</v></c>"; break;
        case 4: body += "<c" + ref + " t=\"str\"><f>X</f><v>" + texts[pick(10)] + "</v></c>"; break;
        default: body += "<c" + ref + " t=\"b\"><v>" + std::to_string(pick(2)) + "</v></c>"; break;
      }
    }
    body += "</row>";
  }
  EXPECT_TRUE(expect_same_both_ways(package_with(dir, worksheet(body), "generated.xlsx"), {3000, 40000}));

  // And a workbook as libxlsxwriter writes one, with long shared strings.
  auto path = dir.file("written.xlsx");
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Rows");
  lxw_format* date = workbook_add_format(book);
  format_set_num_format(date, "yyyy-mm-dd hh:mm:ss");
  for (int r = 0; r < 5000; ++r) {
    worksheet_write_number(sheet, static_cast<lxw_row_t>(r), 0, r * 1.25, nullptr);
    worksheet_write_number(sheet, static_cast<lxw_row_t>(r), 1, 36000 + r / 7.0, date);
    worksheet_write_string(sheet, static_cast<lxw_row_t>(r), 2, (std::string(200, 'x') + std::to_string(r)).c_str(),
                           nullptr);
    worksheet_write_boolean(sheet, static_cast<lxw_row_t>(r), 3, r % 2, nullptr);
  }
  ASSERT_EQ(workbook_close(book), LXW_NO_ERROR);
  EXPECT_TRUE(expect_same_both_ways(path, {3000, 40000}));
}
