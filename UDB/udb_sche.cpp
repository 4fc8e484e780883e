#include "UDB/udb_sche.h"

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

t_ftd::t_ftd(int size_, const std::wstring& name_, VARTYPE vartype_, bool not_null_, bool auto_increment_,
             const ole_variant& default_value_, int extra_)
    : size(size_),
      name(name_),
      vartype(vartype_),
      auto_increment(auto_increment_),
      not_null(not_null_),
      default_value(default_value_),
      extra(extra_) {
  tk_trace(2, "t_ftd::ctor2");
  tk_wtrace(1, L"Got field '%s', vartype=%d, size=%d, b_not_null=%d", name.c_str(), int(vartype), size,
            int(not_null));
}

udb_schema::udb_schema(bool owns) : owns_(owns) {}

udb_schema::~udb_schema() = default;

void udb_schema::push_back(t_ftd* field) {
  if (owns_) owned_.emplace_back(field);
  fields_.push_back(field);
}

void udb_schema::push_back(std::unique_ptr<t_ftd> field) {
  fields_.push_back(field.get());
  owned_.push_back(std::move(field));
}

const t_ftd* udb_schema::lookup(const std::wstring& name) const {
  for (const t_ftd* field : fields_) {
    tk_wtrace(1, L"Processing %s", field->name.c_str());
    if (tk_wcompare_nocase(field->name, name) == 0) return field;
  }
  return nullptr;
}

bool udb_schema::find_field(const std::wstring& name) const {
  tk_wtrace(2, L"udb_schema::find_field(%s)", name.c_str());
  return lookup(name) != nullptr;
}

t_ftd& udb_schema::get_field(const std::wstring& name) {
  tk_wtrace(2, L"udb_schema::find_field(%s)", name.c_str());
  const t_ftd* field = lookup(name);
  if (field == nullptr) throw tk_mail_assertion("udb_sche", 309);
  return const_cast<t_ftd&>(*field);
}

const t_ftd& udb_schema::get_field(const std::wstring& name) const {
  tk_wtrace(2, L"udb_schema::find_field(%s)", name.c_str());
  const t_ftd* field = lookup(name);
  if (field == nullptr) throw tk_mail_assertion("udb_sche", 324);
  return *field;
}

int udb_schema::get_field_size(const std::wstring& name) const {
  tk_wtrace(2, L"udb_schema::get_field_size(%s)", name.c_str());
  const t_ftd* field = lookup(name);
  if (field == nullptr) throw tk_mail_assertion("udb_sche", 339);
  return field->size;
}

VARTYPE udb_schema::get_field_type(const std::wstring& name) const {
  tk_wtrace(2, L"udb_schema::get_field_type(%s)", name.c_str());
  const t_ftd* field = lookup(name);
  if (field == nullptr) throw tk_mail_assertion("udb_sche", 355);
  return field->vartype;
}
