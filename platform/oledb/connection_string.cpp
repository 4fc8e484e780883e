#include "platform/oledb/connection_string.h"

#include <cwctype>

namespace {

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

std::wstring trim(std::wstring_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && is_blank(text[b])) ++b;
  while (e > b && is_blank(text[e - 1])) --e;
  return std::wstring(text.substr(b, e - b));
}

bool same_key(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

}  // namespace

connection_string::connection_string(std::wstring_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    // The key runs to the first single '='; "==" stands for '='.
    std::wstring key;
    bool has_equals = false;
    while (i < n) {
      if (text[i] == L'=') {
        if (i + 1 < n && text[i + 1] == L'=') {
          key += L'=';
          i += 2;
          continue;
        }
        has_equals = true;
        ++i;
        break;
      }
      if (text[i] == L';') break;
      key += text[i++];
    }
    key = trim(key);
    if (!has_equals) {
      if (!key.empty()) {
        error_ = L"the pair \"" + key + L"\" has no '='";
        return;
      }
      ++i;  // an empty pair: ";;"
      continue;
    }
    if (key.empty()) {
      error_ = L"a value without a key";
      return;
    }
    while (i < n && is_blank(text[i])) ++i;
    std::wstring value;
    if (i < n && (text[i] == L'"' || text[i] == L'\'')) {
      const wchar_t quote = text[i++];
      bool closed = false;
      while (i < n) {
        if (text[i] == quote) {
          if (i + 1 < n && text[i + 1] == quote) {
            value += quote;
            i += 2;
            continue;
          }
          closed = true;
          ++i;
          break;
        }
        value += text[i++];
      }
      if (!closed) {
        error_ = L"the value of \"" + key + L"\" has no closing quote";
        return;
      }
      while (i < n && is_blank(text[i])) ++i;
      if (i < n && text[i] != L';') {
        error_ = L"text after the quoted value of \"" + key + L"\"";
        return;
      }
    } else {
      std::size_t start = i;
      while (i < n && text[i] != L';') ++i;
      value = trim(text.substr(start, i - start));
    }
    if (i < n) ++i;  // the ';'
    set(std::move(key), std::move(value));
  }
}

void connection_string::set(std::wstring key, std::wstring value) {
  for (auto& pair : pairs_)
    if (same_key(pair.first, key)) {
      pair.second = std::move(value);
      return;
    }
  pairs_.emplace_back(std::move(key), std::move(value));
}

std::optional<std::wstring> connection_string::get(std::wstring_view key) const {
  for (const auto& pair : pairs_)
    if (same_key(pair.first, key)) return pair.second;
  return std::nullopt;
}

std::wstring connection_string_value(std::wstring_view value) {
  bool plain = value.empty() || (!is_blank(value.front()) && !is_blank(value.back()));
  const bool has_double = value.find(L'"') != std::wstring_view::npos;
  const bool has_single = value.find(L'\'') != std::wstring_view::npos;
  // A leading '=' would read as part of the key ("==" is an '=' there).
  if (plain && value.find(L';') == std::wstring_view::npos &&
      !(value.size() && (value[0] == L'"' || value[0] == L'\'' || value[0] == L'=')))
    return std::wstring(value);
  const wchar_t quote = has_double && !has_single ? L'\'' : L'"';
  std::wstring out(1, quote);
  for (wchar_t c : value) {
    out += c;
    if (c == quote) out += c;
  }
  out += quote;
  return out;
}
