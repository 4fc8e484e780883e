#include "dao/dao_init.h"

#include "OLE/ole_date.h"
#include "OLE/ole_var.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "dao/dao_engi.h"
#include "dao/dao_rec.h"

// ---- validators ----

dao_validator::dao_validator() : udb_validator(0) {
  tk_trace(1, "dao_validator::ctor");
  for (wchar_t c : std::wstring(L"`![]."))
    illegal_chars_.push_back(c);
}

bool dao_validator::is_acceptable(const std::wstring& name) const {
  tk_wtrace(2, L"dao_validator::is_acceptable(%s)", name.c_str());
  if (name.empty() || name.front() == L' ' || name.back() == L' ') return false;
  return udb_validator::is_acceptable(name);
}

std::wstring dao_validator::get_safe_name(const std::wstring& name) const {
  tk_wtrace(2, L"dao_validator::get_safe_name(%s)", name.c_str());
  return udb_validator::get_safe_name(tk_trim(name));
}

dao_fn_validator::dao_fn_validator(const udb_schema& source) {
  tk_trace(1, "dao_fn_validator::ctor");
  for (const t_ftd* field : source) used_names_.push_back(field->name);
}

dao_in_validator::dao_in_validator(const udb_indexes& source) {
  tk_trace(1, "dao_in_validator::ctor");
  for (const auto& index : source) used_names_.push_back(index.name);
}

// ---- values ----

ole_variant dao_get_valid_variant(const ole_variant& value) {
  tk_trace(1, "dao_get_valid_variant");
  ole_variant out = value;
  switch (value.get_vt()) {
    case VT_UI2:
      tk_trace(1, "Converting VT_UI2 value to integer");
      out.change_type(VT_I4);
      break;
    case VT_UI4:
      tk_trace(1, "Converting VT_UI4 value to double");
      out.change_type(VT_R8);
      break;
    case VT_I1:
      tk_trace(1, "Converting VT_I1 value to short");
      out.change_type(VT_I2);
      break;
    case VT_I8:
    case VT_UI8:
      tk_trace(1, "Converting BIGINT value to double");
      out.change_type(VT_R8);
      break;
    default:
      break;
  }
  if (tk_trace_wanted(1)) tk_trace(1, ">>> %s", out.to_string().c_str());
  return out;
}

// ---- schema ----

dao_schema_initializer::dao_schema_initializer(DAOTableDef* table, const udb_schema& source)
    : schema_(true), table_(table), validator_(source) {
  tk_trace(2, "dao_schema_initializer::ctor");
  for (const t_ftd* field : source) {
    std::wstring name = validator_.is_acceptable(field->name) ? field->name : validator_.get_safe_name(field->name);
    schema_.push_back(std::make_unique<t_ftd>(field->size, name, field->vartype, field->not_null,
                                              field->auto_increment, field->default_value, field->extra));
    if (name != field->name) {
      tk_wtrace(2, L"Store generated column name '%s'", name.c_str());
      validator_.used_names().push_back(name);
      tk_wtrace(1, L"udb_validator::add_mapped_pair(%s,%s)", field->name.c_str(), name.c_str());
      validator_.add_mapped_pair(field->name, name);
    }
    validator_.reserved_words().push_back(name);
  }
}

std::wstring dao_schema_initializer::quote_def_value(const std::wstring& text) {
  tk_wtrace(1, L"dao_schema_initializer::quote_def_value(%s)", text.c_str());
  bool has_double = text.find(L'"') != std::wstring::npos;
  bool has_single = text.find(L'\'') != std::wstring::npos;
  if (!has_double) return L"\"" + text + L"\"";
  if (!has_single) return L"'" + text + L"'";
  std::wstring out = text;
  for (auto& c : out)
    if (c == L'"') c = L'\'';
  return L"\"" + out + L"\"";
}

