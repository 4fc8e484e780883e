// The data-access objects through their interfaces, as the DAO layer calls them:
// engine by class identifier, workbooks, queries, recordsets, errors, and the
// database file standing in for an Access database.
#include <gtest/gtest.h>

#include "platform/com/com_runtime.h"
#include "platform/dao/dao.h"
#include "platform/dao/dao_types.h"
#include "workbook_fixtures.h"

using namespace jet;

namespace {

template <class T>
struct held {
  T* p = nullptr;
  ~held() {
    if (p) p->Release();
  }
  T** operator&() { return &p; }
  T* operator->() const { return p; }
};

VARIANT text(const std::wstring& s, std::vector<unique_bstr>& keep) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = bstr_from(s);
  keep.emplace_back(v.bstrVal);
  return v;
}

VARIANT integer(long n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

VARIANT none() {
  VARIANT v;
  VariantInit(&v);
  return v;
}

std::wstring take(BSTR b) {
  std::wstring out = bstr_text(b);
  SysFreeString(b);
  return out;
}

class DaoObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    register_dao_engine();
    ASSERT_EQ(CoCreateInstance(CLSID_DBEngine120, nullptr, CLSCTX_ALL, IID_DBEngine,
                               reinterpret_cast<void**>(&engine)),
              S_OK);
  }
  std::pair<long, std::wstring> last_error() {
    held<DAOErrors> errors;
    engine->get_Errors(&errors);
    held<DAOError> error;
    if (FAILED(errors->get_Item(integer(0), &error))) return {0, L""};
    long number = 0;
    BSTR description = nullptr;
    error->get_Number(&number);
    error->get_Description(&description);
    return {number, take(description)};
  }
  HRESULT open(const std::string& path, const std::wstring& connect, DAODatabase** out) {
    std::vector<unique_bstr> keep;
    unique_bstr name(bstr_from(std::wstring(path.begin(), path.end())));
    VARIANT ro = integer(1);
    return engine->OpenDatabase(name.get(), integer(0), ro, text(connect, keep), out);
  }
  held<DAODBEngine> engine;
  fixtures::temp_dir dir;
  std::vector<unique_bstr> keep;
};

TEST_F(DaoObjects, EngineVersionsByClassIdentifier) {
  held<DAODBEngine> other;
  EXPECT_EQ(CoCreateInstance(CLSID_DBEngine36, nullptr, CLSCTX_ALL, IID_DBEngine, reinterpret_cast<void**>(&other)),
            S_OK);
  held<DAODBEngine> old;
  EXPECT_EQ(CoCreateInstance(CLSID_DBEngine30, nullptr, CLSCTX_ALL, IID_DBEngine30, reinterpret_cast<void**>(&old)),
            REGDB_E_CLASSNOTREG);
}

