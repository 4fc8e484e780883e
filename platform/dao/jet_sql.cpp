#include "platform/dao/jet_sql.h"

#include <cctype>
#include <cstdio>
#include <vector>

#include "platform/dao/jet_error.h"
#include "platform/dao/number_text.h"
#include "platform/dao/serial_date.h"

namespace jet {

namespace {

bool word_at(std::string_view sql, std::size_t i, std::string_view word) {
  if (sql.size() - i < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k)
    if (std::toupper(static_cast<unsigned char>(sql[i + k])) != word[k]) return false;
  std::size_t end = i + word.size();
  bool left_ok = i == 0 || !(std::isalnum(static_cast<unsigned char>(sql[i - 1])) || sql[i - 1] == '_');
  bool right_ok = end == sql.size() || !(std::isalnum(static_cast<unsigned char>(sql[end])) || sql[end] == '_');
  return left_ok && right_ok;
}

// A Jet date literal body: "2004-05-06", "2004-05-06 10:20:30", "5/6/2004" (US
// month/day/year), optionally with a time.
bool date_literal(std::string_view body, double& out) {
  std::string text(body);
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (auto iso = parse_iso_date(text)) {
    out = *iso;
    return true;
  }
  int m, d, y, h = 0, mi = 0, s = 0;
  int n = std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d", &m, &d, &y, &h, &mi, &s);
  if (n == 3 || n >= 5) {
    if (y < 100) y += y < 30 ? 2000 : 1900;
    if (m < 1 || m > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59) return false;
    out = ole_date_from_parts({y, m, d, h, mi, s});
    return true;
  }
  return false;
}

}  // namespace

namespace {
std::string enclosed(std::string_view text, char quote) {
  std::string out(1, quote);
  for (char c : text) {
    out += c;
    if (c == quote) out += quote;
  }
  return out + quote;
}
}  // namespace

std::string select_all_table(const std::string& sql) {
  static constexpr std::string_view head = "SELECT * FROM ";
  if (sql.size() <= head.size()) return "";
  for (std::size_t i = 0; i < head.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(sql[i])) != head[i]) return "";
  std::string name = sql.substr(head.size());
  while (!name.empty() && (name.back() == ' ' || name.back() == ';')) name.pop_back();
  if (name.size() >= 2 && ((name.front() == '[' && name.back() == ']') || (name.front() == '"' && name.back() == '"')))
    return name.substr(1, name.size() - 2);
  if (name.find_first_of(" []\"(),") != std::string::npos) return "";
  return name;
}

std::string sql_identifier(std::string_view name) { return enclosed(name, '"'); }
std::string sql_text_literal(std::string_view text) { return enclosed(text, '\''); }

std::string rewrite_jet_sql(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  // For each level of parentheses: whether its SELECT has been seen, and the
  // LIMIT that its TOP asks for, written where that level closes.
  struct level {
    bool seen_select = false;
    std::string limit;
  };
  std::vector<level> levels(1);
  std::size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'') {  // text literal, '' inside
      std::size_t j = i + 1;
      while (j < sql.size()) {
        if (sql[j] == '\'' && j + 1 < sql.size() && sql[j + 1] == '\'') j += 2;
        else if (sql[j] == '\'') break;
        else ++j;
      }
      out.append(sql.substr(i, j + 1 - i));
      i = j + 1;
    } else if (c == '"') {  // Jet text literal in double quotes
      std::size_t j = i + 1;
      std::string body;
      while (j < sql.size()) {
        if (sql[j] == '"' && j + 1 < sql.size() && sql[j + 1] == '"') {
          body += '"';
          j += 2;
        } else if (sql[j] == '"') {
          break;
        } else {
          if (sql[j] == '\'') body += '\'';
          body += sql[j++];
        }
      }
      out += "'" + body + "'";
      i = j + 1;
    } else if (c == '[') {  // bracketed name
      std::size_t j = sql.find(']', i);
      if (j == std::string_view::npos) j = sql.size() - 1;
      out.append(sql.substr(i, j + 1 - i));
      i = j + 1;
    } else if (c == '#') {
      std::size_t j = sql.find('#', i + 1);
      double date = 0;
      if (j == std::string_view::npos || !date_literal(sql.substr(i + 1, j - i - 1), date))
        throw_jet(err_query_syntax, sql.substr(i, j == std::string_view::npos ? std::string_view::npos : j + 1 - i));
      out += "(" + number_text_exact(date) + ")";
      i = j + 1;
    } else if (c == '&') {
      out += "||";
      ++i;
    } else if (c == ';') {
      ++i;
    } else if (c == '(') {
      levels.emplace_back();
      out += c;
      ++i;
    } else if (c == ')') {
      if (levels.size() > 1) {
        if (!levels.back().limit.empty()) out += " LIMIT " + levels.back().limit;
        levels.pop_back();
      }
      out += c;
      ++i;
    } else if (!levels.back().seen_select && word_at(sql, i, "SELECT")) {
      levels.back().seen_select = true;
      out.append(sql.substr(i, 6));
      i += 6;
      // SELECT [DISTINCT] TOP n
      std::size_t j = i;
      while (j < sql.size() && std::isspace(static_cast<unsigned char>(sql[j]))) ++j;
      std::size_t distinct_end = j;
      if (word_at(sql, j, "DISTINCT")) {
        distinct_end = j + 8;
        j = distinct_end;
        while (j < sql.size() && std::isspace(static_cast<unsigned char>(sql[j]))) ++j;
      }
      if (word_at(sql, j, "TOP")) {
        std::size_t k = j + 3;
        while (k < sql.size() && std::isspace(static_cast<unsigned char>(sql[k]))) ++k;
        std::size_t digits = k;
        while (k < sql.size() && std::isdigit(static_cast<unsigned char>(sql[k]))) ++k;
        if (k > digits) {
          out.append(sql.substr(i, distinct_end - i));
          levels.back().limit = std::string(sql.substr(digits, k - digits));
          i = k;
        }
      }
    } else {
      out += c;
      ++i;
    }
  }
  if (!levels.front().limit.empty()) out += " LIMIT " + levels.front().limit;
  return out;
}

}  // namespace jet
