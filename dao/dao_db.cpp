#include "dao/dao_db.h"

#include "TK/tk_trace.h"
#include "TK/tk_utils.h"
#include "dao/dao_engi.h"
#include "dao/dao_init.h"
#include "dao/dao_recs.h"

dao_database::dao_database(const std::wstring& path, DAODatabase* db, unsigned flags)
    : udb_database(path, flags), db_(db) {
  tk_wtrace(2, L"dao_database::dao_database( %s )", path.c_str());
  if (!db_) throw tk_mail_assertion("dao_db", 59);
  dao_check(db_->get_TableDefs(tabledefs_.out()), tabledefs_);
  short count = 0;
  dao_check(tabledefs_->get_Count(&count));
  for (short i = 0; i < count; ++i) {
    ole_com_ptr<DAOTableDef> table;
    dao_check(tabledefs_->get_Item(dao_variant_short(i), table.out()), table);
    BSTR name_text = nullptr;
    dao_check(table->get_Name(&name_text));
    std::wstring name = dao_take_text(name_text);
    long attributes = 0;
    dao_check(table->get_Attributes(&attributes));
    if (static_cast<unsigned long>(attributes) & dao_linked_table)
      tk_wtrace(2, L"Skip linked table '%s'", name.c_str());
    else if (static_cast<unsigned long>(attributes) & dao_system_table)
      tk_wtrace(2, L"Skip system table '%s'", name.c_str());
    else {
      tk_wtrace(2, L"Got table: '%s'", name.c_str());
      tables_.push_back(name);
    }
  }
  tk_trace(2, "Right before extracting queries");
  dao_check(db_->get_QueryDefs(querydefs_.out()), querydefs_);
  dao_check(querydefs_->get_Count(&count));
  tk_trace(2, "Got %d queries", static_cast<int>(count));
  for (short i = 0; i < count; ++i) {
    ole_com_ptr<DAOQueryDef> query;
    dao_check(querydefs_->get_Item(dao_variant_short(i), query.out()), query);
    BSTR text = nullptr;
    dao_check(query->get_Name(&text));
    std::wstring name = dao_take_text(text);
    tk_wtrace(2, L"Got query name: '%s'", name.c_str());
    dao_check(query->get_SQL(&text));
    std::wstring sql = dao_take_text(text);
    tk_wtrace(2, L"Got query SQL: '%s'", sql.c_str());
    queries_.emplace(name, sql);
  }
  tk_trace(2, "Right before extracting FKs");
  if (!(flags & 0x20) && !(flags & 0x40)) init_fkeys();
  tk_trace(2, "dao_database::ctor - END");
}

dao_database::~dao_database() {
  tk_trace(2, "dao_database::~dao_database");
  if (db_) db_->Close();
  querydefs_ = nullptr;
  tabledefs_ = nullptr;
  db_ = nullptr;
}

ole_com_ptr<DAORecordset> dao_database::open_query(const std::wstring& sql, int options,
                                                   ole_com_ptr<DAOQueryDef>& query) {
  dao_bstr empty(std::wstring{}), text(sql);
  dao_check(db_->CreateQueryDef(dao_variant_text(empty), dao_variant_text(text), query.out()), query);
  tk_trace(1, "Right after src->CreateQueryDef");
  ole_com_ptr<DAORecordset> rs;
  VARIANT none;
  VariantInit(&none);
  dao_check(query->OpenRecordset(dao_variant_short(2), dao_variant_short(static_cast<short>(options)), none, rs.out()), rs);
  return rs;
}

std::unique_ptr<udb_recordset> dao_database::get_table(const std::wstring& name, int read_only) {
  tk_wtrace(2, L"dao_database::get_table(%s, %d)", name.c_str(), read_only);
  if (!is_table_exist(name)) throw tk_mail_assertion("dao_db", 300);
  if (!tabledefs_) throw tk_mail_assertion("dao_db", 310);
  std::wstring sql = L"SELECT * FROM [" + name + L"]";
  int options = (read_only & 1) ? 4 : 8;
  dao_bstr item_name(name);
  ole_com_ptr<DAOTableDef> table;
  dao_check(tabledefs_->get_Item(dao_variant_text(item_name), table.out()), table);
  tk_trace(1, "Right after tdfs->getItem");
  long attributes = 0;
  dao_check(table->get_Attributes(&attributes));
  if (static_cast<unsigned long>(attributes) & (dao_linked_table | dao_system_table)) return nullptr;
  ole_com_ptr<DAOQueryDef> query;
  auto rs = open_query(sql, options, query);
  return std::make_unique<dao_recordset>(name, rs.get(), table.get());
}

std::unique_ptr<udb_recordset> dao_database::get_query(const std::wstring& name, const std::wstring& sql) {
  return get_query(name, sql, 1);
}

std::unique_ptr<udb_recordset> dao_database::get_query(const std::wstring& name, const std::wstring& sql,
                                                       int read_only) {
  tk_wtrace(2, L"dao_database::get_query(%s, %d)", name.c_str(), read_only);
  ole_com_ptr<DAOQueryDef> query;
  auto rs = open_query(sql, (read_only & 1) ? 4 : 8, query);
  std::uint32_t count = get_records_count(sql);
  return std::make_unique<dao_recordset>(name, sql, rs.get(), query.get(), count);
}

