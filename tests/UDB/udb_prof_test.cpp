#include "UDB/udb_prof.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include <fstream>

#include "TK/tk_excep.h"
#include "platform/kernel/codepage.h"
#include "tests/support/test_dir.h"

namespace {

class udb_profile_file : public ::testing::Test {
protected:
  std::wstring path(const char* name) const { return (dir_ / name).wstring(); }
  void write(const char* name, const std::string& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  std::string read(const char* name) const { return test_dir::read(dir_ / name); }

  test_dir dir_;
};

TEST(udb_profile, values) {
  udb_profile p;
  EXPECT_EQ(p.get_sections().size(), 3u);
  EXPECT_TRUE(p.get_available_queries().empty());
  EXPECT_TRUE(p.get_selected_tables().empty());
  p.set_value(L"MySQL settings", L"host", L"db1");
  p.set_value(L"MySQL settings", L"host", L"db2");  // the first value stays
  EXPECT_EQ(p.get_value(L"MySQL settings", L"host"), L"db1");
  EXPECT_EQ(p.get_value(L"MySQL settings", L"HOST"), L"");  // keys compare exactly
  EXPECT_EQ(p.get_value(L"No section", L"host"), L"");
}

TEST_F(udb_profile_file, store_writes_the_format) {
  udb_profile p;
  p.set_value(L"Selected Tables", L"Sheet1", L"");
  p.set_value(L"Selected Tables", L"Q", L"T");
  p.set_value(L"Generic settings", L"src", L"");
  ASSERT_TRUE(p.store(path("a.prf")));
  EXPECT_EQ(read("a.prf"),
            "[Available Queries]\r\n\r\n"
            "[Generic settings]\r\nsrc=\r\n\r\n"
            "[Selected Tables]\r\nQ=T\r\nSheet1\r\n\r\n");
  struct stat st {};
  ASSERT_EQ(stat((dir_ / "a.prf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // it may hold a password
  chmod((dir_ / "a.prf").c_str(), 0644);
  ASSERT_TRUE(p.store(path("a.prf")));
  ASSERT_EQ(stat((dir_ / "a.prf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(udb_profile_file, store_and_load_give_the_same_profile) {
  udb_profile p;
  p.set_value(L"Available Queries", L"Big", L"SELECT * FROM [Sheet1$] WHERE a = 'x=y'");
  p.set_value(L"Selected Tables", L"Sheet1", L"");
  p.set_value(L"Selected Tables", L"Big", L"SELECT * FROM [Sheet1$] WHERE a = 'x=y'");
  p.set_value(L"Generic settings", L"src", L"/data/Prix \u00e9t\u00e9 \u6570\u636e.xls");
  p.set_value(L"Generic settings", L"mode", L"2");
  p.set_value(L"MySQL settings", L"password", L"");
  // A query far longer than any line buffer.
  p.set_value(L"Available Queries", L"Long", L"SELECT " + std::wstring(20000, L'c') + L" FROM t");
  ASSERT_TRUE(p.store(path("b.prf")));

  udb_profile q;
  ASSERT_TRUE(q.load(path("b.prf")));
  EXPECT_EQ(q, p);
}

TEST_F(udb_profile_file, line_breaks_in_values_stay_on_one_line) {
  udb_profile p;
  p.set_value(L"Available Queries", L"Q", L"SELECT *\r\nFROM [Sheet1$]");
  ASSERT_TRUE(p.store(path("c.prf")));
  udb_profile q;
  ASSERT_TRUE(q.load(path("c.prf")));
  EXPECT_EQ(q.get_available_queries().size(), 1u);
  EXPECT_EQ(q.get_value(L"Available Queries", L"Q"), L"SELECT *  FROM [Sheet1$]");
}

TEST_F(udb_profile_file, load_reading_rules) {
  write("d.prf",
        "  [Generic settings]  \r\n"
        "a = b\r\n"
        "mode=1\r\n"
        "mode=3\r\n"
        "\r\n"
        "[Selected Tables]\r\n"
        "Sheet1\r\n"
        "[Generic settings]\r\n"
        "src=x.xls\n");  // a line without CR counts as well
  udb_profile p;
  ASSERT_TRUE(p.load(path("d.prf")));
  EXPECT_EQ(p.get_value(L"Generic settings", L"a"), L" b");
  EXPECT_EQ(p.get_value(L"Generic settings", L"mode"), L"1");
  EXPECT_EQ(p.get_value(L"Generic settings", L"src"), L"x.xls");
  EXPECT_EQ(p.get_selected_tables().count(L"Sheet1"), 1u);
  EXPECT_EQ(p.get_value(L"Selected Tables", L"Sheet1"), L"");
}

TEST_F(udb_profile_file, load_refuses_entries_before_a_section) {
  write("e.prf", "src=x\r\n[Generic settings]\r\nmode=1\r\n");
  udb_profile p;
  EXPECT_FALSE(p.load(path("e.prf")));
  EXPECT_EQ(p.get_value(L"Generic settings", L"mode"), L"");
}

TEST_F(udb_profile_file, load_passes_over_a_byte_order_mark) {
  // Editors may put one at the start of a UTF-8 file; it is not part of the
  // first section line.
  write("f.prf", "\xEF\xBB\xBF[Generic settings]\r\nmode=1\r\n");
  udb_profile p;
  EXPECT_TRUE(p.load(path("f.prf")));
  EXPECT_EQ(p.get_value(L"Generic settings", L"mode"), L"1");
  EXPECT_EQ(p.get_sections().size(), 3u);
}

TEST_F(udb_profile_file, missing_profile_is_a_level_1_error) {
  udb_profile p;
  for (const std::wstring& name : {path("missing.prf"), dir_.path().wstring()}) {
    try {
      p.load(name);
      FAIL() << "no exception";
    } catch (const tk_exception& e) {
      EXPECT_EQ(e.get_level(), 1);
      EXPECT_STREQ(e.what(), "Profile does not exist. Please verify the correct path/name was given.");
    }
  }
}

TEST_F(udb_profile_file, a_name_the_code_page_cannot_hold_is_not_taken_for_another) {
  // Under a Latin-1 locale the CJK character would become '?': the profile must
  // neither be written to nor read from the file "?.prf".
  ASSERT_TRUE(kernel::set_system_code_page(1252));
  struct restore {
    ~restore() { kernel::set_system_code_page(CP_ACP); }
  } restore_code_page;
  const std::wstring name = dir_.path().wstring() + L"/\u6570.prf";
  udb_profile p;
  p.set_value(L"Generic settings", L"src", L"a.xls");
  EXPECT_FALSE(p.store(name));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "?.prf"));

  write("?.prf", "[Generic settings]\r\nsrc=other.xls\r\n");
  udb_profile q;
  EXPECT_FALSE(q.load(name));
  EXPECT_EQ(q.get_value(L"Generic settings", L"src"), L"");
  // A name the code page holds is written and read as it is.
  const std::wstring latin = dir_.path().wstring() + L"/\u00e9t\u00e9.prf";
  ASSERT_TRUE(p.store(latin));
  ASSERT_TRUE(q.load(latin));
  EXPECT_EQ(q.get_value(L"Generic settings", L"src"), L"a.xls");
}

TEST_F(udb_profile_file, store_reports_a_folder_it_cannot_write) {
  udb_profile p;
  EXPECT_FALSE(p.store(path("no/such/folder/x.prf")));
}

TEST_F(udb_profile_file, worksheet_names_with_equals_signs_survive) {
  // Spreadsheet programs allow '=' in a sheet name; it must not come back as a
  // query named by the text before it.
  udb_profile p;
  p.set_value(L"Selected Tables", L"a=b", L"");
  p.set_value(L"Selected Tables", L"'x=y$'", L"");
  p.set_value(L"Selected Tables", L"Q", L"SELECT * FROM ['a=b$'] WHERE c = 'd'");
  p.set_value(L"Selected Tables", L"Plain", L"");
  ASSERT_TRUE(p.store(path("eq.prf")));
  EXPECT_EQ(read("eq.prf"),
            "[Available Queries]\r\n\r\n"
            "[Generic settings]\r\n\r\n"
            "[Selected Tables]\r\n'x\\x3Dy$'\r\nPlain\r\nQ=SELECT * FROM ['a=b$'] WHERE c = 'd'\r\na\\x3Db\r\n\r\n");
  udb_profile q;
  ASSERT_TRUE(q.load(path("eq.prf")));
  EXPECT_EQ(q, p);

  // Lines that today's writer puts out read as they always did: a query whose
  // name ends in a backslash, and a key with a backslash but no escape.
  write("old.prf", "[Selected Tables]\r\nq\\=SELECT 1\r\nSheet1\r\nodd\\\\name\r\n");
  udb_profile old;
  ASSERT_TRUE(old.load(path("old.prf")));
  EXPECT_EQ(old.get_value(L"Selected Tables", L"q\\"), L"SELECT 1");
  EXPECT_EQ(old.get_selected_tables().count(L"Sheet1"), 1u);
  EXPECT_EQ(old.get_selected_tables().count(L"odd\\\\name"), 1u);
}

TEST_F(udb_profile_file, a_failed_store_keeps_the_old_profile) {
  udb_profile old;
  old.set_value(L"Generic settings", L"src", L"old.xls");
  ASSERT_TRUE(old.store(path("keep.prf")));
  const std::string before = read("keep.prf");

  udb_profile big;
  big.set_value(L"Available Queries", L"Long", L"SELECT " + std::wstring(100000, L'c') + L" FROM t");
  {
    // A disk that fills up: writes beyond a few kilobytes fail.
    struct limit_files {
      rlimit saved{};
      void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
      limit_files() {
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
      }
      ~limit_files() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
      }
    } limit;
    EXPECT_FALSE(big.store(path("keep.prf")));
  }
  EXPECT_EQ(read("keep.prf"), before);
  // Nothing is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
  ASSERT_TRUE(big.store(path("keep.prf")));
  udb_profile q;
  ASSERT_TRUE(q.load(path("keep.prf")));
  EXPECT_EQ(q, big);
}

}  // namespace
