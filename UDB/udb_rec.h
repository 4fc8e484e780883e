// A record: an ordered list of named values.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "OLE/ole_var.h"

// A value with the name and the declared size of its source column.
class udb_field : public ole_variant {
public:
  udb_field();
  udb_field(const std::wstring& name, int size, const ole_variant& value);
  udb_field(const udb_field&) = default;
  udb_field& operator=(const udb_field&) = default;
  ~udb_field() override;

  // The VARTYPE of the value.
  virtual VARTYPE get_type() const;

  const std::wstring& get_name() const { return name_; }
  void set_name(const std::wstring& name) { name_ = name; }
  int get_size() const { return size_; }
  void set_size(int size) { size_ = size; }

protected:
  int size_ = 0;
  std::wstring name_;
};

class udb_record {
public:
  udb_record() = default;
  udb_record(const udb_record&) = delete;
  udb_record& operator=(const udb_record&) = delete;
  virtual ~udb_record() = default;

  // The record owns its fields.
  void add_field(std::unique_ptr<udb_field> field) { fields_.push_back(std::move(field)); }
  size_t size() const { return fields_.size(); }
  udb_field& operator[](size_t i) { return *fields_[i]; }
  const udb_field& operator[](size_t i) const { return *fields_[i]; }

  // Every field is VT_NULL or has an empty text.
  bool is_empty() const;
  // A field has the name (case ignored).
  bool find_field(const std::wstring& name) const;
  // The first field of that name (case ignored), or null.
  const udb_field* get_field(const std::wstring& name) const;
  // A copy of the first field of that name (case ignored), or an empty field
  // (no name, VT_EMPTY) when none has it.
  udb_field find_named_field(const std::wstring& name) const;

protected:
  std::vector<std::unique_ptr<udb_field>> fields_;
};
