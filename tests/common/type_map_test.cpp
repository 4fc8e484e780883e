#include "common/type_map.h"

#include <gtest/gtest.h>

#include <initializer_list>

#include "TK/tk_excep.h"
#include "UDB/udb_rec.h"
#include "UDB/udb_sche.h"

#include <memory>

namespace {

// The final numeric state of one column of the given source type fed with the values.
int num_state(VARTYPE vt, std::initializer_list<const char*> values) {
  num_map map(L"t", {{L"c", vt}});
  for (const char* v : values) map.add_value(0, v);
  return map.get_entry(0).state;
}

int date_state(std::initializer_list<const char*> values) {
  dates_map map(L"t", {{L"c", VT_BSTR}}, false);
  for (const char* v : values) map.add_value(0, v);
  return map.get_entry(0).state;
}

TEST(NumMap, NarrowestTypeThatHoldsEveryValue) {
  EXPECT_EQ(num_state(VT_R8, {"1", "2", "3"}), num_map::k_int);
  EXPECT_EQ(num_state(VT_R8, {"1", "2.5"}), num_map::k_double);
  EXPECT_EQ(num_state(VT_R8, {"1", "3000000000"}), num_map::k_bigint);
  EXPECT_EQ(num_state(VT_R8, {"1", "abc"}), num_map::k_varchar);
  EXPECT_EQ(num_state(VT_R8, {"3000000000", "5"}), num_map::k_bigint);
  EXPECT_EQ(num_state(VT_R8, {"3000000000", "5", "2.5"}), num_map::k_double);
  EXPECT_EQ(num_state(VT_BSTR, {"", "-7", "", "2147483647"}), num_map::k_int);
  EXPECT_EQ(num_state(VT_BSTR, {"-2147483649"}), num_map::k_bigint);
  // Once text, always text.
  EXPECT_EQ(num_state(VT_BSTR, {"x", "1", "2"}), num_map::k_varchar);
}

TEST(NumMap, OnlyTextTheServerReadsAsTheSameNumberCounts) {
  for (const char* yes : {"0.12", "0", "-0.5", "+3.25", ".5", "1e5", "1E-05", "2.5e+10", "-0"})
    EXPECT_TRUE(num_map::is_double(yes)) << yes;
  for (const char* no : {"012", "01", "-01", "0,12", "12,5", "1-2", "1+2", "e5", "-e5", ".", "5.", "1e",
                         "1e999", "1e-999", "nan", "inf", " 12", "12 ", "", "1.2.3", "0x1F",
                         "1234567890.1234567"})
    EXPECT_FALSE(num_map::is_double(no)) << no;

  EXPECT_TRUE(num_map::is_int("-2147483648"));
  EXPECT_FALSE(num_map::is_int("2147483648"));
  for (const char* no : {"12.0", "1e3", "+5", "007", "-0", "12,5", "99999999999999999999999"})
    EXPECT_FALSE(num_map::is_int(no)) << no;
  EXPECT_TRUE(num_map::is_i8("9223372036854775807"));
  EXPECT_FALSE(num_map::is_i8("9223372036854775808"));
  EXPECT_FALSE(num_map::is_i8("5"));

  EXPECT_EQ(num_state(VT_BSTR, {"12,5"}), num_map::k_varchar);
  EXPECT_EQ(num_state(VT_BSTR, {"1-2"}), num_map::k_varchar);
  EXPECT_EQ(num_state(VT_BSTR, {"1", "12.0"}), num_map::k_double);
  EXPECT_EQ(num_state(VT_BSTR, {"01", "02"}), num_map::k_varchar);
  // Integers beyond 64 bits, or wider than a DOUBLE holds, stay text.
  EXPECT_EQ(num_state(VT_BSTR, {"123456789012345678901234567890"}), num_map::k_varchar);
  EXPECT_EQ(num_state(VT_BSTR, {"1234567890123456789", "2.5"}), num_map::k_varchar);
  EXPECT_EQ(num_state(VT_BSTR, {"2.5", "1234567890123456789"}), num_map::k_varchar);
  EXPECT_EQ(num_state(VT_BSTR, {"1234567890123456789", "7"}), num_map::k_bigint);
}

TEST(NumMap, NumericColumnsGoByTheValueWhateverItsPrint) {
  EXPECT_EQ(num_state(VT_R8, {"1.000000000000000e+000", "2.000000000000000e+000"}), num_map::k_int);
  EXPECT_EQ(num_state(VT_R8, {"1.000000000000000e+000", "3.000000000000000e+009"}), num_map::k_bigint);
  EXPECT_EQ(num_state(VT_R8, {"1.000000000000000e+000", "-1.000000000000000e-003"}), num_map::k_double);
  EXPECT_EQ(num_state(VT_R8, {"1.000000000000000e+019"}), num_map::k_double);
  EXPECT_EQ(num_state(VT_I8, {"9007199254740993", "5"}), num_map::k_bigint);
  EXPECT_EQ(num_state(VT_I8, {"-5", "7"}), num_map::k_int);
  EXPECT_EQ(num_state(VT_R8, {"1", "n/a"}), num_map::k_varchar);
}

TEST(NumMap, EmptyTextsAndNullsAreTracked) {
  num_map map(L"t", {{L"a", VT_I4}, {L"b", VT_R8}, {L"c", VT_I8}, {L"d", VT_DATE}});
  EXPECT_EQ(map.get_entry(0).source_class, num_map::k_int);
  EXPECT_EQ(map.get_entry(1).source_class, num_map::k_double);
  EXPECT_EQ(map.get_entry(2).source_class, num_map::k_bigint);
  EXPECT_EQ(map.get_entry(3).source_class, num_map::k_varchar);
  map.add_value(0, "", true);
  map.add_value(1, "", false);
  EXPECT_FALSE(map.get_entry(0).empty_seen);
  EXPECT_TRUE(map.get_entry(1).empty_seen);
  EXPECT_FALSE(map.get_entry(1).seen);
  EXPECT_THROW(map.get_entry(4), tk_mail_assertion);
}

TEST(DatesMap, DateTimeAndTimeColumns) {
  EXPECT_EQ(date_state({"2004-05-06", "2004-05-07"}), dates_map::k_date);
  EXPECT_EQ(date_state({"2004-05-06", "2004-05-07", "2004-05-08 10:00:00"}), dates_map::k_datetime);
  EXPECT_EQ(date_state({"2004-05-06", "10:00:00"}), dates_map::k_char);
  EXPECT_EQ(date_state({"10:00:00", "9:05:00"}), dates_map::k_time);
  EXPECT_EQ(date_state({"10:00:00", "2004-05-06"}), dates_map::k_char);
  EXPECT_EQ(date_state({"20040506", "20040507123456"}), dates_map::k_datetime);
  EXPECT_EQ(date_state({"2004-05-06 00:00:00", ""}), dates_map::k_date);
  // A value that is not a date keeps the column as text.
  EXPECT_EQ(date_state({"2004-05-06", "n/a"}), dates_map::k_char);
  EXPECT_EQ(date_state({"2004-05-06 10:00:00", "n/a", "2004-05-07"}), dates_map::k_char);
}

TEST(DatesMap, OnlyFormsTheServerReadsTheSameWay) {
  for (const char* no : {"5/6/2004 1:05 PM", "06.05.2004", "2004/05/06", "2004-5-6", "2004-02-30",
                         "2004-13-01", "0999-01-01", "2004-05-06T10:00:00", "24:00:00", "10:60:00",
                         "12:30:59.6", "2004-05-06 10:00", "20041301", "12345678", "abc", "1"})
    EXPECT_EQ(dates_map::date_kind(no), 0) << no;
  EXPECT_EQ(dates_map::date_kind("2000-02-29"), dates_map::k_date);
  EXPECT_EQ(dates_map::date_kind("1900-02-29"), 0);
  EXPECT_EQ(dates_map::date_kind("20040506123456"), dates_map::k_datetime);
  EXPECT_EQ(dates_map::date_kind("20040506000000"), dates_map::k_date);
  EXPECT_EQ(dates_map::date_kind("23:59:59"), dates_map::k_time);
  EXPECT_EQ(dates_map::date_kind("0000-00-00 10:00:00"), dates_map::k_time);
  EXPECT_EQ(dates_map::date_kind("0000-00-00 25:00:00"), 0);
  EXPECT_EQ(dates_map::date_kind("0000-00-00"), 0);
}

TEST(DatesMap, DateFieldsOnly) {
  dates_map map(L"t", {{L"a", VT_BSTR}, {L"b", VT_DATE, 1}, {L"c", VT_DATE, 0}, {L"d", VT_DATE, 2}}, true);
  ASSERT_EQ(map.size(), 3u);
  EXPECT_EQ(map.get_entry(0).field_index, 1);
  // The class of the column as it was created: a date kind of 0 makes CHAR(19).
  EXPECT_EQ(map.get_entry(0).source_class, dates_map::k_datetime);
  EXPECT_EQ(map.get_entry(1).source_class, dates_map::k_char);
  EXPECT_EQ(map.get_entry(2).source_class, dates_map::k_date);
}

}  // namespace

