// Engines, databases, recordsets, records and schemas.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "TK/tk_excep.h"
#include "platform/kernel/codepage.h"
#include "tests/support/assertion.h"
#include "UDB/udb_db.h"
#include "UDB/udb_rec.h"
#include "UDB/udb_rule.h"
#include "tests/support/test_dir.h"

namespace {

// The least a back end supplies.
class test_recordset : public udb_recordset {
public:
  using udb_recordset::udb_recordset;
  void append_record(const udb_record&) override { ++appended; }
  int appended = 0;
};

class test_database : public udb_database {
public:
  test_database(std::vector<std::wstring> tables) : udb_database(L"shop", UDB_MODE_APPEND) {
    tables_ = std::move(tables);
  }
  std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema&,
                                              const udb_indexes&) override {
    tables_.push_back(name);
    return std::make_unique<test_recordset>(name, true);
  }
  std::unique_ptr<udb_recordset> get_table(const std::wstring& name, int) override {
    return std::make_unique<test_recordset>(name, true);
  }
  std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& query) override {
    return std::make_unique<test_recordset>(name, query, true);
  }
  bool test_query(const std::wstring&) override { return false; }
};

class test_engine : public udb_engine {
public:
  std::unique_ptr<udb_database> create_db(const std::wstring&) override {
    return std::make_unique<test_database>(std::vector<std::wstring>{});
  }
  std::unique_ptr<udb_database> open_db(const std::wstring&, unsigned, const std::wstring&) override {
    return nullptr;
  }
};

TEST(udb_database, table_list_ignores_case_and_keeps_order) {
  test_database db({L"Orders", L"Items", L"Clients"});
  EXPECT_EQ(db.get_name(), L"shop");
  EXPECT_EQ(db.get_mode(), UDB_MODE_APPEND);
  EXPECT_TRUE(db.is_table_exist(L"ITEMS"));
  EXPECT_FALSE(db.is_table_exist(L"Item"));
  EXPECT_TRUE(db.delete_tab(L"items"));
  EXPECT_EQ(db.get_tables(), (std::vector<std::wstring>{L"Orders", L"Clients"}));
  EXPECT_FALSE(db.is_table_exist(L"Items"));
  EXPECT_EQ(assertion_of([&] { db.delete_tab(L"Items"); }), assertion_text("udb_db", 44));
  EXPECT_EQ(assertion_of([&] { db.query(L"SELECT 1"); }), assertion_text("udb_db", 70));
  db.create_views({{L"v", L"SELECT 1"}});  // nothing by default
  db.create_relationships(udb_relationships());
  auto rs = db.create_table(L"New", udb_schema(), udb_indexes());
  EXPECT_TRUE(db.is_table_exist(L"new"));
}

TEST(udb_recordset, defaults) {
  test_recordset table(L"Sheet1", true);
  EXPECT_FALSE(table.is_query());
  EXPECT_TRUE(table.is_eof());
  EXPECT_EQ(table.get_record(), nullptr);
  EXPECT_EQ(table.get_records_count(), 0u);
  EXPECT_EQ(table.get_key_index(), -1);
  test_recordset query(L"Q", L"SELECT 1", true);
  EXPECT_TRUE(query.is_query());
  EXPECT_EQ(query.get_query(), L"SELECT 1");
}

TEST(udb_recordset, add_index_keeps_first_key_and_unique_names) {
  test_recordset rs(L"t", true);
  rs.add_index({L"ByName", false, false, {L"Name"}});
  EXPECT_EQ(rs.get_key_index(), -1);
  rs.add_index({L"UQ", true, false, {L"Code"}});
  EXPECT_EQ(rs.get_key_index(), 1);
  rs.add_index({L"PK", true, true, {L"ID"}});
  EXPECT_EQ(rs.get_key_index(), 1);  // the first primary or unique index stays the key
  rs.add_index({L"byname", true, true, {L"Other"}});  // same name in another case: ignored
  ASSERT_EQ(rs.get_indexes().size(), 3u);
  EXPECT_EQ(rs.get_indexes()[2].name, L"PK");
}

