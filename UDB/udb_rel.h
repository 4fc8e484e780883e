// Foreign keys of a database and the rule that names them.
#pragma once

#include <string>
#include <vector>

#include "UDB/udb_list.h"

struct udb_relationship {
  udb_relationship() = default;
  udb_relationship(std::wstring table, std::wstring ref_table, std::vector<std::wstring> columns,
                   std::vector<std::wstring> ref_columns, std::wstring rule);
  // A named key as a table reader builds it.
  udb_relationship(std::wstring name, std::wstring second_name, std::wstring table, std::wstring ref_table,
                   std::vector<std::wstring> columns, std::vector<std::wstring> ref_columns, std::wstring rule);

  std::wstring name;         // assigned after construction
  std::wstring second_name;  // empty unless a back end sets it
  std::wstring table;        // the referencing table
  std::wstring ref_table;    // the referenced table
  std::wstring rule;         // kept for the back end's own use
  std::vector<std::wstring> columns;
  std::vector<std::wstring> ref_columns;  // in the order of columns

  bool operator==(const udb_relationship&) const = default;
};

class udb_relationships : public udb_list<udb_relationship> {
public:
  // No foreign key has the name (case ignored).
  bool is_acceptable_name(const std::wstring& name) const;
  // A free name for the foreign key: "FK_" + referenced table + "_" + table,
  // grown by "_", "1", "_", "2", "_", "3", "_", "1", ... until no key has it. The
  // caller names the key and adds it.
  std::wstring gen_relship_name(const udb_relationship& relationship) const;
  // The foreign key of that name (case ignored); internal error when none.
  udb_relationship& get_index(const std::wstring& name);
};
