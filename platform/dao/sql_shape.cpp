#include "platform/dao/sql_shape.h"

#include <cctype>

namespace jet {

namespace {

struct token {
  enum class kind { word, name, literal, mark } what;
  std::size_t begin, end;
  std::string_view text;
};

bool word_char(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

// The tokens of a statement; comments and blanks between them dropped. Quoted
// text that does not close runs to the end.
std::vector<token> tokens_of(std::string_view sql) {
  std::vector<token> out;
  std::size_t i = 0;
  auto closing = [&](std::size_t from, char close) {
    std::size_t j = from + 1;
    while (j < sql.size()) {
      if (sql[j] == close) {
        // A doubled quote stands for itself inside; brackets do not double.
        if (close != ']' && j + 1 < sql.size() && sql[j + 1] == close) {
          j += 2;
          continue;
        }
        return j + 1;
      }
      ++j;
    }
    return sql.size();
  };
  while (i < sql.size()) {
    char c = sql[i];
    std::size_t end;
    token::kind what;
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      std::size_t eol = sql.find('\n', i);
      i = eol == std::string_view::npos ? sql.size() : eol + 1;
      continue;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      std::size_t close = sql.find("*/", i + 2);
      i = close == std::string_view::npos ? sql.size() : close + 2;
      continue;
    } else if (c == '\'' || c == '#') {
      end = closing(i, c);
      what = token::kind::literal;
    } else if (c == '"' || c == '`') {
      end = closing(i, c);
      what = token::kind::name;
    } else if (c == '[') {
      end = closing(i, ']');
      what = token::kind::name;
    } else if (word_char(c)) {
      end = i;
      while (end < sql.size() && word_char(sql[end])) ++end;
      what = token::kind::word;
    } else {
      end = i + 1;
      what = token::kind::mark;
    }
    out.push_back({what, i, end, sql.substr(i, end - i)});
    i = end;
  }
  return out;
}

bool is_word(const token& t, std::string_view word) {
  if (t.what != token::kind::word || t.text.size() != word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(t.text[i])) != word[i]) return false;
  return true;
}

bool is_mark(const token& t, char c) { return t.what == token::kind::mark && t.text[0] == c; }

// Keywords that end a select list's FROM clause, or the list itself.
bool ends_clause(const token& t) {
  for (std::string_view word : {"WHERE", "GROUP", "HAVING", "ORDER", "LIMIT", "UNION", "EXCEPT", "INTERSECT", "WINDOW"})
    if (is_word(t, word)) return true;
  return false;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool is_name_part(const token& t) {
  return t.what == token::kind::name ||
         (t.what == token::kind::word && !std::isdigit(static_cast<unsigned char>(t.text[0])));
}

}  // namespace

std::optional<select_shape> select_shape_of(std::string_view sql) {
  auto tokens = tokens_of(sql);
  if (tokens.empty() || !is_word(tokens[0], "SELECT")) return std::nullopt;
  std::size_t i = 1;
  if (i < tokens.size() && (is_word(tokens[i], "DISTINCT") || is_word(tokens[i], "ALL"))) ++i;
  select_shape shape;
  int depth = 0;
  std::size_t first = i;
  auto add_item = [&](std::size_t from, std::size_t to) {  // tokens [from, to)
    if (from >= to) return;
    select_item item;
    item.text = std::string(sql.substr(tokens[from].begin, tokens[to - 1].end - tokens[from].begin));
    std::size_t last = to;
    if (to - from >= 3 && is_word(tokens[to - 2], "AS") && (tokens[to - 1].what != token::kind::mark)) last = to - 2;
    item.expression = std::string(sql.substr(tokens[from].begin, tokens[last - 1].end - tokens[from].begin));
    item.star = is_mark(tokens[to - 1], '*') && (to - from == 1 || (to - from == 3 && is_mark(tokens[to - 2], '.')));
    shape.items.push_back(std::move(item));
  };
  for (; i < tokens.size(); ++i) {
    const token& t = tokens[i];
    if (is_mark(t, '(')) ++depth;
    else if (is_mark(t, ')')) --depth;
    if (depth < 0) return std::nullopt;
    if (depth > 0) continue;
    if (is_mark(t, ',')) {
      add_item(first, i);
      first = i + 1;
    } else if (is_word(t, "FROM") || ends_clause(t)) {
      break;
    }
  }
  add_item(first, i);
  if (i < tokens.size() && is_word(tokens[i], "FROM")) {
    std::size_t from = i;
    for (depth = 0; i < tokens.size(); ++i) {
      if (is_mark(tokens[i], '(')) ++depth;
      else if (is_mark(tokens[i], ')')) --depth;
      if (depth == 0 && ends_clause(tokens[i])) break;
      if (depth < 0) break;
    }
    shape.from_clause = std::string(sql.substr(tokens[from].begin, tokens[i - 1].end - tokens[from].begin));
  }
  return shape;
}

bool is_column_reference(std::string_view expression) {
  auto tokens = tokens_of(expression);
  if (tokens.empty() || tokens.size() % 2 == 0) return false;
  for (std::size_t i = 0; i < tokens.size(); ++i)
    if (i % 2 == 0 ? !is_name_part(tokens[i]) : !is_mark(tokens[i], '.')) return false;
  return true;
}

std::string call_argument(std::string_view expression, std::string_view function) {
  auto tokens = tokens_of(expression);
  if (tokens.size() < 4 || tokens[0].what != token::kind::word || !is_mark(tokens[1], '(') ||
      !is_mark(tokens.back(), ')'))
    return "";
  std::string upper;
  for (char c : tokens[0].text) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper != function) return "";
  // The parenthesis after the name must close at the end.
  int depth = 0;
  for (std::size_t i = 1; i + 1 < tokens.size(); ++i) {
    if (is_mark(tokens[i], '(')) ++depth;
    else if (is_mark(tokens[i], ')')) --depth;
    if (depth == 0) return "";
  }
  std::size_t first = 2;
  if (is_word(tokens[first], "DISTINCT") && tokens.size() > 4) ++first;
  return std::string(trimmed(expression.substr(tokens[first].begin, tokens[tokens.size() - 2].end - tokens[first].begin)));
}

std::string counted_subquery(std::string_view sql) {
  auto tokens = tokens_of(sql);
  static constexpr std::size_t head = 7;  // select count ( * ) from (
  if (tokens.size() < head + 2 || !is_word(tokens[0], "SELECT") || !is_word(tokens[1], "COUNT") ||
      !is_mark(tokens[2], '(') || !is_mark(tokens[3], '*') || !is_mark(tokens[4], ')') || !is_word(tokens[5], "FROM") ||
      !is_mark(tokens[6], '(') || !is_mark(tokens.back(), ')'))
    return "";
  int depth = 0;
  for (std::size_t i = head - 1; i + 1 < tokens.size(); ++i) {
    if (is_mark(tokens[i], '(')) ++depth;
    else if (is_mark(tokens[i], ')')) --depth;
    if (depth == 0) return "";
  }
  return std::string(sql.substr(tokens[head].begin, tokens[tokens.size() - 2].end - tokens[head].begin));
}

}  // namespace jet
