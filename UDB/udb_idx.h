// Indexes of a table: each a name, its unique and primary flags and its columns.
#pragma once

#include <string>
#include <vector>

#include "UDB/udb_list.h"

struct udb_index {
  std::wstring name;
  bool unique = false;
  bool primary = false;
  std::vector<std::wstring> columns;  // in index order

  // The index's first columns are the given ones, in order, case ignored. An
  // empty list always matches.
  bool starts_with_fields(const std::vector<std::wstring>& fields) const;

  bool operator==(const udb_index&) const = default;
};

class udb_indexes : public udb_list<udb_index> {
public:
  // No index has the name (case ignored).
  bool is_acceptable_name(const std::wstring& name) const;
  // Some index (only primary ones when primary_only) has a column of exactly
  // that name.
  bool is_idx_field(const std::wstring& field, bool primary_only) const;
  // The index of that name (case ignored); internal error when there is none.
  const udb_index& get_index(const std::wstring& name) const;
  udb_index& get_index(const std::wstring& name);
};
