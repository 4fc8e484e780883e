// Custom conversion rules: a process-wide list that a destination asks before it
// writes a column type or a value. Without the list every question answers no
// and the destination takes its built-in conversion.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "OLE/ole_var.h"
#include "TK/tk_singl.h"

struct t_ftd;
struct DBCOLUMNDESC;

class udb_conversion_rule {
public:
  virtual ~udb_conversion_rule() = default;
  // Column types: whether the rule converts this column, and its type text.
  virtual bool is_acceptable1(const t_ftd& field) const = 0;
  virtual std::wstring handle1(const t_ftd& field) const = 0;
  // Values: whether the rule converts this value of the column, and its text.
  virtual bool is_acceptable2(const t_ftd& field, const ole_variant& value) const = 0;
  virtual std::wstring handle2(const t_ftd& field, const ole_variant& value) const = 0;
};

class udb_custom_conversion : public tk_singleton<udb_custom_conversion> {
public:
  udb_custom_conversion() = default;

  void add_rule(std::unique_ptr<udb_conversion_rule> rule) { rules_.push_back(std::move(rule)); }

  // Whether a rule of the process's list accepts the column (false without a list).
  static bool is_acceptable1(const t_ftd& field);
  // The column type text of the first rule that accepts it; empty without one.
  static std::wstring handle1(const t_ftd& field);
  // The first rule that accepts the column names its type in the column
  // description (pwszTypeName, valid until the next call on this thread) and
  // is returned; null without a list or a rule.
  static const udb_conversion_rule* handle1_1(const t_ftd& field, DBCOLUMNDESC& column);
  static bool is_acceptable2(const t_ftd& field, const ole_variant& value);
  static std::wstring handle2(const t_ftd& field, const ole_variant& value);

private:
  static const udb_conversion_rule* first_for(const t_ftd& field);
  static const udb_conversion_rule* first_for(const t_ftd& field, const ole_variant& value);

  std::vector<std::unique_ptr<udb_conversion_rule>> rules_;
};
