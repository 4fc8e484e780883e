// Name validators of the MySQL back end for the two server generations: servers
// before 4.1.0 (strict identifiers, reserved words) and from 4.1.0 on (names always
// back-quoted; only a few characters refused).
#pragma once

#include <string>
#include <vector>

#include "UDB/udb_vali.h"

class udb_schema;
class udb_record;
class udb_indexes;

constexpr int sql_max_name_length = 64;

class sql_old_validator : public udb_validator {
public:
  sql_old_validator();
  bool is_acceptable(const std::wstring& name) const override;
  std::wstring get_safe_name(const std::wstring& name) const override;
};

class sql_old_dn_validator : public sql_old_validator {
public:
  sql_old_dn_validator();
  bool is_acceptable(const std::wstring& name) const override;
};

class sql_old_fn_validator : public sql_old_validator {
public:
  explicit sql_old_fn_validator(const udb_schema& schema);
  explicit sql_old_fn_validator(const udb_record& record);
};

class sql_old_in_validator : public sql_old_validator {
public:
  explicit sql_old_in_validator(const udb_indexes& indexes);
};

class sql_old_tn_validator : public sql_old_validator {
public:
  sql_old_tn_validator(const std::vector<std::wstring>& names1,
                       const std::vector<std::wstring>& names2);
};

class sql_new_validator : public udb_validator {
public:
  // long_set: the sixteen characters refused in database and table names, else
  // the eight refused in column and index names.
  explicit sql_new_validator(bool long_set);
  bool is_acceptable(const std::wstring& name) const override;
  std::wstring get_safe_name(const std::wstring& name) const override;
};

class sql_new_fn_validator : public sql_new_validator {
public:
  explicit sql_new_fn_validator(const udb_schema& schema);
  explicit sql_new_fn_validator(const udb_record& record);
};

class sql_new_in_validator : public sql_new_validator {
public:
  explicit sql_new_in_validator(const udb_indexes& indexes);
};

class sql_new_tn_validator : public sql_new_validator {
public:
  sql_new_tn_validator(const std::vector<std::wstring>& names1,
                       const std::vector<std::wstring>& names2);
};