TEST_F(DaoObjects, WorkbookTablesRecordsetsAndErrors) {
  fixtures::write_sample_xlsx(dir.file("s.xlsx"));
  held<DAODatabase> db;
  ASSERT_EQ(open(dir.file("s.xlsx"), L"Excel 5.0; IMEX=1;", &db), S_OK);
  held<DAOTableDefs> tables;
  ASSERT_EQ(db->get_TableDefs(&tables), S_OK);
  short count = 0;
  tables->get_Count(&count);
  EXPECT_EQ(count, 4);
  held<DAOTableDef> data;
  ASSERT_EQ(tables->get_Item(text(L"DATA$", keep), &data), S_OK);
  long records = 0, attributes = -1;
  data->get_RecordCount(&records);
  data->get_Attributes(&attributes);
  EXPECT_EQ(records, 4);
  EXPECT_EQ(attributes, 0);
  held<DAOFields> def_fields;
  data->get_Fields(&def_fields);
  held<DAOField> when;
  ASSERT_EQ(def_fields->get_Item(text(L"When", keep), &when), S_OK);
  short type = 0;
  when->get_Type(&type);
  EXPECT_EQ(type, dbDate);
  VARIANT empty;
  EXPECT_EQ(when->get_Value(&empty), S_OK);  // a definition's field: no value, no failure
  EXPECT_EQ(empty.vt, VT_EMPTY);

  held<DAOQueryDef> query;
  ASSERT_EQ(db->CreateQueryDef(text(L"", keep), text(L"SELECT * FROM [Data$]", keep), &query), S_OK);
  held<DAORecordset> rs;
  VARIANT dynaset = integer(dbOpenDynaset), read_only = integer(dbReadOnly);
  ASSERT_EQ(query->OpenRecordset(dynaset, read_only, none(), &rs), S_OK);
  held<DAOFields> fields;
  rs->get_Fields(&fields);
  held<DAOField> name, price, flag;
  fields->get_Item(integer(0), &name);
  fields->get_Item(text(L"Price", keep), &price);
  fields->get_Item(text(L"Flag", keep), &flag);
  VARIANT v;
  ASSERT_EQ(name->get_Value(&v), S_OK);
  EXPECT_EQ(v.vt, VT_BSTR);
  EXPECT_EQ(bstr_text(v.bstrVal), L"Zo\u00eb");
  VariantClear(&v);
  price->get_Value(&v);
  EXPECT_EQ(v.vt, VT_CY);
  EXPECT_EQ(v.cyVal.int64, 199900);
  flag->get_Value(&v);
  EXPECT_EQ(v.vt, VT_BOOL);
  EXPECT_EQ(v.boolVal, VARIANT_TRUE);
  ASSERT_EQ(rs->MoveNext(), S_OK);
  name->get_Value(&v);
  EXPECT_EQ(bstr_text(v.bstrVal), L"\U0001F600 emoji");
  VariantClear(&v);
  ASSERT_EQ(rs->MoveNext(), S_OK);
  name->get_Value(&v);
  EXPECT_EQ(v.vt, VT_NULL);  // the empty row
  ASSERT_EQ(rs->MovePrevious(), S_OK);
  name->get_Value(&v);
  EXPECT_EQ(bstr_text(v.bstrVal), L"\U0001F600 emoji");
  VariantClear(&v);
  VARIANT_BOOL eof = 0;
  rs->MoveNext();
  rs->MoveNext();
  rs->MoveNext();
  rs->get_EOF(&eof);
  EXPECT_EQ(eof, VARIANT_TRUE);
  EXPECT_EQ(rs->MoveNext(), E_FAIL);
  EXPECT_EQ(last_error().first, 3021);
  EXPECT_EQ(name->get_Value(&v), E_FAIL);
  EXPECT_EQ(rs->AddNew(), E_FAIL);
  EXPECT_EQ(last_error().first, 3027);
  EXPECT_EQ(rs->Close(), S_OK);

  held<DAOQueryDef> bad;
  EXPECT_EQ(db->CreateQueryDef(text(L"", keep), text(L"SELECT * FROM [Nowhere$]", keep), &bad), E_FAIL);
  auto [number, description] = last_error();
  EXPECT_EQ(number, 3078);
  EXPECT_NE(description.find(L"Nowhere$"), std::wstring::npos);
  EXPECT_EQ(db->Close(), S_OK);
}

TEST_F(DaoObjects, WorkbookErrorsAtOpen) {
  held<DAODatabase> db;
  EXPECT_EQ(open(fixtures::xls_fixture("password.xls"), L"Excel 5.0; IMEX=1;", &db), E_FAIL);
  EXPECT_EQ(last_error().first, 3161);
  EXPECT_EQ(open(fixtures::xls_fixture("corrupt.xls"), L"Excel 5.0; HDR=No; IMEX=1;", &db), E_FAIL);
  EXPECT_EQ(last_error().first, 3274);
  EXPECT_EQ(open(dir.file("missing.xls"), L"Excel 5.0;", &db), E_FAIL);
  EXPECT_EQ(last_error().first, 3024);
}

