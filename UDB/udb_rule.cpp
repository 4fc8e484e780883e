#include "UDB/udb_rule.h"

#include "TK/tk_trace.h"
#include "UDB/udb_sche.h"
#include "platform/oledb/oledb_types.h"

const udb_conversion_rule* udb_custom_conversion::first_for(const t_ftd& field) {
  const udb_custom_conversion* list = instance_ptr();
  if (list == nullptr) return nullptr;
  for (const auto& rule : list->rules_)
    if (rule->is_acceptable1(field)) return rule.get();
  return nullptr;
}

const udb_conversion_rule* udb_custom_conversion::first_for(const t_ftd& field, const ole_variant& value) {
  const udb_custom_conversion* list = instance_ptr();
  if (list == nullptr) return nullptr;
  for (const auto& rule : list->rules_)
    if (rule->is_acceptable2(field, value)) return rule.get();
  return nullptr;
}

bool udb_custom_conversion::is_acceptable1(const t_ftd& field) {
  tk_trace(1, "udb_custom_conversion::is_acceptable1");
  return first_for(field) != nullptr;
}

std::wstring udb_custom_conversion::handle1(const t_ftd& field) {
  tk_trace(1, "udb_custom_conversion::handle1");
  const udb_conversion_rule* rule = first_for(field);
  return rule ? rule->handle1(field) : std::wstring();
}

bool udb_custom_conversion::is_acceptable2(const t_ftd& field, const ole_variant& value) {
  tk_trace(1, "udb_custom_conversion::is_acceptable2");
  return first_for(field, value) != nullptr;
}

std::wstring udb_custom_conversion::handle2(const t_ftd& field, const ole_variant& value) {
  tk_trace(1, "udb_custom_conversion::handle2");
  const udb_conversion_rule* rule = first_for(field, value);
  return rule ? rule->handle2(field, value) : std::wstring();
}

const udb_conversion_rule* udb_custom_conversion::handle1_1(const t_ftd& field, DBCOLUMNDESC& column) {
  tk_trace(1, "udb_custom_conversion::handle1_1");
  const udb_conversion_rule* rule = first_for(field);
  if (!rule) return nullptr;
  thread_local std::wstring type_name;
  type_name = rule->handle1(field);
  column.pwszTypeName = type_name.data();
  return rule;
}
