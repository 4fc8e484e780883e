// Indexes, foreign keys and the names map.
#include <gtest/gtest.h>

#include "tests/support/assertion.h"
#include "UDB/udb_idx.h"
#include "UDB/udb_nmap.h"
#include "UDB/udb_rel.h"

namespace {

udb_index make_index(const wchar_t* name, bool unique, bool primary, std::vector<std::wstring> columns) {
  return udb_index{name, unique, primary, std::move(columns)};
}

TEST(udb_index, starts_with_fields) {
  udb_index idx = make_index(L"ix", false, false, {L"A", L"B"});
  EXPECT_TRUE(idx.starts_with_fields({}));
  EXPECT_TRUE(idx.starts_with_fields({L"a"}));
  EXPECT_TRUE(idx.starts_with_fields({L"A", L"b"}));
  EXPECT_FALSE(idx.starts_with_fields({L"B"}));
  EXPECT_FALSE(idx.starts_with_fields({L"A", L"B", L"C"}));
}

TEST(udb_indexes, lookups) {
  udb_indexes list;
  list.push_back(make_index(L"PK", true, true, {L"ID"}));
  list.push_back(make_index(L"ByName", false, false, {L"Name", L"First"}));
  EXPECT_FALSE(list.is_acceptable_name(L"byname"));
  EXPECT_TRUE(list.is_acceptable_name(L"ByCity"));
  // Field names of an index compare exactly.
  EXPECT_TRUE(list.is_idx_field(L"ID", false));
  EXPECT_FALSE(list.is_idx_field(L"id", false));
  EXPECT_TRUE(list.is_idx_field(L"First", false));
  EXPECT_FALSE(list.is_idx_field(L"First", true));
  EXPECT_EQ(list.get_index(L"pk").columns, std::vector<std::wstring>{L"ID"});
  EXPECT_EQ(assertion_of([&] { list.get_index(L"none"); }), assertion_text("udb_idx", 134));
  list.clear();
  EXPECT_TRUE(list.empty());
}

TEST(udb_relationships, generated_names_skip_used_ones) {
  udb_relationships rels;
  udb_relationship fk(L"c", L"p", {L"pid"}, {L"id"}, L"");
  EXPECT_EQ(rels.gen_relship_name(fk), L"FK_p_c");

  for (const wchar_t* used : {L"FK_p_c", L"fk_P_C_"}) {
    udb_relationship r = fk;
    r.name = used;
    rels.push_back(r);
  }
  EXPECT_EQ(rels.gen_relship_name(fk), L"FK_p_c_1");

  for (const wchar_t* used : {L"FK_p_c_1", L"FK_p_c_1_", L"FK_p_c_1_2", L"FK_p_c_1_2_", L"FK_p_c_1_2_3",
                              L"FK_p_c_1_2_3_"}) {
    udb_relationship r = fk;
    r.name = used;
    rels.push_back(r);
  }
  EXPECT_EQ(rels.gen_relship_name(fk), L"FK_p_c_1_2_3_1");
  EXPECT_FALSE(rels.is_acceptable_name(L"fk_p_c_1"));
}

TEST(udb_names_map, exact_and_inexact_lookups) {
  udb_names_map map;
  EXPECT_EQ(map.get_tn_mapped_name(L"Sheet 1", true), L"Sheet 1");
  map.add_tn_map(L"Sheet 1", L"Sheet_1");
  EXPECT_EQ(map.get_tn_mapped_name(L"Sheet 1", true), L"Sheet_1");
  EXPECT_EQ(map.get_tn_mapped_name(L"SHEET 1", true), L"SHEET 1");
  EXPECT_EQ(map.get_tn_mapped_name(L"SHEET 1", false), L"Sheet_1");

  map.add_fn_map(L"Sheet_1", {{L"Unit Price", L"Unit_Price"}, {L"Qty", L"Qty"}});
  map.add_fn_map(L"Sheet_1", {{L"Unit Price", L"other"}});  // the first map stays
  EXPECT_EQ(map.get_fn_mapped_name(L"Sheet_1", L"Unit Price", true), L"Unit_Price");
  EXPECT_EQ(map.get_fn_mapped_name(L"Sheet_1", L"unit price", true), L"unit price");
  EXPECT_EQ(map.get_fn_mapped_name(L"Sheet_1", L"unit price", false), L"Unit_Price");
  // The table itself is always found by its exact name.
  EXPECT_EQ(map.get_fn_mapped_name(L"SHEET_1", L"Unit Price", false), L"Unit Price");

  EXPECT_EQ(map.get_fn_orig_name(L"Sheet_1", L"Unit_Price", true), L"Unit Price");
  EXPECT_EQ(map.get_fn_orig_name(L"Sheet_1", L"UNIT_PRICE", false), L"Unit Price");
  EXPECT_EQ(map.get_fn_orig_name(L"Sheet_1", L"UNIT_PRICE", true), L"UNIT_PRICE");
  EXPECT_EQ(map.get_fn_orig_name(L"Other", L"x", false), L"x");
}

}  // namespace
