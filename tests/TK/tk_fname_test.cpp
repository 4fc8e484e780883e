#include "TK/tk_fname.h"

#include <gtest/gtest.h>

#include "TK/tk_excep.h"
#include "TK/tk_utils.h"

namespace {

TEST(TkFileName, SplitsAbsolutePaths) {
  tk_file_wname w(L"/data/books/Sales 2024.xlsx");
  EXPECT_EQ(w.get_drive(), L"");
  EXPECT_EQ(w.get_dir(), L"/data/books/");
  EXPECT_EQ(w.get_fname(), L"Sales 2024");
  EXPECT_EQ(w.get_ext(), L".xlsx");
  EXPECT_EQ(w.get_folder(), L"/data/books/");
  EXPECT_EQ(w.get_path(), L"/data/books/Sales 2024.xlsx");
  w.set_ext(L"log");
  EXPECT_EQ(w.get_ext(), L".log");
  w.set_ext(L".log");
  EXPECT_EQ(w.get_path(), L"/data/books/Sales 2024.log");
  w.set_ext(L"");
  EXPECT_EQ(w.get_ext(), L"");

  tk_file_name n("/a/b/../c\\d.csv");
  EXPECT_EQ(n.get_folder(), "/a/c/");
  EXPECT_EQ(n.get_fname(), "d");
}

TEST(TkFileName, RelativeEmptyAndNullPaths) {
  tk_cur_dir here("/tmp");
  ASSERT_TRUE(here.is_changed());
  tk_file_wname rel(L"x/y.txt");
  EXPECT_EQ(rel.get_path(), L"/tmp/x/y.txt");
  tk_file_name program("");
  EXPECT_EQ(program.get_folder(), tk_get_module_folder());
  EXPECT_EQ(program.get_fname(), "");
  EXPECT_THROW(tk_file_name(static_cast<const char*>(nullptr)), tk_mail_assertion);
  try {
    tk_file_wname w(static_cast<const wchar_t*>(nullptr));
    FAIL();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(std::string(e.what()), "Internal error: \ncode=" + tk_location_code("tk_fname", 75));
  }
}

TEST(TkFileName, MakeFileNameBesideAReference) {
  EXPECT_EQ(tk_make_file_wname(L"out", L"sql", L"/data/in.xls", false), L"/data/out.sql");
  EXPECT_EQ(tk_make_file_wname(L"out", L".sql", L"in.xls", false), tk_from_ansi(tk_get_module_folder()) + L"out.sql");
  EXPECT_EQ(tk_make_file_wname(L"kept.txt", L"sql", L"/data/in.xls", true), L"kept.txt");
}

}  // namespace
