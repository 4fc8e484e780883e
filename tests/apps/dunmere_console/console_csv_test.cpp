// CSV files into the test server through the real program: every delimiter,
// with and without field names, quoted multi-line fields, long values that
// widen their column, the modes against existing databases and tables.
#include <algorithm>

#include "tests/apps/dunmere_console/console_env.h"
#include "tests/support/tds_server/tds_collation.h"

namespace {

class CsvRun : public console_test {};

TEST_F(CsvRun, EveryDelimiterWithFieldNames) {
  const char delimiters[] = {'\t', ';', ',', ' '};
  for (int d = 0; d < 4; ++d) {
    SCOPED_TRACE(d);
    const char c = delimiters[d];
    const std::string file = "d" + std::to_string(d) + ".csv";
    write(file, std::string("id") + c + "name" + c + "note\n" + "1" + c + "\xC3\x84pfel" + c + "\"two" + c +
                    "words\"\n" + "2" + c + "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80" + c + "\"line one\nline \"\"two\"\"\"\n");
    const std::string table = "t" + std::to_string(d);
    console_result r = run({"--src=" + path(file), "--from_csv", "--extr_fn", "--csv_delim=" + std::to_string(d),
                            "--tab_name=" + table, "--dest=csvdb"});
    EXPECT_EQ(r.err, "");
    if (d == 3) {
      // A blank is the delimiter: the emoji after it is a field of its own,
      // text past the first line's fields, reported for its record.
      EXPECT_EQ(r.exit_code, 255);
      EXPECT_EQ(r.out, "Converting CSV file " + path(file) +
                           "\nError:\nrecord #2 has 4 fields, the first line has 3; fields 4 to 4 were not converted\n");
      EXPECT_EQ(table_rows(table), (rows_t{{"1", "\xC3\x84pfel", "two words"},
                                           {"2", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x98\x80"}}));
      continue;
    }
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Converting CSV file " + path(file) + "\n");
    EXPECT_EQ(table_rows(table), (rows_t{{"1", "\xC3\x84pfel", "two" + std::string(1, c) + "words"},
                                         {"2", "\xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80", "line one\nline \"two\""}}));
  }
}

TEST_F(CsvRun, WithoutFieldNamesTheColumnsAreNumberedAndTheFirstLineIsARecord) {
  write("plain.csv", "a,b\nc,d\n");
  console_result r = run({"--src=" + path("plain.csv"), "--from_csv", "--csv_delim=2", "--tab_name=plain", "--dest=csvdb"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(table_rows("plain"), (rows_t{{"a", "b"}, {"c", "d"}}));
  EXPECT_EQ(column_types("csvdb", "plain"), (std::vector<std::string>{"F1 nvarchar(255)", "F2 nvarchar(255)"}));
}

TEST_F(CsvRun, ALongValueWidensItsColumnToUnicodeLongTextOnce) {
  const std::string long1(300, 'x'), long2 = std::string(5000, 'y') + "\xD0\x96\xF0\x9F\x98\x80";
  std::string text = "k;v;w\n";
  for (int i = 0; i < 1500; ++i) text += std::to_string(i) + ";short;w\n";  // past one committed batch
  text += "1500;" + long1 + ";w\n1501;" + long2 + ";w\n1502;after;w\n";
  write("long.csv", text);
  console_result r = run({"--src=" + path("long.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=long",
                          "--dest=csvdb", "--logfile=" + path("trace.log")});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(column_types("csvdb", "long"),
            (std::vector<std::string>{"k nvarchar(255)", "v nvarchar(max)", "w nvarchar(255)"}));
  rows_t rows = table_rows("long");
  ASSERT_EQ(rows.size(), 1503u);
  EXPECT_EQ(rows[1499], (std::vector<std::string>{"1499", "short", "w"}));
  EXPECT_EQ(rows[1500][1], long1);
  EXPECT_EQ(rows[1501][1], long2);
  EXPECT_EQ(rows[1502][1], "after");
  const std::string trace = test_dir::read(path("trace.log"));
  std::size_t alters = 0;
  for (std::size_t at = trace.find("ALTER COLUMN [v] nvarchar(max)"); at != std::string::npos;
       at = trace.find("ALTER COLUMN [v] nvarchar(max)", at + 1))
    ++alters;
  EXPECT_EQ(alters, 1u) << trace;
}

// Merging into a user's table: a column is widened only for a value of more
// than 255 characters, never one that a key or an index uses; each record
// whose value does not fit fails with its reason, and the run goes on.
TEST_F(CsvRun, MergingWidensOnlyPast255CharactersAndNeverAKeyOrIndexColumn) {
  server->execute("CREATE DATABASE shop");
  server->execute("CREATE TABLE w (id nvarchar(10) NOT NULL PRIMARY KEY, code nvarchar(255), note nvarchar(255), "
                  "small nvarchar(5))",
                  "shop");
  server->execute("CREATE INDEX ix_code ON w (code)", "shop");
  const std::string long_code(300, 'c'), long_note(300, 'n'), long_id(300, 'i');
  write("w.csv", std::string("id;code;note;small\n") +
                 "1;abc;short;abcdef\n" +  // too long for small: the server's truncation
                     "2;" + long_code + ";short;a\n" +    // code is in ix_code
                     "3;abc;" + long_note + ";b\n" +      // note widened
                     "4;" + long_code + ";short;c\n" +    // the same reason, no ALTER again
                     long_id + ";abc;short;d\n" +         // id is the primary key
                     "6;abc;short;e\n");
  console_result r = run({"--src=" + path("w.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=w",
                          "--dest=shop", "--mode=3", "--logfile=" + path("trace.log")});
  EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
  EXPECT_EQ(column_types("shop", "w"), (std::vector<std::string>{"id nvarchar(10)", "code nvarchar(255)",
                                                                 "note nvarchar(max)", "small nvarchar(5)"}));
  EXPECT_EQ(table_rows("w", "shop"), (rows_t{{"3", "abc", long_note, "b"}, {"6", "abc", "short", "e"}}));
  auto count = [](const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(r.out, "Error:\n"), 4u) << r.out;
  EXPECT_EQ(count(r.out, "column code is part of index ix_code and cannot hold values longer than 255 characters"),
            2u)
      << r.out;
  EXPECT_EQ(count(r.out, "column id is part of primary key"), 1u) << r.out;
  const std::string trace = test_dir::read(path("trace.log"));
  EXPECT_EQ(count(trace, "ALTER COLUMN [code]"), 0u);
  EXPECT_EQ(count(trace, "ALTER COLUMN [id]"), 0u);
  EXPECT_EQ(count(trace, "ALTER COLUMN [note]"), 1u);
}

// A widening keeps the column's kind, collation and nullability, which a
// DEFAULT allows; one that a DEFAULT refuses (a change of the type) ends the
// table with the server's reason, naming the records not stored.
TEST_F(CsvRun, AWideningTheServerRefusesEndsTheTableWithItsReason) {
  server->execute("CREATE DATABASE shop");
  server->execute("CREATE TABLE w (id int, kept varchar(20) COLLATE Cyrillic_General_CI_AS NOT NULL DEFAULT 'x', "
                  "code nchar(20) DEFAULT N'-')",
                  "shop");
  const std::string long_kept(300, 'k'), long_code(300, 'c');
  write("w.csv", "id;kept;code\n1;a;b\n2;" + long_kept + ";b\n3;a;" + long_code + "\n4;a;b\n");
  console_result r = run({"--src=" + path("w.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=w",
                          "--dest=shop", "--mode=3"});
  EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
  const std::string reported = "Converting CSV file " + path("w.csv") +
                               "\nError:\nTable 'w': the server refused to widen column 'code' for a longer value "
                               "(The object 'DF__w__code__";
  EXPECT_EQ(r.out.substr(0, reported.size()), reported) << r.out;
  EXPECT_NE(r.out.find("' is dependent on column 'code'.). Records from #3 on are not stored; nothing more is written "
                       "to the table.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
  EXPECT_EQ(column_types("shop", "w"), (std::vector<std::string>{"id int", "kept varchar(max)", "code nchar(20)"}));
  const tds::column_info kept = server->columns("shop", "w")[1];
  EXPECT_EQ(std::string(tds::collation(kept.type.collation).name), "Cyrillic_General_CI_AS");
  EXPECT_FALSE(kept.nullable);
  const std::string b = "b" + std::string(19, ' ');  // nchar(20)
  EXPECT_EQ(table_rows("w", "shop"), (rows_t{{"1", "a", b}, {"2", long_kept, b}}));
}

TEST_F(CsvRun, OnAServerWithoutMaxTypesALongValueWidensTheColumnToNtext) {
  tds::server_options old;
  old.version_text = tds::version_2000;
  server = std::make_unique<tds::server>(old);
  const std::string long_text = std::string(4100, 'z') + "\xC3\xA9";
  write("old.csv", "k;v\n1;short\n2;" + long_text + "\n3;end\n");
  console_result r = run({"--src=" + path("old.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=old",
                          "--dest=csvdb"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(column_types("csvdb", "old"), (std::vector<std::string>{"k nvarchar(255)", "v ntext"}));
  EXPECT_EQ(table_rows("old"), (rows_t{{"1", "short"}, {"2", long_text}, {"3", "end"}}));
}

TEST_F(CsvRun, ModeOneIsTheDefaultAndDropsOnlyTheTable) {
  server->execute("CREATE DATABASE shop");
  server->execute("CREATE TABLE t (id int)", "shop");
  server->execute("INSERT INTO t VALUES (7)", "shop");
  server->execute("CREATE TABLE other (x int)", "shop");
  write("a.csv", "id;name\n1;one\n");
  console_result r = run({"--src=" + path("a.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=t", "--dest=shop"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(table_rows("t", "shop"), (rows_t{{"1", "one"}}));
  EXPECT_TRUE(server->has_table("shop", "other"));
}

TEST_F(CsvRun, ModeOneIntoAMissingDatabaseCreatesIt) {
  write("a.csv", "id;name\n1;one\n");
  console_result r = run({"--src=" + path("a.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=t",
                          "--dest=fresh", "--mode=1"});
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(table_rows("t", "fresh"), (rows_t{{"1", "one"}}));
}

TEST_F(CsvRun, ModeZeroDropsTheDatabaseModeTwoSkipsTheTableAndModeThreeMerges) {
  server->execute("CREATE DATABASE shop");
  server->execute("CREATE TABLE t (id nvarchar(255), name nvarchar(255))", "shop");
  server->execute("INSERT INTO t VALUES (N'0', N'zero')", "shop");
  server->execute("CREATE TABLE other (x int)", "shop");
  write("a.csv", "id;name\n1;one\n");
  const std::vector<std::string> base{"--src=" + path("a.csv"), "--from_csv", "--extr_fn", "--csv_delim=1",
                                      "--tab_name=t", "--dest=shop"};
  auto with_mode = [&](const std::string& mode) {
    std::vector<std::string> args = login();
    args.insert(args.end(), base.begin(), base.end());
    args.push_back(mode);
    return run_console(dir, args);
  };
  console_result merged = with_mode("--mode=3");
  EXPECT_EQ(merged.exit_code, 0) << merged.out << merged.err;
  EXPECT_EQ(table_rows("t", "shop"), (rows_t{{"0", "zero"}, {"1", "one"}}));
  console_result skipped = with_mode("--mode=2");
  EXPECT_EQ(skipped.exit_code, 0) << skipped.out << skipped.err;
  EXPECT_EQ(table_rows("t", "shop"), (rows_t{{"0", "zero"}, {"1", "one"}}));
  console_result replaced = with_mode("--mode=0");
  EXPECT_EQ(replaced.exit_code, 0) << replaced.out << replaced.err;
  EXPECT_EQ(table_rows("t", "shop"), (rows_t{{"1", "one"}}));
  EXPECT_FALSE(server->has_table("shop", "other"));
}

TEST_F(CsvRun, ARefusedRecordAndExtraFieldsAreReportedAndTheExitCodeTellsIt) {
  server->execute("CREATE DATABASE shop");
  server->execute("CREATE TABLE t (id int, name nvarchar(255))", "shop");
  write("a.csv", "id;name\n1;one\nabc;two\n3;three;extra\n4;four\n");
  console_result r = run({"--src=" + path("a.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=t",
                          "--dest=shop", "--mode=3"});
  EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("Error:\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("record #3"), std::string::npos) << r.out;
  EXPECT_EQ(table_rows("t", "shop"), (rows_t{{"1", "one"}, {"3", "three"}, {"4", "four"}}));
  // --silent: nothing printed, the exit code still tells.
  console_result quiet = run({"--silent", "--src=" + path("a.csv"), "--from_csv", "--extr_fn", "--csv_delim=1",
                              "--tab_name=t", "--dest=shop", "--mode=3"});
  EXPECT_EQ(quiet.exit_code, 255);
  EXPECT_EQ(quiet.out + quiet.err, "");
}

TEST_F(CsvRun, AValueTheColumnCannotTakeCostsItsRecordOnly) {
  server->execute("CREATE DATABASE shop");
  server->execute("CREATE TABLE d (id nvarchar(10), day datetime)", "shop");
  write("d.csv", "id;day\n1;2004-05-06\n2;not a date\n3;2004-05-08\n");
  console_result r = run({"--src=" + path("d.csv"), "--from_csv", "--extr_fn", "--csv_delim=1", "--tab_name=d",
                          "--dest=shop", "--mode=3"});
  EXPECT_EQ(r.exit_code, 255) << r.out << r.err;
  EXPECT_NE(r.out.find("Error:\nd, record #2: The value 'not a date' of column 'day' is not a date."),
            std::string::npos)
      << r.out;
  EXPECT_EQ(table_rows("d", "shop"),
            (rows_t{{"1", "2004-05-06 00:00:00.000"}, {"3", "2004-05-08 00:00:00.000"}}));
}

}  // namespace
