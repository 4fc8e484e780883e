#include "TK/tk_errco.h"

#include <gtest/gtest.h>

#include "TK/tk_excep.h"

namespace {

const tk_error_entry first_table[] = {
    {0x400415, "Access denied for the user."},
    {0x10000 + 3011, "The worksheet was not found."},
};
const tk_error_entry second_table[] = {
    {0x400415, "A later text for the same code."},
    {0x80000 + 0x4005, "The server does not exist."},
    {7, nullptr},
};

TEST(TkErrorConverter, FirstTextWinsAndMissingCodesAreEmpty) {
  tk_error_converter map(2, first_table);
  map.load_map(3, second_table);
  EXPECT_EQ(map.size(), 4u);
  EXPECT_EQ(map.convert(0x400415), "Access denied for the user.");
  EXPECT_EQ(map.convert(0x84005), "The server does not exist.");
  EXPECT_EQ(map.convert(7), "");
  EXPECT_EQ(map.convert(12345), "");
  try {
    map.load_map(1, nullptr);
    FAIL();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(std::string(e.what()), "Internal error: \ncode=" + tk_location_code("tk_errco", 43));
  }
}

}  // namespace
