#include "TK/tk_excep.h"

#include <gtest/gtest.h>

#include "platform/kernel/codepage.h"
#include "platform/kernel/last_error.h"

namespace {

TEST(TkException, MessagesCodesAndLevels) {
  tk_exception empty(std::string(), 0);
  EXPECT_STREQ(empty.what(), "Unknown exception");
  EXPECT_EQ(empty.get_code(), 0);
  EXPECT_EQ(empty.get_level(), 0);
  EXPECT_STREQ(tk_exception(1).what(), "Unknown exception");
  EXPECT_STREQ(tk_exception("Invalid port number", 1).what(), "Invalid port number");
  EXPECT_STREQ(tk_exception(std::wstring(), 1).what(), "");

  ole_type_exception type;
  ole_cast_exception cast;
  EXPECT_STREQ(type.what(), "The operating type is not supported yet");
  EXPECT_STREQ(cast.what(), "Cannot cast from source type to destination type");
  EXPECT_EQ(type.get_level(), 1);
  EXPECT_EQ(cast.get_level(), 1);
}

TEST(TkException, WideMessageUsesTheAnsiCodePage) {
  ASSERT_TRUE(kernel::set_system_code_page(1252));
  tk_exception e(std::wstring(L"caf\u00e9 \u4e2d"), 0);
  kernel::set_system_code_page(CP_ACP);
  EXPECT_STREQ(e.what(), "caf\xe9 ?");
}

TEST(TkException, AssertionCarriesTheLocationCode) {
  tk_mail_assertion a("a.c", 7);
  EXPECT_STREQ(a.what(), "Internal error: \ncode=612e635c37");
  EXPECT_EQ(a.get_level(), 2);
  EXPECT_EQ(a.get_code(), 0);
  // A very long source name is bounded.
  tk_mail_assertion longer(std::string(5000, 'x').c_str(), 1);
  EXPECT_LT(std::string(longer.what()).size(), 1000u);
}

TEST(TkException, LastErrorGivesCodeAndSystemText) {
  kernel::set_last_error(2);
  tk_exception_ex e;
  EXPECT_EQ(e.get_code(), 2);
  EXPECT_EQ(e.get_level(), 1);
  EXPECT_STREQ(e.what(), "The system cannot find the file specified.\r\n");
  kernel::set_last_error(0x7654321);
  tk_exception_ex unknown;
  EXPECT_EQ(unknown.get_code(), 0x7654321);
  EXPECT_STREQ(unknown.what(), "Unknown exception");
}

TEST(TkException, FinalExceptionIsOutsideTheFamily) {
  bool family = false, final_seen = false;
  try {
    try {
      throw tk_final_exception();
    } catch (const tk_exception&) {
      family = true;
    }
  } catch (const tk_final_exception&) {
    final_seen = true;
  }
  EXPECT_FALSE(family);
  EXPECT_TRUE(final_seen);
  try {
    throw ole_cast_exception();
  } catch (const tk_exception& e) {
    EXPECT_EQ(e.get_level(), 1);
  }
}

}  // namespace
