// The schema of a recordset: its field descriptors in column order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "OLE/ole_var.h"

// Field type descriptor.
struct t_ftd {
  t_ftd(int size, const std::wstring& name, VARTYPE vartype, bool not_null, bool auto_increment,
        const ole_variant& default_value, int extra);

  int size;           // declared size: characters of text, bytes of binary
  std::wstring name;
  VARTYPE vartype;
  bool auto_increment;
  bool not_null;
  ole_variant default_value;  // VT_EMPTY when none
  int extra;  // VT_DATE: the date kind (0 to 3); VT_DECIMAL: precision * 256 + scale
};

class udb_schema {
public:
  // owns: descriptors added by pointer are deleted with the schema.
  explicit udb_schema(bool owns = true);
  udb_schema(const udb_schema&) = delete;
  udb_schema& operator=(const udb_schema&) = delete;
  udb_schema(udb_schema&&) noexcept = default;
  udb_schema& operator=(udb_schema&&) noexcept = default;
  virtual ~udb_schema();

  // Adds a descriptor at the end; the schema owns it when it owns its descriptors.
  void push_back(t_ftd* field);
  // Adds a descriptor at the end and always takes it over.
  void push_back(std::unique_ptr<t_ftd> field);

  bool is_owner() const { return owns_; }
  size_t size() const { return fields_.size(); }
  bool empty() const { return fields_.empty(); }
  t_ftd& operator[](size_t i) { return *fields_[i]; }
  const t_ftd& operator[](size_t i) const { return *fields_[i]; }
  std::vector<t_ftd*>::const_iterator begin() const { return fields_.begin(); }
  std::vector<t_ftd*>::const_iterator end() const { return fields_.end(); }

  // A descriptor has the name (case ignored).
  bool find_field(const std::wstring& name) const;
  // The first descriptor of that name (case ignored); internal error when none.
  t_ftd& get_field(const std::wstring& name);
  const t_ftd& get_field(const std::wstring& name) const;
  int get_field_size(const std::wstring& name) const;
  VARTYPE get_field_type(const std::wstring& name) const;

private:
  const t_ftd* lookup(const std::wstring& name) const;

  bool owns_;
  std::vector<t_ftd*> fields_;
  std::vector<std::unique_ptr<t_ftd>> owned_;
};
