#include "workbook_fixtures.h"

#include <unistd.h>
#include <xlsxwriter.h>
#include <zip.h>

#include <atomic>
#include <stdexcept>

namespace fixtures {

temp_dir::temp_dir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("orv-dao-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

temp_dir::~temp_dir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string long_text() {
  std::string text;
  for (int i = 0; i < 30; ++i) text += "abcdefghi" + std::to_string(i % 10);
  return text;
}

void write_sample_xlsx(const std::string& path, bool inline_strings) {
  lxw_workbook_options options{};
  options.constant_memory = inline_strings ? LXW_TRUE : LXW_FALSE;
  lxw_workbook* book = workbook_new_opt(path.c_str(), &options);
  lxw_format* datetime = workbook_add_format(book);
  format_set_num_format(datetime, "yyyy-mm-dd hh:mm:ss");
  lxw_format* date = workbook_add_format(book);
  format_set_num_format_index(date, 14);
  lxw_format* money = workbook_add_format(book);
  format_set_num_format(money, "\"$\"#,##0.00");
  lxw_format* time = workbook_add_format(book);
  format_set_num_format(time, "hh:mm:ss");

  lxw_worksheet* data = workbook_add_worksheet(book, "Data");
  const char* headers[] = {"Name", "Amount", "Name", nullptr, "When", "Flag", "Price", "Notes", "Mixed", "Time"};
  for (int c = 0; c < 10; ++c)
    if (headers[c]) worksheet_write_string(data, 0, static_cast<lxw_col_t>(c), headers[c], nullptr);
  // Row 2
  worksheet_write_string(data, 1, 0, "Zo\xC3\xAB", nullptr);
  worksheet_write_number(data, 1, 1, 1.5, nullptr);
  worksheet_write_string(data, 1, 2, "first", nullptr);
  worksheet_write_number(data, 1, 3, 10, nullptr);
  lxw_datetime when{2004, 5, 6, 10, 20, 30};
  worksheet_write_datetime(data, 1, 4, &when, datetime);
  worksheet_write_boolean(data, 1, 5, 1, nullptr);
  worksheet_write_number(data, 1, 6, 19.99, money);
  worksheet_write_string(data, 1, 7, long_text().c_str(), nullptr);
  worksheet_write_number(data, 1, 8, 12345678.5, nullptr);
  worksheet_write_number(data, 1, 9, 0.5, time);
  // Row 3
  worksheet_write_string(data, 2, 0, "\xF0\x9F\x98\x80 emoji", nullptr);
  worksheet_write_number(data, 2, 1, 2, nullptr);
  lxw_datetime day{1999, 12, 31, 0, 0, 0};
  worksheet_write_datetime(data, 2, 4, &day, date);
  worksheet_write_boolean(data, 2, 5, 0, nullptr);
  worksheet_write_number(data, 2, 6, 1234567.25, money);
  worksheet_write_string(data, 2, 7, "short", nullptr);
  worksheet_write_string(data, 2, 8, "text", nullptr);
  worksheet_write_number(data, 2, 9, 0.75, time);
  // Row 4 is empty. Row 5
  worksheet_write_string(data, 4, 0, "last", nullptr);
  worksheet_write_number(data, 4, 1, -0.001, nullptr);
  worksheet_write_formula_num(data, 4, 3, "=1/0", nullptr, 0);
  worksheet_write_number(data, 4, 8, 1e20, nullptr);

  lxw_worksheet* other = workbook_add_worksheet(book, "My 'Sheet");
  worksheet_write_string(other, 0, 0, "id", nullptr);
  worksheet_write_string(other, 0, 1, "label", nullptr);
  const char* labels[] = {"one", "two", "three"};
  for (int r = 0; r < 3; ++r) {
    worksheet_write_number(other, static_cast<lxw_row_t>(r + 1), 0, r + 1, nullptr);
    worksheet_write_string(other, static_cast<lxw_row_t>(r + 1), 1, labels[r], nullptr);
  }
  workbook_add_worksheet(book, "Empty");
  workbook_define_name(book, "Totals", "=Data!$A$1:$B$3");
  if (workbook_close(book) != LXW_NO_ERROR) throw std::runtime_error("libxlsxwriter failed");
}

void write_package(const std::string& path, const std::vector<std::pair<std::string, std::string>>& parts) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) throw std::runtime_error("zip_open failed");
  for (const auto& [name, content] : parts) {
    // libzip does not take over an empty buffer: an empty part gets none.
    char* copy = content.empty() ? nullptr : static_cast<char*>(malloc(content.size()));
    std::copy(content.begin(), content.end(), copy);
    zip_source_t* source = zip_source_buffer(archive, copy, content.size(), copy ? 1 : 0);
    zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE);
  }
  if (zip_close(archive) != 0) throw std::runtime_error("zip_close failed");
}

