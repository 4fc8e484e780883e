// Connection strings as OLE DB reads them: "key=value" pairs separated by ';'.
// Keys ignore case and surrounding blanks ("==" in a key is one '='); a value
// may be enclosed in double or single quotes, inside which the quote doubled
// is one quote and ';' and '=' are plain characters; unquoted values lose
// their surrounding blanks. A key given twice keeps its last value.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class connection_string {
 public:
  // Throws nothing: a malformed text (an unterminated quote, text after a
  // closing quote, a pair without '=' or without a key) leaves is_valid false
  // and error() saying where.
  explicit connection_string(std::wstring_view text);

  bool is_valid() const { return error_.empty(); }
  const std::wstring& error() const { return error_; }
  // The value of the key (case ignored), if given.
  std::optional<std::wstring> get(std::wstring_view key) const;
  // The pairs in order of first appearance, keys as written.
  const std::vector<std::pair<std::wstring, std::wstring>>& pairs() const { return pairs_; }

 private:
  void set(std::wstring key, std::wstring value);

  std::vector<std::pair<std::wstring, std::wstring>> pairs_;
  std::wstring error_;
};

// The value as a connection string must carry it: unchanged when it reads back
// as itself, else in double quotes (or single quotes when it holds a double
// quote but no single one) with the quote doubled inside.
std::wstring connection_string_value(std::wstring_view value);