namespace {

// A record of (name, value) fields.
std::unique_ptr<udb_record> make_record(std::initializer_list<std::pair<const wchar_t*, ole_variant>> fields) {
  auto record = std::make_unique<udb_record>();
  for (const auto& [name, value] : fields) record->add_field(std::make_unique<udb_field>(name, 50, value));
  return record;
}

TEST(TypeMaps, FedFromRecordsAndSchemas) {
  udb_schema schema(true);
  for (const wchar_t* name : {L"n", L"when", L"e"})
    schema.push_back(std::make_unique<t_ftd>(50, name, VT_BSTR, false, false, ole_variant(), 0));
  num_map numbers(L"t", schema);
  dates_map dates(L"t", schema, false);
  ASSERT_EQ(numbers.size(), 3u);
  ASSERT_EQ(dates.size(), 3u);
  EXPECT_EQ(numbers.get_entry(1).field_name, L"when");

  VARIANT null_variant{};
  null_variant.vt = VT_NULL;
  ole_variant null_value(null_variant);
  auto first = make_record({{L"n", ole_variant(L"7")}, {L"when", ole_variant(L"2004-05-06")}, {L"e", null_value}});
  auto second = make_record({{L"n", ole_variant(L"3000000000")}, {L"when", ole_variant(L"")}});  // a short line
  for (auto* r : {first.get(), second.get()}) {
    numbers.add_rec_stat(*r);
    dates.add_rec_stat(*r);
  }
  EXPECT_EQ(numbers.get_entry(0).state, num_map::k_bigint);
  EXPECT_EQ(dates.get_entry(1).state, dates_map::k_date);
  EXPECT_TRUE(dates.get_entry(1).empty_seen);
  // A null and a missing field are no empty texts.
  EXPECT_FALSE(numbers.get_entry(2).seen);
  EXPECT_FALSE(numbers.get_entry(2).empty_seen);

  // Both maps fed at once reach the same states.
  num_map numbers2(L"t", schema);
  dates_map dates2(L"t", schema, false);
  for (auto* r : {first.get(), second.get()}) add_rec_stat(*r, dates2, numbers2);
  for (std::size_t pos = 0; pos < 3; ++pos) {
    for (auto [a, b] : {std::pair<const types_map*, const types_map*>{&numbers, &numbers2}, {&dates, &dates2}}) {
      EXPECT_EQ(a->get_entry(pos).state, b->get_entry(pos).state) << pos;
      EXPECT_EQ(a->get_entry(pos).seen, b->get_entry(pos).seen) << pos;
      EXPECT_EQ(a->get_entry(pos).empty_seen, b->get_entry(pos).empty_seen) << pos;
    }
  }
}

}  // namespace
