// The write side over a database file: names Jet accepts, tables created from a
// source schema and indexes, and records appended.
#include <gtest/gtest.h>

#include "dao/dao_db.h"
#include "dao/dao_engi.h"
#include "dao/dao_init.h"
#include "dao/dao_rec.h"
#include "dao/dao_recs.h"
#include "workbook_fixtures.h"

namespace {

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

t_ftd* descriptor(const std::wstring& name, VARTYPE vt, int size, bool not_null = false) {
  return new t_ftd(size, name, vt, not_null, false, ole_variant(), 0);
}

TEST(DaoWrite, ValidatorsAndTypeMap) {
  dao_validator validator;
  EXPECT_FALSE(validator.is_acceptable(L" lead"));
  EXPECT_FALSE(validator.is_acceptable(L"bang!"));
  EXPECT_FALSE(validator.is_acceptable(L""));
  EXPECT_TRUE(validator.is_acceptable(std::wstring(300, L'a')));
  EXPECT_EQ(validator.get_safe_name(L" a.b "), L"a_b");
  std::unique_ptr<t_ftd> text(descriptor(L"t", VT_BSTR, 255)), memo(descriptor(L"m", VT_BSTR, 256)),
      unsized(descriptor(L"u", VT_BSTR, 0)), big(descriptor(L"b", VT_I8, 8)), odd(descriptor(L"o", VT_VARIANT, 0));
  EXPECT_EQ(dao_field::get_native_type(*text), 10);
  EXPECT_EQ(dao_field::get_native_type(*memo), 12);
  EXPECT_EQ(dao_field::get_native_type(*unsized), 12);
  EXPECT_EQ(dao_field::get_native_type(*big), 7);
  EXPECT_THROW(dao_field::get_native_type(*odd), ole_type_exception);
  EXPECT_EQ(dao_get_valid_variant(ole_variant(static_cast<unsigned short>(7))).get_vt(), VT_I4);
  EXPECT_EQ(dao_get_valid_variant(ole_variant(static_cast<long long>(7))).get_vt(), VT_R8);
  EXPECT_EQ(dao_schema_initializer::quote_def_value(L"abc"), L"\"abc\"");
  EXPECT_EQ(dao_schema_initializer::quote_def_value(L"a\"b"), L"'a\"b'");
  EXPECT_EQ(dao_schema_initializer::quote_def_value(L"a\"b'c"), L"\"a'b'c\"");
}

TEST(DaoWrite, TableCreatedFilledAndReadBack) {
  fixtures::temp_dir dir;
  dao_engine engine;
  ASSERT_TRUE(engine.set_version_if(dao_version_36));
  auto created = engine.create_db(wide(dir.file("out.mdb")));
  auto* db = dynamic_cast<dao_database*>(created.get());
  ASSERT_TRUE(db);
  EXPECT_EQ(db->get_mode(), 0x72u);

  udb_schema schema(true);
  schema.push_back(descriptor(L"Id", VT_I4, 4, true));
  schema.push_back(descriptor(L"Na.me", VT_BSTR, 20));
  schema.push_back(descriptor(L"Notes", VT_BSTR, 0));
  schema.push_back(descriptor(L"When", VT_DATE, 8));
  schema.push_back(descriptor(L"Big", VT_I8, 8));
  udb_indexes indexes;
  udb_index key;
  key.name = L"PrimaryKey";
  key.primary = key.unique = true;
  key.columns = {L"Id"};
  indexes.push_back(key);
  udb_index by_notes;
  by_notes.name = L"ByNotes";
  by_notes.columns = {L"Notes"};  // a Memo field: no index
  indexes.push_back(by_notes);
  udb_index wide_index;
  wide_index.name = L"Wide";
  wide_index.columns = std::vector<std::wstring>(11, L"Id");
  indexes.push_back(wide_index);

  auto rs = db->create_table(L"People", schema, indexes);
  ASSERT_TRUE(rs);
  udb_record record;
  record.add_field(std::make_unique<udb_field>(L"Id", 4, ole_variant(7)));
  record.add_field(std::make_unique<udb_field>(L"Na_me", 20, ole_variant(L"Ann")));
  record.add_field(std::make_unique<udb_field>(L"Notes", 0, ole_variant(std::wstring(400, L'n'))));
  ole_variant when;
  when.from_string("0000-00-00 08:30:00", VT_DATE);
  record.add_field(std::make_unique<udb_field>(L"When", 8, when));
  record.add_field(std::make_unique<udb_field>(L"Big", 8, ole_variant(static_cast<long long>(1) << 40)));
  rs->append_record(record);
  EXPECT_THROW(rs->append_record(record), dao_exception);  // duplicate key
  rs.reset();

  auto back = db->get_table(L"People", 1);
  EXPECT_EQ(back->get_records_count(), 1u);
  const auto& read_schema = back->get_schema();
  ASSERT_EQ(read_schema.size(), 5u);
  EXPECT_EQ(read_schema[1].name, L"Na_me");
  EXPECT_TRUE(read_schema[0].not_null);
  ASSERT_EQ(back->get_indexes().size(), 1u);
  EXPECT_TRUE(back->get_indexes()[0].primary);
  udb_record* row = back->get_record();
  EXPECT_EQ((*row)[1].to_wstring(), L"Ann");
  EXPECT_EQ((*row)[2].to_wstring().size(), 400u);
  EXPECT_EQ((*row)[3].to_wstring(), L"0000-00-00 08:30:00");
  EXPECT_EQ((*row)[4].get_type(), VT_R8);
  back.reset();
  EXPECT_TRUE(db->delete_tab(L"People"));
  EXPECT_FALSE(db->is_table_exist(L"People"));
}

TEST(DaoWrite, DatabaseFileOpenedAgain) {
  fixtures::temp_dir dir;
  dao_engine engine;
  ASSERT_TRUE(engine.set_version_if(dao_version_ace12));
  {
    auto created = engine.create_db(wide(dir.file("again.mdb")));
    udb_schema schema(true);
    schema.push_back(descriptor(L"Id", VT_I4, 4));
    created->create_table(L"T", schema, udb_indexes());
  }
  auto opened = engine.open_db(wide(dir.file("again.mdb")), 0, L"");
  EXPECT_EQ(opened->get_tables(), std::vector<std::wstring>{L"T"});
  EXPECT_EQ(opened->get_mode(), 0u);
  opened.reset();
  auto read_only = engine.open_db(wide(dir.file("again.mdb")), 1, L"secret");
  udb_schema schema(true);
  EXPECT_THROW(read_only->create_table(L"U", schema, udb_indexes()), tk_mail_assertion);
  EXPECT_THROW(engine.open_db(wide(dir.file("none.mdb")), 0, L""), dao_exception);
}

TEST(DaoWrite, FieldThatMakesTheRecordTooLargeIsStoredEmpty) {
  fixtures::temp_dir dir;
  dao_engine engine;
  ASSERT_TRUE(engine.set_version_if(dao_version_ace12));
  auto created = engine.create_db(wide(dir.file("wide.mdb")));
  udb_schema schema(true);
  udb_record record;
  for (int i = 1; i <= 9; ++i) {
    std::wstring name = L"T" + std::to_wstring(i);
    schema.push_back(descriptor(name, VT_BSTR, 255));
    record.add_field(std::make_unique<udb_field>(name, 255, ole_variant(std::wstring(250, L'a' + i))));
  }
  auto rs = created->create_table(L"Wide", schema, udb_indexes());
  rs->append_record(record);  // nine fields of 250 characters: more than Jet keeps in a record
  rs.reset();
  auto back = created->get_table(L"Wide", 1);
  ASSERT_EQ(back->get_records_count(), 1u);
  udb_record* row = back->get_record();
  EXPECT_EQ((*row)[0u].to_wstring(), std::wstring(250, L'b'));
  EXPECT_EQ((*row)[7u].to_wstring(), std::wstring(250, L'i'));
  EXPECT_EQ((*row)[8u].get_type(), VT_NULL);
}

}  // namespace
