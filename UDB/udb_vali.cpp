#include "UDB/udb_vali.h"

#include <algorithm>
#include <cwchar>
#include <optional>
#include <unordered_set>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

std::wstring ascii_folded(std::wstring name) {
  for (auto& c : name)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return name;
}

}  // namespace

void t_names_map::add(const std::wstring& src_name, const std::wstring& gen_name) {
  tk_wtrace(1, L"t_names_map::add(%s,%s)", src_name.c_str(), gen_name.c_str());
  map_.emplace(src_name, gen_name);
}

std::wstring t_names_map::get_mapped_name(const std::wstring& name, bool exact) const {
  tk_wtrace(1, L"t_names_map::get_mapped_name(%s)", name.c_str());
  for (const auto& [src, gen] : map_) {
    if (exact ? src == name : tk_wcompare_nocase(src, name) == 0) {
      tk_wtrace(1, L"Got mapped name: %s", gen.c_str());
      return gen;
    }
  }
  return name;
}

udb_validator::udb_validator(int max_length) : max_length_(max_length) {
  tk_trace(2, "udb_validator::ctor");
}

void udb_validator::add_mapped_pair(const std::wstring& src_name, const std::wstring& gen_name) {
  tk_wtrace(1, L"udb_validator::add_mapped_pair(%s,%s)", src_name.c_str(), gen_name.c_str());
  mapped_names_.add(src_name, gen_name);
}

bool udb_validator::is_acceptable(const std::wstring& name) const {
  tk_wtrace(2, L"udb_validator::is_acceptable(%s)", name.c_str());
  if (max_length_ != 0 && name_length(name) > static_cast<size_t>(max_length_)) {
    tk_trace(1, "The name is too long");
    return false;
  }
  for (const auto& word : reserved_words_) {
    if (tk_wcompare_nocase(word, name) == 0) {
      tk_trace(1, "The name is restricted");
      return false;
    }
  }
  for (wchar_t c : illegal_chars_) {
    if (name.find(c) != std::wstring::npos) {
      tk_wtrace(1, L"The name contains illegal: %c", static_cast<wint_t>(c));
      return false;
    }
  }
  return true;
}

bool udb_validator::is_duplicated(const std::wstring& name) const {
  tk_wtrace(2, L"udb_validator::is_duplicated(%s)", name.c_str());
  for (const auto& used : used_names_) {
    tk_wtrace(1, L"Processing %s", used.c_str());
    if (tk_wcompare_nocase(used, name) == 0) return true;
  }
  return false;
}

std::wstring udb_validator::get_safe_name(const std::wstring& name) const {
  tk_wtrace(2, L"udb_validator::get_safe_name(%s)", name.c_str());
  std::wstring candidate = name;
  for (wchar_t c : illegal_chars_) std::replace(candidate.begin(), candidate.end(), c, L'_');
  return fit_name(candidate, [this](const std::wstring& n) { return is_acceptable(n); });
}

std::size_t udb_validator::name_length(const std::wstring& name) const { return name.size(); }

void udb_validator::cut_name(std::wstring& name, std::size_t length) const {
  if (name.size() > length) name.resize(length);
  while (!name.empty() && name_length(name) > length) name.pop_back();
}

std::wstring udb_validator::fit_name(const std::wstring& name,
                                     const std::function<bool(const std::wstring&)>& acceptable) const {
  const size_t max_len = max_length_ > 0 ? static_cast<size_t>(max_length_) : 0;
  std::wstring candidate = name;
  if (max_len != 0 && name_length(candidate) > max_len) cut_name(candidate, max_len - 1);
  if (acceptable(candidate) && !is_duplicated(candidate)) return candidate;

  // Room for the five-digit counter.
  if (max_len != 0 && name_length(candidate) + 5 > max_len) cut_name(candidate, max_len > 6 ? max_len - 6 : 0);
  // Numbers that the used names already hold are passed over without going
  // through the list again, so that with n names taken a call does work in
  // proportion to n, not n * n: first by the names with ASCII letters folded
  // (names equal so are equal without regard to case), then, once a name the
  // list holds in another form turns up, by keys of the case-blind comparison.
  std::unordered_set<std::wstring> folded_used;
  folded_used.reserve(used_names_.size());
  for (const auto& used : used_names_) folded_used.insert(ascii_folded(used));
  std::optional<std::unordered_set<std::string>> used_keys;
  wchar_t counter[16];
  for (int i = 0; i <= 99999; ++i) {
    std::swprintf(counter, sizeof counter / sizeof counter[0], L"%05d", i);
    std::wstring numbered = candidate + counter;
    if (folded_used.count(ascii_folded(numbered))) continue;
    if (used_keys && used_keys->count(tk_wnocase_key(numbered))) continue;
    if (!acceptable(numbered)) continue;
    if (!is_duplicated(numbered)) return numbered;
    if (!used_keys) {
      used_keys.emplace();
      for (const auto& used : used_names_) used_keys->insert(tk_wnocase_key(used));
    }
  }
  throw tk_mail_assertion("udb_vali", 54);
}