std::vector<std::pair<std::string, std::string>> minimal_package(const std::string& sheet_data,
                                                                 const std::string& shared_strings,
                                                                 const std::string& styles,
                                                                 const std::string& workbook_pr) {
  const std::string ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
  const std::string rel_ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  std::string rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                     "<Relationship Id=\"rId1\" Type=\"" + rel_ns + "/worksheet\" Target=\"worksheets/sheet1.xml\"/>";
  if (!shared_strings.empty())
    rels += "<Relationship Id=\"rId2\" Type=\"" + rel_ns + "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
  if (!styles.empty()) rels += "<Relationship Id=\"rId3\" Type=\"" + rel_ns + "/styles\" Target=\"styles.xml\"/>";
  rels += "</Relationships>";
  std::vector<std::pair<std::string, std::string>> parts = {
      {"_rels/.rels",
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" Type=\"" + rel_ns + "/officeDocument\" Target=\"xl/workbook.xml\"/>"
       "</Relationships>"},
      {"xl/workbook.xml", "<workbook " + ns + " xmlns:r=\"" + rel_ns + "\"><workbookPr " + workbook_pr +
                              "/><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels", rels},
      {"xl/worksheets/sheet1.xml", "<worksheet " + ns + "><sheetData>" + sheet_data + "</sheetData></worksheet>"},
  };
  if (!shared_strings.empty()) parts.push_back({"xl/sharedStrings.xml", "<sst " + ns + ">" + shared_strings + "</sst>"});
  if (!styles.empty()) parts.push_back({"xl/styles.xml", "<styleSheet " + ns + ">" + styles + "</styleSheet>"});
  return parts;
}

std::vector<std::pair<std::string, std::string>> sheets_package(
    const std::vector<std::pair<std::string, std::string>>& sheets, const std::string& styles) {
  const std::string ns = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
  const std::string rel_ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  auto parts = minimal_package("", "", styles);
  std::string list, rels = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  if (!styles.empty()) rels += "<Relationship Id=\"rS\" Type=\"" + rel_ns + "/styles\" Target=\"styles.xml\"/>";
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    std::string n = std::to_string(i + 1);
    list += "<sheet name=\"" + sheets[i].first + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel_ns + "/worksheet\" Target=\"worksheets/s" + n + ".xml\"/>";
    parts.push_back({"xl/worksheets/s" + n + ".xml",
                     "<worksheet " + ns + "><sheetData>" + sheets[i].second + "</sheetData></worksheet>"});
  }
  for (auto& [name, body] : parts) {
    if (name == "xl/workbook.xml") {
      auto from = body.find("<sheets>") + 8;
      body.replace(from, body.find("</sheets>") - from, list);
    } else if (name == "xl/_rels/workbook.xml.rels") {
      body = rels + "</Relationships>";
    }
  }
  return parts;
}

std::string xls_fixture(const std::string& name) { return std::string(ORV_SOURCE_DIR) + "/tests/fixtures/xls/" + name; }

}  // namespace fixtures
