#include "UDB/udb_nmap.h"

#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

namespace {

bool same_name(const std::wstring& a, const std::wstring& b, bool exact) {
  return exact ? a == b : tk_wcompare_nocase(a, b) == 0;
}

}  // namespace

std::wstring udb_names_map::get_tn_mapped_name(const std::wstring& table, bool exact) const {
  tk_wtrace(2, L"udb_names_map::get_tn_mapped_name(%s)", table.c_str());
  for (const auto& [src, gen] : tables_) {
    tk_wtrace(1, L"Comparing with (%s,%s)", src.c_str(), gen.c_str());
    if (same_name(src, table, exact)) {
      tk_wtrace(1, L"Got mapped name: %s", gen.c_str());
      return gen;
    }
  }
  return table;
}

std::wstring udb_names_map::get_fn_mapped_name(const std::wstring& table, const std::wstring& field,
                                               bool exact) const {
  tk_wtrace(2, L"udb_names_map::get_fn_mapped_name(%s,%s)", table.c_str(), field.c_str());
  return lookup_field(table, field, exact, false);
}

std::wstring udb_names_map::get_fn_orig_name(const std::wstring& table, const std::wstring& field,
                                             bool exact) const {
  tk_wtrace(2, L"udb_names_map::get_fn_orig_name(%s,%s)", table.c_str(), field.c_str());
  return lookup_field(table, field, exact, true);
}

std::wstring udb_names_map::lookup_field(const std::wstring& table, const std::wstring& field, bool exact,
                                         bool by_generated) const {
  auto t = fields_.find(table);
  if (t == fields_.end()) {
    tk_wtrace(1, L"Table '%s' not found", table.c_str());
    return field;
  }
  for (const auto& [src, gen] : t->second) {
    const std::wstring& key = by_generated ? gen : src;
    const std::wstring& answer = by_generated ? src : gen;
    if (same_name(key, field, exact)) {
      tk_wtrace(1, by_generated ? L"Got orignal name: %s" : L"Got mapped name: %s", answer.c_str());
      return answer;
    }
  }
  return field;
}

void udb_names_map::add_tn_map(const std::wstring& table, const std::wstring& gen_name) {
  tk_wtrace(2, L"udb_names_map::add_tn_map(%s,%s)", table.c_str(), gen_name.c_str());
  tables_.emplace(table, gen_name);
}

void udb_names_map::add_fn_map(const std::wstring& table, const name_map& fields) {
  tk_wtrace(2, L"udb_names_map::add_fn_map(%s)", table.c_str());
  fields_.emplace(table, fields);
}
