// The names generated for a destination: table names and, per table, field names,
// each keyed by the source name as it is (plain code-unit order).
#pragma once

#include <map>
#include <string>

class udb_names_map {
public:
  using name_map = std::map<std::wstring, std::wstring>;

  // Every lookup compares exactly when exact is set, else without regard to case,
  // and returns the given name when nothing matches.

  // The generated name of a source table.
  std::wstring get_tn_mapped_name(const std::wstring& table, bool exact) const;
  // The generated name of a source field of a table (the table found by its exact key).
  std::wstring get_fn_mapped_name(const std::wstring& table, const std::wstring& field, bool exact) const;
  // The source name of a generated field name of a table.
  std::wstring get_fn_orig_name(const std::wstring& table, const std::wstring& field, bool exact) const;

  // Records a table's generated name; a table already recorded keeps its name.
  void add_tn_map(const std::wstring& table, const std::wstring& gen_name);
  // Records a table's field map; a table already recorded keeps its map.
  void add_fn_map(const std::wstring& table, const name_map& fields);

  const name_map& tables() const { return tables_; }
  const std::map<std::wstring, name_map>& fields() const { return fields_; }

private:
  // The other name of a field of the table: by its source name, or by its
  // generated name when by_generated.
  std::wstring lookup_field(const std::wstring& table, const std::wstring& field, bool exact,
                            bool by_generated) const;

  name_map tables_;
  std::map<std::wstring, name_map> fields_;
};
