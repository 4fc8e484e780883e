// Table names on SQL Server: any name that begins with a letter or '_' and
// fits in 128 characters (UTF-16 code units) is taken as it is (names are
// always bracketed); a used name is renamed by putting "_", "1", "_", "2",
// "_", "3", ... in front of it; a longer name is shortened and made unique
// as other servers' names are. A character no name can carry (NUL, a
// surrogate half, no Unicode character at all) becomes '_'.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "UDB/udb_vali.h"

// What a SQL Server name holds at most, in UTF-16 code units.
constexpr std::size_t mss_max_name_length = 128;

// Whether a name can carry the character.
bool mss_is_name_char(wchar_t c);
// A character of the name is one no name can carry.
bool mss_has_refused_char(const std::wstring& name);
// The length of a name as SQL Server counts it (UTF-16 code units).
std::size_t mss_name_length(const std::wstring& name);
// The name without the characters past the first units code units (a
// character is never split).
std::wstring mss_cut_name(const std::wstring& name, std::size_t units);

class mss_validator : public udb_validator {
 public:
  mss_validator() : udb_validator(static_cast<int>(mss_max_name_length)) {}
  bool is_acceptable(const std::wstring& name) const override;
  std::wstring get_safe_name(const std::wstring& name) const override;

 protected:
  std::size_t name_length(const std::wstring& name) const override { return mss_name_length(name); }
};

class mss_tn_validator : public mss_validator {
 public:
  // Both lists are the used names.
  mss_tn_validator(const std::vector<std::wstring>& names, const std::vector<std::wstring>& more_names);
};
