// A worksheet and a CSV file whose headings end in white space (a line break
// typed at the end of a heading is common), with their rows: "Heads\t" holds
// one column for each heading and row_count rows of value(row, column).
#pragma once

#include <xlsxwriter.h>

#include <fstream>
#include <string>

namespace white_space_headings {

struct heading {
  const char* cell;  // as typed in the workbook or the CSV file
  const char* name;  // the column it becomes on a MySQL server
};

const heading headings[] = {
    {"Dependent Attribute\n", "Dependent Attribute"},
    {"Win\r\n", "Win"},
    {"Tab\t", "Tab"},
    {"Feed\f", "Feed"},
    {"Blank ", "Blank"},
    {"Mixed \t\n ", "Mixed"},
    {"\nLeading", "\nLeading"},  // the server takes white space in front
    {"Mid\ndle", "Mid\ndle"},
    {"Twice", "Twice"},
    {"Twice\n", "Twice00000"},  // the same name once the line break is gone
};
constexpr int heading_count = sizeof headings / sizeof headings[0];
constexpr int row_count = 3;

inline std::string value(int row, int col) { return std::to_string(row * 100 + col); }

inline void write_workbook(const std::string& path) {
  lxw_workbook* book = workbook_new(path.c_str());
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Heads\t");
  for (int c = 0; c < heading_count; ++c) {
    const auto col = static_cast<lxw_col_t>(c);
    worksheet_write_string(sheet, 0, col, headings[c].cell, nullptr);
    for (int r = 1; r <= row_count; ++r)
      worksheet_write_string(sheet, static_cast<lxw_row_t>(r), col, value(r, c).c_str(), nullptr);
  }
  workbook_close(book);
}

inline void write_csv(const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  for (int c = 0; c < heading_count; ++c) out << (c ? ";" : "") << '"' << headings[c].cell << '"';
  out << "\n";
  for (int r = 1; r <= row_count; ++r) {
    for (int c = 0; c < heading_count; ++c) out << (c ? ";" : "") << value(r, c);
    out << "\n";
  }
}

}  // namespace white_space_headings