TEST(udb_schema, lookups_and_ownership) {
  udb_schema owner;
  owner.push_back(std::make_unique<t_ftd>(50, L"Name", VT_BSTR, false, false, ole_variant(), 0));
  owner.push_back(new t_ftd(4, L"Qty", VT_I4, true, false, ole_variant(), 0));
  EXPECT_TRUE(owner.find_field(L"qty"));
  EXPECT_FALSE(owner.find_field(L"Price"));
  EXPECT_EQ(owner.get_field_size(L"NAME"), 50);
  EXPECT_EQ(owner.get_field_type(L"qty"), VT_I4);
  EXPECT_EQ(assertion_of([&] { owner.get_field(L"x"); }), assertion_text("udb_sche", 309));
  EXPECT_EQ(assertion_of([&] { std::as_const(owner).get_field(L"x"); }), assertion_text("udb_sche", 324));
  EXPECT_EQ(assertion_of([&] { owner.get_field_size(L"x"); }), assertion_text("udb_sche", 339));
  EXPECT_EQ(assertion_of([&] { owner.get_field_type(L"x"); }), assertion_text("udb_sche", 355));

  // A schema that does not own its descriptors leaves them alive.
  {
    udb_schema view(false);
    view.push_back(&owner[0]);
    view.push_back(&owner[1]);
    EXPECT_EQ(view.get_field(L"Qty").size, 4);
  }
  EXPECT_EQ(owner[1].name, L"Qty");
}

std::unique_ptr<udb_field> field(const wchar_t* name, const ole_variant& value) {
  return std::make_unique<udb_field>(name, 10, value);
}

TEST(udb_record, empty_records_and_field_lookup) {
  VARIANT null_variant{};
  null_variant.vt = VT_NULL;
  ole_variant null_value(null_variant);
  udb_record rec;
  rec.add_field(field(L"A", null_value));
  rec.add_field(field(L"B", ole_variant(std::wstring())));
  rec.add_field(field(L"C", ole_variant()));
  EXPECT_TRUE(rec.is_empty());
  EXPECT_TRUE(rec.find_field(L"b"));
  EXPECT_FALSE(rec.find_field(L"D"));
  EXPECT_EQ(rec.get_field(L"c"), &rec[2]);
  rec.add_field(field(L"D", ole_variant(0)));
  EXPECT_FALSE(rec.is_empty());
  EXPECT_EQ(rec[3].get_type(), VT_I4);
  EXPECT_EQ(rec[3].get_size(), 10);
  // Numbers and booleans of any value are not empty, whatever their text.
  for (const ole_variant& value : {ole_variant(0.0), ole_variant(std::nan("")), ole_variant(false),
                                   ole_variant(0.0f), ole_variant(0ULL), ole_variant(short{0})}) {
    udb_record one;
    one.add_field(field(L"A", null_value));
    one.add_field(field(L"N", value));
    EXPECT_FALSE(one.is_empty()) << value.get_vt();
  }

  udb_record broken;
  broken.add_field(nullptr);
  EXPECT_EQ(assertion_of([&] { broken.is_empty(); }), assertion_text("udb_rec", 26));
}

