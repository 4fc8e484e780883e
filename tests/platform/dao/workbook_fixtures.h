// Workbooks written for the tests: with libxlsxwriter, or as hand-made packages
// (for what libxlsxwriter does not write, and for damaged files).
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace fixtures {

// A fresh folder of the test's own, removed at destruction.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The sample workbook: sheet "Data" (header row with a duplicate and an empty
// name; text with accents and emoji, numbers, a date-time, booleans, currency,
// text over 255 characters, a mixed column, a time column; an empty row inside),
// sheet "My 'Sheet" (ids and labels for joins), sheet "Empty", and the named range
// "Totals" over Data!$A$1:$B$3. With inline true the strings are written inline.
void write_sample_xlsx(const std::string& path, bool inline_strings = false);

// The long text of the Notes column (300 characters).
std::string long_text();

// A package from its parts, as given.
void write_package(const std::string& path, const std::vector<std::pair<std::string, std::string>>& parts);

// A minimal package whose single worksheet "S" has the given <sheetData> body;
// workbook_pr goes into <workbookPr .../>, shared strings and styles as given.
std::vector<std::pair<std::string, std::string>> minimal_package(const std::string& sheet_data,
                                                                 const std::string& shared_strings = "",
                                                                 const std::string& styles = "",
                                                                 const std::string& workbook_pr = "");

// A package of worksheets, each given by its name and its <sheetData> body, in
// that order; styles as for minimal_package.
std::vector<std::pair<std::string, std::string>> sheets_package(
    const std::vector<std::pair<std::string, std::string>>& sheets, const std::string& styles = "");

// The committed .xls fixtures.
std::string xls_fixture(const std::string& name);

}  // namespace fixtures
