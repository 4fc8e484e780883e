#include "platform/kernel/path.h"

#include <gtest/gtest.h>

namespace {

TEST(Path, SplitsIntoFolderNameAndExtension) {
  auto p = kernel::split_path(std::string_view("/data/in\\book.v2.xls"));
  EXPECT_EQ(p.drive, "");
  EXPECT_EQ(p.dir, "/data/in\\");
  EXPECT_EQ(p.fname, "book.v2");
  EXPECT_EQ(p.ext, ".xls");
  auto w = kernel::split_path(std::wstring_view(L"noext"));
  EXPECT_EQ(w.dir, L"");
  EXPECT_EQ(w.fname, L"noext");
  EXPECT_EQ(w.ext, L"");
  auto d = kernel::split_path(std::string_view("/tmp/"));
  EXPECT_EQ(d.dir, "/tmp/");
  EXPECT_EQ(d.fname, "");
  EXPECT_TRUE(kernel::is_absolute_path(std::string_view("/x")));
  EXPECT_FALSE(kernel::is_absolute_path(std::wstring_view(L"x/y")));
}

TEST(Path, FullPathAndModulePath) {
  EXPECT_EQ(kernel::full_path("/a/./b/../c\\d.txt"), "/a/c/d.txt");
  EXPECT_EQ(kernel::full_path("/../x/"), "/x/");
  auto cwd = kernel::current_directory();
  ASSERT_TRUE(cwd);
  EXPECT_EQ(kernel::full_path("f.csv"), (*cwd == "/" ? "" : *cwd) + "/f.csv");
  auto self = kernel::module_path();
  ASSERT_TRUE(self);
  EXPECT_NE(self->find("test_platform_kernel"), std::string::npos);
}

}  // namespace
