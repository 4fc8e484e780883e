// The CSV fixtures of tests/fixtures/csv and the rows each must give, as the
// server returns them (UTF-8).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "TK/tk_utils.h"

using csv_rows = std::vector<std::vector<std::string>>;

inline std::filesystem::path csv_fixture_path(const std::string& name) {
  return std::filesystem::path(ORV_SOURCE_DIR) / "tests/fixtures/csv" / name;
}

// Windows-1252 from 0x80 to 0xFF as Windows reads it, the five undefined bytes as C1 controls.
inline std::string cp1252_high_utf8() {
  std::wstring text =
      L"\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u008D\u017D\u008F"
      L"\u0090\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D\u017E\u0178";
  for (wchar_t c = 0xA0; c <= 0xFF; ++c) text += c;
  return tk_to_utf8(text);
}

struct csv_fixture_case {
  const char* file;
  int delimiter_index;  // 0 tab, 1 ";", 2 ",", 3 blank
  csv_rows rows;
  std::vector<std::string> errors;  // what the error list must hold, each a part of its entry
};

// The error list of a run of the fixture holds its errors, in order.
inline void expect_fixture_errors(const std::vector<std::string>& listed, const csv_fixture_case& f) {
  EXPECT_EQ(listed.size(), f.errors.size()) << f.file;
  for (std::size_t i = 0; i < std::min(f.errors.size(), listed.size()); ++i)
    EXPECT_NE(listed[i].find(f.errors[i]), std::string::npos) << listed[i];
}

// Every fixture the reader converts, with its rows in file order.
inline std::vector<csv_fixture_case> csv_fixture_cases() {
  const csv_rows names{{"1", "Müller"}, {"2", "Café € 5"}};
  auto with = [&](const std::string& third) {
    csv_rows rows = names;
    rows.push_back({"3", third});
    return rows;
  };
  return {
      {"quotes_in_unquoted_fields.csv", 2,
       {{"1", "37°36'37.8\"N", "a"}, {"2", "x\"y\"z", "b"}, {"3", "12\" ruler", "3"}, {"4", "a\"b", "c"},
        {"5", "", "e"}, {"6", "say \"hi\", ok", "f"}},
       {}},
      {"unterminated_quote.csv", 2,
       {{"1", "first"}, {"2", "never closed"}, {"3", "third"}, {"4", ""}, {"5", "a\"b"}, {"6", "last"}},
       {"record #2: the quoted field that begins on line 3 is never closed"}},
      {"extra_fields.csv", 1,
       {{"1", "2"}, {"3", "4"}, {"7", "8"}, {"9", "10"}, {"11", "12"}},
       {"record #2 has 4 fields, the first line has 2; fields 3 to 4 were not converted",
        "record #5 has 4 fields, the first line has 2; fields 3 to 4 were not converted"}},
      {"windows_1252.csv", 1, with(cp1252_high_utf8()), {}},
      {"utf8.csv", 1, with("😀"), {}},
      {"utf8_bom.csv", 1, with("😀"), {}},
  };
}

// The files that are refused, and the kind of text the error names.
inline std::vector<std::pair<const char*, const char*>> csv_refused_fixtures() {
  return {{"utf16le_bom.csv", "UTF-16"},
          {"utf16be_bom.csv", "UTF-16"},
          {"utf32le_bom.csv", "UTF-32"},
          {"utf32be_bom.csv", "UTF-32"}};
}
