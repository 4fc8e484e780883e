#include "UDB/udb_vali.h"

#include <gtest/gtest.h>

#include "TK/tk_utils.h"
#include "tests/support/assertion.h"

namespace {

// A validator with the kind of rules a back end fills in.
class test_validator : public udb_validator {
public:
  explicit test_validator(int max_length) : udb_validator(max_length) {
    illegal_chars_ = {L'-', L' '};
    reserved_words_ = {L"select", L"table"};
  }
};

TEST(udb_validator, acceptable_names) {
  test_validator v(10);
  EXPECT_TRUE(v.is_acceptable(L"abcdefghij"));
  EXPECT_FALSE(v.is_acceptable(L"abcdefghijk"));  // too long
  EXPECT_FALSE(v.is_acceptable(L"SELECT"));       // reserved, any case
  EXPECT_FALSE(v.is_acceptable(L"a-b"));
  EXPECT_FALSE(v.is_acceptable(L"a b"));
  test_validator unlimited(0);
  EXPECT_TRUE(unlimited.is_acceptable(std::wstring(5000, L'x')));
}

TEST(udb_validator, duplicates_ignore_case) {
  test_validator v(0);
  v.used_names() = {L"Orders", L"Items"};
  EXPECT_TRUE(v.is_duplicated(L"ORDERS"));
  EXPECT_FALSE(v.is_duplicated(L"Order"));
}

TEST(udb_validator, safe_name_cuts_to_length) {
  test_validator v(10);
  EXPECT_EQ(v.get_safe_name(L"abcdefghijkl"), L"abcdefghi");
  test_validator unlimited(0);
  std::wstring longer(300, L'y');
  EXPECT_EQ(unlimited.get_safe_name(longer), longer);
}

TEST(udb_validator, safe_name_replaces_illegal_characters) {
  test_validator v(0);
  EXPECT_EQ(v.get_safe_name(L"a-b c"), L"a_b_c");
  v.used_names() = {L"a_b", L"A_B00000"};
  EXPECT_EQ(v.get_safe_name(L"a-b"), L"a_b00001");
  // The result is not taken for used.
  EXPECT_EQ(v.get_safe_name(L"a-b"), L"a_b00001");
}

TEST(udb_validator, safe_name_of_reserved_word_gets_counter) {
  test_validator v(0);
  EXPECT_EQ(v.get_safe_name(L"Table"), L"Table00000");
}

TEST(udb_validator, safe_name_counter_stays_within_length) {
  test_validator v(10);
  v.used_names() = {L"abcdefghi"};
  // Cut to M - 6 characters, then five digits: nine characters in all.
  std::wstring name = v.get_safe_name(L"abcdefghijkl");
  EXPECT_EQ(name, L"abcd00000");
  EXPECT_TRUE(v.is_acceptable(name));
}

TEST(udb_validator, exhausted_counter_is_internal_error) {
  // Every name with a digit is reserved through the subclass's own rule.
  struct no_digits : udb_validator {
    no_digits() : udb_validator(0) {}
    bool is_acceptable(const std::wstring& name) const override {
      return name.find_first_of(L"0123456789") == std::wstring::npos && name != L"x";
    }
  } v;
  EXPECT_EQ(assertion_of([&] { v.get_safe_name(L"x"); }), assertion_text("udb_vali", 54));
}

TEST(udb_validator, safe_name_work_grows_linearly_with_the_names_taken) {
  // Many long names sharing their cut prefix: each call used to try every
  // number against every used name. Count the name comparisons a call makes.
  struct counting : udb_validator {
    counting() : udb_validator(12) {}
    bool is_duplicated(const std::wstring& name) const override {
      comparisons += used_names().size();
      return udb_validator::is_duplicated(name);
    }
    mutable std::size_t comparisons = 0;
  } v;
  auto numbered = [](std::size_t n) {
    wchar_t digits[8];
    std::swprintf(digits, 8, L"%05zu", n);
    return L"custom" + std::wstring(digits);
  };
  // The same names as ever: the plain cut, then the cut prefix with the lowest
  // free number.
  v.used_names() = {L"customer_na"};
  for (std::size_t i = 0; i < 100; ++i) v.used_names().push_back(v.get_safe_name(L"customer_name_" + std::to_wstring(i)));
  for (std::size_t i = 0; i < 100; ++i) EXPECT_EQ(v.used_names()[i + 1], numbered(i));
  for (std::size_t taken : {100u, 2000u}) {
    v.used_names() = {L"customer_na"};
    for (std::size_t i = 0; i < taken; ++i) v.used_names().push_back(numbered(i));
    v.comparisons = 0;
    EXPECT_EQ(v.get_safe_name(L"customer_name_x"), numbered(taken));
    // Two passes over the list at most, not one per number tried.
    EXPECT_LE(v.comparisons, 2 * v.used_names().size()) << taken;
  }
  // Used names in another letter case, or in another form that compares
  // equal (full-width digits), still count as taken.
  v.used_names() = {L"ab", L"AB00000", L"Ab00001", L"ab\uFF10\uFF10\uFF10\uFF10\uFF12", L"ab00003"};
  ASSERT_EQ(tk_wcompare_nocase(L"ab00002", v.used_names()[3]), 0);
  EXPECT_EQ(v.get_safe_name(L"ab"), L"ab00004");
}

TEST(t_names_map, exact_and_inexact_lookup) {
  t_names_map map;
  map.add(L"PRICE", L"Price_1");
  map.add(L"PRICE", L"Price_2");  // the first mapping stays
  EXPECT_EQ(map.get_mapped_name(L"Price", false), L"Price_1");
  EXPECT_EQ(map.get_mapped_name(L"Price", true), L"Price");
  EXPECT_EQ(map.get_mapped_name(L"PRICE", true), L"Price_1");

  udb_validator v(0);
  v.add_mapped_pair(L"Qty", L"Qty_1");
  EXPECT_EQ(v.mapped_names().get_mapped_name(L"QTY", false), L"Qty_1");
}

}  // namespace
