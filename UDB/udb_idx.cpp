#include "UDB/udb_idx.h"

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

bool udb_index::starts_with_fields(const std::vector<std::wstring>& fields) const {
  tk_wtrace(2, L"udb_index(%s)::starts_with_fields", name.c_str());
  if (fields.size() > columns.size()) return false;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (tk_wcompare_nocase(columns[i], fields[i]) != 0) {
      tk_wtrace(1, L"Field '%s' not found", fields[i].c_str());
      return false;
    }
  }
  tk_trace(1, "starts_with_fields returns true");
  return true;
}

bool udb_indexes::is_acceptable_name(const std::wstring& name) const {
  tk_wtrace(2, L"udb_indexes::is_acceptable_name(%s)", name.c_str());
  return find_name(name) == nullptr;
}

bool udb_indexes::is_idx_field(const std::wstring& field, bool primary_only) const {
  tk_wtrace(2, L"udb_indexes::is_idx_field(%s)", field.c_str());
  for (const auto& index : items_) {
    if (primary_only && !index.primary) continue;
    for (const auto& column : index.columns) {
      if (column == field) {
        tk_trace(1, "index field");
        return true;
      }
    }
  }
  tk_trace(1, "non-index field");
  return false;
}

const udb_index& udb_indexes::get_index(const std::wstring& name) const {
  tk_wtrace(2, L"udb_indexes::get_index(%s)", name.c_str());
  if (const udb_index* index = find_name(name)) return *index;
  throw tk_mail_assertion("udb_idx", 134);
}

udb_index& udb_indexes::get_index(const std::wstring& name) {
  return const_cast<udb_index&>(static_cast<const udb_indexes&>(*this).get_index(name));
}
