#include "platform/dao/excel_names.h"

#include <algorithm>
#include <unordered_set>

namespace jet {

namespace {

bool plain_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

std::string folded(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

std::string sheet_table_name(std::string_view sheet) {
  bool quote = sheet.empty() || (sheet[0] >= '0' && sheet[0] <= '9');
  for (char c : sheet) quote = quote || !plain_char(c);
  if (!quote) return std::string(sheet) + "$";
  std::string out = "'";
  for (char c : sheet) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "$'";
}

std::string unquoted_table_name(std::string_view table) {
  if (table.size() < 2 || table.front() != '\'' || table.back() != '\'') return {};
  std::string out;
  for (std::size_t i = 1; i + 1 < table.size(); ++i) {
    out += table[i];
    if (table[i] == '\'' && table[i + 1] == '\'') ++i;
  }
  return out;
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string> field_names(const std::vector<std::string>& headers_in, std::size_t count) {
  // The query engine declares its columns in text that ends at a NUL: a NUL
  // (written _x0000_ in a worksheet) becomes '_'.
  std::vector<std::string> headers(headers_in.begin(), headers_in.begin() + std::min(count, headers_in.size()));
  for (auto& header : headers) std::replace(header.begin(), header.end(), '\0', '_');
  std::vector<std::string> names(count);
  std::unordered_set<std::string> used;
  // Header names first, so that a generated F-name gives way to a real one.
  for (std::size_t i = 0; i < headers.size(); ++i) {
    bool blank = headers[i].find_first_not_of(' ') == std::string::npos;
    if (!blank) used.insert(folded(headers[i]));
  }
  std::unordered_set<std::string> taken;
  for (std::size_t i = 0; i < count; ++i) {
    bool blank = i >= headers.size() || headers[i].find_first_not_of(' ') == std::string::npos;
    std::string base = blank ? "F" + std::to_string(i + 1) : headers[i];
    std::string name = base;
    if (taken.count(folded(name)) || (blank && used.count(folded(name)))) {
      for (std::size_t n = 1;; ++n) {
        name = base + std::to_string(n);
        if (!taken.count(folded(name)) && !used.count(folded(name))) break;
      }
    }
    taken.insert(folded(name));
    names[i] = name;
  }
  return names;
}

}  // namespace jet
