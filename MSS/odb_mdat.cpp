#include "MSS/odb_mdat.h"

#include "MSS/odb_exce.h"
#include "TK/tk_trace.h"
#include "platform/oleaut/bstr.h"
#include "platform/oleaut/variant.h"

template <int N>
odb_meta_data<N>::odb_meta_data(IUnknown* session) {
  tk_trace(1, "odb_meta_data::ctor");
  for (auto& v : restrictions_) VariantInit(&v);
  if (!session) throw tk_mail_assertion("odb_mdat", 35);
  ole_com_ptr<IUnknown> holder(session);
  odb_check(holder.query_interface(IID_IDBSchemaRowset, schema_rowset_));
}

template <int N>
odb_meta_data<N>::~odb_meta_data() {
  for (auto& v : restrictions_) VariantClear(&v);
}

template <int N>
void odb_meta_data<N>::set_restriction(int i, const std::wstring& value) {
  VariantClear(&restrictions_[i]);
  restrictions_[i].vt = VT_BSTR;
  restrictions_[i].bstrVal = bstr_from(value);
}

template <int N>
void odb_meta_data<N>::internal_initialize(REFGUID schema) {
  tk_trace(1, "odb_meta_data::internal_initialize");
  if (!schema_rowset_) throw tk_mail_assertion("odb_mdat", 59);
  IUnknown* rowset = nullptr;
  odb_check(schema_rowset_->GetRowset(nullptr, schema, N, restrictions_.data(), IID_IRowset, 0, nullptr, &rowset));
  rowset_.attach(static_cast<IRowset*>(rowset));
  initialize();
}

template class odb_meta_data<3>;
template class odb_meta_data<4>;
template class odb_meta_data<5>;
template class odb_meta_data<6>;

odb_pk_meta_data::odb_pk_meta_data(const std::wstring& table, const std::wstring& owner, IUnknown* session)
    : odb_meta_data<3>(session) {
  tk_wtrace(1, L"odb_pk_meta_data::ctor(%s)", table.c_str());
  if (!owner.empty()) set_restriction(1, owner);
  set_restriction(2, table);
  internal_initialize(DBSCHEMA_PRIMARY_KEYS);
}

odb_tl_meta_data::odb_tl_meta_data(const std::wstring& owner, IUnknown* session) : odb_meta_data<4>(session) {
  tk_trace(1, "odb_tl_meta_data::ctor");
  if (!owner.empty()) set_restriction(1, owner);
  set_restriction(3, L"TABLE");
  internal_initialize(DBSCHEMA_TABLES);
}

odb_id_meta_data::odb_id_meta_data(const std::wstring& table, const std::wstring& owner, IUnknown* session)
    : odb_meta_data<5>(session) {
  tk_wtrace(1, L"odb_id_meta_data::ctor(%s)", table.c_str());
  if (!owner.empty()) set_restriction(1, owner);
  set_restriction(4, table);
  internal_initialize(DBSCHEMA_INDEXES);
}

odb_fk_meta_data::odb_fk_meta_data(const std::wstring& table, const std::wstring& owner, IUnknown* session)
    : odb_meta_data<6>(session) {
  tk_wtrace(1, L"odb_fk_meta_data::ctor(%s)", table.c_str());
  if (!owner.empty()) set_restriction(1, owner);
  set_restriction(2, table);
  internal_initialize(DBSCHEMA_FOREIGN_KEYS);
}
