// Table names on SQL Server: any name that begins with a letter or '_' is
// taken as it is (names are always bracketed); a used name is renamed by
// putting "_", "1", "_", "2", "_", "3", ... in front of it.
#pragma once

#include <string>
#include <vector>

#include "UDB/udb_vali.h"

class mss_validator : public udb_validator {
 public:
  mss_validator() : udb_validator(0) {}
  bool is_acceptable(const std::wstring& name) const override;
  std::wstring get_safe_name(const std::wstring& name) const override;
};

class mss_tn_validator : public mss_validator {
 public:
  // Both lists are the used names.
  mss_tn_validator(const std::vector<std::wstring>& names, const std::vector<std::wstring>& more_names);
};