void dao_schema_initializer::initialize() {
  tk_trace(2, "dao_schema_initializer::initialize");
  ole_com_ptr<DAOFields> fields;
  dao_check(table_->get_Fields(fields.out()), fields);
  int total = 0;
  for (std::size_t i = 0; i < schema_.size(); ++i) {
    const t_ftd& d = schema_[i];
    int type = dao_field::get_native_type(d);
    total += d.size;
    tk_trace(2, "Field #%d, type=%d, size=%d, total size=%d", static_cast<int>(i), type, d.size, total);
    dao_bstr name(d.name);
    ole_com_ptr<DAOField> field;
    dao_check(
        table_->CreateField(dao_variant_text(name), dao_variant_long(type), dao_variant_long(d.size), field.out()),
        field);
    dao_check(fields->Append(field.get()));
    dao_check(field->put_Required(d.not_null ? VARIANT_TRUE : VARIANT_FALSE));
    dao_check(field->put_AllowZeroLength(VARIANT_TRUE));
    if (type == 4 && d.auto_increment) {
      long attributes = 0;
      dao_check(field->get_Attributes(&attributes));
      dao_check(field->put_Attributes(attributes | 0x10));
    }
    VARTYPE vt = d.default_value.get_vt();
    if (vt == VT_EMPTY || vt == VT_NULL) continue;
    std::wstring text = d.default_value.to_wstring();
    if (text.empty()) continue;
    tk_wtrace(1, L"Putting default value: (%d, %s)", static_cast<int>(vt), text.c_str());
    ole_variant def;
    switch (vt) {
      case VT_I1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
        def = dao_get_valid_variant(d.default_value);
        break;
      case VT_DATE: {
        tk_trace(1, "Got DATE def value");
        ole_date date(text);
        if (date.get_kind() == ole_date::invalid) continue;
        text = date.to_wstring();
        tk_wtrace(1, L"After canonization: %s", text.c_str());
        def = ole_variant(quote_def_value(text));
        break;
      }
      case VT_BSTR:
        def = ole_variant(quote_def_value(text));
        break;
      default:
        def = d.default_value;
        break;
    }
    dao_check(field->put_DefaultValue(def.get_variant()));
  }
}

// ---- indexes ----

dao_indexes_initializer::dao_indexes_initializer(DAOTableDef* table, const udb_schema& schema,
                                                 const udb_indexes& source, const t_names_map& names)
    : table_(table), validator_(source), schema_(schema), names_(names) {
  tk_trace(2, "dao_indexes_initializer::ctor");
  for (const auto& index : source) {
    if (index.columns.size() > 10) continue;
    std::wstring name = index.name;
    if (!validator_.is_acceptable(name)) {
      name = validator_.get_safe_name(name);
      tk_wtrace(2, L"Store generated index name '%s'", name.c_str());
      validator_.used_names().push_back(name);
    }
    validator_.reserved_words().push_back(name);
    udb_index entry;
    entry.name = name;
    entry.unique = index.unique;
    entry.primary = index.primary;
    bool usable = true;
    for (const auto& column : index.columns) {
      std::wstring mapped = names_.get_mapped_name(column, false);
      const t_ftd* field = schema_.find_field(mapped) ? &schema_.get_field(mapped) : nullptr;
      if (field && (field->vartype == VT_BLOB || (field->vartype == VT_BSTR && field->size > 255) ||
                    (field->vartype == VT_BSTR && field->size == 0))) {
        tk_wtrace(2, L"Field '%s' cannot be part of index", mapped.c_str());
        usable = false;
        break;
      }
      entry.columns.push_back(mapped);
    }
    if (usable) indexes_.push_back(entry);
  }
}

void dao_indexes_initializer::initialize() {
  tk_trace(2, "dao_indexes_initializer::initialize");
  ole_com_ptr<DAOIndexes> indexes;
  dao_check(table_->get_Indexes(indexes.out()), indexes);
  for (const auto& entry : indexes_) {
    tk_wtrace(2, L"Process index %s", entry.name.c_str());
    dao_bstr name(entry.name);
    ole_com_ptr<DAOIndex> index;
    dao_check(table_->CreateIndex(dao_variant_text(name), index.out()), index);
    dao_check(index->put_Primary(entry.primary ? VARIANT_TRUE : VARIANT_FALSE));
    dao_check(index->put_Unique(entry.unique ? VARIANT_TRUE : VARIANT_FALSE));
    ole_com_ptr<DAOFields> fields;
    dao_check(index->get_Fields(fields.out()), fields);
    for (const auto& column : entry.columns) {
      tk_wtrace(2, L"Process index field %s", column.c_str());
      dao_bstr column_name(column);
      VARIANT none;
      VariantInit(&none);
      ole_com_ptr<DAOField> field;
      dao_check(index->CreateField(dao_variant_text(column_name), none, none, field.out()), field);
      dao_check(fields->Append(field.get()));
    }
    dao_check(indexes->Append(index.get()));
  }
}
