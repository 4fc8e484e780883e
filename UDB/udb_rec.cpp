#include "UDB/udb_rec.h"

#include "TK/tk_excep.h"
#include "TK/tk_trace.h"
#include "TK/tk_utils.h"

udb_field::udb_field() { tk_trace(2, "udb_field::empty ctor"); }

udb_field::udb_field(const std::wstring& name, int size, const ole_variant& value)
    : ole_variant(value), size_(size), name_(name) {
  tk_trace(2, "udb_field::ctor #2");
  tk_wtrace(1, L"name=%s, size=%d", name.c_str(), size);
}

udb_field::~udb_field() = default;

VARTYPE udb_field::get_type() const { return get_vt(); }

namespace {

// Numbers and booleans always print as some text: their value need not be printed
// to know that it is not empty.
bool never_empty_text(VARTYPE vt) {
  switch (vt) {
    case VT_I1: case VT_I2: case VT_I4: case VT_INT: case VT_I8:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UINT: case VT_UI8:
    case VT_R4: case VT_R8: case VT_BOOL:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool udb_record::is_empty() const {
  for (const auto& field : fields_) {
    if (!field) throw tk_mail_assertion("udb_rec", 26);
    if (field->get_type() != VT_NULL && (never_empty_text(field->get_vt()) || !field->to_string().empty())) {
      tk_wtrace(1, L"Field %s is not empty", field->get_name().c_str());
      return false;
    }
  }
  return true;
}

const udb_field* udb_record::get_field(const std::wstring& name) const {
  for (const auto& field : fields_) {
    tk_wtrace(1, L"Processing %s", field->get_name().c_str());
    if (tk_wcompare_nocase(field->get_name(), name) == 0) return field.get();
  }
  return nullptr;
}

bool udb_record::find_field(const std::wstring& name) const {
  tk_wtrace(2, L"udb_record::find_field(%s)", name.c_str());
  return get_field(name) != nullptr;
}

udb_field udb_record::find_named_field(const std::wstring& name) const {
  tk_wtrace(1, L"udb_schema::find_field(%s)", name.c_str());
  const udb_field* field = get_field(name);
  return field ? *field : udb_field();
}
