#include "UDB/udb_rel.h"

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"

udb_relationship::udb_relationship(std::wstring table_, std::wstring ref_table_,
                                   std::vector<std::wstring> columns_,
                                   std::vector<std::wstring> ref_columns_, std::wstring rule_)
    : table(std::move(table_)),
      ref_table(std::move(ref_table_)),
      rule(std::move(rule_)),
      columns(std::move(columns_)),
      ref_columns(std::move(ref_columns_)) {}

udb_relationship::udb_relationship(std::wstring name_, std::wstring second_name_, std::wstring table_,
                                   std::wstring ref_table_, std::vector<std::wstring> columns_,
                                   std::vector<std::wstring> ref_columns_, std::wstring rule_)
    : name(std::move(name_)),
      second_name(std::move(second_name_)),
      table(std::move(table_)),
      ref_table(std::move(ref_table_)),
      rule(std::move(rule_)),
      columns(std::move(columns_)),
      ref_columns(std::move(ref_columns_)) {}

udb_relationship& udb_relationships::get_index(const std::wstring& name) {
  tk_wtrace(1, L"udb_relationships::get_index(%s)", name.c_str());
  const udb_relationship* found = find_name(name);
  if (!found) throw tk_mail_assertion("udb_rel", 122);
  return const_cast<udb_relationship&>(*found);
}

bool udb_relationships::is_acceptable_name(const std::wstring& name) const {
  tk_wtrace(2, L"udb_relationships::is_acceptable_name(%s)", name.c_str());
  return find_name(name) == nullptr;
}

std::wstring udb_relationships::gen_relship_name(const udb_relationship& relationship) const {
  tk_trace(2, "udb_relationships::gen_relship_name");
  std::wstring candidate = L"FK_" + relationship.ref_table + L"_" + relationship.table;
  for (unsigned refusals = 0; !is_acceptable_name(candidate);) {
    tk_wtrace(2, L"%s is not acceptable as a FK name", candidate.c_str());
    ++refusals;
    if (refusals % 2 == 1)
      candidate += L'_';
    else
      candidate += static_cast<wchar_t>(L'1' + (refusals / 2 - 1) % 3);
  }
  return candidate;
}