TEST(udb_custom_conversion, rules_answer_in_order) {
  t_ftd text(50, L"Note", VT_BSTR, false, false, ole_variant(), 0);
  t_ftd number(4, L"Qty", VT_I4, false, false, ole_variant(), 0);
  // Without a list every question answers no.
  EXPECT_FALSE(udb_custom_conversion::is_acceptable1(text));
  EXPECT_FALSE(udb_custom_conversion::is_acceptable2(text, ole_variant(L"x")));
  EXPECT_EQ(udb_custom_conversion::handle1(text), L"");

  struct type_rule : udb_conversion_rule {
    VARTYPE vt;
    const wchar_t* answer;
    type_rule(VARTYPE v, const wchar_t* a) : vt(v), answer(a) {}
    bool is_acceptable1(const t_ftd& f) const override { return f.vartype == vt; }
    std::wstring handle1(const t_ftd&) const override { return answer; }
    bool is_acceptable2(const t_ftd& f, const ole_variant&) const override { return f.vartype == vt; }
    std::wstring handle2(const t_ftd&, const ole_variant& v) const override { return answer + v.to_wstring(); }
  };
  udb_custom_conversion list;
  list.add_rule(std::make_unique<type_rule>(VT_BSTR, L"LONGTEXT"));
  list.add_rule(std::make_unique<type_rule>(VT_BSTR, L"never asked"));
  EXPECT_TRUE(udb_custom_conversion::is_acceptable1(text));
  EXPECT_FALSE(udb_custom_conversion::is_acceptable1(number));
  EXPECT_EQ(udb_custom_conversion::handle1(text), L"LONGTEXT");
  EXPECT_EQ(udb_custom_conversion::handle2(text, ole_variant(L"x")), L"LONGTEXTx");
  EXPECT_EQ(udb_custom_conversion::handle2(number, ole_variant(1)), L"");
}

TEST(udb_recordset, convert_record_follows_the_schema) {
  test_recordset rs(L"t", true);
  rs.get_schema().push_back(std::make_unique<t_ftd>(4, L"n", VT_I4, false, false, ole_variant(), 0));
  udb_record rec;
  rec.add_field(field(L"n", ole_variant(std::wstring(L"42"))));
  rec.add_field(field(L"extra", ole_variant(std::wstring(L"x"))));  // beyond the schema: kept
  rs.convert_record(rec);
  EXPECT_EQ(rec[0].get_type(), VT_I4);
  EXPECT_EQ(rec[0].to_string(), "42");
  EXPECT_EQ(rec[1].get_type(), VT_BSTR);
}

TEST(udb_engine, file_databases) {
  test_dir dir_;
  test_engine engine;
  std::wstring path = (dir_ / "book.xls").wstring();
  EXPECT_FALSE(engine.is_db_exist(path));
  std::ofstream(dir_ / "book.xls") << "x";
  EXPECT_TRUE(engine.is_db_exist(path));
  engine.db_delete(path);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "book.xls"));
  try {
    engine.db_delete(path);
    FAIL() << "no exception";
  } catch (const tk_exception_ex& e) {
    EXPECT_EQ(e.get_level(), 1);
  }
  // A folder is no database file: it is neither found nor deleted, even empty.
  std::filesystem::create_directory(dir_ / "folder.xls");
  const std::wstring folder = (dir_ / "folder.xls").wstring();
  EXPECT_FALSE(engine.is_db_exist(folder));
  EXPECT_THROW(engine.db_delete(folder), tk_exception_ex);
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "folder.xls"));
}

TEST(udb_engine, a_path_the_code_page_cannot_hold_is_not_taken_for_another) {
  test_dir dir_;
  test_engine engine;
  ASSERT_TRUE(kernel::set_system_code_page(1252));
  struct restore {
    ~restore() { kernel::set_system_code_page(CP_ACP); }
  } restore_code_page;
  // Under a Latin-1 locale the CJK character would become '?'.
  std::ofstream(dir_ / "?.xls") << "x";
  const std::wstring path = dir_.path().wstring() + L"/\u6570.xls";
  EXPECT_FALSE(engine.is_db_exist(path));
  try {
    engine.db_delete(path);
    FAIL() << "no exception";
  } catch (const tk_exception_ex& e) {
    EXPECT_EQ(e.get_level(), 1);
  }
  EXPECT_TRUE(std::filesystem::exists(dir_ / "?.xls"));
}

}  // namespace