bool dao_database::test_query(const std::wstring& sql) {
  tk_wtrace(2, L"dao_database::test_query(%s)", sql.c_str());
  try {
    dao_bstr empty(std::wstring{}), text(sql);
    ole_com_ptr<DAOQueryDef> query;
    if (FAILED(db_->CreateQueryDef(dao_variant_text(empty), dao_variant_text(text), query.out())) || !query) return false;
    ole_com_ptr<DAORecordset> rs;
    VARIANT none;
    VariantInit(&none);
    return SUCCEEDED(query->OpenRecordset(dao_variant_short(2), dao_variant_long(1), none, rs.out())) && rs;
  } catch (...) {
    return false;
  }
}

std::uint32_t dao_database::get_records_count(const std::wstring& sql) {
  dao_bstr empty(std::wstring{}), text(L"select count(*) from (" + sql + L")");
  ole_com_ptr<DAOQueryDef> query;
  dao_check(db_->CreateQueryDef(dao_variant_text(empty), dao_variant_text(text), query.out()), query);
  ole_com_ptr<DAORecordset> rs;
  VARIANT none;
  VariantInit(&none);
  dao_check(query->OpenRecordset(dao_variant_short(2), dao_variant_long(4), none, rs.out()), rs);
  dao_check(rs->MoveFirst());
  ole_com_ptr<DAOFields> fields;
  dao_check(rs->get_Fields(fields.out()), fields);
  ole_com_ptr<DAOField> field;
  dao_check(fields->get_Item(dao_variant_short(0), field.out()), field);
  VARIANT count;
  dao_check(field->get_Value(&count));
  VARIANT as_unsigned;
  VariantInit(&as_unsigned);
  HRESULT hr = VariantChangeType(&as_unsigned, &count, 0, VT_UI4);
  VariantClear(&count);
  if (FAILED(hr)) throw tk_exception(1);
  return as_unsigned.ulVal;
}

bool dao_database::delete_tab(const std::wstring& name) {
  tk_wtrace(1, L"dao_database::delete_tab(%s)", name.c_str());
  if (mode_ & 0x01) throw tk_mail_assertion("dao_db", 208);
  if (!is_table_exist(name)) throw tk_mail_assertion("dao_db", 209);
  dao_check(tabledefs_->Delete(dao_bstr(name)));
  return udb_database::delete_tab(name);
}

std::unique_ptr<udb_recordset> dao_database::create_table(const std::wstring& name, const udb_schema& schema,
                                                          const udb_indexes& indexes) {
  tk_wtrace(2, L"dao_database::create_table (%s)", name.c_str());
  if (mode_ & 0x01) throw tk_mail_assertion("dao_db", 162);
  if (is_table_exist(name)) {
    if (mode_ & 0x08) return get_table(name, 8);
    throw tk_mail_assertion("dao_db", 168);
  }
  dao_bstr table_name(name), empty(std::wstring{});
  ole_com_ptr<DAOTableDef> table;
  dao_check(db_->CreateTableDef(dao_variant_text(table_name), dao_variant_long(0), dao_variant_text(empty), dao_variant_text(empty),
                                table.out()),
            table);
  dao_schema_initializer schema_init(table.get(), schema);
  schema_init.initialize();
  dao_indexes_initializer indexes_init(table.get(), schema_init.get_schema(), indexes, schema_init.get_names_map());
  indexes_init.initialize();
  tk_trace(1, "Right before Append");
  dao_check(tabledefs_->Append(table.get()));
  tables_.push_back(name);
  return get_table(name, 2);
}

void dao_database::init_fkeys() {
  tk_trace(2, "dao_database::init_fkeys");
  ole_com_ptr<DAOQueryDef> query;
  auto rs = open_query(L"SELECT szRelationship, szColumn, szObject, szReferencedObject, szReferencedColumn, grbit "
                       L"FROM MSysRelationships ORDER BY szRelationship",
                       4, query);
  VARIANT_BOOL eof = VARIANT_FALSE;
  dao_check(rs->get_EOF(&eof));
  std::wstring current;
  udb_relationship relationship;
  bool open = false;
  auto finish = [&] {
    if (!open) return;
    relationship.name = relationships_.gen_relship_name(relationship);
    tk_wtrace(2, L"rels_name=%s, src=%s.%s, dest=%s.%s", relationship.name.c_str(), relationship.table.c_str(),
              relationship.columns.empty() ? L"" : relationship.columns[0].c_str(), relationship.ref_table.c_str(),
              relationship.ref_columns.empty() ? L"" : relationship.ref_columns[0].c_str());
    relationships_.push_back(relationship);
    open = false;
  };
  while (!eof) {
    tk_trace(1, "Reading next record from MSysRelationships");
    ole_com_ptr<DAOFields> fields;
    dao_check(rs->get_Fields(fields.out()), fields);
    std::wstring row[5];
    for (short i = 0; i < 5; ++i) {
      ole_com_ptr<DAOField> field;
      dao_check(fields->get_Item(dao_variant_short(i), field.out()), field);
      VARIANT v;
      dao_check(field->get_Value(&v));
      if (v.vt == VT_BSTR) row[i] = bstr_text(v.bstrVal);
      VariantClear(&v);
    }
    if (open && row[0] == current) {
      tk_wtrace(2, L"'%s' is a multi-column FK", row[0].c_str());
      relationship.columns.push_back(row[1]);
      relationship.ref_columns.push_back(row[4]);
    } else {
      finish();
      current = row[0];
      relationship = udb_relationship(row[2], row[3], {row[1]}, {row[4]}, L"");
      open = true;
    }
    dao_check(rs->MoveNext());
    dao_check(rs->get_EOF(&eof));
  }
  finish();
}
