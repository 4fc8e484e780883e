// Lookups by name and the index and key helpers the SQL Server side uses.
#include <gtest/gtest.h>

#include "UDB/udb_rec.h"
#include "UDB/udb_recs.h"
#include "UDB/udb_rel.h"
#include "UDB/udb_rule.h"
#include "UDB/udb_sche.h"
#include "platform/oledb/oledb_types.h"
#include "tests/support/assertion.h"

namespace {

struct plain_recordset : udb_recordset {
  plain_recordset() : udb_recordset(L"t", true) {}
  void append_record(const udb_record&) override {}
};

TEST(UdbMssAdditions, IndexesKeysAndFieldsByName) {
  plain_recordset r;
  r.add_index(udb_index{L"PK_t", true, true, {L"id"}});
  r.add_index(udb_index{L"ix", false, false, {L"a"}});
  ASSERT_EQ(r.get_key_index(), 0);
  r.clean_indexes();
  EXPECT_TRUE(r.get_indexes().empty());
  EXPECT_EQ(r.get_key_index(), -1);
  r.add_index(udb_index{L"ix2", true, false, {L"b"}});
  EXPECT_EQ(r.get_key_index(), 0);

  udb_relationships keys;
  keys.push_back(udb_relationship(L"FK_a", L"second", L"orders", L"customers", {L"cid"}, {L"id"}, L"ON DELETE CASCADE"));
  udb_relationship& fk = keys.get_index(L"fk_A");
  EXPECT_EQ(fk.table, L"orders");
  EXPECT_EQ(fk.ref_table, L"customers");
  EXPECT_EQ(fk.rule, L"ON DELETE CASCADE");
  EXPECT_EQ(fk.second_name, L"second");
  fk.columns.push_back(L"cid2");
  EXPECT_EQ(keys[0].columns.size(), 2u);
  EXPECT_EQ(assertion_of([&] { keys.get_index(L"none"); }), assertion_text("udb_rel", 122));

  udb_record rec;
  rec.add_field(std::make_unique<udb_field>(L"Name", 10, ole_variant(L"x")));
  EXPECT_EQ(rec.find_named_field(L"NAME").to_wstring(), L"x");
  udb_field none = rec.find_named_field(L"other");
  EXPECT_EQ(none.get_name(), L"");
  EXPECT_EQ(none.get_vt(), VT_EMPTY);
}

TEST(UdbMssAdditions, CustomConversionWithoutAListNamesNoType) {
  t_ftd field(10, L"f", VT_BSTR, false, false, ole_variant(), 0);
  DBCOLUMNDESC column{};
  EXPECT_EQ(udb_custom_conversion::handle1_1(field, column), nullptr);
  EXPECT_EQ(column.pwszTypeName, nullptr);
}

}  // namespace