TEST_F(DaoObjects, DatabaseFileTablesIndexesRecordsAndRelationships) {
  auto path = dir.file("access.mdb");
  std::wstring wide(path.begin(), path.end());
  unique_bstr name(bstr_from(wide)), locale(bstr_from(L";LANGID=0x0409;CP=1252;COUNTRY=0"));
  held<DAODatabase> db;
  ASSERT_EQ(engine->CreateDatabase(name.get(), locale.get(), integer(0), &db), S_OK);
  held<DAOTableDef> table;
  ASSERT_EQ(db->CreateTableDef(text(L"People", keep), integer(0), none(), none(), &table), S_OK);
  held<DAOFields> fields;
  table->get_Fields(&fields);
  for (auto [field, type, size] : {std::tuple{L"Id", dbLong, 4}, {L"Name", dbText, 10}, {L"Born", dbDate, 8}}) {
    held<DAOField> f;
    ASSERT_EQ(table->CreateField(text(field, keep), integer(type), integer(size), &f), S_OK);
    if (type == dbText) f->put_DefaultValue(text(L"\"nobody\"", keep));
    ASSERT_EQ(fields->Append(f.p), S_OK);
  }
  held<DAOIndex> key;
  table->CreateIndex(text(L"PrimaryKey", keep), &key);
  key->put_Primary(VARIANT_TRUE);
  held<DAOField> key_field;
  key->CreateField(text(L"Id", keep), none(), none(), &key_field);
  held<DAOFields> key_fields;
  key->get_Fields(&key_fields);
  key_fields->Append(key_field.p);
  held<DAOIndexes> indexes;
  table->get_Indexes(&indexes);
  indexes->Append(key.p);
  held<DAOTableDefs> tables;
  db->get_TableDefs(&tables);
  ASSERT_EQ(tables->Append(table.p), S_OK);

  held<DAOQueryDef> query;
  db->CreateQueryDef(text(L"", keep), text(L"SELECT * FROM [People]", keep), &query);
  held<DAORecordset> rs;
  ASSERT_EQ(query->OpenRecordset(integer(dbOpenDynaset), integer(dbAppendOnly), none(), &rs), S_OK);
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(rs->AddNew(), S_OK);
    rs->put_Collect(text(L"Id", keep), integer(7));
    rs->put_Collect(text(L"Name", keep), text(L"Ann", keep));
    if (round == 0) {
      EXPECT_EQ(rs->Update(), S_OK);
    } else {
      EXPECT_EQ(rs->Update(), E_FAIL);
      EXPECT_EQ(last_error().first, 3022);  // duplicate key
    }
  }
  ASSERT_EQ(rs->AddNew(), S_OK);
  EXPECT_EQ(rs->put_Collect(text(L"Name", keep), text(L"far too long a name", keep)), E_FAIL);

  held<DAOTableDef> people;
  tables->get_Item(text(L"people", keep), &people);
  long count = 0;
  people->get_RecordCount(&count);
  EXPECT_EQ(count, 1);
  held<DAOFields> people_fields;
  people->get_Fields(&people_fields);
  held<DAOField> name_field;
  people_fields->get_Item(integer(1), &name_field);
  long size = 0;
  name_field->get_Size(&size);
  EXPECT_EQ(size, 10);
  VARIANT def;
  name_field->get_DefaultValue(&def);
  EXPECT_EQ(bstr_text(def.bstrVal), L"\"nobody\"");
  VariantClear(&def);
  held<DAOIndexes> people_indexes;
  people->get_Indexes(&people_indexes);
  short index_count = 0;
  people_indexes->get_Count(&index_count);
  EXPECT_EQ(index_count, 1);

  held<DAOQueryDef> rels;
  EXPECT_EQ(db->CreateQueryDef(text(L"", keep),
                               text(L"SELECT szRelationship, szColumn, szObject, szReferencedObject, "
                                    L"szReferencedColumn, grbit FROM MSysRelationships ORDER BY szRelationship",
                                    keep),
                               &rels),
            S_OK);
  EXPECT_EQ(tables->Delete(unique_bstr(bstr_from(L"People")).get()), S_OK);
  tables->get_Count(&index_count);
  EXPECT_EQ(index_count, 0);
}

}  // namespace
