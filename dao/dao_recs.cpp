#include "dao/dao_recs.h"

#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "dao/dao_engi.h"
#include "dao/dao_init.h"

namespace {

bool enclosed(const std::wstring& text, wchar_t quote) {
  return text.size() > 1 && text.front() == quote && text.back() == quote;
}

}  // namespace

dao_recordset::dao_recordset(const std::wstring& name, DAORecordset* rs, DAOTableDef* table)
    : udb_recordset(name, true), rs_(rs), table_(table) {
  tk_wtrace(2, L"dao_recordset::dao_recordset(%s)", name.c_str());
  if (!rs_) throw tk_mail_assertion("dao_recs", 45);
  long count = 0;
  dao_check(table_->get_RecordCount(&count));
  records_count_ = static_cast<unsigned>(count);
  tk_trace(2, "Got records count: %d", static_cast<int>(count));
  init_schema(table_.get());
  init_indexes(table_.get());
  dao_check(rs_->get_EOF(&eof_));
}

dao_recordset::dao_recordset(const std::wstring& name, const std::wstring& sql, DAORecordset* rs,
                             DAOQueryDef* query, std::uint32_t count)
    : udb_recordset(name, sql, true), rs_(rs), query_def_(query) {
  tk_wtrace(2, L"dao_recordset::dao_recordset(%s)", name.c_str());
  if (!rs_) throw tk_mail_assertion("dao_recs", 71);
  records_count_ = count;
  tk_trace(2, "Got records count: %d", static_cast<int>(count));
  init_schema(query_def_.get());
  dao_check(rs_->get_EOF(&eof_));
}

dao_recordset::~dao_recordset() {
  tk_trace(1, "dao_recordset::dtor");
  record_.reset();
  // A destructor must not throw: a failing Close is logged instead.
  if (rs_ && FAILED(rs_->Close())) tk_trace(2, "Recordset.Close failed");
}

void dao_recordset::add_descriptor(DAOField* field, int number, bool table_form) {
  short type = 0;
  long size = 0;
  dao_check(field->get_Type(&type));
  if (table_form) dao_check(field->get_Size(&size));
  VARIANT def;
  dao_check(field->get_DefaultValue(&def));
  std::wstring text;
  if (def.vt == VT_BSTR) text = bstr_text(def.bstrVal);
  VariantClear(&def);
  if (table_form)
    tk_wtrace(2, L"Field #%d: size=%d, DAO type=%d, default value=%s", number, static_cast<int>(size),
              static_cast<int>(type), text.c_str());
  else
    tk_wtrace(2, L"Field #%d: DAO type=%d, default value=%s", number, static_cast<int>(type), text.c_str());

  bool date_default = false;
  if (!text.empty()) {
    bool equals_form = false;
    if (table_form && text[0] == L'=') {
      tk_trace(1, "Got def.value of form ='...'");
      equals_form = true;
      text.erase(0, 1);
      if (enclosed(text, L'"') || enclosed(text, L'\'')) text = text.substr(1, text.size() - 2);
      tk_wtrace(1, L"After all processing: %s", text.c_str());
    }
    if (type == 8) {
      tk_trace(1, "Got date/time def.value");
      if (enclosed(text, L'#')) text = text.substr(1, text.size() - 2);
      date_default = true;
    } else if (type == 10 && !equals_form) {
      tk_trace(1, "Got string def.value");
      if (enclosed(text, L'"')) text = text.substr(1, text.size() - 2);
    }
    if (table_form && type == 10 && size != 0 && static_cast<std::size_t>(size) < text.size()) {
      tk_wtrace(3, L"Skip incorrect default value [%s] for field #%d", text.c_str(), number);
      text.clear();
    }
  }
  dao_field source(field);
  VARTYPE vt = source.get_type();
  ole_variant default_value;
  if (!text.empty()) {
    try {
      default_value.from_wstring(text, dao_field::get_vartype(type));
    } catch (const tk_exception&) {
      default_value.clear();
    }
  }
  int extra = date_default ? 1 : 0;
  if (type == 15) extra = 1;
  schema_.push_back(std::make_unique<t_ftd>(source.get_size(), source.get_name(), vt, source.is_not_null(),
                                            source.is_auto_increment(), default_value, extra));
}

void dao_recordset::init_schema(DAOTableDef* table) {
  tk_trace(2, "dao_recordset::init_schema( DAOTableDef * )");
  if (!table) throw tk_mail_assertion("dao_recs", 288);
  ole_com_ptr<DAOFields> fields;
  dao_check(table->get_Fields(fields.out()), fields);
  short count = 0;
  dao_check(fields->get_Count(&count));
  for (short i = 0; i < count; ++i) {
    ole_com_ptr<DAOField> field;
    dao_check(fields->get_Item(dao_variant_short(i), field.out()), field);
    add_descriptor(field.get(), i, true);
  }
  tk_trace(2, "End of dao_recordset::init_schema");
}

void dao_recordset::init_schema(DAOQueryDef* query) {
  tk_trace(2, "dao_recordset::init_schema( DAOQueryDef * )");
  if (!query) throw tk_mail_assertion("dao_recs", 489);
  ole_com_ptr<DAOFields> fields;
  dao_check(query->get_Fields(fields.out()), fields);
  short count = 0;
  dao_check(fields->get_Count(&count));
  for (short i = 0; i < count; ++i) {
    ole_com_ptr<DAOField> field;
    dao_check(fields->get_Item(dao_variant_short(i), field.out()), field);
    add_descriptor(field.get(), i, false);
  }
  tk_trace(2, "End of dao_recordset::init_schema");
}

