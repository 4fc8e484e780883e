// A source or a profile that cannot be used ends the run before anything of
// the destination is touched, in every mode; file names are opened by the
// bytes given.
#include <xlsxwriter.h>

#include "tests/apps/dunmere_console/console_env.h"

namespace {

class SourceFirst : public console_test {
protected:
  // The destination every case starts from: two tables with rows.
  void make_destination() {
    if (server->has_database("keep")) server->execute("DROP DATABASE keep");
    server->execute("CREATE DATABASE keep");
    server->execute("CREATE TABLE t (id int)", "keep");
    server->execute("INSERT INTO t VALUES (1)", "keep");
    server->execute("INSERT INTO t VALUES (2)", "keep");
    server->execute("CREATE TABLE other (x int)", "keep");
    server->execute("INSERT INTO other VALUES (9)", "keep");
  }
  void expect_destination_whole(const std::string& what) {
    ASSERT_TRUE(server->has_database("keep")) << what;
    EXPECT_EQ(server->tables("keep"), (std::vector<std::string>{"dbo.other", "dbo.t"})) << what;
    if (server->has_table("keep", "t")) {
      EXPECT_EQ(table("keep", "t"), (rows_t{{"1"}, {"2"}})) << what;
    }
    if (server->has_table("keep", "other")) {
      EXPECT_EQ(table("keep", "other"), (rows_t{{"9"}})) << what;
    }
  }
  console_result convert(const std::vector<std::string>& more) {
    std::vector<std::string> args = login();
    args.insert(args.end(), more.begin(), more.end());
    return run_console(dir, args);
  }
};

TEST_F(SourceFirst, ASourceThatCannotBeOpenedLeavesTheDestinationInEveryMode) {
  const std::string fixtures = std::string(ORV_SOURCE_DIR) + "/tests/fixtures/xls/";
  write("utf16.csv", std::string("\xFF\xFEi\0d\0\n\0001\0\n\0", 12));
  struct source_case {
    const char* name;
    std::string src;
    bool csv;
  } cases[] = {
      {"missing workbook", path("nothere.xlsx"), false},
      {"missing CSV", path("nothere.csv"), true},
      {"encrypted .xls", fixtures + "password.xls", false},
      {"damaged .xls", fixtures + "corrupt.xls", false},
      {"UTF-16 CSV", path("utf16.csv"), true},
      {"directory as workbook", dir.path().string(), false},
      {"directory as CSV", dir.path().string(), true},
  };
  for (const source_case& c : cases) {
    for (int mode = 0; mode <= 3; ++mode) {
      make_destination();
      const std::string what = std::string(c.name) + ", mode " + std::to_string(mode);
      std::vector<std::string> args = {"--src=" + c.src, "--dest=keep", "--mode=" + std::to_string(mode)};
      if (c.csv) args.insert(args.end(), {"--from_csv", "--csv_delim=1", "--extr_fn", "--tab_name=t"});
      const console_result r = convert(args);
      EXPECT_EQ(r.exit_code, 255) << what << "\n" << r.out << r.err;
      EXPECT_NE(r.out.find("Error:"), std::string::npos) << what << "\n" << r.out << r.err;
      expect_destination_whole(what);
    }
  }
}

TEST_F(SourceFirst, AProfileThatCannotBeReadEndsTheRunBeforeTheDestination) {
  write("book.csv", "id\n5\n");
  const std::string keep_csv = "[Generic settings]\r\nsrc=" + path("book.csv") + "\r\ndest=keep\r\nmode=3\r\n";
  write("before.prf", "mode=3\r\n" + keep_csv);
  std::string utf16 = "\xFF\xFE";
  for (char c : keep_csv) utf16 += std::string{c, '\0'};
  write("utf16.prf", utf16);
  write("binary.prf", std::string("\x7F" "ELF\x02\x01\x01\0\0\0=\0\n[x]\n", 16));
  struct profile_case {
    const char* file;
    const char* shown;
  } cases[] = {
      {"before.prf", "cannot be read: line 1 "},
      {"utf16.prf", "cannot be read: line 1 "},
      {"binary.prf", "cannot be read: line 1 "},
      {"missing.prf", "Profile does not exist."},
  };
  for (const profile_case& c : cases) {
    for (const char* mode : {"", "--mode=0"}) {
      make_destination();
      const std::string what = std::string(c.file) + " " + mode;
      std::vector<std::string> args = {"--profile=" + path(c.file), "--src=" + path("book.csv"), "--dest=keep",
                                       "--from_csv", "--csv_delim=1", "--extr_fn", "--tab_name=t"};
      if (*mode) args.push_back(mode);
      const console_result r = convert(args);
      EXPECT_EQ(r.exit_code, 255) << what << "\n" << r.out << r.err;
      EXPECT_NE(r.out.find(c.shown), std::string::npos) << what << "\n" << r.out << r.err;
      expect_destination_whole(what);
    }
  }
}

TEST_F(SourceFirst, FileNamesAreOpenedByTheBytesGiven) {
  // Latin-1 bytes that are no UTF-8: the files are found as named.
  const std::string csv = "caf\xE9.csv", list = "li\xE9.txt", log = "tr\xE9.log", profile = "pr\xE9.prf";
  write(csv, "id;name\n1;one\n");
  write(profile, "[Generic settings]\r\nmode=1\r\n");
  const console_result r =
      convert({"--profile=" + path(profile), "--src=" + path(csv), "--dest=latin", "--from_csv", "--csv_delim=1",
               "--extr_fn", "--tab_name=t", "--logfile=" + path(log)});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(table("latin", "t"), (rows_t{{"1", "one"}}));
  EXPECT_TRUE(std::filesystem::exists(dir / log));
  // A workbook and its worksheet list.
  const std::string book = "b\xE9.xlsx";
  lxw_workbook* wb = workbook_new(path(book).c_str());
  worksheet_write_string(workbook_add_worksheet(wb, "Sheet1"), 0, 0, "x", nullptr);
  worksheet_write_string(workbook_add_worksheet(wb, "Other"), 0, 0, "y", nullptr);
  workbook_close(wb);
  write(list, "Sheet1\n");
  const console_result xls = convert({"--src=" + path(book), "--dest=latin", "--mode=3", "--tab_file=" + path(list)});
  EXPECT_EQ(xls.exit_code, 0) << xls.out << xls.err;
  EXPECT_EQ(server->tables("latin"), (std::vector<std::string>{"dbo.Sheet1", "dbo.t"}));
}

}  // namespace
