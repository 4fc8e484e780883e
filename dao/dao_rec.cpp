#include "dao/dao_rec.h"

#include "TK/tk_trace.h"
#include "dao/dao_engi.h"

namespace {

constexpr char zero_date[] = "1899-12-30";
constexpr wchar_t zero_wdate[] = L"1899-12-30";

// A date's text with the zero date taken out: a time alone, or 0000-00-00 before a time.
template <class S>
S without_zero_date(S text, const typename S::value_type* zero, const typename S::value_type* zeros,
                    const typename S::value_type* midnight) {
  auto at = text.find(zero);
  if (at == S::npos) return text;
  tk_trace(1, "Fake date has been found");
  if (text.size() > S(zero).size()) {
    text.replace(at, S(zero).size(), zeros);
  } else {
    tk_trace(1, "Transform pure fake date to pure time");
    text.replace(at, S(zero).size(), midnight);
  }
  return text;
}

}  // namespace

dao_field::dao_field(DAOField* field) : field_(field) {
  tk_trace(1, "dao_field::ctor");
  if (!field_) throw tk_mail_assertion("dao_rec", 27);
  BSTR name = nullptr;
  dao_check(field_->get_Name(&name));
  name_ = bstr_text(name);
  SysFreeString(name);
  long size = 0;
  dao_check(field_->get_Size(&size));
  size_ = static_cast<int>(size);
  tk_wtrace(1, L"Field name='%s', size=%d", name_.c_str(), size_);
  VARIANT_BOOL required = VARIANT_FALSE;
  dao_check(field_->get_Required(&required));
  not_null_ = required != VARIANT_FALSE;
  long attributes = 0;
  dao_check(field_->get_Attributes(&attributes));
  auto_increment_ = (attributes & 0x10) != 0;
  column_name_ = name_;
  column_size_ = size_;
  read_value();
}

dao_field::~dao_field() = default;

void dao_field::refresh() {
  tk_trace(1, "dao_field::refresh");
  // A holder of the record may have renamed or resized it: each record starts from the column's.
  if (name_ != column_name_) name_ = column_name_;
  size_ = column_size_;
  read_value();
}

void dao_field::read_value() {
  VARIANT value;
  dao_check(field_->get_Value(&value));
  attach_variant(value);
  VariantClear(&value);
  if (get_vt() == VT_NULL) tk_trace(1, "*** NULL *** ");
  // The date's parts are looked at only for a trace log that is there.
  if (get_vt() == VT_DATE && tk_trace_wanted(2)) {
    tk_trace(1, "Special processing for VT_DATE");
    SYSTEMTIME parts{};
    if (!VariantTimeToSystemTime(get_variant().date, &parts)) tk_trace(2, "Failed to convert VARIANT->SYSTEMTIME");
  }
  // The value's text is made only for a trace log that is there.
  if (tk_trace_wanted(1)) tk_trace(1, "Got DAO field: %s", ole_variant::to_string().c_str());
}

VARTYPE dao_field::get_vartype(int dao_type) {
  tk_trace(1, "dao_field::get_vartype(%d)", dao_type);
  switch (dao_type) {
    case 1: return VT_BOOL;
    case 2: return VT_UI1;
    case 3: return VT_I2;
    case 4: return VT_I4;
    case 5: return VT_CY;
    case 6: return VT_R4;
    case 7: case 19: case 20: case 21: return VT_R8;
    case 8: case 22: return VT_DATE;
    case 10: case 12: return VT_BSTR;
    default: return VT_BLOB;
  }
}

int dao_field::get_native_type(const t_ftd& descriptor) {
  tk_trace(1, "dao_field::get_native_type(%d)", static_cast<int>(descriptor.vartype));
  switch (descriptor.vartype) {
    case VT_I2: case VT_I1: return 3;
    case VT_I4: case VT_UI2: return 4;
    case VT_R4: return 6;
    case VT_R8: case VT_DECIMAL: case VT_UI4: case VT_I8: case VT_UI8: return 7;
    case VT_CY: return 5;
    case VT_DATE: return 8;
    case VT_BSTR: return descriptor.size >= 1 && descriptor.size <= 255 ? 10 : 12;
    case VT_BOOL: return 1;
    case VT_UI1: return 2;
    case VT_BLOB: case VT_BLOB_OBJECT: case VT_ARRAY | VT_UI1:
      return descriptor.size >= 1 && descriptor.size <= 255 ? 9 : 11;
    default: throw ole_type_exception();
  }
}

VARTYPE dao_field::get_type() const {
  tk_trace(1, "dao_field::get_type");
  if (!field_) throw tk_mail_assertion("dao_rec", 247);
  if (get_vt() != VT_EMPTY) {
    tk_trace(1, "Use ole_variant::get_type");
    tk_trace(1, "vt1=%08X", static_cast<unsigned>(get_vt()));
    return get_vt();
  }
  tk_trace(1, "Use DAO methods to extract field type");
  short type = 0;
  dao_check(field_->get_Type(&type));
  VARTYPE vt = get_vartype(type);
  tk_trace(1, "vt2=%08X", static_cast<unsigned>(vt));
  return vt;
}

std::string dao_field::to_string() const {
  tk_trace(1, "dao_field::to_string(vt=%08X)", static_cast<unsigned>(get_vt()));
  std::string text = ole_variant::to_string();
  if (get_vt() != VT_DATE) return text;
  return without_zero_date<std::string>(text, zero_date, "0000-00-00", "00:00:00");
}

std::wstring dao_field::to_wstring() const {
  tk_trace(1, "dao_field::to_wstring(vt=%08X)", static_cast<unsigned>(get_vt()));
  std::wstring text = ole_variant::to_wstring();
  if (get_vt() != VT_DATE) return text;
  return without_zero_date<std::wstring>(text, zero_wdate, L"0000-00-00", L"00:00:00");
}

dao_record::dao_record(DAOFields* fields) : fields_(fields) {
  if (!fields_) throw tk_mail_assertion("dao_rec", 297);
  ULONG refs = fields_->AddRef();
  fields_->Release();
  tk_trace(1, "dao_record::dao_record: n_refs = %d", static_cast<int>(refs) - 1);
  short count = 0;
  dao_check(fields_->get_Count(&count));
  for (short i = 0; i < count; ++i) {
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I2;
    index.iVal = i;
    ole_com_ptr<DAOField> field;
    dao_check(fields_->get_Item(index, field.out()), field);
    add_field(std::make_unique<dao_field>(field.get()));
  }
}

dao_record::~dao_record() = default;

void dao_record::refresh() {
  // Every field was made here as a dao_field.
  for (auto& field : udb_record::fields_) static_cast<dao_field&>(*field).refresh();
}