void dao_recordset::init_indexes(DAOTableDef* table) {
  tk_trace(2, "dao_recordset::init_indexes");
  ole_com_ptr<DAOIndexes> indexes;
  dao_check(table->get_Indexes(indexes.out()), indexes);
  short count = 0;
  dao_check(indexes->get_Count(&count));
  tk_trace(1, "Got %d indexes", static_cast<int>(count));
  for (short i = 0; i < count; ++i) {
    tk_trace(1, "Processing index %d", static_cast<int>(i));
    ole_com_ptr<DAOIndex> index;
    dao_check(indexes->get_Item(dao_variant_short(i), index.out()), index);
    udb_index entry;
    tk_trace(1, "STEP #1");
    BSTR name = nullptr;
    dao_check(index->get_Name(&name));
    entry.name = dao_take_text(name);
    tk_trace(1, "STEP #2");
    VARIANT_BOOL flag = VARIANT_FALSE;
    dao_check(index->get_Primary(&flag));
    entry.primary = flag != VARIANT_FALSE;
    dao_check(index->get_Unique(&flag));
    entry.unique = flag != VARIANT_FALSE;
    tk_trace(1, "STEP #3");
    ole_com_ptr<DAOFields> fields;
    dao_check(index->get_Fields(fields.out()), fields);
    short field_count = 0;
    dao_check(fields->get_Count(&field_count));
    for (short f = 0; f < field_count; ++f) {
      ole_com_ptr<DAOField> field;
      dao_check(fields->get_Item(dao_variant_short(f), field.out()), field);
      dao_check(field->get_Name(&name));
      entry.columns.push_back(dao_take_text(name));
      tk_wtrace(1, L"got index field: %s", entry.columns.back().c_str());
    }
    tk_trace(1, "STEP #4");
    add_index(entry);
  }
  tk_trace(2, "End of dao_recordset::init_indexes");
}

udb_record* dao_recordset::get_record() {
  if (!rs_) throw tk_mail_assertion("dao_recs", 112);
  // The recordset's fields stay the same from record to record: the record made
  // for the first one is kept and only its values are read again.
  if (record_) {
    try {
      record_->refresh();
    } catch (...) {
      record_.reset();
      throw;
    }
    return record_.get();
  }
  ole_com_ptr<DAOFields> fields;
  dao_check(rs_->get_Fields(fields.out()), fields);
  record_ = std::make_unique<dao_record>(fields.get());
  return record_.get();
}

bool dao_recordset::is_eof() { return eof_ != VARIANT_FALSE; }

void dao_recordset::next() {
  if (!rs_) throw tk_mail_assertion("dao_recs", 129);
  dao_check(rs_->MoveNext());
  dao_check(rs_->get_EOF(&eof_));
}

void dao_recordset::prev() {
  if (!rs_) throw tk_mail_assertion("dao_recs", 140);
  VARIANT_BOOL bof = VARIANT_TRUE;
  dao_check(rs_->get_BOF(&bof));
  if (!bof) dao_check(rs_->MovePrevious());
}

void dao_recordset::reset() {
  if (!rs_) throw tk_mail_assertion("dao_recs", 153);
  if (records_count_ != 0) dao_check(rs_->MoveFirst());
}

void dao_recordset::append_record(const udb_record& record) {
  tk_trace(1, "dao_recordset::append_record");
  dao_check(rs_->AddNew());
  tk_trace(1, "\tAdd blank DAO record");
  for (std::size_t i = 0; i < record.size(); ++i) {
    const udb_field& field = record[i];
    if (tk_trace_wanted(1))
      tk_wtrace(1, L"\tAdd field '%s', type=%08X (value=%s)", field.get_name().c_str(),
                static_cast<unsigned>(field.get_vt()), field.to_wstring().c_str());
    VARTYPE vt = field.get_vt();
    ole_variant stored;
    const t_ftd* descriptor = schema_.find_field(field.get_name()) ? &schema_.get_field(field.get_name()) : nullptr;
    if (descriptor && descriptor->not_null && (vt == VT_EMPTY || vt == VT_NULL)) {
      tk_trace(1, "Got NULL value for not null field");
      stored.from_wstring(L"", descriptor->vartype);
    } else if (vt == VT_DATE) {
      std::string text = field.ole_variant::to_string();
      auto at = text.find("0000-00-00");
      if (at != std::string::npos) {
        tk_trace(1, "Null date has been found");
        text.replace(at, 10, "1899-12-30");
      }
      stored.from_string(text, VT_DATE);
    } else if (vt == VT_I1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_I8 || vt == VT_UI8) {
      stored = dao_get_valid_variant(field);
    } else {
      stored = field;
    }
    dao_bstr name(field.get_name());
    VARIANT item;
    VariantInit(&item);
    item.vt = VT_BSTR;
    item.bstrVal = name;
    try {
      dao_check(rs_->put_Collect(item, stored.get_variant()));
    } catch (const dao_exception& e) {
      if (e.message() != "Record is too large.") throw;
      tk_trace(2, "%s", e.what());
      VARIANT empty;
      VariantInit(&empty);
      dao_check(rs_->put_Collect(item, empty));
    }
  }
  dao_check(rs_->Update());
  tk_trace(1, "Commit new record into database");
}
