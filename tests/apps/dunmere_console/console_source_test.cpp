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

// Also an empty CSV file (no first line) and a worksheet selection of which the
// workbook has no worksheet: nothing of the destination is touched.
TEST_F(SourceFirst, ASourceThatCannotBeOpenedLeavesTheDestinationInEveryMode) {
  const std::string fixtures = std::string(ORV_SOURCE_DIR) + "/tests/fixtures/xls/";
  write("utf16.csv", std::string("\xFF\xFEi\0d\0\n\0001\0\n\0", 12));
  write("empty.csv", "");
  write("bom.csv", "\xEF\xBB\xBF");
  const std::string book = path("book.xlsx");
  lxw_workbook* wb = workbook_new(book.c_str());
  for (const char* sheet : {"Orders", "Products", "\xC3\x9C" "bersicht"})
    worksheet_write_string(workbook_add_worksheet(wb, sheet), 0, 0, "x", nullptr);
  workbook_close(wb);
  const std::vector<std::string> csv = {"--from_csv", "--csv_delim=1", "--extr_fn", "--tab_name=t"};
  auto list = [&](const std::string& name, const std::string& lines) {
    write(name, lines);
    return std::vector<std::string>{"--src=" + book, "--tab_file=" + path(name)};
  };
  write("selects.prf", "[Selected Tables]\r\nOrdrs\r\n\r\n[Generic settings]\r\nsrc=" + book +
                           "\r\n\r\n[MS Excel settings]\r\nconvert from xls=1\r\n");
  struct source_case {
    const char* name;
    std::vector<std::string> args;
    const char* shown;  // on standard output, after "Error:"
  } cases[] = {
      {"missing workbook", {"--src=" + path("nothere.xlsx")}, ""},
      {"missing CSV", {"--src=" + path("nothere.csv"), csv[0], csv[1], csv[2], csv[3]}, ""},
      {"encrypted .xls", {"--src=" + fixtures + "password.xls"}, ""},
      {"damaged .xls", {"--src=" + fixtures + "corrupt.xls"}, ""},
      {"UTF-16 CSV", {"--src=" + path("utf16.csv"), csv[0], csv[1], csv[2], csv[3]}, ""},
      {"directory as workbook", {"--src=" + dir.path().string()}, ""},
      {"directory as CSV", {"--src=" + dir.path().string(), csv[0], csv[1], csv[2], csv[3]}, ""},
      {"empty CSV", {"--src=" + path("empty.csv"), csv[0], csv[1], csv[2], csv[3]}, " is empty"},
      {"empty CSV, no names", {"--src=" + path("empty.csv"), csv[0], csv[1], csv[3]}, " is empty"},
      {"CSV of a byte-order mark", {"--src=" + path("bom.csv"), csv[0], csv[1], csv[3]}, " is empty"},
      {"list of a misspelt name", list("typo.txt", "Ordrs\n"), "(not found: Ordrs)"},
      {"list of a name in another case", list("case.txt", "orders\n"), "(not found: orders)"},
      {"list of a name with a blank after it", list("blank.txt", "Orders \n"), "(not found: Orders )"},
      {"--tab_name of a misspelt name", {"--src=" + book, "--tab_name=Ordrs"}, "(not found: Ordrs)"},
      {"profile selecting a missing worksheet", {"--profile=" + path("selects.prf")}, "(not found: Ordrs)"},
  };
  for (const source_case& c : cases) {
    for (int mode = 0; mode <= 3; ++mode) {
      make_destination();
      const std::string what = std::string(c.name) + ", mode " + std::to_string(mode);
      std::vector<std::string> args = c.args;
      args.insert(args.end(), {"--dest=keep", "--mode=" + std::to_string(mode)});
      const console_result r = convert(args);
      EXPECT_EQ(r.exit_code, 255) << what << "\n" << r.out << r.err;
      EXPECT_NE(r.out.find("Error:"), std::string::npos) << what << "\n" << r.out << r.err;
      EXPECT_NE(r.out.find(c.shown), std::string::npos) << what << "\n" << r.out << r.err;
      expect_destination_whole(what);
    }
  }
}

TEST_F(SourceFirst, AProfileThatCannotBeReadOrUsedEndsTheRunBeforeTheDestination) {
  write("book.csv", "id\n5\n");
  const std::string keep_csv = "[Generic settings]\r\nsrc=" + path("book.csv") + "\r\ndest=keep\r\nmode=3\r\n";
  write("before.prf", "mode=3\r\n" + keep_csv);
  std::string utf16 = "\xFF\xFE";
  for (char c : keep_csv) utf16 += std::string{c, '\0'};
  write("utf16.prf", utf16);
  write("binary.prf", std::string("\x7F" "ELF\x02\x01\x01\0\0\0=\0\n[x]\n", 16));
  for (const char* mode : {"03", "x", "4"})
    write(std::string("mode") + mode + ".prf", keep_csv.substr(0, keep_csv.find("mode=3")) + "mode=" + mode + "\r\n");
  const std::string mode_shown = "The profile " + path("mode");
  struct profile_case {
    const char* file;
    std::string shown;
  } cases[] = {
      {"before.prf", "cannot be read: line 1 "},
      {"utf16.prf", "cannot be read: line 1 "},
      {"binary.prf", "cannot be read: line 1 "},
      {"missing.prf", "Profile does not exist."},
      {"mode03.prf", mode_shown + "03.prf cannot be used: its mode \"03\""},
      {"modex.prf", mode_shown + "x.prf cannot be used: its mode \"x\""},
      {"mode4.prf", mode_shown + "4.prf cannot be used: its mode \"4\""},
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
