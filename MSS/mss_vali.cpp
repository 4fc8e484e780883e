#include "MSS/mss_vali.h"

#include <cwctype>

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"

std::size_t mss_name_length(const std::wstring& name) {
  std::size_t units = name.size();
  for (wchar_t c : name)
    if (static_cast<unsigned long>(c) > 0xFFFF) ++units;  // a surrogate pair
  return units;
}

std::wstring mss_cut_name(const std::wstring& name, std::size_t units) {
  std::wstring cut = name.substr(0, units);
  while (mss_name_length(cut) > units) cut.pop_back();
  return cut;
}

bool mss_is_name_char(wchar_t c) {
  const auto code = static_cast<unsigned long>(c);
  return code != 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

bool mss_has_refused_char(const std::wstring& name) {
  for (wchar_t c : name)
    if (!mss_is_name_char(c)) return true;
  return false;
}

bool mss_validator::is_acceptable(const std::wstring& name) const {
  tk_wtrace(1, L"mss_validator::is_acceptable(%s)", name.c_str());
  if (name.empty()) throw tk_mail_assertion("mss_vali", 60);
  if (mss_name_length(name) > mss_max_name_length || mss_has_refused_char(name)) return false;
  // Letters of every script begin an identifier, whatever the C library's locale.
  return std::iswalpha(static_cast<wint_t>(name[0])) || name[0] == L'_' ||
         (name[0] > 0x7F && !std::iswspace(static_cast<wint_t>(name[0])));
}

std::wstring mss_validator::get_safe_name(const std::wstring& name) const {
  tk_wtrace(1, L"mss_validator::get_safe_name(%s)", name.c_str());
  static const wchar_t* const cycle[] = {L"_", L"1", L"_", L"2", L"_", L"3"};
  std::wstring safe = name;
  for (wchar_t& c : safe)
    if (!mss_is_name_char(c)) c = L'_';
  std::wstring candidate = safe;
  for (std::size_t step = 0; is_duplicated(candidate) && mss_name_length(candidate) <= mss_max_name_length; ++step) {
    tk_trace(2, "Duplicate table name was found");
    candidate = cycle[step % 6] + candidate;
  }
  if (mss_name_length(candidate) <= mss_max_name_length) return candidate;
  // Too long for the server: shortened, and numbered when that is used.
  return fit_name(safe, [](const std::wstring& n) { return mss_name_length(n) <= mss_max_name_length; });
}

mss_tn_validator::mss_tn_validator(const std::vector<std::wstring>& names,
                                   const std::vector<std::wstring>& more_names) {
  tk_trace(1, "mss_tn_validator::ctor");
  used_names_.insert(used_names_.end(), names.begin(), names.end());
  used_names_.insert(used_names_.end(), more_names.begin(), more_names.end());
}
